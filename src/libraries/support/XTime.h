// A time of day as milliseconds since midnight (0 to 86 399 999 for a normal time); -1 is null.
//
// Format tokens (either case; a run of another length is copied as letters):
//   AA "AM"/"PM"; HH hours (12-hour form when the pattern holds upper-case "AA"; a one-digit hour gets a
//   leading "0" only when the run ends the pattern or a letter follows it); NN minutes, SS seconds ("%02d");
//   LLL milliseconds ("%03d"). So "HH:NN:SS" at 09:05:07 gives 9:05:07 and "HHNNSS" gives 090507.
// Parse walks pattern and text side by side: runs of H, N, S, L take digits, a run of A takes A/M/P; every
// other pattern character skips one text character.
#pragma once

#include "libraries/support/XString.h"

#include <QTime>
#include <cstdint>

class XTime {
  public:
    static constexpr int32_t Null = -1;
    static constexpr int32_t MsPerDay = 86400000;

    // Null.
    XTime() = default;
    XTime(int hours, int minutes, int seconds, int milliseconds = 0);
    static XTime FromMilliseconds(int32_t milliseconds);
    // Null for an invalid QTime.
    static XTime FromQTime(const QTime& time);
    static XTime Now();

    void SetNull() { m_ms = Null; }
    bool IsNull() const { return m_ms == Null; }
    int32_t Milliseconds() const { return m_ms; }
    // REQUIRES: !IsNull().
    void GetParts(int& hours, int& minutes, int& seconds, int& milliseconds) const;
    // Invalid QTime for null.
    QTime ToQTime() const;

    // "" for null.
    XString Format(const XString& pattern) const;
    // Null and false unless hours were read and, when the pattern has an A run, the AM/PM marker is valid.
    // Missing minutes, seconds and milliseconds count as 0; values are not range-checked.
    bool Parse(const XString& pattern, const XString& text);

    // Null when value is exactly 0.0; otherwise the fraction of a day in milliseconds, truncated.
    void FromOleDate(double value);
    // end - start wrapped into 0 .. 86 399 999. A null start gives end unchanged; a null end counts as
    // midnight.
    static XTime Elapsed(const XTime& start, const XTime& end);

    // Null equals null and is less than every time.
    friend bool operator==(const XTime& a, const XTime& b) { return a.m_ms == b.m_ms; }
    friend bool operator!=(const XTime& a, const XTime& b) { return a.m_ms != b.m_ms; }
    friend bool operator<(const XTime& a, const XTime& b) { return a.m_ms < b.m_ms; }
    friend bool operator>(const XTime& a, const XTime& b) { return a.m_ms > b.m_ms; }
    friend bool operator<=(const XTime& a, const XTime& b) { return a.m_ms <= b.m_ms; }
    friend bool operator>=(const XTime& a, const XTime& b) { return a.m_ms >= b.m_ms; }

  private:
    int32_t m_ms = Null;
};
