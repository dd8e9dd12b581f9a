// The declaration, SQL and reporting behaviour of the layer that needs no open source. Reading from real
// sources through both drivers is tested in tests/integration/dataaccess_test.cpp.
#include "dataaccess/ODBCDataAccess.h"

#include "dataaccess/DbType.h"
#include "libraries/support/XException.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct LogLine {
    int level;
    std::string text;
    std::string method;
};

class ODBCDataAccessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QObject::connect(&layer, &AppTaskBase::writeLog,
                         [this](int level, const QString& text, const QString& method) {
                             log.push_back({level, text.toStdString(), method.toStdString()});
                         });
    }

    bool logged(int level, const std::string& text, const std::string& method = "") const {
        for (const LogLine& line : log) {
            if (line.level == level && line.text == text && line.method == method) {
                return true;
            }
        }
        return false;
    }

    template <typename F>
    std::string thrown(F&& f) {
        try {
            f();
        } catch (const XException& e) {
            return e.what();
        }
        return "no exception";
    }

    // Declared first: the layer logs from its destructor.
    std::vector<LogLine> log;
    ODBCDataAccess layer{0, DbType::OracleODBC};
};

TEST_F(ODBCDataAccessTest, DeclaresWithoutProbingWhenChecksAreOff) {
    // Not connected: any probe would fail, so these succeed only because option 0x02 is clear.
    ODBCTable* v1 = layer.AddTable("V1", "", false);
    ASSERT_NE(v1, nullptr);
    EXPECT_EQ(v1->alias.toStdString(), "V1");
    ODBCTable* v2 = layer.AddTable("V2", "B", true, "V2_SOURCE");
    EXPECT_EQ(v2->name.toStdString(), "V2");
    EXPECT_EQ(v2->source.toStdString(), "V2_SOURCE");
    layer.NewField(v1, "A", true);
    layer.ClearQuery();
    ODBCTable* t = layer.AddTable("V_T", "T");
    ODBCField* c1 = layer.NewField(t, "C1", true);
    ODBCField* c2 = layer.NewField(t, "C2", false);
    EXPECT_EQ(c1->ordinal, 0);
    EXPECT_EQ(c2->ordinal, 1);
    layer.AddExpressionField("case", c2, "when '' then 1 else 0 end", "order1");
    layer.AddCondition("", c1, "=", ODBCDataAccess::SqlLiteral("0042' OR '1'='1"));
    EXPECT_EQ(layer.AddOrder(nullptr), nullptr);
    EXPECT_TRUE(logged(4, "Field NULL in ODBC::AddOrder."));
    layer.AddOrder(c2, true);
    EXPECT_EQ(layer.BuildQuery().toStdString(),
              "SELECT T.C1, T.C2, case T.C2 when '' then 1 else 0 end as order1 FROM V_T T  WHERE T.C1 = "
              "'0042'' OR ''1''=''1' ORDER BY T.C2 DESC");
}

TEST_F(ODBCDataAccessTest, DeclarationErrorsAreReportedAndThrown) {
    ODBCTable* t = layer.AddTable("V", "T");
    ODBCField* f = layer.NewField(t, "F", true);

    EXPECT_EQ(thrown([&] { layer.AddCondition("AND", nullptr, "=", "1"); }),
              "Primary field NULL in XODBC::AddCondition.");
    EXPECT_TRUE(logged(2, "Primary field NULL in XODBC::AddCondition.", "ODBCDataAccess::AddCondition"));
    EXPECT_EQ(thrown([&] { layer.AddCondition("AND", f, "=", static_cast<ODBCField*>(nullptr)); }),
              "Second field with Fis NULL in XODBC::AddCondition.");

    EXPECT_EQ(layer.NewField(nullptr, "X", false), nullptr);
    EXPECT_TRUE(logged(8, "Table was NULL when searching for: X"));
    EXPECT_EQ(thrown([&] { layer.NewField(nullptr, "X", true); }), "Table was NULL when searching for: X");
    EXPECT_TRUE(logged(2, "Table was NULL when searching for: X"));

    // AddField without a table binds a column with no source field.
    EXPECT_EQ(layer.AddField(nullptr, "X", &DataAccessBase::FormatText, "OutX"), nullptr);
    ASSERT_EQ(layer.columnBindings().size(), 1u);
    EXPECT_EQ(layer.columnBindings()[0].field, nullptr);
}

TEST_F(ODBCDataAccessTest, AttendanceFilterNeedsAChangeDate) {
    ODBCTable* t = layer.AddTable("V_ATT", "A");
    ODBCField* created = layer.NewField(t, "D1", true);
    EXPECT_EQ(thrown([&] { layer.FilterAttendance(XDate(2024, 1, 1), XDate()); }),
              "FilterAttendance: There is no change date set! So cannot filter.");
    EXPECT_TRUE(logged(5, "FilterAttendance: There is no change date set! So cannot filter."));

    layer.SetAttendanceChangeFields(created, nullptr);
    layer.FilterAttendance(XDate(2024, 1, 1), XDate());
    EXPECT_EQ(layer.BuildQuery().toStdString(),
              "SELECT A.D1 FROM V_ATT A  WHERE A.D1 >= TO_DATE( '20240101', 'YYYYMMDD' )");

    // The change-date fields belong to the declaration: clearing it forgets them instead of keeping
    // pointers to deleted fields.
    layer.ClearQuery();
    EXPECT_EQ(thrown([&] { layer.FilterAttendance(XDate(2024, 1, 1), XDate()); }),
              "FilterAttendance: There is no change date set! So cannot filter.");
}

