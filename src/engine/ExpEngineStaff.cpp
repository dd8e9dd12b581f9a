// The staff steps of ExpEngine: demographics, vehicles, contacts, medical data and doctor of every staff
// row of the school. The staff view holds one row per contact, and each row is written as it comes.
#include "engine/ExpEngine.h"
#include "engine/NorvViews.h"

using namespace norv_views;

void ExpEngine::StaffDemographics() {
    BeginHeader("Staff Demographics", "Staff.cef");
    m_fields = FieldHandles();
    ODBCTable* staff = AddTable(kStaffView, "STAFF");
    AddField(staff, "teach_id", asText(), "StaffKey", true);
    AddField(staff, "teach_name_prefix", asText(), "StaffSalutation", false);
    AddField(staff, "teach_last_name", asText(), "StaffLastName", false);
    AddField(staff, "teach_first_name", asText(), "StaffFirstName", false);
    AddField(staff, "teach_second_name", asText(), "StaffMidName", false);
    AddField(staff, "teach_sex", asText(), "StaffSex", false);
    AddField(staff, "teach_birth_date", asDate(), "StaffBirthDate", false);
    AddField(staff, "teach_address", computed(&ExpEngine::FormatMailingAddress), "StaffAddress1", false);
    AddCustomField(staff, "teach_PHONE", asText(), "StaffPhone", false, "Phone", "Phone", "#customcomfield",
                   "phone");
    AddCustomField(staff, "teach_CELL_PHONE", asText(), "StaffCell", false, "Cell", "Cell", "#customcomfield",
                   "phone");
    AddCustomField(staff, "teach_EMAIL_ADDRESS", asText(), "StaffEmail", false, "Email", "Email",
                   "#customcomfield", "email");
    AddCustomField(staff, "teach_PAGER_NO", asText(), "StaffPager", false, "Pager", "Pager",
                   "#customcomfield", "phone");
    AddCustomField(staff, "teach_WORK_PHONE", asText(), "StaffWorkPhone", false, "WorkPhone", "Work Phone",
                   "#customcomfield", "phone");
    AddCustomField(staff, "teach_VOICEMAIL", asText(), "StaffVoiceMail", false, "VoiceMail", "Voicemail",
                   "#customcomfield", "phone");
    AddCustomField(staff, "medical_HEALTH_FACTOR_CODE", asText(), "StaffHealthFactorCode", false,
                   "HealthFactorCode", "Health Factor", "#customcomfield", "noformat");
    AddCustomField(staff, "medical_HEALTH_INSURANCE", asText(), "StaffHealthInsurance", false,
                   "HealthInsurance", "Health Insur.", "#customcomfield", "noformat");
    AddCustomField(staff, "medical_VALID_FIRST_AID", asText(), "StaffValidFirstAid", false, "ValidFirstAid",
                   "First Aid", "#customschoolfield", "");
    AddCustomField(staff, "medical_TRANSPORT_PERMISSION", asText(), "StaffTransportPermission", false,
                   "TransportPermission", "Can Transport", "#customcomfield", "noformat");
    AddCustomField(staff, "medical_APPROVAL_DATE", asDate(), "StaffApprovalDate", false, "ApprovalDate",
                   "Med. Approval", "#customcomfield", "noformat");
    AddSchoolCondition(staff, "school_school");
    WriteTable();
    EndHeader();
}

void ExpEngine::StaffVehicles() {
    BeginHeader("Staff Vehicles", "StaffVehicles.cef");
    m_fields = FieldHandles();
    ODBCTable* veh = AddTable(kVehicleView, "VEH");
    AddField(veh, "teach_id", asText(), "StaffKey", true);
    AddCustomField(veh, "VEH_make", computed(&ExpEngine::FormatVehicle), "StaffVehicle", false, "Vehicle",
                   "Vehicle", "#customschoolfield", "");
    m_fields.vehicleModel = NewField(veh, "VEH_model", false);
    m_fields.vehicleYear = NewField(veh, "VEH_year", false);
    m_fields.vehicleColour = NewField(veh, "VEH_colour", false);
    AddField(veh, "VEH_licence_number", asText(), "StaffLicPlate", false);
    AddField(veh, "VEH_parking_space_number", asText(), "StaffParkSpot", false);
    AddSchoolCondition(veh, "SCHOOL_school");
    WriteTable();
    EndHeader();
}

