// Month and day names of the system locale (English under the C locale), used by the date tokens.
#pragma once

#include <QString>

namespace platform {

// month 1..12; an out-of-range month gives the empty text.
QString longMonthName(int month);
QString shortMonthName(int month);

// day 1 (Monday) .. 7 (Sunday); an out-of-range day gives the empty text.
QString longDayName(int day);
QString shortDayName(int day);

}  // namespace platform
