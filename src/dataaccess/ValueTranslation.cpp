#include "dataaccess/ValueTranslation.h"

#include "dataaccess/DbType.h"
#include "libraries/platform/CodePage.h"
#include "libraries/support/XDateTime.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

using ado::Variant;

namespace {

// An Oracle NUMBER column arrives as a decimal even when it holds whole numbers; a negative whole one is
// read as an integer, as the source's own tools do.
bool isOracleWholeNegative(const Variant& value, int dbType) {
    return dbType == DbType::OracleODBC && value.decimal().scale == 0 && value.decimal().negative;
}

bool allDigits(const XString& text) {
    for (int i = 0; i < text.length(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

bool digitsWithOnePoint(const XString& text) {
    int points = 0;
    for (int i = 0; i < text.length(); ++i) {
        if (text[i] == '.') {
            ++points;
        } else if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return points <= 1;
}

// Truncates toward zero and keeps the low 32 bits; values beyond the 64-bit range saturate first instead of
// being undefined.
int32_t truncatedLow32(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    constexpr double limit = 9.2233720368547758e18;
    const double clamped = value >= limit ? limit - 1024.0 : (value <= -limit ? -limit : value);
    return static_cast<int32_t>(static_cast<int64_t>(clamped));
}

int32_t truncatedInt(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 2147483647.0) {
        return std::numeric_limits<int32_t>::max();
    }
    if (value <= -2147483648.0) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(value);
}

// The decimal truncated toward zero, exactly, and its low 32 bits.
int32_t decimalLow32(const ado::Decimal& decimal) {
    unsigned __int128 whole = (static_cast<unsigned __int128>(decimal.hi32) << 64) | decimal.lo64;
    for (int i = 0; i < decimal.scale; ++i) {
        whole /= 10u;
    }
    const auto low = static_cast<uint32_t>(whole);
    return static_cast<int32_t>(decimal.negative ? 0u - low : low);
}

// What XDateTime formats with "YYYY/MM/DD HH:NN:SS" (the hour without a leading zero, as the token rule
// gives it before a ":"; the empty text for a date before 1600), written directly: date columns are read
// as text once per row, and the general token formatter costs more than the rest of the read.
XString dateText(double automationDate) {
    const ado::DateParts parts = Variant::dateParts(automationDate);
    if (parts.year < 1600 || parts.year > 9999) {
        const XDateTime value(XDate(parts.year, parts.month, parts.day),
                              XTime(parts.hour, parts.minute, parts.second, parts.millisecond));
        return value.Format("YYYY/MM/DD HH:NN:SS");
    }
    std::string text;
    FormatRules::appendDigits(parts.year, 4, text);
    text += '/';
    FormatRules::appendDigits(parts.month, 2, text);
    text += '/';
    FormatRules::appendDigits(parts.day, 2, text);
    text += ' ';
    FormatRules::appendDigits(parts.hour, 1, text);
    text += ':';
    FormatRules::appendDigits(parts.minute, 2, text);
    text += ':';
    FormatRules::appendDigits(parts.second, 2, text);
    return XString(std::move(text));
}

// text up to its first NUL.
std::u16string_view untilNul(std::u16string_view text) {
    return text.substr(0, std::min(text.find(u'\0'), text.size()));
}

// Whether text (without NUL) narrows to the bytes of its code units. ASCII and U+00A0..U+00FF are the same
// bytes in Windows-1252, and composition cannot change text made of them only (it combines a letter with a
// following combining mark, all of which lie above U+02FF). U+0080..U+009F are not the Windows-1252 bytes of
// the same value, so they go to the converter. Plain ASCII keeps a U+001A, which the converter makes "?", so
// other text holding one goes there as well.
bool narrowsDirectly(std::u16string_view text) {
    bool ascii = true;
    bool substitute = false;
    for (const char16_t c : text) {
        if (c >= 0x80) {
            ascii = false;
            if (c < 0xA0 || c > 0xFF) {
                return false;
            }
        }
        substitute = substitute || c == 0x1A;
    }
    return ascii || !substitute;
}

}  // namespace

XString ValueTranslation::narrow(const QString& text) {
    return narrow(std::u16string_view(reinterpret_cast<const char16_t*>(text.constData()),
                                      static_cast<std::size_t>(text.size())));
}

XString ValueTranslation::narrow(std::u16string_view text) {
    text = untilNul(text);
    const std::size_t end = text.size();
    if (narrowsDirectly(text)) {
        // The common case: narrowed in place, one allocation for the result (none for short text).
        constexpr std::size_t stackSize = 256;
        char stackBuffer[stackSize];
        std::string heapBuffer;
        char* bytes = stackBuffer;
        if (end > stackSize) {
            heapBuffer.resize(end);
            bytes = heapBuffer.data();
        }
        for (std::size_t i = 0; i < end; ++i) {
            bytes[i] = static_cast<char>(text[i]);
        }
        return XString(bytes, static_cast<int>(end));
    }
    const QByteArray bytes = platform::toWorkingCodePage(
        QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(end)));
    return XString(bytes.constData(), static_cast<int>(bytes.size()));
}

void ValueTranslation::appendText(std::u16string_view text, FormatRules::TextRule rule, std::string& out) {
    text = untilNul(text);
    if (narrowsDirectly(text)) {
        FormatRules::appendRuled(text.data(), text.size(), rule, out);
        return;
    }
    FormatRules::appendRuled(narrow(text), rule, out);
}

XString ValueTranslation::realText(double value) {
    XString text(value, 4);
    if (text.find('.') >= 0) {
        text.removeTrailing("0");
        text.removeTrailing(".");
    }
    return text;
}

double ValueTranslation::decimalValue(const ado::Decimal& decimal) {
    double value = static_cast<double>(decimal.lo64);
    if (decimal.hi32 != 0) {
        value += static_cast<double>(decimal.hi32) * 18446744073709551616.0;
    }
    value /= std::pow(10.0, decimal.scale);
    return decimal.negative ? -value : value;
}

XString ValueTranslation::text(const Variant& value, int dbType, const Warn& warn) {
    switch (value.type()) {
        case ado::VT_BSTR:
            return narrow(value.text());
        case ado::VT_I2:
        case ado::VT_I4:
        case ado::VT_INT:
        case ado::VT_UI1:
        case ado::VT_UI2:
        case ado::VT_UI4:
        case ado::VT_I8:
            return XString(static_cast<long long>(value.i64()));
        case ado::VT_UI8:
            return XString::formatted("%llu", static_cast<unsigned long long>(value.u64()));
        case ado::VT_R4:
        case ado::VT_R8:
            return realText(value.r8());
        case ado::VT_DECIMAL:
            if (isOracleWholeNegative(value, dbType)) {
                const Variant whole = value.toInt();
                if (warn) {
                    warn();
                }
                return XString(static_cast<long long>(whole.i64()));
            }
            return realText(decimalValue(value.decimal()));
        case ado::VT_DATE:
            return dateText(value.r8());
        case ado::VT_BOOL:
            return value.boolValue() ? "True" : "False";
        default:
            return XString();
    }
}

int32_t ValueTranslation::toInt(const Variant& value, int dbType, const Warn& warn, bool wideRealsThrough64) {
    switch (value.type()) {
        case ado::VT_I2:
        case ado::VT_I1:
        case ado::VT_UI1:
        case ado::VT_UI2:
        case ado::VT_I4:
        case ado::VT_UI4:
        case ado::VT_INT:
        case ado::VT_I8:
        case ado::VT_UI8:
            return static_cast<int32_t>(static_cast<uint32_t>(value.u64() & 0xFFFFFFFFu));
        case ado::VT_R4:
        case ado::VT_R8:
            return wideRealsThrough64 ? truncatedLow32(value.r8()) : truncatedInt(value.r8());
        case ado::VT_BSTR: {
            const XString text = narrow(value.text());
            if (!allDigits(text)) {
                return 0;
            }
            uint32_t number = 0;
            for (int i = 0; i < text.length(); ++i) {
                number = number * 10u + static_cast<uint32_t>(text[i] - '0');
            }
            return static_cast<int32_t>(number);
        }
        case ado::VT_BOOL:
            return value.boolValue() ? 1 : 0;
        case ado::VT_DECIMAL:
            if (isOracleWholeNegative(value, dbType)) {
                const Variant whole = value.toInt();
                if (warn) {
                    warn();
                }
                return static_cast<int32_t>(whole.i64());
            }
            return decimalLow32(value.decimal());
        default:
            return 0;
    }
}

bool ValueTranslation::toBool(const Variant& value) {
    switch (value.type()) {
        case ado::VT_I2:
        case ado::VT_BOOL:
        case ado::VT_I1:
        case ado::VT_UI1:
        case ado::VT_UI2:
        case ado::VT_I4:
        case ado::VT_UI4:
        case ado::VT_INT:
        case ado::VT_I8:
        case ado::VT_UI8:
            return value.i64() != 0;
        case ado::VT_DECIMAL:
            return value.decimal().lo64 != 0 || value.decimal().hi32 != 0;
        case ado::VT_R4:
        case ado::VT_R8:
            return value.r8() != 0.0;
        case ado::VT_BSTR: {
            const QString& text = value.text();
            return !text.isEmpty() && text != QLatin1String("0");
        }
        default:
            return false;
    }
}

double ValueTranslation::toDouble(const Variant& value, bool acceptCurrency) {
    switch (value.type()) {
        case ado::VT_I2:
        case ado::VT_I1:
        case ado::VT_UI1:
        case ado::VT_UI2:
        case ado::VT_I4:
        case ado::VT_INT:
        case ado::VT_UI4:
        case ado::VT_I8:
            return static_cast<double>(value.i64());
        case ado::VT_UI8:
            return static_cast<double>(value.u64());
        case ado::VT_R4:
        case ado::VT_R8:
            return value.r8();
        case ado::VT_BSTR: {
            const XString text = narrow(value.text());
            return digitsWithOnePoint(text) ? std::atof(text.c_str()) : 0.0;
        }
        case ado::VT_BOOL:
            return value.boolValue() ? 1.0 : 0.0;
        case ado::VT_DECIMAL:
            return decimalValue(value.decimal());
        case ado::VT_CY:
            return acceptCurrency ? static_cast<double>(value.i64()) / 10000.0 : 0.0;
        default:
            return 0.0;
    }
}

// clang-format off
const char* ValueTranslation::typeName(int adoType) {
    switch (adoType) {
        case 0: return "Empty";
        case 2: return "SmallInt";
        case 3: return "Integer";
        case 4: return "Single";
        case 5: return "Double";
        case 6: return "Currency";
        case 7: return "Date";
        case 8: return "BSTR";
        case 9: return "Dispatch";
        case 10: return "Error";
        case 11: return "Boolean";
        case 12: return "Variant";
        case 13: return "Unknown";
        case 14: return "Decimal";
        case 16: return "TinyInt";
        case 17: return "UnsignedTinyInt";
        case 18: return "UnsignedSmallInt";
        case 19: return "UnsignedInt";
        case 20: return "Big Int";
        case 21: return "UnsignedBigInt";
        case 64: return "File Time";
        case 72: return "GUID";
        case 128: return "Binary";
        case 129: return "Char";
        case 130: return "WChar";
        case 131: return "Numeric";
        case 132: return "User Defined";
        case 133: return "DBDate";
        case 134: return "DBTime";
        case 135: return "DBTimeStamp";
        case 136: return "Chapter";
        case 138: return "Prop Variant";
        case 139: return "Var Numeric";
        case 200: return "VarChar";
        case 201: return "LongVarChar";
        case 202: return "VarWChar";
        case 203: return "LongVarWChar";
        case 204: return "VarBinary";
        case 205: return "LongVarBinary";
        case 0x2000: return "Array";
        default: return "UNKNOWN!";
    }
}

const char* ValueTranslation::statusText(int status) {
    switch (status) {
        case 0: return "adFieldOK - OK.";
        case 2: return "adFieldCantConvertValue - The field cannot be retrieved or stored without loss of data.";
        case 3: return "adFieldIsNull - The provider returned a VARIANT value of type VT_NULL and that the field is not empty.";
        case 4: return "adFieldTruncated - Variable-length data was truncated when reading from the data source.";
        case 5: return "adFieldSignMismatch - Data value returned by the provider was signed but the data type of the ADO field value was unsigned.";
        case 6: return "adFieldDataOverflow - The data returned from the provider overflowed the data type of the field.";
        case 7: return "adFieldCantCreate - The field could not be added because the provider exceeded a limitation (such as the number of fields allowed).";
        case 8: return "adFieldUnavailable - The provider could not determine the value when reading from the data source. For example, the row was just created, the default value for the column was not available, and a new value had not yet been specified.";
        case 9: return "adFieldPermissionDenied - The field cannot be modified because it is defined as read-only.";
        case 10: return "adFieldIntegrityViolation - The field cannot be modified because it is a calculated or derived entity.";
        case 11: return "adFieldSchemaViolation - The value violated the data source schema constraint for the field.";
        case 12: return "adFieldBadStatus - An invalid status value was sent from ADO to the OLE DB provider. Possible causes include an OLE DB 1.0 or 1.1 provider, or an improper combination of Value and Status.";
        case 13: return "adFieldDefault - The default value for the field was used when setting data.";
        case 15: return "adFieldIgnore - This field was skipped when setting data values in the source. The provider set no value.";
        case 16: return "adFieldDoesNotExist - The field specified does not exist.";
        case 17: return "adFieldInvalidURL - The data source URL contains invalid characters.";
        case 18: return "adFieldResourceLocked - The provider was unable to perform the operation because the data source is locked by one or more other application or process.";
        case 19: return "adFieldResourceExists - The provider was unable to perform the operation because an object already exists at the destination URL and it is not able to overwrite the object.";
        case 20: return "adFieldCannotComplete - The server of the URL specified by Source could not complete the operation.";
        case 21: return "adFieldVolumeNotFound - The provider is unable to locate the storage volume indicated by the URL.";
        case 22: return "adFieldOutOfSpace - The provider is unable to obtain enough storage space to complete a move or copy operation.";
        case 23: return "adFieldCannotDeleteSource - During a move operation, a tree or subtree was moved to a new location, but the source could not be deleted.";
        case 24: return "adFieldReadOnly - The field in the data source is defined as read-only.";
        case 25: return "adFieldResourceOutOfScope - A source or destination URL is outside the scope of the current record.";
        case 26: return "adFieldAlreadyExists - The specified field already exists.";
        case 0x10000: return "adFieldPendingInsert - The Append operation caused the status to be set. The Field has been marked to be added to the Fields collection after the Update method is called.";
        case 0x20000: return "adFieldPendingDelete - The Delete operation caused the status to be set. The field has been marked for deletion from the Fields collection after the Update method is called.";
        case 0x40000: return "adFieldPendingChange - Either the field has been deleted and then re-added, perhaps with a different data type, or that the value of the field which previously had a status of adFieldOK has changed. The final form of the field will modify the Fields collection after the Update method is called.";
        case 0x80000: return "adFieldPendingUnknown - The provider cannot determine what operation caused field status to be set.";
        case 0x100000: return "adFieldPendingUnknownDelete - The provider cannot determine what operation caused field status to be set, and that the field will be deleted from the Fields collection after the Update method is called.";
        default: return "Undefined field status.";
    }
}
// clang-format on
