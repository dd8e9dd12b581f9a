// Fuzz target: the date and time token formatter and parser (XDate, XTime, XDateTime). Input: a pattern,
// a NUL, a text, a NUL and up to eight bytes of a number (an automation date, as drivers deliver dates).
//
// Checks: parsing any text with any pattern, and formatting what it gave (or a date of any day number the
// automation dates reach) with any pattern, never fails; a date of the four-digit years and a time of day
// read back what their ISO form wrote.
#include "FuzzInput.h"

#include "libraries/support/XDate.h"
#include "libraries/support/XDateTime.h"
#include "libraries/support/XString.h"
#include "libraries/support/XTime.h"

#include <cmath>
#include <cstring>

namespace {

XString bytesOf(const QByteArray& part) {
    return XString(part.constData(), static_cast<int>(part.size()));
}

// The automation date of up to eight bytes, kept to what a driver's dates reach (years -25 000 to
// 29 000, fractions of a day included).
double oleDateOf(const QByteArray& part) {
    double value = 0.0;
    std::memcpy(&value, part.constData(), std::min<size_t>(sizeof value, static_cast<size_t>(part.size())));
    if (!std::isfinite(value)) {
        return 0.0;
    }
    return std::fmod(value, 1.0e7);
}

void checkDate(const XDate& date, const XString& pattern) {
    (void)date.Format(pattern);
    if (date.IsNull() || date.Year() < 1600 || date.Year() > 9999) {
        return;
    }
    XDate back;
    FUZZ_CHECK(back.ParseIso(date.IsoText()));
    FUZZ_CHECK(back == date);
}

void checkTime(const XTime& time, const XString& pattern) {
    (void)time.Format(pattern);
    if (time.IsNull() || time.Milliseconds() < 0 || time.Milliseconds() >= XTime::MsPerDay) {
        return;
    }
    const XString iso("HH:NN:SS.LLL");
    XTime back;
    FUZZ_CHECK(back.Parse(iso, time.Format(iso)));
    FUZZ_CHECK(back.Milliseconds() == time.Milliseconds());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QList<QByteArray> parts = fuzz::parts(data, size);
    const XString pattern = bytesOf(parts.value(0));
    const XString text = bytesOf(parts.value(1));

    XDate date;
    date.Parse(pattern, text);
    checkDate(date, pattern);
    XTime time;
    time.Parse(pattern, text);
    checkTime(time, pattern);
    XDateTime dateTime;
    dateTime.Parse(pattern, text);
    (void)dateTime.Format(pattern);
    XDateTime iso;
    iso.ParseIso(text);
    (void)iso.Format(pattern);

    const double ole = oleDateOf(parts.value(2));
    XDateTime fromOle;
    fromOle.FromOleDate(ole);
    checkDate(fromOle.Date(), pattern);
    checkTime(fromOle.Time(), pattern);
    (void)fromOle.Format(pattern);
    return 0;
}
