// Test support for the engine's whole-engine tests: the two sample sources (the SQLite DSN and the
// PostgreSQL DSN that ./test.sh sets up), the generator's data (norv.json beside the odbc.ini), a harness
// that runs an ExpEngine with its log collected, and the text rules of the extract files written out
// independently of the engine, so that expected files are computed from the data alone.
#pragma once

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "../app/ProgramRunner.h"
#include "engine/ExpEngine.h"
#include "task/LogLevel.h"

namespace enginetest {

// The log levels the tests look for in a harness's log.
inline constexpr int Critical = static_cast<int>(LogLevel::Critical);
inline constexpr int Error = static_cast<int>(LogLevel::Error);
inline constexpr int Warning = static_cast<int>(LogLevel::Warning);
inline constexpr int Informational = static_cast<int>(LogLevel::Informational);

enum class SourceKind { SQLite, PostgreSQL };

struct SampleSource {
    SourceKind kind;
    const char* name;  // for test names
    XString dsn;
    XString user;
    XString password;
};

// The source, or the reason it is missing (the ctest fixture norv_sources_start sets it up).
std::optional<SampleSource> sampleSource(SourceKind kind, QString& missingReason);

// A test run on each sample source: SetUp finds the source of the parameter, or fails the test.
class SampleSourceTest : public ::testing::TestWithParam<SourceKind> {
  protected:
    void SetUp() override;
    SampleSource source{};
};

// The folder of the sample's odbc.ini (and norv.json).
QString sampleFolder();

// The generator's data: one view's rows as maps column name -> JSON value (null for NULL).
class SampleData {
  public:
    static const SampleData& instance();
    using Row = std::map<QString, QJsonValue>;
    std::vector<Row> rows(const QString& view) const;
    const QJsonArray& schools() const { return m_schools; }
    int schoolYear() const { return m_schoolYear; }
    // The generator's arguments that made the data: --seed, --students, --year and --as-of with values.
    const QStringList& generatorArguments() const { return m_generatorArguments; }

  private:
    QJsonObject m_views;
    QJsonArray m_schools;
    int m_schoolYear = 0;
    QStringList m_generatorArguments;
};

// The extract files' text rules, applied to a source value (null reads as empty).
QByteArray columnText(const QJsonValue& value);        // NFC, working code page, trimmed, TABs removed
QByteArray outputText(const QJsonValue& value);        // columnText trimmed, TAB/CR/LF as blanks
QByteArray singleLine(const QJsonValue& value);        // the same rule on a column text
QByteArray dateText(const QJsonValue& value);          // "YYYY-MM-DD" as "MM/DD/YYYY"; null as empty
QByteArray joinLine(const QList<QByteArray>& fields);  // TAB-separated, ended by CR LF

// A stored value as the extractor reads a column's text: a number as its decimal text, else columnText.
QByteArray valueText(const QJsonValue& value);
// The text of a stored row's column (null reads as empty).
QString str(const SampleData::Row& row, const char* column);

// The student conditions, evaluated on the stored values as the database compares them.
struct Selection {
    QString school;
    QString cutoffIso;  // empty: registered students only

    bool matches(const SampleData::Row& row) const;
};
// The pupil numbers of the demographic rows the selection keeps.
std::set<QByteArray> includedPupils(const Selection& selection);
// How many demographic rows of pupil the selection keeps (the rows a join with the demographics gives).
int selectedRows(const Selection& selection, const QJsonValue& pupil);

// The nine grade columns of the marks view, in the order of the Marks table's fields.
inline constexpr const char* kMarkGradeColumns[] = {"mark",
                                                    "final_exam",
                                                    "semester_grade",
                                                    "year_final",
                                                    "LEARNING_SKILL_1",
                                                    "LEARNING_SKILL_2",
                                                    "LEARNING_SKILL_3",
                                                    "LEARNING_SKILL_4",
                                                    "LEARNING_SKILL_5"};
// True when a row of the marks view has a grade in any of them (a mark without one is not written).
bool hasGrade(const SampleData::Row& mark);

// One engine with its log and host messages collected.
class EngineHarness {
  public:
    // engine: the engine to run, an ExpEngine unless a test needs one of its own.
    explicit EngineHarness(std::unique_ptr<ExpEngine> engine = std::make_unique<ExpEngine>());
    ~EngineHarness();

