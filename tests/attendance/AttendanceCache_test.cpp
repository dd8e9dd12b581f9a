#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "attendance/AttendanceCache.h"
#include "libraries/sqlitewrapper/SqlError.h"

#include <sqlite3.h>
#include <QFile>
#include <stdexcept>

namespace {

class AttendanceCacheTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        base = XFileSpec(dir.path() + "/");
        cache.open(base);
        cache.createTable(AttendanceCache::PeriodTable);
    }

    AttendanceRecord record(const XString& student, const XString& key, const XString& code) {
        AttendanceRecord r;
        r.student = student;
        r.date = XDate(2025, 1, 20);
        r.key = key;
        r.header = "AttPerRef";
        r.code = code;
        return r;
    }

    // Stages the record and merges it at once, as a pass of one record would.
    AttendanceCache::MergeCounts store(const AttendanceRecord& r) {
        cache.stage(AttendanceCache::PeriodTable, r);
        return cache.merge(AttendanceCache::PeriodTable);
    }

    // "stdkey|perkey|oldcode|newcode" of every row still to send, in key order.
    std::vector<std::string> toSend() {
        sqlite::Query query(cache.database());
        query.Prepare(
            "%s", AttendanceCache::changedRowsSql(AttendanceCache::PeriodTable, "AttPerRef", true).c_str());
        std::vector<std::string> rows;
        while (query.Step()) {
            rows.push_back(
                (query.StringColumn("stdkey") + "|" + query.StringColumn("perkey") + "|" +
                 (query.ColumnIsNull("oldcode") ? XString("null") : query.StringColumn("oldcode")) + "|" +
                 query.StringColumn("newcode"))
                    .toStdString());
        }
        return rows;
    }

    QTemporaryDir dir;
    XFileSpec base;
    AttendanceCache cache;
};

TEST_F(AttendanceCacheTest, LivesInTheAttendanceFolderAndKnowsItsTables) {
    EXPECT_TRUE(QFile::exists(dir.path() + "/Attendance/Attendance.db"));
    EXPECT_TRUE(cache.tableExists(AttendanceCache::PeriodTable));
    EXPECT_FALSE(cache.tableExists(AttendanceCache::DailyTable));
    EXPECT_THROW(cache.createTable(AttendanceCache::PeriodTable), sqlite::SqlError);
    cache.dropTable(AttendanceCache::PeriodTable);
    EXPECT_FALSE(cache.tableExists(AttendanceCache::PeriodTable));
}

TEST_F(AttendanceCacheTest, ChangedCodesAreSentUntilMarked) {
    store(record("S1", "1", "A"));
    store(record("O'Brien", "2", "L'"));
    store(record("S3", "3", ""));  // no code and no row: nothing
    EXPECT_EQ(toSend(), (std::vector<std::string>{"O'Brien|2|null|L'", "S1|1|null|A"}));

    EXPECT_EQ(cache.markSent(AttendanceCache::PeriodTable, "AttPerRef", true), 2);
    EXPECT_TRUE(toSend().empty());

    // The same code again changes nothing; another code, and a code that is gone (blank), are sent.
    store(record("S1", "1", "A"));
    store(record("O'Brien", "2", ""));
    EXPECT_EQ(toSend(), (std::vector<std::string>{"O'Brien|2|L'|"}));
    store(record("S1", "1", "ILL"));
    EXPECT_EQ(toSend(), (std::vector<std::string>{"O'Brien|2|L'|", "S1|1|A|ILL"}));
}

TEST_F(AttendanceCacheTest, RowsOfAnotherKeyColumnAreSentWithTheirOwn) {
    AttendanceRecord slot = record("S1", "7", "A");
    slot.header = "AttTimeSlot";
    store(slot);
    AttendanceRecord unnamed = record("S2", "1", "A");
    unnamed.header = "";
    store(unnamed);
    EXPECT_EQ(toSend(), (std::vector<std::string>{"S2|1|null|A"}));  // the special key takes the unnamed
    EXPECT_EQ(cache.markSent(AttendanceCache::PeriodTable, "AttTimeSlot", false), 1);
    EXPECT_EQ(cache.markSent(AttendanceCache::PeriodTable, "AttPerRef", true), 1);
}

