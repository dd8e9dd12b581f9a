// The convergence of attendance: a folder's update files, applied in name order to an empty target, give
// what a fresh first run against the source sends now. Each case changes a copy of a sample source (through
// the real SQLite and PostgreSQL drivers) with rows of its own, dated relative to today, and runs the engine
// on it: deletions, clears with '' and NULL and corrected dates within the overlap window, codes with an
// apostrophe or a line break, the overlap widened or switched off, a clock that was wrong, and a cache that
// was lost or damaged.
#include <gtest/gtest.h>

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonValue>
#include <functional>

#include <sqlite3.h>

#include "engine_AttendanceUpdates.h"
#include "engine_SourceFixture.h"
#include "libraries/platform/Clock.h"
#include "writer/SchoolConfig.h"

using namespace enginetest;

namespace {

const char* const kSchool = "875";  // period and daily attendance

QString day(int daysFromToday) {
    return QDate::currentDate().addDays(daysFromToday).toString(Qt::ISODate);
}

QString quoted(const QString& value) {
    return value.isNull() ? QStringLiteral("NULL") : "'" + QString(value).replace("'", "''") + "'";
}

// Fixes the engine's clock for the life of the object.
class ShiftedClock {
  public:
    explicit ShiftedClock(qint64 seconds) {
        platform::Clock::setFixed(QDateTime::currentDateTime().addSecs(seconds));
    }
    ~ShiftedClock() { platform::Clock::clearFixed(); }
    ShiftedClock(const ShiftedClock&) = delete;
    ShiftedClock& operator=(const ShiftedClock&) = delete;
};

class AttendanceConvergence : public OwnPupilTest {
  protected:
    AttendanceConvergence() : OwnPupilTest(kSchool) {}
    void SetUp() override {
        OwnPupilTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        // The pupil's attendance is the test's own. The sample holds the whole school year, its later days
        // stamped in the future; a real source has no change stamped after now, which a run with its clock
        // ahead could otherwise read early.
        const QString now = "'" + QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss") + "'";
        for (const char* view : {"V_VLMR_STU_PERIOD_ATTENDANCE", "V_VLMR_STU_DAILY_ATTENDANCE"}) {
            exec(QString("DELETE FROM %1 WHERE create_date > %2 OR pupil_number = %3; "
                         "UPDATE %1 SET mod_date = NULL WHERE mod_date > %2;")
                     .arg(view, now, quoted(pupil)));
        }
    }

    // One run of the school in a fresh engine; extra holds further task values ("overlapdays").
    bool run(const QString& into, const TaskValues& extra = TaskValues()) {
        harness = std::make_unique<EngineHarness>();
        return harness->run(fixture->source(), into, kSchool, ExpEngine::AttendanceUpdate, extra);
    }
    bool run() { return run(folder); }

    // The target a fresh first run builds now (at the engine's clock), in a folder of its own.
    Target fresh() {
        QTemporaryDir first;
        EngineHarness engine;
        EXPECT_TRUE(engine.run(fixture->source(), first.path(), kSchool, ExpEngine::AttendanceUpdate))
            << engine.logText().toStdString();
        return applyUpdateFiles(first.path());
    }
    void expectConverged() { EXPECT_EQ(targetDifferences(fresh(), applyUpdateFiles(folder)), ""); }

