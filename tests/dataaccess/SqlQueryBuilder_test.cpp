#include "dataaccess/SqlQueryBuilder.h"

#include "dataaccess/DbType.h"
#include "libraries/support/XException.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Line {
    int level;
    std::string text;
    std::string method;
};

class SqlQueryBuilderTest : public ::testing::Test {
  protected:
    std::string build(int dbType, bool distinct = false) {
        const auto report = [this](LogLevel level, const XString& text, const XString& method) {
            lines.push_back({static_cast<int>(level), text.toStdString(), method.toStdString()});
        };
        return SqlQueryBuilder::build(declaration, dbType, distinct, "/data/", report).toStdString();
    }

    QueryDeclaration declaration;
    std::vector<Line> lines;
};

TEST_F(SqlQueryBuilderTest, PlainQueryWithConditionAndOrder) {
    ODBCTable* a = declaration.addTable("V1", "V1", "A");
    declaration.addField(a, "C1");
    ODBCField* c2 = declaration.addField(a, "C2");
    ODBCField* c3 = declaration.addField(a, "C3");
    declaration.addCondition("", c3, "=", nullptr, "'X'", 0);
    declaration.addOrder(c2, false);
    EXPECT_EQ(build(DbType::OracleODBC), "SELECT A.C1, A.C2, A.C3 FROM V1 A  WHERE A.C3 = 'X' ORDER BY A.C2");
    // Every diagnostic line is Proprietary; the last one carries the whole query.
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text,
              "BuildQuery Finished:SELECT A.C1, A.C2, A.C3 FROM V1 A  WHERE A.C3 = 'X' ORDER BY A.C2");
    for (const Line& line : lines) {
        EXPECT_EQ(line.level, 9) << line.text;
    }
    // Pure: a second build gives the same text.
    EXPECT_EQ(build(DbType::OracleODBC), "SELECT A.C1, A.C2, A.C3 FROM V1 A  WHERE A.C3 = 'X' ORDER BY A.C2");
}

TEST_F(SqlQueryBuilderTest, TablesWithoutConditionsAndSqlServerLocking) {
    ODBCTable* a = declaration.addTable("V1", "V1", "A");
    ODBCTable* b = declaration.addTable("V2", "V2", "");  // alias defaults to the source: written once
    declaration.addField(a, "C1");
    declaration.addField(b, "C2");
    EXPECT_EQ(build(DbType::OracleODBC), "SELECT A.C1, V2.C2 FROM V1 A, V2 ");
    EXPECT_EQ(build(DbType::MSSQL), "SELECT A.C1, V2.C2 FROM V1 A WITH (NOLOCK) , V2 WITH (NOLOCK)  ");
    EXPECT_EQ(build(DbType::OracleODBC, true), "SELECT DISTINCT A.C1, V2.C2 FROM V1 A, V2 ");
}

TEST_F(SqlQueryBuilderTest, SqlServerJoinConditionKeepsThreeBlanksBeforeWhere) {
    ODBCTable* a = declaration.addTable("V1", "V1", "A");
    ODBCTable* b = declaration.addTable("V2", "V2", "B");
    ODBCField* ak = declaration.addField(a, "K");
    ODBCField* bk = declaration.addField(b, "K");
    declaration.addCondition("AND", ak, "=", bk, "", 0);  // a first conjunction other than "(" is not written
    EXPECT_EQ(build(DbType::MSSQL),
              "SELECT A.K, B.K FROM V1 A WITH (NOLOCK) , V2 B WITH (NOLOCK)   WHERE A.K = B.K");
}

