// Runs of the engine that must fail cleanly: a source that cannot be reached, a refused login, and sources
// that lack a view or a required column. Each ends Execute with false and the reason in the log, and
// leaves no main extract file behind.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "engine_SourceFixture.h"

using namespace enginetest;

namespace {

class EngineFailure : public ::testing::Test {
  protected:
    void SetUp() override {
        QString reason;
        auto sqlite = sampleSource(SourceKind::SQLite, reason);
        if (!sqlite) {
            FAIL() << reason.toStdString();
        }
        ASSERT_TRUE(output.isValid());
    }

    bool mainFileWritten() const { return QFile::exists(output.path() + "/Norv.CDE"); }

    QTemporaryDir output;
    EngineHarness harness;
};

TEST_F(EngineFailure, UnknownDataSourceFailsTheRunWithoutThrowing) {
    const SampleSource nowhere{SourceKind::SQLite, "nowhere", "NoSuchNorvSource", "", ""};
    bool ok = true;
    EXPECT_NO_THROW(ok = harness.run(nowhere, output.path(), "1021", -1));
    EXPECT_FALSE(ok);
    // Progress sizing could not reach the source and went on; the run's connect step ends it.
    EXPECT_TRUE(harness.logged(4, "Progress sizing could not read the attendance type"));
    EXPECT_TRUE(harness.logged(Error, "Data source name not found")) << harness.logText().toStdString();
    EXPECT_FALSE(mainFileWritten());

    EXPECT_FALSE(harness.engine().TestConnection("NoSuchNorvSource", "", ""));
    QList<QStringList> schools;
    EXPECT_FALSE(harness.engine().LoadSchoolList(schools, "NoSuchNorvSource", "", ""));
    EXPECT_TRUE(schools.isEmpty());
    EXPECT_TRUE(harness.logged(8, "LoadSchoolList : Unknown Exception Occurred"));
}

TEST_F(EngineFailure, WrongPasswordFailsTheRun) {
    QString reason;
    auto postgres = sampleSource(SourceKind::PostgreSQL, reason);
    if (!postgres) {
        FAIL() << reason.toStdString();
    }
    SampleSource refused = *postgres;
    refused.password = "not-the-password";
    EXPECT_FALSE(harness.run(refused, output.path(), "1021", -1));
    EXPECT_TRUE(harness.logged(Error, "password authentication failed")) << harness.logText().toStdString();
    // The password never reaches the log.
    EXPECT_FALSE(harness.logText().contains("not-the-password"));
    EXPECT_FALSE(mainFileWritten());

    EXPECT_FALSE(harness.engine().TestConnection(refused.dsn, refused.user, refused.password));
    EXPECT_FALSE(harness.engine().ValidateSchoolNumber(refused.dsn, refused.user, refused.password, "1021"));
}

// A source of either kind that lacks a view or a required column.
class EngineFixtureFailure : public ::testing::TestWithParam<SourceKind> {
  protected:
    void SetUp() override {
        QString reason;
        fixture = FixtureSource::make(GetParam(), reason);
        if (!fixture) {
            FAIL() << reason.toStdString();
        }
        ASSERT_TRUE(fixture->isValid()) << fixture->error().toStdString();
        ASSERT_TRUE(output.isValid());
    }

    bool mainFileWritten() const { return QFile::exists(output.path() + "/Norv.CDE"); }