    // A period row of the test's pupil on the day daysFromToday, created yesterday.
    void addPeriod(int daysFromToday, const char* period, const QString& code, const QString& reason = "") {
        exec(QString("INSERT INTO V_VLMR_STU_PERIOD_ATTENDANCE (pupil_number, school, absent_date, period, "
                     "absent_code, reason_code, create_date, mod_date) VALUES (%1, '%2', '%3', '%4', %5, %6, "
                     "'%7 08:00:00', NULL);")
                 .arg(quoted(pupil), kSchool, day(daysFromToday), period, quoted(code), quoted(reason),
                      day(-1)));
    }
    void addDaily(int daysFromToday, const QString& am, const QString& pm, const QString& reasonAm = "") {
        exec(QString("INSERT INTO V_VLMR_STU_DAILY_ATTENDANCE (pupil_number, school, absent_date, "
                     "am_attendance_score, reason_code_am, pm_attendance_score, reason_code_pm, create_date, "
                     "mod_date) VALUES (%1, '%2', '%3', %4, %5, %6, '', '%7 08:00:00', NULL);")
                 .arg(quoted(pupil), kSchool, day(daysFromToday), quoted(am), quoted(reasonAm), quoted(pm),
                      day(-1)));
    }
    // Changes a row of the pupil (sets is "column = value, ..."), stamped now.
    void change(const char* view, int daysFromToday, const QString& more, const QString& sets) {
        exec(QString("UPDATE %1 SET %2, mod_date = '%3' WHERE pupil_number = %4 AND absent_date = '%5'%6;")
                 .arg(view, sets, QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss"), quoted(pupil),
                      day(daysFromToday), more));
    }
    void remove(const char* view, int daysFromToday, const QString& more = QString()) {
        exec(QString("DELETE FROM %1 WHERE pupil_number = %2 AND absent_date = '%3'%4;")
                 .arg(view, quoted(pupil), day(daysFromToday), more));
    }

    // The update file row of the pupil: date daysFromToday, key, code.
    QByteArray row(int daysFromToday, const char* key, const QByteArray& code) const {
        const QByteArray date = QDate::currentDate().addDays(daysFromToday).toString("MM/dd/yyyy").toLatin1();
        return joinLine({pupil.toLatin1(), date, key, code, "", "", "", "", "", ""});
    }
    // The rows of the last update file of the pupil, per table.
    Tables lastRowsOfPupil() const {
        Tables tables;
        for (const auto& [table, rows] : lastUpdateTables(folder)) {
            QList<QByteArray>& mine = tables[table];
            for (const QByteArray& r : rows) {
                if (r.startsWith(pupil.toLatin1() + '\t')) {
                    mine.append(r);
                }
            }
        }
        return tables;
    }
    // The rows of every table of the last update file.
    qsizetype lastRowCount() const {
        qsizetype count = 0;
        for (const auto& [table, rows] : lastUpdateTables(folder)) {
            count += rows.size();
        }
        return count;
    }

