// Reads a 200,000 x 12 table through the ADO-like layer (client-side static cursor, every value read
// as a Variant) and through unixODBC's isql on the same DSN and query, and prints both wall times.
//
// The SQLite database is built once and kept in the build folder (bench.db); a private odbc.ini
// there names it as the DSN NorvBench. Usage: norv_ado_read_bench [runs] (default 3; the best run of
// each reader is reported, after one warm-up run of each).
#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "libraries/ado/ComError.h"
#include "libraries/ado/Connection.h"
#include "libraries/ado/Recordset.h"

namespace {

constexpr int kRows = 200000;
const char* kQuery =
    "SELECT id, first_name, last_name, grade, school_code, birth_date, enrolled, gpa, balance, email, phone, "
    "active FROM students";

bool buildDatabase(const QString& path) {
    const QString building = path + QStringLiteral(".building");
    QFile::remove(building);
    sqlite3* db = nullptr;
    if (sqlite3_open(building.toUtf8().constData(), &db) != SQLITE_OK) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(building));
        return false;
    }
    const QByteArray sql = QStringLiteral(R"SQL(
PRAGMA journal_mode = OFF;
CREATE TABLE students(id INTEGER PRIMARY KEY, first_name TEXT, last_name TEXT, grade INTEGER,
                      school_code TEXT, birth_date DATE, enrolled TIMESTAMP, gpa NUMERIC(4,2),
                      balance NUMERIC(10,2), email TEXT, phone TEXT, active INTEGER);
WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < %1)
INSERT INTO students
SELECT n,
       CASE n % 5 WHEN 0 THEN 'Zoë' WHEN 1 THEN 'José' WHEN 2 THEN 'Anne-Marie' WHEN 3 THEN 'Łukasz'
                  ELSE 'O''Brien' END,
       'Family name ' || n,
       n % 12 + 1,
       'SCH' || (n % 7),
       date('2005-01-01', '+' || (n % 4000) || ' days'),
       datetime('2024-08-26 08:00:00', '+' || (n % 50000) || ' minutes'),
       round((n % 400) / 100.0, 2),
       round((n % 100000) / 7.0, 2),
       CASE WHEN n % 10 = 0 THEN NULL ELSE 'student' || n || '@school.example.org' END,
       CASE n % 3 WHEN 0 THEN '(555) 123-' || (1000 + n % 9000) WHEN 1 THEN '' ELSE '555.987.' || (n % 10000) END,
       n % 2
FROM c;
)SQL")
                               .arg(kRows)
                               .toUtf8();
    char* error = nullptr;
    const bool ok = sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error) == SQLITE_OK;
    if (!ok) {
        std::fprintf(stderr, "cannot build the table: %s\n", error);
        sqlite3_free(error);
    }
    sqlite3_close(db);
    return ok && QFile::rename(building, path);
}

// Reads everything through the layer; returns a checksum so that nothing is optimised away.
long long readWithLayer(long long& rows) {
    ado::Connection connection;
    connection.setMode(ado::Connection::adModeRead);
    connection.open(QStringLiteral("Data Source=NorvBench"));
    ado::Recordset rs;
    rs.setCursorLocation(ado::Recordset::adUseClient);
    rs.open(QString::fromLatin1(kQuery), connection, ado::Recordset::adOpenStatic,
            ado::Recordset::adLockReadOnly, ado::Recordset::adCmdText);
    const int fields = rs.fieldCount();
    long long checksum = 0;
    rows = 0;
    for (; !rs.eof(); rs.moveNext()) {
        for (int i = 0; i < fields; ++i) {
            const ado::Variant value = rs.field(i).value();
            checksum += value.type() + (value.type() == ado::VT_BSTR ? value.text().size() : 0);
        }
        ++rows;
    }
    rs.close();
    connection.close();
    return checksum;
}

double runIsql() {
    QProcess isql;
    isql.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    isql.start(QStringLiteral("isql"), {QStringLiteral("-b"), QStringLiteral("NorvBench")});
    isql.write(kQuery);
    isql.write("\n");
    isql.closeWriteChannel();
    if (!isql.waitForFinished(-1) || isql.exitCode() != 0) {
        std::fprintf(stderr, "isql failed: %s\n", isql.readAllStandardError().constData());
        std::exit(1);
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const QString folder = QStringLiteral(NORV_BENCH_DIR);
    const QString database = folder + QStringLiteral("/bench.db");
    if (!QFile::exists(database)) {
        std::printf("building %s (%d rows x 12 columns)...\n", qPrintable(database), kRows);
        if (!buildDatabase(database)) {
            return 1;
        }
    }
    QFile ini(folder + QStringLiteral("/bench-odbc.ini"));
    if (!ini.open(QIODevice::WriteOnly) ||
        ini.write(QStringLiteral("[NorvBench]\nDriver=SQLite3\nDatabase=%1\n").arg(database).toUtf8()) < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(ini.fileName()));
        return 1;
    }
    ini.close();
    qputenv("ODBCINI", ini.fileName().toLocal8Bit());  // before the first ODBC call of the process

    try {
        long long rows = 0;
        long long checksum = readWithLayer(rows);  // warm-up: file cache, driver loading
        runIsql();
        double bestLayer = 1e9;
        double bestIsql = 1e9;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            checksum = readWithLayer(rows);
            bestLayer = std::min(bestLayer, static_cast<double>(timer.nsecsElapsed()) / 1e9);
            bestIsql = std::min(bestIsql, runIsql());
        }
        std::printf("rows read: %lld (checksum %lld), best of %d runs\n", rows, checksum, runs);
        std::printf("ADO layer (static cursor, every value as a Variant): %.3f s\n", bestLayer);
        std::printf("isql -b (output to /dev/null):                      %.3f s\n", bestIsql);
        std::printf("ratio isql / layer: %.2f\n", bestIsql / bestLayer);
    } catch (const ado::ComError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
