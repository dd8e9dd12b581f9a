#include "engine/ExpEngine.h"
#include "engine/NorvViews.h"

#include <QRegularExpression>
#include <map>

#include "engine/SourceSession.h"
#include "libraries/support/XException.h"
#include "libraries/support/XTextFile.h"
#include "writer/PackedVersion.h"
#include "writer/StagedFile.h"

using namespace norv_views;

namespace {

// The writer's date format, in which the run's date parameters are given.
const char* const kParameterDateFormat = "mm/dd/yyyy";

XString text(const QString& value) {
    return XString(value);
}

}  // namespace

ExpEngine::ExpEngine(QObject* parent) : ODBCExpEngineBase(0x03, parent) {
    // Every declaration checks that its view or column exists, so a source that lacks one fails with a
    // message naming it instead of an SQL error.
    setOptions(CheckExistence);
    setDbType(OracleDbType);
    // A run (or a host request) asks the source many questions: one login answers them all.
    HoldConnection(true);

    WriterSettings& header = settings();
    header.minVersion = PackedVersion::Parse("7.5.0");
    header.gradesDontCreateSections = true;
    header.maxExpectedTimeSlots = 20;
    header.timeFormat = "HH:NN";

    // The steps a run sends besides its start and its end: the included students, the twenty tables of a
    // full extract, and the attendance parts.
    setSetupSteps(0);
    setLookupSteps(1);
    setImportSteps(20);
    useAttendanceSteps(AttendanceType::Daily);  // until the run reads the school's type
}

ExpEngine::~ExpEngine() {
    report(Informational, "Start ExpEngine Destructor");
    report(Informational, "End ExpEngine Destructor");
}

// --- Task operations ---

int ExpEngine::ProgressTotal(int mode) {
    try {
        setSchoolNumber(text(value("school")));
        storeConnectionInputs(text(value("dsn")), text(value("user")), text(value("pwd")));
        DetectSourceDriver(dataSource(), userName(), password());
        setAttendanceWeights(DetermineAttendanceType());
    } catch (const std::exception& e) {
        // The run itself connects again and ends with the reason; sizing goes on with the default weights.
        report(Warning, XString("Progress sizing could not read the attendance type: ") + e.what());
    } catch (...) {
        report(Warning, "Progress sizing could not read the attendance type.");
    }
    try {
        closeQueryAndConnection();
    } catch (...) {
        // A connection that cannot even be closed is reported by the run's own connect step.
    }
    return ODBCExpEngineBase::ProgressTotal(mode);
}

void ExpEngine::setAttendanceWeights(AttendanceType type) {
    useAttendanceSteps(type);
    switch (type) {
        case AttendanceType::Period:
            report(Informational, "Period Attendance Type detected: Set Calculate Progress Size");
            break;
        case AttendanceType::Daily:
            report(Informational, "Daily Attendance Type detected. Set Calculate Progress Size");
            break;
        case AttendanceType::PeriodAndDaily:
            report(Informational, "Period/Daily Attendance Type detected. Set Calculate Progress Size");
            break;
    }
}

void ExpEngine::useAttendanceSteps(AttendanceType type) {
    // The steps each attendance part sends: per pass its table and its one query, per cached table its
    // header and its two steps, or one step when the cache has no such table (a part the school does not
    // keep).
    constexpr int perPass = 2;
    constexpr int cachedTable = 3;
    constexpr int noTable = 1;
    const bool period = type != AttendanceType::Daily;
    const bool daily = type != AttendanceType::Period;
    setPeriodAttSteps(period ? perPass + cachedTable : noTable);
    setDailyAttSteps(daily ? 2 * perPass + cachedTable : noTable);
}

void ExpEngine::setInactiveCutoff(const XString& value) {
    m_inactiveCutoff.SetNull();
    if (value.isEmpty()) {
        return;
    }
    // The reader takes any three numbers and rolls an impossible day or month over (13/45/2024 would be a
    // day in 2025): a cutoff counts only when the date it gives is the one written.
    XDate date;
    const QStringList numbers =
        value.toQString().split(QRegularExpression(QStringLiteral("\\D+")), Qt::SkipEmptyParts);
    if (date.Parse(kParameterDateFormat, value) && !date.IsNull() && numbers.size() == 3 &&
        numbers.at(0).toInt() == date.Month() && numbers.at(1).toInt() == date.Day() &&
        numbers.at(2).toInt() == date.Year()) {
        m_inactiveCutoff = date;
        return;
    }
    report(Warning, "Inactive date \"" + value +
                        "\" is not a real date of the form mm/dd/yyyy; no inactive cutoff is used.");
}

