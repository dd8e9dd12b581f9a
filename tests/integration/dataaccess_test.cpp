// The data access layer through both real ODBC drivers: the sample Norv DSNs (SQLite and PostgreSQL) for
// the catalogue probes and query errors, and a fixture table of every value kind in a SQLite file and in
// the test server's norv_test database. Connection failures use a DSN that does not exist, a wrong password
// and a port where no server listens.
// Reads the sample sources that the ctest fixture sets up (ODBCINI, NORV_PG_PORT); fails without them.

#include "dataaccess/DbType.h"
#include "dataaccess/FormatRules.h"
#include "dataaccess/ODBCDataAccess.h"
#include "libraries/support/XException.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

enum class Engine { SQLite, PostgreSQL };

void PrintTo(Engine engine, std::ostream* os) {
    *os << (engine == Engine::SQLite ? "SQLite" : "PostgreSQL");
}

const char* const kAdminPassword = "norv-admin-pw";
const char* const kReaderPassword = "norv-reader-pw";

struct LogLine {
    int level;
    std::string text;
};

// A layer with its log and host error lines collected. The log is declared first: the layer logs from its
// destructor.
struct Layer {
    explicit Layer(int options = 0, int dbType = DbType::OracleODBC) : access(options, dbType) {
        QObject::connect(&access, &AppTaskBase::writeLog,
                         [this](int level, const QString& text, const QString&) {
                             log.push_back({level, text.toStdString()});
                         });
        QObject::connect(&access, &AppTaskBase::writeError, [this](const QString& key, const QString& text) {
            log.push_back({-1, (key + " " + text).toStdString()});
        });
    }
    bool logged(int level, const std::string& text) const { return count(level, text) > 0; }
    // Lines at level that begin with text.
    int count(int level, const std::string& text) const {
        int lines = 0;
        for (const LogLine& line : log) {
            lines += line.level == level && line.text.compare(0, text.size(), text) == 0 ? 1 : 0;
        }
        return lines;
    }
    std::vector<LogLine> log;
    ODBCDataAccess access;
};

std::string pgPort() {
    return qEnvironmentVariable("NORV_PG_PORT").toStdString();
}

// Runs a client program with sql on its standard input; "" when it succeeded, else its error output.
std::string runClient(const QString& program, const QStringList& arguments, const QString& sql,
                      const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.write(sql.toUtf8());
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        return "failed: " + process.readAllStandardError().toStdString();
    }
    return "";
}

// The value fixture: one row per case, ordered by id.
//   1: text with blanks, a TAB and CR LF around accented letters; 123.45; -42; a date; a time stamp; true
//   2: the empty text; -7.50; 0; no date; no time stamp; false
//   3: NULL everywhere
//   4: a decomposed é, a letter outside Windows-1252 and ü
QString fixtureSql(Engine engine, const QString& table) {
    const QString flagType = engine == Engine::SQLite ? "INTEGER" : "BOOLEAN";
    const QString yes = engine == Engine::SQLite ? "1" : "true";
    const QString no = engine == Engine::SQLite ? "0" : "false";
    const QString timestampType = engine == Engine::SQLite ? "DATETIME" : "TIMESTAMP";
    // Control characters as function calls: a command-line client may take a raw CR LF for its line end.
    const QString chr = engine == Engine::SQLite ? "char" : "chr";
    const QString text = QString("'  Ren\u00e9' || %1(9) || 'A' || %1(13) || %1(10) || 'B  '").arg(chr);
    return QString(
               "CREATE TABLE %1 (id INTEGER, txt VARCHAR(60), num NUMERIC(10,2), whole NUMERIC(10,0), "
               "d DATE, ts %2, flag %3);\n"
               "INSERT INTO %1 VALUES (1, %6, 123.45, -42, '2024-03-05', '2024-03-05 14:07:09', %4);\n"
               "INSERT INTO %1 VALUES (2, '', -7.50, 0, NULL, NULL, %5);\n"
               "INSERT INTO %1 VALUES (3, NULL, NULL, NULL, NULL, NULL, NULL);\n"
               "INSERT INTO %1 VALUES (4, 'Rene\u0301 \u0141\u00fc', 1, 7, '1900-01-01', "
               "'2024-03-05 09:05:07', %4);\n")
        .arg(table, timestampType, flagType, yes, no, text);
}

