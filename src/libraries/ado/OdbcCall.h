// The one checked-call helper: every ODBC call of the layer goes through check(), so that every
// failure becomes a ComError carrying ALL diagnostic records of the call.
//
// Usage: OdbcCall::check(SQLExecDirect(stmt, ...), SQL_HANDLE_STMT, stmt);
// SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_NO_DATA and SQL_NEED_DATA pass (returned unchanged);
// SQL_ERROR and SQL_INVALID_HANDLE throw ComError::fromDiagnostics.
#pragma once

#include <sql.h>

#include <QList>

#include "libraries/ado/ComError.h"

namespace ado {

class OdbcCall {
  public:
    static SQLRETURN check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle);

    // Every diagnostic record of the handle's last call (SQLGetDiagRec from 1 until SQL_NO_DATA),
    // messages decoded from UTF-8. Never throws.
    static QList<ErrorRecord> diagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

    static bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }
};

}  // namespace ado
