// The exceptions of the SQLite wrapper: every failing SQLite call becomes one of these.
//
// The class follows the primary result code (the low byte of the extended code): PermError 3, AbortError 4,
// BusyError 5, IOError 10, DataTypeMismatchError 20, SqlError for every other code, including the wrapper's
// own checks (-1, and 101 for "nothing to prepare"). what() reads
// "Sql Error: <connection message> (<description>) (<where>)"; code() is the full result code.
#pragma once

#include "libraries/support/XException.h"

#include <string>

struct sqlite3;

namespace sqlite {

class SqlError : public XException {
  public:
    SqlError(int resultCode, std::string dbMessage, std::string description, std::string where,
             std::string sql);

    int ResultCode() const { return code(); }
    const std::string& DbMessage() const { return m_dbMessage; }
    const std::string& Description() const { return m_description; }
    const std::string& Where() const { return m_where; }
    const std::string& Sql() const { return m_sql; }

  private:
    std::string m_dbMessage;
    std::string m_description;
    std::string m_where;
    std::string m_sql;
};

class PermError : public SqlError {
  public:
    using SqlError::SqlError;
};

class AbortError : public SqlError {
  public:
    using SqlError::SqlError;
};

class BusyError : public SqlError {
  public:
    using SqlError::SqlError;
};

class IOError : public SqlError {
  public:
    using SqlError::SqlError;
};

class DataTypeMismatchError : public SqlError {
  public:
    using SqlError::SqlError;
};

// Throws the class chosen by code, with the connection's current error message ("" without a connection).
[[noreturn]] void Raise(int code, sqlite3* connection, const std::string& where,
                        const std::string& description, const std::string& sql = std::string());

// The same with the connection's message taken beforehand (for a handle that is closed before the throw).
[[noreturn]] void RaiseWithMessage(int code, std::string dbMessage, const std::string& where,
                                   const std::string& description, const std::string& sql = std::string());

// Nothing when condition holds; Raise otherwise.
inline void Check(bool condition, int code, sqlite3* connection, const std::string& where,
                  const std::string& description, const std::string& sql = std::string()) {
    if (!condition) {
        Raise(code, connection, where, description, sql);
    }
}

}  // namespace sqlite
