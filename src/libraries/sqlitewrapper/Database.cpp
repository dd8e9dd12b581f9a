#include "libraries/sqlitewrapper/Database.h"

#include "libraries/sqlitewrapper/SqlError.h"

#include <sqlite3.h>
#include <QCryptographicHash>
#include <QFile>
#include <cstdarg>
#include <cstring>
#include <string>

namespace sqlite {

namespace {

constexpr int BusyTimeoutMs = 30000;

}  // namespace

Database::Database() = default;

Database::~Database() {
    try {
        Close();
    } catch (const XException&) {
        // Nothing to report to from a destructor; Close released the connection anyway.
    }
}

void Database::Open(const QString& path, const XString& passPhrase, int flags) {
    m_path = path;
    m_flags = flags;
    m_keyLength = 0;
    if (!passPhrase.isEmpty()) {
        const QByteArray digest = QCryptographicHash::hash(
            QByteArray(passPhrase.c_str(), passPhrase.length()), QCryptographicHash::Md5);
        std::memcpy(m_key, digest.constData(), sizeof m_key);
        m_keyLength = sizeof m_key;
    }

    sqlite3* connection = nullptr;
    const int result = sqlite3_open_v2(QFile::encodeName(path).constData(), &connection, flags, nullptr);
    if (result != SQLITE_OK) {
        // The message lives in the half-open handle: take it before closing.
        const std::string message = connection ? sqlite3_errmsg(connection) : sqlite3_errstr(result);
        sqlite3_close(connection);
        RaiseWithMessage(result, message, "sqlite::Database::Open", path.toStdString());
    }
    m_connection = connection;
    sqlite3_extended_result_codes(m_connection, 1);
    sqlite3_busy_timeout(m_connection, BusyTimeoutMs);
    if (m_keyLength > 0) {
        // This SQLite build has no key operation: an encrypted cache cannot be opened or made.
        sqlite3_close(m_connection);
        m_connection = nullptr;
        throw SqlError(-1, "", "Unable to decrypt database.", "sqlite::Database::Open", "");
    }
}

void Database::Close() {
    if (!m_connection) {
        return;
    }
    sqlite3* connection = m_connection;
    const int result = sqlite3_close(connection);
    if (result != SQLITE_OK) {
        // Statements are still open: let SQLite finish the close when they are finalized, so that the
        // connection is never leaked, and report the failure.
        const std::string message = sqlite3_errmsg(connection);
        sqlite3_close_v2(connection);
        m_connection = nullptr;
        RaiseWithMessage(result, message, "sqlite::Database::Close", "failed");
    }
    m_connection = nullptr;
}

int Database::Execute(const XString& sql) {
    Check(m_connection != nullptr, -1, nullptr, "sqlite::Database::Execute", "db not open",
          sql.toStdString());
    const sqlite3_int64 before = sqlite3_total_changes64(m_connection);
    char* error = nullptr;
    const int result = sqlite3_exec(m_connection, sql.c_str(), nullptr, nullptr, &error);
    const std::string description = error ? error : "failed";
    sqlite3_free(error);
    Check(result == SQLITE_OK, result, m_connection, "sqlite::Database::Execute", description,
          sql.toStdString());
    // sqlite3_changes keeps the count of an earlier statement when this text changed nothing (a CREATE,
    // a SELECT): report 0 then.
    return sqlite3_total_changes64(m_connection) == before ? 0 : sqlite3_changes(m_connection);
}

int Database::Execute(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char* text = sqlite3_vmprintf(format, args);
    va_end(args);
    if (!text) {
        throw SqlError(SQLITE_NOMEM, "", "Failed to allocate memory.", "sqlite::Database::Execute", "");
    }
    const XString sql(text);
    sqlite3_free(text);
    return Execute(sql);
}

bool Database::InTransaction() const {
    return m_connection != nullptr && sqlite3_get_autocommit(m_connection) == 0;
}

}  // namespace sqlite
