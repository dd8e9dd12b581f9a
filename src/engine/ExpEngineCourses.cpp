// The course steps of ExpEngine: sections, student schedules and marks. Sections collect the terms (written
// as reporting periods) and the keys that limit the schedules; marks collect the reporting periods that
// limit the grading periods.
#include "engine/ExpEngine.h"
#include "engine/NorvViews.h"

using namespace norv_views;

void ExpEngine::Sections() {
    BeginHeader("Sections", "Sections.cef");
    m_fields = FieldHandles();
    ODBCTable* sec = AddTable(kSectionView, "SEC");
    AddField(sec, "id", computed(&ExpEngine::FormatSectionKey), "SecKey", true);
    m_fields.courseCode = AddField(sec, "course_code", asText(), "SecCrsRef", true);
    m_fields.title = AddField(sec, "title", asText(), "SecName", false);
    AddField(sec, "teacher_id", asText(), "SecStaffRef", false);
    AddField(sec, "start_date", computed(&ExpEngine::FormatTermRef), "SecTermRef", false);
    m_fields.stopDate = NewField(sec, "stop_date", false);
    m_fields.semester = NewField(sec, "semester", false);
    m_fields.term = NewField(sec, "term", false);
    AddField(sec, "day", computed(&ExpEngine::FormatSectionDay), "SecDayRef", false);
    AddField(sec, "period", asText(), "SecPerRef{'0'", false);
    AddField(sec, "room_long_name", asText(), "SecRoomNum{'Room'", false);
    AddField(sec, "credit_value", asText(), "SecCredits", false);
    ODBCField* school = NewField(sec, "school", true);
    ODBCField* year = NewField(sec, "year", true);
    AddCondition("", school, "=", SqlLiteral(schoolNumber()));
    AddCondition("AND", year, "=", XString(schoolYear().toInt()));
    WriteTable();
    EndHeader();
}

void ExpEngine::StudentSchedules() {
    BeginHeader("Student Schedules", "StudentSched.cef");
    m_fields = FieldHandles();
    ODBCTable* cls = AddTable(kScheduleView, "STU_CLS");
    ODBCTable* stu = AddTable(kDemographicView, "STU");
    m_fields.pupilNumber = AddField(cls, "pupil_number", asText(), "StdKey", true);
    AddField(cls, "course_code", asText(), "StdCrsRef", true);
    m_fields.timetableId = AddField(cls, "timetable_id", asText(), "StdSecRef", true);
    ODBCField* stuPupil = NewField(stu, "pupil_number", true);
    AddCondition("", m_fields.pupilNumber, "=", stuPupil);
    AddStudentConditions(stu, true);
    // Only schedules of sections that were written.
    WriteTable([this] {
        return IncludedStudentFilter() && m_sectionKeys.contains(fieldText(m_fields.timetableId));
    });
    EndHeader();
}

void ExpEngine::Marks() {
    struct Grade {
        const char* column;
        const char* outputName;
        const char* customName;
        const char* customTitle;
    };
    static const Grade kGrades[] = {
        {"mark", "GrdMark", "Mark", "Mark"},
        {"final_exam", "GrdFinalExam", "FinalExam", "Fin Ex"},
        {"semester_grade", "GrdSemGrade", "SemGrade", "Sem Grd"},
        {"year_final", "GrdYearFinal", "YearFinal", "Yr Fin"},
        {"LEARNING_SKILL_1", "GrdLS1", "LS1", "LS 1"},
        {"LEARNING_SKILL_2", "GrdLS2", "LS2", "LS 2"},
        {"LEARNING_SKILL_3", "GrdLS3", "LS3", "LS 3"},
        {"LEARNING_SKILL_4", "GrdLS4", "LS4", "LS 4"},
        {"LEARNING_SKILL_5", "GrdLS5", "LS5", "LS 5"},
    };

    BeginHeader("Marks", "StudentGrades.cef");
    m_fields = FieldHandles();
    ODBCTable* grds = AddTable(kMarkView, "GRDS");
    ODBCTable* stu = AddTable(kDemographicView, "STU");
    ODBCTable* sec = AddTable(kSectionView, "SEC");
    ODBCField* pupil = AddField(grds, "pupil_number", asText(), "GrdStdRef", true);
    ODBCField* timetable = AddField(grds, "timetable_id", asText(), "GrdSecRef", true);
    AddField(grds, "cours_id", asText(), "GrdCrsRef", true);
    AddField(grds, "REPORT_ID", computed(&ExpEngine::FormatReportingPeriodKey), "GrdBinRef", true);
    for (const Grade& grade : kGrades) {
        m_fields.grades.push_back(AddCustomField(grds, grade.column, asText(), grade.outputName, false,
                                                 grade.customName, grade.customTitle, "#customgradefield",
                                                 ""));
    }
    m_fields.pupilNumber = NewField(stu, "pupil_number", true);
    ODBCField* sectionId = NewField(sec, "id", true);
    ODBCField* year = NewField(sec, "year", true);
    AddCondition("", pupil, "=", m_fields.pupilNumber);
    AddCondition("AND", timetable, "=", sectionId);
    AddCondition("AND", year, "=", XString(schoolYear().toInt()));
    AddStudentConditions(stu, true);
    // A mark without any grade is not written, and its reporting period is not collected from it.
    WriteTable([this] {
        if (!IncludedStudentFilter()) {
            return false;
        }
        for (ODBCField* grade : m_fields.grades) {
            if (!fieldText(grade).empty()) {
                return true;
            }
        }
        return false;
    });
    EndHeader();
}

// --- Computed columns ---

XString ExpEngine::FormatSectionKey() {
    const XString key = FormatText();
    m_sectionKeys.insert(key.toStdString());
    return key;
}

XString ExpEngine::FormatTermRef() {
    const XString semester = GetFieldText(m_fields.semester);
    const XString term = GetFieldText(m_fields.term);
    if (semester.isEmpty() || term.isEmpty()) {
        return XString();
    }
    const XDate start = GetFieldDate(currentField());
    const XDate stop = GetFieldDate(m_fields.stopDate);
    const XString key = NorvRules::termKey(start, stop);
    // The first section of a span names its term.
    m_terms.insert({key, NorvRules::termName(semester, term), start, stop});
    return key;
}

XString ExpEngine::FormatSectionDay() {
    const NorvRules::SectionDay day = NorvRules::sectionDay(GetFieldText(currentField()), m_rotationDays);
    const XString section = GetFieldText(m_fields.title) + "(" + GetFieldText(m_fields.courseCode) + ")";
    if (day.outcome == NorvRules::SectionDay::Fixed) {
        report(Warning, section + " had an invalid day rotation, fixed automatically");
    } else if (day.outcome == NorvRules::SectionDay::Unfixable) {
        report(Error, section +
                          " had an invalid day rotation, could not fix because more than one rotation day is "
                          "defined.");
    }
    return day.value;
}

XString ExpEngine::FormatReportingPeriodKey() {
    const XString key = GetFieldText(currentField());
    m_reportingPeriods.insert(key);
    return key;
}
