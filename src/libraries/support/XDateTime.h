// A date and a time of day; null when both parts are null. Either part may be null alone (a date with no
// time).
//
// Format runs the date pass over the pattern and then the time pass over its output (so "mm" is always the
// month, and the HH padding rule looks at what the date pass wrote). Parse runs the date parse and the time
// parse each over the whole pattern and text.
#pragma once

#include "libraries/support/XDate.h"
#include "libraries/support/XString.h"
#include "libraries/support/XTime.h"

#include <QDateTime>

class XDateTime {
  public:
    // Both parts null.
    XDateTime() = default;
    // Time null.
    explicit XDateTime(const XDate& date) : m_date(date) {}
    XDateTime(const XDate& date, const XTime& time) : m_date(date), m_time(time) {}
    // Local date and time from platform::Clock, milliseconds included.
    static XDateTime Now();
    // Both parts null for an invalid QDateTime; the local date and time otherwise.
    static XDateTime FromQDateTime(const QDateTime& value);

    bool IsNull() const { return m_date.IsNull() && m_time.IsNull(); }
    const XDate& Date() const { return m_date; }
    const XTime& Time() const { return m_time; }
    void SetDate(const XDate& date) { m_date = date; }
    void SetTime(const XTime& time) { m_time = time; }
    // Local time; invalid when the date is null; a null time is midnight.
    QDateTime ToQDateTime() const;

    // "" when either part is null: the date pass of a null date gives "", and the time pass of a null time
    // turns whatever it is given into "". Give a date-only value a time (midnight) to format its date.
    XString Format(const XString& pattern) const;
    // Each part parsed over the whole pattern and text, null where it fails; true unless both are null.
    bool Parse(const XString& pattern, const XString& text);
    // Date: "YYYY-MM-DD" over the text; time: "HH:NN:SS.LLL" over the text from offset 11 (a text shorter
    // than 12 characters leaves the time null). True unless both parts are null.
    bool ParseIso(const XString& text);

    // The XDate and XTime rules on the same number: 0.0 is null; 1.5 is 31 December 1899 12:00.
    void FromOleDate(double value);
    // Days since 30 December 1899 plus the fraction of the day (a null time is midnight); 0.0 when null.
    double ToOleDate() const;

    // Adds the interval: hours to milliseconds become one millisecond count added to the time (null counts
    // as midnight), full days carried to the date (null counts as day 0); years and months advance the
    // month, the day of month then rolls forward through the month lengths.
    void AddInterval(int years, int months, int days, int hours = 0, int minutes = 0, int seconds = 0,
                     int milliseconds = 0);
    // The mirror of AddInterval: the time borrows whole days, the months borrow from the years and the
    // days from the preceding months.
    void SubtractInterval(int years, int months, int days, int hours = 0, int minutes = 0, int seconds = 0,
                          int milliseconds = 0);

    // Dates first, then times; a null part is less than any value and equal to null.
    friend bool operator==(const XDateTime& a, const XDateTime& b) {
        return a.m_date == b.m_date && a.m_time == b.m_time;
    }
    friend bool operator!=(const XDateTime& a, const XDateTime& b) { return !(a == b); }
    friend bool operator<(const XDateTime& a, const XDateTime& b) {
        return a.m_date < b.m_date || (a.m_date == b.m_date && a.m_time < b.m_time);
    }
    friend bool operator>(const XDateTime& a, const XDateTime& b) { return b < a; }
    friend bool operator<=(const XDateTime& a, const XDateTime& b) { return !(b < a); }
    friend bool operator>=(const XDateTime& a, const XDateTime& b) { return !(a < b); }

  private:
    XDate m_date;
    XTime m_time;
};
