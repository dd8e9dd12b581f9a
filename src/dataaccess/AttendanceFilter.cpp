#include "dataaccess/AttendanceFilter.h"

#include "libraries/support/XException.h"

namespace {

bool usable(const XDate& date) {
    return !date.IsNull() && date.DayNumber() != 0;
}

}  // namespace

void AttendanceFilter::apply(QueryDeclaration& declaration, const XDate& from, const XDate& to,
                             const DateLiteral& literal) {
    if (!m_primary && !m_secondary) {
        throw XException("FilterAttendance: There is no change date set! So cannot filter.");
    }
    declaration.removeLastConditions(m_conditionCount);
    m_conditionCount = 0;

    const auto add = [&](const char* conjunction, ODBCField* field, const char* op, const XString& value) {
        declaration.addCondition(conjunction, field, op, nullptr, value, 0);
        ++m_conditionCount;
    };
    const auto compare = [&](const XDate& date, const char* op) {
        if (!usable(date)) {
            return;
        }
        if (!m_primary) {
            add("AND", m_secondary, op, literal(date));
        } else if (m_secondary) {
            add("AND (", m_secondary, op, literal(date));
            add("OR", m_primary, op, literal(date) + ")");
        } else {
            add("AND", m_primary, op, literal(date));
        }
    };
    compare(from, ">=");
    compare(to, "<=");
}

void AttendanceFilter::applyAbsences(QueryDeclaration& declaration, const XDate& from, const XDate& to,
                                     const DateLiteral& literal) {
    if (!m_absence || !usable(from) || !usable(to)) {
        throw XException("FilterAttendance: There is no absence date set! So cannot read absences again.");
    }
    declaration.removeLastConditions(m_conditionCount);
    // Before the next day's midnight, so that a date stored with a time of day is still in.
    declaration.addCondition("AND", m_absence, ">=", nullptr, literal(from), 0);
    declaration.addCondition("AND", m_absence, "<", nullptr, literal(to + 1), 0);
    m_conditionCount = 2;
}

void AttendanceFilter::reset() {
    m_primary = nullptr;
    m_secondary = nullptr;
    m_absence = nullptr;
    m_conditionCount = 0;
}
