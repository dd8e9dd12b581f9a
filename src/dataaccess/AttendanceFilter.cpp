#include "dataaccess/AttendanceFilter.h"

#include "libraries/support/XException.h"

namespace {

bool usable(const XDate& date) {
    return !date.IsNull() && date.DayNumber() != 0;
}

}  // namespace

std::vector<AttendanceFilter::Condition> AttendanceFilter::changeConditions(
    const XDate& from, const XDate& to, const DateLiteral& literal) const {
    if (!m_primary && !m_secondary) {
        throw XException("FilterAttendance: There is no change date set! So cannot filter.");
    }
    std::vector<Condition> conditions;
    const auto compare = [&](const XDate& date, const char* op) {
        if (!usable(date)) {
            return;
        }
        if (!m_primary) {
            conditions.push_back({"AND", m_secondary, op, literal(date)});
        } else if (m_secondary) {
            conditions.push_back({"AND (", m_secondary, op, literal(date)});
            conditions.push_back({"OR", m_primary, op, literal(date) + ")"});
        } else {
            conditions.push_back({"AND", m_primary, op, literal(date)});
        }
    };
    compare(from, ">=");
    compare(to, "<=");
    return conditions;
}

void AttendanceFilter::replace(QueryDeclaration& declaration, const std::vector<Condition>& conditions) {
    declaration.removeLastConditions(m_conditionCount);
    for (const Condition& condition : conditions) {
        declaration.addCondition(condition.conjunction, condition.field, condition.op, nullptr,
                                 condition.value, 0);
    }
    m_conditionCount = static_cast<int>(conditions.size());
}

void AttendanceFilter::apply(QueryDeclaration& declaration, const XDate& from, const XDate& to,
                             const DateLiteral& literal) {
    replace(declaration, changeConditions(from, to, literal));
}

void AttendanceFilter::applyWithAbsences(QueryDeclaration& declaration, const XDate& from, const XDate& to,
                                         const XDate& absenceFrom, const XDate& absenceTo,
                                         const DateLiteral& literal) {
    std::vector<Condition> conditions = changeConditions(from, to, literal);
    if (!m_absence || !usable(absenceFrom) || !usable(absenceTo)) {
        throw XException("FilterAttendance: There is no absence date set! So cannot read absences again.");
    }
    if (conditions.empty()) {
        replace(declaration, conditions);  // no change window: every record is read already
        return;
    }
    // "AND ((change window) OR (absence window))": the change window's first "AND" opens the group.
    conditions.front().conjunction = "AND ((" + conditions.front().conjunction.mid(3).trimmed();
    conditions.back().value += ")";
    conditions.push_back({"OR (", m_absence, ">=", literal(absenceFrom)});
    // Before the next day's midnight, so that a date stored with a time of day is still in.
    conditions.push_back({"AND", m_absence, "<", literal(absenceTo + 1) + "))"});
    replace(declaration, conditions);
}

void AttendanceFilter::reset() {
    m_primary = nullptr;
    m_secondary = nullptr;
    m_absence = nullptr;
    m_conditionCount = 0;
}
