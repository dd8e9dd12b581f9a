// Sections, student schedules and marks against the real sample sources, compared with files computed here
// from the generator's data: term references, the day rotation repair, schedules of sections that were not
// written, and marks without any grade.
#include <gtest/gtest.h>

#include "engine_SourceFixture.h"

using namespace enginetest;

namespace {

using Row = SampleData::Row;

bool isYear(const Row& r) {
    return r.at("year").toInt() == SampleData::instance().schoolYear();
}

// A decimal as the driver's number reads: without trailing zeros ("1.00" is "1", "0.50" is "0.5").
QByteArray decimalText(const QJsonValue& value) {
    QByteArray text = columnText(value);
    if (text.contains('.')) {
        while (text.endsWith('0')) {
            text.chop(1);
        }
        if (text.endsWith('.')) {
            text.chop(1);
        }
    }
    return text;
}

std::set<QByteArray> rotationDays(const QString& school) {
    std::set<QByteArray> days;
    for (const Row& r : SampleData::instance().rows("V_VLMR_ATTENDANCE_CYCLES")) {
        if (str(r, "school") == school &&
            r.at("school_year").toInt() == SampleData::instance().schoolYear()) {
            days.insert(columnText(r.at("day")));
        }
    }
    return days;
}

std::vector<Row> yearSections(const QString& school) {
    std::vector<Row> rows;
    for (const Row& r : SampleData::instance().rows("V_VLMR_COURSE_SECT_MAINT")) {
        if (str(r, "school") == school && isYear(r)) {
            rows.push_back(r);
        }
    }
    return rows;
}

QList<QByteArray> expectedSections(const QString& school) {
    const std::set<QByteArray> days = rotationDays(school);
    QList<QByteArray> lines;
    for (const Row& r : yearSections(school)) {
        const bool termed = !valueText(r.at("semester")).isEmpty() && !valueText(r.at("term")).isEmpty();
        QByteArray day = columnText(r.at("day"));
        if (day == "0") {
            day.clear();
        } else if (days.count(day) == 0 && days.size() == 1) {
            day = *days.begin();
        }
        lines.append(joinLine(
            {valueText(r.at("id")), outputText(r.at("course_code")), outputText(r.at("title")),
             outputText(r.at("teacher_id")),
             termed ? dateText(r.at("start_date")) + " - " + dateText(r.at("stop_date")) : QByteArray(), day,
             outputText(r.at("period")), outputText(r.at("room_long_name")),
             decimalText(r.at("credit_value"))}));
    }
    return sortedLines(lines.join());
}

std::set<QByteArray> sectionKeys(const QString& school) {
    std::set<QByteArray> keys;
    for (const Row& r : yearSections(school)) {
        keys.insert(valueText(r.at("id")));
    }
    return keys;
}

QList<QByteArray> expectedSchedules(const Selection& selection) {
    const std::set<QByteArray> included = includedPupils(selection);
    const std::set<QByteArray> keys = sectionKeys(selection.school);
    QList<QByteArray> lines;
    for (const Row& r : SampleData::instance().rows("V_VLMR_STU_COURSE_SELECTION")) {
        if (included.count(columnText(r.at("pupil_number"))) == 0 ||
            keys.count(valueText(r.at("timetable_id"))) == 0) {
            continue;
        }
        for (int n = selectedRows(selection, r.at("pupil_number")); n > 0; --n) {
            lines.append(joinLine({outputText(r.at("pupil_number")), outputText(r.at("course_code")),
                                   valueText(r.at("timetable_id"))}));
        }
    }
    return sortedLines(lines.join());
}

QList<QByteArray> expectedMarks(const Selection& selection) {
    const std::set<QByteArray> included = includedPupils(selection);
    std::set<QByteArray> anySchoolYearSections;  // the marks' join does not ask for the school
    for (const Row& r : SampleData::instance().rows("V_VLMR_COURSE_SECT_MAINT")) {
        if (isYear(r)) {
            anySchoolYearSections.insert(valueText(r.at("id")));
        }
    }
    QList<QByteArray> lines;
    for (const Row& r : SampleData::instance().rows("V_VLMR_STUDENT_MARKS")) {
        if (!hasGrade(r) || included.count(columnText(r.at("pupil_number"))) == 0 ||
            anySchoolYearSections.count(valueText(r.at("timetable_id"))) == 0) {
            continue;
        }
        QList<QByteArray> fields{outputText(r.at("pupil_number")), valueText(r.at("timetable_id")),
                                 outputText(r.at("cours_id")), valueText(r.at("REPORT_ID"))};
        for (const char* grade : kMarkGradeColumns) {
            fields.append(outputText(r.at(grade)));
        }
        for (int n = selectedRows(selection, r.at("pupil_number")); n > 0; --n) {
            lines.append(joinLine(fields));
        }
    }
    return sortedLines(lines.join());
}

class Courses : public SampleSourceTest {};

TEST_P(Courses, SectionsSchedulesAndMarksOfTheSchoolYear) {
    for (const char* school : {"1021", "2040"}) {
        const Extraction& run = fullExtraction(source, school);
        ASSERT_TRUE(run.succeeded) << school;
        const Selection selection{school, QString()};
        EXPECT_EQ(sortedLines(run.file("Sections.cef")), expectedSections(school)) << school;
        EXPECT_EQ(sortedLines(run.file("StudentSched.cef")), expectedSchedules(selection)) << school;
        EXPECT_EQ(sortedLines(run.file("StudentGrades.cef")), expectedMarks(selection)) << school;
    }
}

TEST_P(Courses, SampleHoldsTheDroppedRows) {
    // Schedules of last year's sections and marks without any grade exist and are left out above.
    const Selection selection{"1021", QString()};
    const std::set<QByteArray> included = includedPupils(selection);
    const std::set<QByteArray> keys = sectionKeys("1021");
    const auto rows = SampleData::instance().rows("V_VLMR_STU_COURSE_SELECTION");
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](const Row& r) {
        return included.count(columnText(r.at("pupil_number"))) > 0 &&
               keys.count(valueText(r.at("timetable_id"))) == 0;
    }));
    const auto marks = SampleData::instance().rows("V_VLMR_STUDENT_MARKS");
    EXPECT_TRUE(std::any_of(marks.begin(), marks.end(), [&](const Row& r) {
        return included.count(columnText(r.at("pupil_number"))) > 0 &&
               keys.count(valueText(r.at("timetable_id"))) > 0 && !hasGrade(r);
    }));
}

