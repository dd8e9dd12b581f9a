#include "dataaccess/FormatRules.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(FormatRules, ColumnTextAndSimpleRules) {
    EXPECT_EQ(FormatRules::columnText(" \tA\r\nB\t ").toStdString(), "A  B");
    EXPECT_EQ(FormatRules::oneLine("A\tB\rC\nD").toStdString(), "A B C D");
    EXPECT_EQ(FormatRules::noZero("0").toStdString(), "");
    EXPECT_EQ(FormatRules::noZero("00").toStdString(), "00");
    EXPECT_EQ(FormatRules::noZero(FormatRules::columnText(" 0")).toStdString(), "");
    EXPECT_EQ(FormatRules::noNA("N/A").toStdString(), "");
    EXPECT_EQ(FormatRules::noNA("n/a").toStdString(), "n/a");
}

TEST(FormatRules, FlagsAndTruth) {
    struct Case {
        const char* text;
        const char* flag;
        bool isTrue;
    };
    const Case cases[] = {
        {"", "", false},    {"1", "1", true},  {"0", "0", false},   {"YES", "1", true},  {"y", "1", true},
        {"No", "0", false}, {"N", "0", false}, {"Nein", "", false}, {"true", "", false}, {"2", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatRules::flag(c.text).toStdString(), c.flag) << c.text;
        EXPECT_EQ(FormatRules::isTextTrue(c.text), c.isTrue) << c.text;
    }
}

TEST(FormatRules, ActivityKinds) {
    EXPECT_EQ(FormatRules::activityKind("ATHLETIC").toStdString(), "athletic");
    EXPECT_EQ(FormatRules::activityKind("Enrollment").toStdString(), "enrollment");
    EXPECT_EQ(FormatRules::activityKind("Band").toStdString(), "Band");
    EXPECT_EQ(FormatRules::activityKind("classes").toStdString(), "classes");
}

}  // namespace

TEST(FormatRules, DatesAsTheTokenFormatterWritesThem) {
    // Every day of some years around the ends of the calendar, leap days, and the null date, in the default
    // pattern (in any letter case) and in others.
    std::vector<XDate> dates{XDate(), XDate::FromDayNumber(-5)};
    for (int year : {1600, 1899, 1900, 2000, 2024, 9999}) {
        for (XDate d(year, 1, 1); !d.IsNull() && d.Year() == year;
             d = XDate::FromDayNumber(d.DayNumber() + 1)) {
            dates.push_back(d);
        }
    }
    for (const char* pattern : {"mm/dd/yyyy", "MM/DD/YYYY", "dd-mmm-yyyy", "yyyy/mm/dd"}) {
        for (const XDate& d : dates) {
            ASSERT_EQ(FormatRules::date(d, pattern).toStdString(), d.Format(pattern).toStdString())
                << pattern << " " << d.DayNumber();
        }
    }
}
