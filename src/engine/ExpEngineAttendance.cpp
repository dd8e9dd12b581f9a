// The attendance steps of ExpEngine: period attendance and the two daily passes read the source's attendance
// views into the attendance cache; the attendance part of a run writes what changed into the update file.
#include "engine/ExpEngine.h"
#include "engine/NorvViews.h"
#include "libraries/support/XTextFile.h"

#include <QTemporaryDir>

using namespace norv_views;

void ExpEngine::runAttendancePart() {
    // A cache found damaged on the way (failing the attempt, or noted where a failure was passed over) is set
    // aside and attendance starts over from the school start, once.
    for (int attempt = 1;; ++attempt) {
        try {
            attendanceAttempt();
        } catch (const std::exception& e) {
            AbortAttendanceUpdate();
            NoteAttendanceFailure(e);
            if (attempt > 1 || !RecoverFromCacheDamage()) {
                throw;
            }
            continue;
        } catch (...) {
            AbortAttendanceUpdate();
            throw;
        }
        if (attempt > 1 || !RecoverFromCacheDamage()) {
            break;
        }
    }
    m_updateFile.reset();
}

void ExpEngine::attendanceAttempt() {
    DetermineSchoolDates();
    // Before the update file: a lost cache starts attendance over, which deletes the folder's update files.
    BeginAttendanceUpdate(XString(value("overlapdays")), m_schoolStartDate, m_schoolEndDate);
    SetIncludedStudents(std::vector<XString>(m_includedStudents.begin(), m_includedStudents.end()));
    m_updateFile = std::make_unique<XTextFile>('\t');
    StartUpdate(*m_updateFile);
    readAttendance();
    CreateAttendanceFromDB();
    // Puts the update file in place and only then marks its rows as sent and commits the cache.
    FinishUpdate();
}

void ExpEngine::readAttendance() {
    switch (DetermineAttendanceType()) {
        case AttendanceType::Period:
            report(Informational, "Period Attendance Type detected: Generating Period Attendance.");
            PeriodAttendance(m_schoolStartDate, m_schoolEndDate);
            break;
        case AttendanceType::Daily:
            report(Informational, "Daily Attendance Type detected.  Generating Daily Attendance.");
            DailyAttendance(m_schoolStartDate, m_schoolEndDate, true);
            DailyAttendance(m_schoolStartDate, m_schoolEndDate, false);
            break;
        case AttendanceType::PeriodAndDaily:
            report(Informational,
                   "Period/Daily Attendance Type detected.  Generating Both Period and Daily Attendance.");
            PeriodAttendance(m_schoolStartDate, m_schoolEndDate);
            DailyAttendance(m_schoolStartDate, m_schoolEndDate, true);
            DailyAttendance(m_schoolStartDate, m_schoolEndDate, false);
            break;
    }
}

void ExpEngine::PeriodAttendance(const XDate& schoolStart, const XDate& schoolEnd) {
    StartAttTable(AttendanceCache::PeriodTable, true, false);
    m_fields = FieldHandles();
    m_attendanceDayPart = false;
    ODBCTable* att = AddTable(kPeriodView, "PERATT");
    m_fields.pupilNumber = AddField(att, "pupil_number", asText(), "AttStdRef", true);
    SetAttendanceDateField(AddField(att, "absent_date", asDate(), "AttDate", true));
    AddField(att, "period", asText(), "AttPerRef", true);
    AddField(att, "absent_code", computed(&ExpEngine::FormatAttendanceCode), "AttAttCodeRef", true);
    m_attendanceReason = NewField(att, "reason_code", true);
    ODBCField* school = NewField(att, "school", true);
    ODBCField* created = NewField(att, "create_date", true);
    ODBCField* modified = NewField(att, "mod_date", true);
    AddCondition("", school, "=", SqlLiteral(schoolNumber()));
    SetAttendanceChangeFields(created, modified);
    writeAttendancePass(schoolStart, schoolEnd);
}

