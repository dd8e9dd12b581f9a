#include "attendance/AttendanceCache.h"

#include "libraries/sqlitewrapper/SqlError.h"
#include "libraries/support/XException.h"

#include <sqlite3.h>

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
    file.folder().create();
    m_database.Open(file.path());
    // A first run stores a year of rows in key order that the windows' date order scatters: a page cache of
    // 16 MiB (bounded, whatever the year holds) keeps the B-tree from being read and spilled page by page.
    m_database.Execute("PRAGMA cache_size = -16384");
}

void AttendanceCache::close() {
    m_statements.clear();
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
    m_statements.erase(table);
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

AttendanceCache::Statements& AttendanceCache::statementsFor(const XString& table) {
    Statements& statements = m_statements[table];
    if (!statements.update) {
        const char* key = keyColumn(table);
        if (key == nullptr) {
            m_statements.erase(table);
            throw XException(("Not an attendance table: " + table).toStdString());
        }
        statements.update = std::make_unique<sqlite::Query>(m_database);
        statements.update->Prepare(
            "UPDATE %s SET newcode=?1, excused=?2, absent=?3, tardy=?4, truant=?5, discipline=?6 "
            "WHERE stdkey=?7 AND attdate=?8 AND %s=?9 AND header=?10",
            table.c_str(), key);
        statements.upsert = std::make_unique<sqlite::Query>(m_database);
        statements.upsert->Prepare(
            "INSERT INTO %s (%s, %s, header, newcode) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11) "
            "ON CONFLICT (stdkey, attdate, %s, header) DO UPDATE SET newcode=excluded.newcode, "
            "excused=excluded.excused, absent=excluded.absent, tardy=excluded.tardy, truant=excluded.truant, "
            "discipline=excluded.discipline",
            table.c_str(), kDateColumns, key, key);
    }
    return statements;
}

void AttendanceCache::store(const XString& table, const AttendanceRecord& record) {
    Statements& statements = statementsFor(table);
    const XString& student = record.student;
    const XString date = record.date.IsoText();
    const XString& key = record.key;
    const XString& header = record.header;
    const XString& code = record.code;

    if (code.isEmpty()) {
        // A code that is gone blanks the row sent before; without such a row there is nothing to send.
        sqlite::Query& update = *statements.update;
        update.Bind(1, code);
        update.Bind(2, record.excused);
        update.Bind(3, record.absent);
        update.Bind(4, record.tardy);
        update.Bind(5, record.truant);
        update.Bind(6, record.discipline);
        update.Bind(7, student);
        update.Bind(8, date);
        update.Bind(9, key);
        update.Bind(10, header);
        m_lastWasInsert = false;
        run(update);
        return;
    }
    // The row of the key gets the new code and values, or is made: one statement, one search of the key.
    sqlite::Query& upsert = *statements.upsert;
    upsert.Bind(1, student);
    upsert.Bind(2, date);
    upsert.Bind(3, record.reason);
    upsert.Bind(4, record.excused);
    upsert.Bind(5, record.absent);
    upsert.Bind(6, record.tardy);
    upsert.Bind(7, record.truant);
    upsert.Bind(8, record.discipline);
    upsert.Bind(9, key);
    upsert.Bind(10, header);
    upsert.Bind(11, code);
    m_lastWasInsert = true;
    run(upsert);
}

int AttendanceCache::run(sqlite::Query& statement) {
    try {
        return statement.Run();
    } catch (...) {
        // Formatting the statement with its values costs more than running it: only for the message.
        m_lastStatement = statement.ExpandedSql();
        throw;
    }
}

XString AttendanceCache::changedCondition(const XString& keyName, bool specialKey) {
    XString name = keyName;
    name.replaceAll("'", "''");
    XString condition = "newcode IS NOT NULL AND (newcode <> oldcode OR oldcode IS NULL) AND ";
    if (specialKey) {
        condition += "(header = '" + name + "' OR header = '')";
    } else {
        condition += "header = '" + name + "'";
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

int AttendanceCache::blankNewCodes(const XString& table, const XDate& from, const XDate& to) {
    return m_database.Execute(
        "UPDATE %s SET newcode='' WHERE attdate >= '%q' AND (%Q IS NULL OR attdate <= %Q) AND "
        "newcode <> ''",
        table.c_str(), from.IsoText().c_str(), to.IsNull() ? nullptr : to.IsoText().c_str(),
        to.IsNull() ? nullptr : to.IsoText().c_str());
}
