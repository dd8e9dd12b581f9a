#include "attendance/AttendanceVerifier.h"

#include "dataaccess/SqlText.h"
#include "libraries/sqlitewrapper/Query.h"
#include "libraries/support/XFolderIterator.h"
#include "writer/UpdateFileReader.h"

#include <algorithm>

namespace {

const char* const kTables[] = {AttendanceCache::DailyTable, AttendanceCache::PeriodTable};

// The cache table of an update file's table title; null for any other table.
const char* tableOfTitle(const QByteArray& title) {
    if (title == "Cached Daily Attendance") {
        return AttendanceCache::DailyTable;
    }
    if (title == "Cached Period Attendance") {
        return AttendanceCache::PeriodTable;
    }
    return nullptr;
}

XString bytes(const QByteArray& value) {
    return XString(value.constData(), static_cast<int>(value.size()));
}

}  // namespace

AttendanceVerifier::AttendanceVerifier(AttendanceCache& scratch, const XFileSpec& scratchFolder,
                                       const XString& dateFormat)
    : m_scratch(scratch), m_scratchFolder(scratchFolder), m_dateFormat(dateFormat) {}

bool AttendanceVerifier::readCache(const XFileSpec& importFolder, QString& problem) {
    const XFileSpec file = AttendanceCache::fileIn(importFolder);
    if (!file.exists()) {
        problem = "The folder has no attendance cache: " + file.path().toQString();
        return false;
    }
    XFileSpec copyBase = m_scratchFolder;
    copyBase.appendFolder("sent");
    try {
        // A snapshot of one moment, read without writing anything beside the cache (its journal included).
        sqlite::Database folderCache;
        folderCache.OpenIn(file.folder().toQString(), QStringLiteral("Attendance.db"),
                           sqlite::Database::OpenReadOnly | sqlite::Database::OpenNoFollow);
        AttendanceCache copy;
        copy.open(copyBase);
        folderCache.CopyInto(copy.database());
        folderCache.Close();
        copy.check();
        for (const char* table : kTables) {
            if (!copy.tableExists(table)) {
                copy.createTable(table);
            }
        }
        // What the next run would do with an update file marked as sent but never put in place.
        copy.createBookkeeping();
        PendingUpdate& pending = copy.pending();
        const XString name = pending.fileName();
        if (!name.isEmpty()) {
            XFileSpec published = importFolder;
            published.setFileName(name);
            if (published.exists()) {
                pending.clear();
            } else {
                pending.restore();
            }
        }
        copy.close();
        m_scratch.database().Execute("ATTACH DATABASE '%q' AS sent",
                                     AttendanceCache::fileIn(copyBase).native().constData());
        m_cacheAttached = true;
    } catch (const std::exception& e) {
        problem = "The attendance cache " + file.path().toQString() + " cannot be read: " + e.what();
        return false;
    }
    return true;
}

bool AttendanceVerifier::readUpdateFiles(const XFileSpec& importFolder, QString& problem) {
    m_files.clear();
    XFolderIterator files(importFolder, "Update *.CDU");
    XFileSpec entry;
    for (bool more = files.first(entry); more; more = files.next(entry)) {
        m_files.append(entry.fileName().toQString());
    }
    std::sort(m_files.begin(), m_files.end());

    sqlite::Database& database = m_scratch.database();
    database.Execute(
        "CREATE TEMP TABLE IF NOT EXISTS target (tbl, stdkey, attdate, k, header, code, PRIMARY KEY (tbl, "
        "stdkey, attdate, k, header)) WITHOUT ROWID");
    database.Execute("DELETE FROM temp.target");
    sqlite::Query set(database);
    set.Prepare(
        "INSERT OR REPLACE INTO temp.target (tbl, stdkey, attdate, k, header, code) VALUES (?1, ?2, ?3, "
        "?4, ?5, ?6)");
    sqlite::Query remove(database);
    remove.Prepare(
        "DELETE FROM temp.target WHERE tbl = ?1 AND stdkey = ?2 AND attdate = ?3 AND k = ?4 AND "
        "header = ?5");
    const bool own = !database.InTransaction();
    if (own) {
        database.Execute("begin transaction");
    }
    QString failure;
    for (const QString& name : m_files) {
        const QString path = importFolder.toQString() + name;
        const bool read = UpdateFileReader::read(
            path,
            [&](const QByteArray& title, const QList<QByteArray>& fieldNames,
                const QList<QByteArray>& values) {
                const char* table = tableOfTitle(title);
                if (table == nullptr || fieldNames.size() < 4 || values.size() < 4) {
                    return;
                }
                XDate date;
                date.Parse(m_dateFormat, bytes(values[1]));
                const XString fields[] = {
                    table,           bytes(values[0]), date.IsoText(), bytes(values[2]), bytes(fieldNames[2]),
                    bytes(values[3])};
                // A row without a code removes the absence; any other sets it.
                sqlite::Query& statement = values[3].isEmpty() ? remove : set;
                const int count = values[3].isEmpty() ? 5 : 6;
                for (int i = 0; i < count; ++i) {
                    statement.Bind(i + 1, fields[i]);
                }
                statement.Run();
            },
            failure);
        if (!read) {
            break;
        }
    }
    if (own) {
        database.Execute("commit transaction");
    }
    if (!failure.isEmpty()) {
        problem = "An update file cannot be read: " + failure;
        return false;
    }
    return true;
}

