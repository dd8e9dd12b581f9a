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

TEST(NorvRules, SchoolSpanTakesOnlyDatesOfTheSchoolYear) {
    using Sections = std::vector<std::pair<XDate, XDate>>;
    const XDate september(2014, 9, 2);
    const XDate june(2015, 6, 26);
    const struct {
        const char* name;
        Sections sections;
        XDate start;
        XDate end;
        int ignored;
    } cases[] = {
        {"no sections: 1 August to 31 July", {}, XDate(2014, 8, 1), XDate(2015, 7, 31), 0},
        {"sections without dates", {{XDate(), XDate()}}, XDate(2014, 8, 1), XDate(2015, 7, 31), 0},
        {"one section opened in November, whatever the order",
         {{XDate(2014, 11, 3), june}, {september, june}},
         september,
         june,
         0},
        {"the latest end", {{september, XDate(2015, 1, 30)}, {september, june}}, september, june, 0},
        {"July and August count",
         {{XDate(2014, 7, 1), XDate(2015, 8, 31)}},
         XDate(2014, 7, 1),
         XDate(2015, 8, 31),
         0},
        {"a section of 1900",
         {{XDate(1900, 1, 1), XDate(1900, 6, 30)}, {september, june}},
         september,
         june,
         2},
        {"last year's start", {{XDate(2013, 9, 3), june}}, XDate(2014, 8, 1), june, 1},
        {"an end years away", {{september, XDate(2099, 12, 31)}}, september, XDate(2015, 7, 31), 1},
        {"an end before the start",
         {{XDate(2015, 6, 1), XDate(2014, 9, 1)}},
         XDate(2014, 8, 1),
         XDate(2015, 7, 31),
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const NorvRules::SchoolSpan span = NorvRules::schoolSpan(2014, c.sections);
        EXPECT_EQ(span.start, c.start);
        EXPECT_EQ(span.end, c.end);
        EXPECT_EQ(span.ignoredDates, c.ignored);
    }
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

TEST(NorvRules, ReasonCodeFlagsComparePrefixAndSuffixExactly) {
    struct Case {
        const char* subAllocation;
        const char* absent;
        const char* tardy;
        const char* excused;
    };
    const Case cases[] = {
        {"Absent - Excused", "1", "0", "Y"}, {"Late", "0", "1", "N"},
        {"absent", "0", "0", "N"},           {"", "0", "0", "N"},
        {"Late - Excused", "0", "1", "Y"},   {"Absent - excused", "1", "0", "N"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NorvRules::absentFlag(c.subAllocation), c.absent) << c.subAllocation;
        EXPECT_EQ(NorvRules::tardyFlag(c.subAllocation), c.tardy) << c.subAllocation;
        EXPECT_EQ(NorvRules::excusedFlag(c.subAllocation), c.excused) << c.subAllocation;
    }
}

TEST(NorvRules, TermNameTakesTheFirstRuleThatApplies) {
    struct Case {
        const char* semester;
        const char* term;
        const char* name;
    };
    const Case cases[] = {
        {"0", "0", "All Year"},     {"0", "", "All Year"}, {"1", "0", "Semester 1"},
        {"2", "3", "Sem 2 Term 3"}, {"1", "", ""},         {"", "2", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NorvRules::termName(c.semester, c.term), c.name) << c.semester << "/" << c.term;
    }
    EXPECT_EQ(NorvRules::termKey(XDate(2013, 9, 3), XDate(2014, 6, 27)), "09/03/2013 - 06/27/2014");
}

TEST(NorvRules, SectionDayIsRepairedOnlyWhenUnambiguous) {
    LookupSet two;
    two.insert("1");
    two.insert("2");
    LookupSet one;
    one.insert("A");
    const LookupSet none;
    using Day = NorvRules::SectionDay;
    struct Case {
        const char* day;
        const LookupSet* set;
        const char* value;
        Day::Outcome outcome;
    };
    const Case cases[] = {
        {"0", &two, "", Day::Kept},   {"2", &two, "2", Day::Kept}, {"3", &two, "3", Day::Unfixable},
        {"3", &one, "A", Day::Fixed}, {"0", &one, "", Day::Kept},  {"1", &none, "1", Day::Unfixable},
        {"a", &one, "A", Day::Fixed},
    };
    for (const Case& c : cases) {
        const Day result = NorvRules::sectionDay(c.day, *c.set);
        EXPECT_EQ(result.value, c.value) << c.day;
        EXPECT_EQ(result.outcome, c.outcome) << c.day;
    }
}

TEST(NorvRules, ContactAndStaffTextsKeepTheirBlanks) {
    EXPECT_EQ(NorvRules::contactKey("Ann", "Lee"), "Ann Lee");
    EXPECT_EQ(NorvRules::contactKey("", "Lee"), " Lee");
    EXPECT_EQ(NorvRules::workPhone("555-1234", "12"), "555-1234 x12");
    EXPECT_EQ(NorvRules::workPhone("555-1234", ""), "555-1234");
    EXPECT_EQ(NorvRules::workPhone("", "12"), "12");
    EXPECT_EQ(NorvRules::vehicleDescription("2005", "Blue", "Honda", "Civic"), "2005 Blue Honda Civic");
    EXPECT_EQ(NorvRules::vehicleDescription("2005", "", "Honda", "Civic"), "2005  Honda Civic");
    EXPECT_EQ(NorvRules::bellKey(""), "DEFAULT");
    EXPECT_EQ(NorvRules::bellKey("09"), "09");
}

}  // namespace
