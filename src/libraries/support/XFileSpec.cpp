#include "libraries/support/XFileSpec.h"

#include "libraries/support/XException.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>

namespace {

// Longest path text; PATH_MAX counts the terminator.
constexpr int MaxPathLength = PATH_MAX - 1;

QByteArray nativePath(const QString& path) {
    return QFile::encodeName(path);
}

bool isRealFolder(const QByteArray& path) {
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Deletes the content of a folder, folders recursively, then the folder itself (a failure to remove the
// folder is not reported: the content is what matters to callers).
void removeFolderTree(const QString& folder) {
    const QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString path = folder + QLatin1Char('/') + name;
        const QByteArray native = nativePath(path);
        if (isRealFolder(native)) {
            removeFolderTree(path);
        } else if (::unlink(native.constData()) != 0 && errno != ENOENT) {
            XException::raise(errno, "Could not delete spec: %s", XString(path).c_str());
        }
    }
    ::rmdir(nativePath(folder).constData());
}

}  // namespace

XFileSpec::XFileSpec() = default;

XFileSpec::XFileSpec(const XString& path) {
    set(path);
}

XFileSpec::XFileSpec(const QString& path) {
    set(XString(path));
}

void XFileSpec::set(const XString& path) {
    XString text(path);
    text.replaceAll("\\", "/");
    if (!text.isEmpty() && text.at(0) != '/') {
        XException::raise(0, "No support for relative paths: %s", text.c_str());
    }
    if (text.length() > MaxPathLength) {
        XException::raise(0, "Path length (%u) exceeds maximum %u: %s", static_cast<unsigned>(text.length()),
                          static_cast<unsigned>(MaxPathLength), text.c_str());
    }
    m_path = text;
    updateNamePos();
}

void XFileSpec::updateNamePos() {
    const int slash = m_path.findLast('/');
    if (m_path.isEmpty() || slash == m_path.length() - 1) {
        m_namePos = -1;
    } else {
        m_namePos = slash + 1;
    }
}

void XFileSpec::setFileName(const XString& name) {
    XString base = hasFileName() ? m_path.left(m_namePos) : m_path;
    if (!base.endsWith("/")) {
        base.append('/');
    }
    XString cleanName(name);
    cleanName.replaceAll("\\", "/");
    const int room = MaxPathLength - base.length();
    if (cleanName.length() > room) {
        XException::raise(0, "Appended length (%u) would make path length exceed maximum %u.",
                          static_cast<unsigned>(cleanName.length()),
                          static_cast<unsigned>(room < 0 ? 0 : room));
    }
    set(base + cleanName);
}

void XFileSpec::appendFolder(const XString& name) {
    setFileName(name);
    if (m_path.endsWith("/")) {
        return;
    }
    if (m_path.length() + 1 > MaxPathLength) {
        XException::raise(0, "Appended length (%u) would make path length exceed maximum %u.",
                          static_cast<unsigned>(name.length() + 1), static_cast<unsigned>(name.length()));
    }
    m_path.append('/');
    updateNamePos();
}

XFileSpec XFileSpec::folder() const {
    XFileSpec result;
    if (m_path.length() <= 1) {
        result.m_path = m_path;
        result.updateNamePos();
        return result;
    }
    XString text = m_path.left(m_path.length() - 1);
    text.truncate(text.findLast('/') + 1);
    result.m_path = text;
    result.updateNamePos();
    return result;
}

bool XFileSpec::isFolder() const {
    return !m_path.isEmpty() && m_namePos < 0;
}

XString XFileSpec::fileName() const {
    return hasFileName() ? m_path.mid(m_namePos) : XString();
}

XString XFileSpec::extension() const {
    const XString name = fileName();
    const int dot = name.findLast('.');
    return dot < 0 ? XString() : name.mid(dot + 1);
}

bool XFileSpec::exists() const {
    if (m_path.isEmpty()) {
        return false;
    }
    struct stat info {};
    return ::lstat(nativePath(toQString()).constData(), &info) == 0;
}

void XFileSpec::create() const {
    if (m_path.isEmpty() || exists()) {
        return;
    }
    const XFileSpec parent = folder();
    if (parent.m_path.length() < m_path.length() && !parent.exists()) {
        parent.create();
    }
    const QByteArray native = nativePath(toQString());
    if (isFolder()) {
        if (::mkdir(native.constData(), 0777) != 0 && errno != EEXIST) {
            XException::raise(errno, "Error creating folder: %s", m_path.c_str());
        }
        return;
    }
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno != EEXIST) {
            XException::raise(errno, "Error creating spec: %s", m_path.c_str());
        }
        return;
    }
    ::close(fd);
}

void XFileSpec::remove() const {
    if (!exists()) {
        return;
    }
    const QString path = toQString();
    const QByteArray native = nativePath(path);
    if (isRealFolder(native)) {
        removeFolderTree(path);
        return;
    }
    if (::unlink(native.constData()) != 0 && errno != ENOENT) {
        XException::raise(errno, "Could not delete spec: %s", m_path.c_str());
    }
}

void XFileSpec::deleteMatching(const XFileSpec& folder, const XString& pattern) {
    const QString folderPath = folder.toQString();
    const QString wildcard = pattern.isEmpty() ? QStringLiteral("*.*") : pattern.toQString();
    const QStringList names = QDir(folderPath).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!matchesWildcard(name, wildcard)) {
            continue;
        }
        const QString path = QDir(folderPath).filePath(name);
        const QByteArray native = nativePath(path);
        if (isRealFolder(native)) {
            continue;
        }
        if (::unlink(native.constData()) != 0 && errno != ENOENT) {
            XException::raise(errno, "Could not delete spec: %s", XString(path).c_str());
        }
    }
}

bool XFileSpec::matchesWildcard(const QString& name, const QString& pattern) {
    // "*.*" is the "every name" pattern of the original file system, names without a dot included.
    if (pattern == QLatin1String("*.*")) {
        return true;
    }
    // Greedy match with one back-track point: the last "*" seen.
    qsizetype n = 0;
    qsizetype p = 0;
    qsizetype starP = -1;
    qsizetype starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == QLatin1Char('?') || pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
        ++p;
    }
    return p == pattern.size();
}
