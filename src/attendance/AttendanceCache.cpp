#include "attendance/AttendanceCache.h"

#include "dataaccess/SqlText.h"
#include "libraries/sqlitewrapper/Query.h"
#include "libraries/sqlitewrapper/SqlError.h"
#include "libraries/support/XException.h"

#include <sqlite3.h>
#include <cerrno>

namespace {

const char* const kDateColumns = "stdkey, attdate, reason, excused, absent, tardy, truant, discipline";

// The values a record gives its row besides the code.
const char* const kValueColumns[] = {"excused", "absent", "tardy", "truant", "discipline"};

// "a.c IS NOT b.c OR ..." over the code (when withCode) and the values: the row would change.
XString anyDiffers(const XString& row, const XString& record, bool withCode) {
    XString condition = withCode ? row + ".newcode IS NOT " + record + ".newcode" : XString();
    for (const char* column : kValueColumns) {
        if (!condition.isEmpty()) {
            condition += " OR ";
        }
        condition += row + "." + column + " IS NOT " + record + "." + column;
    }
    return condition;
}

// "s.stdkey = t.stdkey AND ...": the staged record s is of the row of table t (key: its key column).
XString sameKey(const XString& s, const XString& t, const char* key) {
    return s + ".stdkey = " + t + ".stdkey AND " + s + ".attdate = " + t + ".attdate AND " + s + "." + key +
           " = " + t + "." + key + " AND " + s + ".header = " + t + ".header";
}

// "c = r.c, ..." over the values: the row takes the record's.
XString takeValues(const XString& record) {
    XString assignments;
    for (const char* column : kValueColumns) {
        assignments += XString(assignments.isEmpty() ? "" : ", ") + column + " = " + record + "." + column;
    }
    return assignments;
}

}  // namespace

AttendanceCache::AttendanceCache() = default;

AttendanceCache::~AttendanceCache() {
    try {
        close();
    } catch (...) {
        // Closing releases the connection even when SQLite complains; nothing more to do.
    }
}

const char* AttendanceCache::keyColumn(const XString& table) {
    if (table == DailyTable) {
        return "timeframe";
    }
    if (table == PeriodTable) {
        return "perkey";
    }
    return nullptr;
}

XFileSpec AttendanceCache::fileIn(const XFileSpec& baseFolder) {
    XFileSpec spec = baseFolder;
    spec.setFileName("");
    spec.appendFolder("Attendance");
    spec.setFileName("Attendance.db");
    return spec;
}

void AttendanceCache::open(const XFileSpec& baseFolder) {
    if (isOpen()) {
        return;
    }
    const XFileSpec file = fileIn(baseFolder);
    const XFileSpec folder = file.folder();
    // The cache belongs to the output folder: a link planted at either name would have it written (and its
    // journal deleted) wherever the link points.
    for (const XFileSpec& own : {folder, file}) {
        if (own.isLink()) {
            XException::raise(ELOOP, "The attendance cache must not be a symbolic link: %s",
                              own.path().c_str());
        }
    }
    folder.create();
    // Through a descriptor of the folder: a link planted at either name after the check still stops the
    // open, and an output folder longer than SQLite's path limit (512 bytes) holds its cache too.
    m_database.OpenIn(folder.toQString(), QStringLiteral("Attendance.db"),
                      sqlite::Database::OpenReadWriteCreate | sqlite::Database::OpenNoFollow);
    // The records of a pass are merged in key order, the order the B-tree keeps: a small page cache (2 MiB,
    // whatever the school holds) serves that, so memory does not grow with the school.
    m_database.Execute("PRAGMA cache_size = -2048");
}

void AttendanceCache::close() {
    m_stageStatements.clear();
    m_loadStatements.clear();
    m_includedValid = false;
    m_database.Close();
}

