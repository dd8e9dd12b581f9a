#include "attendance/AttendanceCache.h"

#include "dataaccess/SqlText.h"
#include "libraries/sqlitewrapper/SqlError.h"
#include "libraries/support/XException.h"

#include <sqlite3.h>
#include <cerrno>

namespace {

const char* const kDateColumns = "stdkey, attdate, reason, excused, absent, tardy, truant, discipline";

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
    sqlite::Query query(m_database);
    query.Prepare("SELECT * FROM sqlite_master WHERE type='table' AND name='%q'", table.c_str());
    return query.Step();
}

void AttendanceCache::dropTable(const XString& table) {
    if (keyColumn(table) == nullptr) {
        return;
    }
    m_stageStatements.erase(table);
    m_database.Execute("DROP TABLE %s", table.c_str());
}

void AttendanceCache::check() {
    // Reading the whole file (a quick check) would cost as much as a night's pass over a large cache.
    m_database.Execute("SELECT count(*) FROM sqlite_master");
}

bool AttendanceCache::isDamage(const std::exception& error) {
    const auto* sql = dynamic_cast<const sqlite::SqlError*>(&error);
    if (sql == nullptr) {
        return false;
    }
    const int primary = sql->ResultCode() & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

sqlite::Query& AttendanceCache::stageStatementFor(const XString& table) {
    std::unique_ptr<sqlite::Query>& statement = m_stageStatements[table];
    if (!statement) {
        const char* key = keyColumn(table);
        if (key == nullptr) {
            m_stageStatements.erase(table);
            throw XException(("Not an attendance table: " + table).toStdString());
        }
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
    sqlite::Query& insert = stageStatementFor(table);
    // The record outlives the insert: its texts are bound without copies.
    const XString date = record.date.IsoText();
    const XString* values[] = {
        &record.student, &date,         &record.key,    &record.header,     &record.reason, &record.excused,
        &record.absent,  &record.tardy, &record.truant, &record.discipline, &record.code};
    for (int i = 0; i < 11; ++i) {
        insert.BindUnowned(i + 1, *values[i]);
    }
    try {
        insert.Run();
    } catch (...) {
        // Formatting the statement with its values costs more than running it: only for the message.
        m_lastStatement = insert.ExpandedSql();
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
}

int AttendanceCache::execute(const XString& sql) {
    m_lastStatement = sql;
    return m_database.Execute(sql);
}

namespace {

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

// "c = r.c, ..." over the values: the row takes the record's.
XString takeValues(const XString& record) {
    XString assignments;
    for (const char* column : kValueColumns) {
        assignments += XString(assignments.isEmpty() ? "" : ", ") + column + " = " + record + "." + column;
    }
    return assignments;
}

}  // namespace

AttendanceCache::MergeCounts AttendanceCache::merge(const XString& table, const XDate& reconcileFrom,
                                                    const XDate& reconcileTo) {
    MergeCounts counts;
    const char* key = keyColumn(table);
    if (key == nullptr) {
        return counts;
    }
    const XString t = table;
    const XString k = key;
    const XString stage = "temp.stage_" + t;
    const XString keyColumns = "stdkey, attdate, " + k + ", header";
    const XString sameKey = "s.stdkey = " + t + ".stdkey AND s.attdate = " + t + ".attdate AND s." + k +
                            " = " + t + "." + k + " AND s.header = " + t + ".header";
    const bool staged = hasStaged(table);
    if (staged) {
        // seq counts the records from 1 in arrival order.
        sqlite::Query count(m_database);
        count.Prepare("SELECT max(seq) FROM %s", stage.c_str());
        counts.records = count.Step() ? count.StringColumnAt(0).toInt() : 0;
        // No code: a code that is gone blanks the row sent before; without such a row there is nothing to
        // send. Records with a code come after, so that a key read with a code and without one keeps the
        // code.
        counts.written = execute("UPDATE " + t + " SET newcode = '', " + takeValues("s") + " FROM " + stage +
                                 " AS s WHERE s.newcode = '' AND " + sameKey + " AND (" + t +
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
    if (!reconcileFrom.IsNull() && !reconcileTo.IsNull()) {
        // Every absence of the window was read again: a row of it with a code that no record holds is gone at
        // the source. Nothing to look for in a cache without such rows (a first run).
        const XString window = t + ".attdate >= '" + reconcileFrom.IsoText() + "' AND " + t +
                               ".attdate <= '" + reconcileTo.IsoText() + "' AND " + t + ".newcode <> ''";
        sqlite::Query probe(m_database);
        probe.Prepare("SELECT 1 FROM %s WHERE %s LIMIT 1", t.c_str(), window.c_str());
        if (probe.Step()) {
            XString gone = "UPDATE " + t + " SET newcode = '' WHERE " + window;
            if (staged) {
                execute("CREATE INDEX temp.stage_key_" + t + " ON stage_" + t + " (" + keyColumns + ")");
                gone += " AND NOT EXISTS (SELECT 1 FROM " + stage + " AS s WHERE " + sameKey + ")";
            }
            counts.blanked = execute(gone);
        }
    }
    if (staged) {
        m_stageStatements.erase(table);
        execute("DROP TABLE " + stage);
    }
    return counts;
}

XString AttendanceCache::changedCondition(const XString& keyName, bool specialKey) {
    const XString name = SqlText::quoted(keyName);
    XString condition = "newcode IS NOT NULL AND (newcode <> oldcode OR oldcode IS NULL) AND ";
    if (specialKey) {
        condition += "(header = " + name + " OR header = '')";
    } else {
        condition += "header = " + name;
    }
    return condition;
}

XString AttendanceCache::changedRowsSql(const XString& table, const XString& keyName, bool specialKey) {
    // In key order, so that the same changes always give the same file, however the cache came to hold them.
    return XString("SELECT ") + kDateColumns + ", " + keyColumn(table) + ", oldcode, newcode FROM " + table +
           " WHERE " + changedCondition(keyName, specialKey) + " ORDER BY stdkey, attdate, " +
           keyColumn(table) + ", header";
}

int AttendanceCache::markSent(const XString& table, const XString& keyName, bool specialKey) {
    return m_database.Execute("UPDATE " + table + " SET oldcode=newcode WHERE " +
                              changedCondition(keyName, specialKey));
}
