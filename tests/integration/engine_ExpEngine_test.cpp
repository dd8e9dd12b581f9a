// The engine against the real sample sources (SQLite and PostgreSQL through their ODBC drivers): school
// validation, the school and teacher lists, and runs whose student tables are compared with files computed
// here from the generator's data.
#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <set>

#include "engine_SourceFixture.h"
#include "libraries/platform/CodePage.h"

using namespace enginetest;

namespace {

using Row = SampleData::Row;

// With a bell schedule without grade the school has one default calendar and students carry no StdCalRef.
bool hasDefaultBell(const QString& school) {
    for (const Row& r : SampleData::instance().rows("V_VLMR_PERIOD_STAR_TEND")) {
        if (str(r, "school") == school && columnText(r.at("grade")).isEmpty()) {
            return true;
        }
    }
    return false;
}

QList<QByteArray> expectedStudents(const Selection& selection) {
    const bool defaultBell = hasDefaultBell(selection.school);
    QList<QByteArray> lines;
    for (const Row& r : SampleData::instance().rows("V_VLMR_STU_DEMOGRAPHIC")) {
        if (!selection.matches(r)) {
            continue;
        }
        const QByteArray suffix = columnText(r.at("last_name_suffix"));
        const QByteArray lastName = columnText(r.at("legal_name")) + (suffix.isEmpty() ? "" : " " + suffix);
        const QByteArray apartment = columnText(r.at("apartment"));
        const QByteArray address = (apartment.isEmpty() ? QByteArray() : "Apt: " + apartment + " ") +
                                   columnText(r.at("street_number")) + " " + columnText(r.at("street_name"));
        QByteArray mailing = columnText(r.at("mailing_address"));
        mailing.replace('\n', ' ');
        const QByteArray combo = columnText(r.at("locker_combo_1")) + "-" +
                                 columnText(r.at("locker_combo_2")) + "-" +
                                 columnText(r.at("locker_combo_3"));
        QList<QByteArray> fields{outputText(r.at("pupil_number")),
                                 lastName,
                                 outputText(r.at("first_name")),
                                 outputText(r.at("second_name")),
                                 outputText(r.at("preferred_first_name")),
                                 outputText(r.at("sex")),
                                 dateText(r.at("birth_date")),
                                 address,
                                 outputText(r.at("municipality_desc")),
                                 outputText(r.at("province")),
                                 outputText(r.at("postal_code")),
                                 mailing,
                                 outputText(r.at("grade")),
                                 outputText(r.at("teacher_id")),
                                 outputText(r.at("councellor_id")),
                                 outputText(r.at("locker_number")),
                                 combo,
                                 outputText(r.at("phone")),
                                 outputText(r.at("phone_unlisted")),
                                 outputText(r.at("language_desc")),
                                 outputText(r.at("first_language_desc"))};
        if (!defaultBell) {
            fields.append(outputText(r.at("grade")));
        }
        lines.append(joinLine(fields));
    }
    return sortedLines(lines.join());
}

QList<QByteArray> expectedMedical(const Selection& selection) {
    const auto students = SampleData::instance().rows("V_VLMR_STU_DEMOGRAPHIC");
    QList<QByteArray> lines;
    for (const Row& m : SampleData::instance().rows("V_VLMR_STUDENT_MEDICAL")) {
        for (const Row& s : students) {
            if (!selection.matches(s) || s.at("pupil_number") != m.at("student_pupil_number")) {
                continue;
            }
            const QByteArray life = columnText(m.at("medical_life_threatning"));
            const QByteArray alert =
                (life == "Y" || life == "y" ? QByteArray("***LIFE THREATENING*** - ") : "") +
                singleLine(m.at("medical_allergies"));
            const QByteArray result = columnText(m.at("medical_physic_exam_pass_fail"));
            const QByteArray examDate = dateText(m.at("medical_physical_exam_date"));
            const QByteArray exam =
                result + (!result.isEmpty() && !examDate.isEmpty() ? " on " : "") + examDate;
            lines.append(
                joinLine({outputText(s.at("pupil_number")), outputText(m.at("medical_health_card_no")),
                          outputText(m.at("medical_preferred_hospital")), alert,
                          outputText(m.at("medical_permission_to_transp")), exam,
                          outputText(m.at("medical_athletic_status"))}));
        }
    }
    return sortedLines(lines.join());
}

QByteArray expectedTransport(const Selection& selection) {
    const std::set<QByteArray> included = includedPupils(selection);
    std::vector<Row> rows;
    for (const Row& r : SampleData::instance().rows("V_VLMR_STU_TRANSPORT")) {
        if (selection.matches(r) && included.count(columnText(r.at("pupil_number"))) > 0) {
            rows.push_back(r);
        }
    }
    // Pupil number, then stop time and stop type, compared as the stored bytes.
    const auto key = [](const Row& r) {
        return std::make_tuple(str(r, "pupil_number").toUtf8(), str(r, "stop_time").toUtf8(),
                               str(r, "stop_type").toUtf8());
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) { return key(a) < key(b); });

