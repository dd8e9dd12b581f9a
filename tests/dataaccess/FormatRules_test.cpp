#include "dataaccess/FormatRules.h"

#include <gtest/gtest.h>

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
