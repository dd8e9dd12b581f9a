// The private ODBC set-up of the ADO layer's tests, built once per test process.
//
// It writes an odbc.ini and an odbcinst.ini into a temporary folder and points ODBCINI and ODBCSYSINI
// at them before the process makes its first ODBC call (unixODBC reads them when it first needs
// them). The drivers are registered as the system registers them, with the driver manager's trace
// and psqlODBC's debug and communication logs switched on and written into logsFolder(). DSNs:
//   NorvAdoSqlite  driver "SQLite3" on a fixture file made with the sqlite3 tool (tables kinds, many, odd)
//   NorvAdoPg      driver "PostgreSQL Unicode" on 127.0.0.1:$NORV_PG_PORT, database norv_test,
//                  BoolsAsChar=0 so that boolean columns arrive as SQL_BIT; no user or password in it
//   NorvAdoPgDown  the same driver on a local port where nothing listens
// REQUIRES: instance() is called before anything else in the process touches ODBC.
#pragma once

#include <QString>

namespace adotest {

class OdbcTestEnv {
  public:
    static const OdbcTestEnv& instance();

    bool hasPostgres() const { return pgPort_ > 0; }
    // The ADO connection string of each source, as the data access layer would build it.
    QString sqliteConnection() const;
    QString postgresConnection(const QString& password = QStringLiteral("norv-admin-pw")) const;
    QString postgresDownConnection() const;
    const QString& folder() const { return folder_; }
    QString logsFolder() const { return folder_ + QStringLiteral("/logs"); }

    static constexpr const char* kPgUser = "norv_admin";

  private:
    OdbcTestEnv();
    QString folder_;
    int pgPort_ = 0;
};

}  // namespace adotest