bool ExpEngine::schoolListed(const XString& schoolNumber) {
    ODBCTable* school = AddTable(kSchoolView, "SCH");
    ODBCField* number = NewField(school, "school", true);
    AddCondition("", number, "=", SqlLiteral(schoolNumber));
    bool found = false;
    // The source may compare loosely (a number column takes "01021" for 1021): the text must match exactly.
    if (ExecuteQuery()) {
        for (bool more = GetFirstRecord(); more && !found; more = GetNextRecord()) {
            found = GetFieldText(number) == schoolNumber;
        }
    }
    return found;
}

void ExpEngine::requireKnownSchool() {
    Connect(connectionString());
    ClearQuery();
    const bool found = schoolListed(schoolNumber());
    closeQueryAndConnection();
    if (!found) {
        reportAndThrow(Critical,
                       "School Number not found in " + XString(kSchoolView) + ": \"" + schoolNumber() + "\"");
    }
}

void ExpEngine::takeTaskInputs(const TaskValues& values) {
    setBridgeAlias(text(value("bridgeAlias_")));
    setSchoolYear(CurrentSchoolYear());
    setSchoolNumber(text(values.value("school")));
    setInactiveCutoff(text(value("inactivedate")));
    storeConnectionInputs(text(values.value("dsn")), text(values.value("user")), text(values.value("pwd")));
}

bool ExpEngine::RunTask(const TaskValues& values, int mode) {
    takeTaskInputs(values);
    const XString dsn = dataSource();
    const XString user = userName();
    const XString pwd = password();

    DetectSourceDriver(dsn, user, pwd);
    DetermineSchoolLongName(schoolNumber(), dsn, user, pwd);
    // Before the writer starts: its configuration check would clear the folder's update state for a school
    // that is not there, and an unknown school would otherwise "succeed" with empty tables.
    requireKnownSchool();
    ResetLUT();

    SetDataSource(dsn);
    StartSource(connectionString(), false);
    m_attendanceCutoff = StoredUpdateDate(outputFolder());

    report(Informational, "Oracle DSN: " + dsn);
    report(Informational, "School Year: " + schoolYear());
    report(Informational, "School Code: " + schoolNumber());
    report(Informational, "School Long Name: " + m_schoolLongName);
    report(Informational, "Inactive Cutoff: " + m_inactiveCutoff.Format("DD-MMM-YYYY"));
    report(Informational, "Attendance Cutoff: " + m_attendanceCutoff.Format("DD-MMM-YYYY"));

    ResetLUT();
    IncludedStudents();

    if (mode & FullExtract) {
        StartImport();
        // The order is binding: each step reads what the steps before it collected. The bell schedule
        // gives the calendar and the demographics the bell keys and the default bell flag; the calendar
        // gives sections the rotation days; sections give schedules their keys and reporting periods the
        // terms; marks give grading periods the reporting periods they use.
        ReasonCodes();
        AttendanceCodes();
        BellSchedule();
        SchoolCalendar();
        Tumble();
        StudentDemographics();
        StudentTransport();
        StudentMedical();
        StudentParentContacts();
        StudentEmergencyContacts();
        Sections();
        StudentSchedules();
        ReportingPeriods();
        Marks();
        GradingPeriods();
        StaffDemographics();
        StaffVehicles();
        StaffContacts();
        StaffMedical();
        StaffDoctor();
        FinishImport();
    }
    if (mode & AttendanceUpdate) {
        runAttendancePart();
    }

    FinishWriter();
    return true;
}

bool ExpEngine::LoadList(TaskList& list, const QString& paramKey, const TaskValues& values) {
    QList<QStringList> records;
    const bool ok = LoadBridgeList(records, paramKey, values);
    list.clear();
    for (const QStringList& record : records) {
        list.insert(record.value(0), record.value(1));
    }
    return ok;
}

// --- Host requests ---

bool ExpEngine::TestConnection(const XString& dataSourceName, const XString& user, const XString& password) {
    try {
        storeConnectionInputs(dataSourceName, user, password);
        Connect(connectionString());
        Disconnect();
        return true;
    } catch (const std::exception& e) {
        report(Error, XString("Connection test failed: ") + e.what(), "ExpEngine::TestConnection");
        return false;
    }
}

