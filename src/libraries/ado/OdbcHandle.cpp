#include "libraries/ado/OdbcHandle.h"

#include "libraries/ado/OdbcCall.h"

#include <utility>

namespace ado {

OdbcHandle::OdbcHandle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
    SQLHANDLE handle = SQL_NULL_HANDLE;
    const SQLRETURN rc = SQLAllocHandle(type, parent, &handle);
    if (!OdbcCall::succeeded(rc)) {
        // The reason, when there is one, sits on the parent.
        QList<ErrorRecord> records;
        if (parent != SQL_NULL_HANDLE) {
            const SQLSMALLINT parentType = type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV;
            records = OdbcCall::diagnostics(parentType, parent);
        }
        if (records.isEmpty()) {
            records.append({0, QStringLiteral("HY001"),
                            QStringLiteral("[HY001] The ODBC driver manager could not allocate a handle.")});
        }
        throw ComError::fromDiagnostics(records);
    }
    handle_ = handle;
}

OdbcHandle::~OdbcHandle() {
    reset();
}

OdbcHandle::OdbcHandle(OdbcHandle&& other) noexcept
    : type_(other.type_),
      handle_(std::exchange(other.handle_, SQLHANDLE{})),
      connected_(std::exchange(other.connected_, false)) {}

OdbcHandle& OdbcHandle::operator=(OdbcHandle&& other) noexcept {
    if (this != &other) {
        reset();
        type_ = other.type_;
        handle_ = std::exchange(other.handle_, SQLHANDLE{});
        connected_ = std::exchange(other.connected_, false);
    }
    return *this;
}

void OdbcHandle::reset() {
    if (handle_ == SQL_NULL_HANDLE) {
        return;
    }
    // Both may talk to the source (a closing cursor, the goodbye of a connection): watched like any wait.
    const SQLSMALLINT type = type_;
    const SQLHANDLE handle = handle_;
    if (connected_) {
        OdbcCall::watched(type, handle, [handle] { return SQLDisconnect(handle); });
        connected_ = false;
    }
    OdbcCall::watched(type, handle, [type, handle] { return SQLFreeHandle(type, handle); });
    handle_ = SQL_NULL_HANDLE;
}

}  // namespace ado
