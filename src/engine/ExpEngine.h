// ExpEngine: the extraction engine for the Norv student information system, the last class of the task
// chain. It knows which "V_VLMR_..." views are read, with which conditions, and how their columns become the
// output tables; the layers below supply the task frame, the extract files and the data access.
//
// It answers the host's requests that need the source (connection test, school validation, school and
// teacher lists) and runs the extraction (ProgressTotal and RunTask, called by Execute). A run establishes
// the school's facts (school year, long name, inactive cutoff, dialect, school dates, attendance type) and
// then writes the output tables in their fixed order; later steps read lookup sets that earlier steps fill.
// The table steps live in one source file per subject: ExpEngineSchool.cpp (code tables, bell schedule,
// calendar, tumble, reporting and grading periods), ExpEngineStudents.cpp, ExpEngineContacts.cpp,
// ExpEngineCourses.cpp (sections, schedules, marks) and ExpEngineStaff.cpp. Each declares its view, columns
// and conditions in the order of its output fields; its computed values are the Format... operations below.
//
// Every school number placed into SQL is a quoted literal with its apostrophes doubled.
//
// Owns: the lookup sets of the current run, the school facts, the update file object of an attendance run
// and the field handles of the table being written (valid until the next ClearQuery).
// REQUIRES: one thread; one engine per process; operations are called one at a time.
#pragma once

#include <QList>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/KeySet.h"
#include "engine/LookupSet.h"
#include "engine/NorvRules.h"
#include "engine/ODBCExpEngineBase.h"
#include "engine/TermSet.h"
#include "libraries/support/XDate.h"
#include "libraries/support/XString.h"

class XTextFile;

class ExpEngine : public ODBCExpEngineBase {
    Q_OBJECT
    Q_DISABLE_COPY(ExpEngine)

  public:
    using AttendanceType = NorvRules::AttendanceType;

    // The two dialects the Norv source is spoken to in, Oracle first.
    static constexpr int OracleDbType = 11;
    static constexpr int MsSqlDbType = 5;

    explicit ExpEngine(QObject* parent = nullptr);
    ~ExpEngine() override;

    // --- Task operations (called by Execute) ---

    // The progress step count of the run: sizes the attendance weights by the school's attendance type.
    // Never throws: a source that cannot be reached keeps the default weights (the run then fails at its
    // connect step with the reason).
    int ProgressTotal(int mode) override;
    // The extraction run; mode bit 1 = full extract, bit 2 = attendance update. True when it reaches its end;
    // a missing view or required column, or a failed connect, throws (Execute reports it).
    bool RunTask(const TaskValues& values, int mode) override;
    // The verify command: reads the school's attendance from the source as a run of the whole school span
    // would and compares it with what the output folder ("path") has sent, writing nothing into the folder.
    // True when the target's attendance equals the source's; false when it differs or cannot be checked
    // (the reason logged). Never throws.
    bool VerifyAttendance(const TaskValues& values);
    // The host list named by paramKey (the teacher list): LoadBridgeList into a key -> label map.
    bool LoadList(TaskList& list, const QString& paramKey, const TaskValues& values) override;

    // --- Host requests ---

    // Opens and closes a connection with these inputs in the current dialect. False (with the reason
    // logged at Error level) when the source refuses.
    bool TestConnection(const XString& dataSourceName, const XString& user, const XString& password);
    // True when "V_VLMR_SCHOOL" lists exactly the text schoolNumber (the rule of the run).
    bool ValidateSchoolNumber(const XString& dataSourceName, const XString& user, const XString& password,
                              const XString& schoolNumber);
    // The schools of the source as records (number, long name, label "name (number)"), ordered by number
    // (plain byte order), each number once (the first row's name).
    bool LoadSchoolList(QList<QStringList>& records, const XString& dataSourceName, const XString& user,
                        const XString& password);
    // The list named by paramKey ("teacher" only): records (teacher id, label "Last, First Second") ordered
    // by id, each id once. The values become the task's current values. A missing "user", "pwd", "dsn" or
    // "school" (the first one, in that order) is sent to the host as a missing parameter.
    bool LoadBridgeList(QList<QStringList>& records, const QString& paramKey, const TaskValues& values);

    // --- School facts ---

