// A secret (a password) read from a file instead of the command line, where every local user could read it
// (ps, /proc/PID/cmdline).
//
// The file holds the secret alone, as UTF-8 text: one line, of which one trailing line end ("\n" or
// "\r\n", as an editor or `echo` leaves it) is not part of the secret; everything else is, blanks at either
// end included. A file that is empty, holds more than one line or a NUL, is not UTF-8 or is larger than
// kSizeLimit bytes is refused rather than guessed at.
//
// Owns nothing; the file is opened once, checked on the open descriptor (so it cannot be swapped between
// the check and the read) and closed again. Opening never blocks: a FIFO in the file's place is refused.
// REQUIRES: nothing; reasons name the file and say what to do, and never contain the secret.
#pragma once

#include <QString>

#include <optional>

namespace platform {

class SecretFile {
  public:
    enum class Access {
        // Only a regular file of this process's user that its group and other users may neither read nor
        // write (no group or other permission bits; an ACL that grants another user access shows in the
        // group bits), as ssh demands of a private key.
        OwnerOnly,
        // Whoever placed the file vouches for who may read it (systemd's credentials folder of a
        // service, whose files are owned and shared as systemd decides); only a regular file is read.
        Vouched,
    };

    static constexpr qint64 kSizeLimit = 4096;

    // The secret in the file at path, or nothing with reason set to one sentence naming label and path
    // ("The password file /etc/x.pwd is empty.").
    static std::optional<QString> read(const QString& path, Access access, const QString& label,
                                       QString& reason);
};

}  // namespace platform
