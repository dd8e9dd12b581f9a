#include "app/FolderLock.h"

#include "libraries/platform/Folders.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <cerrno>

FolderLock::~FolderLock() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

FolderLock::Result FolderLock::lock(const QString& folder) {
    platform::createFolderPath(folder);
    const QByteArray path = QFile::encodeName(QDir(folder).filePath(fileName()));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
        return Result::Unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? Result::HeldElsewhere : Result::Unavailable;
    }
    fd_ = fd;
    return Result::Locked;
}
