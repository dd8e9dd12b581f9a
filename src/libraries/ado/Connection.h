// An ADO-like connection over unixODBC: one environment and one connection handle.
//
// Owns its ODBC handles (freed on close and destruction). Open() translates the ADO connection
// string (ConnectionString), applies the mode and the timeouts and connects through the ANSI entry
// points (text as UTF-8, no prompting): with SQLConnect when the string names only a DSN, user and
// password (so that no driver log receives the password inside a connection string), else with
// SQLDriverConnect.
//   Mode: adModeRead (1) asks the driver for SQL_ATTR_ACCESS_MODE read-only; drivers that do not
//     support the attribute (most do not enforce it) are accepted silently, so the source itself
//     must be read-only (SQLite: Database=file:PATH?mode=ro; PostgreSQL: ReadOnly=1). Every other
//     mode (share-exclusive included: ODBC has no exclusive access) leaves the driver's default.
//   ConnectionTimeout -> SQL_ATTR_LOGIN_TIMEOUT; CommandTimeout -> SQL_ATTR_QUERY_TIMEOUT of every
//     statement opened on the connection (0 = no limit); both kept within the source watchdog's limit,
//     which bounds every call that may wait for the source on this side too (SourceWatchdog).
// Errors: every failure throws ComError (see ComError.h for the fixed HRESULT and source). The
// Errors collection (errors()) holds the diagnostic records of the last failed operation on this
// connection, including a recordset's Open on it; a successful Open clears it.
// The connection string, and the password in it, never appear in an error or anywhere else: the
// layer keeps neither, and removes the password from driver messages should a driver echo it.
//
// Not thread-safe; one thread uses a connection and its recordsets.
// REQUIRES: every Recordset opened on a connection is closed or destroyed before the connection is
// closed or destroyed (a static recordset is detached after Open and only needs this for its Open).
#pragma once

#include <sqltypes.h>

#include <QList>
#include <QString>
#include <memory>

#include "libraries/ado/ComError.h"

namespace ado {

class Connection {
  public:
    enum Mode { adModeUnknown = 0, adModeRead = 1, adModeReadWrite = 3, adModeShareExclusive = 12 };
    enum State { adStateClosed = 0, adStateOpen = 1 };

    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Settings for the next open(). Defaults: adModeUnknown (driver default), 15 s, 30 s.
    void setMode(Mode mode);
    Mode mode() const;
    void setConnectionTimeout(int seconds);
    int connectionTimeout() const;
    void setCommandTimeout(int seconds);
    int commandTimeout() const;

    // ADO's Open(ConnectionString, UserID, Password, Options). A non-empty user or password
    // replaces the string's UID/PWD. options is accepted and ignored (0 = synchronous).
    // Throws ComError; ComError ObjectOpen when already open.
    void open(const QString& connectionString, const QString& user = {}, const QString& password = {},
              int options = 0);

    State state() const;
    bool isOpen() const { return state() == adStateOpen; }

    // Disconnects and frees the handles. Throws ComError ObjectClosed when not open.
    void close();

    // The Errors collection: the diagnostic records of the last failed operation.
    const QList<ErrorRecord>& errors() const;
    void clearErrors();

    // For Recordset: the connection handle (SQL_NULL_HANDLE when closed), and the place where a
    // failing operation on the connection files its records (password scrubbed, then thrown).
    SQLHDBC odbcHandle() const;
    [[noreturn]] void fail(ComError error);

    // Runs an ODBC call's result through OdbcCall::check on this connection's Errors collection:
    // a failure is recorded in errors() and thrown (password scrubbed). Returns rc otherwise.
    SQLRETURN check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle);

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace ado
