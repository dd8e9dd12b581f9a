// AttendanceCache: the local SQLite database "Attendance/Attendance.db" that remembers every attendance
// record read from the source with the code sent last ("oldcode") and the code found now ("newcode"), in the
// tables "DAILY_ATT" (keyed by time frame) and "PERIOD_ATT" (keyed by period).
//
// Values are stored as text as they are, dates as "yyyy-mm-dd". The records of a pass are staged (appended to
// a temporary table by a prepared statement with bound values, so no value can change a statement) and
// merged into their table in one set of statements in key order: a year of records costs about what loading
// them costs, and a row whose values did not change is not written again.
//
// Owns the database connection and the prepared statements of the staging (released by close()).
// REQUIRES: one thread; one process writes a cache at a time (the import folder is the run's own); the table
// names given are "DAILY_ATT" or "PERIOD_ATT" unless stated.
#pragma once

#include "attendance/AttendanceRecord.h"
#include "libraries/sqlitewrapper/Database.h"
#include "libraries/sqlitewrapper/Query.h"
#include "libraries/support/XFileSpec.h"

#include <map>
#include <memory>

class AttendanceCache {
  public:
    static constexpr const char* DailyTable = "DAILY_ATT";
    static constexpr const char* PeriodTable = "PERIOD_ATT";

    AttendanceCache();
    ~AttendanceCache();
    AttendanceCache(const AttendanceCache&) = delete;
    AttendanceCache& operator=(const AttendanceCache&) = delete;

    // "timeframe" for the daily table, "perkey" for the period table, null for any other name.
    static const char* keyColumn(const XString& table);
    // The cache file under a base folder: base + "Attendance/Attendance.db".
    static XFileSpec fileIn(const XFileSpec& baseFolder);

    // Opens (creating the folder and the file when missing) the cache under baseFolder; nothing when a cache
    // is open already. Raises the file layer's or SQLite's error, and refuses a cache whose folder or file is
    // a symbolic link.
    void open(const XFileSpec& baseFolder);
    void close();
    // Reads the open cache's schema: raises sqlite::SqlError with a damage code (isDamage) for a file that is
    // not a database. Damage deeper in the file shows when the rows are read.
    void check();
    // Whether the error says the cache file is damaged (not a database, or corrupt), as opposed to a failure
    // of the moment (a full disk, a lock, a permission).
    static bool isDamage(const std::exception& error);
    bool isOpen() const { return m_database.IsOpen(); }
    sqlite::Database& database() { return m_database; }

    // CREATE TABLE of the cache layout; nothing for another name. Raises when it fails (the table exists).
    void createTable(const XString& table);
    bool tableExists(const XString& table);
    void dropTable(const XString& table);

    // Stages what the source holds now for the record, for the next merge of table. Raises sqlite::SqlError;
    // lastStatement() then holds the failing statement with its values.
    void stage(const XString& table, const AttendanceRecord& record);
    // Whether records are staged for table.
    bool hasStaged(const XString& table) const;
    // Forgets what is staged (after a rollback, which took the staging tables with it). Never throws.
    void discardStaged() noexcept;
    struct MergeCounts {
        int records = 0;  // records staged
        int written = 0;  // rows made or changed by a staged record
        int blanked = 0;  // rows of the reconcile window that no record holds, their code blanked
    };
    // Applies the records staged for table: a record's new code and values go on the row of its key (written
    // only when they differ), or on a new row when there is none and a code is known; of the records of one
    // key, the last one with a code counts, or, without any, the last one. With a reconcile window (both
    // dates set), every other row dated in it that has a code gets an empty one: its absence is gone. The
    // staging is emptied. Raises sqlite::SqlError (lastStatement() holds the statement).
    MergeCounts merge(const XString& table, const XDate& reconcileFrom = XDate(),
                      const XDate& reconcileTo = XDate());
    const XString& lastStatement() const { return m_lastStatement; }

    // The condition of the rows still to send for the key column name keyName: newcode known and not the
    // code sent last. specialKey: rows without a header name go with this key.
    static XString changedCondition(const XString& keyName, bool specialKey);
    // The SELECT of those rows in key order: stdkey, attdate, reason, excused, absent, tardy, truant,
    // discipline, the key column, oldcode, newcode.
    static XString changedRowsSql(const XString& table, const XString& keyName, bool specialKey);
    // Marks the rows still to send for keyName as sent (oldcode := newcode); the number marked.
    int markSent(const XString& table, const XString& keyName, bool specialKey);

  private:
    sqlite::Query& stageStatementFor(const XString& table);
    int execute(const XString& sql);

    sqlite::Database m_database;
    std::map<XString, std::unique_ptr<sqlite::Query>> m_stageStatements;  // per table with staged records
    XString m_lastStatement;
};
