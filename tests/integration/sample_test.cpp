// The sample Norv source database through unixODBC and the real drivers: both DSNs answer, speak the
// Oracle dialect the extractor uses (TO_DATE, all_tab_columns), hold the same data and cannot be written.
// Reads the sample sources that the ctest fixture sets up (ODBCINI, NORV_TEST_ROOT, NORV_PG_PORT).

#include <sql.h>
#include <sqlext.h>

#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Cell = std::optional<QString>;
using ResultRow = std::vector<Cell>;
using ResultRows = std::vector<ResultRow>;

struct Dsn {
    const char* name;
    const char* connect;
};

void PrintTo(const Dsn& dsn, std::ostream* os) {
    *os << dsn.name;
}

const Dsn kSqlite{"NorvSQLite", "DSN=NorvSQLite;"};
const Dsn kPostgres{"NorvPG", "DSN=NorvPG;UID=norv_reader;PWD=norv-reader-pw;"};

// Readable failure output: a row as its values, NULL spelt out.
std::string describe(const ResultRow& row) {
    QStringList parts;
    for (const Cell& cell : row) parts << (cell ? "'" + *cell + "'" : QString("NULL"));
    return parts.join(", ").toStdString();
}

std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string text;
    SQLCHAR state[6];
    SQLCHAR message[1024];
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    for (SQLSMALLINT i = 1;
         SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length) == SQL_SUCCESS;
         ++i) {
        text += std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(message) + "\n";
    }
    return text;
}

// One connection with one statement handle; every failure is a test failure with the driver's text.
class Connection {
  public:
    explicit Connection(const Dsn& dsn) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
        SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
        SQLCHAR out[1024];
        SQLSMALLINT outLength = 0;
        std::string in = dsn.connect;
        SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(in.data()), SQL_NTS, out,
                                        sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
        connected_ = SQL_SUCCEEDED(rc);
        if (!connected_) {
            error_ = diagnostics(SQL_HANDLE_DBC, dbc_);
            return;
        }
        SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_);
    }
    ~Connection() {
        if (stmt_)
            SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
        if (connected_)
            SQLDisconnect(dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool connected() const { return connected_; }
    const std::string& error() const { return error_; }

    // Runs sql; false (with error() set) when the driver refuses it.
    bool execute(const std::string& sql) {
        SQLFreeStmt(stmt_, SQL_CLOSE);
        SQLRETURN rc =
            SQLExecDirect(stmt_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
        if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA)
            return true;
        error_ = diagnostics(SQL_HANDLE_STMT, stmt_);
        return false;
    }

    // Runs sql and fetches every row; false (with error() set) when the driver refuses the statement or
    // one of its rows (a driver that steps through its result reports a bad row only when it is fetched).
    bool executeAndFetch(const std::string& sql) {
        if (!execute(sql)) {
            return false;
        }
        SQLRETURN rc;
        while (SQL_SUCCEEDED(rc = SQLFetch(stmt_))) {
        }
        if (rc == SQL_NO_DATA) {
            return true;
        }
        error_ = diagnostics(SQL_HANDLE_STMT, stmt_);
        return false;
    }

    // Every row of sql, each value fetched as UTF-16 text; NULL stays distinct from the empty text.
    ResultRows query(const std::string& sql) {
        ResultRows rows;
        if (!execute(sql)) {
            ADD_FAILURE() << sql << "\n" << error_;
            return rows;
        }
        SQLSMALLINT columns = 0;
        SQLNumResultCols(stmt_, &columns);
        SQLRETURN rc;
        while (SQL_SUCCEEDED(rc = SQLFetch(stmt_))) {
            ResultRow row;
            for (SQLUSMALLINT c = 1; c <= columns; ++c) row.push_back(text(c));
            rows.push_back(std::move(row));
        }
        if (rc != SQL_NO_DATA) {
            ADD_FAILURE() << sql << "\n" << diagnostics(SQL_HANDLE_STMT, stmt_);
        }
        return rows;
    }

    SQLSMALLINT columnType(SQLUSMALLINT column) {
        SQLCHAR name[256];
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        SQLDescribeCol(stmt_, column, name, sizeof name, &nameLength, &type, &size, &digits, &nullable);
        return type;
    }

  private:
    Cell text(SQLUSMALLINT column) {
        std::u16string value;
        char16_t buffer[512];
        for (;;) {
            SQLLEN indicator = 0;
            SQLRETURN rc = SQLGetData(stmt_, column, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
            if (rc == SQL_NO_DATA)
                break;
            if (!SQL_SUCCEEDED(rc)) {
                ADD_FAILURE() << diagnostics(SQL_HANDLE_STMT, stmt_);
                return std::nullopt;
            }
            if (indicator == SQL_NULL_DATA)
                return std::nullopt;
            const std::size_t room = sizeof buffer / sizeof buffer[0] - 1;
            const std::size_t got = (indicator == SQL_NO_TOTAL || indicator / 2 > static_cast<SQLLEN>(room))
                                        ? room
                                        : indicator / 2;
            value.append(buffer, got);
            if (rc == SQL_SUCCESS)
                break;
        }
        return QString::fromUtf16(value.data(), static_cast<qsizetype>(value.size()));
    }

    SQLHENV env_ = SQL_NULL_HANDLE;
    SQLHDBC dbc_ = SQL_NULL_HANDLE;
    SQLHSTMT stmt_ = SQL_NULL_HANDLE;
    bool connected_ = false;
    std::string error_;
};

QJsonObject sampleData() {
    QFile file(QString::fromLocal8Bit(qgetenv("NORV_TEST_ROOT")) + "/norv.json");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

std::string firstSchoolDay(const QJsonObject& data) {
    return data["schools"].toArray().first().toObject()["first_day"].toString().remove('-').toStdString();
}

class SampleDsn : public ::testing::TestWithParam<Dsn> {
  protected:
    void SetUp() override {
        data_ = sampleData();
        ASSERT_FALSE(data_.isEmpty()) << "norv.json missing in NORV_TEST_ROOT";
        db_.emplace(GetParam());
        ASSERT_TRUE(db_->connected()) << GetParam().name << ": " << db_->error();
    }

    QJsonObject data_;
    std::optional<Connection> db_;
};

TEST_P(SampleDsn, ToDateComparesWithDateColumnsAsOracleDoes) {
    const std::string day = firstSchoolDay(data_);
    // A DATE column equals TO_DATE of its own day at both ends of a closed range.
    ResultRows rows = db_->query(
        "SELECT COUNT(*) FROM V_VLMR_ATTENDANCE_CYCLES C WHERE C.school = '1021' AND C.effective_date >= "
        "TO_DATE( '" +
        day + "', 'YYYYMMDD' ) AND C.effective_date <= TO_DATE( '" + day + "', 'YYYYMMDD' )");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], QString("1"));

    rows = db_->query("SELECT TO_DATE( '20240229', 'YYYYMMDD' ) FROM V_VLMR_SCHOOL S WHERE S.school = '875'");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], QString("2024-02-29"));

    for (const char* bad : {"20230229", "20241301"}) {
        EXPECT_FALSE(
            db_->executeAndFetch(std::string("SELECT TO_DATE('") + bad + "', 'YYYYMMDD') FROM V_VLMR_SCHOOL"))
            << bad;
    }
}

