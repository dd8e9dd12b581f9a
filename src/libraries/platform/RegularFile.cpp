#include "libraries/platform/RegularFile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes, bool followLinks) {
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW);
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    QFile file;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
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
