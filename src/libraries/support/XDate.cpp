#include "libraries/support/XDate.h"

#include "libraries/platform/Clock.h"
#include "libraries/platform/LocaleNames.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace {

// Names are held as the original's fixed 20-byte slots held them: at most 19 bytes.
constexpr int MaxNameBytes = 19;
// The parser's group buffers held 27 characters; a longer group cannot be a date part.
constexpr int MaxGroupLength = 27;

struct StartupState {
    bool loaded = false;
    int windowCentury = 1900;
    int windowPivot = 44;
    XString monthNames[12];
    XString dayNames[7];
};

StartupState& rawState() {
    static StartupState s;
    return s;
}

void load(StartupState& s) {
    const int start = platform::Clock::now().date().year() - 80;
    s.windowCentury = (start / 100) * 100;
    s.windowPivot = start % 100;
    for (int m = 1; m <= 12; ++m) {
        s.monthNames[m - 1] = XString(platform::longMonthName(m)).left(MaxNameBytes);
    }
    for (int d = 1; d <= 7; ++d) {
        s.dayNames[d - 1] = XString(platform::longDayName(d)).left(MaxNameBytes);
    }
    s.loaded = true;
}

const StartupState& state() {
    StartupState& s = rawState();
    if (!s.loaded) {
        load(s);
    }
    return s;
}

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}
char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

XString cut(const XString& name, int count) {
    return count < 0 ? name : name.left(count);
}

// Floor division and modulo, for day numbers below 0.
int32_t floorDiv(int64_t a, int64_t b) {
    return static_cast<int32_t>(a >= 0 ? a / b : -((-a + b - 1) / b));
}

bool allDigits(const std::string& s) {
    if (s.empty()) {
        return false;
    }
    for (char c : s) {
        if (!isAsciiDigit(c)) {
            return false;
        }
    }
    return true;
}

// The text group's characters at the pattern token's offset: up to count, fewer when the group ends.
std::string textAt(const std::string& group, size_t offset, size_t count) {
    return offset >= group.size() ? std::string() : group.substr(offset, count);
}

}  // namespace

XDate::XDate(int year, int month, int day) {
    SetDate(year, month, day);
}

XDate XDate::FromDayNumber(int32_t dayNumber) {
    XDate date;
    date.m_day = dayNumber;
    return date;
}

XDate XDate::FromQDate(const QDate& date) {
    return date.isValid() ? XDate(date.year(), date.month(), date.day()) : XDate();
}

XDate XDate::Today() {
    return FromQDate(platform::Clock::now().date());
}

int32_t XDate::DayNumberOf(int year, int month, int day) {
    if (year == 1600 && month == 1) {
        return day - 1;
    }
    if (year == 1600 && month == 2) {
        return day + 30;
    }
    uint64_t m;
    if (month > 2) {
        m = static_cast<uint64_t>(month) - 3;
    } else {
        m = static_cast<uint64_t>(month) + 9;
        year -= 1;
    }
    const uint64_t y = static_cast<uint64_t>(year) - 1600;
    const uint64_t number = static_cast<uint64_t>(day) + ((y / 100) * 146097) / 4 + ((y % 100) * 1461) / 4 +
                            (m * 153 + 2) / 5 + 59;
    return number > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) ? Null
                                                                               : static_cast<int32_t>(number);
}

void XDate::PartsOf(int32_t dayNumber, int& year, int& month, int& day) {
    // Days counted from 1 March 1600, the start of a 400-year cycle when the year begins in March.
    const int64_t z = static_cast<int64_t>(dayNumber) - 60;
    const int64_t era = floorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + 1600 + (month <= 2 ? 1 : 0));
}

int XDate::DaysInMonth(int year, int month) {
    static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) {
        return 0;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : lengths[month - 1];
}

void XDate::SetDate(int year, int month, int day) {
    // Negative parts are as meaningless as zero ones; the unsigned formula would wrap on them.
    if (year < 1600 || month <= 0 || day <= 0) {
        m_day = Null;
        return;
    }
    m_day = DayNumberOf(year, month, day);
}

void XDate::GetParts(int& year, int& month, int& day) const {
    PartsOf(m_day, year, month, day);
}

int XDate::Year() const {
    int y, m, d;
    GetParts(y, m, d);
    return y;
}

int XDate::Month() const {
    int y, m, d;
    GetParts(y, m, d);
    return m;
}

int XDate::Day() const {
    int y, m, d;
    GetParts(y, m, d);
    return d;
}

int XDate::DayOfWeek() const {
    const int64_t index = (static_cast<int64_t>(m_day) + 5) % 7;
    return static_cast<int>(index < 0 ? index + 7 : index) + 1;
}

QDate XDate::ToQDate() const {
    if (IsNull()) {
        return QDate();
    }
    int y, m, d;
    GetParts(y, m, d);
    return QDate(y, m, d);
}

