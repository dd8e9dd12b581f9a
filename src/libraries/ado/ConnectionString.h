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
// Keys match without regard to letter case and surrounding blanks. A value containing ";" or "}"
// or starting with "{" is written braced ({...}, "}" doubled) so that it cannot end the pair early.
// A Provider value may be braced or quoted. Empty pairs (";;") are skipped; a pair without "=" is a
// key with an empty value.
//
// REQUIRES nothing; pure text work, safe to unit-test. Never puts the input text into an error.
#pragma once

#include <QString>
#include <QStringList>

namespace ado {

class ConnectionString {
  public:
    // Throws ComError(ProviderNotFound, "ADODB.Connection", "Provider cannot be found. It may not be
    // properly installed.") for a provider other than MSDASQL.
    static QString toOdbc(const QString& adoConnectionString);

    // The secret values (PWD and its aliases) of a connection string, ADO or ODBC style, for
    // scrubbing driver messages. Empty values are left out.
    static QStringList secrets(const QString& connectionString);
};

}  // namespace ado
