#include "attendance/AttendanceCache.h"

#include "libraries/support/XException.h"

#include <QFileInfo>
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
    // By the folder's real path with every link refused, so that a link planted after the check still stops
    // the open; the folders above the output folder may be links of the installation.
    const QString real = QFileInfo(baseFolder.toQString()).canonicalFilePath();
    m_database.Open(real.isEmpty() ? file.toQString() : real + QStringLiteral("/Attendance/Attendance.db"),
                    XString(), sqlite::Database::OpenReadWriteCreate | sqlite::Database::OpenNoFollow);
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

XString AttendanceCache::storedText(const XString& value) {
    if (value.find('\'') < 0) {
        return value;
    }
    XString text = value;
    text.replaceAll("'", "");
    return text;
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
    const XString student = storedText(record.student);
    const XString date = storedText(record.date.IsoText());
    const XString key = storedText(record.key);
    const XString header = storedText(record.header);
    const XString code = storedText(record.code);

    if (code.isEmpty()) {
        // A code that is gone blanks the row sent before; without such a row there is nothing to send.
        sqlite::Query& update = *statements.update;
        update.Bind(1, code);
        update.Bind(2, storedText(record.excused));
        update.Bind(3, storedText(record.absent));
        update.Bind(4, storedText(record.tardy));
        update.Bind(5, storedText(record.truant));
        update.Bind(6, storedText(record.discipline));
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
    upsert.Bind(3, storedText(record.reason));
    upsert.Bind(4, storedText(record.excused));
    upsert.Bind(5, storedText(record.absent));
    upsert.Bind(6, storedText(record.tardy));
    upsert.Bind(7, storedText(record.truant));
    upsert.Bind(8, storedText(record.discipline));
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
    const XString name = storedText(keyName);
    XString condition = "newcode IS NOT NULL AND (newcode <> oldcode OR oldcode IS NULL) AND ";
    if (specialKey) {
        condition += "(header = '" + name + "' OR header = '')";
    } else {
        condition += "header = '" + name + "'";
    }
    return condition;
}

XString AttendanceCache::changedRowsSql(const XString& table, const XString& keyName, bool specialKey) {
    return XString("SELECT ") + kDateColumns + ", " + keyColumn(table) + ", oldcode, newcode FROM " + table +
           " WHERE " + changedCondition(keyName, specialKey);
}

int AttendanceCache::markSent(const XString& table, const XString& keyName, bool specialKey) {
    return m_database.Execute("UPDATE " + table + " SET oldcode=newcode WHERE " +
                              changedCondition(keyName, specialKey));
}

int AttendanceCache::blankNewCodes(const XString& table, const XDate& from) {
    return m_database.Execute("UPDATE %s SET %s='' WHERE %s >= '%q'", table.c_str(), "newcode", "attdate",
                              from.IsoText().c_str());
}
