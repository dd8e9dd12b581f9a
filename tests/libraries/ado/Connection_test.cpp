#include "libraries/ado/Connection.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "OdbcTestEnv.h"
#include "libraries/ado/ComError.h"
#include "libraries/ado/Recordset.h"

using namespace ado;
using adotest::OdbcTestEnv;

namespace {

// Everything an error hands to the layers above, in one text.
QString allText(const ComError& e) {
    QString text = e.source() + u'\n' + e.description() + u'\n' + QString::fromUtf8(e.what());
    for (const ErrorRecord& record : e.errors()) {
        text += u'\n' + record.description;
    }
    return text;
}

ComError openFails(Connection& connection, const QString& connectionString) {
    try {
        connection.open(connectionString);
    } catch (const ComError& e) {
        return e;
    }
    ADD_FAILURE() << "open succeeded";
    return ComError(0, {}, {});
}

TEST(ConnectionTest, OpensReadOnlyWithTimeoutsAndCloses) {
    const OdbcTestEnv& env = OdbcTestEnv::instance();
    Connection connection;
    EXPECT_EQ(connection.state(), Connection::adStateClosed);
    connection.setMode(Connection::adModeRead);
    connection.setConnectionTimeout(15);
    connection.setCommandTimeout(30);
    connection.open(env.sqliteConnection());
    EXPECT_EQ(connection.state(), Connection::adStateOpen);
    EXPECT_THROW(connection.open(env.sqliteConnection()), ComError);  // already open
    Recordset rs;
    rs.open(QStringLiteral("SELECT count(*) FROM many"), connection, Recordset::adOpenStatic);
    EXPECT_EQ(rs.field(0).value().i64(), 2500);
    rs.close();
    connection.close();
    EXPECT_EQ(connection.state(), Connection::adStateClosed);
    EXPECT_THROW(connection.close(), ComError);
    EXPECT_THROW(rs.open(QStringLiteral("SELECT 1"), connection), ComError);
    // Open again after a close.
    connection.open(env.sqliteConnection());
    EXPECT_TRUE(connection.isOpen());
}

TEST(ConnectionTest, FailuresCarryTheDriversDiagnostics) {
    const OdbcTestEnv& env = OdbcTestEnv::instance();
    struct Case {
        const char* what;
        QString connectionString;
        const char* sqlState;
        const char* text;
        bool needsServer;
    };
    const Case cases[] = {
        {"missing DSN", QStringLiteral("Data Source=NoSuchNorvDsn;User ID=u;Password=secret-pw-1"), "IM002",
         "Data source name not found", false},
        {"wrong password", env.postgresConnection(QStringLiteral("Wr0ng-Secret-pw")), "08001",
         "password authentication failed", true},
        {"server down", env.postgresDownConnection(), "08001", "Connection refused", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsServer && !env.hasPostgres()) {
            continue;  // the other cases still run without a server
        }
        Connection connection;
        const ComError e = openFails(connection, c.connectionString);
        EXPECT_EQ(e.hresult(), ComError::OdbcFailure);
        EXPECT_EQ(e.source(), QStringLiteral("unixODBC"));
        ASSERT_FALSE(e.errors().isEmpty());
        EXPECT_EQ(e.errors().first().sqlState, QLatin1String(c.sqlState));
        EXPECT_TRUE(e.description().contains(QLatin1String(c.text))) << e.what();
        EXPECT_EQ(connection.errors().size(), e.errors().size());
        EXPECT_EQ(connection.state(), Connection::adStateClosed);
    }
}

TEST(ConnectionTest, NeitherPasswordNorConnectionStringEverShows) {
    const OdbcTestEnv& env = OdbcTestEnv::instance();
    const QString password = QStringLiteral("Sekr3t-Pa55word");
    QList<QString> attempts = {
        QStringLiteral("Data Source=NoSuchNorvDsn;User ID=norv_admin;Password=") + password,
        QStringLiteral("Data Source=NorvAdoPgDown;User ID=norv_admin;Password=") + password,
        // The driver manager echoes the driver's file name: here it holds the password, which must
        // still be scrubbed from the message.
        QStringLiteral("Driver=/nonexistent/") + password + QStringLiteral(".so;PWD=") + password,
    };
    if (env.hasPostgres()) {
        attempts.append(env.postgresConnection(password));
    }
    for (const QString& attempt : attempts) {
        SCOPED_TRACE(attempt.toStdString());
        Connection connection;
        const ComError e = openFails(connection, attempt);
        EXPECT_FALSE(allText(e).contains(password)) << allText(e).toStdString();
        EXPECT_FALSE(allText(e).contains(QStringLiteral("Password="))) << allText(e).toStdString();
        for (const ErrorRecord& record : connection.errors()) {
            EXPECT_FALSE(record.description.contains(password));
        }
    }
    // The user and password given to Open itself are kept out just the same.
    Connection connection;
    try {
        connection.open(QStringLiteral("Data Source=NorvAdoPgDown"), QStringLiteral("norv_admin"), password);
        ADD_FAILURE() << "open succeeded";
    } catch (const ComError& e) {
        EXPECT_FALSE(allText(e).contains(password));
    }
}

TEST(ConnectionTest, NoLogFileReceivesThePassword) {
    const OdbcTestEnv& env = OdbcTestEnv::instance();
    if (!env.hasPostgres()) {
        FAIL() << "NORV_PG_PORT is not set: the test PostgreSQL server is missing";
    }
    // The driver manager traces every call and psqlODBC writes its debug log (which shows connection
    // strings unmasked): a DSN with user and password must reach neither as text.
    const QString password = QStringLiteral("Log-Scan-Secret-7");
    for (const QString& attempt : {env.postgresConnection(password), env.postgresDownConnection()}) {
        Connection connection;
        EXPECT_THROW(connection.open(attempt, {}, password), ComError);
    }
    Connection connection;
    connection.open(env.postgresConnection());  // the right password, through the same path
    connection.close();

    QDir logs(env.logsFolder());
    const QStringList files = logs.entryList(QDir::Files);
    EXPECT_FALSE(files.isEmpty()) << "no log was written: the check would prove nothing";
    for (const QString& name : files) {
        QFile file(logs.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        EXPECT_FALSE(content.contains(password.toUtf8())) << name.toStdString();
        EXPECT_FALSE(content.contains("norv-admin-pw")) << name.toStdString();
    }
}

TEST(ConnectionTest, OtherProvidersAreNotInstalled) {
    for (const char* text :
         {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mdb;Extended Properties=dBASE IV;",
          "Provider=OraOLEDB.Oracle;Data Source=ORCL;User ID=u;Password=p;"}) {
        Connection connection;
        const ComError e = openFails(connection, QLatin1String(text));
        EXPECT_EQ(e.hresult(), ComError::ProviderNotFound);
        EXPECT_EQ(e.source(), QStringLiteral("ADODB.Connection"));
        EXPECT_EQ(e.description(),
                  QStringLiteral("Provider cannot be found. It may not be properly installed."));
        EXPECT_FALSE(connection.isOpen());
    }
}

TEST(ConnectionTest, PostgresOpenAsTheDataAccessLayerBuildsIt) {
    const OdbcTestEnv& env = OdbcTestEnv::instance();
    if (!env.hasPostgres()) {
        FAIL() << "NORV_PG_PORT is not set: the test PostgreSQL server is missing";
    }
    Connection connection;
    connection.setMode(Connection::adModeRead);
    connection.open(env.postgresConnection());
    Recordset rs;
    rs.open(QStringLiteral("SELECT current_user"), connection, Recordset::adOpenStatic);
    EXPECT_EQ(rs.field(0).value().text(), QLatin1String(OdbcTestEnv::kPgUser));
    rs.close();

    // The command timeout reaches the driver: a query that outlasts it is cancelled.
    Connection slow;
    slow.setCommandTimeout(1);
    slow.open(env.postgresConnection());
    EXPECT_THROW(rs.open(QStringLiteral("SELECT pg_sleep(30)"), slow, Recordset::adOpenStatic), ComError);
    EXPECT_FALSE(slow.errors().isEmpty());
}

}  // namespace