void ExpEngine::StaffContacts() {
    BeginHeader("Staff Contacts", "StaffCon.cef");
    m_fields = FieldHandles();
    ODBCTable* staff = AddTable(kStaffView, "STAFF");
    AddField(staff, "teach_id", asText(), "ConStaffRef", true);
    AddField(staff, "contacts_id", asText(), "ConKey", true);
    AddConstantField(staff, "contacts_id", "Contact", "ConType", true);
    AddField(staff, "contacts_CONTACT_NAME", asText(), "ConFullName", false);
    AddCustomField(staff, "contacts_CONTACT_HOME_PHONE", asText(), "ConHomePhone", false, "HomePhone",
                   "Home Phone", "#customcomfield", "phone");
    AddCustomField(staff, "contacts_CONTACT_WORK_PHONE", asText(), "ConWorkPhone", false, "WorkPhone",
                   "Work Phone", "#customcomfield", "phone");
    AddSchoolCondition(staff, "school_school");
    WriteTable();
    EndHeader();
}

void ExpEngine::StaffMedical() {
    struct Column {
        const char* column;
        const char* outputName;
        const char* customName;
        const char* customTitle;
    };
    static const Column kColumns[] = {
        {"medical_HEALTH_FACTOR_CODE", "StaffHealthFactorCode", "HealthFactorCode", "Health Factor"},
        {"medical_HEALTH_INSURANCE", "StaffHealthInsurance", "HealthInsurance", "Health Insurance"},
        {"medical_VALID_FIRST_AID", "StaffValidFirstAid", "ValidFirstAid", "First Aid"},
        {"medical_EXPIRE_DATE", "StaffExpireDate", "ExpireDate", "Expire Date"},
        {"medical_TRANSPORT_PERMISSION", "StaffTransportPerm", "TransportPerm", "Transport Perm."},
        {"medical_APPROVAL_DATE", "StaffApprovalDate", "ApprovalDate", "Approval Date"},
    };

    BeginHeader("Staff Medical", "StaffMed.cef");
    m_fields = FieldHandles();
    ODBCTable* staff = AddTable(kStaffView, "STAFF");
    AddField(staff, "teach_id", asText(), "StaffKey", true);
    for (const Column& column : kColumns) {
        AddCustomField(staff, column.column, asText(), column.outputName, false, column.customName,
                       column.customTitle, "#customschoolfield", "");
    }
    AddSchoolCondition(staff, "school_school");
    WriteTable();
    EndHeader();
}

void ExpEngine::StaffDoctor() {
    BeginHeader("Staff Doctor", "StaffDoc.cef");
    m_fields = FieldHandles();
    ODBCTable* staff = AddTable(kStaffView, "STAFF");
    AddField(staff, "teach_id", asText(), "ConStaffRef", true);
    AddField(staff, "contacts_id", asText(), "ConKey", true);
    AddConstantField(staff, "contacts_id", "Doctor", "ConRelationship", false);
    AddConstantField(staff, "contacts_id", "Health", "ConType", false);
    AddField(staff, "medical_DOCTOR_NAME", asText(), "ConFullName", false);
    AddCustomField(staff, "medical_DOCTOR_PHONE", asText(), "ConPhone", false, "Phone", "Phone",
                   "#customcomfield", "phone");
    AddSchoolCondition(staff, "school_school");
    WriteTable();
    EndHeader();
}

// --- Computed columns ---

XString ExpEngine::FormatVehicle() {
    return NorvRules::vehicleDescription(GetFieldText(m_fields.vehicleYear),
                                         GetFieldText(m_fields.vehicleColour), GetFieldText(currentField()),
                                         GetFieldText(m_fields.vehicleModel));
}