    std::unique_ptr<EngineHarness> harness;
};

std::string sorted(QList<QByteArray> rows) {
    std::sort(rows.begin(), rows.end());
    return rows.join().toStdString();
}

TEST_P(AttendanceConvergence, DeletionsClearsAndCorrectionsOfTheWindowAreSentOnce) {
    const QString period = "V_VLMR_STU_PERIOD_ATTENDANCE";
    addPeriod(-3, "1", "A");                   // deleted
    addPeriod(-3, "2", "A", "ILL");            // cleared with NULL
    addPeriod(-5, "1", "L");                   // cleared with ''
    addPeriod(-5, "2", "A");                   // moved to another day
    addPeriod(-5, "3", "A");                   // unchanged
    addPeriod(-3, "3", "A", "DR'S");           // codes as they are: an apostrophe,
    addPeriod(-3, "4", "A", "X\tY");           // a TAB
    addPeriod(-3, "5", "A", "LINE\r\nBREAK");  // and a line break
    addDaily(-3, "A", QString());              // deleted
    addDaily(-5, "A", "L", "MED");             // the morning cleared with NULL
    addDaily(-2, "L", QString());              // the morning cleared with ''
    ASSERT_TRUE(run()) << harness->logText().toStdString();
    EXPECT_TRUE(harness->logged(Informational, "Overlap 14 days: every absence dated from"));

    // Codes stay on their line and keep their apostrophe.
    const Tables first = lastRowsOfPupil();
    for (const QByteArray& expected : {row(-3, "3", "DR'S"), row(-3, "4", outputText(QJsonValue("X\tY"))),
                                       row(-3, "5", outputText(QJsonValue("LINE\r\nBREAK")))}) {
        EXPECT_TRUE(first.at(kPeriodTable).contains(expected)) << expected.toStdString() << " not in\n"
                                                               << sorted(first.at(kPeriodTable));
    }
    EXPECT_EQ(first.at(kDailyTable).size(), 4);

    remove(period.toLatin1(), -3, " AND period = '1'");
    change(period.toLatin1(), -3, " AND period = '2'", "absent_code = NULL, reason_code = NULL");
    change(period.toLatin1(), -5, " AND period = '1'", "absent_code = '', reason_code = ''");
    change(period.toLatin1(), -5, " AND period = '2'", "absent_date = '" + day(-1) + "'");
    remove("V_VLMR_STU_DAILY_ATTENDANCE", -3);
    change("V_VLMR_STU_DAILY_ATTENDANCE", -5, "", "am_attendance_score = NULL, reason_code_am = NULL");
    change("V_VLMR_STU_DAILY_ATTENDANCE", -2, "", "am_attendance_score = '', reason_code_am = ''");
    ASSERT_TRUE(run()) << harness->logText().toStdString();

    // Exactly the corrections: each gone absence once with an empty code, the moved one on its new day;
    // nothing for the rows of the window that did not change.
    const Tables second = lastUpdateTables(folder);
    EXPECT_EQ(sorted(second.at(kPeriodTable)), sorted({row(-3, "1", ""), row(-3, "2", ""), row(-5, "1", ""),
                                                       row(-5, "2", ""), row(-1, "2", "A")}));
    EXPECT_EQ(sorted(second.at(kDailyTable)),
              sorted({row(-3, "AM", ""), row(-5, "AM", ""), row(-2, "AM", "")}));
    expectConverged();

    ASSERT_TRUE(run()) << harness->logText().toStdString();
    EXPECT_EQ(lastRowCount(), 0);
    expectConverged();
}

TEST_P(AttendanceConvergence, TheOverlapCanBeSwitchedOffOrWidened) {
    const QString period = "V_VLMR_STU_PERIOD_ATTENDANCE";
    addPeriod(-3, "1", "A");   // in the default window
    addPeriod(-30, "1", "A");  // before it
    ASSERT_TRUE(run()) << harness->logText().toStdString();
    remove(period.toLatin1(), -3);
    remove(period.toLatin1(), -30);

    // Off: attendance is read by its change dates only, as without the window; a deletion is not seen.
    ASSERT_TRUE(run(folder, {{"overlapdays", "0"}})) << harness->logText().toStdString();
    EXPECT_TRUE(harness->logged(Informational, "Overlap 0 days"));
    EXPECT_EQ(lastRowCount(), 0);
    EXPECT_EQ(SchoolConfig::Value(XFileSpec(XString(folder + "/")), "OverlapInDays"), "0");
    // The folder keeps the setting.
    ASSERT_TRUE(run()) << harness->logText().toStdString();
    EXPECT_TRUE(harness->logged(Informational, "Overlap 0 days"));
    EXPECT_EQ(lastRowCount(), 0);

    // A wider window finds both deletions.
    ASSERT_TRUE(run(folder, {{"overlapdays", "45"}})) << harness->logText().toStdString();
    EXPECT_EQ(sorted(lastRowsOfPupil().at(kPeriodTable)), sorted({row(-30, "1", ""), row(-3, "1", "")}));
    EXPECT_EQ(SchoolConfig::Value(XFileSpec(XString(folder + "/")), "OverlapInDays"), "45");
    expectConverged();

    // A value that is no number of days is named and the folder's setting used.
    ASSERT_TRUE(run(folder, {{"overlapdays", "2w"}})) << harness->logText().toStdString();
    EXPECT_TRUE(harness->logged(Warning, "--overlapdays=2w is not a number of days from 0 to 366"));
    EXPECT_TRUE(harness->logged(Informational, "Overlap 45 days"));
}

TEST_P(AttendanceConvergence, AClockThatWasAheadLosesNoChangeAndKeepsTheFilesInOrder) {
    addPeriod(-3, "1", "A");
    ASSERT_TRUE(run()) << harness->logText().toStdString();
    {
        // One night the clock is five days ahead: the pass records a date in the future, and its update file
        // a name after those to come.
        ShiftedClock ahead(5 * 86400);
        ASSERT_TRUE(run()) << harness->logText().toStdString();
    }
    const QString aheadFile = updateFiles(folder).last();
    // Changed after that run; then a night is missed, and the next run has the right clock again.
    change("V_VLMR_STU_PERIOD_ATTENDANCE", -3, " AND period = '1'", "absent_code = 'L'");
    ShiftedClock later(2 * 86400);
    ASSERT_TRUE(run()) << harness->logText().toStdString();
    EXPECT_TRUE(harness->logged(Warning, "the clock was ahead then, or is behind now"));
    EXPECT_TRUE(lastRowsOfPupil().at(kPeriodTable).contains(row(-3, "1", "L")));
    EXPECT_GT(updateFiles(folder).last(), aheadFile);
    EXPECT_EQ(updateFiles(folder).size(), 3);
    expectConverged();
}

TEST_P(AttendanceConvergence, AnUpdateFileNeverSortsBeforeOneAlreadyInTheFolder) {
    addPeriod(-3, "1", "A");
    {
        ShiftedClock ahead(3600);  // an hour ahead
        ASSERT_TRUE(run()) << harness->logText().toStdString();
    }
    const QString aheadFile = updateFiles(folder).last();
    change("V_VLMR_STU_PERIOD_ATTENDANCE", -3, " AND period = '1'", "absent_code = 'L'");
    ASSERT_TRUE(run()) << harness->logText().toStdString();
    const QStringList files = updateFiles(folder);
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(files.first(), aheadFile);
    EXPECT_TRUE(readFile(folder + "/" + files.last())
                    .contains("#pragma update \"" + files.last().mid(7, 14).toLatin1()));
    expectConverged();
}

TEST_P(AttendanceConvergence, ALostOrDamagedCacheStartsAttendanceOver) {
    const struct {
        const char* name;
        const char* why;
        std::function<void(const QString&)> damage;
    } cases[] = {
        {"deleted", "is missing", [](const QString& file) { QFile::remove(file); }},
        {"emptied", "holds no attendance",
         [](const QString& file) { QFile(file).open(QIODevice::WriteOnly | QIODevice::Truncate); }},
        {"overwritten", "is damaged",
         [](const QString& file) {
             QFile f(file);
             f.open(QIODevice::WriteOnly | QIODevice::Truncate);
             f.write(QByteArray(8192, 'x'));
         }},
        {"cut short", "is damaged", [](const QString& file) { QFile(file).resize(QFile(file).size() / 2); }},
        {"without its primary key", "is damaged",
         [](const QString& file) {
             sqlite3* db = nullptr;
             sqlite3_open(file.toUtf8().constData(), &db);
             sqlite3_exec(
                 db,
                 "ALTER TABLE PERIOD_ATT RENAME TO OLD_ATT; CREATE TABLE PERIOD_ATT AS SELECT * FROM "
                 "OLD_ATT; DROP TABLE OLD_ATT;",
                 nullptr, nullptr, nullptr);
             sqlite3_close(db);
         }},
    };
    addPeriod(-30, "1", "A");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir home;
        folder = home.path() + "/import";
        exec(QString("UPDATE V_VLMR_STU_PERIOD_ATTENDANCE SET absent_code = 'A', mod_date = NULL WHERE "
                     "pupil_number = %1 AND absent_date = '%2';")
                 .arg(quoted(pupil), day(-30)));
        ASSERT_TRUE(run()) << harness->logText().toStdString();
        const QString cache = folder + "/Attendance/Attendance.db";
        c.damage(cache);
        const QByteArray damaged = readFile(cache);
        // Cleared today, long after the absence: only a cache that remembers it was sent can tell.
        change("V_VLMR_STU_PERIOD_ATTENDANCE", -30, " AND period = '1'", "absent_code = NULL");
        ASSERT_TRUE(run()) << harness->logText().toStdString();
        EXPECT_TRUE(harness->logged(Warning, QString("Attendance.db ") + c.why))
            << harness->logText().toStdString();
        EXPECT_EQ(updateFiles(folder).size(), 1);  // the earlier update files went, as after a change
        expectConverged();
        const QStringList aside =
            QDir(folder + "/Attendance").entryList({"Attendance-damaged-*.db"}, QDir::Files);
        if (QString(c.why) == "is damaged") {
            ASSERT_EQ(aside.size(), 1);
            EXPECT_EQ(readFile(folder + "/Attendance/" + aside.first()), damaged);  // kept as evidence
        } else {
            EXPECT_TRUE(aside.isEmpty());
        }
    }
}

