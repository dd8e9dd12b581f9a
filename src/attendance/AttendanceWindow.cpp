#include "attendance/AttendanceWindow.h"

AttendanceWindow::AttendanceWindow(const XDate& update, const XDate& schoolStart, const XDate& schoolEnd,
                                   bool lastDay, const XDate& today) {
    XDate end = today;
    if (!schoolEnd.IsNull() && end > schoolEnd) {
        end = schoolEnd;
    }
    if (!schoolStart.IsNull() && end < schoolStart) {
        end = schoolStart;
    }
    XDate from = update;
    if (from < schoolStart || from.IsNull()) {
        from = schoolStart;
    }
    if (schoolStart.DayNumber() == 0 && from.DayNumber() == 0) {
        m_start = XDate();
    } else {
        m_start = from > end ? end : from;
    }
    m_end = lastDay ? end + 1 : end;
}
