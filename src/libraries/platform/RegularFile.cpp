#include "libraries/platform/RegularFile.h"

#include "libraries/platform/Descriptor.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
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
    struct stat status {};
    const Descriptor fd(openRegularFile(path, O_RDONLY | (followLinks ? 0 : O_NOFOLLOW), &status));
    if (!fd.isOpen()) {
        return std::nullopt;
    }
    // Sized by the file, not by the limit: a limit of megabytes must not cost megabytes for a small file.
    // A file that grows while it is read is read on, up to the limit and its one byte more.
    const qint64 wanted = maxBytes + 1;
    QByteArray content(static_cast<qsizetype>(std::clamp<qint64>(status.st_size + 1, 1, wanted)),
                       Qt::Uninitialized);
    qint64 filled = 0;
    while (filled < wanted) {
        if (filled == content.size()) {
            content.resize(static_cast<qsizetype>(std::min(wanted, 2 * filled)));
        }
        const ssize_t got =
            ::read(fd.get(), content.data() + filled, static_cast<size_t>(content.size() - filled));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        filled += got;
    }
    content.truncate(static_cast<qsizetype>(filled));
    return content;
}

}  // namespace platform
