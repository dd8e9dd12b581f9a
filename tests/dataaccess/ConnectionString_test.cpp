#include "dataaccess/ConnectionString.h"

#include "libraries/ado/ConnectionString.h"

#include "libraries/support/XException.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

struct Case {
    int type;
    const char* dataSource;
    std::optional<XString> user;
    std::optional<XString> password;
    const char* expected;
};

const std::optional<XString> none;

TEST(ConnectionString, EveryTypeWithUserAndPassword) {
    const std::optional<XString> u = XString("usr");
    const std::optional<XString> p = XString("pw");
    const Case cases[] = {
        {1, "ignored", u, p,
         "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=MEMBER;Extended Properties=dBASE IV;"},
        {2, "/data/", u, p, "/data/"},
        {3, "D", u, p,
         "Persist Security Info=False;Data Source=D;Collating Sequence=machine;User ID=usr;Password=pw;"},
        {4, "D", u, p, "Provider=VFPOLEDB.1;Data Source=D;Collating Sequence=MACHINE"},
        {5, "SRV1", u, p,
         "Provider=MSDASQL;Persist Security Info=False;Data Source=SRV1;User ID=usr;Password=pw;"},
        {6, "D", u, p, "Data Source=D;User Id=usr;Password=pw;"},
        {7, "/x.db", u, p, "Database=/x.db"},
        {8, "D", u, p, "DB2OLEDB"},
        {9, "D", u, p, "Persist Security Info=False;Data Source=D;User ID=usr;Password=pw"},
        {10, "D", u, p, "DSN=D;UID=usr;PWD=pw"},
        {11, "D", u, p, "Data Source=D;User ID=usr;Password=pw;Persist Security Info=True;"},
        {12, "D", u, p,
         "Provider=OraOLEDB.Oracle;Data Source=D;User ID=usr;Password=pw;Persist Security Info=True;"},
        {13, "D", u, p, "Provider=MSDAORA;Data Source=D;User ID=usr;Password=pw;Persist Security Info=True;"},
        {14, "D", u, p, "Provider=Sybase ASE OLE DB Provider;Data source=D;User Id=usr;Password=pw;"},
        {15, "D", u, p, "DSN=D;UID=usr;PWD=pw;"},
        {16, "D", u, p, "DSN=D;UID=usr;PWD=pw"},
        {18, "D", u, p, "DSN=D;UID=usr;PWD=pw;ISOLATIONLEVEL=1;"},
        {19, "D", u, p, "DSN=D;UID=usr;PWD=pw"},
        {20, "D", u, p, "DSN=D;Uid=usr;Pwd=pw;"},
        {21, "D", u, p, "DSN=D;Uid=usr;Pwd=pw;"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConnectionString::build(c.type, "MEMBER", c.dataSource, c.user, c.password).toStdString(),
                  c.expected)
            << "type " << c.type;
    }
}

TEST(ConnectionString, AbsentAndEmptyCredentials) {
    const std::optional<XString> empty = XString();
    const std::optional<XString> u = XString("usr");
    const Case cases[] = {
        // Oracle: an absent user writes nothing, an empty one writes the key with an empty value.
        {11, "D", none, none, "Data Source=D;Persist Security Info=True;"},
        {11, "D", empty, none, "Data Source=D;User ID=;Persist Security Info=True;"},
        {3, "D", none, none, "Persist Security Info=False;Data Source=D;Collating Sequence=machine;"},
        {9, "D", none, none, "Persist Security Info=False;Data Source=D"},
        {10, "D", none, none, "DSN=D"},
        {15, "D", empty, empty, "DSN=D;UID=;PWD=;"},
        // Informix writes a user or password only when it is not empty.
        {18, "D", empty, empty, "DSN=D;ISOLATIONLEVEL=1;"},
        // Types that always write both parts.
        {6, "D", none, none, "Data Source=D;User Id=;Password=;"},
        {20, "D", none, none, "DSN=D;Uid=;Pwd=;"},
        // SQL Server: no user means a trusted connection; a user without password writes no password.
        {5, "SRV1", none, none,
         "Provider=MSDASQL;Persist Security Info=False;Data Source=SRV1;Trusted_Connection=yes;"},
        {5, "SRV1", empty, none,
         "Provider=MSDASQL;Persist Security Info=False;Data Source=SRV1;Trusted_Connection=yes;"},
        {5, "SRV1", u, empty, "Provider=MSDASQL;Persist Security Info=False;Data Source=SRV1;User ID=usr;"},
        // The database after the first ";" loses its blanks; an empty one writes no part.
        {5, "SRV1; db1 ", none, none,
         "Provider=MSDASQL;Persist Security Info=False;Data "
         "Source=SRV1;Database=db1;Trusted_Connection=yes;"},
        {5, "SRV1;  ", none, none,
         "Provider=MSDASQL;Persist Security Info=False;Data Source=SRV1;Trusted_Connection=yes;"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConnectionString::build(c.type, "MEMBER", c.dataSource, c.user, c.password).toStdString(),
                  c.expected)
            << "type " << c.type << " source " << c.dataSource;
    }
}

TEST(ConnectionString, UnknownTypesThrow) {
    const auto messageOf = [](int type) {
        try {
            ConnectionString::build(type, "M", "D", none, none);
        } catch (const XException& e) {
            return std::string(e.what());
        }
        return std::string("no exception");
    };
    EXPECT_EQ(messageOf(0), "Can't build connection string for unknown database type.");
    for (int type : {17, 22, -3}) {
        EXPECT_EQ(messageOf(type), "Database type not yet defined for BuildConnectionString, please define.");
    }
}

}  // namespace

// A DSN, user or password holding ";", a brace or a leading quote stays one value: it reaches the driver
// whole and adds no attribute (a second Database would open another, writable file).
TEST(ConnectionString, ValuesCannotAddAttributes) {
    struct Injection {
        XString dsn;
        XString user;
        XString password;
    };
    const Injection cases[] = {
        {"NorvSQLite;Database=/other.db", "u", "p"},
        {"NorvSQLite", "reader;Database=/other.db", "p"},
        {"NorvSQLite", "u", "pw;Database=/other.db"},
        {"N{x}}", "{u", "p}w"},
        {"'N';Database=/other.db", "u", " \"p\";Database=/other.db"},
    };
    for (const Injection& c : cases) {
        const XString text = ConnectionString::build(11, "M", c.dsn, c.user, c.password);
        const QString odbc = ado::ConnectionString::toOdbc(text.toQString());
        const auto login = ado::ConnectionString::dsnLogin(odbc);
        ASSERT_TRUE(login) << odbc.toStdString();
        EXPECT_EQ(login->dsn, c.dsn.toQString()) << odbc.toStdString();
        EXPECT_EQ(login->user, c.user.toQString()) << odbc.toStdString();
        EXPECT_EQ(login->password, c.password.toQString()) << odbc.toStdString();
    }
    EXPECT_EQ(ConnectionString::build(10, "M", "D;X=1", XString("u}"), XString("p")).toStdString(),
              "DSN={D;X=1};UID={u}}};PWD=p");
    // The SQL Server form keeps its "server; database" split, each part one value.
    EXPECT_EQ(ConnectionString::build(5, "M", "SRV; db;Driver=x", XString("u"), XString("p")).toStdString(),
              "Provider=MSDASQL;Persist Security Info=False;Data Source=SRV;Database={db;Driver=x};User "
              "ID=u;Password=p;");
}
