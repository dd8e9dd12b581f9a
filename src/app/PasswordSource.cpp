#include "app/PasswordSource.h"

#include "libraries/platform/SecretFile.h"

#include <QDir>
#include <QFileInfo>

bool PasswordSource::resolve(ParamValues& values, const QString& credentialsFolder, QString& reason) {
    const QString file = values.value(QLatin1String(kFileKey));
    const bool onCommandLine = !values.value(QStringLiteral("pwd")).isEmpty() ||
                               !values.value(QStringLiteral("pwdencode")).isEmpty();
    QString path;
    platform::SecretFile::Access access = platform::SecretFile::Access::OwnerOnly;
    QString label;
    if (!file.isEmpty()) {
        if (onCommandLine) {
            reason = QStringLiteral(
                "Give the password one way only: --pwdfile cannot be combined with --pwd or --pwdencode.");
            return false;
        }
        path = file;
        label = QStringLiteral("password file");
    } else if (!onCommandLine && !credentialsFolder.isEmpty()) {
        const QString credential = QDir(credentialsFolder).filePath(QLatin1String(kCredential));
        if (!QFileInfo::exists(credential)) {
            return true;  // the service passes other credentials, not this one
        }
        // systemd makes the folder readable by the service alone and decides the files' owner and mode.
        path = credential;
        access = platform::SecretFile::Access::Vouched;
        label = QStringLiteral("credential file");
    } else {
        return true;
    }
    const std::optional<QString> password = platform::SecretFile::read(path, access, label, reason);
    if (!password) {
        return false;
    }
    values.insert(QStringLiteral("pwd"), *password);
    return true;
}