// What the folder's target holds of every student but one.
Target without(Target target, const QString& student) {
    for (auto& [table, rows] : target) {
        std::erase_if(rows, [&](const auto& row) { return row.first.startsWith(student.toLatin1() + '\t'); });
    }
    return target;
}

TEST_P(AttendanceConvergence, AStudentLeftOutKeepsHisAbsencesAndNothingIsSentForHim) {
    addPeriod(-3, "1", "A");
    addDaily(-2, "A", "L");
    ASSERT_TRUE(run()) << harness->logText().toStdString();
    const auto registered = [&](const char* indicator, const QString& which) {
        exec(QString("UPDATE V_VLMR_STU_DEMOGRAPHIC SET registered_indicator = '%1' WHERE school = '%2'%3;")
                 .arg(indicator, kSchool, which));
    };

    // Withdrawn: his absences stay at the source and on the target; nothing goes as gone.
    registered("W", " AND pupil_number = " + quoted(pupil) + " AND registered_indicator = 'R'");
    ASSERT_TRUE(run()) << harness->logText().toStdString();
    EXPECT_EQ(lastRowCount(), 0);
    const QByteArray key =
        pupil.toLatin1() + '\t' + QDate::currentDate().addDays(-3).toString("MM/dd/yyyy").toLatin1() + "\t1";
    EXPECT_EQ(applyUpdateFiles(folder).at(kPeriodTable).count(key), 1u);
    EXPECT_EQ(targetDifferences(fresh(), without(applyUpdateFiles(folder), pupil)), "");

    // The whole school read as not registered (a bulk status change): nothing is sent, and nothing has to
    // come back once it is registered again.
    registered("N", " AND registered_indicator = 'R'");
    ASSERT_TRUE(run()) << harness->logText().toStdString();
    EXPECT_EQ(lastRowCount(), 0);
    registered("R", " AND registered_indicator = 'N'");
    ASSERT_TRUE(run()) << harness->logText().toStdString();
    EXPECT_EQ(lastRowCount(), 0);
    EXPECT_EQ(targetDifferences(fresh(), without(applyUpdateFiles(folder), pupil)), "");
}

