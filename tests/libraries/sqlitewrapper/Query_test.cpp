#include "libraries/sqlitewrapper/Query.h"

#include "libraries/sqlitewrapper/SqlError.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <string>

namespace {

class QueryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        db.Open(XString(temp.filePath(QStringLiteral("Attendance.db"))));
        db.Execute(
            XString("CREATE TABLE PERIOD_ATT (stdkey TEXT, perkey TEXT, oldcode TEXT, newcode TEXT);"
                    "INSERT INTO PERIOD_ATT VALUES ('1', 'P1', NULL, 'A'), ('2', 'P2', 'T', '\xE9');"));
    }

    QTemporaryDir temp;
    sqlite::Database db;
};

TEST_F(QueryTest, StepsRowsAndFindsColumnsWithoutRegardToCase) {
    sqlite::Query query(db);
    query.Prepare("SELECT stdkey, OldCode, newcode FROM PERIOD_ATT WHERE stdkey >= '%q' ORDER BY stdkey",
                  "1");
    ASSERT_TRUE(query.Step());
    EXPECT_EQ(query.FindColumn("OLDCODE"), 1);
    EXPECT_EQ(query.StringColumn("stdkey"), "1");
    EXPECT_TRUE(query.ColumnIsNull("oldcode"));
    EXPECT_EQ(query.StringColumn("oldcode"), "");
    ASSERT_TRUE(query.Step());
    EXPECT_EQ(query.StringColumn("newcode"), "\xE9");  // bytes come back as stored
    EXPECT_EQ(query.IntColumn("stdkey"), 2);
    EXPECT_FALSE(query.Step());
    query.Finalize();
    EXPECT_FALSE(query.HasStatement());
    EXPECT_EQ(query.SqlText(),
              "SELECT stdkey, OldCode, newcode FROM PERIOD_ATT WHERE stdkey >= '1' ORDER BY stdkey");
}

TEST_F(QueryTest, ReportsMisuseWithTheWrappersOwnMessages) {
    sqlite::Query empty(db);
    try {
        empty.Step();
        FAIL();
    } catch (const sqlite::SqlError& e) {
        EXPECT_STREQ(e.what(), "Sql Error:  (No prepared statement) (sqlite::Query::Step)");
        EXPECT_EQ(e.code(), -1);
    }
    EXPECT_EQ(empty.SqlText(), "");

    sqlite::Query query(db, "SELECT stdkey FROM PERIOD_ATT");
    ASSERT_TRUE(query.Step());
    try {
        query.StringColumn("missing");
        FAIL();
    } catch (const sqlite::SqlError& e) {
        EXPECT_NE(std::string(e.what()).find("Request for non-existent column \"missing\""),
                  std::string::npos);
    }

    EXPECT_THROW(query.Prepare("   "), sqlite::SqlError);
    EXPECT_THROW(query.Prepare("SELECT nothing FROM nowhere"), sqlite::SqlError);
    EXPECT_THROW(query.Finalize(), sqlite::SqlError);

    sqlite::Database closed;
    EXPECT_THROW(sqlite::Query(closed, "SELECT 1"), sqlite::SqlError);
}

TEST_F(QueryTest, OpenStatementsDoNotLeakTheConnectionOnClose) {
    auto query = std::make_unique<sqlite::Query>(db, "SELECT stdkey FROM PERIOD_ATT");
    ASSERT_TRUE(query->Step());
    EXPECT_THROW(db.Close(), sqlite::BusyError);
    EXPECT_FALSE(db.IsOpen());
    query.reset();  // finalizing the last statement completes the close (the sanitizer build checks it)
}

}  // namespace
