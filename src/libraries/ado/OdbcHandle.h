// Owner of one ODBC handle (environment, connection or statement).
//
// Move-only; the destructor frees the handle with SQLFreeHandle (a connection handle is
// disconnected first when it is still connected). Handles must be destroyed child first:
// statement, then connection, then environment; the owning classes order their members so.
#pragma once

#include <sql.h>

namespace ado {

class OdbcHandle {
  public:
    OdbcHandle() = default;
    // Allocates a handle of the type under parent (SQL_NULL_HANDLE for an environment).
    // Throws ComError when the driver manager refuses.
    OdbcHandle(SQLSMALLINT type, SQLHANDLE parent);
    ~OdbcHandle();

    OdbcHandle(OdbcHandle&& other) noexcept;
    OdbcHandle& operator=(OdbcHandle&& other) noexcept;
    OdbcHandle(const OdbcHandle&) = delete;
    OdbcHandle& operator=(const OdbcHandle&) = delete;

    SQLHANDLE get() const { return handle_; }
    SQLSMALLINT type() const { return type_; }
    explicit operator bool() const { return handle_ != SQL_NULL_HANDLE; }

    // A connection handle only: remembers that SQLDriverConnect succeeded, so that the destructor
    // disconnects before freeing.
    void setConnected(bool connected) { connected_ = connected; }
    bool connected() const { return connected_; }

    // Frees the handle now (disconnecting first when connected); the object becomes empty.
    void reset();

  private:
    SQLSMALLINT type_ = 0;
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
    bool connected_ = false;
};

}  // namespace ado
