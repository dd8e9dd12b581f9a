#include "dataaccess/ValueTranslation.h"

#include "dataaccess/FormatRules.h"

#include "libraries/ado/ComError.h"
#include "libraries/platform/CodePage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using ado::Decimal;
using ado::Variant;

namespace {

Variant decimal(uint64_t mantissa, int scale, bool negative, uint32_t hi = 0) {
    Decimal d;
    d.lo64 = mantissa;
    d.scale = static_cast<uint8_t>(scale);
    d.negative = negative;
    d.hi32 = hi;
    return Variant::fromDecimal(d);
}

std::string textOf(const Variant& value, int dbType = 7) {
    return ValueTranslation::text(value, dbType, {}).toStdString();
}

TEST(ValueTranslation, TextOfEveryKind) {
    ado::DateParts when;
    when.year = 2024;
    when.month = 3;
    when.day = 5;
    when.hour = 14;
    when.minute = 7;
    when.second = 9;
    struct Case {
        Variant value;
        const char* text;
    };
    const Case cases[] = {
        {Variant::fromI2(-12), "-12"},
        {Variant::fromI4(2147483647), "2147483647"},
        {Variant::fromInt(-5), "-5"},
        {Variant::fromUI1(200), "200"},
        {Variant::fromUI2(65535), "65535"},
        {Variant::fromUI4(4294967295u), "4294967295"},
        {Variant::fromI8(-9000000000LL), "-9000000000"},
        {Variant::fromUI8(18446744073709551615ULL), "18446744073709551615"},
        {Variant::fromR8(0.0), "0"},
        {Variant::fromR8(12.34), "12.34"},
        {Variant::fromR8(-0.5), "-0.5"},
        {Variant::fromR8(3.0), "3"},
        {Variant::fromR8(2.00004), "2"},
        {Variant::fromR4(2.5f), "2.5"},
        {decimal(12345, 2, false), "123.45"},
        {decimal(12345, 2, true), "-123.45"},
        {decimal(700, 0, false), "700"},
        {Variant::fromDate(Variant::automationDate(when)), "2024/03/05 14:07:09"},
        {Variant::fromDate(0.0), "1899/12/30 0:00:00"},
        {Variant::fromBool(true), "True"},
        {Variant::fromBool(false), "False"},
        {Variant::fromBstr("plain"), "plain"},
        {Variant::fromBstr(QString("cut") + QChar(0) + "off"), "cut"},
        {Variant::null(), ""},
        {Variant(), ""},
        {Variant::fromCurrency(12345), ""},
        {Variant::fromI1(-3), ""},
        {Variant::fromBytes("ab"), ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(textOf(c.value), c.text) << "VARTYPE " << c.value.type();
    }
}

TEST(ValueTranslation, TextIsConvertedToTheWorkingCodePage) {
    // é precomposed, e + combining acute (composed first), ü, the euro sign (0x80), and a character
    // outside Windows-1252.
    const QString text = QString::fromUtf8("Ren\u00e9 Rene\u0301 M\u00fcller \u20ac \u4e2d");
    EXPECT_EQ(textOf(Variant::fromBstr(text)), "Ren\xE9 Ren\xE9 M\xFCller \x80 ?");
}

TEST(ValueTranslation, NarrowingWithoutTheConverterGivesTheConvertersBytes) {
    // Every character up to the combining marks, alone, after a letter, and before a combining mark: the
    // direct narrowing of ASCII and Latin-1 text must agree with the converter byte for byte, and text it
    // cannot narrow directly (C1 controls, composition, characters beyond Latin-1) must reach the converter.
    // Plain ASCII keeps its bytes, U+001A too, which the converter would turn into "?" like its own
    // substitution character.
    for (char16_t c = 1; c < 0x370; ++c) {
        for (const std::u16string& text :
             {std::u16string(1, c), u"a" + std::u16string(1, c), std::u16string(1, c) + u"\u0301",
              u"\u00e9" + std::u16string(1, c)}) {
            const QString qtext(reinterpret_cast<const QChar*>(text.data()),
                                static_cast<qsizetype>(text.size()));
            const bool ascii = std::all_of(text.begin(), text.end(), [](char16_t u) { return u < 0x80; });
            const QByteArray expected = ascii ? qtext.toLatin1() : platform::toWorkingCodePage(qtext);
            ASSERT_EQ(ValueTranslation::narrow(text).toStdString(), expected.toStdString()) << int(c);
            ASSERT_EQ(ValueTranslation::narrow(qtext).toStdString(), expected.toStdString()) << int(c);
        }
    }
    // Text ends at its first NUL, on either path.
    EXPECT_EQ(ValueTranslation::narrow(std::u16string_view(u"ab\0cd", 5)), "ab");
    EXPECT_EQ(ValueTranslation::narrow(std::u16string_view(u"\u20ac\0cd", 4)), "\x80");
}

TEST(ValueTranslation, TextRulesInOnePassGiveWhatNarrowingTrimmingAndCleaningGive) {
    // Every text of up to four units from blanks of each kind, TAB, CR, LF, letters, Latin-1, U+001A, a C1
    // control, a combining mark, a character beyond Windows-1252 and NUL: the one pass over the source's
    // units must give the bytes of the reader's steps (narrow, trim, remove TABs; for a column also trim
    // again and make CR and LF blanks), on the direct path and through the converter alike.
    const std::u16string units = u" \t\r\n\v\fa\u00e9\u001a\u0085\u0301\u4e2d";
    std::vector<std::u16string> texts{u"", std::u16string(u"a\0b", 3)};
    std::vector<std::u16string> shorter{u""};
    for (int length = 1; length <= 4; ++length) {
        std::vector<std::u16string> longer;
        for (const std::u16string& text : shorter) {
            for (const char16_t unit : units) {
                longer.push_back(text + unit);
            }
        }
        texts.insert(texts.end(), longer.begin(), longer.end());
        shorter = std::move(longer);
    }
    for (const std::u16string& text : texts) {
        XString field = ValueTranslation::narrow(text);
        FormatRules::trimEnds(field);
        field.removeChars("\t");
        const XString column = FormatRules::columnText(field);
        std::string out = "x";
        ValueTranslation::appendText(text, FormatRules::TextRule::Field, out);
        ASSERT_EQ(out, "x" + field.toStdString()) << QString::fromStdU16String(text).toStdString();
        out.clear();
        ValueTranslation::appendText(text, FormatRules::TextRule::Column, out);
        ASSERT_EQ(out, column.toStdString()) << QString::fromStdU16String(text).toStdString();
    }
}

TEST(ValueTranslation, OracleNegativeWholeDecimalsReadAsIntegers) {
    int warnings = 0;
    const ValueTranslation::Warn warn = [&warnings] { ++warnings; };
    EXPECT_EQ(ValueTranslation::text(decimal(42, 0, true), 11, warn).toStdString(), "-42");
    EXPECT_EQ(ValueTranslation::toInt(decimal(42, 0, true), 11, warn), -42);
    EXPECT_EQ(warnings, 2);
    // Other types, other scales and positive values take the decimal branch without a warning.
    EXPECT_EQ(ValueTranslation::text(decimal(42, 0, true), 5, warn).toStdString(), "-42");
    EXPECT_EQ(ValueTranslation::text(decimal(425, 1, true), 11, warn).toStdString(), "-42.5");
    EXPECT_EQ(ValueTranslation::toInt(decimal(425, 1, true), 11, warn), -42);
    EXPECT_EQ(warnings, 2);
    // A value that does not fit 32 bits fails as the variant conversion does.
    EXPECT_THROW(ValueTranslation::text(decimal(5000000000ULL, 0, true), 11, warn), ado::ComError);
}

TEST(ValueTranslation, IntegersAndTruth) {
    struct Case {
        Variant value;
        int32_t asInt;
        bool asBool;
    };
    const Case cases[] = {
        {Variant::fromBool(true), 1, true},    {Variant::fromBool(false), 0, false},
        {Variant::fromBstr("12a"), 0, true},   {Variant::fromBstr("0"), 0, false},
        {Variant::fromBstr(" 1"), 0, true},    {Variant::fromBstr("123"), 123, true},
        {Variant::fromBstr(""), 0, false},     {Variant::fromR8(-7.9), -7, true},
        {Variant::fromR8(0.0), 0, false},      {Variant::fromI8(0x100000005LL), 5, true},
        {Variant::fromI1(-4), -4, true},       {Variant::fromUI2(65535), 65535, true},
        {decimal(12399, 2, false), 123, true}, {decimal(0, 0, false, 1), 0, true},
        {Variant::null(), 0, false},           {Variant::fromCurrency(10000), 0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ValueTranslation::toInt(c.value, 7, {}), c.asInt) << "VARTYPE " << c.value.type();
        EXPECT_EQ(ValueTranslation::toBool(c.value), c.asBool) << "VARTYPE " << c.value.type();
    }
    // Reals far outside 32 bits do not overflow into undefined behaviour.
    EXPECT_EQ(ValueTranslation::toInt(Variant::fromR8(1e30), 7, {}), 2147483647);
    EXPECT_EQ(ValueTranslation::toInt(Variant::fromR8(4294967301.0), 7, {}, true), 5);
}

TEST(ValueTranslation, FloatingValues) {
    EXPECT_DOUBLE_EQ(ValueTranslation::toDouble(decimal(12345, 2, true), false), -123.45);
    EXPECT_DOUBLE_EQ(ValueTranslation::toDouble(Variant::fromBstr("12.5"), false), 12.5);
    EXPECT_DOUBLE_EQ(ValueTranslation::toDouble(Variant::fromBstr("1.2.5"), false), 0.0);
    EXPECT_DOUBLE_EQ(ValueTranslation::toDouble(Variant::fromBstr("-3"), false), 0.0);
    EXPECT_DOUBLE_EQ(ValueTranslation::toDouble(Variant::fromUI8(18446744073709551615ULL), false),
                     18446744073709551615.0);
    EXPECT_DOUBLE_EQ(ValueTranslation::toDouble(Variant::fromCurrency(123456), true), 12.3456);
    EXPECT_DOUBLE_EQ(ValueTranslation::toDouble(Variant::fromCurrency(123456), false), 0.0);
    EXPECT_DOUBLE_EQ(ValueTranslation::toDouble(Variant::fromBool(true), false), 1.0);
    // The high part of a wide mantissa counts.
    EXPECT_DOUBLE_EQ(ValueTranslation::toDouble(decimal(0, 0, false, 1), false), 18446744073709551616.0);
}

TEST(ValueTranslation, TypeAndStatusNames) {
    EXPECT_STREQ(ValueTranslation::typeName(202), "VarWChar");
    EXPECT_STREQ(ValueTranslation::typeName(20), "Big Int");
    EXPECT_STREQ(ValueTranslation::typeName(0x2000), "Array");
    EXPECT_STREQ(ValueTranslation::typeName(999), "UNKNOWN!");
    EXPECT_STREQ(ValueTranslation::statusText(0), "adFieldOK - OK.");
    EXPECT_STREQ(ValueTranslation::statusText(14), "Undefined field status.");
}

}  // namespace
