#include "libraries/platform/FolderDescriptor.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace platform {

namespace {

QString procPath(int fd) {
    return QStringLiteral("/proc/self/fd/") + QString::number(fd);
}

}  // namespace

bool FolderDescriptor::open(const QString& path) {
    close();
    // A trailing "/" would have the link at the folder's name followed.
    QString name = path;
    while (name.size() > 1 && name.endsWith(QLatin1Char('/'))) {
        name.chop(1);
    }
    const QByteArray native = QFile::encodeName(name);
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        // Linux reports a link refused by O_NOFOLLOW with O_DIRECTORY as ENOTDIR: say what it is.
        const int error = errno;
        struct stat status {};
        errno = error == ENOTDIR && ::lstat(native.constData(), &status) == 0 && S_ISLNK(status.st_mode)
                    ? ELOOP
                    : error;
        return false;
    }
    m_fd.reset(fd);
    return true;
}

QString FolderDescriptor::shortPathTo(const QString& name) const {
    const QString folder = procPath(m_fd.get());
    struct stat viaProc {};
    struct stat held {};
    // The same folder both ways: this process's descriptors, not those of another process namespace.
    const bool same = ::stat(QFile::encodeName(folder).constData(), &viaProc) == 0 &&
                      ::fstat(m_fd.get(), &held) == 0 && viaProc.st_dev == held.st_dev &&
                      viaProc.st_ino == held.st_ino;
    return same ? folder + QLatin1Char('/') + name : QString();
}

}  // namespace platform
