#include "libraries/support/XDateTime.h"

#include "libraries/platform/Clock.h"
#include "libraries/platform/LocaleNames.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <string>

namespace {

// Every date test runs "on" 5 January 2024 at 09:05:07: the two-digit-year window is 1945..2044.
class DateTokens : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::setFixed(QDateTime(QDate(2024, 1, 5), QTime(9, 5, 7)));
        XDate::LoadStartupState();
        if (platform::longMonthName(1) != QLatin1String("January")) {
            GTEST_SKIP() << "the cases expect English month and day names (C or English locale)";
        }
    }
    void TearDown() override {
        platform::Clock::clearFixed();
        XDate::LoadStartupState();
    }
};

std::string describe(const XDate& date) {
    return date.IsNull() ? "null" : date.ToQDate().toString(QStringLiteral("yyyy-MM-dd")).toStdString();
}

std::string describe(const XTime& time) {
    if (time.IsNull()) {
        return "null";
    }
    int h, n, s, ms;
    time.GetParts(h, n, s, ms);
    return XString::formatted("%02d:%02d:%02d.%03d", h, n, s, ms).toStdString();
}

std::string describe(const XDateTime& value) {
    return describe(value.Date()) + " " + describe(value.Time());
}

XDateTime valueOf(const std::string& text) {
    const QString q = QString::fromStdString(text);
    if (q.size() == 10) {
        return XDateTime(XDate::FromQDate(QDate::fromString(q, Qt::ISODate)));
    }
    if (q.size() == 12) {
        return XDateTime(XDate(), XTime::FromQTime(QTime::fromString(q, QStringLiteral("HH:mm:ss.zzz"))));
    }
    return XDateTime::FromQDateTime(QDateTime::fromString(q, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")));
}

enum class Op { FormatDate, FormatTime, FormatDateTime, ParseDate, ParseTime, ParseDateTime, ParseIso };

struct TokenCase {
    Op op;
    const char* input;  // the value to format ("yyyy-MM-dd", "HH:mm:ss.zzz" or both), or the text to parse
    const char* pattern;
    const char* expected;  // the formatted text, or the parsed value as describe() writes it
    bool ok;               // parse result
};

// clang-format off
const TokenCase tokenCases[] = {
    // Formatting: padding of HH depends on what follows it.
    {Op::FormatDateTime, "2024-01-05 09:05:07.000", "MMM DD, YYYY HH:NN:SS", "Jan 05, 2024 9:05:07", true},
    {Op::FormatDateTime, "2024-01-05 09:05:07.000", "YYYYMMDDHHNNSS", "20240105090507", true},
    {Op::FormatDateTime, "2024-01-05 00:30:00.000", "mm/dd/yyyy HH:NN:SS AA", "01/05/2024 12:30:00 AM", true},
    {Op::FormatDateTime, "2024-01-05 13:15:00.000", "mm/dd/yyyy HH:NN:SS AA", "01/05/2024 1:15:00 PM", true},
    {Op::FormatDateTime, "2024-01-05 12:00:00.000", "mm/dd/yyyy HH:NN:SS AA", "01/05/2024 12:00:00 PM", true},
    {Op::FormatDateTime, "2024-01-05 09:05:07.000", "dd/mm/yyyy|hh:nn:ss", "05/01/2024|9:05:07", true},
    // The time pass sees the date pass's output: "HH" is followed by the digits of the day, not by "D".
    {Op::FormatDateTime, "2024-01-05 09:05:07.000", "HHDD", "905", true},
    {Op::FormatTime, "09:05:07.000", "HHDD", "09DD", true},
    {Op::FormatTime, "00:01:05.000", "hh:NN:SS", "0:01:05", true},
    {Op::FormatTime, "09:05:07.250", "HHNNSSLLL", "090507250", true},
    {Op::FormatTime, "13:05:07.250", "H N S LL HHH AAA", "H N S LL HHH AAA", true},
    {Op::FormatTime, "13:05:07.250", "HH aa", "13 PM", true},
    {Op::FormatDate, "2024-01-05", "D M DD MM", "5 1 05 01", true},
    {Op::FormatDate, "2024-01-05", "Y YY YYY YYYY YYYYY", "4 24 YYY 2024 YYYYY", true},
    {Op::FormatDate, "2024-01-05", "DDD DDDD W WW WWW WWWW", "Fri Friday F Fr Fri Friday", true},
    {Op::FormatDate, "2024-01-05", "MMM MMMM Mmm", "Jan January Jan", true},
    {Op::FormatDate, "2024-01-05", "NN:SS at HH", "NN:SS at HH", true},
    // Date parsing.
    {Op::ParseDate, "05-Xyz-2024", "dd-mmm-yyyy", "2024-12-05", true},
    {Op::ParseDate, "05-sep-2024", "dd-mmm-yyyy", "2024-09-05", true},
    {Op::ParseDate, "2024-13-05", "YYYY-MM-DD", "2025-01-05", true},
    {Op::ParseDate, "1599-12-31", "YYYY-MM-DD", "null", true},
    {Op::ParseDate, "2024-00-05", "YYYY-MM-DD", "null", true},
    {Op::ParseDate, "2024-01", "YYYY-MM-DD", "null", false},
    {Op::ParseDate, "24-01-05", "YYYY-MM-DD", "null", false},
    {Op::ParseDate, "05-JAN-44", "DD-MMM-YY", "2044-01-05", true},
    {Op::ParseDate, "05-JAN-45", "DD-MMM-YY", "1945-01-05", true},
    {Op::ParseDate, "05-JAN-00", "DD-MMM-YY", "2000-01-05", true},
    {Op::ParseDate, "Mon, Jan 05, 2024", "WWW, MMM DD, YYYY", "2024-01-05", true},
    {Op::ParseDate, "20240105", "YYYYMMDD", "2024-01-05", true},
    {Op::ParseDate, "05JAN2024", "DDMMMYYYY", "2024-01-05", true},
    {Op::ParseDate, "Jan  5 2024 09:05:07", "MMM DD YYYY HH:NN:SS", "2024-01-05", true},
    {Op::ParseDate, "2024-01-05123456789012345678901234567890", "YYYY-MM-DD", "null", false},
    {Op::ParseDate, "", "YYYY-MM-DD", "null", false},
    // Time parsing.
    {Op::ParseTime, "12:30:00 PM", "HH:NN:SS AA", "12:30:00.000", true},
    {Op::ParseTime, "12:30:00 AM", "HH:NN:SS AA", "00:30:00.000", true},
    {Op::ParseTime, "1:15:00 pm", "HH:NN:SS AA", "13:15:00.000", true},
    {Op::ParseTime, "12:30:00", "HH:NN:SS AA", "null", false},
    {Op::ParseTime, "08:00:00.250", "HH:NN:SS.LLL", "08:00:00.250", true},
    {Op::ParseTime, "9", "HH:NN", "09:00:00.000", true},
    {Op::ParseTime, "ab:cd", "HH:NN", "null", false},
    {Op::ParseTime, "", "HH:NN", "null", false},
    // Date-time parsing: each part on the whole pattern and text.
    {Op::ParseDateTime, "05-Jan-2024 10:20:30", "dd-mmm-yyyy hh:nn:ss", "2024-01-05 10:20:30.000", true},
    {Op::ParseDateTime, "05-Jan-2024", "dd-mmm-yyyy", "2024-01-05 null", true},
    {Op::ParseDateTime, "nothing", "dd-mmm-yyyy hh:nn:ss", "null null", false},
    {Op::ParseIso, "2024-01-05", "", "2024-01-05 null", true},
    {Op::ParseIso, "2024-01-05 08:00:00.250", "", "2024-01-05 08:00:00.250", true},
};
// clang-format on

TEST_F(DateTokens, FormatsAndParsesEveryCaseOfTheTable) {
    for (const TokenCase& c : tokenCases) {
        SCOPED_TRACE(std::string(c.pattern) + " | " + c.input);
        switch (c.op) {
            case Op::FormatDate:
                EXPECT_EQ(valueOf(c.input).Date().Format(c.pattern).toStdString(), c.expected);
                break;
            case Op::FormatTime:
                EXPECT_EQ(valueOf(c.input).Time().Format(c.pattern).toStdString(), c.expected);
                break;
            case Op::FormatDateTime:
                EXPECT_EQ(valueOf(c.input).Format(c.pattern).toStdString(), c.expected);
                break;
            case Op::ParseDate: {
                XDate date(2000, 1, 1);
                EXPECT_EQ(date.Parse(c.pattern, c.input), c.ok);
                EXPECT_EQ(describe(date), c.expected);
                break;
            }
            case Op::ParseTime: {
                XTime time(1, 2, 3);
                EXPECT_EQ(time.Parse(c.pattern, c.input), c.ok);
                EXPECT_EQ(describe(time), c.expected);
                break;
            }
            case Op::ParseDateTime: {
                XDateTime value;
                EXPECT_EQ(value.Parse(c.pattern, c.input), c.ok);
                EXPECT_EQ(describe(value), c.expected);
                break;
            }
            case Op::ParseIso: {
                XDateTime value;
                EXPECT_EQ(value.ParseIso(c.input), c.ok);
                EXPECT_EQ(describe(value), c.expected);
                break;
            }
        }
    }
}

TEST_F(DateTokens, NullValuesFormatAsEmptyText) {
    EXPECT_EQ(XDate().Format("YYYY-MM-DD"), "");
    EXPECT_EQ(XTime().Format("HH:NN"), "");
    EXPECT_EQ(XDateTime(XDate(), XTime(9, 0, 0)).Format("dd-mmm-yyyy hh:nn:ss"), "");
    EXPECT_EQ(XDateTime(XDate(2024, 1, 5)).Format("YYYY-MM-DD"), "");
}

TEST_F(DateTokens, TwoDigitYearWindowFollowsTheClockAtStartUp) {
    platform::Clock::setFixed(QDateTime(QDate(2099, 6, 1), QTime(12, 0)));
    XDate::LoadStartupState();
    EXPECT_EQ(XDate::WindowYear(19), 2119);
    EXPECT_EQ(XDate::WindowYear(20), 2020);
    // Until LoadStartupState the window stays: a run that crosses new year keeps its own.
    platform::Clock::setFixed(QDateTime(QDate(2024, 1, 5), QTime(9, 0)));
    EXPECT_EQ(XDate::WindowYear(20), 2020);
}

TEST(XDate, DayNumbersMatchTheGregorianCalendar) {
    EXPECT_EQ(XDate(1600, 1, 1).DayNumber(), 0);
    EXPECT_EQ(XDate(1600, 1, 1).DayOfWeek(), 6);  // Saturday
    EXPECT_EQ(XDate(1899, 12, 30).DayNumber(), XDate::OleDateZero);
    const qint64 base = QDate(1600, 1, 1).toJulianDay();
    for (QDate d(1600, 1, 1); d.year() < 2401; d = d.addDays(1)) {
        const XDate date(d.year(), d.month(), d.day());
        ASSERT_EQ(date.DayNumber(), d.toJulianDay() - base) << d.toString(Qt::ISODate).toStdString();
        ASSERT_EQ(date.ToQDate(), d);
        ASSERT_EQ(date.DayOfWeek(), d.dayOfWeek());
    }
}

TEST(XDate, RejectsPartsBeforeTheCalendarAndRunsOnPastMonthEnds) {
    EXPECT_TRUE(XDate(1599, 12, 31).IsNull());
    EXPECT_TRUE(XDate(2024, 0, 1).IsNull());
    EXPECT_TRUE(XDate(2024, 1, 0).IsNull());
    EXPECT_TRUE(XDate(2024, -1, 1).IsNull());
    EXPECT_EQ(XDate(2024, 13, 5), XDate(2025, 1, 5));
    EXPECT_EQ(XDate(2023, 2, 30), XDate(2023, 3, 2));
    EXPECT_EQ(XDate(1600, 2, 31), XDate(1600, 3, 2));
}

TEST(XDate, NullIsEqualToNullAndBelowEveryDate) {
    EXPECT_EQ(XDate(), XDate());
    EXPECT_LT(XDate(), XDate(1600, 1, 1));
    EXPECT_EQ(XDate(2024, 1, 5) - 3, XDate(2024, 1, 2));
    EXPECT_EQ(XDate(2024, 3, 1) - XDate(2024, 2, 1), 29);
}

TEST(XDateTime, OleDatesGiveDayAndTimeOfDay) {
    XDateTime value(XDate(2024, 1, 5), XTime(1, 1, 1));
    value.FromOleDate(0.0);
    EXPECT_TRUE(value.IsNull());
    value.FromOleDate(1.5);
    EXPECT_EQ(describe(value), "1899-12-31 12:00:00.000");
    // A time of day that a double cannot hold exactly must not lose a millisecond (and a second when
    // formatted): 09:05:07 on 5 January 2024.
    const double stamp = 45296.0 + (9 * 3600 + 5 * 60 + 7) / 86400.0;
    value.FromOleDate(stamp);
    EXPECT_EQ(describe(value), "2024-01-05 09:05:07.000");
    EXPECT_DOUBLE_EQ(value.ToOleDate(), stamp);
    // Before the automation epoch the fraction still counts forward from the day's midnight.
    value.FromOleDate(-1.5);
    EXPECT_EQ(describe(value), "1899-12-29 12:00:00.000");
    EXPECT_DOUBLE_EQ(value.ToOleDate(), -1.5);
}

TEST(XDateTime, IntervalsCarryAndBorrowWholeDays) {
    XDateTime value(XDate(2024, 1, 5), XTime(12, 0, 0));
    value.AddInterval(0, 0, 0, 12);
    EXPECT_EQ(describe(value), "2024-01-06 00:00:00.000");
    value.SubtractInterval(0, 0, 0, 0, 30);
    EXPECT_EQ(describe(value), "2024-01-05 23:30:00.000");

    XDateTime null;
    null.AddInterval(0, 0, 0, 12);
    EXPECT_EQ(describe(null), "1600-01-01 12:00:00.000");
    null = XDateTime();
    null.SubtractInterval(0, 0, 1);
    EXPECT_EQ(describe(null), "null 00:00:00.000");

    XDateTime monthEnd(XDate(2024, 1, 31), XTime(8, 0, 0));
    monthEnd.AddInterval(0, 1, 0);
    EXPECT_EQ(describe(monthEnd), "2024-03-02 08:00:00.000");
    XDateTime leapDay(XDate(2024, 2, 29));
    leapDay.AddInterval(1, 0, 0);
    EXPECT_EQ(describe(leapDay), "2025-03-01 00:00:00.000");
    XDateTime newYear(XDate(2024, 1, 5));
    newYear.SubtractInterval(0, 1, 10);
    EXPECT_EQ(describe(newYear), "2023-11-25 00:00:00.000");
    newYear.AddInterval(0, 14, 0, 48);
    EXPECT_EQ(describe(newYear), "2025-01-27 00:00:00.000");
}

TEST(XDateTime, NullPartsOrderBelowValues) {
    const XDateTime null;
    const XDateTime day(XDate(2024, 1, 5));
    const XDateTime morning(XDate(2024, 1, 5), XTime(9, 0, 0));
    EXPECT_FALSE(null > null);
    EXPECT_FALSE(null > day);
    EXPECT_TRUE(day > null);
    EXPECT_TRUE(morning > day);
    EXPECT_FALSE(day > morning);
}

TEST(XTime, ElapsedWrapsIntoOneDay) {
    EXPECT_EQ(XTime::Elapsed(XTime(23, 0, 0), XTime(1, 0, 0)), XTime(2, 0, 0));
    EXPECT_EQ(XTime::Elapsed(XTime(), XTime(1, 0, 0)), XTime(1, 0, 0));
    EXPECT_EQ(XTime::Elapsed(XTime(23, 0, 0), XTime()), XTime(1, 0, 0));
    EXPECT_EQ(XTime::Elapsed(XTime(9, 0, 0), XTime(9, 1, 5)).Format("hh:NN:SS"), "0:01:05");
}

}  // namespace