    const char* const columns[] = {"stop_type",   "bus_route_number", "bus_number_id", "bus_description",
                                   "stop_number", "stop_time",        "stop_desc"};
    QByteArray file;
    QByteArray pupil;
    QList<QByteArray> texts;
    QList<QByteArray> last;
    const auto flush = [&] {
        if (!pupil.isEmpty()) {
            file += joinLine(QList<QByteArray>{pupil} + texts);
        }
    };
    for (const Row& r : rows) {
        const QByteArray key = columnText(r.at("pupil_number"));
        if (key != pupil) {
            flush();
            pupil = key;
            texts = QList<QByteArray>(7);
            last = QList<QByteArray>(7);
        }
        for (int i = 0; i < 7; ++i) {
            const QByteArray value = singleLine(r.at(columns[i]));
            if (value != last[i]) {
                texts[i] += value + "; ";
                last[i] = value;
            }
        }
    }
    flush();
    return file;
}

// A withdrawn student of school, with his withdraw date.
std::pair<QByteArray, QString> withdrawnStudent(const QString& school) {
    for (const Row& r : SampleData::instance().rows("V_VLMR_STU_DEMOGRAPHIC")) {
        if (str(r, "school") == school && str(r, "registered_indicator") == "W" &&
            r.at("withdraw_date").isString()) {
            return {columnText(r.at("pupil_number")), str(r, "withdraw_date")};
        }
    }
    return {};
}

QString parameterDate(const QString& iso) {
    return QDate::fromString(iso, Qt::ISODate).toString("MM/dd/yyyy");
}

bool hasStudent(const QByteArray& studentsFile, const QByteArray& pupil) {
    for (const QByteArray& line : sortedLines(studentsFile)) {
        if (line.startsWith(pupil + "\t")) {
            return true;
        }
    }
    return false;
}

class EngineSource : public SampleSourceTest {
  protected:
    void SetUp() override {
        SampleSourceTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_TRUE(output.isValid());
    }

    QString file(const char* name) const { return output.path() + "/" + name; }

    QTemporaryDir output;
    EngineHarness harness;
};

TEST_P(EngineSource, ConnectionTestAndSchoolValidation) {
    ExpEngine& engine = harness.engine();
    EXPECT_TRUE(engine.TestConnection(source.dsn, source.user, source.password));
    EXPECT_TRUE(engine.ValidateSchoolNumber(source.dsn, source.user, source.password, "1021"));
    EXPECT_TRUE(harness.logged(8, "School Number Validated!"));
    EXPECT_EQ(engine.dbType(), ExpEngine::OracleDbType);
    EXPECT_TRUE(harness.logged(8, "Using Oracle Driver"));

    // An apostrophe in the number stays inside the literal: the condition cannot become always true.
    for (const char* school : {"9999", "0042' OR '1'='1", "1021' OR '1'='1", "'", ""}) {
        EXPECT_FALSE(engine.ValidateSchoolNumber(source.dsn, source.user, source.password, school)) << school;
    }
    EXPECT_TRUE(harness.logged(8, "School Number NOT Validated"));
}

