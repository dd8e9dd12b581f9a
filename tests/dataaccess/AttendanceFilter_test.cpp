#include "dataaccess/AttendanceFilter.h"

#include "dataaccess/SqlDate.h"
#include "dataaccess/SqlQueryBuilder.h"
#include "libraries/support/XException.h"

#include <gtest/gtest.h>

namespace {

class AttendanceFilterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ODBCTable* a = declaration.addTable("V_ATT", "V_ATT", "A");
        ODBCField* key = declaration.addField(a, "K");
        created = declaration.addField(a, "D1");
        modified = declaration.addField(a, "D2");
        declaration.addCondition("", key, "=", nullptr, "'1'", 0);
    }

    void apply(const XDate& from, const XDate& to) {
        filter.apply(declaration, from, to,
                     [](const XDate& date) { return SqlDate::literal(date, 11, "mm/dd/yyyy"); });
    }

    std::string whereClause() {
        const std::string query =
            SqlQueryBuilder::build(declaration, 11, false, "", [](LogLevel, const XString&, const XString&) {
            }).toStdString();
        return query.substr(query.find(" WHERE "));
    }

    QueryDeclaration declaration;
    AttendanceFilter filter;
    ODBCField* created = nullptr;
    ODBCField* modified = nullptr;
};

TEST_F(AttendanceFilterTest, BothChangeDatesGroupEachBound) {
    filter.setPrimaryField(created);
    filter.setSecondaryField(modified);
    apply(XDate(2024, 1, 1), XDate(2024, 1, 31));
    EXPECT_EQ(
        whereClause(),
        " WHERE A.K = '1' AND ( A.D2 >= TO_DATE( '20240101', 'YYYYMMDD' ) OR A.D1 >= TO_DATE( '20240101', "
        "'YYYYMMDD' )) AND ( A.D2 <= TO_DATE( '20240131', 'YYYYMMDD' ) OR A.D1 <= TO_DATE( '20240131', "
        "'YYYYMMDD' ))");
    EXPECT_EQ(filter.conditionCount(), 4);
}

TEST_F(AttendanceFilterTest, SecondCallReplacesTheFirstAndNullDatesAddNothing) {
    filter.setPrimaryField(created);
    apply(XDate(2024, 1, 1), XDate(2024, 1, 31));
    apply(XDate(2024, 2, 1), XDate());
    EXPECT_EQ(whereClause(), " WHERE A.K = '1' AND A.D1 >= TO_DATE( '20240201', 'YYYYMMDD' )");
    apply(XDate(), XDate::FromDayNumber(0));
    EXPECT_EQ(whereClause(), " WHERE A.K = '1'");
    EXPECT_EQ(filter.conditionCount(), 0);
}

TEST_F(AttendanceFilterTest, SecondaryFieldAlone) {
    filter.setSecondaryField(modified);
    apply(XDate(2024, 1, 1), XDate(2024, 1, 31));
    EXPECT_EQ(
        whereClause(),
        " WHERE A.K = '1' AND A.D2 >= TO_DATE( '20240101', 'YYYYMMDD' ) AND A.D2 <= TO_DATE( '20240131', "
        "'YYYYMMDD' )");
}

TEST_F(AttendanceFilterTest, ResetForgetsFieldsButKeepsConditions) {
    filter.setPrimaryField(created);
    apply(XDate(2024, 1, 1), XDate());
    filter.reset();
    EXPECT_EQ(declaration.conditions().size(), 2u);
    try {
        apply(XDate(2024, 1, 1), XDate());
        FAIL() << "filtered without change date";
    } catch (const XException& e) {
        EXPECT_STREQ(e.what(), "FilterAttendance: There is no change date set! So cannot filter.");
    }
    EXPECT_EQ(declaration.conditions().size(), 2u);
}

TEST_F(AttendanceFilterTest, TheAbsencesOfASecondSpanAreReadByTheSameQuery) {
    ODBCField* absent = declaration.addField(declaration.tables().front().get(), "D0");
    filter.setPrimaryField(created);
    filter.setSecondaryField(modified);
    filter.setAbsenceField(absent);
    const auto literal = [](const XDate& date) { return SqlDate::literal(date, 11, "mm/dd/yyyy"); };
    filter.applyWithAbsences(declaration, XDate(2024, 1, 30), XDate(2024, 1, 31), XDate(2024, 1, 17),
                             XDate(2024, 1, 31), literal);
    EXPECT_EQ(whereClause(),
              " WHERE A.K = '1' AND ((( A.D2 >= TO_DATE( '20240130', 'YYYYMMDD' ) OR A.D1 >= TO_DATE( "
              "'20240130', 'YYYYMMDD' )) AND ( A.D2 <= TO_DATE( '20240131', 'YYYYMMDD' ) OR A.D1 <= TO_DATE( "
              "'20240131', 'YYYYMMDD' ))) OR ( A.D0 >= TO_DATE( '20240117', 'YYYYMMDD' ) AND A.D0 < TO_DATE( "
              "'20240201', 'YYYYMMDD' )))");
    // Replaced by the next call like any filter; one change date alone.
    filter.setSecondaryField(nullptr);
    filter.applyWithAbsences(declaration, XDate(2024, 1, 30), XDate(), XDate(2024, 1, 17), XDate(2024, 1, 31),
                             literal);
    EXPECT_EQ(whereClause(),
              " WHERE A.K = '1' AND (( A.D1 >= TO_DATE( '20240130', 'YYYYMMDD' )) OR ( A.D0 >= TO_DATE( "
              "'20240117', 'YYYYMMDD' ) AND A.D0 < TO_DATE( '20240201', 'YYYYMMDD' )))");
    EXPECT_EQ(filter.conditionCount(), 3);
    filter.setAbsenceField(nullptr);
    EXPECT_THROW(filter.applyWithAbsences(declaration, XDate(2024, 1, 30), XDate(), XDate(2024, 1, 17),
                                          XDate(2024, 1, 31), literal),
                 XException);
}

}  // namespace