TEST_P(SampleDsn, DateColumnsAreReportedAsDatesAndTimestamps) {
    ASSERT_TRUE(
        db_->execute("SELECT A.absent_date, A.create_date, A.period FROM V_VLMR_STU_PERIOD_ATTENDANCE A"));
    EXPECT_EQ(db_->columnType(1), SQL_TYPE_DATE);
    EXPECT_EQ(db_->columnType(2), SQL_TYPE_TIMESTAMP);
}

TEST_P(SampleDsn, CatalogueListsEveryColumnInUpperCase) {
    QSet<QString> expected;
    const QJsonObject views = data_["views"].toObject();
    for (auto view = views.begin(); view != views.end(); ++view) {
        for (const QJsonValue& column : view.value().toObject()["columns"].toArray())
            expected.insert(view.key().toUpper() + "." + column.toObject()["name"].toString().toUpper());
    }

    QSet<QString> listed;
    for (const ResultRow& row : db_->query("SELECT table_name, column_name FROM all_tab_columns"))
        listed.insert(row[0].value_or("") + "." + row[1].value_or(""));
    EXPECT_EQ(listed, expected);

    // The probes the extractor sends, with names in another letter case.
    ResultRows rows = db_->query(
        "SELECT column_name FROM all_tab_columns WHERE UPPER(table_name) = "
        "UPPER('v_vlmr_emergency_contacts') "
        "AND UPPER(column_name) = UPPER('home_phone')");
    EXPECT_EQ(rows.size(), 1u);
    rows = db_->query(
        "SELECT DISTINCT table_name FROM all_tab_columns WHERE UPPER(table_name) = UPPER('V_VLMR_NONE')");
    EXPECT_TRUE(rows.empty());
}

TEST_P(SampleDsn, RefusesToWrite) {
    EXPECT_FALSE(db_->execute("INSERT INTO V_VLMR_SCHOOL (school, long_name) VALUES ('9', 'Nine')"));
    EXPECT_FALSE(db_->execute("DELETE FROM V_VLMR_STU_DEMOGRAPHIC"));
    EXPECT_FALSE(db_->execute("CREATE TABLE scratch (a INTEGER)"));
    ResultRows rows = db_->query("SELECT COUNT(*) FROM V_VLMR_SCHOOL S WHERE S.school = '9'");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], QString("0"));
}

INSTANTIATE_TEST_SUITE_P(Drivers, SampleDsn, ::testing::Values(kSqlite, kPostgres),
                         [](const auto& info) { return std::string(info.param.name); });

