#include "libraries/platform/SecretFile.h"

#include "libraries/platform/Descriptor.h"
#include "libraries/platform/RegularFile.h"

#include <QByteArray>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Overwrites bytes that held a secret, so that no copy outlives its use in freed memory.
void wipe(QByteArray& bytes) {
    if (!bytes.isEmpty()) {
        std::memset(bytes.data(), 0, static_cast<size_t>(bytes.size()));
    }
    bytes.clear();
}

}  // namespace

std::optional<QString> SecretFile::read(const QString& path, Access access, const QString& label,
                                        QString& reason) {
    const QString subject = "The " + label + " " + path;
    struct stat info {};
    const Descriptor fd(openRegularFile(path, O_RDONLY | O_NOCTTY, &info));
    if (fd.get() < 0) {
        reason = subject + (errno == EINVAL ? QStringLiteral(" is not a regular file.")
                                            : " cannot be read: " + systemError(errno) + ".");
        return std::nullopt;
    }
    if (access == Access::OwnerOnly) {
        if (info.st_uid != ::geteuid()) {
            reason = subject + QStringLiteral(
                                   " belongs to another user (uid %1); it must belong to the user "
                                   "that runs norv-extract (uid %2).")
                                   .arg(info.st_uid)
                                   .arg(::geteuid());
            return std::nullopt;
        }
        if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
            const QString mode = QString::number(info.st_mode & 07777, 8).rightJustified(4, QLatin1Char('0'));
            reason = subject + " can be read or changed by other users (mode " + mode +
                     "); allow its owner only: chmod 600 " + path;
            return std::nullopt;
        }
    }

    QByteArray bytes(static_cast<qsizetype>(kSizeLimit) + 1, '\0');
    qsizetype filled = 0;
    while (filled < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + filled, static_cast<size_t>(bytes.size() - filled));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const int error = errno;
            wipe(bytes);
            reason = subject + " cannot be read: " + systemError(error) + ".";
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        filled += n;
    }
    if (filled > kSizeLimit) {
        wipe(bytes);
        reason = subject +
                 QStringLiteral(" is larger than %1 bytes; it must hold the password alone.").arg(kSizeLimit);
        return std::nullopt;
    }
    bytes.truncate(filled);
    if (bytes.endsWith('\n')) {
        bytes.chop(1);
        if (bytes.endsWith('\r')) {
            bytes.chop(1);
        }
    }
    if (bytes.isEmpty()) {
        reason = subject + " is empty.";
        return std::nullopt;
    }
    if (bytes.contains('\n') || bytes.contains('\r') || bytes.contains('\0')) {
        wipe(bytes);
        reason = subject + " holds more than one line (or a NUL byte); it must hold the password alone.";
        return std::nullopt;
    }
    // Taken as it stands, blanks included; bytes that are not UTF-8 would reach the server altered.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString secret = decoder(bytes);
    wipe(bytes);
    if (decoder.hasError()) {
        secret.fill(QChar(u' '));
        reason = subject + " is not UTF-8 text; save it as UTF-8.";
        return std::nullopt;
    }
    return secret;
}

}  // namespace platform
