#include "libraries/support/XDateTime.h"

#include "libraries/platform/Clock.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr int64_t MsPerDay = XTime::MsPerDay;

int64_t intervalMs(int hours, int minutes, int seconds, int milliseconds) {
    return static_cast<int64_t>(hours) * 3600000 + static_cast<int64_t>(minutes) * 60000 +
           static_cast<int64_t>(seconds) * 1000 + milliseconds;
}

int64_t floorDiv(int64_t a, int64_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// Brings month into 1..12, moving whole years into year.
void normaliseMonth(int64_t& year, int64_t& month) {
    const int64_t carry = floorDiv(month - 1, 12);
    year += carry;
    month -= carry * 12;
}

XDate dateOf(int64_t year, int64_t month, int64_t day) {
    if (year < 1600 || year > 5000000) {
        return XDate();
    }
    return XDate(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day));
}

}  // namespace

XDateTime XDateTime::Now() {
    return FromQDateTime(platform::Clock::now());
}

XDateTime XDateTime::FromQDateTime(const QDateTime& value) {
    if (!value.isValid()) {
        return XDateTime();
    }
    const QDateTime local = value.toLocalTime();
    return XDateTime(XDate::FromQDate(local.date()), XTime::FromQTime(local.time()));
}

QDateTime XDateTime::ToQDateTime() const {
    const QDate date = m_date.ToQDate();
    if (!date.isValid()) {
        return QDateTime();
    }
    const QTime time = m_time.IsNull() ? QTime(0, 0) : m_time.ToQTime();
    return QDateTime(date, time.isValid() ? time : QTime(0, 0));
}

XString XDateTime::Format(const XString& pattern) const {
    return m_time.Format(m_date.Format(pattern));
}

bool XDateTime::Parse(const XString& pattern, const XString& text) {
    m_date.Parse(pattern, text);
    m_time.Parse(pattern, text);
    return !IsNull();
}

bool XDateTime::ParseIso(const XString& text) {
    m_date.Parse("YYYY-MM-DD", text);
    if (text.length() < 12) {
        m_time.SetNull();
    } else {
        m_time.Parse("HH:NN:SS.LLL", text.mid(11));
    }
    return !IsNull();
}

void XDateTime::FromOleDate(double value) {
    m_date.FromOleDate(value);
    m_time.FromOleDate(value);
    // A fraction a hair below a whole day rounds to the end of the day; it belongs to the next one.
    if (!m_date.IsNull() && !m_time.IsNull()) {
        const double fraction = std::fabs(value - std::trunc(value));
        if (std::llround(fraction * 86400000000.0) >= MsPerDay * 1000) {
            m_date += value < 0 ? -1 : 1;
            m_time = XTime::FromMilliseconds(0);
        }
    }
}

double XDateTime::ToOleDate() const {
    if (m_date.IsNull()) {
        return IsNull() ? 0.0 : static_cast<double>(m_time.Milliseconds()) / MsPerDay;
    }
    const double days = m_date.ToOleDate();
    const double fraction = m_time.IsNull() ? 0.0 : static_cast<double>(m_time.Milliseconds()) / MsPerDay;
    return days < 0 ? days - fraction : days + fraction;
}

void XDateTime::AddInterval(int years, int months, int days, int hours, int minutes, int seconds,
                            int milliseconds) {
    const int64_t sum =
        (m_time.IsNull() ? 0 : m_time.Milliseconds()) + intervalMs(hours, minutes, seconds, milliseconds);
    const int64_t carried = floorDiv(sum, MsPerDay);
    m_time = XTime::FromMilliseconds(static_cast<int32_t>(sum - carried * MsPerDay));

    const int32_t dayNumber = m_date.IsNull() ? 0 : m_date.DayNumber();
    const int64_t totalDays = days + carried;
    if (years == 0 && months == 0) {
        m_date = XDate::FromDayNumber(static_cast<int32_t>(dayNumber + totalDays));
        return;
    }
    int y, m, d;
    XDate::PartsOf(dayNumber, y, m, d);
    int64_t year = y;
    int64_t month = static_cast<int64_t>(m) + months;
    normaliseMonth(year, month);
    year += years;
    int64_t day = d + totalDays;
    while (day > XDate::DaysInMonth(static_cast<int>(year), static_cast<int>(month))) {
        day -= XDate::DaysInMonth(static_cast<int>(year), static_cast<int>(month));
        ++month;
        normaliseMonth(year, month);
    }
    while (day < 1) {
        --month;
        normaliseMonth(year, month);
        day += XDate::DaysInMonth(static_cast<int>(year), static_cast<int>(month));
    }
    m_date = dateOf(year, month, day);
}

void XDateTime::SubtractInterval(int years, int months, int days, int hours, int minutes, int seconds,
                                 int milliseconds) {
    const int64_t rest =
        (m_time.IsNull() ? 0 : m_time.Milliseconds()) - intervalMs(hours, minutes, seconds, milliseconds);
    const int64_t borrowed = -floorDiv(rest, MsPerDay);
    m_time = XTime::FromMilliseconds(static_cast<int32_t>(rest + borrowed * MsPerDay));

    const int32_t dayNumber = m_date.IsNull() ? 0 : m_date.DayNumber();
    const int64_t totalDays = days + borrowed;
    if (years == 0 && months == 0) {
        m_date = XDate::FromDayNumber(static_cast<int32_t>(dayNumber - totalDays));
        return;
    }
    int y, m, d;
    XDate::PartsOf(dayNumber, y, m, d);
    int64_t year = y;
    int64_t month = static_cast<int64_t>(m) - months;
    normaliseMonth(year, month);
    year -= years;
    int64_t day = d - totalDays;
    while (day < 1) {
        --month;
        normaliseMonth(year, month);
        day += XDate::DaysInMonth(static_cast<int>(year), static_cast<int>(month));
    }
    // A day past the end of its month (31 March less one month) runs on into the next month, as SetDate does.
    m_date = dateOf(year, month, day);
}
