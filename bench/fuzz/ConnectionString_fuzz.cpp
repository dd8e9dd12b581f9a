// Fuzz target: the translation of an ADO connection string into the ODBC one, the DSN login read from it and
// the secrets found in it for scrubbing. Input: the ADO string, a NUL, a user, a NUL and a password (UTF-8).
//
// Checks: only an unknown provider is refused; no value of the string can end its pair early or hide a
// password from the scrubbing: every password of the input is a secret of the output, a password given
// beside the string is the output's last secret (and the DSN login's password), and the error of a
// refused string quotes nothing of it.
#include "FuzzInput.h"

#include "libraries/ado/ComError.h"
#include "libraries/ado/ConnectionString.h"

using ado::ConnectionString;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QList<QByteArray> parts = fuzz::parts(data, size);
    const QString text = QString::fromUtf8(parts.value(0));
    const QString user = QString::fromUtf8(parts.value(1));
    const QString password = QString::fromUtf8(parts.value(2));

    QString odbc;
    try {
        odbc = ConnectionString::toOdbc(text, user, password);
    } catch (const ado::ComError& error) {
        FUZZ_CHECK(error.hresult() == ado::ComError::ProviderNotFound);
        // The fixed words alone: nothing of the string, whose password may stand anywhere in it.
        FUZZ_CHECK(error.description() ==
                   QLatin1String("Provider cannot be found. It may not be properly installed."));
        return 0;
    }

    const QStringList found = ConnectionString::secrets(odbc);
    if (password.isEmpty()) {
        for (const QString& secret : ConnectionString::secrets(text)) {
            FUZZ_CHECK(found.contains(secret.trimmed()) || found.contains(secret));
        }
    } else {
        if (found.isEmpty() || found.last() != password) {
            std::fprintf(stderr, "translated: %s\n", odbc.toUtf8().constData());
        }
        FUZZ_CHECK(!found.isEmpty() && found.last() == password);
        if (const auto login = ConnectionString::dsnLogin(odbc)) {
            FUZZ_CHECK(login->password == password);
            FUZZ_CHECK(user.isEmpty() || login->user == user);
        }
    }
    // The translation is stable: what it wrote translates to itself.
    FUZZ_CHECK(ConnectionString::toOdbc(odbc) == odbc);
    return 0;
}
