// A tagged value as ADO delivers it in a VARIANT: the VARTYPE tag and its payload.
//
// Kinds the layer produces (from the column's SQL type, see SqlTypeMap): VT_EMPTY, VT_NULL, VT_I2,
// VT_I4, VT_I8, VT_UI1, VT_R4, VT_R8, VT_DATE, VT_BSTR, VT_BOOL, VT_DECIMAL and byte arrays
// (VT_ARRAY | VT_UI1). The other tags exist so that callers can build and test every translation.
// VT_DATE is an automation date: days since 30 December 1899 as a double, the fraction being the
// time of day (for days before that date the fraction still counts forward from midnight).
// Copying is cheap: text and bytes are implicitly shared Qt containers.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace ado {

enum VarType : std::uint16_t {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_BOOL = 11,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_ARRAY = 0x2000,
};

// The payload of VT_DECIMAL: value = (hi32 * 2^64 + lo64) / 10^scale, negated when negative.
struct Decimal {
    std::uint8_t scale = 0;  // 0..28
    bool negative = false;
    std::uint32_t hi32 = 0;
    std::uint64_t lo64 = 0;

    // Parses decimal text as drivers give it ("-123.45", "1e-3", "+7", ".5"). Returns false when the
    // text is not a number or its value does not fit 96 bits at any scale down to 0; digits beyond
    // scale 28 are rounded away.
    static bool fromText(const QString& text, Decimal& out);
    bool operator==(const Decimal&) const = default;
};

// The parts of an automation date, milliseconds rounded.
struct DateParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

class Variant {
  public:
    Variant() = default;  // VT_EMPTY

    static Variant null();
    static Variant fromI1(std::int8_t v);
    static Variant fromUI1(std::uint8_t v);
    static Variant fromI2(std::int16_t v);
    static Variant fromUI2(std::uint16_t v);
    static Variant fromI4(std::int32_t v);
    static Variant fromUI4(std::uint32_t v);
    static Variant fromInt(std::int32_t v);  // VT_INT
    static Variant fromI8(std::int64_t v);
    static Variant fromUI8(std::uint64_t v);
    static Variant fromR4(float v);
    static Variant fromR8(double v);
    static Variant fromCurrency(std::int64_t tenThousandths);  // VT_CY
    static Variant fromDate(double automationDate);
    static Variant fromBool(bool v);
    static Variant fromBstr(const QString& v);
    static Variant fromDecimal(const Decimal& v);
    static Variant fromBytes(const QByteArray& v);  // VT_ARRAY | VT_UI1

    std::uint16_t type() const { return vt_; }
    bool isNull() const { return vt_ == VT_NULL; }

    // Payload accessors. REQUIRES: type() is the kind named (unchecked, like reading a VARIANT's
    // union member): i64() serves every integer kind and VT_CY (sign- or zero-extended as stored),
    // r8() VT_R4, VT_R8 and VT_DATE, boolValue() VT_BOOL, text() VT_BSTR, decimal() VT_DECIMAL,
    // bytes() byte arrays.
    std::int64_t i64() const { return int_; }
    std::uint64_t u64() const { return static_cast<std::uint64_t>(int_); }
    double r8() const { return real_; }
    bool boolValue() const { return int_ != 0; }
    const QString& text() const { return text_; }
    const Decimal& decimal() const { return decimal_; }
    const QByteArray& bytes() const { return bytes_; }

    // VariantChangeType to VT_INT: integers as they are, reals, decimals and numeric text rounded
    // half to even (as the system's conversion does), VT_BOOL as 0 / -1. Throws ComError Overflow
    // when the value does not fit 32 bits and TypeMismatch for any other kind or non-numeric text.
    Variant toInt() const;

    // Automation date conversions (proleptic Gregorian calendar).
    static double automationDate(const DateParts& parts);
    static DateParts dateParts(double automationDate);

    bool operator==(const Variant& other) const;

  private:
    std::uint16_t vt_ = VT_EMPTY;
    std::int64_t int_ = 0;
    double real_ = 0.0;
    Decimal decimal_;
    QString text_;
    QByteArray bytes_;
};

}  // namespace ado
