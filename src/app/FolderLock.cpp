#include "app/FolderLock.h"

#include "libraries/platform/Folders.h"
#include "libraries/platform/RegularFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <thread>

FolderLock::~FolderLock() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

FolderLock::Result FolderLock::lock(const QString& folder, std::chrono::milliseconds patience) {
    if (!platform::createFolderPath(folder) || !QFileInfo(folder).isDir()) {
        error_ = QFileInfo::exists(folder) ? ENOTDIR : (errno != 0 ? errno : EACCES);
        return Result::NoFolder;
    }
    // Not following a link, and never a folder: a lock on anything but the folder's own file would let a
    // second run in.
    const QString path = QDir(folder).filePath(fileName());
    int fd = platform::openRegularFile(path, O_RDWR | O_CREAT | O_NOFOLLOW);
    if (fd < 0 && errno == EACCES) {
        // A lock file this user may read but not write (left by a run as root, say) locks all the same:
        // flock needs no write access.
        fd = platform::openRegularFile(path, O_RDONLY | O_NOFOLLOW);
    }
    if (fd < 0) {
        error_ = errno;
        return Result::Unavailable;
    }
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error != EWOULDBLOCK || std::chrono::steady_clock::now() >= giveUp) {
            ::close(fd);
            error_ = error;
            return error == EWOULDBLOCK ? Result::HeldElsewhere : Result::Unavailable;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    fd_ = fd;
    return Result::Locked;
}

FolderLock::Result FolderLock::probe(const QString& folder, int* error) {
    const auto failed = [error](int code, Result result) {
        if (error != nullptr) {
            *error = code;
        }
        return result;
    };
    if (!QFileInfo(folder).isDir()) {
        return failed(ENOENT, Result::NoFolder);
    }
    const int fd = platform::openRegularFile(QDir(folder).filePath(fileName()), O_RDONLY | O_NOFOLLOW);
    if (fd < 0) {
        // No run has ever held the folder (or it left no lock file): nothing holds it.
        return errno == ENOENT ? Result::Locked : failed(errno, Result::Unavailable);
    }
    // Shared and let go at once: a run that starts the next moment must find the folder free.
    const bool free = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
    const int code = errno;
    ::close(fd);
    if (free) {
        return Result::Locked;
    }
    return code == EWOULDBLOCK ? failed(code, Result::HeldElsewhere) : failed(code, Result::Unavailable);
}
