#include "libraries/sqlitewrapper/SqlError.h"

#include <sqlite3.h>
#include <utility>

namespace sqlite {

SqlError::SqlError(int resultCode, std::string dbMessage, std::string description, std::string where,
                   std::string sql)
    : XException("Sql Error: " + dbMessage + " (" + description + ") (" + where + ")", resultCode),
      m_dbMessage(std::move(dbMessage)),
      m_description(std::move(description)),
      m_where(std::move(where)),
      m_sql(std::move(sql)) {}

void Raise(int code, sqlite3* connection, const std::string& where, const std::string& description,
           const std::string& sql) {
    RaiseWithMessage(code, connection ? sqlite3_errmsg(connection) : "", where, description, sql);
}

void RaiseWithMessage(int code, std::string dbMessage, const std::string& where,
                      const std::string& description, const std::string& sql) {
    switch (code & 0xFF) {
        case SQLITE_PERM:
            throw PermError(code, std::move(dbMessage), description, where, sql);
        case SQLITE_ABORT:
            throw AbortError(code, std::move(dbMessage), description, where, sql);
        case SQLITE_BUSY:
            throw BusyError(code, std::move(dbMessage), description, where, sql);
        case SQLITE_IOERR:
            throw IOError(code, std::move(dbMessage), description, where, sql);
        case SQLITE_MISMATCH:
            throw DataTypeMismatchError(code, std::move(dbMessage), description, where, sql);
        default:
            throw SqlError(code, std::move(dbMessage), description, where, sql);
    }
}

}  // namespace sqlite