TEST_P(EngineSource, SchoolListOrderedByNumberTextWithDuplicatesOnce) {
    QList<QStringList> records;
    ASSERT_TRUE(harness.engine().LoadSchoolList(records, source.dsn, source.user, source.password));

    std::map<QByteArray, QByteArray> expected;  // number -> first name
    for (const Row& r : SampleData::instance().rows("V_VLMR_SCHOOL")) {
        expected.emplace(columnText(r.at("school")), columnText(r.at("long_name")));
    }
    ASSERT_EQ(records.size(), static_cast<qsizetype>(expected.size()));
    auto want = expected.begin();
    for (const QStringList& record : records) {
        const QString name = platform::fromWorkingCodePage(want->second);
        EXPECT_EQ(record, (QStringList{QString::fromLatin1(want->first), name,
                                       name + " (" + QString::fromLatin1(want->first) + ")"}));
        ++want;
    }
    // The numbers sort as text: "1021" < "2040" < "875".
    EXPECT_EQ(records.first().first(), "1021");
    EXPECT_EQ(records.last().first(), "875");
}

TEST_P(EngineSource, TeacherListLabelsAndOrder) {
    TaskValues values{{"dsn", source.dsn.toQString()},
                      {"user", source.user.toQString()},
                      {"pwd", source.password.toQString()},
                      {"school", "1021"}};
    if (source.user.isEmpty()) {
        values["user"] = "reader";  // the SQLite DSN ignores the login, the list needs one
        values["pwd"] = "unused";
    }
    QList<QStringList> records;
    ASSERT_TRUE(harness.engine().LoadBridgeList(records, "teacher", values))
        << harness.logText().toStdString();

    std::map<QByteArray, QByteArray> expected;  // id -> label
    for (const Row& r : SampleData::instance().rows("V_VLMR_TEACH_CONTACTS_MEDICAL")) {
        const QByteArray id = columnText(r.at("teach_id"));
        if (str(r, "school_school") != "1021" || id.isEmpty()) {
            continue;
        }
        const QByteArray last = columnText(r.at("teach_last_name"));
        const QByteArray first = columnText(r.at("teach_first_name"));
        const QByteArray second = columnText(r.at("teach_second_name"));
        const QByteArray given = first.isEmpty() ? second : second.isEmpty() ? first : first + " " + second;
        expected.emplace(id, last.isEmpty() ? given : given.isEmpty() ? last : last + ", " + given);
    }
    QList<QStringList> want;
    for (const auto& [id, label] : expected) {
        want.append({QString::fromLatin1(id), platform::fromWorkingCodePage(label)});
    }
    EXPECT_EQ(records, want);
    EXPECT_TRUE(harness.logged(5, "Found Teachers..."));
}

TEST_P(EngineSource, FullRunWritesTheStudentTables) {
    ASSERT_TRUE(harness.run(source, output.path(), "1021", BridgeTaskBase::FullExtract))
        << harness.logText().toStdString();
    const Selection selection{"1021", QString()};
    const QList<QByteArray> students = expectedStudents(selection);
    const QByteArray transport = expectedTransport(selection);
    const QList<QByteArray> medical = expectedMedical(selection);
    // The sample holds what the rules are about; an empty expectation would prove nothing.
    ASSERT_GT(students.size(), 50);
    ASSERT_TRUE(transport.contains("\tAM; PM; \t"));
    ASSERT_TRUE(medical.join().contains("***LIFE THREATENING*** - "));
    EXPECT_EQ(sortedLines(readFile(file("Students.cef"))), students);
    EXPECT_EQ(readFile(file("StudentTransport.cef")), transport);
    EXPECT_EQ(sortedLines(readFile(file("StudentMed.cef"))), medical);

    const QByteArray main = readFile(file("Norv.CDE"));
    EXPECT_TRUE(main.contains("// Student Demographics\r\nStdKey\tStdLastName\tStdFirstName"));
    EXPECT_TRUE(main.contains("#include \"StudentTransport.cef\""));
    EXPECT_TRUE(main.contains("#include \"StudentMed.cef\""));
    EXPECT_FALSE(main.contains("Included Students"));
    EXPECT_TRUE(readFile(file("SchoolConfig.xml")).contains("LastSchoolNumberValue=\"1021\""));
    EXPECT_TRUE(harness.logged(7, "School Long Name: Maple Ridge Secondary School"));
    EXPECT_TRUE(harness.logged(7, "Period Attendance Type detected: Set Calculate Progress Size"));
}