TEST_F(AttendanceCacheTest, ValuesCannotChangeTheStatements) {
    AttendanceRecord r = record("x'); DROP TABLE PERIOD_ATT; --", "1", "A");
    r.reason = "%s%n";
    store(r);
    EXPECT_TRUE(cache.tableExists(AttendanceCache::PeriodTable));
    EXPECT_EQ(toSend(), (std::vector<std::string>{"x'); DROP TABLE PERIOD_ATT; --|1|null|A"}));
}

TEST_F(AttendanceCacheTest, AMergeTakesEachKeysLastCodeAndWritesOnlyWhatChanged) {
    // Two source rows of one key (a view that repeats a row): the last code counts, and a code counts over
    // none, whatever their order.
    for (const char* code : {"A", "L", "ILL"}) {
        cache.stage(AttendanceCache::PeriodTable, record("S1", "1", code));
    }
    cache.stage(AttendanceCache::PeriodTable, record("S2", "1", "A"));
    cache.stage(AttendanceCache::PeriodTable, record("S2", "1", ""));
    cache.stage(AttendanceCache::PeriodTable, record("S3", "1", ""));
    cache.stage(AttendanceCache::PeriodTable, record("S3", "1", "L"));
    cache.stage(AttendanceCache::PeriodTable, record("S4", "1", ""));  // no code and no row: nothing
    EXPECT_EQ(cache.merge(AttendanceCache::PeriodTable).records, 8);
    EXPECT_FALSE(cache.hasStaged(AttendanceCache::PeriodTable));
    EXPECT_EQ(toSend(), (std::vector<std::string>{"S1|1|null|ILL", "S2|1|null|A", "S3|1|null|L"}));
    // The same record again writes nothing.
    EXPECT_EQ(store(record("S1", "1", "ILL")).written, 0);
}

TEST_F(AttendanceCacheTest, TheReconcileWindowSendsWhatIsNotFoundAgain) {
    for (int day : {19, 20, 21, 22}) {
        AttendanceRecord r = record("S" + XString(day), "1", "A");
        r.date = XDate(2025, 1, day);
        store(r);
    }
    cache.markSent(AttendanceCache::PeriodTable, "AttPerRef", true);
    // Found again: sent as before, so nothing to send; not found: sent once, with its code gone.
    AttendanceRecord again = record("S20", "1", "A");
    again.date = XDate(2025, 1, 20);
    cache.stage(AttendanceCache::PeriodTable, again);
    const AttendanceCache::MergeCounts counts =
        cache.merge(AttendanceCache::PeriodTable, XDate(2025, 1, 20), XDate(2025, 1, 21));
    EXPECT_EQ(counts.blanked, 1);
    EXPECT_EQ(counts.written, 0);
    EXPECT_EQ(toSend(), (std::vector<std::string>{"S21|1|A|"}));
    EXPECT_EQ(cache.markSent(AttendanceCache::PeriodTable, "AttPerRef", true), 1);
    // A code already empty is not blanked again; a window without records blanks all it holds.
    EXPECT_EQ(cache.merge(AttendanceCache::PeriodTable, XDate(2025, 1, 20), XDate(2025, 1, 21)).blanked, 1);
}

TEST(AttendanceCacheCheck, ADamagedFileIsToldFromAFailureOfTheMoment) {
    QTemporaryDir dir;
    const XFileSpec base(dir.path() + "/");
    {
        AttendanceCache cache;
        cache.open(base);
        cache.createTable(AttendanceCache::PeriodTable);
        cache.check();
    }
    QFile file(dir.path() + "/Attendance/Attendance.db");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray(4096, 'x'));
    file.close();
    AttendanceCache cache;
    try {
        cache.open(base);
        cache.check();
        FAIL() << "a damaged file passed the check";
    } catch (const std::exception& e) {
        EXPECT_TRUE(AttendanceCache::isDamage(e)) << e.what();
    }
    EXPECT_FALSE(AttendanceCache::isDamage(sqlite::IOError(SQLITE_IOERR_WRITE, "", "disk full", "", "")));
    EXPECT_FALSE(AttendanceCache::isDamage(std::runtime_error("other")));
}

}  // namespace
