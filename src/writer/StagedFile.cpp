#include "writer/StagedFile.h"

#include "libraries/support/XException.h"
#include "libraries/support/XTextFile.h"

#include <fcntl.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>
#include <cstdio>

namespace {

// fsync of a path that is not held open: the page cache belongs to the file, not to a descriptor.
bool syncPath(const XFileSpec& spec, int flags) {
    const QByteArray path = QFile::encodeName(spec.toQString());
    const int fd = ::open(path.constData(), flags | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

}  // namespace

StagedFile::StagedFile(XTextFile& file) : m_file(file) {}

StagedFile::~StagedFile() {
    abandon();
}

XFileSpec StagedFile::temporarySpec(const XFileSpec& finalSpec) {
    XFileSpec temporary = finalSpec;
    temporary.setFileName("." + finalSpec.fileName() + ".part");
    return temporary;
}

void StagedFile::open(const XFileSpec& finalSpec) {
    m_final = finalSpec;
    m_temporary = temporarySpec(finalSpec);
    try {
        m_file.open(m_temporary, XTextFile::Write, false);
    } catch (const XException& e) {
        // Callers and users know the file by its real name.
        XString message(e.message());
        message.replaceAll(m_temporary.c_str(), m_final.c_str());
        throw XException(message.toStdString(), e.code());
    }
    m_staged = true;
}

void StagedFile::commit() {
    if (!m_staged) {
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
    if (error == 0) {
        const QByteArray from = QFile::encodeName(m_temporary.toQString());
        const QByteArray to = QFile::encodeName(m_final.toQString());
        if (::rename(from.constData(), to.constData()) != 0) {
            error = errno;
        }
    }
    if (error != 0) {
        abandon();
        XException::raise(error, "Error closing file: %s", m_final.c_str());
    }
    m_staged = false;
    // The rename itself is durable only once the folder is synced; a failure here leaves a complete file.
    syncPath(m_final.folder(), O_RDONLY | O_DIRECTORY);
}

void StagedFile::abandon() noexcept {
    if (!m_staged) {
        return;
    }
    m_staged = false;
    try {
        m_file.close();
    } catch (...) {
    }
    const QByteArray path = QFile::encodeName(m_temporary.toQString());
    ::unlink(path.constData());
}

void StagedFile::discard() noexcept {
    if (!m_staged) {
        return;
    }
    m_staged = false;
    const QByteArray path = QFile::encodeName(m_temporary.toQString());
    ::unlink(path.constData());
}
