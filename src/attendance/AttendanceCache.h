// AttendanceCache: the local SQLite database "Attendance/Attendance.db" that remembers every attendance
// record read from the source with the code sent last ("oldcode") and the code found now ("newcode"), in the
// tables "DAILY_ATT" (keyed by time frame) and "PERIOD_ATT" (keyed by period).
//
// Values are stored as text as they are, dates as "yyyy-mm-dd". The records of a pass are staged (appended to
// a temporary table by a prepared statement with bound values, so no value can change a statement) and
// merged into their table in one set of statements in key order: a year of records costs about what loading
// them costs, and a row whose values did not change is not written again.
//
// Beside the two tables the cache keeps its bookkeeping: the record of an update file whose rows are marked
// as sent but which is not yet in place (PendingUpdate), and the rows of the reconcile window whose
// deletion is held back until a second run finds them gone too (HELD_GONE: tbl, stdkey, attdate, k,
// header). A file whose tables are not of this layout counts as damaged (check()).
//
// Owns the database connection, the prepared statements of the staging (released by close()) and the
// publication record's view of the connection.
// REQUIRES: one thread; one process writes a cache at a time (the import folder is the run's own); the table
// names given are "DAILY_ATT" or "PERIOD_ATT" unless stated.
#pragma once

#include "attendance/AttendanceRecord.h"
#include "attendance/PendingUpdate.h"
#include "libraries/sqlitewrapper/Database.h"
#include "libraries/sqlitewrapper/Query.h"
#include "libraries/support/XFileSpec.h"

#include <map>
#include <memory>
#include <vector>

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
    // not a database, or whose attendance or bookkeeping tables are not of the cache's layout (a column or
    // the primary key missing, a view or an index at a table's name). Damage deeper in the file shows when
    // the rows are read.
    void check();
    // Whether the error says the cache file is damaged (not a database, or corrupt), as opposed to a failure
    // of the moment (a full disk, a lock, a permission).
    static bool isDamage(const std::exception& error);
    bool isOpen() const { return m_database.IsOpen(); }
    sqlite::Database& database() { return m_database; }

    // CREATE TABLE of the cache layout; nothing for another name. Raises when it fails (the table exists).
    void createTable(const XString& table);
    bool tableExists(const XString& table);
    // Creates the bookkeeping tables that are missing.
    void createBookkeeping();
    // Whether table holds no row (or does not exist).
    bool isEmpty(const XString& table);

    // Stages what the source holds now for the record, for the next merge of table. Raises sqlite::SqlError;
    // lastStatement() then holds the failing statement with its values.
    void stage(const XString& table, const AttendanceRecord& record);
    // Writes what the source holds now for the record straight into table, marked as sent (a table that
    // held nothing when the run began: every row it gets goes into the run's update file, so no merge and
    // no marking is needed). A record without a code is passed over; of the records of one key the last
    // counts. Raises sqlite::SqlError; lastStatement() then holds the failing statement with its values.
    void load(const XString& table, const AttendanceRecord& record);
    // Whether records are staged for table.
    bool hasStaged(const XString& table) const;
    // Forgets what is staged (after a rollback, which took the staging tables with it). Never throws.
    void discardStaged() noexcept;
    // The absences a pass read again whatever their change dates: those dated from from to to of the
    // students given (the students the run includes). Null dates: none.
    struct Reconcile {
        XDate from;
        XDate to;
        const std::vector<XString>* students = nullptr;
    };
    // More gone rows than this, and more than half of the window's rows with a code, are a deletion in bulk.
    static constexpr int BulkDeletionMinimum = 50;
    struct MergeCounts {
        int records = 0;  // records staged
        int written = 0;  // rows made or changed by a staged record
        int blanked = 0;  // rows of the reconcile window that no record holds, their code blanked
        int held = 0;     // such rows whose deletion is held back (a deletion in bulk)
        int coded = 0;    // the window's rows with a code of the students given, before blanking
    };
    // Applies the records staged for table: a record's new code and values go on the row of its key (written
    // only when they differ), or on a new row when there is none and a code is known; of the records of one
    // key, the last one with a code counts, or, without any, the last one. With a reconcile window, every
    // other row dated in it that has a code and belongs to one of its students is gone at the source and gets
    // an empty code, unless they are a deletion in bulk: then only those that the previous run held back
    // are blanked, and the others are held back for the next run to confirm. Rows of other students are left
    // as they are. The staging is emptied. Raises sqlite::SqlError (lastStatement() holds the statement).
    MergeCounts merge(const XString& table, const Reconcile& window);
    MergeCounts merge(const XString& table);
    const XString& lastStatement() const { return m_lastStatement; }

    // The condition of the rows still to send for the key column name keyName: newcode known and not the
    // code sent last. specialKey: rows without a header name go with this key.
    static XString changedCondition(const XString& keyName, bool specialKey);
    // The SELECT of those rows in key order: stdkey, attdate, reason, excused, absent, tardy, truant,
    // discipline, the key column, oldcode, newcode.
    static XString changedRowsSql(const XString& table, const XString& keyName, bool specialKey);
    // The SELECT of every row of keyName (the columns and order of changedRowsSql), for a loaded table.
    static XString loadedRowsSql(const XString& table, const XString& keyName, bool specialKey);
    // Marks the rows still to send for keyName as sent (oldcode := newcode); the number marked.
    int markSent(const XString& table, const XString& keyName, bool specialKey);

    // The record of an update file marked as sent before it is in place.
    PendingUpdate& pending() { return m_pending; }

  private:
    using Statements = std::map<XString, std::unique_ptr<sqlite::Query>>;
    // The key column of table; raises (and forgets table's entry of statements) for another table.
    static const char* requiredKeyColumn(const XString& table, Statements& statements);
    sqlite::Query& stageStatementFor(const XString& table);
    // Binds the record's values in the order the staging and the load statements take them, and runs it.
    void run(sqlite::Query& statement, const AttendanceRecord& record);
    int execute(const XString& sql);
    int countOf(const XString& sql);
    // Blanks the rows of the window that no staged record holds, holding back a deletion in bulk.
    void reconcile(const XString& table, const Reconcile& window, bool staged, MergeCounts& counts);
    void checkLayout(const char* name, const std::vector<const char*>& columns,
                     const std::vector<const char*>& key);

    sqlite::Database m_database;
    PendingUpdate m_pending{m_database};
    Statements m_stageStatements;  // per table with staged records
    Statements m_loadStatements;   // per table loaded this run
    XString m_lastStatement;
};
