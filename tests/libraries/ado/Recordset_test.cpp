#include "libraries/ado/Recordset.h"

#include <gtest/gtest.h>

#include "OdbcTestEnv.h"
#include "libraries/ado/ComError.h"
#include "libraries/ado/Connection.h"

using namespace ado;
using adotest::OdbcTestEnv;

namespace {

// The same fixture for PostgreSQL, as temporary tables of the test's own session.
const char* kPgFixture[] = {
    "CREATE TEMP TABLE kinds(id INTEGER PRIMARY KEY, name TEXT, code VARCHAR(20), amount NUMERIC(10,2), "
    "ratio REAL, born DATE, stamp TIMESTAMP, flag BOOLEAN, big BIGINT, small SMALLINT)",
    "INSERT INTO kinds VALUES(1, 'Zoë Łukasz-Müller 😀', 'Café', 123.45, 2.5, '2024-03-05', "
    "'2024-03-05 14:07:09', true, 9007199254740993, -7)",
    "INSERT INTO kinds VALUES(2, '', NULL, -0.5, NULL, NULL, NULL, false, NULL, NULL)",
    "INSERT INTO kinds VALUES(3, NULL, 'x', NULL, NULL, '1899-12-29', '1600-01-01 00:00:00', NULL, NULL, "
    "NULL)",
    "CREATE TEMP TABLE many AS SELECT n, 'row ' || n AS label FROM generate_series(1, 2500) AS n",
};

class RecordsetTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        const OdbcTestEnv& env = OdbcTestEnv::instance();
        if (isPostgres()) {
            if (!env.hasPostgres()) {
                FAIL() << "NORV_PG_PORT is not set: the test PostgreSQL server is missing";
            }
            connection.open(env.postgresConnection());
            for (const char* sql : kPgFixture) {
                Recordset statement;
                statement.open(QString::fromUtf8(sql), connection);
                EXPECT_FALSE(statement.isOpen()) << "a command without rows leaves the recordset closed";
            }
        } else {
            connection.open(env.sqliteConnection());
        }
    }

    bool isPostgres() const { return QLatin1String(GetParam()) == QLatin1String("postgres"); }

    Connection connection;
};

double date(int y, int m, int d, int h = 0, int mi = 0, int s = 0) {
    return Variant::automationDate({y, m, d, h, mi, s, 0});
}

TEST_P(RecordsetTest, EveryValueKindArrivesWithItsTagAndValue) {
    Recordset rs;
    rs.open(QStringLiteral(
                "SELECT id, name, code, amount, ratio, born, stamp, flag, big, small FROM kinds ORDER BY id"),
            connection, Recordset::adOpenStatic);
    ASSERT_EQ(rs.recordCount(), 3);
    ASSERT_EQ(rs.fieldCount(), 10);

    // SQLite declares NUMERIC and REAL columns as SQL_DOUBLE; PostgreSQL keeps numeric and real.
    const Variant amount1 =
        isPostgres() ? Variant::fromDecimal({2, false, 0, 12345}) : Variant::fromR8(123.45);
    const Variant amount2 = isPostgres() ? Variant::fromDecimal({2, true, 0, 50}) : Variant::fromR8(-0.5);
    const Variant ratio = isPostgres() ? Variant::fromR4(2.5f) : Variant::fromR8(2.5);

    const Variant row1[] = {Variant::fromI4(1),
                            Variant::fromBstr(QStringLiteral("Zoë Łukasz-Müller 😀")),
                            Variant::fromBstr(QStringLiteral("Café")),
                            amount1,
                            ratio,
                            Variant::fromDate(date(2024, 3, 5)),
                            Variant::fromDate(date(2024, 3, 5, 14, 7, 9)),
                            Variant::fromBool(true),
                            Variant::fromI8(9007199254740993LL),
                            Variant::fromI2(-7)};
    const Variant row2[] = {Variant::fromI4(2), Variant::fromBstr(QString()),
                            Variant::null(),    amount2,
                            Variant::null(),    Variant::null(),
                            Variant::null(),    Variant::fromBool(false),
                            Variant::null(),    Variant::null()};
    const Variant row3[] = {
        Variant::fromI4(3), Variant::null(),         Variant::fromBstr(QStringLiteral("x")), Variant::null(),
        Variant::null(),    Variant::fromDate(-1.0), Variant::fromDate(date(1600, 1, 1)),    Variant::null(),
        Variant::null(),    Variant::null()};
    for (const Variant* row : {row1, row2, row3}) {
        ASSERT_FALSE(rs.eof());
        for (int i = 0; i < 10; ++i) {
            SCOPED_TRACE(rs.field(i).name().toStdString() + " of row " + std::to_string(row[0].i64()));
            const Variant value = rs.field(i).value();
            EXPECT_EQ(value.type(), row[i].type());
            EXPECT_TRUE(value == row[i])
                << value.text().toStdString() << " " << value.r8() << " " << value.i64();
            EXPECT_EQ(rs.field(i).status(), adFieldOK);
            // The in-place read of text agrees with the Variant; NULL and other kinds have none.
            const auto text = rs.textValue(i);
            ASSERT_EQ(text.has_value(), row[i].type() == VT_BSTR);
            if (text) {
                EXPECT_EQ(QString::fromUtf16(text->data(), static_cast<qsizetype>(text->size())),
                          row[i].text());
            }
        }
        rs.moveNext();
    }
    EXPECT_TRUE(rs.eof());
}