bool ExpEngine::ValidateSchoolNumber(const XString& dataSourceName, const XString& user,
                                     const XString& password, const XString& schoolNumber) {
    report(Debug, "Validating School Number");
    try {
        DetectSourceDriver(dataSourceName, user, password);
        storeConnectionInputs(dataSourceName, user, password);
        SourceSession session(*this, connectionString());
        // The run's rule, so that a number the test accepts is one the run accepts.
        const bool valid = schoolListed(schoolNumber);
        report(Debug, valid ? "School Number Validated!" : "School Number NOT Validated");
        return valid;
    } catch (const XException& e) {
        report(Debug, XString("Exception Occured :") + e.what());
        return false;
    }
}

bool ExpEngine::LoadSchoolList(QList<QStringList>& records, const XString& dataSourceName,
                               const XString& user, const XString& password) {
    report(Debug, "Loading School List...");
    records.clear();
    try {
        DetectSourceDriver(dataSourceName, user, password);
        storeConnectionInputs(dataSourceName, user, password);
        // Ordered by the number's bytes; the first row of a number gives its name.
        std::map<XString, XString> schools;
        {
            SourceSession session(*this, connectionString());
            ODBCTable* school = AddTable(kSchoolView, "SCH");
            ODBCField* number = NewField(school, "school", true);
            ODBCField* name = NewField(school, "long_name", true);
            if (ExecuteQuery()) {
                for (bool more = GetFirstRecord(); more; more = GetNextRecord()) {
                    schools.emplace(GetFieldText(number), GetFieldText(name));
                }
            }
        }
        for (const auto& [schoolNumber, schoolName] : schools) {
            records.append(QStringList{schoolNumber.toQString(), schoolName.toQString(),
                                       NorvRules::schoolLabel(schoolName, schoolNumber).toQString()});
        }
        return true;
    } catch (...) {
        report(Debug, "LoadSchoolList : Unknown Exception Occurred");
        records.clear();
        return false;
    }
}

bool ExpEngine::LoadBridgeList(QList<QStringList>& records, const QString& paramKey,
                               const TaskValues& values) {
    static const char* const kMethod = "ExpEngine::LoadBridgeList";
    if (paramKey != QLatin1String("teacher")) {
        report(Informational, "This bridge is not set up for this type of paramkey:  " + text(paramKey));
        return false;
    }
    setValues(values);
    for (const char* key : {"user", "pwd", "dsn", "school"}) {
        if (value(key).isEmpty()) {
            emit writeMissing(key, QString::fromLatin1(key) + QStringLiteral(" missing or blank."));
            return false;
        }
    }
    storeConnectionInputs(text(value("dsn")), text(value("user")), text(value("pwd")));
    setSchoolNumber(text(value("school")));
    setSchoolYear(CurrentSchoolYear());

    const XString dsn = dataSource();
    const XString user = userName();
    const XString pwd = password();
    try {
        report(Progress, "Loading Teacher List", kMethod);
        records.clear();
        DetectSourceDriver(dsn, user, pwd);
        DetermineSchoolLongName(schoolNumber(), dsn, user, pwd);
        SetDataSource(dsn);
        SourceSession session(*this, connectionString());
        distinct = true;
        ODBCTable* staff = AddTable(kStaffView, "STAFF", false);
        if (staff == nullptr) {
            distinct = false;
            report(Informational, "Bridge List Failed, cannot find required staff tables", kMethod);
            report(Warning, "teacher", "Teacher List Failed, can't find staff tables");
            return false;
        }
        ODBCField* id = NewField(staff, "teach_id", true);
        ODBCField* last = NewField(staff, "teach_last_name", true);
        ODBCField* first = NewField(staff, "teach_first_name", true);
        ODBCField* second = NewField(staff, "teach_second_name", true);
        AddSchoolCondition(staff, "school_school");
        // Teachers without a last name sort after the others.
        ODBCField* order = AddExpressionField("case", last, "when '' then 1 else 0 end", "order1");
        AddOrder(order);
        AddOrder(last);
        AddOrder(first);
        AddOrder(second);
        const bool opened = ExecuteQuery();
        distinct = false;
        if (!opened || GetRecordCount() == 0) {
            report(Informational, "Bridge List Returned 0 Teachers.", kMethod);
            return false;
        }
        report(Progress, "Found Teachers...", kMethod);
        // Ordered by id; the first row of an id (in name order) gives its label.
        std::map<XString, XString> teachers;
        for (bool more = GetFirstRecord(); more; more = GetNextRecord()) {
            const XString key = GetFieldText(id);
            if (key.isEmpty()) {
                continue;
            }
            teachers.emplace(
                key, NorvRules::teacherLabel(GetFieldText(last), GetFieldText(first), GetFieldText(second)));
        }
        for (const auto& [key, label] : teachers) {
            records.append(QStringList{key.toQString(), label.toQString()});
        }
        return true;
    } catch (...) {
        distinct = false;
        records.clear();
        report(Informational, "Bridge List Failed", kMethod);
        report(Warning, "teacher", "Teacher List Failed, unknown reason");
        return false;
    }
}

