"""The views of the Norv source database that the extractor reads, as one description for both engines.

Every view is a plain table here. Column names are spelt exactly as the extractor writes them (some upper
case, some mixed); the SQLite file keeps that spelling, PostgreSQL folds the unquoted names to lower case,
which is what the extractor's unquoted names fold to as well. The catalogue view all_tab_columns reports
both in upper case, as Oracle does.

Column kinds:
  text       character data
  int        whole number; every column the extractor compares with an unquoted number is one (SQLite
             compares a TEXT column with an integer as unequal)
  date       calendar date (ODBC reports SQL_TYPE_DATE in both engines)
  timestamp  date and time (SQL_TYPE_TIMESTAMP); never exactly midnight, see the generator
  numeric    decimal number with two decimals
"""

VIEWS = [
    ("V_VLMR_SCHOOL", [
        ("school", "text"), ("long_name", "text"), ("attendance_type", "text"),
        ("alternate_period_attendance", "text"),
    ]),
    ("V_VLMR_STU_DEMOGRAPHIC", [
        ("pupil_number", "text"), ("school", "text"), ("registered_indicator", "text"),
        ("withdraw_date", "date"), ("legal_name", "text"), ("last_name_suffix", "text"),
        ("surname", "text"), ("first_name", "text"), ("second_name", "text"),
        ("preferred_first_name", "text"), ("sex", "text"), ("birth_date", "date"),
        ("street_number", "text"), ("street_name", "text"), ("apartment", "text"),
        ("municipality_desc", "text"), ("province", "text"), ("postal_code", "text"),
        ("mailing_address", "text"), ("grade", "text"), ("teacher_id", "text"),
        ("councellor_id", "text"), ("locker_number", "text"), ("locker_combo_1", "text"),
        ("locker_combo_2", "text"), ("locker_combo_3", "text"), ("phone", "text"),
        ("phone_unlisted", "text"), ("language_desc", "text"), ("first_language_desc", "text"),
    ]),
    ("V_VLMR_STUDENT_MEDICAL", [
        ("student_pupil_number", "text"), ("medical_health_card_no", "text"),
        ("medical_preferred_hospital", "text"), ("medical_allergies", "text"),
        ("medical_life_threatning", "text"), ("medical_permission_to_transp", "text"),
        ("medical_physical_exam_date", "date"), ("medical_physic_exam_pass_fail", "text"),
        ("medical_athletic_status", "text"),
    ]),
    ("V_VLMR_STU_TRANSPORT", [
        ("pupil_number", "text"), ("school", "text"), ("registered_indicator", "text"),
        ("withdraw_date", "date"), ("stop_type", "text"), ("bus_route_number", "text"),
        ("bus_number_id", "text"), ("bus_description", "text"), ("stop_number", "text"),
        ("stop_time", "text"), ("stop_desc", "text"),
    ]),
    ("V_VLMR_STU_CONTACT_PARENTS", [
        ("pupil_number", "text"), ("par_surname", "text"), ("par_first_name", "text"),
        ("parent_type_desc", "text"), ("prefix", "text"), ("address", "text"), ("phone", "text"),
        ("unlisted", "int"), ("mobile_phone", "text"), ("work_phone", "text"),
        ("work_extention", "text"), ("voice_mail", "text"), ("fax_no", "text"),
        ("language_desc", "text"), ("living_with", "text"), ("emergency_contact", "text"),
    ]),
    ("V_VLMR_EMERGENCY_CONTACTS", [
        ("pupil_number", "text"), ("em_surname", "text"), ("em_first_name", "text"),
        ("relationship_desc", "text"), ("address", "text"), ("HOME_PHONE", "text"),
        ("MOBILE_PHONE", "text"), ("WORK_PHONE", "text"), ("WORK_PHONE_EXT", "text"),
        ("PAGER", "text"), ("VOICE_MAIL", "text"), ("FAX_NO", "text"), ("language_desc", "text"),
        ("can_pickup", "text"), ("language_code", "text"), ("CALL_SEQUENCE", "int"),
    ]),
    ("V_VLMR_STU_COURSE_SELECTION", [
        ("pupil_number", "text"), ("course_code", "text"), ("timetable_id", "int"),
    ]),
    ("V_VLMR_STUDENT_MARKS", [
        ("pupil_number", "text"), ("timetable_id", "int"), ("cours_id", "text"), ("REPORT_ID", "int"),
        ("mark", "text"), ("final_exam", "text"), ("semester_grade", "text"), ("year_final", "text"),
        ("LEARNING_SKILL_1", "text"), ("LEARNING_SKILL_2", "text"), ("LEARNING_SKILL_3", "text"),
        ("LEARNING_SKILL_4", "text"), ("LEARNING_SKILL_5", "text"),
    ]),
    ("V_VLMR_COURSE_SECT_MAINT", [
        ("id", "int"), ("school", "text"), ("year", "int"), ("course_code", "text"), ("title", "text"),
        ("teacher_id", "text"), ("start_date", "date"), ("stop_date", "date"), ("semester", "int"),
        ("term", "int"), ("day", "text"), ("period", "text"), ("room_long_name", "text"),
        ("credit_value", "numeric"),
    ]),
    ("V_VLMR_STU_PERIOD_ATTENDANCE", [
        ("pupil_number", "text"), ("school", "text"), ("absent_date", "date"), ("period", "text"),
        ("absent_code", "text"), ("reason_code", "text"), ("create_date", "timestamp"),
        ("mod_date", "timestamp"),
    ]),
    ("V_VLMR_STU_DAILY_ATTENDANCE", [
        ("pupil_number", "text"), ("school", "text"), ("absent_date", "date"),
        ("am_attendance_score", "text"), ("reason_code_am", "text"), ("pm_attendance_score", "text"),
        ("reason_code_pm", "text"), ("create_date", "timestamp"), ("mod_date", "timestamp"),
    ]),
    ("V_VLMR_ATTENDANCE_CODE", [
        ("SCHOOL", "text"), ("ATTENDANCE_CODE", "text"), ("ATTENDANCE_DESC", "text"),
        ("SUB_ALLOCATION_CODE", "text"),
    ]),
    ("V_VLMR_ATTENDANCE_CYCLES", [
        ("school", "text"), ("school_year", "int"), ("effective_date", "date"), ("day", "text"),
        ("cycle", "text"),
    ]),
    ("V_VLMR_CURRENT_YEAR_CALENDAR", [("school", "text"), ("year", "int"), ("period", "text")]
     + [("D%d" % i, "text") for i in range(1, 21)]),
    ("V_VLMR_REPORTING_PERIOD", [
        ("id", "int"), ("school", "text"), ("long_name", "text"), ("marking_start_date", "date"),
        ("marking_end_date", "date"),
    ]),
    ("V_VLMR_PERIOD_STAR_TEND", [
        ("school", "text"), ("grade", "text"), ("grade_desc", "text"), ("period", "text"),
        ("start_time", "text"), ("end_time", "text"),
    ]),
    ("V_VLMR_TEACH_CONTACTS_MEDICAL", [
        ("teach_id", "text"), ("school_school", "text"), ("teach_name_prefix", "text"),
        ("teach_last_name", "text"), ("teach_first_name", "text"), ("teach_second_name", "text"),
        ("teach_sex", "text"), ("teach_birth_date", "date"), ("teach_address", "text"),
        ("teach_PHONE", "text"), ("teach_CELL_PHONE", "text"), ("teach_EMAIL_ADDRESS", "text"),
        ("teach_PAGER_NO", "text"), ("teach_WORK_PHONE", "text"), ("teach_VOICEMAIL", "text"),
        ("medical_HEALTH_FACTOR_CODE", "text"), ("medical_HEALTH_INSURANCE", "text"),
        ("medical_VALID_FIRST_AID", "text"), ("medical_TRANSPORT_PERMISSION", "text"),
        ("medical_APPROVAL_DATE", "date"), ("medical_EXPIRE_DATE", "date"),
        ("medical_DOCTOR_NAME", "text"), ("medical_DOCTOR_PHONE", "text"), ("contacts_id", "text"),
        ("contacts_CONTACT_NAME", "text"), ("contacts_CONTACT_HOME_PHONE", "text"),
        ("contacts_CONTACT_WORK_PHONE", "text"),
    ]),
    ("V_VLMR_TEACHER_VEHICLES", [
        ("teach_id", "text"), ("SCHOOL_school", "text"), ("VEH_make", "text"), ("VEH_model", "text"),
        ("VEH_year", "int"), ("VEH_colour", "text"), ("VEH_licence_number", "text"),
        ("VEH_parking_space_number", "text"),
    ]),
]

