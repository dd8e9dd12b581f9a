#include "libraries/platform/Clock.h"

namespace platform {

namespace {
QDateTime& fixedTime() {
    static QDateTime fixed;
    return fixed;
}
}  // namespace

QDateTime Clock::now() {
    const QDateTime& fixed = fixedTime();
    return fixed.isValid() ? fixed : QDateTime::currentDateTime();
}

void Clock::setFixed(const QDateTime& when) { fixedTime() = when; }

void Clock::clearFixed() { fixedTime() = QDateTime(); }

}  // namespace platform