TEST_P(RecordsetTest, FieldsCarryAdoTypesNamesAndSizes) {
    Recordset rs;
    rs.open(QStringLiteral("SELECT id, name, code, amount, stamp, flag, big, small FROM kinds WHERE id = 1"),
            connection, Recordset::adOpenStatic);
    const int expected[] = {adInteger,     adLongVarChar, adVarChar, isPostgres() ? adNumeric : adDouble,
                            adDBTimeStamp, adBoolean,     adBigInt,  adSmallInt};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(rs.field(i).type(), expected[i]) << rs.field(i).name().toStdString();
    }
    EXPECT_TRUE(rs.field(1).attributes() & adFldLong);
    EXPECT_FALSE(rs.field(2).attributes() & adFldLong);
    // Characters, not bytes: the value holds one character outside the BMP (two UTF-16 units).
    EXPECT_EQ(rs.field(1).actualSize(), QStringLiteral("Zoë Łukasz-Müller 😀").size());
    // By name without regard to letter case, as ADO's Fields collection does.
    EXPECT_EQ(rs.field(QStringLiteral("CODE")).index(), 2);
    try {
        rs.field(QStringLiteral("nosuch"));
        FAIL() << "no exception";
    } catch (const ComError& e) {
        EXPECT_EQ(e.hresult(), ComError::ItemNotFound);
    }
}

TEST_P(RecordsetTest, StaticCursorCountsAndWalksEveryBlock) {
    Recordset rs;
    rs.setCursorLocation(Recordset::adUseClient);
    rs.open(QStringLiteral("SELECT n, label FROM many ORDER BY n"), connection, Recordset::adOpenStatic);
    EXPECT_EQ(rs.recordCount(), 2500);
    EXPECT_FALSE(rs.bof());
    long long expected = 1;
    for (; !rs.eof(); rs.moveNext(), ++expected) {
        ASSERT_EQ(rs.field(0).value().i64(), expected);
        ASSERT_EQ(rs.field(1).value().text(), QStringLiteral("row %1").arg(expected));
    }
    EXPECT_EQ(expected, 2501);
    EXPECT_THROW(rs.moveNext(), ComError);
    EXPECT_THROW(rs.field(0).value(), ComError);
    rs.moveFirst();
    EXPECT_EQ(rs.field(0).value().i64(), 1);
    // The rows are held: the connection may go.
    connection.close();
    rs.moveNext();
    EXPECT_EQ(rs.field(1).value().text(), QStringLiteral("row 2"));
}

