// The school structure tables against the real sample sources: the code tables (and their second run into
// the same folder), the bell schedule, calendar and tumble, and the reporting and grading periods, for a
// school with bell schedules per grade and one with a single default bell. Expected files are computed here
// from the generator's data.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <map>
#include <set>

#include "engine_SourceFixture.h"

using namespace enginetest;

namespace {

using Row = SampleData::Row;

std::vector<Row> rowsOf(const char* view, const char* schoolColumn, const QString& school) {
    std::vector<Row> rows;
    for (const Row& r : SampleData::instance().rows(view)) {
        if (str(r, schoolColumn) == school) {
            rows.push_back(r);
        }
    }
    return rows;
}

bool isYear(const Row& r, const char* column) {
    return r.at(column).toInt() == SampleData::instance().schoolYear();
}

QList<QByteArray> expectedReasonCodes(const QString& school) {
    std::set<QByteArray> lines;  // SELECT DISTINCT
    for (const Row& r : rowsOf("V_VLMR_ATTENDANCE_CODE", "SCHOOL", school)) {
        const QByteArray sub = columnText(r.at("SUB_ALLOCATION_CODE"));
        lines.insert(joinLine({outputText(r.at("ATTENDANCE_CODE")), outputText(r.at("ATTENDANCE_DESC")),
                               sub.startsWith("Absent") ? "1" : "0", sub.startsWith("Late") ? "1" : "0",
                               sub.endsWith("Excused") ? "Y" : "N"}));
    }
    return sortedLines(QList<QByteArray>(lines.begin(), lines.end()).join());
}

// The school's bell keys in byte order; empty when it has one default bell.
QList<QByteArray> bellKeys(const QString& school) {
    std::set<QByteArray> keys;
    for (const Row& r : rowsOf("V_VLMR_PERIOD_STAR_TEND", "school", school)) {
        if (!columnText(r.at("grade")).isEmpty()) {
            keys.insert(columnText(r.at("grade")));
        }
    }
    return QList<QByteArray>(keys.begin(), keys.end());
}

QList<QByteArray> expectedBells(const QString& school) {
    QList<QByteArray> lines;
    for (const Row& r : rowsOf("V_VLMR_PERIOD_STAR_TEND", "school", school)) {
        const QByteArray grade = columnText(r.at("grade"));
        lines.append(joinLine({grade.isEmpty() ? QByteArray("DEFAULT") : grade,
                               outputText(r.at("grade_desc")), outputText(r.at("period")),
                               outputText(r.at("start_time")), outputText(r.at("end_time"))}));
    }
    return sortedLines(lines.join());
}

QList<QByteArray> expectedCalendar(const QString& school) {
    QList<QByteArray> keys = bellKeys(school);
    const bool perGrade = !keys.isEmpty();
    if (!perGrade) {
        keys.append(QByteArray());
    }
    QList<QByteArray> lines;
    for (const QByteArray& key : keys) {
        for (const Row& r : rowsOf("V_VLMR_ATTENDANCE_CYCLES", "school", school)) {
            if (isYear(r, "school_year")) {
                lines.append(joinLine({key, dateText(r.at("effective_date")), outputText(r.at("day")),
                                       outputText(r.at("cycle")), perGrade ? key : QByteArray("DEFAULT")}));
            }
        }
    }
    return sortedLines(lines.join());
}

QList<QByteArray> expectedTumble(const QString& school) {
    QList<QByteArray> lines;
    for (const Row& r : rowsOf("V_VLMR_CURRENT_YEAR_CALENDAR", "school", school)) {
        if (!isYear(r, "year")) {
            continue;
        }
        for (int i = 1; i <= 20; ++i) {
            const QByteArray day = "D" + QByteArray::number(i);
            const QByteArray value = outputText(r.at(QString::fromLatin1(day)));
            if (!value.isEmpty()) {
                lines.append(joinLine({QByteArray::number(i), day, value, outputText(r.at("period"))}));
            }
        }
    }
    return sortedLines(lines.join());
}

// The terms of the school year's sections, by key; the first section of a key names it.
QByteArray expectedTerms(const QString& school) {
    std::map<QByteArray, QList<QByteArray>> terms;
    for (const Row& r : rowsOf("V_VLMR_COURSE_SECT_MAINT", "school", school)) {
        const QByteArray semester = valueText(r.at("semester"));
        const QByteArray term = valueText(r.at("term"));
        if (!isYear(r, "year") || semester.isEmpty() || term.isEmpty()) {
            continue;
        }
        const QByteArray start = dateText(r.at("start_date"));
        const QByteArray stop = dateText(r.at("stop_date"));
        const QByteArray name = semester == "0" ? QByteArray("All Year")
                                : term == "0"   ? "Semester " + semester
                                                : "Sem " + semester + " Term " + term;
        terms.emplace(start + " - " + stop, QList<QByteArray>{start + " - " + stop, name, start, stop});
    }
    QList<QByteArray> keys = bellKeys(school);
    const bool perGrade = !keys.isEmpty();
    if (!perGrade) {
        keys.append(QByteArray());
    }
    QByteArray file;
    for (const QByteArray& key : keys) {
        for (const auto& [termKey, fields] : terms) {
            file += joinLine(perGrade ? fields + QList<QByteArray>{key} : fields);
        }
    }
    return file;
}

// The school's reporting periods that a written mark (an included student's, with a grade) refers to.
QList<QByteArray> expectedBins(const QString& school) {
    const Selection selection{school, QString()};
    const std::set<QByteArray> included = includedPupils(selection);
    std::set<QByteArray> yearSections;
    for (const Row& r : SampleData::instance().rows("V_VLMR_COURSE_SECT_MAINT")) {
        if (isYear(r, "year")) {
            yearSections.insert(valueText(r.at("id")));
        }
    }
    std::set<QByteArray> used;
    for (const Row& r : SampleData::instance().rows("V_VLMR_STUDENT_MARKS")) {
        if (hasGrade(r) && included.count(columnText(r.at("pupil_number"))) > 0 &&
            yearSections.count(valueText(r.at("timetable_id"))) > 0 &&
            selectedRows(selection, r.at("pupil_number")) > 0) {
            used.insert(valueText(r.at("REPORT_ID")));
        }
    }
    QList<QByteArray> lines;
    for (const Row& r : rowsOf("V_VLMR_REPORTING_PERIOD", "school", school)) {
        if (used.count(valueText(r.at("id"))) > 0) {
            lines.append(
                joinLine({valueText(r.at("id")), outputText(r.at("long_name")),
                          dateText(r.at("marking_start_date")), dateText(r.at("marking_end_date"))}));
        }
    }
    return sortedLines(lines.join());
}

class SchoolStructure : public SampleSourceTest {
  protected:
    const Extraction& extract(const QString& school) {
        const Extraction& extraction = fullExtraction(source, school);
        EXPECT_TRUE(extraction.succeeded);
        return extraction;
    }
};

TEST_P(SchoolStructure, PerGradeBellSchedulesGiveOneCalendarPerGrade) {
    const Extraction& run = extract("1021");
    const QList<QByteArray> keys = bellKeys("1021");
    ASSERT_EQ(keys, (QList<QByteArray>{"09", "10", "11", "12"}));
    EXPECT_EQ(sortedLines(run.file("BellSchedule.cef")), expectedBells("1021"));
    EXPECT_EQ(sortedLines(run.file("Calendar.cef")), expectedCalendar("1021"));
    EXPECT_EQ(sortedLines(run.file("Tumbles.cef")), expectedTumble("1021"));
    // Every term once per calendar, in key order.
    const QByteArray terms = expectedTerms("1021");
    ASSERT_TRUE(terms.contains("\tAll Year\t") && terms.contains("\tSemester 2\t") &&
                terms.contains("\tSem 1 Term 1\t"));
    EXPECT_EQ(run.file("Terms.cef"), terms);

    const QByteArray main = run.file("Norv.CDE");
    EXPECT_TRUE(
        main.contains("// School Calendar\r\nCalKey\tCalDate\tCalDateDayRef\tCalDateTumRef\r\n#include"));
    EXPECT_TRUE(main.contains("TermStartDate\tTermEndDate\tTermCallRef\r\n"));
    EXPECT_TRUE(main.contains("StdFirstLanguage\tStdCalRef\r\n"));
}

TEST_P(SchoolStructure, BlankBellKeyGivesOneDefaultCalendar) {
    const Extraction& run = extract("875");
    ASSERT_TRUE(bellKeys("875").isEmpty());
    const QList<QByteArray> bells = sortedLines(run.file("BellSchedule.cef"));
    EXPECT_EQ(bells, expectedBells("875"));
    ASSERT_FALSE(bells.isEmpty());
    EXPECT_TRUE(bells.first().startsWith("DEFAULT\t"));
    const QList<QByteArray> calendar = sortedLines(run.file("Calendar.cef"));
    EXPECT_EQ(calendar, expectedCalendar("875"));
    EXPECT_TRUE(calendar.first().startsWith("\t"));
    EXPECT_EQ(run.file("Terms.cef"), expectedTerms("875"));

    const QByteArray main = run.file("Norv.CDE");
    EXPECT_TRUE(main.contains("CalDateTumRef\tCalDateBellRef\r\n"));
    EXPECT_TRUE(main.contains("TermStartDate\tTermEndDate\r\n"));
    EXPECT_FALSE(main.contains("StdCalRef"));
}

TEST_P(SchoolStructure, TumbleWritesOnlyFilledDayColumns) {
    const Extraction& run = extract("1021");
    const QList<QByteArray> lines = sortedLines(run.file("Tumbles.cef"));
    EXPECT_EQ(lines, expectedTumble("1021"));
    // The assembly slot of period 9 runs on days 1 and 3; its empty D2 writes nothing.
    EXPECT_TRUE(lines.contains("1\tD1\t1\t9"));
    EXPECT_TRUE(lines.contains("3\tD3\t4\t9"));
    EXPECT_FALSE(lines.contains("2\tD2\t\t9"));
}

TEST_P(SchoolStructure, GradingPeriodsAreThoseWrittenMarksUse) {
    for (const char* school : {"1021", "875"}) {
        const Extraction& run = extract(school);
        const QList<QByteArray> bins = expectedBins(school);
        ASSERT_FALSE(bins.isEmpty());
        EXPECT_EQ(sortedLines(run.file("Bins.cef")), bins) << school;
        // The summer school period has no mark.
        EXPECT_FALSE(run.file("Bins.cef").contains("Summer School")) << school;
    }
}

TEST_P(SchoolStructure, CodeFilesAreWrittenOnceIntoAFolder) {
    QTemporaryDir folder;
    EngineHarness first;
    ASSERT_TRUE(first.run(source, folder.path(), "875", BridgeTaskBase::FullExtract));
    const QByteArray reasons = readFile(folder.path() + "/ReasonCodes.cef");
    const QByteArray codes = readFile(folder.path() + "/AttCodes.cef");
    const QList<QByteArray> expected = expectedReasonCodes("875");
    // The duplicated "A" row is written once; "absent" in lower case is no absence.
    ASSERT_TRUE(
        expected.contains("A\tAbsence non motiv\xE9"
                          "e\t1\t0\tN"));
    ASSERT_TRUE(expected.contains("SUS\tSuspension\t0\t0\tN"));
    EXPECT_EQ(sortedLines(reasons), expected);
    EXPECT_EQ(codes, QByteArray("A\tAbsent\t1\t0\tN\r\nL\tTardy\t0\t1\tN\r\n"));

    // A second run, of another school even, leaves both files as they are and still lists them.
    EngineHarness second;
    ASSERT_TRUE(second.run(source, folder.path(), "1021", BridgeTaskBase::FullExtract));
    EXPECT_EQ(readFile(folder.path() + "/ReasonCodes.cef"), reasons);
    EXPECT_EQ(readFile(folder.path() + "/AttCodes.cef"), codes);
    EXPECT_TRUE(second.logged(Informational, "Reason Codes File exists, so will not overwrite."));
    EXPECT_TRUE(second.logged(Informational, "Attendance Codes File exists, so will not overwrite."));
    const QByteArray main = readFile(folder.path() + "/Norv.CDE");
    for (const char* table : {"Reason Codes", "Attendance Codes"}) {
        EXPECT_TRUE(
            main.contains(QByteArray("// ") + table +
                          "\r\nAttCodeKey\tAttCodeName\tAttCodeAbs\tAttCodeTardy\tAttCodeExcused\r\n"))
            << table;
    }
    EXPECT_FALSE(first.logged(Informational, "File exists"));
}

INSTANTIATE_TEST_SUITE_P(Sources, SchoolStructure,
                         ::testing::Values(SourceKind::SQLite, SourceKind::PostgreSQL),
                         [](const ::testing::TestParamInfo<SourceKind>& info) {
                             return info.param == SourceKind::SQLite ? "SQLite" : "PostgreSQL";
                         });

}  // namespace