// --- School facts ---

XString ExpEngine::CurrentSchoolYear() {
    return NorvRules::schoolYearOf(XDate::Today());
}

bool ExpEngine::DetectSourceDriver(const XString& dataSourceName, const XString& user,
                                   const XString& password) {
    try {
        storeConnectionInputs(dataSourceName, user, password);
        // A new run or request: what the source's catalogue said before is asked again.
        ForgetCatalogue();
        if (TableExistsConnected(connectionString(), kSchoolView, false)) {
            report(Debug, "Using Oracle Driver");
            return true;
        }
        report(Debug, "Couldn't find V_VLMR_SCHOOL.");
        setDbType(MsSqlDbType);
        if (TableExistsConnected(connectionString(), kSchoolView, false)) {
            report(Debug, "Using MS SQL Driver");
            return true;
        }
        setDbType(OracleDbType);
        report(Debug, "Table does not exist: V_VLMR_SCHOOL");
        return false;
    } catch (const XException& e) {
        report(Debug, XString("Exception Occured :") + e.what());
        setDbType(OracleDbType);
        return false;
    }
}

bool ExpEngine::DetermineSchoolLongName(const XString& schoolNumber, const XString& dataSourceName,
                                        const XString& user, const XString& password) {
    report(Debug, "Determine School Long Name...");
    try {
        storeConnectionInputs(dataSourceName, user, password);
        SourceSession session(*this, connectionString());
        ODBCTable* school = AddTable(kSchoolView, "SCH");
        ODBCField* number = NewField(school, "school", true);
        ODBCField* longName = NewField(school, "long_name", true);
        AddCondition("", number, "=", SqlLiteral(schoolNumber));
        XString name;
        if (ExecuteQuery() && GetFirstRecord()) {
            name = GetFieldText(longName);
        }
        m_schoolLongName = name;
        return true;
    } catch (...) {
        // The run goes on without the long name.
        report(Debug, "DetermineSchoolLongName : Unknown Exception Occurred");
        return false;
    }
}

ExpEngine::AttendanceType ExpEngine::DetermineAttendanceType() {
    Connect(connectionString());
    ClearQuery();
    ODBCTable* school = AddTable(kSchoolView, "SCH");
    ODBCField* number = NewField(school, "school", true);
    ODBCField* type = NewField(school, "attendance_type", true);
    ODBCField* alternate = NewField(school, "alternate_period_attendance", true);
    AddCondition("", number, "=", SqlLiteral(schoolNumber()));
    XString typeText;
    XString alternateText;
    // A school without a row reads as two empty values: daily attendance.
    if (ExecuteQuery() && GetFirstRecord()) {
        typeText = GetFieldText(type);
        alternateText = GetFieldText(alternate);
    }
    CloseQuery();
    return NorvRules::attendanceTypeOf(typeText, alternateText);
}

