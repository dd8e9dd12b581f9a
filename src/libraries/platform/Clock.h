// The local clock. Every "now" of the program comes from here so that tests can fix the time
// (log rotation across days, school-year boundaries) without touching the system clock.
#pragma once

#include <QDateTime>

namespace platform {

class Clock {
public:
    // The local date and time, milliseconds included; the fixed time when one is set.
    static QDateTime now();

    // Tests only: makes now() return when until clearFixed(). Not thread-safe, like the program.
    static void setFixed(const QDateTime& when);
    static void clearFixed();
};

}  // namespace platform
