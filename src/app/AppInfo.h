// Build-time facts about this program that the application information reports.
#pragma once

#include <QString>

namespace appinfo {

// The compiler's build date and time: "Oct  3 2013 11:13:11" (month, day padded with a space, year, time).
QString buildDate();

// The first and the last year of the product, joined by "-"; the last is the build year.
QString copyrightYears();

// The installation label in a run's log file name. No deployment sets one, so it is empty and the name
// reads "Norv--<school>".
inline QString siteLabel() {
    return QString();
}

}  // namespace appinfo
