// AttendanceWindow: the walk from the last update date to today in windows of at most seven days that the
// attendance pass reads the source in. Each next window starts on the day the previous one ended, so the
// windows overlap by a day and leave no gap.
//
// Owns nothing; plain value state.
// REQUIRES: schoolStart <= schoolEnd when both are set.
#pragma once

#include "libraries/support/XDate.h"

class AttendanceWindow {
  public:
    // update: the working update date (null or day 0 = none); lastDay: the last window ends the day after
    // today, so that changes stamped later today are read too.
    AttendanceWindow(const XDate& update, const XDate& schoolStart, const XDate& schoolEnd, bool lastDay,
                     const XDate& today = XDate::Today());

    // Computes the next window into start() and end(); true when it is the last one.
    bool next();

    const XDate& start() const { return m_start; }
    const XDate& end() const { return m_end; }
    const XDate& update() const { return m_update; }

  private:
    XDate m_update;
    XDate m_schoolStart;
    XDate m_schoolEnd;
    XDate m_today;
    bool m_lastDay;
    XDate m_start;
    XDate m_end;
};
