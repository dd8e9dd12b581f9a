#include "writer/StagedFile.h"

#include "libraries/support/XException.h"
#include "libraries/support/XTextFile.h"
#include "writer/ExtractSet.h"

#include <fcntl.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cerrno>
#include <cstdio>

namespace {

// Tries with another name when a path of that name exists already; a planted path is never opened.
constexpr int kNameAttempts = 16;

// fsync of a path that is not held open: the page cache belongs to the file, not to a descriptor.
bool syncPath(const XFileSpec& spec, int flags) {
    const QByteArray path = spec.native();
    const int fd = ::open(path.constData(), flags | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

// "." + name + "." + 16 random hex digits + ".part", beside finalSpec.
XFileSpec randomTemporary(const XFileSpec& finalSpec) {
    const quint64 token = QRandomGenerator::system()->generate64();
    XFileSpec temporary = finalSpec;
    temporary.setFileName(QLatin1Char('.') + finalSpec.nativeFileName() + QLatin1Char('.') +
                          QStringLiteral("%1").arg(token, 16, 16, QLatin1Char('0')) +
                          QStringLiteral(".part"));
    return temporary;
}

}  // namespace

StagedFile::StagedFile(XTextFile& file) : m_file(file) {}

StagedFile::~StagedFile() {
    abandon();
}

void StagedFile::open(const XFileSpec& finalSpec) {
    m_final = finalSpec;
    for (int attempt = 1;; ++attempt) {
        m_temporary = randomTemporary(finalSpec);
        try {
            m_file.open(m_temporary, XTextFile::Write | XTextFile::Exclusive, false);
            break;
        } catch (const XException& e) {
            if (e.code() == EEXIST && attempt < kNameAttempts) {
                continue;
            }
            // Callers and users know the file by its real name.
            XString message(e.message());
            message.replaceAll(m_temporary.path().c_str(), m_final.path().c_str());
            throw XException(message.toStdString(), e.code());
        }
    }
    m_staged = true;
}

void StagedFile::seal() {
    if (!m_staged || m_sealed) {
        return;
    }
    int error = 0;
    try {
        m_file.close();
    } catch (const XException& e) {
        error = e.code() != 0 ? e.code() : EIO;
    }
    if (error == 0 && !syncPath(m_temporary, O_RDONLY)) {
        error = errno != 0 ? errno : EIO;
    }
    if (error != 0) {
        fail(error);
    }
    m_sealed = true;
}

void StagedFile::commit() {
    if (!m_staged) {
        return;
    }
    seal();
    m_placedDurably = false;
    ExtractSet* set = m_collectable ? ExtractSet::collecting() : nullptr;
    if (set != nullptr && set->holds(m_final)) {
        // The set owns the complete file from here and moves it into place with the others.
        set->add(m_temporary, m_final);
        m_staged = false;
        m_sealed = false;
        return;
    }
    const bool placed = m_keepExisting ? placeNew(m_temporary, m_final)
                                       : moveIntoPlace(m_temporary, m_final, &m_placedDurably);
    if (!placed) {
        fail(errno);
    }
    m_staged = false;
    m_sealed = false;
}

void StagedFile::fail(int error) {
    abandon();
    XException::raise(error != 0 ? error : EIO, "Error closing file: %s", m_final.path().c_str());
}

bool StagedFile::moveIntoPlace(const XFileSpec& from, const XFileSpec& to, bool* durable) {
    const QByteArray source = from.native();
    const QByteArray target = to.native();
    if (::rename(source.constData(), target.constData()) != 0) {
        return false;
    }
    // The rename itself is durable only once the folder is synced; a failure here leaves a complete file.
    const bool synced = syncPath(to.folder(), O_RDONLY | O_DIRECTORY);
    if (durable != nullptr) {
        *durable = synced;
    }
    return true;
}

bool StagedFile::placeNew(const XFileSpec& from, const XFileSpec& to) {
    // link() never replaces what is at the name, a link included; the temporary name then goes.
    if (::link(from.native().constData(), to.native().constData()) != 0) {
        return false;
    }
    ::unlink(from.native().constData());
    syncPath(to.folder(), O_RDONLY | O_DIRECTORY);
    return true;
}

void StagedFile::abandon() noexcept {
    if (!m_staged) {
        return;
    }
    m_staged = false;
    m_sealed = false;
    try {
        m_file.close();
    } catch (...) {
    }
    const QByteArray path = m_temporary.native();
    ::unlink(path.constData());
}

void StagedFile::discard() noexcept {
    if (!m_staged) {
        return;
    }
    m_staged = false;
    m_sealed = false;
    const QByteArray path = m_temporary.native();
    ::unlink(path.constData());
}

bool StagedFile::writeWhole(const XFileSpec& finalSpec, const QByteArray& bytes) {
    return writeStandalone(finalSpec, bytes, false);
}

bool StagedFile::writeNew(const XFileSpec& finalSpec, const QByteArray& bytes) {
    return writeStandalone(finalSpec, bytes, true);
}

bool StagedFile::writeStandalone(const XFileSpec& finalSpec, const QByteArray& bytes, bool keep) {
    XTextFile file;
    StagedFile staged(file);
    // The status and state files of the folder are never part of an extract set.
    staged.m_collectable = false;
    staged.m_keepExisting = keep;
    try {
        staged.open(finalSpec);
        file.writeText(bytes.constData(), static_cast<int>(bytes.size()));
        staged.commit();
        return true;
    } catch (const XException& e) {
        staged.abandon();
        errno = e.code() != 0 ? e.code() : EIO;
        return false;
    }
}

void StagedFile::removeLeftovers(const XFileSpec& folder) {
    static const QRegularExpression leftover(QStringLiteral("^\\..+\\.[0-9a-f]{16}\\.part$"));
    const QDir dir(folder.toQString());
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (leftover.match(name).hasMatch()) {
            QFile::remove(dir.filePath(name));
        }
    }
}
