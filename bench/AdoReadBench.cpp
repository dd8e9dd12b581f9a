// Reads a 200,000 x 12 table through the ADO-like layer (client-side static cursor, every value read
// as a Variant) and through unixODBC's isql on the same DSN and query, and prints both wall times.
//
// The SQLite database is built once and kept in the build folder (bench.db); a private odbc.ini
// there names it as the DSN NorvBench. Usage: norv_ado_read_bench [runs] [--pg PORT] (default 3 runs;
// the best run of each reader is reported, after one warm-up run of each). With --pg, the same table
// is also built (once) in the norv_test database of the test PostgreSQL server on that port
// (scripts/pg-test-server.sh) and read the same two ways through the DSN NorvBenchPg: the driver
// there fetches in blocks of bound arrays, which the SQLite driver cannot.
#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

const char* kPgUser = "norv_admin";
const char* kPgPassword = "norv-admin-pw";

QString pgConnection() {
    return QStringLiteral("Data Source=NorvBenchPg;User ID=%1;Password=%2;Persist Security Info=True;")
        .arg(QLatin1String(kPgUser), QLatin1String(kPgPassword));
}

// The same rows in PostgreSQL, built once: the table is only created when it is missing.
void buildPostgresTable() {
    ado::Connection connection;
    connection.open(pgConnection());
    ado::Recordset rs;
    rs.open(QStringLiteral("SELECT count(*) FROM information_schema.tables WHERE table_name = 'students'"),
            connection, ado::Recordset::adOpenStatic);
    const bool exists = rs.field(0).value().i64() > 0;
    rs.close();
    if (exists) {
        return;
    }
    std::printf("building the PostgreSQL table (%d rows x 12 columns)...\n", kRows);
    const QString create = QStringLiteral(R"SQL(
CREATE TABLE students AS
SELECT n AS id,
       CASE n % 5 WHEN 0 THEN 'Zoë' WHEN 1 THEN 'José' WHEN 2 THEN 'Anne-Marie' WHEN 3 THEN 'Łukasz'
                  ELSE 'O''Brien' END AS first_name,
       'Family name ' || n AS last_name,
       n % 12 + 1 AS grade,
       'SCH' || (n % 7) AS school_code,
       date '2005-01-01' + (n % 4000) AS birth_date,
       timestamp '2024-08-26 08:00:00' + (n % 50000) * interval '1 minute' AS enrolled,
       round((n % 400) / 100.0, 2)::numeric(4,2) AS gpa,
       round((n % 100000) / 7.0, 2)::numeric(10,2) AS balance,
       CASE WHEN n % 10 = 0 THEN NULL ELSE 'student' || n || '@school.example.org' END AS email,
       CASE n % 3 WHEN 0 THEN '(555) 123-' || (1000 + n % 9000) WHEN 1 THEN '' ELSE '555.987.' || (n % 10000) END
         AS phone,
       n % 2 AS active
FROM generate_series(1, %1) AS n
)SQL")
                               .arg(kRows);
    rs.open(create, connection);
}

// Reads everything through the layer; returns a checksum so that nothing is optimised away.
long long readWithLayer(const QString& connectionString, long long& rows) {
    ado::Connection connection;
    connection.setMode(ado::Connection::adModeRead);
    connection.open(connectionString);
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

double runIsql(const QStringList& dsnAndLogin) {
    QProcess isql;
    isql.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    isql.start(QStringLiteral("isql"), QStringList{QStringLiteral("-b")} + dsnAndLogin);
    isql.write(kQuery);
    isql.write("\n");
    isql.closeWriteChannel();
    if (!isql.waitForFinished(-1) || isql.exitCode() != 0) {
        std::fprintf(stderr, "isql failed: %s\n", isql.readAllStandardError().constData());
        std::exit(1);
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// Times both readers on one source and prints the figures.
void compare(const char* title, const QString& connectionString, const QStringList& isqlArguments, int runs) {
    long long rows = 0;
    long long checksum = readWithLayer(connectionString, rows);  // warm-up: file cache, driver loading
    runIsql(isqlArguments);
    double bestLayer = 1e9;
    double bestIsql = 1e9;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        checksum = readWithLayer(connectionString, rows);
        bestLayer = std::min(bestLayer, static_cast<double>(timer.nsecsElapsed()) / 1e9);
        bestIsql = std::min(bestIsql, runIsql(isqlArguments));
    }
    std::printf("%s: rows read: %lld (checksum %lld), best of %d runs\n", title, rows, checksum, runs);
    std::printf("  ADO layer (static cursor, every value as a Variant): %.3f s\n", bestLayer);
    std::printf("  isql -b (output to /dev/null):                      %.3f s\n", bestIsql);
    std::printf("  ratio isql / layer: %.2f\n", bestIsql / bestLayer);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 3;
    int pgPort = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pg") == 0 && i + 1 < argc) {
            pgPort = std::atoi(argv[++i]);
        } else {
            runs = std::max(1, std::atoi(argv[i]));
        }
    }
    const QString folder = QStringLiteral(NORV_BENCH_DIR);
    const QString database = folder + QStringLiteral("/bench.db");
    if (!QFile::exists(database)) {
        std::printf("building %s (%d rows x 12 columns)...\n", qPrintable(database), kRows);
        if (!buildDatabase(database)) {
            return 1;
        }
    }
    QString dsns = QStringLiteral("[NorvBench]\nDriver=SQLite3\nDatabase=%1\n").arg(database);
    if (pgPort > 0) {
        dsns += QStringLiteral(
                    "\n[NorvBenchPg]\nDriver=PostgreSQL Unicode\nServername=127.0.0.1\nPort=%1\n"
                    "Database=norv_test\nBoolsAsChar=0\n")
                    .arg(pgPort);
    }
    QFile ini(folder + QStringLiteral("/bench-odbc.ini"));
    if (!ini.open(QIODevice::WriteOnly) || ini.write(dsns.toUtf8()) < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(ini.fileName()));
        return 1;
    }
    ini.close();
    qputenv("ODBCINI", ini.fileName().toLocal8Bit());  // before the first ODBC call of the process

    try {
        compare("SQLite (DSN NorvBench)", QStringLiteral("Data Source=NorvBench"),
                {QStringLiteral("NorvBench")}, runs);
        if (pgPort > 0) {
            buildPostgresTable();
            compare("PostgreSQL (DSN NorvBenchPg)", pgConnection(),
                    {QStringLiteral("NorvBenchPg"), QLatin1String(kPgUser), QLatin1String(kPgPassword)},
                    runs);
        }
    } catch (const ado::ComError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
