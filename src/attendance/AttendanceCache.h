// AttendanceCache: the local SQLite database "Attendance/Attendance.db" that remembers every attendance
// record read from the source with the code sent last ("oldcode") and the code found now ("newcode"), in the
// tables "DAILY_ATT" (keyed by time frame) and "PERIOD_ATT" (keyed by period).
//
// Values are stored as text with their apostrophes removed, dates as "yyyy-mm-dd". Storing and marking use
// prepared statements with bound values, so no value can change a statement.
//
// Owns the database connection and the prepared statements of the store (released by close()).
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
    bool isOpen() const { return m_database.IsOpen(); }
    sqlite::Database& database() { return m_database; }

    // CREATE TABLE of the cache layout; nothing for another name. Raises when it fails (the table exists).
    void createTable(const XString& table);
    bool tableExists(const XString& table);
    void dropTable(const XString& table);

    // Stores what the source holds now for the record: its new code and values on the row of its key, or a
    // new row when there is none and a code is known. Raises sqlite::SqlError; lastStatement() then holds
    // the failing statement with its values and lastWasInsert() whether it was the insert.
    void store(const XString& table, const AttendanceRecord& record);
    const XString& lastStatement() const { return m_lastStatement; }
    bool lastWasInsert() const { return m_lastWasInsert; }

    // The condition of the rows still to send for the key column name keyName: newcode known and not the
    // code sent last. specialKey: rows without a header name go with this key.
    static XString changedCondition(const XString& keyName, bool specialKey);
    // The SELECT of those rows: stdkey, attdate, reason, excused, absent, tardy, truant, discipline, the key
    // column, oldcode, newcode.
    static XString changedRowsSql(const XString& table, const XString& keyName, bool specialKey);
    // Marks the rows still to send for keyName as sent (oldcode := newcode); the number marked.
    int markSent(const XString& table, const XString& keyName, bool specialKey);
    // newcode := '' on every row dated on or after from (a null date blanks every row).
    int blankNewCodes(const XString& table, const XDate& from);

    // The value as stored: apostrophes removed.
    static XString storedText(const XString& value);

  private:
    struct Statements {
        std::unique_ptr<sqlite::Query> update;
        std::unique_ptr<sqlite::Query> upsert;
    };
    Statements& statementsFor(const XString& table);
    int run(sqlite::Query& statement);

    sqlite::Database m_database;
    std::map<XString, Statements> m_statements;
    XString m_lastStatement;
    bool m_lastWasInsert = false;
};
