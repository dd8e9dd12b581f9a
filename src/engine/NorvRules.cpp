#include "engine/NorvRules.h"

XString NorvRules::schoolYearOf(const XDate& today) {
    const int year = today.Month() < 7 ? today.Year() - 1 : today.Year();
    return XString(year);
}

XDate NorvRules::defaultSchoolStart(const XDate& today) {
    const int year = today.Month() < 8 ? today.Year() - 1 : today.Year();
    return XDate(year, 8, 1);
}

XDate NorvRules::defaultSchoolEnd(const XDate& today) {
    return XDate(defaultSchoolStart(today).Year() + 1, 7, 31);
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