TEST_P(RecordsetTest, EmptyResultIsAtBothEnds) {
    for (auto type : {Recordset::adOpenStatic, Recordset::adOpenForwardOnly}) {
        Recordset rs;
        rs.open(QStringLiteral("SELECT n FROM many WHERE n < 0"), connection, type);
        EXPECT_TRUE(rs.eof());
        EXPECT_TRUE(rs.bof());
        EXPECT_EQ(rs.recordCount(), type == Recordset::adOpenStatic ? 0 : -1);
        EXPECT_EQ(rs.fieldCount(), 1);
    }
}

TEST_P(RecordsetTest, ForwardOnlyStreamsAndRunsAgainForMoveFirst) {
    Recordset rs;
    rs.open(QStringLiteral("SELECT n, label FROM many ORDER BY n"), connection, Recordset::adOpenForwardOnly);
    EXPECT_EQ(rs.recordCount(), -1);
    rs.moveFirst();  // still on the first record: nothing to do
    long long count = 0;
    for (; !rs.eof(); rs.moveNext()) {
        ++count;
        ASSERT_EQ(rs.field(0).value().i64(), count);
    }
    EXPECT_EQ(count, 2500);
    EXPECT_FALSE(rs.bof());
    // Counting by hand leaves the cursor at the end; reading starts again from the first record.
    rs.moveFirst();
    ASSERT_FALSE(rs.eof());
    EXPECT_EQ(rs.field(1).value().text(), QStringLiteral("row 1"));
    rs.close();
    EXPECT_THROW(rs.eof(), ComError);
}

TEST_P(RecordsetTest, LongTextIsCompletedWhateverTheCursor) {
    // Longer than any bound buffer, with surrogate pairs at every possible split position.
    QString expected;
    for (int i = 0; i < 3000; ++i) {
        expected += (i % 7 == 0) ? QStringLiteral("😀") : QStringLiteral("é");
    }
    const QString sql =
        QStringLiteral("SELECT n, '%1' AS long_text, label FROM many WHERE n <= 3 ORDER BY n").arg(expected);
    for (auto type : {Recordset::adOpenStatic, Recordset::adOpenForwardOnly}) {
        Recordset rs;
        rs.open(sql, connection, type);
        int rows = 0;
        for (; !rs.eof(); rs.moveNext(), ++rows) {
            EXPECT_EQ(rs.field(1).value().text(), expected);
            EXPECT_EQ(rs.field(2).value().text(), QStringLiteral("row %1").arg(rows + 1));
            const auto text = rs.textValue(1);
            ASSERT_TRUE(text.has_value());
            EXPECT_EQ(QString::fromUtf16(text->data(), static_cast<qsizetype>(text->size())), expected);
        }
        EXPECT_EQ(rows, 3);
    }
}

