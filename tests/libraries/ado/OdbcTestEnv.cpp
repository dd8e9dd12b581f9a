#include "OdbcTestEnv.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace adotest {

namespace {

// A local TCP port that nothing listens on right now: bind to port 0, read the number, let it go.
int unusedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("no free local port");
    }
    close(fd);
    return ntohs(address.sin_port);
}

// Text with accents (Windows-1252 letters), a letter outside Windows-1252 (Ł) and one outside the
// Basic Multilingual Plane, so that surrogate pairs cross the driver too.
const char* kFixture = R"SQL(
CREATE TABLE kinds(id INTEGER PRIMARY KEY, name TEXT, code VARCHAR(20), amount NUMERIC(10,2), ratio REAL,
                   born DATE, stamp TIMESTAMP, flag BIT, big BIGINT, small SMALLINT);
INSERT INTO kinds VALUES(1, 'Zoë Łukasz-Müller 😀', 'Café', 123.45, 2.5, '2024-03-05', '2024-03-05 14:07:09',
                         1, 9007199254740993, -7);
INSERT INTO kinds VALUES(2, '', NULL, -0.5, NULL, NULL, NULL, 0, NULL, NULL);
INSERT INTO kinds VALUES(3, NULL, 'x', NULL, NULL, '1899-12-29', '1600-01-01 00:00:00', NULL, NULL, NULL);
CREATE TABLE odd(id INTEGER, wide INTEGER);
INSERT INTO odd VALUES(1, 99999999999);
CREATE TABLE many AS WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 2500)
  SELECT n, 'row ' || n AS label FROM c;
)SQL";

// The system's registration of a driver, as odbcinst prints it ("[name]" then key=value lines).
QString driverSection(const QString& name) {
    QProcess odbcinst;
    odbcinst.start(QStringLiteral("odbcinst"),
                   {QStringLiteral("-q"), QStringLiteral("-d"), QStringLiteral("-n"), name});
    if (!odbcinst.waitForFinished(30000) || odbcinst.exitCode() != 0) {
        throw std::runtime_error("odbcinst does not know the driver " + name.toStdString());
    }
    QStringList lines;
    for (const QString& line : QString::fromUtf8(odbcinst.readAllStandardOutput()).split(u'\n')) {
        // Logging settings come from the test, below.
        if (!line.startsWith(QLatin1String("Debug="), Qt::CaseInsensitive) &&
            !line.startsWith(QLatin1String("CommLog="), Qt::CaseInsensitive) && !line.trimmed().isEmpty()) {
            lines.append(line);
        }
    }
    return lines.join(u'\n') + u'\n';
}

}  // namespace

const OdbcTestEnv& OdbcTestEnv::instance() {
    static const OdbcTestEnv env;
    return env;
}

OdbcTestEnv::OdbcTestEnv() {
    static QTemporaryDir dir;  // lives to the end of the process, removed then
    if (!dir.isValid()) {
        throw std::runtime_error("no temporary folder");
    }
    folder_ = dir.path();
    const QString database = folder_ + QStringLiteral("/fixture.db");
    QProcess sqlite;
    sqlite.start(QStringLiteral("sqlite3"), {database});
    sqlite.write(kFixture);
    sqlite.closeWriteChannel();
    if (!sqlite.waitForFinished(60000) || sqlite.exitCode() != 0) {
        throw std::runtime_error("sqlite3 could not build the fixture: " +
                                 sqlite.readAllStandardError().toStdString());
    }
    pgPort_ = qEnvironmentVariableIntValue("NORV_PG_PORT");
    QString ini = QStringLiteral("[NorvAdoSqlite]\nDriver=SQLite3\nDatabase=%1\n\n").arg(database);
    const QString pg = QStringLiteral(
        "[%1]\nDriver=PostgreSQL Unicode\nServername=127.0.0.1\nPort=%2\nDatabase=norv_test\n"
        "BoolsAsChar=0\n\n");
    if (pgPort_ > 0) {
        ini += pg.arg(QStringLiteral("NorvAdoPg")).arg(pgPort_);
    }
    ini += pg.arg(QStringLiteral("NorvAdoPgDown")).arg(unusedPort());
    QFile file(folder_ + QStringLiteral("/odbc.ini"));
    if (!file.open(QIODevice::WriteOnly) || file.write(ini.toUtf8()) < 0) {
        throw std::runtime_error("cannot write odbc.ini");
    }
    file.close();
    qputenv("ODBCINI", file.fileName().toLocal8Bit());

    // The drivers as the system registers them, but with the driver manager's trace and psqlODBC's
    // debug and communication logs on, all written into logs/, so that tests can look at every file
    // a connection leaves behind.
    const QString logs = folder_ + QStringLiteral("/logs");
    QDir().mkpath(logs);
    const QString odbcinst = QStringLiteral("[ODBC]\nTrace=Yes\nTraceFile=%1/trace.log\n\n").arg(logs) +
                             driverSection(QStringLiteral("SQLite3")) + u'\n' +
                             driverSection(QStringLiteral("PostgreSQL Unicode")) +
                             QStringLiteral("Debug=1\nCommLog=1\nLogdir=%1\n").arg(logs);
    QFile drivers(folder_ + QStringLiteral("/odbcinst.ini"));
    if (!drivers.open(QIODevice::WriteOnly) || drivers.write(odbcinst.toUtf8()) < 0) {
        throw std::runtime_error("cannot write odbcinst.ini");
    }
    drivers.close();
    qputenv("ODBCSYSINI", folder_.toLocal8Bit());
}

QString OdbcTestEnv::sqliteConnection() const {
    return QStringLiteral("Data Source=NorvAdoSqlite");
}

QString OdbcTestEnv::postgresConnection(const QString& password) const {
    return QStringLiteral("Data Source=NorvAdoPg;User ID=%1;Password=%2;Persist Security Info=True;")
        .arg(QLatin1String(kPgUser), password);
}

QString OdbcTestEnv::postgresDownConnection() const {
    return QStringLiteral(
               "Data Source=NorvAdoPgDown;User ID=%1;Password=norv-admin-pw;Persist Security Info=True;")
        .arg(QLatin1String(kPgUser));
}

}  // namespace adotest
