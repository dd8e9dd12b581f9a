#include "libraries/support/XTime.h"

#include "libraries/platform/Clock.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace {

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

int runLength(const std::string& s, size_t at) {
    const char letter = upper(s[at]);
    size_t end = at + 1;
    while (end < s.size() && upper(s[end]) == letter) {
        ++end;
    }
    return static_cast<int>(end - at);
}

}  // namespace

XTime::XTime(int hours, int minutes, int seconds, int milliseconds) {
    const int64_t value = static_cast<int64_t>(hours) * 3600000 + static_cast<int64_t>(minutes) * 60000 +
                          static_cast<int64_t>(seconds) * 1000 + milliseconds;
    m_ms = value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()
               ? Null
               : static_cast<int32_t>(value);
}

XTime XTime::FromMilliseconds(int32_t milliseconds) {
    XTime time;
    time.m_ms = milliseconds;
    return time;
}

XTime XTime::FromQTime(const QTime& time) {
    return time.isValid() ? FromMilliseconds(time.msecsSinceStartOfDay()) : XTime();
}

XTime XTime::Now() {
    return FromQTime(platform::Clock::now().time());
}

void XTime::GetParts(int& hours, int& minutes, int& seconds, int& milliseconds) const {
    hours = m_ms / 3600000;
    minutes = (m_ms % 3600000) / 60000;
    seconds = (m_ms % 60000) / 1000;
    milliseconds = m_ms % 1000;
}

QTime XTime::ToQTime() const {
    return m_ms >= 0 && m_ms < MsPerDay ? QTime::fromMSecsSinceStartOfDay(m_ms) : QTime();
}

XString XTime::Format(const XString& pattern) const {
    if (IsNull()) {
        return XString();
    }
    int h, n, s, ms;
    GetParts(h, n, s, ms);
    const std::string& p = pattern.toStdString();
    const bool twelveHour = p.find("AA") != std::string::npos;

    XString out;
    size_t i = 0;
    while (i < p.size()) {
        const char letter = upper(p[i]);
        if (letter != 'A' && letter != 'H' && letter != 'L' && letter != 'N' && letter != 'S') {
            out.append(p[i]);
            ++i;
            continue;
        }
        const int run = runLength(p, i);
        const size_t after = i + static_cast<size_t>(run);
        if (letter == 'A' && run == 2) {
            out.append(h > 11 ? "PM" : "AM");
        } else if (letter == 'H' && run == 2) {
            int hour = h;
            if (twelveHour) {
                if (hour > 12) {
                    hour -= 12;
                } else if (hour == 0) {
                    hour = 12;
                }
            }
            // A separator after the hour makes it readable without padding; digits run into a letter or
            // the end are padded so that stamps like "HHNNSS" keep their width.
            const bool pad = after >= p.size() || isAsciiLetter(p[after]);
            out.append(XString::formatted(pad ? "%02d" : "%d", hour));
        } else if (letter == 'N' && run == 2) {
            out.append(XString::formatted("%02d", n));
        } else if (letter == 'S' && run == 2) {
            out.append(XString::formatted("%02d", s));
        } else if (letter == 'L' && run == 3) {
            out.append(XString::formatted("%03d", ms));
        } else {
            out.append(pattern.mid(static_cast<int>(i), run));
        }
        i = after;
    }
    return out;
}

bool XTime::Parse(const XString& pattern, const XString& text) {
    m_ms = Null;
    const std::string& p = pattern.toStdString();
    const std::string& t = text.toStdString();
    if (t.empty()) {
        return false;
    }
    const bool hasMarker = p.find_first_of("Aa") != std::string::npos;
    bool markerValid = false;
    bool afternoon = false;
    int64_t hours = -1;
    int64_t minutes = 0;
    int64_t seconds = 0;
    int64_t milliseconds = 0;

    size_t pi = 0;
    size_t ti = 0;
    while (pi < p.size() && ti < t.size()) {
        const char letter = upper(p[pi]);
        if (letter == 'A') {
            const int run = runLength(p, pi);
            std::string taken;
            for (int k = 0; k < run && ti < t.size(); ++k) {
                const char c = upper(t[ti]);
                if (c == 'A' || c == 'M' || c == 'P') {
                    taken.push_back(c);
                    ++ti;
                }
            }
            markerValid = taken.size() == 2;
            afternoon = markerValid && taken[0] == 'P';
            pi += static_cast<size_t>(run);
        } else if (letter == 'H' || letter == 'L' || letter == 'N' || letter == 'S') {
            const int run = runLength(p, pi);
            std::string digits;
            for (int k = 0; k < run && ti < t.size(); ++k) {
                if (isAsciiDigit(t[ti])) {
                    digits.push_back(t[ti]);
                    ++ti;
                }
            }
            // A run longer than any real field could overflow; such a text is no time.
            if (digits.size() > 9) {
                return false;
            }
            const int64_t value = digits.empty() ? 0 : std::stoll(digits);
            if (letter == 'H') {
                if (!digits.empty()) {
                    hours = value;
                }
            } else if (letter == 'L') {
                milliseconds = value;
            } else if (letter == 'N') {
                minutes = value;
            } else {
                seconds = value;
            }
            pi += static_cast<size_t>(run);
        } else {
            ++pi;
            ++ti;
        }
    }
    if (hours < 0 || (hasMarker && !markerValid)) {
        return false;
    }
    if (hasMarker) {
        if (afternoon && hours < 12) {
            hours += 12;
        } else if (!afternoon && hours == 12) {
            hours = 0;
        }
    }
    const int64_t value = milliseconds + hours * 3600000 + minutes * 60000 + seconds * 1000;
    if (value > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    m_ms = static_cast<int32_t>(value);
    return true;
}

void XTime::FromOleDate(double value) {
    if (value == 0.0 || !std::isfinite(value)) {
        m_ms = Null;
        return;
    }
    // The fraction is the time of day whatever the sign of the day (an automation date of -1.5 is
    // 29 December 1899, 12:00). Rounding to whole microseconds first removes the representation error of
    // the double, so that 09:05:07 does not come back as 09:05:06.999; what remains is truncated.
    const double fraction = std::fabs(value - std::trunc(value));
    const int64_t micros = std::llround(fraction * 86400000000.0);
    const int64_t ms = micros / 1000;
    m_ms = static_cast<int32_t>(ms >= MsPerDay ? MsPerDay - 1 : ms);
}

XTime XTime::Elapsed(const XTime& start, const XTime& end) {
    if (start.IsNull()) {
        return end;
    }
    const int64_t to = end.IsNull() ? 0 : end.m_ms;
    int64_t diff = (to - start.m_ms) % MsPerDay;
    if (diff < 0) {
        diff += MsPerDay;
    }
    return FromMilliseconds(static_cast<int32_t>(diff));
}
