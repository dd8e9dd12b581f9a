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

TEST_F(AttendanceCacheTest, TheReconcileWindowSendsWhatIsNotFoundAgainOfTheStudentsRead) {
    for (int day : {19, 20, 21, 22}) {
        for (const char* student : {"S", "W"}) {
            AttendanceRecord r = record(student + XString(day), "1", "A");
            r.date = XDate(2025, 1, day);
            store(r);
        }
    }
    cache.markSent(AttendanceCache::PeriodTable, "AttPerRef", true);
    // The run reads the S students only; the W students (withdrawn) keep their absences, read or not.
    std::vector<XString> students;
    for (int day : {19, 20, 21, 22}) {
        students.push_back("S" + XString(day));
    }
    const AttendanceCache::Reconcile window{XDate(2025, 1, 20), XDate(2025, 1, 21), &students};
    // Found again: sent as before, so nothing to send; not found: sent once, with its code gone.
    AttendanceRecord again = record("S20", "1", "A");
    again.date = XDate(2025, 1, 20);
    cache.stage(AttendanceCache::PeriodTable, again);
    const AttendanceCache::MergeCounts counts = cache.merge(AttendanceCache::PeriodTable, window);
    EXPECT_EQ(counts.blanked, 1);
    EXPECT_EQ(counts.written, 0);
    EXPECT_EQ(counts.coded, 2);
    EXPECT_EQ(toSend(), (std::vector<std::string>{"S21|1|A|"}));
    EXPECT_EQ(cache.markSent(AttendanceCache::PeriodTable, "AttPerRef", true), 1);
    // A code already empty is not blanked again; a window without records blanks all it holds.
    EXPECT_EQ(cache.merge(AttendanceCache::PeriodTable, window).blanked, 1);
    // Without students nothing is gone.
    const std::vector<XString> none;
    EXPECT_EQ(
        cache.merge(AttendanceCache::PeriodTable, {XDate(2025, 1, 1), XDate(2025, 1, 31), &none}).blanked, 0);
}

TEST_F(AttendanceCacheTest, ADeletionInBulkIsSentOnlyWhenTheNextMergeFindsItGoneToo) {
    cache.createBookkeeping();
    const int students = AttendanceCache::BulkDeletionMinimum + 10;
    std::vector<XString> all;
    for (int n = 0; n < students; ++n) {
        all.push_back("S" + XString(n));
        cache.stage(AttendanceCache::PeriodTable, record(all.back(), "1", "A"));
    }
    cache.merge(AttendanceCache::PeriodTable);
    cache.markSent(AttendanceCache::PeriodTable, "AttPerRef", true);
    const AttendanceCache::Reconcile window{XDate(2025, 1, 20), XDate(2025, 1, 20), &all};
    const auto keepOnly = [&](int first, int last) {
        for (int n = first; n <= last; ++n) {
            cache.stage(AttendanceCache::PeriodTable, record(all[static_cast<size_t>(n)], "1", "A"));
        }
    };

    // Nearly all gone at once: held back, nothing to send.
    keepOnly(0, 4);
    AttendanceCache::MergeCounts counts = cache.merge(AttendanceCache::PeriodTable, window);
    EXPECT_EQ(counts.held, students - 5);
    EXPECT_EQ(counts.blanked, 0);
    EXPECT_TRUE(toSend().empty());
    // The next merge finds some of them back and the others gone again: those are sent, and the rest of
    // the window is compared as usual.
    keepOnly(0, 9);
    counts = cache.merge(AttendanceCache::PeriodTable, window);
    EXPECT_EQ(counts.held, 0);
    EXPECT_EQ(counts.blanked, students - 10);
    EXPECT_EQ(toSend().size(), static_cast<size_t>(students - 10));
    // A few gone is no bulk: sent at once.
    cache.markSent(AttendanceCache::PeriodTable, "AttPerRef", true);
    keepOnly(0, 7);
    counts = cache.merge(AttendanceCache::PeriodTable, window);
    EXPECT_EQ(counts.held, 0);
    EXPECT_EQ(counts.blanked, 2);
}

TEST_F(AttendanceCacheTest, APendingUpdateFilePutsBackTheCodesItsRowsWereSentWith) {
    cache.createBookkeeping();
    store(record("S1", "1", "A"));
    store(record("S2", "1", "A"));
    cache.markSent(AttendanceCache::PeriodTable, "AttPerRef", true);
    store(record("S1", "1", "L"));  // changed
    store(record("S3", "1", "A"));  // new
    const XString condition = AttendanceCache::changedCondition("AttPerRef", true);
    PendingUpdate& pending = cache.pending();
    EXPECT_EQ(pending.fileName(), "");
    pending.begin("Update 20250120100000.CDU");
    pending.keepSentCodes(AttendanceCache::PeriodTable, "perkey", condition);
    EXPECT_EQ(cache.markSent(AttendanceCache::PeriodTable, "AttPerRef", true), 2);
    EXPECT_EQ(pending.fileName(), "Update 20250120100000.CDU");

    // The file never arrived: both go back to what was sent before them.
    EXPECT_EQ(pending.restore(), 2);
    EXPECT_EQ(pending.fileName(), "");
    EXPECT_EQ(toSend(), (std::vector<std::string>{"S1|1|A|L", "S3|1|null|A"}));

    // A table that held nothing before the run goes back to unsent as a whole.
    cache.markSent(AttendanceCache::PeriodTable, "AttPerRef", true);
    pending.begin("Update 20250121100000.CDU");
    pending.keepTableUnsent(AttendanceCache::PeriodTable);
    EXPECT_EQ(pending.restore(), 3);
    EXPECT_EQ(toSend().size(), 3u);
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

namespace {

// A cache whose tables are not of the cache's layout is damaged, whatever else it holds.
TEST(AttendanceCacheCheck, TablesOfAnotherLayoutAreDamage) {
    const struct {
        const char* name;
        const char* sql;
    } cases[] = {
        {"no primary key",
         "CREATE TABLE PERIOD_ATT (stdkey, attdate, perkey, reason, excused, absent, tardy, truant, "
         "discipline, "
         "header, oldcode, newcode)"},
        {"a column missing",
         "CREATE TABLE DAILY_ATT (stdkey, attdate, timeframe, reason, excused, absent, tardy, truant, "
         "header, "
         "oldcode, newcode, PRIMARY KEY (stdkey, attdate, timeframe, header))"},
        {"another primary key",
         "CREATE TABLE DAILY_ATT (stdkey, attdate, timeframe, reason, excused, absent, tardy, truant, "
         "discipline, header, oldcode, newcode, PRIMARY KEY (stdkey, attdate))"},
        {"a view", "CREATE VIEW PERIOD_ATT AS SELECT 1 AS stdkey"},
        {"bookkeeping of another shape", "CREATE TABLE PENDING_SENT (tbl)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const XFileSpec base(dir.path() + "/");
        AttendanceCache cache;
        cache.open(base);
        cache.database().Execute(c.sql);
        try {
            cache.check();
            ADD_FAILURE() << "passed the check";
        } catch (const std::exception& e) {
            EXPECT_TRUE(AttendanceCache::isDamage(e)) << e.what();
        }
    }
    QTemporaryDir dir;
    AttendanceCache cache;
    cache.open(XFileSpec(dir.path() + "/"));
    cache.createTable(AttendanceCache::PeriodTable);
    cache.createTable(AttendanceCache::DailyTable);
    cache.createBookkeeping();
    EXPECT_NO_THROW(cache.check());
}

}  // namespace