// The extractor's queries, in its Oracle dialect, give the same rows in both engines.
TEST(SampleEngines, SameQueriesGiveSameRows) {
    const QJsonObject data = sampleData();
    const std::string from = firstSchoolDay(data);
    ASSERT_FALSE(from.empty());
    const std::string year = data["school_year"].toVariant().toString().toStdString();
    // Two weeks of changes, as the attendance update window asks for them.
    const std::string to = QDate::fromString(QString::fromStdString(from), "yyyyMMdd")
                               .addDays(14)
                               .toString("yyyyMMdd")
                               .toStdString();
    const std::string window = " AND ( A.mod_date >= TO_DATE( '" + from +
                               "', 'YYYYMMDD' ) OR A.create_date >= "
                               "TO_DATE( '" +
                               from + "', 'YYYYMMDD' )) AND ( A.mod_date <= TO_DATE( '" + to +
                               "', 'YYYYMMDD' ) OR A.create_date <= TO_DATE( '" + to + "', 'YYYYMMDD' ))";
    const std::vector<std::string> queries = {
        // students with the inactive cutoff, contacts with text full of accents, tabs and CR LF
        "SELECT STUCON.pupil_number, STUCON.par_first_name, STUCON.par_surname, STUCON.address, "
        "STUCON.unlisted "
        "FROM V_VLMR_STU_CONTACT_PARENTS STUCON, V_VLMR_STU_DEMOGRAPHIC STU WHERE STUCON.pupil_number = "
        "STU.pupil_number AND STU.school = '1021' AND ( STU.registered_indicator = 'R' OR STU.withdraw_date "
        ">= "
        "TO_DATE( '" +
            from + "', 'YYYYMMDD' )) ORDER BY 1, COALESCE(STUCON.par_first_name, ''), 3",
        "SELECT STU.pupil_number, STU.school, STU.legal_name, STU.first_name, STU.last_name_suffix, "
        "STU.mailing_address, STU.withdraw_date, STU.birth_date FROM V_VLMR_STU_DEMOGRAPHIC STU ORDER BY 1, "
        "2",
        // the daily attendance condition: absent scores are NULL, never ''
        "SELECT A.pupil_number, A.absent_date, A.am_attendance_score, A.reason_code_am, A.create_date, "
        "A.mod_date "
        "FROM V_VLMR_STU_DAILY_ATTENDANCE A WHERE A.school = '875' AND (A.am_attendance_score <> '' OR "
        "A.am_attendance_score IS NOT NULL)" +
            window + " ORDER BY 1, 2",
        "SELECT A.pupil_number, A.absent_date, A.period, A.absent_code, A.reason_code FROM "
        "V_VLMR_STU_PERIOD_ATTENDANCE A WHERE A.school = '1021'" +
            window + " ORDER BY 1, 2, 3",
        // integer columns compared with unquoted numbers
        "SELECT SEC.id, SEC.start_date, SEC.stop_date, SEC.semester, SEC.term, SEC.day FROM "
        "V_VLMR_COURSE_SECT_MAINT SEC WHERE SEC.school = '875' AND SEC.year = " +
            year + " ORDER BY 1",
        "SELECT GRDS.pupil_number, GRDS.timetable_id, GRDS.REPORT_ID, GRDS.mark, GRDS.LEARNING_SKILL_5 FROM "
        "V_VLMR_STUDENT_MARKS GRDS, V_VLMR_COURSE_SECT_MAINT SEC WHERE GRDS.timetable_id = SEC.id AND "
        "SEC.year = " +
            year + " ORDER BY 1, 2, 3",
        "SELECT DISTINCT R.ATTENDANCE_CODE, R.ATTENDANCE_DESC, R.SUB_ALLOCATION_CODE FROM "
        "V_VLMR_ATTENDANCE_CODE R "
        "WHERE R.SCHOOL = '875' ORDER BY 1",
        "SELECT STAFF.teach_id, STAFF.teach_last_name, STAFF.teach_address, STAFF.medical_APPROVAL_DATE, "
        "case "
        "STAFF.teach_last_name when '' then 1 else 0 end as order1 FROM V_VLMR_TEACH_CONTACTS_MEDICAL STAFF "
        "WHERE STAFF.school_school = '1021' ORDER BY order1, STAFF.teach_last_name, STAFF.teach_id, 3",
    };
    Connection sqlite(kSqlite);
    Connection postgres(kPostgres);
    ASSERT_TRUE(sqlite.connected()) << sqlite.error();
    ASSERT_TRUE(postgres.connected()) << postgres.error();
    for (const std::string& sql : queries) {
        ResultRows a = sqlite.query(sql);
        ResultRows b = postgres.query(sql);
        EXPECT_FALSE(a.empty()) << "selects nothing: " << sql;
        EXPECT_EQ(a.size(), b.size()) << sql;
        for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
            if (a[i] != b[i]) {
                ADD_FAILURE() << sql << "\nrow " << i << "\n SQLite:     " << describe(a[i])
                              << "\n PostgreSQL: " << describe(b[i]);
                break;
            }
        }
    }
}

}  // namespace
