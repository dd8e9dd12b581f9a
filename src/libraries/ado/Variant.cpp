#include "libraries/ado/Variant.h"

#include <QDate>
#include <cmath>
#include <limits>

#include "libraries/ado/ComError.h"

namespace ado {

namespace {

using U128 = unsigned __int128;

constexpr U128 kDecimalLimit = static_cast<U128>(1) << 96;
constexpr std::int64_t kMsPerDay = 86400000;
// QDate's Julian day of 30 December 1899, day 0 of automation dates.
constexpr std::int64_t kAutomationEpochJulianDay = 2415019;

[[noreturn]] void throwConversion(HResult hr, const char* text) {
    throw ComError(hr, QStringLiteral("Variant"), QString::fromLatin1(text));
}

// Rounds half to even, then checks the 32-bit range.
std::int32_t roundToInt(long double value) {
    if (std::isnan(value)) {
        throwConversion(ComError::TypeMismatch, "Type mismatch.");
    }
    const long double rounded = std::nearbyint(value);  // default rounding mode: half to even
    if (rounded < std::numeric_limits<std::int32_t>::min() ||
        rounded > std::numeric_limits<std::int32_t>::max()) {
        throwConversion(ComError::Overflow, "Out of present range.");
    }
    return static_cast<std::int32_t>(rounded);
}

}  // namespace

bool Decimal::fromText(const QString& input, Decimal& out) {
    const QString text = input.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    QString digits;
    int fractionDigits = 0;
    bool seenPoint = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() >= u'0' && c.unicode() <= u'9') {
            digits.append(c);
            if (seenPoint) {
                ++fractionDigits;
            }
        } else if (c == u'.' && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
    }
    if (digits.isEmpty()) {
        return false;
    }
    long long exponent = 0;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        bool ok = false;
        exponent = text.mid(i + 1).toLongLong(&ok);
        if (!ok || exponent > 1000 || exponent < -1000) {
            return false;
        }
        i = text.size();
    }
    if (i != text.size()) {
        return false;
    }
    // Leading zeros carry nothing.
    qsizetype first = 0;
    while (first < digits.size() - 1 && digits[first] == u'0') {
        ++first;
    }
    digits = digits.mid(first);
    long long scale = fractionDigits - exponent;

    // Too many digits for 128-bit arithmetic: drop fraction digits, rounding on the first dropped.
    bool roundUp = false;
    if (digits.size() > 38 && scale > 0) {
        const qsizetype drop = std::min<qsizetype>(digits.size() - 38, static_cast<qsizetype>(scale));
        roundUp = digits[digits.size() - drop] >= u'5';
        digits.chop(drop);
        scale -= drop;
    }
    if (digits.size() > 38) {
        return false;
    }
    U128 mantissa = 0;
    for (QChar c : digits) {
        mantissa = mantissa * 10 + static_cast<unsigned>(c.unicode() - u'0');
    }
    if (roundUp) {
        ++mantissa;
    }
    while (scale > 0 && (scale > 28 || mantissa >= kDecimalLimit)) {
        const unsigned remainder = static_cast<unsigned>(mantissa % 10);
        mantissa /= 10;
        if (remainder >= 5) {
            ++mantissa;
        }
        --scale;
    }
    while (scale < 0) {
        if (mantissa == 0) {
            scale = 0;
            break;
        }
        if (mantissa * 10 >= kDecimalLimit) {
            return false;
        }
        mantissa *= 10;
        ++scale;
    }
    if (mantissa >= kDecimalLimit) {
        return false;
    }
    out.scale = static_cast<std::uint8_t>(scale);
    out.negative = negative && mantissa != 0;
    out.hi32 = static_cast<std::uint32_t>(mantissa >> 64);
    out.lo64 = static_cast<std::uint64_t>(mantissa);
    return true;
}

Variant Variant::null() {
    Variant v;
    v.vt_ = VT_NULL;
    return v;
}

#define ADO_INT_FACTORY(name, ctype, tag)        \
    Variant Variant::name(ctype v) {             \
        Variant out;                             \
        out.vt_ = tag;                           \
        out.int_ = static_cast<std::int64_t>(v); \
        return out;                              \
    }
ADO_INT_FACTORY(fromI1, std::int8_t, VT_I1)
ADO_INT_FACTORY(fromUI1, std::uint8_t, VT_UI1)
ADO_INT_FACTORY(fromI2, std::int16_t, VT_I2)
ADO_INT_FACTORY(fromUI2, std::uint16_t, VT_UI2)
ADO_INT_FACTORY(fromI4, std::int32_t, VT_I4)
ADO_INT_FACTORY(fromUI4, std::uint32_t, VT_UI4)
ADO_INT_FACTORY(fromInt, std::int32_t, VT_INT)
ADO_INT_FACTORY(fromI8, std::int64_t, VT_I8)
ADO_INT_FACTORY(fromUI8, std::uint64_t, VT_UI8)
ADO_INT_FACTORY(fromCurrency, std::int64_t, VT_CY)
#undef ADO_INT_FACTORY