# Columns the extractor joins or filters on; indexed so that large samples stay quick to query.
INDEXES = [
    ("V_VLMR_STU_DEMOGRAPHIC", "pupil_number"), ("V_VLMR_STU_DEMOGRAPHIC", "school"),
    ("V_VLMR_STUDENT_MEDICAL", "student_pupil_number"), ("V_VLMR_STU_TRANSPORT", "pupil_number"),
    ("V_VLMR_STU_CONTACT_PARENTS", "pupil_number"), ("V_VLMR_EMERGENCY_CONTACTS", "pupil_number"),
    ("V_VLMR_STU_COURSE_SELECTION", "pupil_number"), ("V_VLMR_STUDENT_MARKS", "pupil_number"),
    ("V_VLMR_COURSE_SECT_MAINT", "id"), ("V_VLMR_STU_PERIOD_ATTENDANCE", "school"),
    ("V_VLMR_STU_DAILY_ATTENDANCE", "school"),
]

_TYPES = {
    "sqlite": {"text": "TEXT", "int": "INTEGER", "date": "DATE", "timestamp": "DATETIME",
               "numeric": "NUMERIC(6,2)"},
    "postgres": {"text": "VARCHAR(4000)", "int": "INTEGER", "date": "DATE", "timestamp": "TIMESTAMP",
                 "numeric": "NUMERIC(6,2)"},
}


