// The student steps of ExpEngine: the included students, and the demographics, transport and medical
// tables. Every student table keeps only the rows of included students.
#include "engine/ExpEngine.h"
#include "engine/NorvViews.h"
#include "engine/TransportAggregator.h"
#include "libraries/support/XTextFile.h"

using namespace norv_views;

namespace {

// The date format of computed values that carry a date inside a text.
const char* const kTextDateFormat = "mm/dd/yyyy";

}  // namespace

void ExpEngine::AddStudentConditions(ODBCTable* stu, bool joined) {
    ODBCField* school = NewField(stu, "school", true);
    ODBCField* registered = NewField(stu, "registered_indicator", true);
    ODBCField* withdrawn = NewField(stu, "withdraw_date", true);
    AddCondition(joined ? "AND" : "", school, "=", SqlLiteral(schoolNumber()));
    if (m_inactiveCutoff.IsNull()) {
        AddCondition("AND", registered, "=", "'R'");
    } else {
        AddCondition("AND (", registered, "=", "'R'");
        AddCondition("OR", withdrawn, ">=", SQLDate(m_inactiveCutoff) + ")");
    }
}

bool ExpEngine::IncludedStudentFilter() {
    return m_includedStudents.contains(fieldText(m_fields.pupilNumber));
}

const std::string& ExpEngine::fieldText(ODBCField* field) {
    m_fieldText.clear();
    AppendFieldText(field, TextRule::Field, m_fieldText);
    return m_fieldText;
}

RowFilter ExpEngine::includedStudentRowFilter() {
    return [this] { return IncludedStudentFilter(); };
}

void ExpEngine::IncludedStudents() {
    BeginHeader("Included Students", "");
    m_fields = FieldHandles();
    ODBCTable* stu = AddTable(kDemographicView, "STU");
    ODBCField* pupil = NewField(stu, "pupil_number", true);
    AddStudentConditions(stu, false);
    m_includedStudents.clear();
    // Every student table and the attendance are filtered by this set: read as empty, it would write the
    // students' files empty and send their absences as gone.
    if (!OpenTable(true, RowPasses::Once)) {
        reportAndThrow(Critical,
                       "The included students could not be read; the run stops before it writes "
                       "or sends anything that depends on them.");
    }
    for (bool more = GetFirstRecord(); more; more = GetNextRecord()) {
        m_includedStudents.insert(fieldText(pupil));
    }
    EndHeader();
}

void ExpEngine::StudentDemographics() {
    BeginHeader("Student Demographics", "Students.cef");
    m_fields = FieldHandles();
    ODBCTable* stu = AddTable(kDemographicView, "STU");
    m_fields.pupilNumber = AddField(stu, "pupil_number", asText(), "StdKey", true);
    AddField(stu, "legal_name", computed(&ExpEngine::FormatStudentLastName), "StdLastName", false);
    m_fields.lastNameSuffix = NewField(stu, "last_name_suffix", false);
    NewField(stu, "surname", false);
    AddField(stu, "first_name", asText(), "StdFirstName", false);
    AddField(stu, "second_name", asText(), "StdMidName", false);
    AddField(stu, "preferred_first_name", asText(), "StdNickName", false);
    AddField(stu, "sex", asText(), "StdSex", false);
    AddField(stu, "birth_date", asDate(), "StdBirthDate", false);
    AddField(stu, "street_number", computed(&ExpEngine::FormatStudentAddress), "StdAddress1", false);
    m_fields.streetName = NewField(stu, "street_name", false);
    m_fields.apartment = NewField(stu, "apartment", false);
    AddField(stu, "municipality_desc", asText(), "StdCity", false);
    AddField(stu, "province", asText(), "StdState", false);
    AddField(stu, "postal_code", asText(), "StdZip", false);
    AddField(stu, "mailing_address", computed(&ExpEngine::FormatMailingAddress), "StdMailAddress1", false);
    AddField(stu, "grade", asText(), "StdGradeLevel", false);
    AddField(stu, "teacher_id", asText(), "StdHRTchRef", false);
    AddField(stu, "councellor_id", asText(), "StdCounselorRef", false);
    AddField(stu, "locker_number", asText(), "StdLocker", false);
    AddField(stu, "locker_combo_1", computed(&ExpEngine::FormatLockerCombo), "StdCombo", false);
    m_fields.lockerCombo2 = NewField(stu, "locker_combo_2", false);
    m_fields.lockerCombo3 = NewField(stu, "locker_combo_3", false);
    AddCustomField(stu, "phone", asText(), "StdPhone", false, "Phone", "Phone", "#customcomfield", "phone");
    AddCustomField(stu, "phone_unlisted", asText(), "StdPhoneUnlisted", false, "PhoneUnlisted", "Unlisted",
                   "#customcomfield", "noformat");
    AddField(stu, "language_desc", asText(), "StdLanguage", false);
    AddCustomField(stu, "first_language_desc", asText(), "StdFirstLanguage", false, "FirstLanguage",
                   "1st Lang", "#custombasicfield", "");
    // With one default calendar (a bell schedule without grade) students carry no calendar reference.
    if (!m_defaultBell) {
        AddField(stu, "grade", asText(), "StdCalRef", false);
    }
    AddStudentConditions(stu, false);
    WriteTable(includedStudentRowFilter());
    EndHeader();
}

