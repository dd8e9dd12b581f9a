// The attendance writer on a source of its own (a SQLite file through the SQLite ODBC driver): storing a
// pass into the cache, and writing the changed rows into an update file whose rows are marked as sent only
// once the file is in place.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "attendance/AttendanceWriter.h"
#include "dataaccess/DbType.h"
#include "libraries/support/XException.h"

namespace {

// A private DSN on a SQLite file, set up before the process's first ODBC call.
class PrivateSource {
  public:
    static const PrivateSource& instance() {
        static const PrivateSource source;
        return source;
    }
    QString database() const { return m_dir.path() + "/source.db"; }
    bool exec(const char* sql) const {
        sqlite3* db = nullptr;
        bool ok = sqlite3_open(database().toUtf8().constData(), &db) == SQLITE_OK &&
                  sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_close(db);
        return ok;
    }

  private:
    PrivateSource() {
        QFile ini(m_dir.path() + "/odbc.ini");
        if (ini.open(QIODevice::WriteOnly)) {
            ini.write(("[NorvAttendanceTest]\nDriver=SQLite3\nDatabase=" + database() + "\nTimeout=30000\n")
                          .toUtf8());
            ini.close();
        }
        qputenv("ODBCINI", ini.fileName().toUtf8());
    }
    QTemporaryDir m_dir;
};

class AttendanceWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const PrivateSource& source = PrivateSource::instance();
        ASSERT_TRUE(source.exec(
            "DROP TABLE IF EXISTS ATT;"
            "CREATE TABLE ATT (pupil TEXT, day TEXT, first TEXT, last TEXT, code TEXT, discipline TEXT, "
            "created TEXT);"
            "INSERT INTO ATT VALUES ('S1', '01/20/2025', '3', '5', 'A', 'd', '2025-01-20 10:00:00');"
            "INSERT INTO ATT VALUES ('O''Brien', '01/21/2025', '', '1', 'L''', 'd', '2025-01-21 10:00:00');"
            "INSERT INTO ATT VALUES ('S2', '01/22/2025', '2', '2', '', 'd', '2025-01-22 10:00:00');"));
        ASSERT_TRUE(output.isValid());
        QObject::connect(&writer, &AppTaskBase::writeLog,
                         [this](int level, const QString& message, const QString&) {
                             log.append(QString::number(level) + " " + message);
                         });
        writer.setDbType(DbType::SQLite);
        ASSERT_TRUE(writer.SetCDEFolder(output.path()));
        writer.Connect("Data Source=NorvAttendanceTest");
    }

    // One period pass over ATT, ranges from first to last.
    void readPass() {
        writer.StartAttTable(AttendanceCache::PeriodTable, false, false);
        ODBCTable* att = writer.AddTable("ATT", "A");
        writer.AddField(att, "pupil", &DataAccessBase::FormatText, "AttStdRef");
        writer.AddField(att, "day", &DataAccessBase::FormatText, "AttDate");
        writer.AddField(att, "first", &DataAccessBase::FormatText, "AttStartPerRef");
        writer.AddField(att, "last", &DataAccessBase::FormatText, "AttEndPerRef");
        writer.AddField(att, "code", &DataAccessBase::FormatText, "AttAttCodeRef");
        writer.AddField(att, "discipline", &DataAccessBase::FormatText, "AttDiscipline");
        writer.SetAttendanceChangeFields(writer.NewField(att, "created", true), nullptr);
        writer.WriteAttendanceTable(XDate(2025, 1, 13), XDate(2025, 1, 24), RowFilter(), true);
        writer.EndHeader();
    }

    // The rows of the update files of the output folder, in file and row order.
    QList<QByteArray> updateRows() const {
        QList<QByteArray> rows;
        for (const QString& name : QDir(output.path()).entryList({"Update *.CDU"}, QDir::Files, QDir::Name)) {
            QFile file(output.path() + "/" + name);
            file.open(QIODevice::ReadOnly);
            bool inTable = false;
            for (const QByteArray& line : file.readAll().split('\n')) {
                if (line.startsWith("AttStdRef")) {
                    inTable = true;
                } else if (line.startsWith("*")) {
                    inTable = false;
                } else if (inTable) {
                    rows.append(line.trimmed());
                }
            }
        }
        return rows;
    }

    int logged(const QString& text) const { return static_cast<int>(log.filter(text).size()); }

    QTemporaryDir output;
    QStringList log;  // before the writer, whose destructor still logs
    AttendanceWriter writer{0, 0};
};

