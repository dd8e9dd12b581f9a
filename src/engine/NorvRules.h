// NorvRules: the small rules of the Norv engine that turn source texts into output values or facts about
// the school. Each depends only on its arguments, so the engine's table steps stay thin and the rules can
// be checked on their own.
//
// Owns: nothing (static operations only).
// REQUIRES: texts are column texts as the data access layer reads them (already trimmed, tabs removed).
#pragma once

#include "engine/LookupSet.h"
#include "libraries/support/XDate.h"
#include "libraries/support/XString.h"

#include <utility>
#include <vector>

class NorvRules {
  public:
    // How a school takes attendance, from "V_VLMR_SCHOOL".
    enum class AttendanceType { Period, Daily, PeriodAndDaily };

    // Four-digit start year of the school year that contains today: the year before when today is before
    // July. REQUIRES: today is not null (also for the span below).
    static XString schoolYearOf(const XDate& today);
    // The span attendance is read in: the earliest start and the latest end of the all-year sections (start
    // and end of each, null where the source has none) of the school year starting in startYear. A date
    // counts only when it lies in the school year with a summer month on each side, 1 July to 31 August of
    // the next year (a section dated 1900, or last year's, does not). Without a date that counts, the span
    // takes the default end, 1 August or 31 July; an end before the start gives the default span.
    struct SchoolSpan {
        XDate start;
        XDate end;
        bool defaultStart = true;
        bool defaultEnd = true;
        int ignoredDates = 0;  // dates of the sections outside the school year
    };
    static SchoolSpan schoolSpan(int startYear, const std::vector<std::pair<XDate, XDate>>& sections);

    // "P" is period attendance; otherwise "Y" in alternatePeriodAttendance adds period to daily.
    // Exact, case-sensitive comparisons.
    static AttendanceType attendanceTypeOf(const XString& attendanceType, const XString& alternatePeriod);

    // b when a is empty, a when b is empty, else a + separator + b.
    static XString join(const XString& a, const XString& b, const char* separator);
    // "Last, First Second" without stray separators for missing parts.
    static XString teacherLabel(const XString& last, const XString& first, const XString& second);
    // "Name (number)".
    static XString schoolLabel(const XString& name, const XString& number);

    // Legal name, then " " + suffix when there is one.
    static XString studentLastName(const XString& legalName, const XString& suffix);
    // "Apt: 12 " before "100 Main St"; the blank between number and street is always written.
    static XString studentStreetAddress(const XString& number, const XString& street,
                                        const XString& apartment);
    // Line feeds become blanks; carriage returns stay.
    static XString mailingAddress(const XString& address);
    // The three combination parts joined by "-", separators always written.
    static XString lockerCombination(const XString& first, const XString& second, const XString& third);
    // The allergies, preceded by "***LIFE THREATENING*** - " when the flag is exactly "Y" or "y".
    static XString medicalAlert(const XString& lifeThreatening, const XString& allergiesSingleLine);
    // Result + " on " + date, the joint only when both are present.
    static XString physicalExam(const XString& result, const XString& date);

    // Attendance reason code flags from the sub-allocation text (case-sensitive): "1" when it begins with
    // "Absent" / "Late", else "0"; "Y" when it ends with "Excused", else "N".
    static XString absentFlag(const XString& subAllocation);
    static XString tardyFlag(const XString& subAllocation);
    static XString excusedFlag(const XString& subAllocation);

    // A bell schedule's grade as its key: the grade, or "DEFAULT" for the blank one.
    static XString bellKey(const XString& grade);

    // A section's dates as "mm/dd/yyyy - mm/dd/yyyy" (a missing date as empty).
    static XString termKey(const XDate& start, const XDate& stop);
    // "All Year" for semester "0", "Semester s" for term "0", "Sem s Term t" when both are given, else empty.
    static XString termName(const XString& semester, const XString& term);

    // A section's day checked against the calendar's rotation days: "0" means no day (empty, kept); a
    // rotation day is kept; any other day is replaced when the calendar has exactly one rotation day, and
    // kept as it is (but unfixable) otherwise.
    struct SectionDay {
        enum Outcome { Kept, Fixed, Unfixable };
        XString value;
        Outcome outcome;
    };
    static SectionDay sectionDay(const XString& day, const LookupSet& rotationDays);

    // First name, a blank, surname: the blank is written even when a part is empty.
    static XString contactKey(const XString& firstName, const XString& surname);
    // Phone + " x" + extension; whichever is present when the other is empty.
    static XString workPhone(const XString& phone, const XString& extension);
    // Year, colour, make and model joined by single blanks, written even around empty parts.
    static XString vehicleDescription(const XString& year, const XString& colour, const XString& make,
                                      const XString& model);
};