// The main file's table blocks ("// title", header fields, #include) in file order, and its custom field
// lines.
QList<QByteArray> mainFileTables(const QByteArray& main) {
    QList<QByteArray> tables;
    const QList<QByteArray> lines = main.split('\n');
    for (qsizetype i = 0; i + 2 < lines.size(); ++i) {
        if (lines[i].startsWith("// ") && lines[i + 2].startsWith("#include \"")) {
            tables.append(lines[i].mid(3).trimmed() + " " + lines[i + 2].mid(9).trimmed());
        }
    }
    return tables;
}

QList<QByteArray> customFieldLines(const QByteArray& main) {
    QList<QByteArray> fields;
    for (const QByteArray& line : main.split('\n')) {
        if (line.startsWith("#custom")) {
            fields.append(line.trimmed());
        }
    }
    return fields;
}

TEST_P(EngineSource, MainFileListsTheTwentyTablesInRunOrder) {
    const Extraction& run = fullExtraction(source, "1021");
    ASSERT_TRUE(run.succeeded);
    const QByteArray main = run.file("Norv.CDE");
    const QList<QByteArray> tables{
        "Reason Codes \"ReasonCodes.cef\"",
        "Attendance Codes \"AttCodes.cef\"",
        "Bell Schedule \"BellSchedule.cef\"",
        "School Calendar \"Calendar.cef\"",
        "Tumble \"Tumbles.cef\"",
        "Student Demographics \"Students.cef\"",
        "Student Transport \"StudentTransport.cef\"",
        "Student Medical \"StudentMed.cef\"",
        "Student Parent Contacts \"StudentParent.cef\"",
        "Student Emergency Contacts \"StudentConEmerg.cef\"",
        "Sections \"Sections.cef\"",
        "Student Schedules \"StudentSched.cef\"",
        "Reporting Periods \"Terms.cef\"",
        "Marks \"StudentGrades.cef\"",
        "Grading Periods \"Bins.cef\"",
        "Staff Demographics \"Staff.cef\"",
        "Staff Vehicles \"StaffVehicles.cef\"",
        "Staff Contacts \"StaffCon.cef\"",
        "Staff Medical \"StaffMed.cef\"",
        "Staff Doctor \"StaffDoc.cef\"",
    };
    EXPECT_EQ(mainFileTables(main), tables);

    // Every custom field once, declared as the table that offered it first declares it.
    const QList<QByteArray> custom = customFieldLines(main);
    QList<QByteArray> names;
    for (const QByteArray& line : custom) {
        names.append(line.split('"').value(1));
    }
    EXPECT_EQ(std::set<QByteArray>(names.begin(), names.end()).size(), static_cast<size_t>(names.size()));
    EXPECT_EQ(names.first(), "Phone");
    EXPECT_TRUE(custom.contains("#customcomfield \"HealthFactorCode\" \"Health Factor\" \"noformat\""));
    EXPECT_TRUE(custom.contains("#customcomfield \"ApprovalDate\" \"Med. Approval\" \"noformat\""));
    EXPECT_TRUE(custom.contains("#customgradefield \"Mark\" \"Mark\" \"\""));
    // Offered first by parents, then by sections' marks, then by staff: in that order.
    const auto at = [&](const char* name) { return names.indexOf(name); };
    EXPECT_LT(at("AthStatus"), at("Cell"));
    EXPECT_LT(at("Pager"), at("Mark"));
    EXPECT_LT(at("LS5"), at("Email"));
    EXPECT_LT(at("Vehicle"), at("HomePhone"));
    EXPECT_EQ(names.last(), "TransportPerm");
}