TEST_P(RecordsetTest, LongValuesAmongShortOnesArriveWholeInEveryBlock) {
    // Values longer than their bound element in the first block and in later ones, beside NULLs and short
    // text outside Latin-1: a driver without SQL_GD_BLOCK (SQLite) reads such a block again one row at a
    // time, one with it completes the value in the block. Both cursors, and the SQLite driver both reading
    // the result whole when it runs and stepping through it (StepAPI=1).
    QString longText;
    for (int i = 0; i < 90; ++i) {
        longText += QStringLiteral("Łódź😀日é");
    }
    QStringList connections = {QString()};
    if (!isPostgres()) {
        connections << OdbcTestEnv::instance().sqliteConnection() + QStringLiteral(";StepAPI=1");
    }
    // Long values from the first block on, and only from a later one on (the first long value decides how
    // the rest of a result is read).
    for (const QList<int>& longRows : {QList<int>{1, 2, 1999}, QList<int>{777, 2500}}) {
        QStringList numbers;
        for (const int n : longRows) {
            numbers << QString::number(n);
        }
        const QString sql = QStringLiteral(
                                "SELECT n, CASE WHEN n IN (%1) THEN '%2' || n WHEN n % 97 = 0 THEN NULL "
                                "ELSE 'Ωmega ' || n END AS t, label FROM many ORDER BY n")
                                .arg(numbers.join(QStringLiteral(", ")), longText);
        for (const QString& other : connections) {
            Connection stepping;
            Connection& source = other.isEmpty() ? connection : stepping;
            if (!other.isEmpty()) {
                stepping.open(other);
            }
            for (auto type : {Recordset::adOpenStatic, Recordset::adOpenForwardOnly}) {
                SCOPED_TRACE(QStringLiteral("%1 cursor %2").arg(other).arg(type).toStdString());
                Recordset rs;
                rs.open(sql, source, type);
                int n = 0;
                for (; !rs.eof(); rs.moveNext()) {
                    ++n;  // (StepAPI=1 types the untyped column n as text: the label tells the row)
                    const QString expected = longRows.contains(n) ? longText + QString::number(n)
                                             : n % 97 == 0        ? QString()
                                                                  : QStringLiteral("Ωmega %1").arg(n);
                    if (n % 97 == 0 && !longRows.contains(n)) {
                        ASSERT_TRUE(rs.field(1).value().isNull()) << n;
                        ASSERT_FALSE(rs.textValue(1).has_value());
                    } else {
                        ASSERT_EQ(rs.field(1).value().text(), expected) << n;
                        const auto text = rs.textValue(1);
                        ASSERT_TRUE(text.has_value());
                        ASSERT_EQ(QString::fromUtf16(text->data(), static_cast<qsizetype>(text->size())),
                                  expected);
                        ASSERT_EQ(rs.field(1).actualSize(), expected.size());
                    }
                    ASSERT_EQ(rs.field(2).value().text(), QStringLiteral("row %1").arg(n));
                }
                EXPECT_EQ(n, 2500);
            }
        }
    }
}

TEST_P(RecordsetTest, AResultThatComesOutOtherwiseWhenReadAgainFailsRatherThanMixes) {
    // A long value in a later block of a forward-only result: a driver without SQL_GD_BLOCK has the query
    // run again, and random values make the second result differ from the first.
    const QString sql = isPostgres()
                            ? QStringLiteral(
                                  "SELECT n, CASE WHEN n = 2000 THEN md5(random()::text) || "
                                  "repeat(md5(random()::text), 10) ELSE 'x' END FROM many ORDER BY n")
                            : QStringLiteral(
                                  "SELECT n, CASE WHEN n = 2000 THEN hex(randomblob(200)) ELSE 'x' "
                                  "END FROM many ORDER BY n");
    Recordset rs;
    rs.open(sql, connection, Recordset::adOpenForwardOnly);
    int n = 0;
    try {
        for (; !rs.eof(); rs.moveNext()) {
            ++n;
            if (n == 2000) {
                EXPECT_GT(rs.field(1).value().text().size(), 300);
            }
        }
        EXPECT_TRUE(isPostgres()) << "the rows of two results were mixed";
        EXPECT_EQ(n, 2500);
    } catch (const ComError& e) {
        EXPECT_FALSE(isPostgres()) << e.what();
        EXPECT_TRUE(e.description().contains(QStringLiteral("changed"))) << e.what();
        EXPECT_LT(n, 2000);
    }
}

