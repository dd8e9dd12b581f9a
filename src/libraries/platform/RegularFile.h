// Reading a small file that other users or programs may have replaced: only a regular file is read, so a
// FIFO (which would block the reader until someone writes to it), a device or a folder planted under the
// name reads as absent; without followLinks a symbolic link does too.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace platform {

// The content of the regular file at path, at most maxBytes + 1 bytes (so that a caller can tell a file
// larger than it accepts); nullopt when it is missing, not a regular file, a link (without followLinks) or
// cannot be read.
std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes, bool followLinks);

}  // namespace platform