TEST_F(AttendanceWriterTest, APassStoresOneRowPerPeriodOfARangeAsItIs) {
    readPass();
    writer.StartOwnedUpdate();
    writer.CreateStudentAttendanceFromDB(false);
    writer.FinishUpdate();
    QList<QByteArray> rows = updateRows();
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (QList<QByteArray>{
                        "O'Brien\t01/21/2025\t0\tL'\t\t\t\t\t\td", "O'Brien\t01/21/2025\t1\tL'\t\t\t\t\t\td",
                        "S1\t01/20/2025\t3\tA\t\t\t\t\t\td", "S1\t01/20/2025\t4\tA\t\t\t\t\t\td",
                        "S1\t01/20/2025\t5\tA\t\t\t\t\t\td"}));
    // One warning in the writer's life, however many rows carry the column.
    EXPECT_EQ(logged("SQLite Attendance: Untested header: AttDiscipline, please ensure this is tested"), 1);
    // One read of the span up to its end, a day longer.
    EXPECT_EQ(logged("Reading Student Period Attendance ("), 1);
    EXPECT_EQ(logged("Reading Student Period Attendance (01/13/2025 to 01/25/2025)..."), 1);

    // Marked as sent: a second update file has the table and no rows.
    writer.StartOwnedUpdate();
    writer.CreateStudentAttendanceFromDB(false);
    writer.FinishUpdate();
    EXPECT_EQ(updateRows().size(), 5);
}

TEST_F(AttendanceWriterTest, NonNumericRangesStopThePass) {
    ASSERT_TRUE(PrivateSource::instance().exec("UPDATE ATT SET first = 'x' WHERE pupil = 'S2'"));
    try {
        readPass();
        FAIL() << "the pass went on";
    } catch (const XException& e) {
        EXPECT_STREQ(e.what(), "SQLite Attendance: Unsupported header: AttPerRef, cannot continue.");
    }
    EXPECT_EQ(logged("3 SQLite Attendance: Unsupported header: AttPerRef, cannot continue because Periods or "
                     "Timeframes are not numeric."),
              1);
}

TEST_F(AttendanceWriterTest, RowsStayUnsentWhenTheUpdateFileCannotBePutInPlace) {
    readPass();
    writer.StartOwnedUpdate();
    writer.CreateStudentAttendanceFromDB(false);
    // The update file cannot be finished: its temporary file is gone.
    for (const QString& name : QDir(output.path()).entryList({".Update*"}, QDir::Files | QDir::Hidden)) {
        ASSERT_TRUE(QFile::remove(output.path() + "/" + name));
    }
    EXPECT_THROW(writer.FinishUpdate(), XException);
    EXPECT_TRUE(updateRows().isEmpty());

    // The next update file carries them.
    writer.StartOwnedUpdate();
    writer.CreateStudentAttendanceFromDB(false);
    writer.FinishUpdate();
    EXPECT_EQ(updateRows().size(), 5);
}

TEST_F(AttendanceWriterTest, AMarkingThatCannotCommitPublishesNothing) {
    // A reader (a backup, a person looking) holds the cache in a read transaction while the run commits.
    writer.BeginAttendanceUpdate(XString());
    readPass();
    writer.StartOwnedUpdate();
    writer.CreateStudentAttendanceFromDB(false);
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open((output.path() + "/Attendance/Attendance.db").toUtf8().constData(), &reader),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr),
              SQLITE_OK);
    // The run would wait half a minute for the reader; the test does not.
    sqlite3_busy_timeout(writer.attendanceCache().database().Handle(), 200);
    EXPECT_THROW(writer.FinishUpdate(), XException);
    EXPECT_TRUE(updateRows().isEmpty());
    EXPECT_TRUE(QDir(output.path()).entryList({".Update*"}, QDir::Files | QDir::Hidden).isEmpty());
    sqlite3_exec(reader, "COMMIT;", nullptr, nullptr, nullptr);
    sqlite3_close(reader);

    // Nothing counts as sent: the next run (which reads the update date the failed run did not save) sends
    // the rows.
    writer.setUpdateDate(XDate());
    writer.BeginAttendanceUpdate(XString());
    readPass();
    writer.StartOwnedUpdate();
    writer.CreateStudentAttendanceFromDB(false);
    writer.FinishUpdate();
    EXPECT_EQ(updateRows().size(), 5);
}

TEST(AttendanceOverlap, IsANumberOfDaysFromNoneToAYear) {
    const struct {
        const char* text;
        std::optional<int> days;
    } cases[] = {{"14", 14},
                 {"0", 0},
                 {" 30 ", 30},
                 {"366", 366},
                 {"367", std::nullopt},
                 {"-3", std::nullopt},
                 {"2w", std::nullopt},
                 {"", std::nullopt},
                 {"1e2", std::nullopt},
                 {"0x10", std::nullopt},
                 {"99999999999", std::nullopt}};
    for (const auto& c : cases) {
        EXPECT_EQ(AttendanceWriter::ParseOverlap(c.text), c.days) << c.text;
    }
}

}  // namespace
