#include "libraries/sqlitewrapper/Database.h"

#include "libraries/sqlitewrapper/Query.h"
#include "libraries/sqlitewrapper/SqlError.h"

#include <sqlite3.h>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <string>
#include <utility>

namespace sqlite {

namespace {

constexpr int BusyTimeoutMs = 30000;

// The default VFS turns every name into the full path with its links resolved, and fails past 512 bytes: a
// short path through a folder descriptor would become the folder's long path again. This one takes the
// (absolute) name as it is and is otherwise the default VFS; the file and the journal are still opened
// without following a link at their own names.
int keepPathAsGiven(sqlite3_vfs* /*vfs*/, const char* path, int size, char* out) {
    const std::size_t length = std::strlen(path);
    if (path[0] != '/' || length >= static_cast<std::size_t>(size)) {
        return SQLITE_CANTOPEN;
    }
    std::memcpy(out, path, length + 1);
    return SQLITE_OK;
}

// The name of that VFS, registered on first use; null when there is no default VFS to build it on.
const char* pathAsGivenVfs() {
    static sqlite3_vfs vfs;
    static const char* const name = []() -> const char* {
        const sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
        if (base == nullptr) {
            return nullptr;
        }
        vfs = *base;
        vfs.pNext = nullptr;
        vfs.zName = "norv-path-as-given";
        vfs.xFullPathname = keepPathAsGiven;
        return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK ? vfs.zName : nullptr;
    }();
    return name;
}

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
    OpenPath(path, path, passPhrase, flags, nullptr);
}

void Database::OpenIn(const QString& folder, const QString& name, int flags) {
    const QString shown =
        folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
    platform::FolderDescriptor descriptor;
    if (!descriptor.open(folder)) {
        RaiseWithMessage(SQLITE_CANTOPEN, std::strerror(errno), "sqlite::Database::Open",
                         shown.toStdString());
    }
    const char* vfs = pathAsGivenVfs();
    const QString shortPath = vfs != nullptr ? descriptor.shortPathTo(name) : QString();
    if (!shortPath.isEmpty()) {
        OpenPath(shortPath, shown, XString(), flags, vfs);
    } else {
        // Without /proc: by the folder's real path, which SQLite takes up to its own limit.
        const QString real = QFileInfo(folder).canonicalFilePath();
        OpenPath(real.isEmpty() ? shown : real + QLatin1Char('/') + name, shown, XString(), flags, nullptr);
    }
    m_folder = std::move(descriptor);
}

void Database::OpenPath(const QString& path, const QString& shownPath, const XString& passPhrase, int flags,
                        const char* vfs) {
    m_path = shownPath;
    m_flags = flags;
    m_keyLength = 0;
    if (!passPhrase.isEmpty()) {
        const QByteArray digest = QCryptographicHash::hash(
            QByteArray(passPhrase.c_str(), passPhrase.length()), QCryptographicHash::Md5);
        std::memcpy(m_key, digest.constData(), sizeof m_key);
        m_keyLength = sizeof m_key;
    }

    sqlite3* connection = nullptr;
    const int result = sqlite3_open_v2(QFile::encodeName(path).constData(), &connection, flags, vfs);
    if (result != SQLITE_OK) {
        // The message lives in the half-open handle: take it before closing.
        const std::string message = connection ? sqlite3_errmsg(connection) : sqlite3_errstr(result);
        sqlite3_close(connection);
        RaiseWithMessage(result, message, "sqlite::Database::Open", shownPath.toStdString());
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
        // Until then the connection may still roll back and delete its journal through the folder's
        // descriptor: it stays open (its number never names another folder).
        m_folder.release();
        RaiseWithMessage(result, message, "sqlite::Database::Close", "failed");
    }
    m_connection = nullptr;
    m_folder.close();
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

bool Database::HasTable(const XString& name) {
    Query query(*this);
    query.Prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = '%q'", name.c_str());
    return query.Step();
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

void Database::CopyInto(Database& destination) {
    sqlite3_backup* backup = sqlite3_backup_init(destination.m_connection, "main", m_connection, "main");
    Check(backup != nullptr, sqlite3_errcode(destination.m_connection), destination.m_connection,
          "sqlite::Database::CopyInto", m_path.toStdString());
    // The whole file in one step: the source is read in one read transaction, so the copy is of one moment.
    sqlite3_backup_step(backup, -1);
    const int result = sqlite3_backup_finish(backup);
    Check(result == SQLITE_OK, result, destination.m_connection, "sqlite::Database::CopyInto",
          m_path.toStdString());
}

bool Database::InTransaction() const {
    return m_connection != nullptr && sqlite3_get_autocommit(m_connection) == 0;
}

}  // namespace sqlite