class DataAccessTest : public ::testing::TestWithParam<Engine> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(qEnvironmentVariable("ODBCINI")))
            << "the sample DSNs are missing (the ctest fixture norv_sources_start builds them)";
        ASSERT_TRUE(folder.isValid());
    }

    void TearDown() override {
        if (!fixtureTable.isEmpty() && GetParam() == Engine::PostgreSQL) {
            adminPsql("DROP TABLE IF EXISTS " + fixtureTable + ";");
        }
    }

    bool isPostgres() const { return GetParam() == Engine::PostgreSQL; }

    // Connects a layer to the sample DSN as the engine does (type 11, the reader's credentials for
    // PostgreSQL).
    void connectSample(Layer& layer) { layer.access.Connect(sampleConnection(layer)); }

    XString sampleConnection(Layer& layer) {
        layer.access.setDbType(DbType::OracleODBC);
        if (isPostgres()) {
            return layer.access.BuildConnectionString("NorvPG", XString("norv_reader"),
                                                      XString(kReaderPassword));
        }
        // The SQLite driver leaks a little of the DSN lookup in the driver manager's profile code (after the
        // driver is unloaded, so no suppression can name it): reach the same database with the DSN's own
        // settings instead of its name.
        return sqliteSampleConnection();
    }

    // "Driver=SQLite3;Database=...;LoadExt=..." from the NorvSQLite section of the sample's odbc.ini.
    static XString sqliteSampleConnection() {
        QFile ini(qEnvironmentVariable("ODBCINI"));
        if (!ini.open(QIODevice::ReadOnly | QIODevice::Text)) {
            return XString("DSN=NorvSQLite");
        }
        QString text = "Driver=SQLite3";
        bool inSection = false;
        for (const QString& line : QString::fromUtf8(ini.readAll()).split('\n')) {
            if (line.startsWith('[')) {
                inSection = line.trimmed() == "[NorvSQLite]";
            } else if (inSection && (line.startsWith("Database=") || line.startsWith("LoadExt="))) {
                text += ";" + line.trimmed();
            }
        }
        return XString(text.toStdString());
    }

    std::string adminPsql(const QString& sql) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PGPASSWORD", kAdminPassword);
        return runClient("psql",
                         {"-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", "127.0.0.1", "-p",
                          QString::fromStdString(pgPort()), "-U", "norv_admin", "-d", "norv_test"},
                         sql, environment);
    }

    // Creates the value fixture and answers the connection string that reaches it.
    XString createFixture() {
        fixtureTable = QString("dataaccess_values_%1").arg(QCoreApplication::applicationPid());
        if (isPostgres()) {
            adminPsql("DROP TABLE IF EXISTS " + fixtureTable + ";");
            EXPECT_EQ(adminPsql(fixtureSql(Engine::PostgreSQL, fixtureTable)), "");
            return XString("Driver={PostgreSQL Unicode};Servername=127.0.0.1;Port=" + pgPort() +
                           ";Database=norv_test;User ID=norv_admin;Password=" + kAdminPassword + ";");
        }
        const QString path = folder.filePath("values.db");
        EXPECT_EQ(runClient("sqlite3", {path}, fixtureSql(Engine::SQLite, fixtureTable)), "");
        return XString(("Driver=SQLite3;Database=" + path).toStdString());
    }

    QTemporaryDir folder;
    QString fixtureTable;
};