Variant Variant::fromR4(float v) {
    Variant out;
    out.vt_ = VT_R4;
    out.real_ = static_cast<double>(v);
    return out;
}

Variant Variant::fromR8(double v) {
    Variant out;
    out.vt_ = VT_R8;
    out.real_ = v;
    return out;
}

Variant Variant::fromDate(double automationDate) {
    Variant out;
    out.vt_ = VT_DATE;
    out.real_ = automationDate;
    return out;
}

Variant Variant::fromBool(bool v) {
    Variant out;
    out.vt_ = VT_BOOL;
    out.int_ = v ? -1 : 0;  // VARIANT_TRUE
    return out;
}

Variant Variant::fromBstr(const QString& v) {
    Variant out;
    out.vt_ = VT_BSTR;
    out.text_ = v;
    return out;
}

Variant Variant::fromDecimal(const Decimal& v) {
    Variant out;
    out.vt_ = VT_DECIMAL;
    out.decimal_ = v;
    return out;
}

Variant Variant::fromBytes(const QByteArray& v) {
    Variant out;
    out.vt_ = VT_ARRAY | VT_UI1;
    out.bytes_ = v;
    return out;
}

Variant Variant::toInt() const {
    switch (vt_) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_INT:
        case VT_BOOL:
            return fromInt(static_cast<std::int32_t>(int_));
        case VT_UI4:
        case VT_I8:
            if (int_ < std::numeric_limits<std::int32_t>::min() ||
                int_ > std::numeric_limits<std::int32_t>::max()) {
                throwConversion(ComError::Overflow, "Out of present range.");
            }
            return fromInt(static_cast<std::int32_t>(int_));
        case VT_UI8:
            if (u64() > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
                throwConversion(ComError::Overflow, "Out of present range.");
            }
            return fromInt(static_cast<std::int32_t>(int_));
        case VT_CY:
            return fromInt(roundToInt(static_cast<long double>(int_) / 10000.0L));
        case VT_R4:
        case VT_R8:
            return fromInt(roundToInt(real_));
        case VT_DECIMAL: {
            if (decimal_.hi32 != 0) {
                throwConversion(ComError::Overflow, "Out of present range.");
            }
            long double value = static_cast<long double>(decimal_.lo64);
            for (int i = 0; i < decimal_.scale; ++i) {
                value /= 10.0L;
            }
            return fromInt(roundToInt(decimal_.negative ? -value : value));
        }
        case VT_BSTR: {
            bool ok = false;
            const double value = text_.trimmed().toDouble(&ok);
            if (!ok) {
                throwConversion(ComError::TypeMismatch, "Type mismatch.");
            }
            return fromInt(roundToInt(value));
        }
        default:
            throwConversion(ComError::TypeMismatch, "Type mismatch.");
    }
}

double Variant::automationDate(const DateParts& parts) {
    const QDate date(parts.year, parts.month, parts.day);
    const double days = static_cast<double>(date.toJulianDay() - kAutomationEpochJulianDay);
    const double fraction =
        static_cast<double>(((parts.hour * 60LL + parts.minute) * 60LL + parts.second) * 1000LL +
                            parts.millisecond) /
        static_cast<double>(kMsPerDay);
    // Before day 0 the fraction still counts forward from midnight of the (negative) day.
    return days >= 0 ? days + fraction : days - fraction;
}

DateParts Variant::dateParts(double automationDate) {
    double whole = std::trunc(automationDate);
    std::int64_t ms = std::llround(std::fabs(automationDate - whole) * static_cast<double>(kMsPerDay));
    std::int64_t day = static_cast<std::int64_t>(whole);
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        ++day;
    }
    const QDate date = QDate::fromJulianDay(day + kAutomationEpochJulianDay);
    DateParts parts;
    parts.year = date.year();
    parts.month = date.month();
    parts.day = date.day();
    parts.hour = static_cast<int>(ms / 3600000);
    parts.minute = static_cast<int>(ms / 60000 % 60);
    parts.second = static_cast<int>(ms / 1000 % 60);
    parts.millisecond = static_cast<int>(ms % 1000);
    return parts;
}

bool Variant::operator==(const Variant& other) const {
    if (vt_ != other.vt_) {
        return false;
    }
    switch (vt_) {
        case VT_EMPTY:
        case VT_NULL:
            return true;
        case VT_R4:
        case VT_R8:
        case VT_DATE:
            return real_ == other.real_;
        case VT_BSTR:
            return text_ == other.text_;
        case VT_DECIMAL:
            return decimal_ == other.decimal_;
        case VT_ARRAY | VT_UI1:
            return bytes_ == other.bytes_;
        default:
            return int_ == other.int_;
    }
}

}  // namespace ado