void ExpEngine::DetermineSchoolDates() {
    try {
        ClearQuery();
        ODBCTable* sections = AddTable(kSectionView, "SEC");
        NewField(sections, "id", true);
        ODBCField* start = NewField(sections, "start_date", false);
        ODBCField* stop = NewField(sections, "stop_date", false);
        ODBCField* semester = NewField(sections, "semester", false);
        ODBCField* term = NewField(sections, "term", false);
        ODBCField* school = NewField(sections, "school", true);
        ODBCField* year = NewField(sections, "year", true);
        AddCondition("", school, "=", SqlLiteral(schoolNumber()));
        AddCondition("AND", year, "=", XString(schoolYear().toInt()));
        // Sections of semester 0 and term 0 run all year. Without those columns no section qualifies.
        if (semester != nullptr && term != nullptr) {
            AddCondition("AND", semester, "=", "0");
            AddCondition("AND", term, "=", "0");
        }
        // The year runs from the earliest start to the latest end of its all-year sections, in whatever
        // order the source returns them.
        std::vector<std::pair<XDate, XDate>> sectionDates;
        if (semester != nullptr && term != nullptr && ExecuteQuery()) {
            for (bool more = GetFirstRecord(); more; more = GetNextRecord()) {
                sectionDates.emplace_back(GetFieldDate(start), GetFieldDate(stop));
            }
        }
        CloseQuery();
        useSchoolSpan(sectionDates);
    } catch (const std::exception& e) {
        try {
            CloseQuery();
        } catch (...) {
            // Nothing more to release.
        }
        report(Warning, XString("The school year's dates could not be read: ") + e.what());
        useSchoolSpan({});
    }
}

void ExpEngine::useSchoolSpan(const std::vector<std::pair<XDate, XDate>>& sectionDates) {
    int year = schoolYear().toInt();
    if (year < 1600) {
        year = CurrentSchoolYear().toInt();
    }
    const NorvRules::SchoolSpan span = NorvRules::schoolSpan(year, sectionDates);
    m_schoolStartDate = span.start;
    m_schoolEndDate = span.end;
    if (span.defaultStart && span.defaultEnd) {
        report(Informational, "Using Default School Start and End Dates.");
    }
    const XString& format = settings().dateFormat;
    report(Informational, "School year span: " + span.start.Format(format) + " to " +
                              span.end.Format(format) + " (" +
                              (span.defaultStart ? "default start" : "earliest start") + " and " +
                              (span.defaultEnd ? "default end" : "latest end") + " of the " +
                              XString(static_cast<long long>(sectionDates.size())) +
                              " all-year sections of " + XString(year) + "; " + XString(span.ignoredDates) +
                              " of their dates lie outside the school year and are not used)");
}

void ExpEngine::ResetLUT() {
    report(Informational, "Start Reset LUT");
    m_includedStudents.clear();
    m_reportingPeriods.clear();
    m_terms.clear();
    m_rotationDays.clear();
    m_sectionKeys.clear();
    m_bellKeys.clear();
    report(Informational, "End Reset LUT");
}

// --- Helpers ---

void ExpEngine::storeConnectionInputs(const XString& dataSourceName, const XString& user,
                                      const XString& password) {
    SetDataSource(dataSourceName);
    setUserName(user);
    setPassword(password);
}

XString ExpEngine::connectionString() {
    return BuildConnectionString(dataSource(), userName(), password());
}

void ExpEngine::closeQueryAndConnection() {
    CloseQuery();
    Disconnect();
}

// --- Table helpers ---

void ExpEngine::AddSchoolCondition(ODBCTable* table, const XString& column) {
    AddCondition("", NewField(table, column, true), "=", SqlLiteral(schoolNumber()));
}

void ExpEngine::AddConstantField(ODBCTable* table, const XString& columnName, const XString& text,
                                 const XString& outputName, bool required) {
    ODBCField* field = NewField(table, columnName, required);
    if (field == nullptr) {
        return;
    }
    AddColumnBinding(field, columnName, ValueFormatter(), ColumnBinding::WriteFixedText, text);
    AddHeaderField(outputName);
}

void ExpEngine::WriteOwnTable(std::optional<RowPasses> openQuery,
                              const std::function<int(XTextFile&)>& writeLines) {
    XTextFile file('\t');
    StagedFile staged(file);
    try {
        if (openQuery) {
            OpenTable(true, *openQuery);
        }
        XFileSpec spec = importFolder();
        spec.setFileName(currentFileName());
        staged.open(spec);
        const int lines = writeLines(file);
        staged.commit();
        report(Debug, "Closed Table File. Lines= " + XString(lines));
    } catch (const std::exception& e) {
        staged.abandon();
        XString query;
        if (openQuery) {
            query = BuildQuery();
        }
        reportAndThrow(Critical, XString("Failed with error [") + e.what() + "] while writing file [" +
                                     currentFileName() + "] with query: " + query);
    }
}

bool ExpEngine::CurrentFileExists() const {
    XFileSpec spec = importFolder();
    spec.setFileName(currentFileName());
    return spec.exists();
}

XString ExpEngine::WriterDate(const XDate& date) const {
    return date.IsNull() ? XString() : date.Format(settings().dateFormat);
}