TEST_P(DataAccessTest, ProbesFindTablesAndColumnsInAnyLetterCase) {
    Layer layer;
    connectSample(layer);
    EXPECT_TRUE(layer.access.TableExists("V_VLMR_SCHOOL"));
    EXPECT_TRUE(layer.access.TableExists("v_vlmr_school"));
    EXPECT_FALSE(layer.access.TableExists("V_VLMR_NO_SUCH_VIEW"));
    // An apostrophe in a name stays inside the literal instead of breaking (or changing) the probe.
    EXPECT_FALSE(layer.access.TableExists("V_VLMR_SCHOOL') OR ('1'='1"));
    EXPECT_TRUE(layer.access.FieldExists("V_VLMR_SCHOOL", "LONG_NAME"));
    EXPECT_TRUE(layer.access.FieldExists("v_vlmr_school", "long_name"));
    EXPECT_FALSE(layer.access.FieldExists("V_VLMR_SCHOOL", "NO_SUCH_COLUMN"));
    // One catalogue query per view answers every question about it, whatever the letter case.
    EXPECT_EQ(layer.count(9, "Columns query:"), 3);
    EXPECT_TRUE(layer.access.TrialQuery("SELECT school FROM V_VLMR_SCHOOL"));
    EXPECT_FALSE(layer.access.TrialQuery("SELECT nothing FROM V_VLMR_SCHOOL"));
}

TEST_P(DataAccessTest, MissingTablesAndFieldsFollowTheirRequiredFlag) {
    Layer layer(ODBCDataAccess::CheckExistence);
    connectSample(layer);
    EXPECT_EQ(layer.access.AddTable("V_VLMR_NO_SUCH_VIEW", "N", false), nullptr);
    EXPECT_TRUE(layer.logged(8, "Table does not exist : V_VLMR_NO_SUCH_VIEW"));
    try {
        layer.access.AddTable("V_VLMR_NO_SUCH_VIEW", "N", true);
        ADD_FAILURE() << "a missing required table was declared";
    } catch (const XException& e) {
        EXPECT_STREQ(e.what(), "Table does not exist : V_VLMR_NO_SUCH_VIEW");
    }

    ODBCTable* school = layer.access.AddTable("V_VLMR_SCHOOL", "S");
    ASSERT_NE(school, nullptr);
    EXPECT_NE(layer.access.AddField(school, "school", &DataAccessBase::FormatText, "SchoolKey"), nullptr);
    EXPECT_EQ(layer.access.AddField(school, "NO_SUCH_COLUMN", &DataAccessBase::FormatText, "X", false),
              nullptr);
    EXPECT_TRUE(layer.logged(8, "Field does not exist : NO_SUCH_COLUMN in table V_VLMR_SCHOOL"));
    EXPECT_EQ(layer.access.columnBindings().size(), 1u);
    try {
        layer.access.AddField(school, "NO_SUCH_COLUMN", &DataAccessBase::FormatText, "X", true);
        ADD_FAILURE() << "a missing required column was declared";
    } catch (const XException& e) {
        EXPECT_STREQ(e.what(), "Required Field does not exist : NO_SUCH_COLUMN in table V_VLMR_SCHOOL");
    }
    EXPECT_TRUE(layer.logged(2, "Required Field does not exist : NO_SUCH_COLUMN in table V_VLMR_SCHOOL"));

    // With option 0x40 a missing column also lists the columns the table has, over a connection of its own.
    layer.access.setOptions(ODBCDataAccess::CheckExistence | ODBCDataAccess::DumpColumnsOfMissing);
    EXPECT_EQ(layer.access.NewField(school, "NO_SUCH_COLUMN", false), nullptr);
    EXPECT_TRUE(layer.logged(8, "V_VLMR_SCHOOL contents:"));
    EXPECT_TRUE(layer.logged(8, "long_name") || layer.logged(8, "LONG_NAME"));
    EXPECT_EQ(layer.access.declaration().fields().size(), 1u);
}