TEST_P(Courses, SectionDayOutsideTheRotationIsRepairedOnlyWhenUnambiguous) {
    // Four rotation days: the day "5" stays, with an Error.
    const Extraction& several = fullExtraction(source, "1021");
    EXPECT_TRUE(several.logged(Error,
                               "Credit Recovery(RCV12) had an invalid day rotation, could not fix "
                               "because more than one rotation day is defined."));
    EXPECT_FALSE(several.logged(Warning, "fixed automatically"));
    // One rotation day "A": the day "1" becomes "A", with a Warning.
    const Extraction& single = fullExtraction(source, "2040");
    EXPECT_TRUE(
        single.logged(Warning, "Credit Recovery(RCV12) had an invalid day rotation, fixed automatically"));
    EXPECT_FALSE(single.logged(Error, "invalid day rotation"));
    bool repaired = false;
    for (const QByteArray& line : sortedLines(single.file("Sections.cef"))) {
        repaired = repaired || (line.contains("\tRCV12\t") && line.split('\t').value(5) == "A");
    }
    EXPECT_TRUE(repaired);
}

INSTANTIATE_TEST_SUITE_P(Sources, Courses, ::testing::Values(SourceKind::SQLite, SourceKind::PostgreSQL),
                         [](const ::testing::TestParamInfo<SourceKind>& info) {
                             return info.param == SourceKind::SQLite ? "SQLite" : "PostgreSQL";
                         });

}  // namespace
