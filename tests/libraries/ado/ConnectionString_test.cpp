#include "libraries/ado/ConnectionString.h"

#include <gtest/gtest.h>

#include "libraries/ado/ComError.h"

using ado::ComError;
using ado::ConnectionString;

TEST(ConnectionStringTest, TranslatesAdoKeysToOdbc) {
    struct Case {
        const char* ado;
        const char* odbc;
    };
    const Case cases[] = {
        // As the data access layer builds them for the ODBC database types.
        {"Data Source=NORV;User ID=u;Password=p;Persist Security Info=True;", "DSN=NORV;UID=u;PWD=p"},
        {"Data Source=NORV;Persist Security Info=True;", "DSN=NORV"},
        {"Provider=MSDASQL;Persist Security Info=False;Data Source=SRV1;Database=db1;Trusted_Connection=yes;",
         "DSN=SRV1;DATABASE=db1;Trusted_Connection=yes"},
        {"DSN=d;UID=u;PWD=p", "DSN=d;UID=u;PWD=p"},
        {"DSN=d;Uid=u;Pwd=p;", "DSN=d;UID=u;PWD=p"},
        {"Data Source=d;User Id=u;Password=p;", "DSN=d;UID=u;PWD=p"},
        {"DSN=d;UID=u;ISOLATIONLEVEL=1;", "DSN=d;UID=u;ISOLATIONLEVEL=1"},
        {"Database=/tmp/x.db", "DATABASE=/tmp/x.db"},
        // Blanks around keys and values, empty pairs, and the key's letter case do not matter.
        {" data source = NORV ;; user id=u", "DSN=NORV;UID=u"},
        // Values that would end the pair early are braced for ODBC.
        {"DSN=d;PWD='a;b}c'", "DSN=d;PWD={a;b}}c}"},
        {"DSN=d;PWD={x;y}", "DSN=d;PWD={x;y}"},
        // An unclosed quote stays part of the value, braced, so it cannot swallow the pairs after it.
        {"Port=\"5;PWD=p", "Port={\"5};PWD=p"},
        {"Port='5;PWD=p", "Port={'5};PWD=p"},
        {"PWD={w}}", "PWD={{w}}}}}"},
        // A quoted value that looks braced is a value of its own.
        {"PWD='{x}'", "PWD={{x}}}"},
        {"Driver={SQLite3};Database=file:/tmp/x.db?mode=ro",
         "Driver={SQLite3};DATABASE=file:/tmp/x.db?mode=ro"},
        {"Provider=MSDASQL.1;DSN=d", "DSN=d"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConnectionString::toOdbc(QString::fromUtf8(c.ado)), QString::fromUtf8(c.odbc)) << c.ado;
    }
}

TEST(ConnectionStringTest, RefusesProvidersThisPlatformHasNot) {
    for (const char* text :
         {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x;", "Provider=VFPOLEDB.1;Data Source=x",
          "Provider=MSDAORA;Data Source=x;Password=secret;", "Provider=DB2OLEDB",
          "Provider=Sybase ASE OLE DB Provider;Data source=x;"}) {
        try {
            ConnectionString::toOdbc(QString::fromUtf8(text));
            ADD_FAILURE() << text;
        } catch (const ComError& e) {
            EXPECT_EQ(e.hresult(), ComError::ProviderNotFound) << text;
            EXPECT_FALSE(e.description().contains(QStringLiteral("secret")));
        }
    }
}

TEST(ConnectionStringTest, FindsThePasswordsToScrub) {
    EXPECT_EQ(ConnectionString::secrets(QStringLiteral("DSN=d;UID=u;PWD=p1;Password={p;2}")),
              (QStringList{QStringLiteral("p1"), QStringLiteral("p;2")}));
    EXPECT_TRUE(ConnectionString::secrets(QStringLiteral("DSN=d;Password=;")).isEmpty());
    // Found again in the translation, whatever stands before or after them (found by fuzzing).
    struct Case {
        const char* ado;
        const char* user;
        const char* password;
        QStringList secrets;
    };
    const Case cases[] = {
        {"X=\"a", "u", "<\"p", {"<\"p"}},
        {"PWD={w}}", "u", "", {"{w}}"}},
        {"PWD='{x}';X={y", "u", "", {"{x}"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConnectionString::secrets(ConnectionString::toOdbc(c.ado, c.user, c.password)), c.secrets)
            << c.ado;
        EXPECT_EQ(ConnectionString::secrets(c.ado), c.secrets.mid(c.password[0] == '\0' ? 0 : 1)) << c.ado;
    }
}

TEST(ConnectionStringTest, OpenArgumentsReplaceTheStringsLogin) {
    EXPECT_EQ(ConnectionString::toOdbc(QStringLiteral("DSN=d;UID=a;PWD=b;Port=5"), QStringLiteral("u"),
                                       QStringLiteral("p}q")),
              QStringLiteral("DSN=d;Port=5;UID={u};PWD={p}}q}"));
    EXPECT_EQ(ConnectionString::toOdbc(QStringLiteral("DSN=d;UID=a;PWD=b"), {}, QStringLiteral("p")),
              QStringLiteral("DSN=d;UID=a;PWD={p}"));
}

TEST(ConnectionStringTest, OnlyADsnWithItsLoginGoesThroughSqlConnect) {
    const auto login = ConnectionString::dsnLogin(QStringLiteral("DSN=d;UID={u};PWD={p;}}x}"));
    ASSERT_TRUE(login.has_value());
    EXPECT_EQ(login->dsn, QStringLiteral("d"));
    EXPECT_EQ(login->user, QStringLiteral("u"));
    EXPECT_EQ(login->password, QStringLiteral("p;}x"));
    EXPECT_TRUE(ConnectionString::dsnLogin(QStringLiteral("DSN=d")).has_value());
    for (const char* other : {"DSN=d;DATABASE=x", "DRIVER={SQLite3};DATABASE=/tmp/x.db", "UID=u;PWD=p",
                              "DSN=", "DSN=d;UID=a;UID=b", "DSN=d;Trusted_Connection=yes"}) {
        EXPECT_FALSE(ConnectionString::dsnLogin(QString::fromUtf8(other)).has_value()) << other;
    }
}
