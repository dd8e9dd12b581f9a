#include "libraries/platform/RegularFile.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

namespace platform {

int openRegularFile(const QString& path, int flags, struct stat* info, mode_t mode) {
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC | O_NONBLOCK, mode);
    if (fd < 0) {
        return -1;
    }
    struct stat status {};
    const bool known = ::fstat(fd, &status) == 0;
    if (!known || !S_ISREG(status.st_mode)) {
        const int error = known ? EINVAL : errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    if (info != nullptr) {
        *info = status;
    }
    return fd;
}

std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes, bool followLinks) {
    const int fd = openRegularFile(path, O_RDONLY | (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    QByteArray content = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    return content;
}

}  // namespace platform
