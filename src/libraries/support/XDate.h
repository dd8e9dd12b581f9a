// A calendar date as one signed day number: day 0 is Saturday 1 January 1600, Gregorian calendar throughout.
// The value -1 is null (no date).
//
// Format and Parse use the system's token grammar (tokens are runs of D, M, W, Y in either case; everything
// else is copied). Formatting:
//   D: day; DD: day in two digits; DDD: weekday name cut to 3; DDDD+: full weekday name
//   M: month; MM: two digits; MMM: month name cut to 3; MMMM+: full month name
//   W, WW, WWW: weekday name cut to 1, 2, 3; WWWW+: full weekday name
//   Y: last digit of the year; YY: last two; YYYY: the year; YYY and YYYYY+: the letters themselves
// Parsing reads "YYYY" (exactly 4 digits) or "YY" (two-digit-year window), "MMM" (month name prefix) or
// "MM", and "DD" from the text groups that line up with the pattern's letter groups.
//
// The month and day names and the two-digit-year window are read once, on first use, from the locale and
// from platform::Clock; LoadStartupState() reads them again (tests that fix the clock call it).
#pragma once

#include "libraries/support/XString.h"

#include <QDate>
#include <cstdint>

class XDate {
  public:
    static constexpr int32_t Null = -1;
    // The day number of 30 December 1899, day 0 of the automation date.
    static constexpr int32_t OleDateZero = 109571;

    // Null.
    XDate() = default;
    // SetDate(year, month, day).
    XDate(int year, int month, int day);
    static XDate FromDayNumber(int32_t dayNumber);
    static XDate FromQDate(const QDate& date);
    static XDate Today();

    // Null when year < 1600, month == 0 or day == 0. Months above 12 and days past the month's end run on
    // into the following months and years (month 13 of 2024 is January 2025).
    void SetDate(int year, int month, int day);
    void SetNull() { m_day = Null; }
    bool IsNull() const { return m_day == Null; }
    int32_t DayNumber() const { return m_day; }
    // REQUIRES: !IsNull().
    void GetParts(int& year, int& month, int& day) const;
    int Year() const;
    int Month() const;
    int Day() const;
    // 1 Monday .. 7 Sunday.
    int DayOfWeek() const;
    // Invalid QDate for null.
    QDate ToQDate() const;

    // "" for null.
    XString Format(const XString& pattern) const;
    // True when year, month and day were all found; the value is then SetDate of them (null for a year
    // before 1600 or a zero month or day, the result staying true). Otherwise null and false.
    bool Parse(const XString& pattern, const XString& text);
    // Format / Parse with "YYYY-MM-DD".
    XString IsoText() const;
    bool ParseIso(const XString& text);

    // Null when value is exactly 0.0; otherwise the value truncated toward zero plus OleDateZero.
    void FromOleDate(double value);
    // The automation date of this date's midnight; 0.0 for null.
    double ToOleDate() const;

    // Plain arithmetic on the day number (a null date is -1 like any other number).
    XDate operator+(int days) const { return FromDayNumber(m_day + days); }
    XDate operator-(int days) const { return FromDayNumber(m_day - days); }
    XDate& operator+=(int days) {
        m_day += days;
        return *this;
    }
    XDate& operator-=(int days) {
        m_day -= days;
        return *this;
    }
    // Days from other to this.
    int operator-(const XDate& other) const { return m_day - other.m_day; }

    // Null equals null and is less than every date.
    friend bool operator==(const XDate& a, const XDate& b) { return a.m_day == b.m_day; }
    friend bool operator!=(const XDate& a, const XDate& b) { return a.m_day != b.m_day; }
    friend bool operator<(const XDate& a, const XDate& b) { return a.m_day < b.m_day; }
    friend bool operator>(const XDate& a, const XDate& b) { return a.m_day > b.m_day; }
    friend bool operator<=(const XDate& a, const XDate& b) { return a.m_day <= b.m_day; }
    friend bool operator>=(const XDate& a, const XDate& b) { return a.m_day >= b.m_day; }

    // The two-digit-year window and the month and day names, from platform::Clock::now() and the locale.
    static void LoadStartupState();
    // The year a two-digit year v (0..99) stands for: the hundred years from the current year - 79 to the
    // current year + 20.
    static int WindowYear(int twoDigitYear);
    // month 1..12, day 1 (Monday) .. 7; names in the working code page, at most 19 bytes.
    static XString MonthName(int month);
    static XString DayName(int day);

    // Day number arithmetic, no null handling. REQUIRES for DayNumberOf: year >= 1600, month >= 1, day >= 1.
    static int32_t DayNumberOf(int year, int month, int day);
    static void PartsOf(int32_t dayNumber, int& year, int& month, int& day);
    static int DaysInMonth(int year, int month);

  private:
    int32_t m_day = Null;
};