    ExpEngine& engine() { return *m_engine; }
    // Runs Execute with the connection inputs of source, school and the extra values, into folder.
    bool run(const SampleSource& source, const QString& folder, const QString& school, int mode,
             const TaskValues& extra = TaskValues());
    // Verifies folder's attendance against source (VerifyAttendance with the same inputs).
    bool verify(const SampleSource& source, const QString& folder, const QString& school);

    struct LogLine {
        int level;
        QString message;
        QString method;
    };
    const std::vector<LogLine>& log() const { return m_log; }
    // True when a line at level holds the text.
    bool logged(int level, const QString& text) const;
    QString logText() const;
    const QStringList& missing() const { return m_missing; }

  private:
    static TaskValues values(const SampleSource& source, const QString& folder, const QString& school,
                             const TaskValues& extra);
    // Declared before the engine: its destructor still logs.
    std::vector<LogLine> m_log;
    QStringList m_missing;
    std::unique_ptr<ExpEngine> m_engine;
};

// A full extraction of one school from one source, run once per process and shared by the tests that
// only read what it wrote.
struct Extraction {
    QString folder;
    std::vector<EngineHarness::LogLine> log;
    bool succeeded = false;
    QByteArray file(const char* name) const;
    bool logged(int level, const QString& text) const;
};
const Extraction& fullExtraction(const SampleSource& source, const QString& school);

// A source of its own that a test may change (drop a view, rename a column), reached through its own DSN in
// a private odbc.ini that ODBCINI is pointed at for this process (with the sample's DSNs kept). Each
// fixture's DSN has a name of its own: the driver manager keeps what it read of an odbc.ini for the process.
class FixtureSource {
  public:
    virtual ~FixtureSource();
    // False when the fixture could not be made (the reason in error()).
    bool isValid() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }
    // Runs statements on the fixture; false (reason in error()) when they fail.
    virtual bool exec(const QString& sql) = 0;
    virtual SampleSource source() const = 0;

    // A fixture of kind, or the reason it cannot be made in skipReason. withSampleData: the PostgreSQL
    // fixture holds the sample's data too (the SQLite one always does).
    static std::unique_ptr<FixtureSource> make(SourceKind kind, QString& skipReason,
                                               bool withSampleData = false);

  protected:
    FixtureSource();
    // Writes the private odbc.ini: the sample's DSNs and section, named dsn().
    void writeOdbcIni(const QString& section);
    QString dsn() const;

    QTemporaryDir m_dir;
    QString m_error;

  private:
    QByteArray m_previousOdbcIni;
};

// A copy of the SQLite sample database.
class SqliteFixture : public FixtureSource {
  public:
    SqliteFixture();
    bool exec(const QString& sql) override;
    SampleSource source() const override;
};

// A schema of its own in the test server's fixture database "norv_test" with the sample's views (empty but
// for the school 1021, or with withSampleData the sample's own data, generated again from its parameters),
// reached as norv_admin.
class PostgresFixture : public FixtureSource {
  public:
    explicit PostgresFixture(bool withSampleData = false);
    ~PostgresFixture() override;
    bool exec(const QString& sql) override;
    SampleSource source() const override;

  private:
    bool psql(const QString& sql);
    QString m_schema;
};

// Runs sql on the test server's database "norv_test" as its administrator (norv_admin, a superuser); false,
// with psql's words in error, when it fails.
bool asServerAdmin(const QString& sql, QString& error);

// The file's lines (without their CR LF), sorted.
QList<QByteArray> sortedLines(const QByteArray& content);

// A test on a fixture copy of each sample source (with the sample's data) whose first included pupil of
// school is the test's own: the test gives him rows of its own, and runs the engine into folder.
class OwnPupilTest : public SampleSourceTest {
  protected:
    explicit OwnPupilTest(const char* school) : m_school(school) {}
    void SetUp() override;
    void exec(const QString& sql) { ASSERT_TRUE(fixture->exec(sql)) << fixture->error().toStdString(); }

    std::unique_ptr<FixtureSource> fixture;
    QString pupil;
    QTemporaryDir out;
    QString folder;  // the output folder, out + "/import"

  private:
    const char* m_school;
};

}  // namespace enginetest
