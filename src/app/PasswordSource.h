// Where the connection's password comes from, besides --pwd and --pwdencode (which the host uses and every
// local user can read in the process's arguments): a private file named with --pwdfile, or the systemd
// credential "norv-pwd" of the service that runs the program.
//
// Precedence: --pwd and --pwdencode as before (the decoded --pwdencode replaces --pwd); otherwise the file
// of --pwdfile; otherwise the credential, when $CREDENTIALS_DIRECTORY holds one. --pwdfile together with
// --pwd or --pwdencode is refused: two passwords given on purpose cannot both be meant, and trying the
// wrong one could lock the account. Whatever the source, the password ends up in "pwd", the one value
// every command that connects reads.
//
// Owns nothing. REQUIRES: values hold the parsed options with "pwd" already filled from "pwdencode".
#pragma once

#include "app/AppParam.h"

#include <QString>

class PasswordSource {
  public:
    // The option key of the password file; a command-line option only, absent from the host's groups.
    static constexpr char kFileKey[] = "pwdfile";
    // The name of the credential (LoadCredential=norv-pwd:PATH in the service unit).
    static constexpr char kCredential[] = "norv-pwd";

    // Fills values["pwd"] from the file or the credential when neither --pwd nor --pwdencode was given.
    // credentialsFolder is systemd's $CREDENTIALS_DIRECTORY (empty outside a service with credentials).
    // False, with reason set to a sentence for the person setting the program up, when the password file
    // or the credential is refused or cannot be read, or the file is given together with another password.
    static bool resolve(ParamValues& values, const QString& credentialsFolder, QString& reason);
};
