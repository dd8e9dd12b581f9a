// The contact steps of ExpEngine: the parents and the emergency contacts of the included students, one row
// per contact and student (a contact shared by siblings is written once for each).
#include "engine/ExpEngine.h"
#include "engine/NorvViews.h"

using namespace norv_views;

void ExpEngine::StudentParentContacts() {
    BeginHeader("Student Parent Contacts", "StudentParent.cef");
    m_fields = FieldHandles();
    ODBCTable* con = AddTable(kParentView, "STUCON");
    ODBCTable* stu = AddTable(kDemographicView, "STU");
    m_fields.pupilNumber = AddField(con, "pupil_number", asText(), "ConStdRef", true);
    AddField(con, "par_surname", computed(&ExpEngine::FormatContactKey), "ConKey", true);
    AddField(con, "par_surname", asText(), "ConLastName", false);
    m_fields.contactFirstName = AddField(con, "par_first_name", asText(), "ConFirstName", false);
    AddField(con, "parent_type_desc", asText(), "ConRelationship", false);
    AddField(con, "prefix", asText(), "ConSalutation", false);
    AddField(con, "address", &DataAccessBase::FormatOneLine, "ConAddress1", false);
    AddCustomField(con, "phone", asText(), "ConPhone", false, "Phone", "Phone", "#customcomfield", "phone");
    AddCustomField(con, "unlisted", &DataAccessBase::FormatYesBlank, "ConPhoneUnlisted", false,
                   "PhoneUnlisted", "Unlisted", "#customcomfield", "noformat");
    AddCustomField(con, "mobile_phone", asText(), "ConCell", false, "Cell", "Cell", "#customcomfield",
                   "phone");
    AddCustomField(con, "work_phone", computed(&ExpEngine::FormatWorkPhone), "ConWorkPhone", false,
                   "WorkPhone", "Work Phone", "#customcomfield", "phone");
    m_fields.workExtension = NewField(con, "work_extention", false);
    AddCustomField(con, "voice_mail", asText(), "ConVoiceMail", false, "VoiceMail", "Voice Mail",
                   "#customcomfield", "phone");
    AddCustomField(con, "fax_no", asText(), "ConFax", false, "Fax", "Fax", "#customcomfield", "phone");
    AddField(con, "language_desc", asText(), "ConLanguage", false);
    AddField(con, "living_with", asText(), "ConLivesWith", false);
    AddField(con, "emergency_contact", asText(), "ConIsEmergency", false);
    AddConstantField(con, "pupil_number", "Family", "ConType", true);
    ODBCField* stuPupil = NewField(stu, "pupil_number", true);
    AddCondition("", m_fields.pupilNumber, "=", stuPupil);
    AddStudentConditions(stu, true);
    WriteTable(includedStudentRowFilter());
    EndHeader();
}

void ExpEngine::StudentEmergencyContacts() {
    BeginHeader("Student Emergency Contacts", "StudentConEmerg.cef");
    m_fields = FieldHandles();
    ODBCTable* con = AddTable(kEmergencyView, "STUCON");
    ODBCTable* stu = AddTable(kDemographicView, "STU");
    m_fields.pupilNumber = AddField(con, "pupil_number", asText(), "ConStdRef", true);
    AddField(con, "em_surname", computed(&ExpEngine::FormatContactKey), "ConKey", true);
    AddField(con, "em_surname", asText(), "ConLastName", false);
    m_fields.contactFirstName = AddField(con, "em_first_name", asText(), "ConFirstName", false);
    AddField(con, "relationship_desc", asText(), "ConRelationship", false);
    AddField(con, "address", &DataAccessBase::FormatOneLine, "ConAddress1", false);
    AddCustomField(con, "HOME_PHONE", asText(), "ConPhone", false, "Phone", "Phone", "#customcomfield",
                   "phone");
    AddCustomField(con, "MOBILE_PHONE", asText(), "ConCell", false, "Cell", "Cell", "#customcomfield",
                   "phone");
    AddCustomField(con, "WORK_PHONE", computed(&ExpEngine::FormatWorkPhone), "ConWorkPhone", false,
                   "WorkPhone", "Work Phone", "#customcomfield", "phone");
    m_fields.workExtension = NewField(con, "WORK_PHONE_EXT", false);
    AddCustomField(con, "PAGER", asText(), "ConPager", false, "Pager", "Pager", "#customcomfield", "phone");
    AddCustomField(con, "VOICE_MAIL", asText(), "ConVoiceMail", false, "VoiceMail", "Voice Mail",
                   "#customcomfield", "phone");
    AddCustomField(con, "FAX_NO", asText(), "ConFax", false, "Fax", "Fax", "#customcomfield", "phone");
    AddField(con, "language_desc", asText(), "ConLanguage", false);
    AddField(con, "can_pickup", asText(), "ConPickup", false);
    // Bound to an optional column: a view without language_code writes no ConType.
    AddConstantField(con, "language_code", "Emergency", "ConType", false);
    AddField(con, "CALL_SEQUENCE", asText(), "ConCallingOrder", false);
    ODBCField* stuPupil = NewField(stu, "pupil_number", true);
    AddCondition("", m_fields.pupilNumber, "=", stuPupil);
    AddStudentConditions(stu, true);
    WriteTable(includedStudentRowFilter());
    EndHeader();
}

// --- Computed columns ---

XString ExpEngine::FormatContactKey() {
    return NorvRules::contactKey(GetFieldText(m_fields.contactFirstName), FormatText());
}

XString ExpEngine::FormatWorkPhone() {
    return NorvRules::workPhone(FormatText(), GetFieldText(m_fields.workExtension));
}
