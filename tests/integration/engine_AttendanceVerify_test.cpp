// The verification of a folder's attendance against the source (both sample sources, through their real
// drivers): a folder that converged verifies clean and stays as it was; each kind of drift is found with its
// key, and the repair the guide gives makes the folder verify clean again.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDate>
#include <QDirIterator>
#include <QFile>

#include <sqlite3.h>

#include "engine_AttendanceUpdates.h"
#include "engine_SourceFixture.h"

using namespace enginetest;

// Named: the test sources of this folder compile as one unit.
namespace attendance_verify_test {

const char* const kSchool = "875";  // period and daily attendance
const char* const kPeriodView = "V_VLMR_STU_PERIOD_ATTENDANCE";

QString day(int daysFromToday) {
    return QDate::currentDate().addDays(daysFromToday).toString(Qt::ISODate);
}

// Every file under folder with a digest of its bytes, and the cache's rows.
QStringList snapshot(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.append(path + " " +
                     QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256).toHex());
    }
    files.sort();
    return files;
}

class AttendanceVerify : public OwnPupilTest {
  protected:
    AttendanceVerify() : OwnPupilTest(kSchool) {}
    void SetUp() override {
        OwnPupilTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        // The pupil's attendance is the test's own: one absence a month back, one in the overlap window.
        exec(QString("DELETE FROM %1 WHERE pupil_number = '%2';").arg(kPeriodView, pupil));
        for (const auto& [days, period] : {std::pair{-40, "1"}, std::pair{-3, "2"}}) {
            exec(QString(
                     "INSERT INTO %1 (pupil_number, school, absent_date, period, absent_code, reason_code, "
                     "create_date, mod_date) VALUES ('%2', '%3', '%4', '%5', 'A', '', '%4 08:00:00', NULL);")
                     .arg(kPeriodView, pupil, kSchool, day(days), period));
        }
        ASSERT_TRUE(run());
    }

    bool run(const TaskValues& extra = TaskValues()) {
        EngineHarness engine;
        const bool ok = engine.run(fixture->source(), folder, kSchool, ExpEngine::AttendanceUpdate, extra);
        EXPECT_TRUE(ok) << engine.logText().toStdString();
        return ok;
    }
    // Verifies the folder; true when it found it equal. log receives the harness's log.
    bool verify(QString* log = nullptr) {
        EngineHarness engine;
        const bool equal = engine.verify(fixture->source(), folder, kSchool);
        if (log != nullptr) {
            *log = engine.logText();
        }
        return equal;
    }
    // The key of the pupil's period row as the report names it.
    QString key(int days, const char* period) const {
        return pupil + " " + QDate::currentDate().addDays(days).toString("MM/dd/yyyy") + " " + period;
    }
};

TEST_P(AttendanceVerify, AFolderThatConvergedVerifiesCleanAndStaysAsItWas) {
    const QStringList before = snapshot(folder);
    QString log;
    EXPECT_TRUE(verify(&log)) << log.toStdString();
    EXPECT_TRUE(log.contains("Verify: the target's attendance equals the source's."));
    EXPECT_EQ(snapshot(folder), before);
}

TEST_P(AttendanceVerify, EachKindOfDriftIsFoundWithItsKeyAndRepaired) {
    const auto clearInCache = [&](const QString& date) {
        const QString cache = folder + "/Attendance/Attendance.db";
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(cache.toUtf8().constData(), &db), SQLITE_OK);
        const QByteArray sql = QString(
                                   "UPDATE PERIOD_ATT SET oldcode = '', newcode = '' WHERE stdkey = '%1' AND "
                                   "attdate = '%2'")
                                   .arg(pupil, date)
                                   .toUtf8();
        EXPECT_EQ(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        EXPECT_EQ(sqlite3_changes(db), 1) << sql.toStdString();
        sqlite3_close(db);
    };
    const struct {
        const char* name;
        std::function<void()> drift;
        QString found;  // in the report
        TaskValues repair;
    } cases[] = {
        {"a deletion older than the window",
         [&] {
             exec(QString("DELETE FROM %1 WHERE pupil_number = '%2' AND period = '1';")
                      .arg(kPeriodView, pupil));
         },
         "absences are not in the source: " + key(-40, "1"),
         {{"overlapdays", "366"}}},
        {"a code changed at the source without a change stamp",
         [&] {
             exec(QString("UPDATE %1 SET absent_code = 'L' WHERE pupil_number = '%2' AND period = '1';")
                      .arg(kPeriodView, pupil));
         },
         "absences have another code than in the source: " + key(-40, "1") +
             " (source: \"L\", folder: \"A\")",
         {{"overlapdays", "366"}}},
        {"a row cleared by hand in the cache",
         [&] { clearInCache(day(-40)); },
         "in the folder's cache: 1 absences of the source are missing: " + key(-40, "1"),
         {{"overlapdays", "366"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir home;
        folder = home.path() + "/import";
        exec(QString("DELETE FROM %1 WHERE pupil_number = '%2' AND period = '1';").arg(kPeriodView, pupil));
        exec(QString("INSERT INTO %1 (pupil_number, school, absent_date, period, absent_code, reason_code, "
                     "create_date, mod_date) VALUES ('%2', '%3', '%4', '1', 'A', '', '%4 08:00:00', NULL);")
                 .arg(kPeriodView, pupil, kSchool, day(-40)));
        ASSERT_TRUE(run());
        ASSERT_TRUE(verify());
        c.drift();
        const QStringList before = snapshot(folder);
        QString log;
        EXPECT_FALSE(verify(&log));
        EXPECT_TRUE(log.contains(c.found)) << log.toStdString();
        EXPECT_EQ(snapshot(folder), before);
        // The repair the report names.
        ASSERT_TRUE(run(c.repair));
        EXPECT_TRUE(verify(&log)) << log.toStdString();
    }
}

TEST_P(AttendanceVerify, AnUpdateFileRemovedFromTheFolderIsFoundAndAStartOverRepairsIt) {
    exec(QString("UPDATE %1 SET absent_code = 'L', mod_date = '%2 09:00:00' WHERE pupil_number = '%3' AND "
                 "period = "
                 "'2';")
             .arg(kPeriodView, day(0), pupil));
    ASSERT_TRUE(run());
    const QStringList files = updateFiles(folder);
    ASSERT_EQ(files.size(), 2);
    ASSERT_TRUE(QFile::remove(folder + "/" + files.last()));
    QString log;
    EXPECT_FALSE(verify(&log));
    EXPECT_TRUE(log.contains(
        "in the folder's update files: 1 absences have another code than in the source: " + key(-3, "2") +
        " (source: \"L\", folder: \"A\")"))
        << log.toStdString();
    // The cache still says what was sent: that side agrees.
    EXPECT_FALSE(log.contains("in the folder's cache")) << log.toStdString();
    ASSERT_TRUE(QFile::remove(folder + "/SchoolConfig.xml"));
    ASSERT_TRUE(run());
    EXPECT_TRUE(verify(&log)) << log.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Sources, AttendanceVerify,
                         ::testing::Values(SourceKind::SQLite, SourceKind::PostgreSQL),
                         [](const ::testing::TestParamInfo<SourceKind>& info) {
                             return info.param == SourceKind::SQLite ? "SQLite" : "PostgreSQL";
                         });

}  // namespace attendance_verify_test