TEST_F(ODBCDataAccessTest, ConnectionStringAndDateOfTheLayersType) {
    EXPECT_EQ(layer.BuildConnectionString("NorvDSN", XString("reader"), XString("secret")).toStdString(),
              "Data Source=NorvDSN;User ID=reader;Password=secret;Persist Security Info=True;");
    EXPECT_TRUE(logged(8, "Build Connection String for: Oracle (ODBC)"));
    EXPECT_EQ(layer.SQLDate(XDate(2024, 1, 31)).toStdString(), "TO_DATE( '20240131', 'YYYYMMDD' )");
    EXPECT_EQ(layer.SQLDate(XDate(2024, 1, 31), DbType::MSSQL).toStdString(), "'2024-01-31'");

    layer.setDbType(DbType::Mimer);
    EXPECT_EQ(thrown([&] { layer.BuildConnectionString("D"); }),
              "Database type not yet defined for BuildConnectionString, please define.");
    EXPECT_TRUE(logged(8, "Database type not yet defined for BuildConnectionString, please define."));
    for (const LogLine& line : log) {
        EXPECT_EQ(line.text.find("secret"), std::string::npos) << line.text;
    }
}

TEST_F(ODBCDataAccessTest, NothingToReadWithoutAResult) {
    ODBCTable* t = layer.AddTable("V", "T");
    ODBCField* f = layer.NewField(t, "F", true);
    EXPECT_FALSE(layer.GetFirstRecord());
    EXPECT_FALSE(layer.GetNextRecord());
    EXPECT_EQ(layer.GetRecordCount(), 0);
    EXPECT_EQ(layer.GetFieldText(f).toStdString(), "");
    EXPECT_EQ(layer.FieldCount(), 0);
    EXPECT_FALSE(layer.IsConnected());

    // XBase is a declared type without an implementation: it neither connects nor runs anything.
    layer.setDbType(DbType::DBaseXBase);
    layer.Connect("ignored");
    EXPECT_TRUE(logged(7, "Connect - Could not connect need to define USE_XBASE"));
    EXPECT_EQ(layer.RunQuery("SELECT 1"), 0);
    EXPECT_FALSE(layer.GetFirstRecord());
    EXPECT_FALSE(layer.TableExists("V"));
    EXPECT_TRUE(logged(8, "Need to define USE_XBASE!!"));
}

TEST_F(ODBCDataAccessTest, FormattersWithoutASourceField) {
    using F = DataAccessBase::Formatter;
    struct Case {
        F formatter;
        const char* expected;
    };
    const Case cases[] = {
        {&DataAccessBase::FormatText, ""},          {&DataAccessBase::FormatTrimmed, ""},
        {&DataAccessBase::FormatUpper, ""},         {&DataAccessBase::FormatQuoted, ""},
        {&DataAccessBase::FormatNoZero, ""},        {&DataAccessBase::FormatNoNA, ""},
        {&DataAccessBase::FormatPhone, ""},         {&DataAccessBase::FormatOneLine, ""},
        {&DataAccessBase::FormatMoney, ""},         {&DataAccessBase::FormatDate, ""},
        {&DataAccessBase::FormatDateOfCurrent, ""}, {&DataAccessBase::FormatDateNoSentinelOfCurrent, ""},
        {&DataAccessBase::FormatTime, ""},          {&DataAccessBase::FormatDateTime, ""},
        {&DataAccessBase::FormatInt, ""},           {&DataAccessBase::FormatIntNoZero, ""},
        {&DataAccessBase::FormatYesNo, "No"},       {&DataAccessBase::FormatNoYes, "Yes"},
        {&DataAccessBase::FormatYesBlank, ""},      {&DataAccessBase::FormatOneZero, "0"},
        {&DataAccessBase::FormatFlag, ""},          {&DataAccessBase::FormatWhole, ""},
        {&DataAccessBase::FormatFloat, ""},         {&DataAccessBase::FormatActivityKind, ""},
        {&DataAccessBase::FormatGsPrefix, ""},
    };
    DataAccessBase& base = layer;
    for (const Case& c : cases) {
        EXPECT_EQ((base.*c.formatter)().toStdString(), c.expected);
    }
    EXPECT_FALSE(base.IsTrue());
    EXPECT_FALSE(base.IsTextTrue());
    EXPECT_EQ(base.RelationshipCategory("Step-Father").toStdString(), "Family");
}

}  // namespace
