#include "app/AppInfo.h"

namespace appinfo {

namespace {
constexpr int kFirstYear = 2008;
}

QString buildDate() {
    return QStringLiteral(__DATE__ " " __TIME__);
}

QString copyrightYears() {
    // __DATE__ ends in the four-digit year.
    return QString::number(kFirstYear) + '-' + QStringLiteral(__DATE__).right(4);
}

}  // namespace appinfo