void AttendanceCache::createTable(const XString& table) {
    const char* key = keyColumn(table);
    if (key == nullptr) {
        return;
    }
    m_database.Execute(
        "CREATE TABLE %s (%s VARCHAR(100), %s DATETIME, %s VARCHAR(100), %s VARCHAR(100), %s VARCHAR(100), "
        "%s "
        "VARCHAR(100), %s VARCHAR(100), %s VARCHAR(100), %s VARCHAR(100), %s VARCHAR(10), %s VARCHAR(100), "
        "%s "
        "VARCHAR(100), PRIMARY KEY (%s, %s, %s, %s))",
        table.c_str(), "stdkey", "attdate", key, "reason", "excused", "absent", "tardy", "truant",
        "discipline", "header", "oldcode", "newcode", "stdkey", "attdate", key, "header");
}

bool AttendanceCache::tableExists(const XString& table) {
    return m_database.HasTable(table);
}

void AttendanceCache::createBookkeeping() {
    m_pending.createTables();
    m_database.Execute(
        "CREATE TABLE IF NOT EXISTS HELD_GONE (tbl TEXT NOT NULL, stdkey, attdate, k, header)");
}

bool AttendanceCache::isEmpty(const XString& table) {
    if (!tableExists(table)) {
        return true;
    }
    sqlite::Query query(m_database);
    query.Prepare("SELECT 1 FROM %s LIMIT 1", table.c_str());
    return !query.Step();
}

void AttendanceCache::check() {
    // Reading the whole file (a quick check) would cost as much as a night's pass over a large cache: the
    // schema is read, which fails on a file that is no database, and the tables' layouts are compared.
    m_database.Execute("SELECT count(*) FROM sqlite_master");
    for (const char* table : {DailyTable, PeriodTable}) {
        const char* key = keyColumn(table);
        checkLayout(table,
                    {"stdkey", "attdate", key, "reason", "excused", "absent", "tardy", "truant", "discipline",
                     "header", "oldcode", "newcode"},
                    {"stdkey", "attdate", key, "header"});
    }
    checkLayout("PENDING_UPDATE", {"name"}, {});
    checkLayout("PENDING_SENT", {"tbl", "stdkey", "attdate", "k", "header", "oldcode"}, {});
    checkLayout("HELD_GONE", {"tbl", "stdkey", "attdate", "k", "header"}, {});
}

void AttendanceCache::checkLayout(const char* name, const std::vector<const char*>& columns,
                                  const std::vector<const char*>& key) {
    sqlite::Query object(m_database);
    object.Prepare("SELECT type FROM sqlite_master WHERE name = '%q' COLLATE NOCASE", name);
    if (!object.Step()) {
        return;  // made when it is needed
    }
    XString wrong;
    if (object.StringColumnAt(0) != "table") {
        wrong = "it is a " + object.StringColumnAt(0) + ", not a table";
    } else {
        std::map<XString, int> found;  // column name (lower case) -> its place in the primary key
        sqlite::Query info(m_database);
        info.Prepare("SELECT name, pk FROM pragma_table_info('%q')", name);
        while (info.Step()) {
            found[info.StringColumnAt(0).toLower()] = info.StringColumnAt(1).toInt();
        }
        int keyColumns = 0;
        for (const auto& [column, place] : found) {
            keyColumns += place > 0 ? 1 : 0;
        }
        for (const char* column : columns) {
            if (found.count(column) == 0) {
                wrong = XString("it has no column ") + column;
                break;
            }
        }
        for (size_t i = 0; wrong.isEmpty() && i < key.size(); ++i) {
            if (found[key[i]] != static_cast<int>(i) + 1) {
                wrong = "its primary key is not (stdkey, attdate, " + XString(key[2]) + ", header)";
            }
        }
        if (wrong.isEmpty() && keyColumns != static_cast<int>(key.size())) {
            wrong = "its primary key is not the cache's";
        }
    }
    if (!wrong.isEmpty()) {
        sqlite::RaiseWithMessage(
            SQLITE_CORRUPT,
            (XString("the table ") + name + " is not of the cache's layout: " + wrong).toStdString(),
            "AttendanceCache::check", "layout");
    }
}