TEST_P(RecordsetTest, FailingQueryFilesEveryDiagnosticRecordOnTheConnection) {
    Recordset rs;
    try {
        rs.open(QStringLiteral("SELECT nosuch_column FROM many"), connection, Recordset::adOpenStatic);
        FAIL() << "no exception";
    } catch (const ComError& e) {
        EXPECT_EQ(e.hresult(), ComError::OdbcFailure);
        EXPECT_EQ(e.source(), QStringLiteral("unixODBC"));
        EXPECT_TRUE(e.description().contains(QStringLiteral("nosuch_column"))) << e.what();
        ASSERT_FALSE(e.errors().isEmpty());
        for (const ErrorRecord& record : e.errors()) {
            EXPECT_EQ(record.sqlState.size(), 5);
            EXPECT_TRUE(
                record.description.startsWith(QStringLiteral("[") + record.sqlState + QStringLiteral("] ")));
        }
        EXPECT_EQ(connection.errors().size(), e.errors().size());
        EXPECT_EQ(connection.errors().first().description, e.errors().first().description);
    }
    EXPECT_FALSE(rs.isOpen());
    // The connection stays usable, and a successful open clears the collection.
    rs.open(QStringLiteral("SELECT n FROM many WHERE n = 1"), connection, Recordset::adOpenStatic);
    EXPECT_TRUE(connection.errors().isEmpty());
    EXPECT_EQ(rs.recordCount(), 1);
}

TEST_P(RecordsetTest, GetChunkReadsLongValuesInPieces) {
    Recordset rs;
    rs.open(QStringLiteral("SELECT name FROM kinds WHERE id = 1"), connection, Recordset::adOpenStatic);
    Field name = rs.field(0);
    QString whole;
    for (Variant piece = name.getChunk(4); !piece.isNull(); piece = name.getChunk(4)) {
        whole += piece.text();
    }
    EXPECT_EQ(whole, QStringLiteral("Zoë Łukasz-Müller 😀"));
}

TEST_P(RecordsetTest, AValueThatDoesNotFitFailsOnlyItsCell) {
    // SQLite declares the column INTEGER but holds a 64-bit value in it; PostgreSQL's numeric holds
    // more digits than a 96-bit decimal. Neither may wrap silently.
    const QString sql = isPostgres() ? QStringLiteral("SELECT 1e40::numeric AS wide, 1 AS id")
                                     : QStringLiteral("SELECT wide, id FROM odd");
    Recordset rs;
    rs.open(sql, connection, Recordset::adOpenStatic);
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(rs.field(0).status(), adFieldDataOverflow);
    try {
        rs.field(0).value();
        ADD_FAILURE() << "no exception";
    } catch (const ComError& e) {
        EXPECT_EQ(e.hresult(), ComError::Overflow);
    }
    EXPECT_EQ(rs.field(1).status(), adFieldOK);
    EXPECT_EQ(rs.field(1).value(), Variant::fromI4(1));
}

TEST_P(RecordsetTest, BytesKeepEveryByteWhateverTheirLength) {
    // Longer than the bound buffer of a long binary column, NUL bytes included.
    const QString sql = isPostgres()
                            ? QStringLiteral(
                                  "SELECT b, encode(b, 'hex') FROM (SELECT decode(repeat('00ff7f', 400), "
                                  "'hex') AS b UNION ALL SELECT '\\x'::bytea) t ORDER BY length(b) DESC")
                            : QStringLiteral(
                                  "WITH t(b) AS MATERIALIZED (SELECT randomblob(1200) UNION ALL SELECT "
                                  "x'') SELECT b, lower(hex(b)) FROM t ORDER BY length(b) DESC");
    Recordset rs;
    rs.open(sql, connection, Recordset::adOpenStatic);
    ASSERT_EQ(rs.recordCount(), 2);
    const Variant bytes = rs.field(0).value();
    EXPECT_EQ(bytes.type(), VT_ARRAY | VT_UI1);
    EXPECT_EQ(bytes.bytes().size(), 1200);
    EXPECT_EQ(QString::fromLatin1(bytes.bytes().toHex()), rs.field(1).value().text());
    EXPECT_EQ(rs.field(0).actualSize(), 1200);
    rs.moveNext();
    EXPECT_EQ(rs.field(0).value(), Variant::fromBytes(QByteArray()));  // empty, not NULL
}

INSTANTIATE_TEST_SUITE_P(Drivers, RecordsetTest, ::testing::Values("sqlite", "postgres"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
