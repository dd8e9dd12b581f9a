#include "attendance/AttendanceVerifier.h"

#include "dataaccess/SqlText.h"
#include "libraries/sqlitewrapper/Query.h"
#include "libraries/support/XFolderIterator.h"
#include "writer/UpdateFileReader.h"

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <tuple>

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

XString bytes(QByteArrayView value) {
    return XString(value.data(), static_cast<int>(value.size()));
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
        copy.pending().settle(importFolder);
        copy.close();
        m_scratch.database().Execute("ATTACH DATABASE '%q' AS sent",
                                     AttendanceCache::fileIn(copyBase).native().constData());
        m_cacheRead = true;
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
        "DELETE FROM temp.target WHERE tbl = ?1 AND stdkey = ?2 AND attdate = ?3 AND k = ?4 AND header = ?5");
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
                const std::vector<QByteArrayView>& values) {
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
                    statement.BindUnowned(i + 1, fields[i]);
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

namespace {

// One side's rows of one table in key order: (stdkey, attdate, key, header) and the code.
class SideRows {
  public:
    SideRows(sqlite::Database& database, const XString& sql) : m_query(database) {
        if (!sql.isEmpty()) {
            m_query.Prepare("%s", sql.c_str());
            next();
        }
    }
    bool atEnd() const { return m_atEnd; }
    const std::array<QByteArray, 4>& key() const { return m_key; }
    const XString& code() const { return m_code; }
    void next() {
        m_atEnd = !m_query.HasStatement() || !m_query.Step();
        if (!m_atEnd) {
            for (int i = 0; i < 4; ++i) {
                const XString text = m_query.StringColumnAt(i);
                m_key[static_cast<size_t>(i)] = QByteArray(text.c_str(), text.length());
            }
            m_code = m_query.StringColumnAt(4);
        }
    }

  private:
    sqlite::Query m_query;
    std::array<QByteArray, 4> m_key;
    XString m_code;
    bool m_atEnd = true;
};

XString text(const QByteArray& bytes) {
    return XString(bytes.constData(), static_cast<int>(bytes.size()));
}

}  // namespace

std::vector<AttendanceVerifier::Finding> AttendanceVerifier::compare(const std::vector<XString>& students) {
    sqlite::Database& database = m_scratch.database();
    std::set<QByteArray> included;
    for (const XString& student : students) {
        included.insert(QByteArray(student.c_str(), student.length()));
    }
    std::map<std::tuple<int, XString, int>, Finding> found;  // (side, table, kind) -> finding, in that order
    for (const char* table : kTables) {
        const XString t = table;
        const XString key = AttendanceCache::keyColumn(t);
        const XString order = " ORDER BY stdkey, attdate, " + key + ", header";
        // Each side in key order, the order of its index: the three meet in one pass.
        SideRows source(database, m_scratch.tableExists(t)
                                      ? "SELECT stdkey, attdate, " + key + ", header, newcode FROM main." +
                                            t + " WHERE newcode <> ''" + order
                                      : XString());
        SideRows file(database, "SELECT stdkey, attdate, k, header, code FROM temp.target WHERE tbl = " +
                                    SqlText::quoted(t) + " ORDER BY stdkey, attdate, k, header");
        SideRows sent(database, m_cacheRead
                                    ? "SELECT stdkey, attdate, " + key + ", header, oldcode FROM sent." + t +
                                          " WHERE oldcode <> ''" + order
                                    : XString());
        SideRows* sides[] = {&file, &sent};
        while (!source.atEnd() || !file.atEnd() || !sent.atEnd()) {
            // The smallest key any side holds next.
            const std::array<QByteArray, 4>* least = nullptr;
            for (const SideRows* rows : {&source, &file, &sent}) {
                if (!rows->atEnd() && (least == nullptr || rows->key() < *least)) {
                    least = &rows->key();
                }
            }
            const std::array<QByteArray, 4> current = *least;
            const bool sourceHolds = !source.atEnd() && source.key() == current;
            const XString sourceCode = sourceHolds ? source.code() : XString();
            for (int side = 0; side < 2; ++side) {
                SideRows& rows = *sides[side];
                const bool folderHolds = !rows.atEnd() && rows.key() == current;
                // A folder's row of a student the run does not include is his by design.
                const int kind = !folderHolds                ? (sourceHolds ? 0 : -1)
                                 : !sourceHolds              ? (included.count(current[0]) != 0 ? 1 : -1)
                                 : rows.code() != sourceCode ? 2
                                                             : -1;
                if (kind >= 0 && (side == 0 || m_cacheRead)) {
                    Finding& finding = found[{side, t, kind}];
                    if (finding.count == 0) {
                        finding = Finding{static_cast<Finding::Side>(side),
                                          t.toQString(),
                                          static_cast<Finding::Kind>(kind),
                                          0,
                                          {}};
                    }
                    if (++finding.count <= ExampleCount) {
                        finding.examples.append(example(text(current[0]), text(current[1]), text(current[2]),
                                                        sourceCode, folderHolds ? rows.code() : XString())
                                                    .toQString());
                    }
                }
                if (folderHolds) {
                    rows.next();
                }
            }
            if (sourceHolds) {
                source.next();
            }
        }
    }
    std::vector<Finding> findings;
    for (auto& [order, finding] : found) {
        findings.push_back(finding);
    }
    return findings;
}

XString AttendanceVerifier::example(const XString& student, const XString& isoDate, const XString& key,
                                    const XString& source, const XString& folder) const {
    XDate date;
    date.ParseIso(isoDate);
    return student + " " + date.Format(m_dateFormat) + " " + key + " (source: \"" + source +
           "\", folder: \"" + folder + "\")";
}