    // Start year of the current school year (before July: the year before), from the local clock.
    XString CurrentSchoolYear();
    // Chooses the dialect: "Oracle (ODBC)" when "V_VLMR_SCHOOL" is found with it, else "MSSQL" when found
    // with that, else back to "Oracle (ODBC)" and false. Stores the data source name.
    bool DetectSourceDriver(const XString& dataSourceName, const XString& user, const XString& password);
    // Stores the school's long_name (empty when the school has no row); false, keeping the previous name,
    // on any failure.
    bool DetermineSchoolLongName(const XString& schoolNumber, const XString& dataSourceName,
                                 const XString& user, const XString& password);
    // The attendance type of the stored school; a school without a row is daily. Lets connection and query
    // failures through.
    AttendanceType DetermineAttendanceType();
    // School start and end dates: the earliest start and the latest end of the all-year sections of the
    // school year, each used only when it lies in that year (NorvRules::schoolSpan), else 1 August and 31
    // July. Logs the span and where it came from. Never throws.
    void DetermineSchoolDates();
    // Empties the six lookup sets.
    void ResetLUT();

    // --- Table steps (full extract order) ---

    void IncludedStudents();
    // School structure (ExpEngineSchool.cpp). The two code files are written into a folder once.
    void ReasonCodes();
    void AttendanceCodes();
    void BellSchedule();
    void SchoolCalendar();
    void Tumble();
    // Students (ExpEngineStudents.cpp).
    void StudentDemographics();
    void StudentTransport();
    void StudentMedical();
    // Contacts (ExpEngineContacts.cpp).
    void StudentParentContacts();
    void StudentEmergencyContacts();
    // Courses and marks (ExpEngineCourses.cpp); reporting and grading periods are school structure.
    void Sections();
    void StudentSchedules();
    void ReportingPeriods();
    void Marks();
    void GradingPeriods();
    // Staff (ExpEngineStaff.cpp); every row of the school, no student filter.
    void StaffDemographics();
    void StaffVehicles();
    void StaffContacts();
    void StaffMedical();
    void StaffDoctor();

    // --- Attendance steps (attendance part) ---

    // Period attendance, then the daily morning (morning = true) or afternoon pass, of the school year span,
    // into the attendance cache.
    void PeriodAttendance(const XDate& schoolStart, const XDate& schoolEnd);
    void DailyAttendance(const XDate& schoolStart, const XDate& schoolEnd, bool morning);

    // --- State ---

    const XString& schoolLongName() const { return m_schoolLongName; }
    const XDate& inactiveCutoff() const { return m_inactiveCutoff; }
    const XDate& attendanceCutoff() const { return m_attendanceCutoff; }
    const XDate& schoolStartDate() const { return m_schoolStartDate; }
    const XDate& schoolEndDate() const { return m_schoolEndDate; }
    bool defaultBell() const { return m_defaultBell; }
    void setDefaultBell(bool value) { m_defaultBell = value; }

    const KeySet& includedStudents() const { return m_includedStudents; }
    LookupSet& reportingPeriods() { return m_reportingPeriods; }
    TermSet& terms() { return m_terms; }
    LookupSet& rotationDays() { return m_rotationDays; }
    KeySet& sectionKeys() { return m_sectionKeys; }
    LookupSet& bellKeys() { return m_bellKeys; }

  protected:
    // The formatters a table step binds: the column's output text, its date, or a computation of this
    // engine (which the writer calls on this engine only).
    static Formatter asText() { return &DataAccessBase::FormatText; }
    static Formatter asDate() { return &DataAccessBase::FormatDate; }
    static Formatter computed(XString (ExpEngine::*formatter)()) { return static_cast<Formatter>(formatter); }

    // The student conditions on stu: its school, and registered students or (with an inactive cutoff)
    // those withdrawn on or after it. joined: a join condition precedes them.
    void AddStudentConditions(ODBCTable* stu, bool joined);
    // The row filter of every student table: the pupil number field's text is an included student.
    bool IncludedStudentFilter();
    // The text of field in the current record (GetFieldText's), read without a string of its own: valid until
    // the next call.
    const std::string& fieldText(ODBCField* field);
    RowFilter includedStudentRowFilter();

    // Computed columns, bound as value formatters; each reads the current binding's field and the field
    // handles of the table being written.
    XString FormatStudentLastName();
    XString FormatStudentAddress();
    XString FormatMailingAddress();
    XString FormatLockerCombo();
    XString FormatMedicalAlert();
    XString FormatPhysicalExam();
    XString FormatAbsentFlag();
    XString FormatTardyFlag();
    XString FormatExcusedFlag();
    XString FormatBellKey();
    XString FormatContactKey();
    XString FormatWorkPhone();
    XString FormatSectionKey();
    XString FormatTermRef();
    XString FormatSectionDay();
    XString FormatReportingPeriodKey();
    XString FormatVehicle();