bool AttendanceCache::isDamage(const std::exception& error) {
    const auto* sql = dynamic_cast<const sqlite::SqlError*>(&error);
    if (sql == nullptr) {
        return false;
    }
    const int primary = sql->ResultCode() & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

const char* AttendanceCache::requiredKeyColumn(const XString& table, Statements& statements) {
    const char* key = keyColumn(table);
    if (key == nullptr) {
        statements.erase(table);
        throw XException(("Not an attendance table: " + table).toStdString());
    }
    return key;
}

sqlite::Query& AttendanceCache::stageStatementFor(const XString& table) {
    std::unique_ptr<sqlite::Query>& statement = m_stageStatements[table];
    if (!statement) {
        const char* key = requiredKeyColumn(table, m_stageStatements);
        // Appended in arrival order (seq); the merge takes the last record of each key.
        execute("CREATE TEMP TABLE IF NOT EXISTS stage_" + table +
                " (seq INTEGER PRIMARY KEY, stdkey, attdate, " + key +
                ", header, reason, excused, absent, tardy, truant, discipline, newcode)");
        statement = std::make_unique<sqlite::Query>(m_database);
        statement->Prepare(
            "INSERT INTO temp.stage_%s (stdkey, attdate, %s, header, reason, excused, absent, tardy, truant, "
            "discipline, newcode) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)",
            table.c_str(), key);
    }
    return *statement;
}

void AttendanceCache::stage(const XString& table, const AttendanceRecord& record) {
    run(stageStatementFor(table), record);
}

void AttendanceCache::load(const XString& table, const AttendanceRecord& record) {
    if (record.code.isEmpty()) {
        return;  // nothing to send and nothing that was sent
    }
    std::unique_ptr<sqlite::Query>& statement = m_loadStatements[table];
    if (!statement) {
        const char* key = requiredKeyColumn(table, m_loadStatements);
        // Marked as sent as it is written: the run's update file carries every row of the table. Of the
        // records of one key the last one counts, as in a merge.
        const XString keyColumns = XString("stdkey, attdate, ") + key + ", header";
        statement = std::make_unique<sqlite::Query>(m_database);
        statement->Prepare("%s",
                           ("INSERT INTO " + table + " (" + keyColumns +
                            ", reason, excused, absent, tardy, truant, discipline, newcode, oldcode) VALUES "
                            "(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?11) ON CONFLICT (" +
                            keyColumns +
                            ") DO UPDATE SET newcode = excluded.newcode, oldcode = "
                            "excluded.newcode, " +
                            takeValues("excluded"))
                               .c_str());
    }
    run(*statement, record);
}

void AttendanceCache::run(sqlite::Query& statement, const AttendanceRecord& record) {
    // The record outlives the statement's run: its texts are bound without copies.
    const XString date = record.date.IsoText();
    const XString* values[] = {
        &record.student, &date,         &record.key,    &record.header,     &record.reason, &record.excused,
        &record.absent,  &record.tardy, &record.truant, &record.discipline, &record.code};
    for (int i = 0; i < 11; ++i) {
        statement.BindUnowned(i + 1, *values[i]);
    }
    try {
        statement.Run();
    } catch (...) {
        // Formatting the statement with its values costs more than running it: only for the message.
        m_lastStatement = statement.ExpandedSql();
        throw;
    }
}

bool AttendanceCache::hasStaged(const XString& table) const {
    return m_stageStatements.count(table) != 0;
}

void AttendanceCache::discardStaged() noexcept {
    for (const auto& [table, statement] : m_stageStatements) {
        try {
            m_database.Execute("DROP TABLE IF EXISTS temp.stage_" + table);
        } catch (...) {
            // A closed or broken connection has no staging left either.
        }
    }
    m_stageStatements.clear();
    m_loadStatements.clear();
    m_includedValid = false;  // a rollback took the temporary table's rows with it
}

int AttendanceCache::execute(const XString& sql) {
    m_lastStatement = sql;
    return m_database.Execute(sql);
}

AttendanceCache::MergeCounts AttendanceCache::merge(const XString& table) {
    return merge(table, Reconcile());
}

AttendanceCache::MergeCounts AttendanceCache::merge(const XString& table, const Reconcile& window) {
    MergeCounts counts;
    const char* key = keyColumn(table);
    if (key == nullptr) {
        return counts;
    }
    const XString t = table;
    const XString stage = "temp.stage_" + t;
    const XString keyColumns = XString("stdkey, attdate, ") + key + ", header";
    const bool staged = hasStaged(table);
    if (staged) {
        // seq counts the records from 1 in arrival order.
        counts.records = countOf("SELECT max(seq) FROM " + stage);
        // No code: a code that is gone blanks the row sent before; without such a row there is nothing to
        // send. Records with a code come after, so that a key read with a code and without one keeps the
        // code.
        counts.written = execute("UPDATE " + t + " SET newcode = '', " + takeValues("s") + " FROM " + stage +
                                 " AS s WHERE s.newcode = '' AND " + sameKey("s", t, key) + " AND (" + t +
                                 ".newcode IS NOT '' OR " + anyDiffers(t, "s", false) + ")");
        // A code: the row of the key gets it and the values, or is made, in key order (the order the B-tree
        // keeps), the last record of a key last; a row that holds them already is left as it is.
        counts.written +=
            execute("INSERT INTO " + t + " (" + keyColumns +
                    ", reason, excused, absent, tardy, truant, discipline, newcode) SELECT " + keyColumns +
                    ", reason, excused, absent, tardy, truant, discipline, newcode FROM " + stage +
                    " WHERE newcode <> '' ORDER BY " + keyColumns + ", seq ON CONFLICT (" + keyColumns +
                    ") DO UPDATE SET newcode = excluded.newcode, " + takeValues("excluded") + " WHERE " +
                    anyDiffers(t, "excluded", true));
    }
    if (!window.from.IsNull() && !window.to.IsNull() && window.students != nullptr) {
        reconcile(table, window, staged, counts);
    }
    if (staged) {
        m_stageStatements.erase(table);
        execute("DROP TABLE " + stage);
    }
    return counts;
}

void AttendanceCache::reconcile(const XString& table, const Reconcile& window, bool staged,
                                MergeCounts& counts) {
    const XString t = table;
    const char* key = keyColumn(table);
    // Every absence of the window was read again: a row of it with a code that no record holds is gone at
    // the source. The window's rows are found in one pass over the table; nothing to look for in a cache
    // without such rows (a first run).
    execute("DROP TABLE IF EXISTS temp.window");
    execute("CREATE TEMP TABLE window AS SELECT rowid AS id, stdkey, attdate, " + XString(key) +
            " AS k, header FROM " + t + " WHERE attdate >= '" + window.from.IsoText() + "' AND attdate <= '" +
            window.to.IsoText() + "' AND newcode <> ''");
    if (countOf("SELECT count(*) FROM (SELECT 1 FROM temp.window LIMIT 1)") == 0) {
        execute("DROP TABLE temp.window");
        return;
    }
    createBookkeeping();
    // Only the rows of the students the run read: a student left out (withdrawn, not registered) still has
    // his absences at the source, though no record of the pass holds them.
    includeStudents(*window.students);
    execute("DELETE FROM temp.window WHERE stdkey NOT IN (SELECT stdkey FROM temp.included)");
    counts.coded = countOf("SELECT count(*) FROM temp.window");

    XString gone =
        "CREATE TEMP TABLE gone AS SELECT w.id, w.stdkey, w.attdate, w.k, w.header, EXISTS (SELECT 1 "
        "FROM HELD_GONE AS h WHERE h.tbl = " +
        SqlText::quoted(t) +
        " AND h.stdkey = w.stdkey AND h.attdate = w.attdate AND h.k = w.k AND h.header = w.header) AS "
        "held FROM temp.window AS w";
    if (staged) {
        execute("CREATE INDEX temp.stage_key_" + t + " ON stage_" + t + " (stdkey, attdate, " + key +
                ", header)");
        gone += " WHERE NOT EXISTS (SELECT 1 FROM temp.stage_" + t + " AS s WHERE s.stdkey = w.stdkey AND " +
                "s.attdate = w.attdate AND s." + key + " = w.k AND s.header = w.header)";
    }
    execute("DROP TABLE IF EXISTS temp.gone");
    execute(gone);
    execute("DROP TABLE temp.window");
    // A deletion in bulk (a view that came back nearly empty, students read as not registered) is more
    // likely a fault of the source than the school's own doing: its rows are sent as gone only once a second
    // run finds the same rows gone again.
    const int unconfirmed = countOf("SELECT count(*) FROM temp.gone WHERE held = 0");
    const bool bulk = unconfirmed > BulkDeletionMinimum && 2 * unconfirmed > counts.coded;
    execute("DELETE FROM HELD_GONE WHERE tbl = " + SqlText::quoted(t));
    if (bulk) {
        execute("INSERT INTO HELD_GONE (tbl, stdkey, attdate, k, header) SELECT " + SqlText::quoted(t) +
                ", stdkey, attdate, k, header FROM temp.gone WHERE held = 0");
        counts.held = unconfirmed;
    }
    counts.blanked = execute("UPDATE " + t + " SET newcode = '' WHERE rowid IN (SELECT id FROM temp.gone" +
                             (bulk ? XString(" WHERE held = 1") : XString()) + ")");
    execute("DROP TABLE temp.gone");
}

void AttendanceCache::includeStudents(const std::vector<XString>& students) {
    // Once per list of students: the daily and the period table of a run share it.
    if (m_includedValid && m_included == students) {
        return;
    }
    execute("CREATE TEMP TABLE IF NOT EXISTS included (stdkey TEXT PRIMARY KEY)");
    execute("DELETE FROM temp.included");
    sqlite::Query insert(m_database);
    insert.Prepare("INSERT OR IGNORE INTO temp.included (stdkey) VALUES (?1)");
    for (const XString& student : students) {
        insert.BindUnowned(1, student);
        insert.Run();
    }
    m_included = students;
    m_includedValid = true;
}

int AttendanceCache::countOf(const XString& sql) {
    m_lastStatement = sql;
    sqlite::Query query(m_database);
    query.Prepare("%s", sql.c_str());
    return query.Step() ? query.StringColumnAt(0).toInt() : 0;
}

namespace {

// The rows of the key column name keyName: a special key also owns the rows without a name.
XString headerCondition(const XString& keyName, bool specialKey) {
    const XString name = SqlText::quoted(keyName);
    return specialKey ? "(header = " + name + " OR header = '')" : "header = " + name;
}

// The SELECT of changedRowsSql and loadedRowsSql, for the rows that condition selects.
XString rowsSql(const XString& table, const XString& condition) {
    // In key order, so that the same changes always give the same file, however the cache came to hold them.
    const char* key = AttendanceCache::keyColumn(table);
    return XString("SELECT ") + kDateColumns + ", " + key + ", oldcode, newcode FROM " + table + " WHERE " +
           condition + " ORDER BY stdkey, attdate, " + key + ", header";
}

}  // namespace

XString AttendanceCache::changedCondition(const XString& keyName, bool specialKey) {
    return "newcode IS NOT NULL AND (newcode <> oldcode OR oldcode IS NULL) AND " +
           headerCondition(keyName, specialKey);
}

XString AttendanceCache::changedRowsSql(const XString& table, const XString& keyName, bool specialKey) {
    return rowsSql(table, changedCondition(keyName, specialKey));
}

XString AttendanceCache::loadedRowsSql(const XString& table, const XString& keyName, bool specialKey) {
    return rowsSql(table, headerCondition(keyName, specialKey));
}

int AttendanceCache::markSent(const XString& table, const XString& keyName, bool specialKey) {
    return m_database.Execute("UPDATE " + table + " SET oldcode=newcode WHERE " +
                              changedCondition(keyName, specialKey));
}
