#include "engine/NorvRules.h"

#include <gtest/gtest.h>

namespace {

using Type = NorvRules::AttendanceType;

TEST(NorvRules, SchoolYearTurnsOnFirstOfJuly) {
    EXPECT_EQ(NorvRules::schoolYearOf(XDate(2014, 6, 30)), "2013");
    EXPECT_EQ(NorvRules::schoolYearOf(XDate(2014, 7, 1)), "2014");
    EXPECT_EQ(NorvRules::schoolYearOf(XDate(2015, 1, 1)), "2014");
    EXPECT_EQ(NorvRules::schoolYearOf(XDate(2014, 12, 31)), "2014");
}

TEST(NorvRules, DefaultSchoolSpanTurnsOnFirstOfAugust) {
    EXPECT_EQ(NorvRules::defaultSchoolStart(XDate(2014, 7, 31)), XDate(2013, 8, 1));
    EXPECT_EQ(NorvRules::defaultSchoolEnd(XDate(2014, 7, 31)), XDate(2014, 7, 31));
    EXPECT_EQ(NorvRules::defaultSchoolStart(XDate(2014, 8, 1)), XDate(2014, 8, 1));
    EXPECT_EQ(NorvRules::defaultSchoolEnd(XDate(2014, 8, 1)), XDate(2015, 7, 31));
}

TEST(NorvRules, AttendanceTypeComparesExactly) {
    struct Case {
        const char* type;
        const char* alternate;
        Type expected;
    };
    const Case cases[] = {
        {"P", "", Type::Period},         {"P", "Y", Type::Period}, {"D", "Y", Type::PeriodAndDaily},
        {"", "Y", Type::PeriodAndDaily}, {"p", "y", Type::Daily},  {"p", "Y", Type::PeriodAndDaily},
        {"D", "N", Type::Daily},         {"", "", Type::Daily},    {"P ", "", Type::Daily},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NorvRules::attendanceTypeOf(c.type, c.alternate), c.expected)
            << "attendance_type '" << c.type << "', alternate '" << c.alternate << "'";
    }
}

TEST(NorvRules, TeacherLabelLeavesNoStraySeparators) {
    struct Case {
        const char* last;
        const char* first;
        const char* second;
        const char* label;
    };
    const Case cases[] = {
        {"Smith", "Anna", "Marie", "Smith, Anna Marie"},
        {"Smith", "Anna", "", "Smith, Anna"},
        {"Smith", "", "Marie", "Smith, Marie"},
        {"Smith", "", "", "Smith"},
        {"", "Anna", "", "Anna"},
        {"", "Anna", "Marie", "Anna Marie"},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NorvRules::teacherLabel(c.last, c.first, c.second), c.label);
    }
}

TEST(NorvRules, SchoolLabel) {
    EXPECT_EQ(NorvRules::schoolLabel("North High", "0042"), "North High (0042)");
}

TEST(NorvRules, StudentComputedValues) {
    EXPECT_EQ(NorvRules::studentLastName("Smith", "Jr."), "Smith Jr.");
    EXPECT_EQ(NorvRules::studentLastName("Smith", ""), "Smith");
    EXPECT_EQ(NorvRules::studentLastName("", "Jr."), " Jr.");

    EXPECT_EQ(NorvRules::studentStreetAddress("100", "Main St", "12"), "Apt: 12 100 Main St");
    EXPECT_EQ(NorvRules::studentStreetAddress("100", "Main St", ""), "100 Main St");
    EXPECT_EQ(NorvRules::studentStreetAddress(" 100 ", "Main St ", " 12 "), "Apt: 12 100 Main St");
    // The joining blank is written even when a part is missing.
    EXPECT_EQ(NorvRules::studentStreetAddress("", "Main St", ""), " Main St");
    EXPECT_EQ(NorvRules::studentStreetAddress("", "", ""), " ");

    EXPECT_EQ(NorvRules::mailingAddress("PO Box 7\r\nLakeside"), "PO Box 7\r Lakeside");
    EXPECT_EQ(NorvRules::mailingAddress("a\nb\nc"), "a b c");

    EXPECT_EQ(NorvRules::lockerCombination("", "", ""), "--");
    EXPECT_EQ(NorvRules::lockerCombination("12", "", "7"), "12--7");
    EXPECT_EQ(NorvRules::lockerCombination("12", "34", "56"), "12-34-56");
}

TEST(NorvRules, MedicalValues) {
    EXPECT_EQ(NorvRules::medicalAlert("Y", "Peanuts"), "***LIFE THREATENING*** - Peanuts");
    EXPECT_EQ(NorvRules::medicalAlert("y", "Peanuts"), "***LIFE THREATENING*** - Peanuts");
    EXPECT_EQ(NorvRules::medicalAlert("YES", "Peanuts"), "Peanuts");
    EXPECT_EQ(NorvRules::medicalAlert("N", ""), "");
    EXPECT_EQ(NorvRules::medicalAlert("Y", ""), "***LIFE THREATENING*** - ");

    EXPECT_EQ(NorvRules::physicalExam("Pass", "09/15/2013"), "Pass on 09/15/2013");
    EXPECT_EQ(NorvRules::physicalExam("Pass", ""), "Pass");
    EXPECT_EQ(NorvRules::physicalExam("", "09/15/2013"), "09/15/2013");
    EXPECT_EQ(NorvRules::physicalExam("", ""), "");
}

}  // namespace
