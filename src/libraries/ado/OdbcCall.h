// The one checked-call helper: every ODBC call of the layer goes through check(), so that every
// failure becomes a ComError carrying ALL diagnostic records of the call. A call that may wait for the
// source (connecting, executing, fetching, closing) runs under the source watchdog through watched().
//
// Usage: OdbcCall::check(OdbcCall::watched(SQL_HANDLE_STMT, stmt, [&] { return SQLExecDirect(stmt, ...); }),
//                        SQL_HANDLE_STMT, stmt);
// SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_NO_DATA and SQL_NEED_DATA pass (returned unchanged);
// SQL_ERROR and SQL_INVALID_HANDLE throw ComError::fromDiagnostics. Once the source has stopped answering
// (SourceWatchdog), every check throws the timeout error (SQLSTATE HYT00), whatever the call returned.
#pragma once

#include <sql.h>

#include <QList>
#include <utility>

#include "libraries/ado/ComError.h"
#include "libraries/ado/SourceWatchdog.h"

namespace ado {

class OdbcCall {
  public:
    static SQLRETURN check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle);

    // Runs call, one ODBC call on handle that may wait for the source, under the process's source
    // watchdog, and returns its result unchecked.
    template <typename Call>
    static SQLRETURN watched(SQLSMALLINT handleType, SQLHANDLE handle, Call&& call) {
        return SourceWatchdog::instance().watch(handleType, handle, std::forward<Call>(call));
    }

    // Every diagnostic record of the handle's last call (SQLGetDiagRec from 1 until SQL_NO_DATA),
    // messages decoded from UTF-8. Never throws.
    static QList<ErrorRecord> diagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

    static bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }
};

}  // namespace ado
