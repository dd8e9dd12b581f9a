#include "libraries/platform/LocaleNames.h"

#include <QLocale>

namespace platform {

namespace {
QLocale locale() {
    QLocale system = QLocale::system();
    // The C locale has no names of its own in some Qt builds; English is what it means.
    return system.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : system;
}
}  // namespace

QString longMonthName(int month) {
    return month >= 1 && month <= 12 ? locale().monthName(month, QLocale::LongFormat) : QString();
}

QString shortMonthName(int month) {
    return month >= 1 && month <= 12 ? locale().monthName(month, QLocale::ShortFormat) : QString();
}

QString longDayName(int day) {
    return day >= 1 && day <= 7 ? locale().dayName(day, QLocale::LongFormat) : QString();
}

QString shortDayName(int day) {
    return day >= 1 && day <= 7 ? locale().dayName(day, QLocale::ShortFormat) : QString();
}

}  // namespace platform