TEST_P(DataAccessTest, FailingQueryThrowsWithTheDriversReasonAndTheQuery) {
    Layer layer;
    connectSample(layer);
    layer.access.BeginHeader("Schools", "Schools.cef");
    ODBCTable* school = layer.access.AddTable("V_VLMR_SCHOOL", "S");
    layer.access.NewField(school, "no_such_column", true);
    const std::string query = "SELECT S.no_such_column FROM V_VLMR_SCHOOL S ";
    try {
        layer.access.OpenTable(true);
        ADD_FAILURE() << "the query opened";
    } catch (const XException& e) {
        const std::string message = e.what();
        EXPECT_EQ(message.rfind("Failed with error [While executing query: Error number: ", 0), 0u)
            << message;
        EXPECT_NE(message.find("no_such_column"), std::string::npos) << message;  // the driver names it
        EXPECT_NE(message.find("Source = unixODBC"), std::string::npos) << message;
        const std::string tail = "] while parsing query: " + query;
        ASSERT_GE(message.size(), tail.size());
        EXPECT_EQ(message.substr(message.size() - tail.size()), tail) << message;
    }
}

TEST_P(DataAccessTest, RecordCountsOfStaticAndForwardOnlyResults) {
    const XString cs = createFixture();
    for (int options : {0, int(ODBCDataAccess::ForwardOnly)}) {
        Layer layer(options);
        layer.access.Connect(cs);
        layer.access.BeginHeader("Values", "Values.cef");
        ODBCTable* values = layer.access.AddTable(XString(fixtureTable.toStdString()), "V");
        layer.access.NewField(values, "id", true);
        ASSERT_TRUE(layer.access.OpenTable(true));
        EXPECT_EQ(layer.access.GetRecordCount(), 4);
        EXPECT_TRUE(layer.logged(8, "GetRecordCount: Found Record Count of 4"));
        EXPECT_EQ(layer.logged(8, "GetRecordCount: Lets determine record count manually."), options != 0);
        // Counting by hand leaves the result at its end; the first record is still there to read.
        ASSERT_TRUE(layer.access.GetFirstRecord());
        int rows = 1;
        while (layer.access.GetNextRecord()) {
            ++rows;
        }
        EXPECT_EQ(rows, 4);
        layer.access.EndHeader();
        EXPECT_FALSE(layer.access.GetFirstRecord());
    }
}

TEST_P(DataAccessTest, ARunReadOnceStreamsWithoutCountingAndFailsWhenTheSourceBreaksOff) {
    const XString cs = createFixture();
    Layer layer;
    layer.access.Connect(cs);
    layer.access.BeginHeader("Values", "Values.cef");
    ODBCTable* values = layer.access.AddTable(XString(fixtureTable.toStdString()), "V");
    ODBCField* id = layer.access.NewField(values, "id", true);
    layer.access.AddOrder(id);
    ASSERT_TRUE(layer.access.OpenTable(true, CDEWriter::RowPasses::Once));
    EXPECT_TRUE(layer.logged(8, "Rows are read in one pass, not counted ahead."));
    EXPECT_FALSE(layer.logged(8, "GetRecordCount: Lets determine record count manually."));
    std::vector<int> ids;
    for (bool more = layer.access.GetFirstRecord(); more; more = layer.access.GetNextRecord()) {
        ids.push_back(layer.access.GetFieldInt(id));
    }
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4}));
    layer.access.EndHeader();

    // A row that fails after the first blocks were read: an integer overflow in row 2500. A driver that
    // steps through the result as it is fetched (the SQLite driver with StepAPI=1) reports it only then,
    // and the layer must not take that for the end of the rows.
    if (isPostgres()) {
        return;  // psqlODBC reads the whole result when the query runs, so the query itself fails
    }
    Layer streaming;
    streaming.access.Connect(cs + ";StepAPI=1");
    // No ORDER BY: a sort would evaluate every row first.
    const XString query =
        "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 3000) "
        "SELECT n, CASE WHEN n = 2500 THEN abs(-9223372036854775807 - 1) ELSE n END FROM c";
    ASSERT_EQ(streaming.access.RunQuery(query, CDEWriter::RowPasses::Once), 0);
    int rows = 0;
    try {
        for (bool more = streaming.access.GetFirstRecord(); more; more = streaming.access.GetNextRecord()) {
            ++rows;
        }
        ADD_FAILURE() << "the failing row read as the end of the result";
    } catch (const XException& e) {
        EXPECT_NE(std::string(e.what()).find("overflow"), std::string::npos) << e.what();
    }
    EXPECT_GT(rows, 0);
    EXPECT_LT(rows, 2500);
}