    std::unique_ptr<FixtureSource> fixture;
    QTemporaryDir output;
    EngineHarness harness;
};

TEST_P(EngineFixtureFailure, MissingViewEndsTheRun) {
    ASSERT_TRUE(fixture->exec("DROP TABLE V_VLMR_STUDENT_MEDICAL")) << fixture->error().toStdString();
    EXPECT_FALSE(harness.run(fixture->source(), output.path(), "1021", BridgeTaskBase::FullExtract));
    EXPECT_TRUE(harness.logged(Critical, "Table does not exist : V_VLMR_STUDENT_MEDICAL"))
        << harness.logText().toStdString();
    EXPECT_TRUE(harness.logged(Error, "Table does not exist : V_VLMR_STUDENT_MEDICAL"));
    EXPECT_FALSE(mainFileWritten());
    // The tables before it were complete, but an unfinished extract leaves nothing under a real name.
    EXPECT_FALSE(QFile::exists(output.path() + "/Students.cef"));
}

TEST_P(EngineFixtureFailure, MissingRequiredColumnEndsTheRun) {
    ASSERT_TRUE(
        fixture->exec("ALTER TABLE V_VLMR_STUDENT_MEDICAL RENAME COLUMN student_pupil_number TO pupil_no"))
        << fixture->error().toStdString();
    EXPECT_FALSE(harness.run(fixture->source(), output.path(), "1021", BridgeTaskBase::FullExtract));
    const QString message =
        "Required Field does not exist : student_pupil_number in table V_VLMR_STUDENT_MEDICAL";
    EXPECT_TRUE(harness.logged(Critical, message)) << harness.logText().toStdString();
    EXPECT_TRUE(harness.logged(Error, message));
    EXPECT_FALSE(mainFileWritten());
}

TEST_P(EngineFixtureFailure, EveryTableStepChecksItsViewAndRequiredColumns) {
    struct Case {
        const char* sql;
        const char* message;
    };
    const Case cases[] = {
        {"DROP TABLE V_VLMR_PERIOD_STAR_TEND", "Table does not exist : V_VLMR_PERIOD_STAR_TEND"},
        {"ALTER TABLE V_VLMR_ATTENDANCE_CYCLES RENAME COLUMN effective_date TO day_date",
         "Required Field does not exist : effective_date in table V_VLMR_ATTENDANCE_CYCLES"},
        {"ALTER TABLE V_VLMR_STU_CONTACT_PARENTS RENAME COLUMN par_surname TO surname",
         "Required Field does not exist : par_surname in table V_VLMR_STU_CONTACT_PARENTS"},
        {"ALTER TABLE V_VLMR_STUDENT_MARKS RENAME COLUMN REPORT_ID TO report_no",
         "Required Field does not exist : REPORT_ID in table V_VLMR_STUDENT_MARKS"},
        {"DROP TABLE V_VLMR_TEACHER_VEHICLES", "Table does not exist : V_VLMR_TEACHER_VEHICLES"},
    };
    for (const Case& c : cases) {
        // A fresh fixture per case; the previous one is released first, which gives back the sample's
        // odbc.ini.
        fixture.reset();
        QString reason;
        fixture = FixtureSource::make(GetParam(), reason);
        ASSERT_TRUE(fixture && fixture->isValid() && fixture->exec(c.sql)) << c.sql;
        QTemporaryDir folder;
        EngineHarness run;
        EXPECT_FALSE(run.run(fixture->source(), folder.path(), "1021", BridgeTaskBase::FullExtract)) << c.sql;
        EXPECT_TRUE(run.logged(Critical, c.message)) << c.sql << "\n" << run.logText().toStdString();
        EXPECT_FALSE(QFile::exists(folder.path() + "/Norv.CDE")) << c.sql;
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, EngineFixtureFailure,
                         ::testing::Values(SourceKind::SQLite, SourceKind::PostgreSQL),
                         [](const ::testing::TestParamInfo<SourceKind>& info) {
                             return info.param == SourceKind::SQLite ? "SQLite" : "PostgreSQL";
                         });

TEST_F(EngineFailure, MissingStudentViewFailsEveryStudentStep) {
    SqliteFixture fixture;
    ASSERT_TRUE(fixture.isValid() && fixture.exec("DROP TABLE V_VLMR_STU_DEMOGRAPHIC"))
        << fixture.error().toStdString();
    // The included students are chosen before any mode's tables: even an attendance-only run fails.
    EXPECT_FALSE(harness.run(fixture.source(), output.path(), "1021", BridgeTaskBase::AttendanceUpdate));
    EXPECT_TRUE(harness.logged(Critical, "Table does not exist : V_VLMR_STU_DEMOGRAPHIC"));
}

// Not failures: an optional column the view lacks leaves its output field (and custom field) out, and a line
// break inside a transport value does not split the row.
TEST_F(EngineFailure, MissingOptionalColumnDropsItsField) {
    SqliteFixture fixture;
    ASSERT_TRUE(
        fixture.isValid() &&
        fixture.exec("ALTER TABLE V_VLMR_STU_DEMOGRAPHIC DROP COLUMN phone;"
                     "UPDATE V_VLMR_STU_TRANSPORT SET stop_desc = 'Main St' || char(13, 10) || 'Gate 2'"))
        << fixture.error().toStdString();
    ASSERT_TRUE(harness.run(fixture.source(), output.path(), "1021", BridgeTaskBase::FullExtract))
        << harness.logText().toStdString();
    const QByteArray main = readFile(output.path() + "/Norv.CDE");
    EXPECT_TRUE(main.contains("StdCombo\tStdPhoneUnlisted\t")) << main.toStdString();
    // Its custom field now comes with the first later table that has a phone (the parents).
    EXPECT_TRUE(main.contains("//\r\n\r\n#customcomfield \"PhoneUnlisted\" \"Unlisted\" \"noformat\"\r\n"));
    EXPECT_TRUE(
        main.contains("#customcomfield \"AthStatus\" \"Ath Status\" \"noformat\"\r\n"
                      "#customcomfield \"Phone\" \"Phone\" \"phone\"\r\n"));
    EXPECT_TRUE(harness.logged(8, "Field does not exist : phone in table V_VLMR_STU_DEMOGRAPHIC"));

    const QByteArray transport = readFile(output.path() + "/StudentTransport.cef");
    EXPECT_TRUE(transport.contains("\tMain St  Gate 2; \r\n")) << transport.toStdString();
    for (const QByteArray& line : sortedLines(transport)) {
        EXPECT_EQ(line.count('\t'), 7) << line.toStdString();
    }
}

TEST_F(EngineFailure, MissingOptionalColumnsOfContactsAndStaffDropTheirFields) {
    SqliteFixture fixture;
    ASSERT_TRUE(fixture.isValid() &&
                fixture.exec("ALTER TABLE V_VLMR_EMERGENCY_CONTACTS DROP COLUMN language_code;"
                             "ALTER TABLE V_VLMR_TEACH_CONTACTS_MEDICAL DROP COLUMN "
                             "teach_EMAIL_ADDRESS;"))
        << fixture.error().toStdString();
    ASSERT_TRUE(harness.run(fixture.source(), output.path(), "1021", BridgeTaskBase::FullExtract))
        << harness.logText().toStdString();
    const QByteArray main = readFile(output.path() + "/Norv.CDE");
    // The emergency contacts lose ConType, the parents keep theirs.
    EXPECT_TRUE(main.contains("ConLanguage\tConPickup\tConCallingOrder\r\n")) << main.toStdString();
    EXPECT_TRUE(main.contains("ConIsEmergency\tConType\r\n"));
    for (const QByteArray& line : sortedLines(readFile(output.path() + "/StudentConEmerg.cef"))) {
        EXPECT_EQ(line.count('\t'), 14) << line.toStdString();
        EXPECT_FALSE(line.contains("\tEmergency\t"));
    }
    // The e-mail field and its custom field, offered by no other table, are gone.
    EXPECT_TRUE(main.contains("StaffCell\tStaffPager\t"));
    EXPECT_FALSE(main.contains("\"Email\""));
}

TEST_F(EngineFailure, SourceFoundOnlyInTheSqlServerDialect) {
    SqliteFixture fixture;
    // No Oracle catalogue, but a SQL Server one that lists the school view.
    ASSERT_TRUE(fixture.isValid() &&
                fixture.exec("DROP VIEW all_tab_columns;"
                             "CREATE TABLE sysobjects (id INTEGER, name TEXT, xtype TEXT);"
                             "CREATE TABLE syscolumns (id INTEGER, name TEXT);"
                             "INSERT INTO sysobjects VALUES (7, 'V_VLMR_SCHOOL', 'V');"
                             "INSERT INTO syscolumns VALUES (7, 'school')"))
        << fixture.error().toStdString();
    const SampleSource source = fixture.source();
    EXPECT_TRUE(harness.engine().DetectSourceDriver(source.dsn, source.user, source.password));
    EXPECT_EQ(harness.engine().dbType(), ExpEngine::MsSqlDbType);
    EXPECT_TRUE(harness.logged(8, "Couldn't find V_VLMR_SCHOOL."));
    EXPECT_TRUE(harness.logged(8, "Using MS SQL Driver"));

    ASSERT_TRUE(fixture.exec("DELETE FROM sysobjects"));
    EXPECT_FALSE(harness.engine().DetectSourceDriver(source.dsn, source.user, source.password));
    EXPECT_EQ(harness.engine().dbType(), ExpEngine::OracleDbType);
    EXPECT_TRUE(harness.logged(8, "Table does not exist: V_VLMR_SCHOOL"));
}

}  // namespace
