#include "libraries/support/XFileSpec.h"

#include "libraries/support/XException.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <climits>
#include <memory>
#include <string>
#include <vector>

namespace {

// Longest path in the system's encoding; PATH_MAX counts the terminator.
constexpr int MaxPathLength = PATH_MAX - 1;

int nativeLength(const QString& text) {
    return static_cast<int>(QFile::encodeName(text).size());
}

[[noreturn]] void raiseNotDeleted(int error, const QString& path) {
    XException::raise(error, "Could not delete spec: %s", XString(path).c_str());
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// Deletes the entry name of the folder parentFd: a folder with its content, anything else (a link too) as
// it is. Every folder is entered through its own descriptor opened without following a link, so an entry
// swapped for a link while this runs is removed as a link, never walked into.
void removeEntry(int parentFd, const char* name, const QString& shown) {
    struct stat info {};
    if (::fstatat(parentFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return;  // gone already
    }
    if (S_ISDIR(info.st_mode)) {
        const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
            if (!dir) {
                ::close(fd);
                return;
            }
            std::vector<std::string> names;
            while (const dirent* entry = ::readdir(dir.get())) {
                const std::string entryName = entry->d_name;
                if (entryName != "." && entryName != "..") {
                    names.push_back(entryName);
                }
            }
            for (const std::string& entryName : names) {
                removeEntry(fd, entryName.c_str(),
                            shown + QLatin1Char('/') + QFile::decodeName(entryName.c_str()));
            }
            // A folder that cannot be removed after its content went is not reported: the content matters.
            ::unlinkat(parentFd, name, AT_REMOVEDIR);
            return;
        }
        if (errno != ELOOP && errno != ENOTDIR) {
            return;
        }
        // Replaced by a link or a file since it was looked at: removed as it is now, below.
    }
    if (::unlinkat(parentFd, name, 0) != 0 && errno != ENOENT) {
        raiseNotDeleted(errno, shown);
    }
}

}  // namespace

XFileSpec::XFileSpec() = default;

XFileSpec::XFileSpec(const XString& path) {
    set(path);
}

XFileSpec::XFileSpec(const QString& path) {
    set(path);
}

void XFileSpec::set(const QString& path) {
    if (!path.isEmpty() && path.at(0) != QLatin1Char('/')) {
        XException::raise(0, "No support for relative paths: %s", XString(path).c_str());
    }
    const int length = nativeLength(path);
    if (length > MaxPathLength) {
        XException::raise(0, "Path length (%u) exceeds maximum %u: %s", static_cast<unsigned>(length),
                          static_cast<unsigned>(MaxPathLength), XString(path).c_str());
    }
    m_path = path;
    updateNamePos();
}

void XFileSpec::updateNamePos() {
    const qsizetype slash = m_path.lastIndexOf(QLatin1Char('/'));
    if (m_path.isEmpty() || slash == m_path.size() - 1) {
        m_namePos = -1;
    } else {
        m_namePos = static_cast<int>(slash + 1);
    }
}

void XFileSpec::setFileName(const QString& name) {
    QString base = hasFileName() ? m_path.left(m_namePos) : m_path;
    if (!base.endsWith(QLatin1Char('/'))) {
        base.append(QLatin1Char('/'));
    }
    const int room = MaxPathLength - nativeLength(base);
    const int nameLength = nativeLength(name);
    if (nameLength > room) {
        XException::raise(0, "Appended length (%u) would make path length exceed maximum %u.",
                          static_cast<unsigned>(nameLength), static_cast<unsigned>(room < 0 ? 0 : room));
    }
    set(base + name);
}

void XFileSpec::appendFolder(const QString& name) {
    setFileName(name);
    if (m_path.endsWith(QLatin1Char('/'))) {
        return;
    }
    if (nativeLength(m_path) + 1 > MaxPathLength) {
        const unsigned length = static_cast<unsigned>(nativeLength(name));
        XException::raise(0, "Appended length (%u) would make path length exceed maximum %u.", length + 1,
                          length);
    }
    m_path.append(QLatin1Char('/'));
    updateNamePos();
}

XFileSpec XFileSpec::folder() const {
    XFileSpec result;
    if (m_path.size() <= 1) {
        result.m_path = m_path;
        result.updateNamePos();
        return result;
    }
    QString text = m_path.left(m_path.size() - 1);
    text.truncate(text.lastIndexOf(QLatin1Char('/')) + 1);
    result.m_path = text;
    result.updateNamePos();
    return result;
}

QByteArray XFileSpec::native() const {
    return QFile::encodeName(m_path);
}

QByteArray XFileSpec::nativeEntry() const {
    if (m_path.size() > 1 && m_path.endsWith(QLatin1Char('/'))) {
        return QFile::encodeName(m_path.left(m_path.size() - 1));
    }
    return native();
}

bool XFileSpec::isFolder() const {
    return !m_path.isEmpty() && m_namePos < 0;
}

QString XFileSpec::nativeFileName() const {
    return hasFileName() ? m_path.mid(m_namePos) : QString();
}

XString XFileSpec::extension() const {
    const QString name = nativeFileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? XString() : XString(name.mid(dot + 1));
}

bool XFileSpec::exists() const {
    if (m_path.isEmpty()) {
        return false;
    }
    struct stat info {};
    return ::lstat(nativeEntry().constData(), &info) == 0;
}

bool XFileSpec::isLink() const {
    if (m_path.isEmpty()) {
        return false;
    }
    struct stat info {};
    return ::lstat(nativeEntry().constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

void XFileSpec::create() const {
    if (m_path.isEmpty() || exists()) {
        return;
    }
    const XFileSpec parent = folder();
    if (parent.m_path.size() < m_path.size() && !parent.exists()) {
        parent.create();
    }
    const QByteArray path = native();
    if (isFolder()) {
        if (::mkdir(path.constData(), 0777) != 0 && errno != EEXIST) {
            XException::raise(errno, "Error creating folder: %s", this->path().c_str());
        }
        return;
    }
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno != EEXIST) {
            XException::raise(errno, "Error creating spec: %s", this->path().c_str());
        }
        return;
    }
    ::close(fd);
}

void XFileSpec::remove() const {
    if (m_path.isEmpty()) {
        return;
    }
    // An absolute path: the descriptor argument is not used, and only the last component is the spec's.
    removeEntry(AT_FDCWD, nativeEntry().constData(), m_path);
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
        const QByteArray native = QFile::encodeName(path);
        struct stat info {};
        if (::lstat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode)) {
            continue;
        }
        // unlink removes a link itself, never what it points at.
        if (::unlink(native.constData()) != 0 && errno != ENOENT) {
            raiseNotDeleted(errno, path);
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
