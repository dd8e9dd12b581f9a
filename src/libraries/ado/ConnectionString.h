// Translation of an ADO connection string ("key=value;" pairs, as the data access layer builds them)
// into the ODBC connection string handed to SQLDriverConnect.
//
//   Provider=MSDASQL or no Provider      ODBC (anything else: ComError ProviderNotFound)
//   Data Source / DSN                    DSN
//   User ID / User Id / UID / Uid        UID
//   Password / PWD / Pwd                 PWD
//   Database                             DATABASE
//   Persist Security Info                dropped
//   anything else (Driver, Trusted_Connection, ReadOnly, Port, ...)  passed on unchanged
// Keys match without regard to letter case and surrounding blanks. A value braced in the text stays braced;
// one containing ";" or "}", starting with "{" or a quote, or with blanks at either end is written braced
// ({...}, "}" doubled), so that it cannot end the pair early or be read back as another value. A brace or
// quote that is never closed is part of the value. A Provider value may be braced or quoted. Empty pairs
// (";;") are skipped; a pair without "=" is a key with an empty value.
//
// REQUIRES nothing; pure text work, safe to unit-test. Never puts the input text into an error.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace ado {

class ConnectionString {
  public:
    // Throws ComError(ProviderNotFound, "ADODB.Connection", "Provider cannot be found. It may not be
    // properly installed.") for a provider other than MSDASQL. A non-empty user or password replaces
    // every UID or PWD of the string (ADO's Open arguments override the string's values).
    static QString toOdbc(const QString& adoConnectionString, const QString& user = {},
                          const QString& password = {});

    // An ODBC connection string that names only a DSN, with or without UID and PWD, can be opened
    // with SQLConnect, which hands the password to the driver as an argument. Drivers log their
    // connection string when their debug log is on (psqlODBC writes it unmasked), but mask that
    // argument; so the layer prefers this way whenever the string allows it.
    struct DsnLogin {
        QString dsn;
        QString user;
        QString password;
    };
    static std::optional<DsnLogin> dsnLogin(const QString& odbcConnectionString);

    // The secret values (PWD and its aliases) of a connection string, ADO or ODBC style, for
    // scrubbing driver messages. Empty values are left out.
    static QStringList secrets(const QString& connectionString);
};

}  // namespace ado
