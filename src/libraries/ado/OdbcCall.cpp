#include "libraries/ado/OdbcCall.h"

#include <vector>

namespace ado {

SQLRETURN OdbcCall::check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle) {
    const SourceWatchdog& watchdog = SourceWatchdog::instance();
    if (watchdog.stopped()) {
        // Whatever a cancelled call gave back, the source is gone: the command must wind down.
        throw ComError::fromDiagnostics(
            {{0, QStringLiteral("HYT00"), QStringLiteral("[HYT00] ") + watchdog.stoppedMessage()}});
    }
    if (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) {
        QList<ErrorRecord> records = diagnostics(handleType, handle);
        if (records.isEmpty()) {
            const char* text = rc == SQL_INVALID_HANDLE
                                   ? "[HY000] Invalid ODBC handle."
                                   : "[HY000] The ODBC call failed without a diagnostic record.";
            records.append({0, QStringLiteral("HY000"), QString::fromLatin1(text)});
        }
        throw ComError::fromDiagnostics(std::move(records));
    }
    return rc;
}

QList<ErrorRecord> OdbcCall::diagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    QList<ErrorRecord> records;
    if (handle == SQL_NULL_HANDLE) {
        return records;
    }
    std::vector<SQLCHAR> message(1024);
    for (SQLSMALLINT number = 1;; ++number) {
        SQLCHAR state[6] = {};
        SQLINTEGER nativeError = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRec(handleType, handle, number, state, &nativeError, message.data(),
                                     static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            // The message was cut: read the same record again with room for all of it.
            message.resize(static_cast<std::size_t>(length) + 1);
            rc = SQLGetDiagRec(handleType, handle, number, state, &nativeError, message.data(),
                               static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (!succeeded(rc)) {
            break;  // SQL_NO_DATA after the last record, or a record that cannot be read
        }
        const QString sqlState = QString::fromLatin1(reinterpret_cast<const char*>(state), 5);
        const qsizetype used = std::min<qsizetype>(length, static_cast<qsizetype>(message.size()) - 1);
        QString text = QString::fromUtf8(reinterpret_cast<const char*>(message.data()), used);
        while (text.endsWith(u'\n') || text.endsWith(u'\r')) {
            text.chop(1);
        }
        records.append({static_cast<std::int32_t>(nativeError), sqlState,
                        QStringLiteral("[") + sqlState + QStringLiteral("] ") + text});
    }
    return records;
}

}  // namespace ado