// The layer as the attendance writer sees it: the bound values of the current record.
struct BindingReader : ODBCDataAccess {
    BindingReader() : ODBCDataAccess(0, DbType::OracleODBC) {}
    using CDEWriter::AppendBindingValue;
    using CDEWriter::BindingValue;
    using DataAccessBase::BindingDate;
};

TEST_P(DataAccessTest, BoundValuesWrittenInPlaceAreWhatTheirFormattersAnswer) {
    // Text, one-line text and dates are written from where the result holds them, in a result read once
    // (the driver's arrays) and in one held whole (column storage): byte for byte what the formatters give,
    // and a date binding's date is the date its text says.
    const XString cs = createFixture();
    for (const auto passes : {CDEWriter::RowPasses::Once, CDEWriter::RowPasses::Repeated}) {
        BindingReader reader;
        reader.Connect(cs);
        reader.BeginHeader("Values", "Values.cef");
        ODBCTable* values = reader.AddTable(XString(fixtureTable.toStdString()), "V");
        for (const char* column : {"txt", "num", "whole", "d", "ts", "flag", "id"}) {
            reader.AddField(values, column, &DataAccessBase::FormatText, XString("T") + column);
            reader.AddField(values, column, &DataAccessBase::FormatOneLine, XString("L") + column);
            reader.AddField(values, column, &DataAccessBase::FormatDate, XString("D") + column);
        }
        reader.AddField(nullptr, "none", &DataAccessBase::FormatText, "Tnone");
        reader.AddField(nullptr, "none", &DataAccessBase::FormatDate, "Dnone");
        reader.AddOrder(reader.declaration().fields().back().get());
        ASSERT_TRUE(reader.OpenTable(true, passes));
        int rows = 0;
        for (bool more = reader.GetFirstRecord(); more; more = reader.GetNextRecord(), ++rows) {
            for (const ColumnBinding& binding : reader.columnBindings()) {
                // What the formatter's rule makes of the value's text as the general conversion gives it.
                const XString raw = reader.GetFieldRawText(binding.field);
                std::string expected;
                if (binding.valueKind == ColumnBinding::ValueKind::ColumnText) {
                    XString text = raw;
                    FormatRules::trimEnds(text);
                    text.removeChars("\t");
                    expected = FormatRules::columnText(text).toStdString();
                } else if (binding.field && (binding.columnName == "d" || binding.columnName == "ts") &&
                           !raw.isEmpty()) {
                    XDate date;
                    date.Parse("YYYY/MM/DD", raw.left(10));
                    expected = date.Format(reader.settings().dateFormat).toStdString();
                }
                ASSERT_EQ(reader.BindingValue(binding).toStdString(), expected)
                    << binding.columnName.toStdString() << " row " << rows;
                std::string written = "x";
                reader.AppendBindingValue(binding, written);
                ASSERT_EQ(written, "x" + expected) << binding.columnName.toStdString() << " row " << rows;
                if (binding.valueKind == ColumnBinding::ValueKind::ColumnDate) {
                    XDate parsed;
                    parsed.Parse(reader.settings().dateFormat, XString(expected));
                    EXPECT_EQ(reader.BindingDate(binding), parsed) << binding.columnName.toStdString();
                }
            }
        }
        EXPECT_EQ(rows, 4);
        const auto kinds = reader.columnBindings();
        EXPECT_EQ(kinds[0].valueKind, ColumnBinding::ValueKind::ColumnText);
        EXPECT_EQ(kinds[1].valueKind, ColumnBinding::ValueKind::ColumnText);
        EXPECT_EQ(kinds[2].valueKind, ColumnBinding::ValueKind::ColumnDate);
        reader.EndHeader();
    }
}

