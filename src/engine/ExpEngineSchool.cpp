// The school structure steps of ExpEngine: the attendance code tables, the bell schedule, the calendar and
// the tumble, and the reporting and grading periods that sections and marks collect. Bell keys, the default
// bell flag and the rotation days found here are read by later steps of the same run.
#include "engine/ExpEngine.h"
#include "engine/NorvViews.h"
#include "libraries/support/XTextFile.h"

using namespace norv_views;

namespace {

// The date format of the reporting periods' dates, whatever the writer's.
const char* const kTermDateFormat = "mm/dd/yyyy";
// The number of rotation day columns of the tumble view (D1 to D20).
constexpr int kTumbleDays = 20;

const char* const kAttendanceCodeFields[] = {"AttCodeKey", "AttCodeName", "AttCodeAbs", "AttCodeTardy",
                                             "AttCodeExcused"};

void writeLine(XTextFile& file, std::initializer_list<XString> values) {
    for (const XString& value : values) {
        file.writeField(value);
    }
    file.endLine();
}

}  // namespace

void ExpEngine::ReasonCodes() {
    BeginHeader("Reason Codes", "ReasonCodes.cef");
    m_fields = FieldHandles();
    // A school's own codes are written into a folder once; the importer keeps what was changed there.
    if (CurrentFileExists()) {
        for (const char* name : kAttendanceCodeFields) {
            AddHeaderField(name);
        }
        report(Informational, "Reason Codes File exists, so will not overwrite.");
        EndHeader();
        return;
    }
    ODBCTable* codes = AddTable(kAttendanceCodeView, "R");
    AddField(codes, "ATTENDANCE_CODE", asText(), "AttCodeKey", true);
    AddField(codes, "ATTENDANCE_DESC", asText(), "AttCodeName", true);
    AddField(codes, "SUB_ALLOCATION_CODE", computed(&ExpEngine::FormatAbsentFlag), "AttCodeAbs", true);
    AddField(codes, "SUB_ALLOCATION_CODE", computed(&ExpEngine::FormatTardyFlag), "AttCodeTardy", true);
    AddField(codes, "SUB_ALLOCATION_CODE", computed(&ExpEngine::FormatExcusedFlag), "AttCodeExcused", true);
    AddSchoolCondition(codes, "SCHOOL");
    // The view repeats a code once per use; each is written once.
    distinct = true;
    try {
        WriteTable();
    } catch (...) {
        distinct = false;
        throw;
    }
    distinct = false;
    EndHeader();
}

void ExpEngine::AttendanceCodes() {
    BeginHeader("Attendance Codes", "AttCodes.cef");
    m_fields = FieldHandles();
    for (const char* name : kAttendanceCodeFields) {
        AddHeaderField(name);
    }
    if (CurrentFileExists()) {
        report(Informational, "Attendance Codes File exists, so will not overwrite.");
    } else {
        WriteOwnTable(std::nullopt, [](XTextFile& file) {
            writeLine(file, {"A", "Absent", "1", "0", "N"});
            writeLine(file, {"L", "Tardy", "0", "1", "N"});
            return 2;
        });
    }
    EndHeader();
}

void ExpEngine::BellSchedule() {
    BeginHeader("Bell Schedule", "BellSchedule.cef");
    m_fields = FieldHandles();
    m_defaultBell = false;
    ODBCTable* bells = AddTable(kBellView, "BS");
    AddField(bells, "grade", computed(&ExpEngine::FormatBellKey), "BellKey", true);
    AddField(bells, "grade_desc", asText(), "BellName", true);
    AddField(bells, "period", asText(), "BellTimeOrder", true);
    AddField(bells, "start_time", asText(), "BellTimeStart", false);
    AddField(bells, "end_time", asText(), "BellTimeEnd", false);
    AddSchoolCondition(bells, "school");
    WriteTable();
    EndHeader();
}

void ExpEngine::SchoolCalendar() {
    BeginHeader("School Calendar", "Calendar.cef");
    m_fields = FieldHandles();
    ODBCTable* cycles = AddTable(kCycleView, "SCH_CAL");
    ODBCField* date = NewField(cycles, "effective_date", true);
    ODBCField* day = NewField(cycles, "day", true);
    ODBCField* cycle = NewField(cycles, "cycle", true);
    ODBCField* school = NewField(cycles, "school", true);
    ODBCField* year = NewField(cycles, "school_year", true);
    AddCondition("", school, "=", SqlLiteral(schoolNumber()));
    AddCondition("AND", year, "=", XString(schoolYear().toInt()));
    AddHeaderField("CalKey");
    AddHeaderField("CalDate");
    AddHeaderField("CalDateDayRef");
    AddHeaderField("CalDateTumRef");
    // Every line carries its bell reference; the importer reads the field only with one default calendar.
    if (m_defaultBell) {
        AddHeaderField("CalDateBellRef");
    }
    WriteOwnTable(RowPasses::Repeated, [&](XTextFile& file) {
        int lines = 0;
        // One calendar per bell key, each repeating the whole school year; without keys one default.
        const auto writeCalendar = [&](const XString& key, const XString& bellRef) {
            for (bool more = GetFirstRecord(); more; more = GetNextRecord()) {
                const XString dayName = GetFieldText(day);
                m_rotationDays.insert(dayName);
                writeLine(file, {key, WriterDate(GetFieldDate(date)), GetFieldSingleLine(day),
                                 GetFieldSingleLine(cycle), bellRef});
                ++lines;
            }
        };
        if (m_bellKeys.isEmpty()) {
            writeCalendar(XString(), "DEFAULT");
        } else {
            for (const XString& key : m_bellKeys) {
                writeCalendar(key, key);
            }
        }
        return lines;
    });
    EndHeader();
}