TEST_P(AttendanceConvergence, ADeletionInBulkIsSentOnlyWhenTheNextRunFindsItAgain) {
    ASSERT_TRUE(run()) << harness->logText().toStdString();
    // The period view comes back without the absences of the last two weeks (a view broken at the source,
    // or the school's own mass deletion: the program cannot tell them apart at once).
    exec(QString("DELETE FROM V_VLMR_STU_PERIOD_ATTENDANCE WHERE school = '%1' AND absent_date >= '%2';")
             .arg(kSchool, day(-13)));
    ASSERT_TRUE(run()) << harness->logText().toStdString();
    EXPECT_TRUE(harness->logged(Warning, "are gone at the source at once"))
        << harness->logText().toStdString();
    EXPECT_EQ(lastUpdateTables(folder).at(kPeriodTable).size(), 0);
    // Found gone again: now they go.
    ASSERT_TRUE(run()) << harness->logText().toStdString();
    EXPECT_GT(lastUpdateTables(folder).at(kPeriodTable).size(), AttendanceCache::BulkDeletionMinimum);
    expectConverged();
}

TEST_P(AttendanceConvergence, TheReconcileWindowStaysInTheSchoolYear) {
    // The last days of the school year (which ends 25 June 2027 in the sample) and, on 3 July, the new year
    // with its own all-year section.
    for (int dayOfJune : {21, 22, 23, 24}) {
        exec(QString(
                 "INSERT INTO V_VLMR_STU_PERIOD_ATTENDANCE (pupil_number, school, absent_date, period, "
                 "absent_code, reason_code, create_date, mod_date) VALUES (%1, '%2', '2027-06-%3', '1', 'A', "
                 "'', '2027-06-%3 09:00:00', NULL);")
                 .arg(quoted(pupil), kSchool)
                 .arg(dayOfJune));
    }
    exec(QString("INSERT INTO V_VLMR_COURSE_SECT_MAINT (id, school, year, course_code, title, start_date, "
                 "stop_date, semester, term) VALUES (990001, '%1', 2027, 'NEW', 'New year', '2027-09-07', "
                 "'2028-06-23', 0, 0);")
             .arg(kSchool));
    {
        ShiftedClock june(QDateTime::currentDateTime().secsTo(QDateTime(QDate(2027, 6, 28), QTime(21, 0))));
        ASSERT_TRUE(run()) << harness->logText().toStdString();
        EXPECT_EQ(lastRowsOfPupil().at(kPeriodTable).size(), 4);
    }
    ShiftedClock july(QDateTime::currentDateTime().secsTo(QDateTime(QDate(2027, 7, 3), QTime(21, 0))));
    ASSERT_TRUE(run()) << harness->logText().toStdString();
    EXPECT_TRUE(harness->logged(Informational, "Year Changed. Old=2026 new=2027"));
    EXPECT_EQ(lastRowCount(), 0) << harness->logText().toStdString();
}