TEST_P(DataAccessTest, EveryValueKindReadsAsTheImportExpects) {
    const XString cs = createFixture();
    Layer layer;
    layer.access.Connect(cs);
    ODBCTable* values = layer.access.AddTable(XString(fixtureTable.toStdString()), "V");
    ODBCField* id = layer.access.NewField(values, "id", true);
    ODBCField* txt = layer.access.NewField(values, "txt", true);
    ODBCField* num = layer.access.NewField(values, "num", true);
    ODBCField* whole = layer.access.NewField(values, "whole", true);
    ODBCField* d = layer.access.NewField(values, "d", true);
    ODBCField* ts = layer.access.NewField(values, "ts", true);
    ODBCField* flag = layer.access.NewField(values, "flag", true);
    layer.access.AddOrder(id);
    ASSERT_TRUE(layer.access.ExecuteQuery());

    ASSERT_TRUE(layer.access.GetFirstRecord());
    EXPECT_EQ(layer.access.GetFieldInt(id), 1);
    EXPECT_EQ(layer.access.GetFieldRawText(txt).toStdString(), "  Ren\xE9\tA\r\nB  ");
    EXPECT_EQ(layer.access.GetFieldText(txt).toStdString(),
              "Ren\xE9"
              "A\r\nB");
    EXPECT_EQ(layer.access.GetFieldSingleLine(txt).toStdString(),
              "Ren\xE9"
              "A  B");
    EXPECT_EQ(layer.access.GetFieldText(num).toStdString(), "123.45");
    EXPECT_DOUBLE_EQ(layer.access.GetFieldDouble(num), 123.45);
    EXPECT_EQ(layer.access.GetFieldInt(num), 123);
    EXPECT_EQ(layer.access.GetFieldText(whole).toStdString(), "-42");
    EXPECT_EQ(layer.access.GetFieldInt(whole), -42);
    EXPECT_EQ(layer.access.GetFieldDate(d), XDate(2024, 3, 5));
    EXPECT_EQ(layer.access.GetFieldDateTime(ts).Format("YYYY/MM/DD HH:NN:SS").toStdString(),
              "2024/03/05 14:07:09");
    EXPECT_EQ(layer.access.GetFieldText(ts).toStdString(), "2024/03/05 14:07:09");
    EXPECT_EQ(layer.access.GetFieldDate(ts), XDate(2024, 3, 5));
    EXPECT_EQ(layer.access.GetFieldTime(ts), XTime(14, 7, 9));
    EXPECT_TRUE(layer.access.GetFieldBool(flag));
    EXPECT_EQ(layer.access.GetFieldBoolDigit(flag).toStdString(), "1");
    // Dates of text columns are null whatever the text.
    EXPECT_TRUE(layer.access.GetFieldDate(txt).IsNull());

    ASSERT_TRUE(layer.access.GetNextRecord());
    EXPECT_FALSE(layer.access.IsFieldNull(txt));
    EXPECT_EQ(layer.access.GetFieldText(txt).toStdString(), "");
    EXPECT_EQ(layer.access.GetFieldText(num).toStdString(), "-7.5");
    EXPECT_EQ(layer.access.GetFieldIntText(whole).toStdString(), "");
    EXPECT_TRUE(layer.access.GetFieldDate(d).IsNull());
    EXPECT_FALSE(layer.access.GetFieldBool(flag));

    ASSERT_TRUE(layer.access.GetNextRecord());
    for (ODBCField* field : {txt, num, whole, d, ts, flag}) {
        EXPECT_TRUE(layer.access.IsFieldNull(field)) << field->name.toStdString();
        EXPECT_EQ(layer.access.GetFieldText(field).toStdString(), "") << field->name.toStdString();
    }
    EXPECT_TRUE(layer.access.GetFieldDate(d).IsNull());
    EXPECT_EQ(layer.access.GetFieldInt(whole), 0);

    ASSERT_TRUE(layer.access.GetNextRecord());
    EXPECT_EQ(layer.access.GetFieldText(txt).toStdString(), "Ren\xE9 ?\xFC");
    EXPECT_EQ(layer.access.GetFieldText(num).toStdString(), "1");
    EXPECT_TRUE(layer.access.GetFieldDateNo1900(d).IsNull());
    EXPECT_EQ(layer.access.GetFieldDate(d), XDate(1900, 1, 1));
    EXPECT_EQ(layer.access.GetFieldText(ts).toStdString(), "2024/03/05 9:05:07");
    EXPECT_FALSE(layer.access.GetNextRecord());

    // Past the end a text read fails with the access error and the field's status.
    try {
        layer.access.GetFieldText(txt);
        ADD_FAILURE() << "read past the end";
    } catch (const XException& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("COM Error Code = 800a0bcd"), std::string::npos) << message;
        EXPECT_EQ(message.substr(message.size() - 30), " Field Status: adFieldOK - OK.") << message;
    }

    // With option 0x04 values are found by column name instead of position.
    layer.access.setOptions(ODBCDataAccess::ValuesByName);
    ASSERT_TRUE(layer.access.GetFirstRecord());
    EXPECT_EQ(layer.access.GetFieldText(whole).toStdString(), "-42");
}

