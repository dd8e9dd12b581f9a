#include "attendance/AttendanceWindow.h"

AttendanceWindow::AttendanceWindow(const XDate& update, const XDate& schoolStart, const XDate& schoolEnd,
                                   bool lastDay, const XDate& today)
    : m_update(update),
      m_schoolStart(schoolStart),
      m_schoolEnd(schoolEnd),
      m_today(today),
      m_lastDay(lastDay) {}

bool AttendanceWindow::next() {
    XDate today = m_today;
    if (!m_schoolEnd.IsNull() && today > m_schoolEnd) {
        today = m_schoolEnd;
    }
    if (!m_schoolStart.IsNull() && today < m_schoolStart) {
        today = m_schoolStart;
    }
    if (m_update < m_schoolStart || m_update.IsNull()) {
        m_update = m_schoolStart;
    }
    if (m_schoolStart.DayNumber() == 0 && m_update.DayNumber() == 0) {
        m_update = today;
        m_start = XDate();
    } else {
        m_start = m_update > today ? today : m_update;
    }
    if (today > m_update + 6) {
        m_end = m_update + 6;
        m_update = m_end;
        return false;
    }
    if (m_lastDay) {
        today += 1;
    }
    m_end = today;
    m_update = m_end;
    return true;
}