TEST_P(AttendanceConvergence, ALostCacheAfterARunWithTheClockAheadStartsAttendanceOver) {
    addPeriod(-3, "1", "A");
    ASSERT_TRUE(run()) << harness->logText().toStdString();
    {
        ShiftedClock ahead(5 * 86400);
        ASSERT_TRUE(run()) << harness->logText().toStdString();
    }
    QFile::remove(folder + "/Attendance/Attendance.db");
    change("V_VLMR_STU_PERIOD_ATTENDANCE", -3, " AND period = '1'", "absent_code = NULL");
    ASSERT_TRUE(run()) << harness->logText().toStdString();
    EXPECT_TRUE(harness->logged(Warning, "Attendance.db is missing")) << harness->logText().toStdString();
    expectConverged();
}

INSTANTIATE_TEST_SUITE_P(Sources, AttendanceConvergence,
                         ::testing::Values(SourceKind::SQLite, SourceKind::PostgreSQL),
                         [](const ::testing::TestParamInfo<SourceKind>& info) {
                             return info.param == SourceKind::SQLite ? "SQLite" : "PostgreSQL";
                         });

}  // namespace

namespace {

// An engine whose source loses the connection whenever one table is asked for (an Oracle source answering
// ORA-03113, which the data access layer reads as a lost connection: the table is skipped).
class LosingEngine : public ExpEngine {
  public:
    explicit LosingEngine(const char* lost) : m_lost(lost) {}
    bool OpenTable(bool run, RowPasses passes) override {
        if (currentTitle() == m_lost) {
            report(Informational, "Open table " + currentTitle() + " failed, skipping.");
            return false;
        }
        return ExpEngine::OpenTable(run, passes);
    }

  private:
    const char* m_lost;
};

// A table that cannot be read stops the run before anything that depends on it is written or sent: the
// update date stays where the last good run left it.
TEST(AttendanceIncludedStudents, ASkippedReadStopsTheRunBeforeAnythingIsSent) {
    QString reason;
    const std::optional<SampleSource> source = sampleSource(SourceKind::SQLite, reason);
    ASSERT_TRUE(source) << reason.toStdString();
    for (const char* lost : {"Included Students", "Student Demographics"}) {
        SCOPED_TRACE(lost);
        QTemporaryDir out;
        const QString folder = out.path() + "/import";
        {
            EngineHarness engine;
            ASSERT_TRUE(engine.run(*source, folder, kSchool, ExpEngine::AttendanceUpdate))
                << engine.logText().toStdString();
        }
        const QStringList files = updateFiles(folder);
        const QByteArray config = readFile(folder + "/SchoolConfig.xml");
        EngineHarness engine(std::make_unique<LosingEngine>(lost));
        EXPECT_FALSE(
            engine.run(*source, folder, kSchool, ExpEngine::AttendanceUpdate | ExpEngine::FullExtract));
        EXPECT_TRUE(
            engine.logged(Critical, QString(lost) == "Included Students"
                                        ? "The included students could not be read"
                                        : "[the source could not be read] while writing file [Students.cef]"))
            << engine.logText().toStdString();
        EXPECT_EQ(updateFiles(folder), files);
        EXPECT_FALSE(QFile::exists(folder + "/Students.cef"));
        EXPECT_EQ(readFile(folder + "/SchoolConfig.xml"), config);
    }
}

}  // namespace