TEST_P(DataAccessTest, FormattersWriteTheTableFile) {
    const XString cs = createFixture();
    Layer layer;
    ASSERT_TRUE(layer.access.SetCDEFolder(folder.filePath("import")));
    layer.access.Connect(cs);
    layer.access.BeginHeader("Values", "Values.cef");
    ODBCTable* values = layer.access.AddTable(XString(fixtureTable.toStdString()), "V");
    using B = DataAccessBase;
    layer.access.AddField(values, "txt", &B::FormatText, "Text");
    layer.access.AddField(values, "d", &B::FormatDate, "Date");
    layer.access.AddField(values, "flag", &B::FormatYesBlank, "Flag");
    layer.access.AddField(values, "num", &B::FormatMoney, "Money");
    layer.access.AddField(values, "whole", &B::FormatInt, "Whole");
    layer.access.AddField(nullptr, "none", &B::FormatNoYes, "Unbound");
    layer.access.AddOrder(layer.access.NewField(values, "id", true));
    EXPECT_EQ(layer.access.WriteTable(), 4);
    layer.access.EndHeader();

    QFile file(folder.filePath("import/Values.cef"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(),
              "Ren\xE9"
              "A  B\t03/05/2024\tYes\t$123.45\t-42\tYes\r\n"
              "\t\t\t$-7.50\t0\tYes\r\n"
              "\t\t\t$0.00\t0\tYes\r\n"
              "Ren\xE9 ?\xFC\t01/01/1900\tYes\t$1.00\t7\tYes\r\n");
}

TEST_P(DataAccessTest, NativeCatalogueProbes) {
    const XString cs = createFixture();
    Layer layer(0, isPostgres() ? DbType::Postgres : DbType::SQLite);
    layer.access.Connect(cs);
    const XString table(fixtureTable.toStdString());
    EXPECT_TRUE(layer.access.TableExists(table));
    EXPECT_FALSE(layer.access.TableExists("no_such_table"));
    EXPECT_TRUE(layer.access.FieldExists(table, "txt"));
    EXPECT_FALSE(layer.access.FieldExists(table, "no_such_column"));
    EXPECT_FALSE(layer.access.FieldExists("no_such_table", "txt"));
    if (!isPostgres()) {
        // SQLite compares names without regard to case, and so does its probe.
        EXPECT_TRUE(layer.access.TableExists(table.toUpper()));
        EXPECT_TRUE(layer.access.FieldExists(table.toUpper(), "TXT"));
    }
}

TEST_P(DataAccessTest, StartAndFinishOfARun) {
    Layer layer;
    std::vector<std::string> progress;
    QObject::connect(&layer.access, &AppTaskBase::writeProgress,
                     [&progress](const QString& kind, int) { progress.push_back(kind.toStdString()); });
    ASSERT_TRUE(layer.access.SetCDEFolder(folder.filePath("import")));
    layer.access.setValues({{"logSchema", "true"}});
    layer.access.StartSource(sampleConnection(layer), false);
    EXPECT_TRUE(layer.access.IsConnected());
    EXPECT_TRUE(layer.logged(7, "V_VLMR_SCHOOL::LONG_NAME"));  // the schema log of "logSchema"
    layer.access.FinishWriter();
    EXPECT_FALSE(layer.access.IsConnected());
    EXPECT_TRUE(layer.logged(8, "Disconnecting"));
    EXPECT_TRUE(layer.logged(5, "Export complete."));
    EXPECT_EQ(progress, (std::vector<std::string>{"end_progress", "bridge_complete"}));
    EXPECT_TRUE(QFile::exists(folder.filePath("import/SchoolConfig.xml")));
}

TEST_P(DataAccessTest, ConnectFailuresCarryTheDriversTextButNeverTheSecrets) {
    Layer layer;
    struct Case {
        XString connectionString;
        std::string expected;  // a piece of the driver's own diagnostic
    };
    std::vector<Case> cases;
    if (isPostgres()) {
        cases.push_back(
            {layer.access.BuildConnectionString("NorvPG", XString("norv_reader"), XString("wrong-pw-123")),
             "password authentication failed"});
        // Port 1 is privileged: no test server ever listens there.
        cases.push_back({XString("Driver={PostgreSQL Unicode};Servername=127.0.0.1;Port=1;Database=norv;User "
                                 "ID=norv_reader;Password=wrong-pw-123;"),
                         "onnection refused"});
    } else {
        cases.push_back(
            {layer.access.BuildConnectionString("NoSuchNorvDsn", XString("someone"), XString("wrong-pw-123")),
             "Data source name not found"});
    }
    for (const Case& c : cases) {
        try {
            layer.access.Connect(c.connectionString);
            ADD_FAILURE() << "connected";
        } catch (const XException& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find(c.expected), std::string::npos) << message;
            EXPECT_NE(message.find("COM Error Code = 80004005"), std::string::npos) << message;
            EXPECT_EQ(message.find("wrong-pw-123"), std::string::npos) << message;
            EXPECT_EQ(message.find(c.connectionString.toStdString()), std::string::npos) << message;
        }
        EXPECT_FALSE(layer.access.IsConnected());
    }
    for (const LogLine& line : layer.log) {
        EXPECT_EQ(line.text.find("wrong-pw-123"), std::string::npos) << line.text;
        EXPECT_EQ(line.text.find("Password="), std::string::npos) << line.text;
    }
}

TEST_P(DataAccessTest, SchemaLogAndReconnect) {
    Layer layer;
    connectSample(layer);
    layer.access.logSchema();
    EXPECT_TRUE(layer.logged(7, "Logging Schema..."));
    EXPECT_TRUE(layer.logged(7, "V_VLMR_SCHOOL::LONG_NAME"));
    EXPECT_FALSE(layer.access.GetFirstRecord());  // the dump closes its query
    layer.access.Reconnect();
    EXPECT_TRUE(layer.access.IsConnected());
    EXPECT_TRUE(layer.access.TableExistsConnected("ignored while connected", "V_VLMR_STU_DEMOGRAPHIC", true));
    layer.access.Disconnect();
    EXPECT_FALSE(layer.access.IsConnected());
    for (const LogLine& line : layer.log) {
        EXPECT_EQ(line.text.find(kReaderPassword), std::string::npos) << line.text;
    }
}

INSTANTIATE_TEST_SUITE_P(BothDrivers, DataAccessTest, ::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                         [](const ::testing::TestParamInfo<Engine>& info) {
                             return std::string(info.param == Engine::SQLite ? "SQLite" : "PostgreSQL");
                         });

}  // namespace
