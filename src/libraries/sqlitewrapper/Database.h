// One SQLite database connection (the attendance cache).
//
// Owns the connection handle; the destructor closes it. Every failure raises a sqlite::SqlError (or one of
// its subclasses); nothing is returned as a status. Extended result codes are on and the busy timeout is
// 30 seconds, so a lock held by another process is waited for rather than failing at once.
// Used from one thread. Not copyable.
#pragma once

#include "libraries/platform/FolderDescriptor.h"
#include "libraries/support/XString.h"

#include <QString>

struct sqlite3;

namespace sqlite {

class Database {
  public:
    // SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, the flags of the attendance cache.
    static constexpr int OpenReadWriteCreate = 0x02 | 0x04;
    // SQLITE_OPEN_READONLY: nothing is written, the file's journal included.
    static constexpr int OpenReadOnly = 0x01;
    // SQLITE_OPEN_NOFOLLOW: the open fails when any part of the path is a symbolic link. SQLite opens the
    // file and its journal without following a link at their own names in any case.
    static constexpr int OpenNoFollow = 0x01000000;

    Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    virtual ~Database();

    // Opens path (native: handed to the file system in its own encoding) with flags. A non-empty pass
    // phrase asks for an encrypted database, which this SQLite build cannot provide: the open then fails with
    // "Unable to decrypt database." rather than store plain text.
    // REQUIRES: !IsOpen().
    void Open(const QString& path, const XString& passPhrase = XString(), int flags = OpenReadWriteCreate);
    // The same for a path in the working code page.
    void Open(const XString& path, const XString& passPhrase = XString(), int flags = OpenReadWriteCreate) {
        Open(path.toQString(), passPhrase, flags);
    }
    // Opens the file name (one path component) in folder with flags, through a descriptor of the folder held
    // while the database is open: SQLite's own path limit (512 bytes) no longer limits the folder's length,
    // and the file, its journal and the journal's deletion stay in the folder first opened, even when its
    // name is swapped for a link meanwhile. A folder that is itself a symbolic link is refused (the folders
    // above it may be links); so are links at the file's and the journal's names. Messages and Path() name
    // folder + "/" + name.
    // REQUIRES: !IsOpen().
    void OpenIn(const QString& folder, const QString& name, int flags = OpenReadWriteCreate);
    bool IsOpen() const { return m_connection != nullptr; }
    // Nothing when closed. A failure still releases the connection (once its statements are finalized).
    void Close();

    // Runs the SQL text (one or more statements) and returns the rows changed by the last INSERT, UPDATE or
    // DELETE it ran (0 when it ran none).
    int Execute(const XString& sql);
    // Formats with SQLite's printf (%q and %Q quote text for SQL; write %% for a percent sign), then runs
    // the result as above.
    int Execute(const char* format, ...);

    // Whether a transaction is open (BEGIN ran and neither COMMIT nor ROLLBACK has ended it).
    bool InTransaction() const;
    // Whether the main database holds a table of that name (a view or an index of the name is none).
    bool HasTable(const XString& name);
    // Copies the whole database into destination (its content replaced), page by page, as one consistent
    // snapshot: the source is read in one read transaction.
    // REQUIRES: both open; destination is not in a transaction.
    void CopyInto(Database& destination);

    sqlite3* Handle() const { return m_connection; }
    const QString& Path() const { return m_path; }
    int Flags() const { return m_flags; }

  private:
    // Opens path (as SQLite is to see it) through the VFS named vfs (the default one when null); messages
    // name shownPath.
    void OpenPath(const QString& path, const QString& shownPath, const XString& passPhrase, int flags,
                  const char* vfs);

    sqlite3* m_connection = nullptr;
    platform::FolderDescriptor m_folder;  // the folder of a database opened by OpenIn
    QString m_path;
    unsigned char m_key[16] = {};
    int m_keyLength = 0;
    int m_flags = 0;
};

}  // namespace sqlite