void ExpEngine::DailyAttendance(const XDate& schoolStart, const XDate& schoolEnd, bool morning) {
    const char* score = morning ? "am_attendance_score" : "pm_attendance_score";
    StartAttTable(AttendanceCache::DailyTable, true, false);
    m_fields = FieldHandles();
    m_attendanceTimeFrame = morning ? "AM" : "PM";
    m_attendanceDayPart = true;
    ODBCTable* att = AddTable(kDailyView, "TFATT");
    m_fields.pupilNumber = AddField(att, "pupil_number", asText(), "AttStdRef", true);
    SetAttendanceDateField(AddField(att, "absent_date", asDate(), "AttDate", true));
    AddField(att, score, computed(&ExpEngine::FormatAttendanceTimeFrame), "AttTimeFrameRef", true);
    AddField(att, score, computed(&ExpEngine::FormatAttendanceCode), "AttAttCodeRef", true);
    m_attendanceReason = NewField(att, morning ? "reason_code_am" : "reason_code_pm", true);
    ODBCField* created = NewField(att, "create_date", true);
    ODBCField* modified = NewField(att, "mod_date", true);
    ODBCField* school = NewField(att, "school", true);
    // Every row of the day is read, also one whose score for this part of the day is empty or NULL (the
    // two are one value, as they are in Oracle): its code is then empty, which the cache reads as a cleared
    // absence, not as a row to add.
    AddCondition("", school, "=", SqlLiteral(schoolNumber()));
    SetAttendanceChangeFields(created, modified);
    writeAttendancePass(schoolStart, schoolEnd);
}

void ExpEngine::writeAttendancePass(const XDate& schoolStart, const XDate& schoolEnd) {
    // The last window runs to the end of today: source rows are stamped with a time of day, and a change
    // made today must reach this run's update file, not wait for a run on a later day.
    WriteAttendanceTable(schoolStart, schoolEnd, includedStudentRowFilter(), true);
    m_attendanceReason = nullptr;
    EndHeader();
}

XString ExpEngine::FormatAttendanceCode() {
    // Codes are single-line like every other text field: a line break or a TAB would end the update
    // file's row early.
    const XString code = FormatText();
    if (m_attendanceDayPart && code.isEmpty()) {
        return code;  // no score for this part of the day: no absence, whatever the reason column says
    }
    const XString reason = GetFieldSingleLine(m_attendanceReason);
    return reason.isEmpty() ? code : reason;
}

XString ExpEngine::FormatAttendanceTimeFrame() {
    return m_attendanceTimeFrame;
}

bool ExpEngine::VerifyAttendance(const TaskValues& values) {
    setValues(values);
    takeTaskInputs(values);
    // The scratch cache lives outside the folder, in the temporary folder of the system (or the service).
    QTemporaryDir scratch;
    try {
        if (!scratch.isValid()) {
            reportAndThrow(
                Error, "Verify: no temporary folder for the comparison: " + XString(scratch.errorString()));
        }
        if (!SetCDEFolder(value("path"))) {
            return false;
        }
        const XString dsn = dataSource();
        DetectSourceDriver(dsn, userName(), password());
        requireKnownSchool();
        SetDataSource(dsn);
        if (ConfigurationChanged()) {
            reportAndThrow(
                Error,
                "Verify: the folder's SchoolConfig.xml records another source, school, school year "
                "or version (the next run starts attendance over); there is nothing to compare yet.");
        }
        Connect(connectionString());
        const AttendanceType type = DetermineAttendanceType();
        const int passes = type == AttendanceType::PeriodAndDaily ? 3 : type == AttendanceType::Daily ? 2 : 1;
        // The included students, two steps a pass, the comparison and the end.
        emit writeProgress(QStringLiteral("start_progress"), 1 + 2 * passes + 2);
        ResetLUT();
        IncludedStudents();
        DetermineSchoolDates();
        BeginAttendanceVerification(XFileSpec(XString(scratch.path() + QLatin1Char('/'))), m_schoolStartDate,
                                    m_schoolEndDate);
        SetIncludedStudents(std::vector<XString>(m_includedStudents.begin(), m_includedStudents.end()));
        readAttendance();
        PutJobText("Comparing with the folder...");
        const bool equal = FinishAttendanceVerification();
        EndAttendanceVerification();
        closeQueryAndConnection();
        report(Progress, "Verification complete.");
        emit writeProgress(QStringLiteral("end_progress"), -1);
        return equal;
    } catch (const std::exception& e) {
        EndAttendanceVerification();
        report(Error, XString("Verify: ") + e.what());
        try {
            closeQueryAndConnection();
        } catch (...) {
            // The failure that ended the verification is the one to report.
        }
        emit writeProgress(QStringLiteral("end_progress"), -1);
        return false;
    }
}