TEST_F(SqlQueryBuilderTest, ExpressionFieldsAliasesAndOrders) {
    ODBCTable* t = declaration.addTable("V_T", "V_T", "T");
    ODBCField* last = declaration.addField(t, "last_name", "LN");
    ODBCField* order1 = declaration.addField(t, "last_name", "order1", "case", "when '' then 1 else 0 end");
    ODBCField* upper = declaration.addField(t, "first_name", "", "UPPER(");
    declaration.addOrder(order1, false);
    declaration.addOrder(last, true);
    declaration.addOrder(upper, true);
    EXPECT_EQ(build(DbType::OracleODBC),
              "SELECT T.last_name as LN, case T.last_name when '' then 1 else 0 end as order1, UPPER( "
              "T.first_name) "
              "FROM V_T T  ORDER BY order1, LN DESC, T.first_name DESC");
}

TEST_F(SqlQueryBuilderTest, ConditionLevelsOpenAndCloseBrackets) {
    ODBCTable* t = declaration.addTable("V", "V", "T");
    ODBCField* f = declaration.addField(t, "F");
    struct Case {
        std::vector<int> levels;
        const char* where;
    };
    const Case cases[] = {
        {{0, 1, 1, 0}, " WHERE T.F = 0 AND (T.F = 1 AND T.F = 2 AND T.F = 3)"},
        {{0, 1}, " WHERE T.F = 0 AND (T.F = 1)"},
        {{0, 3, 3}, " WHERE T.F = 0 AND (T.F = 1 AND T.F = 2)"},
        {{1, 1}, " WHERE (T.F = 0 AND T.F = 1)"},
    };
    for (const Case& c : cases) {
        declaration.removeLastConditions(100);
        int n = 0;
        for (int level : c.levels) {
            declaration.addCondition("AND", f, "=", nullptr, XString(n++), level);
        }
        EXPECT_EQ(build(DbType::OracleODBC), std::string("SELECT T.F FROM V T ") + c.where);
    }
}

TEST_F(SqlQueryBuilderTest, FirstConditionWithBracketConjunction) {
    ODBCTable* t = declaration.addTable("V", "V", "T");
    ODBCField* f = declaration.addField(t, "F");
    declaration.addCondition("(", f, ">", nullptr, "1", 0);
    declaration.addCondition("OR", f, "<", nullptr, "0)", 0);
    EXPECT_EQ(build(DbType::OracleODBC), "SELECT T.F FROM V T  WHERE ( T.F > 1 OR T.F < 0)");
}

TEST_F(SqlQueryBuilderTest, AccessWarnsAboutJoins) {
    ODBCTable* t = declaration.addTable("V", "V", "T");
    declaration.addField(t, "F");
    EXPECT_EQ(build(DbType::Access), "SELECT T.F FROM V T ");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().level, 4);
    EXPECT_EQ(lines.front().text, "Joins may not work for this DB Type: Access");
    EXPECT_EQ(lines.front().method, "ODBCDataAccess::BuildAnsiJoinQuery");
}

TEST_F(SqlQueryBuilderTest, XBaseGivesTheFilePathOfOneTable) {
    ODBCTable* t = declaration.addTable("STUDENTS", "STUDENTS", "S");
    declaration.addField(t, "F");
    EXPECT_EQ(build(DbType::DBaseXBase), "/data/STUDENTS.dbf");
    declaration.addTable("OTHER", "OTHER", "");
    try {
        build(DbType::DBaseXBase);
        FAIL() << "two XBase tables built";
    } catch (const XException& e) {
        EXPECT_STREQ(e.what(), "Cannot use more than 1 table in XBase query");
    }
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().level, 8);
}

TEST(QueryDeclaration, ClearRestartsOrdinals) {
    QueryDeclaration declaration;
    ODBCTable* t = declaration.addTable("V", "V", "");
    EXPECT_EQ(t->alias.toStdString(), "V");
    declaration.addField(t, "A");
    declaration.addField(t, "B");
    declaration.clear();
    t = declaration.addTable("V", "V", "");
    EXPECT_EQ(declaration.addField(t, "C")->ordinal, 0);
    EXPECT_EQ(declaration.addField(t, "D")->ordinal, 1);
    EXPECT_TRUE(declaration.conditions().empty());
}

}  // namespace
