#include "libraries/ado/Variant.h"

#include <gtest/gtest.h>

#include "libraries/ado/ComError.h"

using namespace ado;

TEST(VariantTest, DecimalTextBecomesScaleSignAndMantissa) {
    struct Case {
        const char* text;
        bool ok;
        Decimal expected;
    };
    const Case cases[] = {
        {"123.45", true, {2, false, 0, 12345}},
        {"-123.45", true, {2, true, 0, 12345}},
        {"-0.50", true, {2, true, 0, 50}},
        {"+7", true, {0, false, 0, 7}},
        {".5", true, {1, false, 0, 5}},
        {"5.", true, {0, false, 0, 5}},
        {"-0", true, {0, false, 0, 0}},  // no negative zero
        {"1e3", true, {0, false, 0, 1000}},
        {"1.5E-2", true, {3, false, 0, 15}},
        {"1.5e+20", true, {0, false, 8, 0x21AB0D4414980000ULL}},  // 8 * 2^64 + low part
        {" 42 ", true, {0, false, 0, 42}},
        // 2^96 - 1 is the largest mantissa; one more does not fit.
        {"79228162514264337593543950335", true, {0, false, 0xFFFFFFFFu, 0xFFFFFFFFFFFFFFFFULL}},
        {"79228162514264337593543950336", false, {}},
        // Beyond scale 28, digits are rounded away.
        {"0.12345678901234567890123456789", true, {28, false, 0x3FD35EBu, 0x6D797A91BE38F34FULL}},
        {"", false, {}},
        {"-", false, {}},
        {"12a", false, {}},
        {"1.2.3", false, {}},
        {"NaN", false, {}},
    };
    for (const Case& c : cases) {
        Decimal d;
        EXPECT_EQ(Decimal::fromText(QString::fromLatin1(c.text), d), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(d, c.expected) << c.text << ": scale " << int(d.scale) << " hi " << d.hi32 << " lo "
                                     << d.lo64;
        }
    }
}

TEST(VariantTest, AutomationDatesRoundTrip) {
    struct Case {
        DateParts parts;
        double value;
    };
    const Case cases[] = {
        {{1899, 12, 30, 0, 0, 0, 0}, 0.0},
        {{1899, 12, 31, 6, 0, 0, 0}, 1.25},
        {{1899, 12, 29, 6, 0, 0, 0}, -1.25},  // before day 0 the time still counts forward
        {{2024, 3, 5, 14, 7, 9, 0}, 45356.0 + (14 * 3600 + 7 * 60 + 9) / 86400.0},
        {{1600, 1, 1, 0, 0, 0, 0}, -109571.0},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(Variant::automationDate(c.parts), c.value);
        const DateParts back = Variant::dateParts(c.value);
        EXPECT_EQ(
            std::tie(back.year, back.month, back.day, back.hour, back.minute, back.second),
            std::tie(c.parts.year, c.parts.month, c.parts.day, c.parts.hour, c.parts.minute, c.parts.second))
            << c.value;
    }
    // Milliseconds that round up to midnight carry into the next day.
    const DateParts carried = Variant::dateParts(1.0 - 1e-10);
    EXPECT_EQ(std::tie(carried.day, carried.hour, carried.millisecond), std::make_tuple(31, 0, 0));
}

TEST(VariantTest, ToIntConvertsAsTheSystemDoes) {
    EXPECT_EQ(Variant::fromDecimal({0, true, 0, 42}).toInt(), Variant::fromInt(-42));
    EXPECT_EQ(Variant::fromDecimal({1, false, 0, 25}).toInt(), Variant::fromInt(2));  // 2.5 half to even
    EXPECT_EQ(Variant::fromR8(3.5).toInt(), Variant::fromInt(4));
    EXPECT_EQ(Variant::fromBool(true).toInt(), Variant::fromInt(-1));
    EXPECT_EQ(Variant::fromBstr(QStringLiteral(" 17 ")).toInt(), Variant::fromInt(17));
    EXPECT_EQ(Variant::fromI8(-2147483648LL).toInt(), Variant::fromInt(-2147483647 - 1));
    for (const Variant& tooBig :
         {Variant::fromI8(2147483648LL), Variant::fromDecimal({0, true, 0, 3000000000ULL}),
          Variant::fromDecimal({0, false, 1, 0}), Variant::fromR8(1e10),
          Variant::fromUI8(0xFFFFFFFFFFFFFFFFULL)}) {
        try {
            tooBig.toInt();
            ADD_FAILURE() << "no overflow for type " << tooBig.type();
        } catch (const ComError& e) {
            EXPECT_EQ(e.hresult(), ComError::Overflow);
        }
    }
    for (const Variant& wrong : {Variant::null(), Variant(), Variant::fromBstr(QStringLiteral("12a"))}) {
        try {
            wrong.toInt();
            ADD_FAILURE() << "no type mismatch for type " << wrong.type();
        } catch (const ComError& e) {
            EXPECT_EQ(e.hresult(), ComError::TypeMismatch);
        }
    }
}