TEST_P(EngineSource, WithdrawnStudentsFromTheInactiveDateOn) {
    const auto [pupil, withdrawn] = withdrawnStudent("1021");
    ASSERT_FALSE(pupil.isEmpty()) << "the sample has no withdrawn student";

    // Withdrawn on the cutoff day: in every student table.
    ASSERT_TRUE(harness.run(source, output.path(), "1021", BridgeTaskBase::FullExtract,
                            {{"inactivedate", parameterDate(withdrawn)}}))
        << harness.logText().toStdString();
    const Selection selection{"1021", withdrawn};
    const QByteArray students = readFile(file("Students.cef"));
    EXPECT_TRUE(hasStudent(students, pupil));
    EXPECT_EQ(sortedLines(students), expectedStudents(selection));
    EXPECT_EQ(readFile(file("StudentTransport.cef")), expectedTransport(selection));
    EXPECT_EQ(sortedLines(readFile(file("StudentMed.cef"))), expectedMedical(selection));

    // Withdrawn the day before the cutoff: in none.
    QTemporaryDir later;
    EngineHarness second;
    const QString dayAfter = QDate::fromString(withdrawn, Qt::ISODate).addDays(1).toString(Qt::ISODate);
    ASSERT_TRUE(second.run(source, later.path(), "1021", BridgeTaskBase::FullExtract,
                           {{"inactivedate", parameterDate(dayAfter)}}));
    EXPECT_FALSE(hasStudent(readFile(later.path() + "/Students.cef"), pupil));
    EXPECT_EQ(sortedLines(readFile(later.path() + "/Students.cef")), expectedStudents({"1021", dayAfter}));
}

TEST_P(EngineSource, OtherSchoolsNeverAppear) {
    ASSERT_TRUE(harness.run(source, output.path(), "2040", BridgeTaskBase::FullExtract,
                            {{"inactivedate", "01/01/1990"}}));
    const Selection selection{"2040", "1990-01-01"};
    EXPECT_EQ(sortedLines(readFile(file("Students.cef"))), expectedStudents(selection));
    EXPECT_EQ(readFile(file("StudentTransport.cef")), expectedTransport(selection));
    EXPECT_EQ(sortedLines(readFile(file("StudentMed.cef"))), expectedMedical(selection));
}

// Were the apostrophes to end the literal, the school check would find every school: the run fails as a
// school the view does not list, before any table is written.
TEST_P(EngineSource, QuotedSchoolNumberSelectsNothing) {
    EXPECT_FALSE(harness.run(source, output.path(), "0042' OR '1'='1", BridgeTaskBase::FullExtract));
    EXPECT_TRUE(harness.logged(2, "School Number not found in V_VLMR_SCHOOL: \"0042' OR '1'='1\""))
        << harness.logText().toStdString();
    EXPECT_FALSE(QFile::exists(file("Students.cef")));
    EXPECT_FALSE(QFile::exists(file("Norv.CDE")));
}

TEST_P(EngineSource, DefaultModeCompletesTheWholeFrame) {
    ASSERT_TRUE(harness.run(source, output.path(), "875", -1)) << harness.logText().toStdString();
    const QStringList updates = QDir(output.path()).entryList({"Update *.CDU"}, QDir::Files);
    EXPECT_EQ(updates.size(), 1);
    EXPECT_TRUE(QFile::exists(file("Norv.CDE")));
    EXPECT_TRUE(QFile::exists(file("Students.cef")));
    const QByteArray config = readFile(file("SchoolConfig.xml"));
    EXPECT_TRUE(config.contains("LastSchoolNumberValue=\"875\"")) << config.toStdString();
    EXPECT_TRUE(harness.logged(7,
                               "Period/Daily Attendance Type detected.  Generating Both Period and Daily "
                               "Attendance."));
}

INSTANTIATE_TEST_SUITE_P(Sources, EngineSource, ::testing::Values(SourceKind::SQLite, SourceKind::PostgreSQL),
                         [](const ::testing::TestParamInfo<SourceKind>& info) {
                             return info.param == SourceKind::SQLite ? "SQLite" : "PostgreSQL";
                         });

}  // namespace
