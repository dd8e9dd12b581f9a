#include "libraries/ado/CellConversion.h"

#include <sqlext.h>

#include <QDate>
#include <cstring>
#include <limits>

#include "libraries/ado/DataTypes.h"

namespace ado {

namespace {

const QString kRecordsetSource = QStringLiteral("ADODB.Recordset");

double dateValue(const SQL_DATE_STRUCT& d, bool& ok) {
    ok = QDate::isValid(d.year, d.month, d.day);
    return ok ? Variant::automationDate({d.year, d.month, d.day, 0, 0, 0, 0}) : 0.0;
}

double timeValue(const SQL_TIME_STRUCT& t, bool& ok) {
    ok = t.hour < 24 && t.minute < 60 && t.second < 61;
    return ok ? Variant::automationDate({1899, 12, 30, t.hour, t.minute, t.second, 0}) : 0.0;
}

double timestampValue(const SQL_TIMESTAMP_STRUCT& t, bool& ok) {
    ok = QDate::isValid(t.year, t.month, t.day) && t.hour < 24 && t.minute < 60 && t.second < 61;
    return ok ? Variant::automationDate({t.year, t.month, t.day, t.hour, t.minute, t.second,
                                         static_cast<int>(t.fraction / 1000000)})
              : 0.0;
}

bool fitsVarType(std::int64_t value, std::uint16_t vt) {
    switch (vt) {
        case VT_UI1:
            return value >= 0 && value <= 255;
        case VT_I2:
            return value >= -32768 && value <= 32767;
        case VT_I4:
            return value >= std::numeric_limits<std::int32_t>::min() &&
                   value <= std::numeric_limits<std::int32_t>::max();
        default:
            return true;
    }
}

template <typename T>
T load(const char* data) {
    T value{};
    std::memcpy(&value, data, sizeof value);
    return value;
}

CellConversion::Converted integer(std::int64_t value) {
    CellConversion::Converted converted;
    converted.kind = CellConversion::Converted::Int;
    converted.integer = value;
    converted.status = adFieldOK;
    return converted;
}

CellConversion::Converted real(double value, bool ok) {
    CellConversion::Converted converted;
    if (ok) {
        converted.kind = CellConversion::Converted::Real;
        converted.real = value;
        converted.status = adFieldOK;
    } else {
        converted.status = adFieldCantConvertValue;
    }
    return converted;
}

}  // namespace

CellConversion::Converted CellConversion::convert(SQLSMALLINT cType, std::uint16_t vt, const char* data,
                                                  SQLLEN length) {
    bool ok = true;
    switch (cType) {
        case SQL_C_BIT:
            return integer(load<unsigned char>(data) != 0 ? -1 : 0);  // VARIANT_TRUE is -1
        case SQL_C_SBIGINT: {
            const auto value = load<SQLBIGINT>(data);
            if (fitsVarType(value, vt)) {
                return integer(value);
            }
            Converted overflow;
            overflow.status = adFieldDataOverflow;
            return overflow;
        }
        case SQL_C_FLOAT:
            return real(load<SQLREAL>(data), true);
        case SQL_C_DOUBLE:
            return real(load<SQLDOUBLE>(data), true);
        case SQL_C_TYPE_DATE: {
            const double value = dateValue(load<SQL_DATE_STRUCT>(data), ok);
            return real(value, ok);
        }
        case SQL_C_TYPE_TIME: {
            const double value = timeValue(load<SQL_TIME_STRUCT>(data), ok);
            return real(value, ok);
        }
        case SQL_C_TYPE_TIMESTAMP: {
            const double value = timestampValue(load<SQL_TIMESTAMP_STRUCT>(data), ok);
            return real(value, ok);
        }
        case SQL_C_CHAR: {
            Converted converted;
            if (ado::Decimal::fromText(QString::fromLatin1(data, length), converted.decimal)) {
                converted.kind = Converted::Decimal;
                converted.status = adFieldOK;
            } else {
                converted.status = adFieldDataOverflow;
            }
            return converted;
        }
        default: {
            Converted unknown;
            unknown.status = adFieldCantConvertValue;
            return unknown;
        }
    }
}

void CellConversion::append(ColumnStore& store, SQLSMALLINT cType, const char* data, SQLLEN length) {
    const Converted converted = convert(cType, store.varType(), data, length);
    switch (converted.kind) {
        case Converted::Int:
            store.appendInt(converted.integer);
            break;
        case Converted::Real:
            store.appendReal(converted.real);
            break;
        case Converted::Decimal:
            store.appendDecimal(converted.decimal);
            break;
        default:
            store.appendFailed(error(converted.status), converted.status);
            break;
    }
}

ComError CellConversion::error(int status) {
    if (status == adFieldDataOverflow) {
        return ComError(ComError::Overflow, kRecordsetSource,
                        QStringLiteral("The value does not fit the field's data type."));
    }
    return ComError(ComError::TypeMismatch, kRecordsetSource,
                    QStringLiteral("The value cannot be converted to the field's type."));
}

SQLLEN CellConversion::fixedBytes(SQLSMALLINT cType) {
    switch (cType) {
        case SQL_C_BIT:
            return 1;
        case SQL_C_SBIGINT:
            return sizeof(SQLBIGINT);
        case SQL_C_FLOAT:
            return sizeof(SQLREAL);
        case SQL_C_DOUBLE:
            return sizeof(SQLDOUBLE);
        case SQL_C_TYPE_DATE:
            return sizeof(SQL_DATE_STRUCT);
        case SQL_C_TYPE_TIME:
            return sizeof(SQL_TIME_STRUCT);
        case SQL_C_TYPE_TIMESTAMP:
            return sizeof(SQL_TIMESTAMP_STRUCT);
        default:
            return 0;
    }
}

}  // namespace ado