int AttendanceVerifier::sourceRows(const XString& table) {
    if (!m_scratch.tableExists(table)) {
        return 0;
    }
    sqlite::Query count(m_scratch.database());
    count.Prepare("SELECT count(*) FROM main.%s WHERE newcode <> ''", table.c_str());
    return count.Step() ? count.StringColumnAt(0).toInt() : 0;
}

std::vector<AttendanceVerifier::Finding> AttendanceVerifier::compare(const std::vector<XString>& students) {
    sqlite::Database& database = m_scratch.database();
    database.Execute("CREATE TEMP TABLE IF NOT EXISTS included (stdkey TEXT PRIMARY KEY)");
    database.Execute("DELETE FROM temp.included");
    {
        sqlite::Query insert(database);
        insert.Prepare("INSERT OR IGNORE INTO temp.included (stdkey) VALUES (?1)");
        for (const XString& student : students) {
            insert.BindUnowned(1, student);
            insert.Run();
        }
    }
    std::vector<Finding> findings;
    for (const char* table : kTables) {
        if (!m_scratch.tableExists(table)) {
            m_scratch.createTable(table);  // the source holds none of this table
        }
        const XString t = table;
        const XString key = AttendanceCache::keyColumn(t);
        compareSide(QStringLiteral("update files"), t, "temp.target", "x.tbl = " + SqlText::quoted(t),
                    findings);
        if (m_cacheAttached) {
            // The sent codes, keyed as the target's rows are, so that each comparison is a look-up.
            database.Execute("DROP TABLE IF EXISTS temp.sent_rows");
            database.Execute(
                "CREATE TEMP TABLE sent_rows (stdkey, attdate, k, header, code, PRIMARY KEY (stdkey, "
                "attdate, k, header)) WITHOUT ROWID");
            database.Execute("INSERT OR REPLACE INTO temp.sent_rows SELECT stdkey, attdate, " + key +
                             ", header, oldcode FROM sent." + t + " WHERE oldcode <> ''");
            compareSide(QStringLiteral("cache"), t, "temp.sent_rows", "1", findings);
        }
    }
    return findings;
}

void AttendanceVerifier::compareSide(const QString& side, const XString& table, const XString& rows,
                                     const XString& filter, std::vector<Finding>& findings) {
    const XString key = AttendanceCache::keyColumn(table);
    const XString s = "main." + table;
    const XString sameKey = filter + " AND x.stdkey = s.stdkey AND x.attdate = s.attdate AND x.k = s." + key +
                            " AND x.header = s.header";
    // The source's rows have their code as newcode, the folder's rows as code.
    const struct {
        const char* kind;
        XString sql;
    } queries[] = {
        {"lacks", "SELECT s.stdkey, s.attdate, s." + key + ", s.newcode, '' FROM " + s +
                      " AS s WHERE s.newcode <> '' AND NOT EXISTS (SELECT 1 FROM " + rows + " AS x WHERE " +
                      sameKey + ") ORDER BY 1, 2, 3"},
        {"extra", "SELECT x.stdkey, x.attdate, x.k, '', x.code FROM " + rows + " AS x WHERE " + filter +
                      " AND x.stdkey IN (SELECT stdkey FROM temp.included) AND NOT EXISTS (SELECT 1 FROM " +
                      s + " AS s WHERE s.newcode <> '' AND " + sameKey + ") ORDER BY 1, 2, 3"},
        {"differs", "SELECT s.stdkey, s.attdate, s." + key + ", s.newcode, x.code FROM " + s + " AS s JOIN " +
                        rows + " AS x ON " + sameKey +
                        " WHERE s.newcode <> '' AND s.newcode <> x.code ORDER BY 1, 2, 3"},
    };
    for (const auto& query : queries) {
        Finding finding{side, table.toQString(), QString::fromLatin1(query.kind), 0, {}};
        sqlite::Query found(m_scratch.database());
        found.Prepare("%s", query.sql.c_str());
        while (found.Step()) {
            if (++finding.count <= ExampleCount) {
                finding.examples.append(example(found.StringColumnAt(0), found.StringColumnAt(1),
                                                found.StringColumnAt(2), found.StringColumnAt(3),
                                                found.StringColumnAt(4))
                                            .toQString());
            }
        }
        if (finding.count > 0) {
            findings.push_back(finding);
        }
    }
}

XString AttendanceVerifier::example(const XString& student, const XString& isoDate, const XString& key,
                                    const XString& source, const XString& folder) const {
    XDate date;
    date.ParseIso(isoDate);
    return student + " " + date.Format(m_dateFormat) + " " + key + " (source: \"" + source +
           "\", folder: \"" + folder + "\")";
}
