// How a column value (a tagged VARIANT as the access layer delivers it) becomes text, an integer, a floating
// value or a truth value, and the display names of column types and field states.
//
// These run once per value read, millions of times in an extraction: they allocate only for the text they
// return, and text of ASCII and Latin-1 letters (which Windows-1252 holds at the same code points, and which
// composition leaves as they are) is narrowed without going through the code page converter.
#pragma once

#include "dataaccess/FormatRules.h"
#include "libraries/ado/Variant.h"
#include "libraries/support/XString.h"

#include <cstdint>
#include <functional>
#include <string_view>

class ValueTranslation {
  public:
    // Called when an Oracle decimal is read as an integer (a negative whole number that an Oracle NUMBER
    // column delivers as a decimal); the caller reports it.
    using Warn = std::function<void()>;

    // The text of a value: integers in decimal, reals and decimals with up to four decimals ("2.5", "3"),
    // dates as "YYYY/MM/DD HH:NN:SS", text converted to the working code page, truth values as "True" or
    // "False", anything else (null, empty, currency, arrays) empty.
    // Throws ado::ComError when an Oracle decimal does not fit an integer.
    static XString text(const ado::Variant& value, int dbType, const Warn& warn);

    // The 32-bit integer of a value: small integers, the low 32 bits of wide ones, reals and decimals
    // truncated, text of decimal digits only (else 0), true as 1; 0 for other kinds.
    // With wideRealsThrough64 the reals are truncated through a 64-bit integer first.
    static int32_t toInt(const ado::Variant& value, int dbType, const Warn& warn,
                         bool wideRealsThrough64 = false);

    // True for a non-zero number, a true truth value, text other than "" and "0".
    static bool toBool(const ado::Variant& value);

    // The number of a value: integers, reals, decimals, text of digits with at most one "." (else 0), true as
    // 1; currency (value / 10000) only with acceptCurrency; 0 for other kinds.
    static double toDouble(const ado::Variant& value, bool acceptCurrency);

    // Unicode text up to its first NUL, composed (NFC) and converted to the working code page; characters
    // without a mapping become "?".
    static XString narrow(const QString& text);
    static XString narrow(std::u16string_view text);
    // narrow(text) with rule applied (FormatRules::appendRuled), appended to out; plain text (ASCII and
    // Latin-1, the common case) goes there in one pass without an intermediate string.
    static void appendText(std::u16string_view text, FormatRules::TextRule rule, std::string& out);

    // A real in fixed notation with four decimals, trailing zeros and a trailing point removed.
    static XString realText(double value);

    // The value of a decimal as a double (mantissa over ten to the power of the scale).
    static double decimalValue(const ado::Decimal& decimal);

    // ADO's name of a field type code ("VarWChar"); "UNKNOWN!" for codes without one.
    static const char* typeName(int adoType);
    // ADO's description of a field status ("adFieldOK - OK."); "Undefined field status." for others.
    static const char* statusText(int status);
};