XString XDate::Format(const XString& pattern) const {
    // Only -1 is null, but no other negative number names a date either.
    if (m_day < 0) {
        return XString();
    }
    int year, month, day;
    GetParts(year, month, day);
    // Dates are formatted for every row of many tables: numbers are written digit by digit, and the names
    // looked up only for a pattern that shows them.
    const auto twoDigits = [](XString& text, int value) {
        text.append(static_cast<char>('0' + value / 10 % 10));
        text.append(static_cast<char>('0' + value % 10));
    };
    const auto monthName = [&] { return MonthName(month); };
    const auto dayName = [&] { return DayName(DayOfWeek()); };

    XString out;
    const int n = pattern.length();
    int i = 0;
    while (i < n) {
        const char letter = upper(pattern.at(i));
        if (letter != 'D' && letter != 'M' && letter != 'W' && letter != 'Y') {
            out.append(pattern.at(i));
            ++i;
            continue;
        }
        int run = 1;
        while (i + run < n && upper(pattern.at(i + run)) == letter) {
            ++run;
        }
        switch (letter) {
            case 'D':
                if (run == 1) {
                    out.append(XString(day));
                } else if (run == 2) {
                    twoDigits(out, day);
                } else {
                    out.append(cut(dayName(), run == 3 ? 3 : -1));
                }
                break;
            case 'M':
                if (run == 1) {
                    out.append(XString(month));
                } else if (run == 2) {
                    twoDigits(out, month);
                } else {
                    out.append(cut(monthName(), run == 3 ? 3 : -1));
                }
                break;
            case 'W':
                out.append(cut(dayName(), run <= 3 ? run : -1));
                break;
            case 'Y':
                if (run == 1) {
                    out.append(XString(year % 10));
                } else if (run == 2) {
                    twoDigits(out, year % 100);
                } else if (run == 4) {
                    out.append(XString(year));
                } else {
                    out.append(pattern.mid(i, run));
                }
                break;
        }
        i += run;
    }
    return out;
}

bool XDate::Parse(const XString& pattern, const XString& text) {
    const std::string& p = pattern.toStdString();
    const std::string& t = text.toStdString();
    int year = -1;
    int month = -1;
    int day = -1;
    size_t pi = 0;
    size_t ti = 0;
    const auto isAlnum = [](char c) { return isAsciiLetter(c) || isAsciiDigit(c); };
    for (;;) {
        while (pi < p.size() && !isAlnum(p[pi])) {
            ++pi;
        }
        while (ti < t.size() && !isAlnum(t[ti])) {
            ++ti;
        }
        if (pi >= p.size() || ti >= t.size()) {
            break;
        }

        // Pattern group: "MMM" stands alone so that "DDMMMYYYY" splits into three groups.
        size_t pend = pi;
        if (p.compare(pi, 3, "MMM") == 0) {
            while (pend < p.size() && upper(p[pend]) == 'M') {
                ++pend;
            }
        } else if (isAsciiLetter(p[pi])) {
            while (pend < p.size() && isAsciiLetter(p[pend]) &&
                   (pend == pi || p.compare(pend, 3, "MMM") != 0)) {
                ++pend;
            }
        } else {
            while (pend < p.size() && isAsciiDigit(p[pend])) {
                ++pend;
            }
        }
        size_t tend = ti;
        if (isAsciiLetter(t[ti])) {
            while (tend < t.size() && isAsciiLetter(t[tend])) {
                ++tend;
            }
        } else {
            while (tend < t.size() && isAsciiDigit(t[tend])) {
                ++tend;
            }
        }
        if (pend - pi > MaxGroupLength || tend - ti > MaxGroupLength) {
            m_day = Null;
            return false;
        }
        std::string pgroup = p.substr(pi, pend - pi);
        for (char& c : pgroup) {
            c = upper(c);
        }
        const std::string tgroup = t.substr(ti, tend - ti);
        pi = pend;
        ti = tend;

        if (const size_t at = pgroup.find("YYYY"); at != std::string::npos) {
            const std::string v = textAt(tgroup, at, 4);
            if (v.size() == 4 && allDigits(v)) {
                year = std::stoi(v);
            }
        } else if (const size_t at2 = pgroup.find("YY"); at2 != std::string::npos) {
            const std::string v = textAt(tgroup, at2, 2);
            if (allDigits(v)) {
                year = WindowYear(std::stoi(v));
            }
        }
        if (const size_t at = pgroup.find("MMM"); at != std::string::npos) {
            const XString v(textAt(tgroup, at, 3));
            if (!v.isEmpty()) {
                month = 12;
                for (int m = 1; m <= 11; ++m) {
                    if (MonthName(m).startsWith(v, false)) {
                        month = m;
                        break;
                    }
                }
            }
        } else if (const size_t at2 = pgroup.find("MM"); at2 != std::string::npos) {
            const std::string v = textAt(tgroup, at2, 2);
            if (allDigits(v)) {
                month = std::stoi(v);
            }
        }
        if (const size_t at = pgroup.find("DD"); at != std::string::npos) {
            const std::string v = textAt(tgroup, at, 2);
            if (allDigits(v)) {
                day = std::stoi(v);
            }
        }
    }
    if (year < 0 || month < 0 || day < 0) {
        m_day = Null;
        return false;
    }
    SetDate(year, month, day);
    return true;
}

XString XDate::IsoText() const {
    return Format("YYYY-MM-DD");
}

bool XDate::ParseIso(const XString& text) {
    return Parse("YYYY-MM-DD", text);
}

void XDate::FromOleDate(double value) {
    if (value == 0.0 || !std::isfinite(value)) {
        m_day = Null;
        return;
    }
    const double days = std::trunc(value) + OleDateZero;
    if (days < 0 || days > std::numeric_limits<int32_t>::max()) {
        m_day = Null;
        return;
    }
    m_day = static_cast<int32_t>(days);
}

double XDate::ToOleDate() const {
    return IsNull() ? 0.0 : static_cast<double>(m_day - OleDateZero);
}

void XDate::LoadStartupState() {
    load(rawState());
}

int XDate::WindowYear(int twoDigitYear) {
    const StartupState& s = state();
    return twoDigitYear > s.windowPivot ? s.windowCentury + twoDigitYear
                                        : s.windowCentury + 100 + twoDigitYear;
}

XString XDate::MonthName(int month) {
    return month >= 1 && month <= 12 ? state().monthNames[month - 1] : XString();
}

XString XDate::DayName(int day) {
    return day >= 1 && day <= 7 ? state().dayNames[day - 1] : XString();
}