def columns(view):
    for name, cols in VIEWS:
        if name == view:
            return cols
    raise KeyError(view)


def ddl(dialect):
    """The CREATE statements of every view, its indexes and the catalogue view, for 'sqlite' or 'postgres'."""
    types = _TYPES[dialect]
    out = []
    for view, cols in VIEWS:
        body = ",\n  ".join("%s %s" % (c, types[k]) for c, k in cols)
        out.append("CREATE TABLE %s (\n  %s\n);" % (view, body))
    for n, (view, col) in enumerate(INDEXES, 1):
        out.append("CREATE INDEX norv_ix%d ON %s (%s);" % (n, view, col))
    if dialect == "sqlite":
        out.append(
            "CREATE VIEW all_tab_columns AS\n"
            "  SELECT upper(m.name) AS table_name, upper(p.name) AS column_name\n"
            "  FROM sqlite_master m JOIN pragma_table_info(m.name) p\n"
            "  WHERE m.type IN ('table', 'view') AND m.name NOT LIKE 'sqlite%' AND m.name <> 'all_tab_columns'\n"
            "  ORDER BY m.rowid, p.cid;")
    else:
        out.append(
            "CREATE VIEW all_tab_columns AS\n"
            "  SELECT upper(c.table_name)::varchar(128) AS table_name,\n"
            "         upper(c.column_name)::varchar(128) AS column_name\n"
            "  FROM information_schema.columns c\n"
            "  WHERE c.table_schema = 'public' AND c.table_name <> 'all_tab_columns';")
    return "\n".join(out) + "\n"
