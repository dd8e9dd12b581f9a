// AttendanceWindow: the change window one attendance pass reads, from the last update date (or, without one,
// the school start) to today, bounded by the school year. A pass reads it in one streamed query, so the span
// needs no cutting into weeks to bound what a query holds: each record of the source is read once.
//
// Owns nothing; plain values.
// REQUIRES: schoolStart <= schoolEnd when both are set.
#pragma once

#include "libraries/support/XDate.h"

class AttendanceWindow {
  public:
    // update: the working update date (null or day 0 = none); lastDay: the window ends the day after today,
    // so that changes stamped later today are read too.
    AttendanceWindow(const XDate& update, const XDate& schoolStart, const XDate& schoolEnd, bool lastDay,
                     const XDate& today = XDate::Today());

    // Null start: no lower bound (neither an update date nor a school start).
    const XDate& start() const { return m_start; }
    const XDate& end() const { return m_end; }

  private:
    XDate m_start;
    XDate m_end;
};