void ExpEngine::StudentTransport() {
    struct Column {
        const char* outputName;
        const char* customName;
        const char* customTitle;
        const char* sourceColumn;
    };
    static const Column kColumns[TransportAggregator::kValueColumns] = {
        {"StdStopType", "StopType", "Stop Type", "stop_type"},
        {"StdBusRoute", "BusRoute", "Bus Route", "bus_route_number"},
        {"StdBusNumber", "BusNumber", "Bus Number", "bus_number_id"},
        {"StdBusDesc", "BusDesc", "Bus Desc", "bus_description"},
        {"StdStopNum", "StopNum", "Stop Num", "stop_number"},
        {"StdStopTime", "StopTime", "Stop Time", "stop_time"},
        {"StdStopDesc", "StopDesc", "Stop Desc", "stop_desc"},
    };

    BeginHeader("Student Transport", "StudentTransport.cef");
    m_fields = FieldHandles();
    // Every line carries the pupil number and all seven texts, so the header lists all eight fields; a
    // column the view lacks reads as empty.
    AddHeaderField("StdKey");
    for (const Column& column : kColumns) {
        AddHeaderField(column.outputName);
        CDEWriter::AddCustomField(column.customName, column.customTitle, "#customschoolfield", "noformat");
    }

    ODBCTable* stu = AddTable(kTransportView, "STU");
    m_fields.pupilNumber = NewField(stu, "pupil_number", true);
    ODBCField* values[TransportAggregator::kValueColumns];
    for (int i = 0; i < TransportAggregator::kValueColumns; ++i) {
        values[i] = NewField(stu, kColumns[i].sourceColumn, false);
    }
    AddStudentConditions(stu, false);
    // The rows of one student in the order of the day (stop time, then stop type), so that the accumulated
    // texts come out the same on every run and with every database.
    AddOrder(m_fields.pupilNumber);
    for (ODBCField* field : {values[5], values[0]}) {
        if (field != nullptr) {
            AddOrder(field);
        }
    }

    WriteOwnTable(RowPasses::Once, [&](XTextFile& file) {
        int lines = 0;
        const auto writeLine = [&](const TransportAggregator::Line& line) {
            for (const XString& value : line) {
                file.writeField(value);
            }
            file.endLine();
            ++lines;
        };
        TransportAggregator aggregator;
        for (bool more = GetFirstRecord(); more; more = GetNextRecord()) {
            if (!IncludedStudentFilter()) {
                continue;
            }
            TransportAggregator::Values row;
            for (int i = 0; i < TransportAggregator::kValueColumns; ++i) {
                // Single-line: a line break inside a value would split the table file's row.
                row[static_cast<size_t>(i)] = GetFieldSingleLine(values[i]);
            }
            if (auto line = aggregator.add(GetFieldText(m_fields.pupilNumber), row)) {
                writeLine(*line);
            }
        }
        if (auto line = aggregator.finish()) {
            writeLine(*line);
        }
        return lines;
    });
    EndHeader();
}

void ExpEngine::StudentMedical() {
    BeginHeader("Student Medical", "StudentMed.cef");
    m_fields = FieldHandles();
    ODBCTable* med = AddTable(kMedicalView, "MED");
    ODBCTable* stu = AddTable(kDemographicView, "STU");
    m_fields.pupilNumber = AddField(stu, "pupil_number", asText(), "StdKey", true);
    AddCustomField(med, "medical_health_card_no", asText(), "StdHealthCard", false, "HealthCard",
                   "Health Card", "#customcomfield", "noformat");
    AddCustomField(med, "medical_preferred_hospital", asText(), "StdPrefHospital", false, "PrefHospital",
                   "Pref. Hosp", "#customschoolfield", "noformat");
    AddField(med, "medical_allergies", computed(&ExpEngine::FormatMedicalAlert), "StdMedAlert", false);
    m_fields.lifeThreatening = NewField(med, "medical_life_threatning", false);
    AddCustomField(med, "medical_permission_to_transp", asText(), "StdPermTransport", false, "PermTransport",
                   "Can Transport", "#customcomfield", "noformat");
    AddCustomField(med, "medical_physical_exam_date", computed(&ExpEngine::FormatPhysicalExam), "StdPhysExam",
                   false, "PhysExam", "Phys Exam", "#customcomfield", "noformat");
    m_fields.examResult = NewField(med, "medical_physic_exam_pass_fail", false);
    AddCustomField(med, "medical_athletic_status", asText(), "StdAthStatus", false, "AthStatus", "Ath Status",
                   "#customcomfield", "noformat");
    ODBCField* medPupil = NewField(med, "student_pupil_number", true);
    AddCondition("", m_fields.pupilNumber, "=", medPupil);
    AddStudentConditions(stu, true);
    WriteTable(includedStudentRowFilter());
    EndHeader();
}

// --- Computed columns ---

XString ExpEngine::FormatStudentLastName() {
    return NorvRules::studentLastName(GetFieldText(currentField()), GetFieldText(m_fields.lastNameSuffix));
}

XString ExpEngine::FormatStudentAddress() {
    return NorvRules::studentStreetAddress(GetFieldText(currentField()), GetFieldText(m_fields.streetName),
                                           GetFieldText(m_fields.apartment));
}

XString ExpEngine::FormatMailingAddress() {
    return NorvRules::mailingAddress(GetFieldText(currentField()));
}

XString ExpEngine::FormatLockerCombo() {
    return NorvRules::lockerCombination(GetFieldText(currentField()), GetFieldText(m_fields.lockerCombo2),
                                        GetFieldText(m_fields.lockerCombo3));
}

XString ExpEngine::FormatMedicalAlert() {
    return NorvRules::medicalAlert(GetFieldText(m_fields.lifeThreatening),
                                   GetFieldSingleLine(currentField()));
}

XString ExpEngine::FormatPhysicalExam() {
    return NorvRules::physicalExam(GetFieldText(m_fields.examResult),
                                   GetFieldDate(currentField()).Format(kTextDateFormat));
}
