// The date filter of the attendance query: conditions that keep only the records created or modified
// between two dates, or those and the absences dated in a second span, added at the end of the declared
// conditions and replaced by the next call.
//
// Holds the change-date fields and the absence date field (not owned; they belong to the declaration and
// live until its clear()) and how many conditions at the end of the declaration's list it added.
// REQUIRES: the declaration's conditions after the filter's are not touched between two apply() calls.
#pragma once

#include "dataaccess/QueryDeclaration.h"
#include "libraries/support/XDate.h"

#include <functional>
#include <vector>

class AttendanceFilter {
  public:
    // Turns a date into the SQL literal of the current database type.
    using DateLiteral = std::function<XString(const XDate&)>;

    // primary: the creation date, always compared; secondary: the modification date, compared first and
    // joined to the primary comparison with OR.
    void setPrimaryField(ODBCField* field) { m_primary = field; }
    void setSecondaryField(ODBCField* field) { m_secondary = field; }
    // The date of the absence itself.
    void setAbsenceField(ODBCField* field) { m_absence = field; }
    ODBCField* primaryField() const { return m_primary; }
    ODBCField* secondaryField() const { return m_secondary; }
    ODBCField* absenceField() const { return m_absence; }
    int conditionCount() const { return m_conditionCount; }
    // Forgets the added conditions without removing them (the attendance writer starts each table so).
    void setConditionCount(int count) { m_conditionCount = count; }

    // Removes the previous call's conditions and adds those for from and to (a date that is null or day 0 is
    // left out). Throws XException "FilterAttendance: There is no change date set! So cannot filter." when no
    // change-date field is set; the caller reports it.
    void apply(QueryDeclaration& declaration, const XDate& from, const XDate& to, const DateLiteral& literal);
    // Removes the previous call's conditions and keeps the records changed between from and to (as apply)
    // or dated from absenceFrom to absenceTo, whatever their change dates: one query reads each record of
    // either window once. Throws XException as apply, and when no absence date field is set or an absence
    // date is null.
    void applyWithAbsences(QueryDeclaration& declaration, const XDate& from, const XDate& to,
                           const XDate& absenceFrom, const XDate& absenceTo, const DateLiteral& literal);

    // Forgets the fields and the count; the conditions stay in the declaration.
    void reset();

  private:
    struct Condition {
        XString conjunction;
        ODBCField* field;
        const char* op;
        XString value;
    };
    // The conditions of the change window, the first joined with "AND"; none when neither date is usable.
    std::vector<Condition> changeConditions(const XDate& from, const XDate& to,
                                            const DateLiteral& literal) const;
    void replace(QueryDeclaration& declaration, const std::vector<Condition>& conditions);

    ODBCField* m_primary = nullptr;
    ODBCField* m_secondary = nullptr;
    ODBCField* m_absence = nullptr;
    int m_conditionCount = 0;
};
