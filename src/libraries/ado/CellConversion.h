// CellConversion: how one fetched C value (a bound element, or what SQLGetData read) becomes a cell of the
// column's VARTYPE: integers checked against the VARTYPE the driver declared, reals, dates from their C
// structs as automation dates, numeric text as a 96-bit decimal. A value that does not fit, or a date the
// driver delivers out of range, becomes a failed cell with its field status (adFieldDataOverflow or
// adFieldCantConvertValue) instead of a wrong value.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "libraries/ado/ColumnStore.h"
#include "libraries/ado/ComError.h"
#include "libraries/ado/Variant.h"

namespace ado {

class CellConversion {
  public:
    struct Converted {
        enum Kind { Int, Real, Decimal, Failed };
        Kind kind = Failed;
        std::int64_t integer = 0;  // Int: integer kinds and VT_BOOL (0 or -1)
        double real = 0.0;         // Real: VT_R4, VT_R8, VT_DATE
        ado::Decimal decimal;      // Decimal
        int status = 0;            // the field status: adFieldOK unless Failed
    };

    // The value of a fixed-size C value (or numeric text of length bytes) at data, for a column of vt.
    static Converted convert(SQLSMALLINT cType, std::uint16_t vt, const char* data, SQLLEN length);
    // convert, appended to store (whose VARTYPE is the column's).
    static void append(ColumnStore& store, SQLSMALLINT cType, const char* data, SQLLEN length);
    // The error a failed conversion with this field status reads as.
    static ComError error(int status);

    // The bytes of a fixed-size C type; 0 for the variable-length ones.
    static SQLLEN fixedBytes(SQLSMALLINT cType);
    // Text, bytes and numeric text: their length comes from the indicator.
    static bool isVariableLength(SQLSMALLINT cType) {
        return cType == SQL_C_WCHAR || cType == SQL_C_BINARY || cType == SQL_C_CHAR;
    }
    // The terminator the driver writes after a value of the C type in a buffer (text only).
    static SQLLEN terminatorBytes(SQLSMALLINT cType) {
        return cType == SQL_C_WCHAR ? static_cast<SQLLEN>(sizeof(SQLWCHAR)) : cType == SQL_C_CHAR ? 1 : 0;
    }
};

}  // namespace ado