void ExpEngine::Tumble() {
    BeginHeader("Tumble", "Tumbles.cef");
    m_fields = FieldHandles();
    ODBCTable* tumble = AddTable(kTumbleView, "TUM");
    ODBCField* year = NewField(tumble, "year", true);
    std::vector<ODBCField*> days;
    for (int i = 1; i <= kTumbleDays; ++i) {
        days.push_back(NewField(tumble, "D" + XString(i), false));
    }
    ODBCField* period = NewField(tumble, "period", false);
    AddSchoolCondition(tumble, "school");
    AddCondition("AND", year, "=", XString(schoolYear().toInt()));
    AddHeaderField("TumKey");
    AddHeaderField("TumName");
    AddHeaderField("TumPerRef");
    AddHeaderField("TumPerOrder");
    WriteOwnTable(RowPasses::Once, [&](XTextFile& file) {
        int lines = 0;
        for (bool more = GetFirstRecord(); more; more = GetNextRecord()) {
            // One line per filled day column: the period that runs in this slot on that rotation day.
            for (int i = 1; i <= kTumbleDays; ++i) {
                const XString value = GetFieldSingleLine(days[static_cast<size_t>(i - 1)]);
                if (!value.isEmpty()) {
                    writeLine(file, {XString(i), "D" + XString(i), value, GetFieldSingleLine(period)});
                    ++lines;
                }
            }
        }
        return lines;
    });
    EndHeader();
}

void ExpEngine::ReportingPeriods() {
    BeginHeader("Reporting Periods", "Terms.cef");
    m_fields = FieldHandles();
    AddHeaderField("TermKey");
    AddHeaderField("TermName");
    AddHeaderField("TermStartDate");
    AddHeaderField("TermEndDate");
    const bool perCalendar = !m_bellKeys.isEmpty();
    if (perCalendar) {
        AddHeaderField("TermCallRef");
    }
    const auto dateText = [](const XDate& date) {
        return date.IsNull() ? XString() : date.Format(kTermDateFormat);
    };
    WriteOwnTable(std::nullopt, [&](XTextFile& file) {
        int lines = 0;
        // With calendars per grade every term is repeated for each of them.
        const auto writeTerms = [&](const XString* calendar) {
            for (const auto& [key, term] : m_terms) {
                file.writeField(term.key);
                file.writeField(term.name);
                file.writeField(dateText(term.startDate));
                file.writeField(dateText(term.endDate));
                if (calendar != nullptr) {
                    file.writeField(*calendar);
                }
                file.endLine();
                ++lines;
            }
        };
        if (perCalendar) {
            for (const XString& key : m_bellKeys) {
                writeTerms(&key);
            }
        } else {
            writeTerms(nullptr);
        }
        return lines;
    });
    EndHeader();
}

void ExpEngine::GradingPeriods() {
    BeginHeader("Grading Periods", "Bins.cef");
    m_fields = FieldHandles();
    ODBCTable* bins = AddTable(kReportingPeriodView, "BIN");
    ODBCField* id = AddField(bins, "id", asText(), "BinKey", true);
    AddField(bins, "long_name", asText(), "BinName", true);
    AddField(bins, "marking_start_date", asDate(), "BinStartDate", false);
    AddField(bins, "marking_end_date", asDate(), "BinEndDate", false);
    AddSchoolCondition(bins, "school");
    // Only the periods that written marks refer to.
    WriteTable([this, id] { return m_reportingPeriods.contains(GetFieldText(id)); });
    EndHeader();
}

// --- Computed columns ---

XString ExpEngine::FormatAbsentFlag() {
    return NorvRules::absentFlag(GetFieldText(currentField()));
}

XString ExpEngine::FormatTardyFlag() {
    return NorvRules::tardyFlag(GetFieldText(currentField()));
}

XString ExpEngine::FormatExcusedFlag() {
    return NorvRules::excusedFlag(GetFieldText(currentField()));
}

XString ExpEngine::FormatBellKey() {
    const XString grade = GetFieldText(currentField());
    if (grade.isEmpty()) {
        m_defaultBell = true;
    } else {
        m_bellKeys.insert(grade);
    }
    return NorvRules::bellKey(grade);
}
