#include "engine/NorvRules.h"

XString NorvRules::schoolYearOf(const XDate& today) {
    const int year = today.Month() < 7 ? today.Year() - 1 : today.Year();
    return XString(year);
}

NorvRules::SchoolSpan NorvRules::schoolSpan(int startYear,
                                            const std::vector<std::pair<XDate, XDate>>& sections) {
    const XDate frameStart(startYear, 7, 1);
    const XDate frameEnd(startYear + 1, 8, 31);
    const auto inYear = [&](const XDate& date) {
        return !date.IsNull() && date >= frameStart && date <= frameEnd;
    };
    const SchoolSpan defaults{XDate(startYear, 8, 1), XDate(startYear + 1, 7, 31)};
    XDate earliest;
    XDate latest;
    int ignored = 0;
    for (const auto& [start, end] : sections) {
        for (const XDate& date : {start, end}) {
            if (!date.IsNull() && !inYear(date)) {
                ++ignored;
            }
        }
        if (inYear(start) && (earliest.IsNull() || start < earliest)) {
            earliest = start;
        }
        if (inYear(end) && (latest.IsNull() || end > latest)) {
            latest = end;
        }
    }
    SchoolSpan span = defaults;
    if (!earliest.IsNull()) {
        span.start = earliest;
        span.defaultStart = false;
    }
    if (!latest.IsNull()) {
        span.end = latest;
        span.defaultEnd = false;
    }
    if (span.end < span.start) {
        span = defaults;
    }
    span.ignoredDates = ignored;
    return span;
}

NorvRules::AttendanceType NorvRules::attendanceTypeOf(const XString& attendanceType,
                                                      const XString& alternatePeriod) {
    if (attendanceType == "P") {
        return AttendanceType::Period;
    }
    if (alternatePeriod == "Y") {
        return AttendanceType::PeriodAndDaily;
    }
    return AttendanceType::Daily;
}

XString NorvRules::join(const XString& a, const XString& b, const char* separator) {
    if (a.isEmpty()) {
        return b;
    }
    if (b.isEmpty()) {
        return a;
    }
    return a + separator + b;
}

XString NorvRules::teacherLabel(const XString& last, const XString& first, const XString& second) {
    return join(last, join(first, second, " "), ", ");
}

XString NorvRules::schoolLabel(const XString& name, const XString& number) {
    return name + " (" + number + ")";
}

XString NorvRules::studentLastName(const XString& legalName, const XString& suffix) {
    if (suffix.isEmpty()) {
        return legalName;
    }
    return legalName + " " + suffix;
}

XString NorvRules::studentStreetAddress(const XString& number, const XString& street,
                                        const XString& apartment) {
    XString value;
    const XString apt = apartment.trimmed();
    if (!apt.isEmpty()) {
        value = "Apt: " + apt + " ";
    }
    value += number.trimmed() + " " + street.trimmed();
    return value;
}

XString NorvRules::mailingAddress(const XString& address) {
    XString value(address);
    value.replaceAll("\n", " ");
    return value;
}

XString NorvRules::lockerCombination(const XString& first, const XString& second, const XString& third) {
    return first + "-" + second + "-" + third;
}

XString NorvRules::medicalAlert(const XString& lifeThreatening, const XString& allergiesSingleLine) {
    if (lifeThreatening == "Y" || lifeThreatening == "y") {
        return "***LIFE THREATENING*** - " + allergiesSingleLine;
    }
    return allergiesSingleLine;
}

XString NorvRules::physicalExam(const XString& result, const XString& date) {
    if (!result.isEmpty() && !date.isEmpty()) {
        return result + " on " + date;
    }
    return result + date;
}

XString NorvRules::absentFlag(const XString& subAllocation) {
    return subAllocation.startsWith("Absent") ? "1" : "0";
}

XString NorvRules::tardyFlag(const XString& subAllocation) {
    return subAllocation.startsWith("Late") ? "1" : "0";
}

XString NorvRules::excusedFlag(const XString& subAllocation) {
    return subAllocation.endsWith("Excused") ? "Y" : "N";
}

XString NorvRules::bellKey(const XString& grade) {
    return grade.isEmpty() ? XString("DEFAULT") : grade;
}

XString NorvRules::termKey(const XDate& start, const XDate& stop) {
    const auto dateText = [](const XDate& date) {
        return date.IsNull() ? XString() : date.Format("mm/dd/yyyy");
    };
    return dateText(start) + " - " + dateText(stop);
}

XString NorvRules::termName(const XString& semester, const XString& term) {
    if (semester == "0") {
        return "All Year";
    }
    if (term == "0") {
        return "Semester " + semester;
    }
    if (!semester.isEmpty() && !term.isEmpty()) {
        return "Sem " + semester + " Term " + term;
    }
    return XString();
}

NorvRules::SectionDay NorvRules::sectionDay(const XString& day, const LookupSet& rotationDays) {
    if (day == "0") {
        return {XString(), SectionDay::Kept};
    }
    if (rotationDays.contains(day)) {
        return {day, SectionDay::Kept};
    }
    if (rotationDays.count() == 1) {
        return {rotationDays.at(0), SectionDay::Fixed};
    }
    return {day, SectionDay::Unfixable};
}

XString NorvRules::contactKey(const XString& firstName, const XString& surname) {
    return firstName + " " + surname;
}

XString NorvRules::workPhone(const XString& phone, const XString& extension) {
    return join(phone, extension, " x");
}

XString NorvRules::vehicleDescription(const XString& year, const XString& colour, const XString& make,
                                      const XString& model) {
    return year + " " + colour + " " + make + " " + model;
}
