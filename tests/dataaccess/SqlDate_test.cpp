#include "dataaccess/SqlDate.h"

#include "libraries/support/XException.h"

#include <gtest/gtest.h>

namespace {

TEST(SqlDate, LiteralOfEveryType) {
    const XDate date(2024, 1, 31);
    struct Case {
        int type;
        const char* expected;
    };
    const Case cases[] = {
        {1, "#31-Jan-2024#"},
        {2, "01/31/2024"},
        {3, "{^2024/01/31}"},
        {4, "{^2024/01/31}"},
        {5, "'2024-01-31'"},
        {6, "'2024-01-31'"},
        {7, "'2024-01-31'"},
        {8, "'2024-01-31'"},
        {9, "#31-Jan-2024#"},
        {10, "'01/31/2024'"},
        {11, "TO_DATE( '20240131', 'YYYYMMDD' )"},
        {12, "TO_DATE( '20240131', 'YYYYMMDD' )"},
        {13, "TO_DATE( '20240131', 'YYYYMMDD' )"},
        {14, "'2024-01-31'"},
        {15, "'2024-01-31'"},
        {16, "'2024-01-31'"},
        {17, "'2024-01-31'"},
        {18, "TO_DATE(\"01/31/2024\",\"%m/%d/%Y\")"},
        {20, "'2024-01-31'"},
        {21, "'20240131'"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SqlDate::literal(date, c.type, "mm/dd/yyyy").toStdString(), c.expected)
            << "type " << c.type;
    }
}

TEST(SqlDate, NullDatesAndTopSpeedDayNumbers) {
    const XDate null;
    EXPECT_EQ(SqlDate::literal(null, 11, "").toStdString(), "");
    EXPECT_EQ(SqlDate::literal(null, 18, "").toStdString(), "");
    EXPECT_EQ(SqlDate::literal(null, 5, "").toStdString(), "''");
    EXPECT_EQ(SqlDate::literal(null, 10, "").toStdString(), "");
    EXPECT_EQ(SqlDate::literal(XDate(1801, 1, 1), 19, "").toStdString(), "4");
    EXPECT_EQ(SqlDate::literal(XDate(1800, 12, 28), 19, "").toStdString(), "0");
}

TEST(SqlDate, UnknownTypesThrow) {
    for (int type : {0, 22}) {
        try {
            SqlDate::literal(XDate(2024, 1, 1), type, "");
            FAIL() << "type " << type;
        } catch (const XException& e) {
            EXPECT_STREQ(e.what(), "DB Type not defined for XODBC::SQLDate yet, feel free to do so.");
        }
    }
}

}  // namespace