    // Declares the required column on table and makes "column = '<school number>'" the first condition.
    void AddSchoolCondition(ODBCTable* table, const XString& column);
    // Declares column on table and binds it to the output field outputName with the constant text (the
    // column only decides whether the field exists). Nothing is bound when an optional column is missing.
    void AddConstantField(ODBCTable* table, const XString& columnName, const XString& text,
                          const XString& outputName, bool required);
    // Writes the current table's file with lines that the step makes itself: opens its query, to be read
    // as openQuery says, unless that is empty; then writeLines writes into the file and answers the line
    // count. The file replaces the previous one only once complete; a failure is reported and thrown as
    // the generic writer does.
    void WriteOwnTable(std::optional<RowPasses> openQuery, const std::function<int(XTextFile&)>& writeLines);
    // Whether the current table's file is in the import folder already.
    bool CurrentFileExists() const;
    // A date in the writer's date format; empty for a null date.
    XString WriterDate(const XDate& date) const;
    // The reason code when the row has one, else the attendance code.
    XString FormatAttendanceCode();
    // "AM" or "PM": the time frame of the daily pass being read.
    XString FormatAttendanceTimeFrame();

  private:
    // Handles of the declared columns that computations and filters read; reset with each table.
    struct FieldHandles {
        ODBCField* pupilNumber = nullptr;
        ODBCField* lastNameSuffix = nullptr;
        ODBCField* streetName = nullptr;
        ODBCField* apartment = nullptr;
        ODBCField* lockerCombo2 = nullptr;
        ODBCField* lockerCombo3 = nullptr;
        ODBCField* lifeThreatening = nullptr;
        ODBCField* examResult = nullptr;
        ODBCField* contactFirstName = nullptr;
        ODBCField* workExtension = nullptr;
        ODBCField* stopDate = nullptr;
        ODBCField* semester = nullptr;
        ODBCField* term = nullptr;
        ODBCField* courseCode = nullptr;
        ODBCField* title = nullptr;
        ODBCField* timetableId = nullptr;
        std::vector<ODBCField*> grades;
        ODBCField* vehicleYear = nullptr;
        ODBCField* vehicleColour = nullptr;
        ODBCField* vehicleModel = nullptr;
    };

    // The connection inputs, stored, and the connection string of the current dialect.
    void storeConnectionInputs(const XString& dataSourceName, const XString& user, const XString& password);
    // The school, school year, inactive cutoff and connection inputs of a task's values (RunTask's and
    // VerifyAttendance's).
    void takeTaskInputs(const TaskValues& values);
    XString connectionString();
    void closeQueryAndConnection();
    // Whether the school view lists exactly this text as a school number (declares and runs the query on
    // the open connection).
    bool schoolListed(const XString& schoolNumber);
    // Raises the run's failure unless the school view lists exactly this school number. Connects for the
    // question only; a failing connection passes its own exception on.
    void requireKnownSchool();
    // The run's inactive cutoff from its parameter text: null when empty, and null with a warning when the
    // text is not a real "mm/dd/yyyy" date.
    void setInactiveCutoff(const XString& text);
    void setAttendanceWeights(AttendanceType type);
    void useAttendanceSteps(AttendanceType type);
    void useSchoolSpan(const std::vector<std::pair<XDate, XDate>>& sectionDates);
    void runAttendancePart();
    void attendanceAttempt();
    void readAttendance();
    void writeAttendancePass(const XDate& schoolStart, const XDate& schoolEnd);

    XString m_schoolLongName;
    XDate m_inactiveCutoff;
    XDate m_attendanceCutoff;
    XDate m_schoolStartDate;
    XDate m_schoolEndDate;
    bool m_defaultBell = false;
    FieldHandles m_fields;
    std::unique_ptr<XTextFile> m_updateFile;
    ODBCField* m_attendanceReason = nullptr;  // the reason code of the attendance pass being read
    bool m_attendanceDayPart = false;         // the pass reads one part of the day (daily attendance)
    XString m_attendanceTimeFrame;

    KeySet m_includedStudents;
    LookupSet m_reportingPeriods;
    TermSet m_terms;
    LookupSet m_rotationDays;
    KeySet m_sectionKeys;
    LookupSet m_bellKeys;
    std::string m_fieldText;  // the text fieldText read, kept to reuse its room
};
