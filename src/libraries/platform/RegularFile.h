// Opening and reading a file that other users or programs may have replaced: only a regular file is used,
// so a FIFO (which would block the caller until someone opens its other end), a device or a folder planted
// under the name counts as absent; without following links, a symbolic link does too. The check is made on
// the open descriptor, so the file cannot be swapped between the check and its use.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include <sys/stat.h>

namespace platform {

// Opens path with flags (O_CLOEXEC and O_NONBLOCK added: a FIFO cannot block the open) and mode, and keeps
// the descriptor only when it names a regular file; info, when given, receives the file's status. -1
// otherwise, with errno the open's error, or EINVAL for anything but a regular file. The caller closes the
// descriptor.
int openRegularFile(const QString& path, int flags, struct stat* info = nullptr, mode_t mode = 0666);

// The content of the regular file at path, at most maxBytes + 1 bytes (so that a caller can tell a file
// larger than it accepts); nullopt when it is missing, not a regular file, a link (without followLinks) or
// cannot be read.
std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes, bool followLinks);

}  // namespace platform
