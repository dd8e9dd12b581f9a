// The staff tables against the real sample sources, compared with files computed here from the generator's
// data: one row per contact row of the staff view, every row of the school and none of another.
#include <gtest/gtest.h>

#include "engine_SourceFixture.h"

using namespace enginetest;

namespace {

using Row = SampleData::Row;

std::vector<Row> staffRows(const char* view, const char* schoolColumn, const QString& school) {
    std::vector<Row> rows;
    for (const Row& r : SampleData::instance().rows(view)) {
        if (str(r, schoolColumn) == school) {
            rows.push_back(r);
        }
    }
    return rows;
}

template <typename Line>
QList<QByteArray> expectedStaff(const char* view, const char* schoolColumn, const QString& school,
                                Line line) {
    QList<QByteArray> lines;
    for (const Row& r : staffRows(view, schoolColumn, school)) {
        lines.append(joinLine(line(r)));
    }
    return sortedLines(lines.join());
}

// A date column read as text: the data access layer's date and time text.
QByteArray dateAsText(const QJsonValue& value) {
    return value.isString() ? value.toString().replace('-', '/').toLatin1() + " 0:00:00" : QByteArray();
}

class Staff : public SampleSourceTest {};

TEST_P(Staff, EveryStaffRowOfTheSchool) {
    const Extraction& run = fullExtraction(source, "1021");
    ASSERT_TRUE(run.succeeded);
    const char* view = "V_VLMR_TEACH_CONTACTS_MEDICAL";
    const QList<QByteArray> staff = expectedStaff(view, "school_school", "1021", [](const Row& r) {
        QByteArray address = columnText(r.at("teach_address"));
        address.replace('\n', ' ');
        return QList<QByteArray>{outputText(r.at("teach_id")),
                                 outputText(r.at("teach_name_prefix")),
                                 outputText(r.at("teach_last_name")),
                                 outputText(r.at("teach_first_name")),
                                 outputText(r.at("teach_second_name")),
                                 outputText(r.at("teach_sex")),
                                 dateText(r.at("teach_birth_date")),
                                 address,
                                 outputText(r.at("teach_PHONE")),
                                 outputText(r.at("teach_CELL_PHONE")),
                                 outputText(r.at("teach_EMAIL_ADDRESS")),
                                 outputText(r.at("teach_PAGER_NO")),
                                 outputText(r.at("teach_WORK_PHONE")),
                                 outputText(r.at("teach_VOICEMAIL")),
                                 outputText(r.at("medical_HEALTH_FACTOR_CODE")),
                                 outputText(r.at("medical_HEALTH_INSURANCE")),
                                 outputText(r.at("medical_VALID_FIRST_AID")),
                                 outputText(r.at("medical_TRANSPORT_PERMISSION")),
                                 dateText(r.at("medical_APPROVAL_DATE"))};
    });
    const QList<QByteArray> contacts = expectedStaff(view, "school_school", "1021", [](const Row& r) {
        return QList<QByteArray>{outputText(r.at("teach_id")),
                                 outputText(r.at("contacts_id")),
                                 "Contact",
                                 outputText(r.at("contacts_CONTACT_NAME")),
                                 outputText(r.at("contacts_CONTACT_HOME_PHONE")),
                                 outputText(r.at("contacts_CONTACT_WORK_PHONE"))};
    });
    const QList<QByteArray> medical = expectedStaff(view, "school_school", "1021", [](const Row& r) {
        return QList<QByteArray>{outputText(r.at("teach_id")),
                                 outputText(r.at("medical_HEALTH_FACTOR_CODE")),
                                 outputText(r.at("medical_HEALTH_INSURANCE")),
                                 outputText(r.at("medical_VALID_FIRST_AID")),
                                 dateAsText(r.at("medical_EXPIRE_DATE")),
                                 outputText(r.at("medical_TRANSPORT_PERMISSION")),
                                 dateAsText(r.at("medical_APPROVAL_DATE"))};
    });
    const QList<QByteArray> doctor = expectedStaff(view, "school_school", "1021", [](const Row& r) {
        return QList<QByteArray>{outputText(r.at("teach_id")),
                                 outputText(r.at("contacts_id")),
                                 "Doctor",
                                 "Health",
                                 outputText(r.at("medical_DOCTOR_NAME")),
                                 outputText(r.at("medical_DOCTOR_PHONE"))};
    });
    const QList<QByteArray> vehicles =
        expectedStaff("V_VLMR_TEACHER_VEHICLES", "SCHOOL_school", "1021", [](const Row& r) {
            return QList<QByteArray>{
                outputText(r.at("teach_id")),
                valueText(r.at("VEH_year")) + " " + columnText(r.at("VEH_colour")) + " " +
                    columnText(r.at("VEH_make")) + " " + columnText(r.at("VEH_model")),
                outputText(r.at("VEH_licence_number")), outputText(r.at("VEH_parking_space_number"))};
        });

    // The sample holds what the rules are about: a staff member with two contact rows (written twice), a
    // vehicle without colour (two blanks), and a staff member of two schools.
    ASSERT_TRUE(std::adjacent_find(staff.begin(), staff.end()) != staff.end());
    ASSERT_TRUE(std::any_of(vehicles.begin(), vehicles.end(), [](const QByteArray& line) {
        return line.split('\t')[1] == "2005  Honda Civic";
    }));
    EXPECT_EQ(sortedLines(run.file("Staff.cef")), staff);
    EXPECT_EQ(sortedLines(run.file("StaffCon.cef")), contacts);
    EXPECT_EQ(sortedLines(run.file("StaffMed.cef")), medical);
    EXPECT_EQ(sortedLines(run.file("StaffDoc.cef")), doctor);
    EXPECT_EQ(sortedLines(run.file("StaffVehicles.cef")), vehicles);

    // Staff of another school only (the homeroom teacher of some 1021 students belongs to 2040) are not
    // written.
    std::set<QByteArray> own;
    for (const Row& r : staffRows(view, "school_school", "1021")) {
        own.insert(columnText(r.at("teach_id")));
    }
    int others = 0;
    for (const Row& r : staffRows(view, "school_school", "2040")) {
        const QByteArray id = columnText(r.at("teach_id"));
        if (!id.isEmpty() && own.count(id) == 0) {
            ++others;
            EXPECT_FALSE(run.file("Staff.cef").contains(id + "\t")) << id.toStdString();
        }
    }
    EXPECT_GT(others, 0);
}

INSTANTIATE_TEST_SUITE_P(Sources, Staff, ::testing::Values(SourceKind::SQLite, SourceKind::PostgreSQL),
                         [](const ::testing::TestParamInfo<SourceKind>& info) {
                             return info.param == SourceKind::SQLite ? "SQLite" : "PostgreSQL";
                         });

}  // namespace
