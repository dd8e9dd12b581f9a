#include "libraries/sqlitewrapper/Database.h"

#include "libraries/sqlitewrapper/Query.h"
#include "libraries/sqlitewrapper/SqlError.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <string>

namespace {

class DatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        path = XString(temp.filePath(QStringLiteral("Attendance.db")));
    }

    QTemporaryDir temp;
    XString path;
};

TEST_F(DatabaseTest, CreatesAPlainFileAndCountsChangedRows) {
    sqlite::Database db;
    EXPECT_FALSE(db.IsOpen());
    db.Open(path);
    ASSERT_TRUE(db.IsOpen());
    EXPECT_EQ(db.Execute(XString("CREATE TABLE DAILY_ATT (stdkey TEXT, attdate DATETIME, newcode TEXT)")), 0);
    EXPECT_EQ(db.Execute("INSERT INTO DAILY_ATT VALUES ('%q', '%s', 'A'), ('2', '2024-01-05', 'T')", "O'Neil",
                         "2024-01-05"),
              2);
    EXPECT_EQ(db.Execute("UPDATE DAILY_ATT SET newcode='' WHERE stdkey='%q'", "nobody"), 0);
    EXPECT_EQ(db.Execute("UPDATE DAILY_ATT SET newcode='X' WHERE attdate >= '%s'", "2024-01-01"), 2);
    // A statement that changes nothing does not repeat the previous count.
    EXPECT_EQ(db.Execute(XString("SELECT * FROM DAILY_ATT")), 0);
    db.Close();
    EXPECT_FALSE(db.IsOpen());

    QFile file(path.toQString());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(16), QByteArray("SQLite format 3\0", 16));
}

TEST_F(DatabaseTest, OpeningInAMissingFolderRaisesTheOpenError) {
    sqlite::Database db;
    const XString missing = XString(temp.path()) + "/none/Attendance.db";
    try {
        db.Open(missing);
        FAIL() << "opened " << missing;
    } catch (const sqlite::SqlError& e) {
        EXPECT_EQ(e.code() & 0xFF, 14);
        EXPECT_EQ(std::string(e.what()), "Sql Error: unable to open database file (" + missing.toStdString() +
                                             ") (sqlite::Database::Open)");
    }
    EXPECT_FALSE(db.IsOpen());
}

// A folder beyond SQLite's own path limit (512 bytes) holds the database and its journal; a link at the
// folder's own name is refused.
TEST_F(DatabaseTest, OpenInReachesAFolderBeyondSQLitesPathLimitButNotThroughALink) {
    QString folder = temp.path();
    while (folder.size() < 700) {
        folder += "/" + QString(90, QLatin1Char('f'));
    }
    ASSERT_TRUE(QDir().mkpath(folder));
    sqlite::Database db;
    EXPECT_THROW(db.Open(XString(folder + "/Attendance.db")), sqlite::SqlError);
    db.OpenIn(folder + "/", "Attendance.db");
    EXPECT_EQ(db.Path(), folder + "/Attendance.db");
    db.Execute(XString("CREATE TABLE t (x)"));
    db.Execute(XString("BEGIN; INSERT INTO t VALUES (1)"));
    EXPECT_TRUE(QFile::exists(folder + "/Attendance.db-journal"));
    db.Execute(XString("COMMIT"));
    EXPECT_FALSE(QFile::exists(folder + "/Attendance.db-journal"));
    db.Close();
    QFile file(folder + "/Attendance.db");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(16), QByteArray("SQLite format 3\0", 16));

    const QString link = temp.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(folder, link));
    for (const QString& linked : {link, link + "/"}) {
        try {
            db.OpenIn(linked, "Attendance.db");
            FAIL() << "opened through " << linked.toStdString();
        } catch (const sqlite::SqlError& e) {
            EXPECT_EQ(e.code() & 0xFF, 14);
            EXPECT_EQ(e.Description(), (link + "/Attendance.db").toStdString());
            EXPECT_EQ(e.DbMessage(), std::strerror(ELOOP));
        }
        EXPECT_FALSE(db.IsOpen());
    }
}

TEST_F(DatabaseTest, RefusesToStoreAnEncryptedCacheInPlainText) {
    sqlite::Database db;
    try {
        db.Open(path, "secret");
        FAIL();
    } catch (const sqlite::SqlError& e) {
        EXPECT_EQ(e.Description(), "Unable to decrypt database.");
    }
    EXPECT_FALSE(db.IsOpen());
}

TEST_F(DatabaseTest, FailuresBecomeTheClassOfTheirResultCode) {
    sqlite::Database db;
    EXPECT_THROW(db.Execute(XString("SELECT 1")), sqlite::SqlError);
    db.Open(path);
    db.Execute(XString("CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT)"));
    try {
        db.Execute(XString("INSERT INTO t (id) VALUES ('abc')"));
        FAIL();
    } catch (const sqlite::DataTypeMismatchError& e) {
        EXPECT_EQ(e.Sql(), "INSERT INTO t (id) VALUES ('abc')");
        EXPECT_EQ(std::string(e.what()),
                  "Sql Error: datatype mismatch (datatype mismatch) (sqlite::Database::Execute)");
    }
    EXPECT_THROW(db.Execute(XString("SELEC nonsense")), sqlite::SqlError);

    struct Case {
        int code;
        const char* kind;
    };
    const Case cases[] = {{3, "perm"}, {4, "abort"},     {5, "busy"},  {261, "busy"}, {10, "io"},
                          {266, "io"}, {20, "mismatch"}, {1, "plain"}, {-1, "plain"}, {101, "plain"}};
    for (const Case& c : cases) {
        std::string kind;
        try {
            sqlite::Raise(c.code, nullptr, "where", "what");
        } catch (const sqlite::PermError&) {
            kind = "perm";
        } catch (const sqlite::AbortError&) {
            kind = "abort";
        } catch (const sqlite::BusyError&) {
            kind = "busy";
        } catch (const sqlite::IOError&) {
            kind = "io";
        } catch (const sqlite::DataTypeMismatchError&) {
            kind = "mismatch";
        } catch (const sqlite::SqlError& e) {
            kind = "plain";
            EXPECT_STREQ(e.what(), "Sql Error:  (what) (where)");
        }
        EXPECT_EQ(kind, c.kind) << c.code;
    }
}

}  // namespace
