// The one table from an ODBC SQL type to how the layer fetches it (C type), the VARTYPE of its values
// and the ADO field type code:
//
//   SQL type                                   C type               VARTYPE        ADO type
//   CHAR / VARCHAR / LONGVARCHAR               SQL_C_WCHAR          VT_BSTR        129 / 200 / 201
//   WCHAR / WVARCHAR / WLONGVARCHAR            SQL_C_WCHAR          VT_BSTR        130 / 202 / 203
//   GUID                                       SQL_C_WCHAR          VT_BSTR        72
//   BIT                                        SQL_C_BIT            VT_BOOL        11
//   TINYINT (unsigned / signed)                SQL_C_SBIGINT        VT_UI1 / VT_I2 17 / 16
//   SMALLINT                                   SQL_C_SBIGINT        VT_I2          2
//   INTEGER                                    SQL_C_SBIGINT        VT_I4          3
//   BIGINT                                     SQL_C_SBIGINT        VT_I8          20
//   NUMERIC / DECIMAL                          SQL_C_CHAR (text)    VT_DECIMAL     131 / 131
//   REAL                                       SQL_C_FLOAT          VT_R4          4
//   FLOAT / DOUBLE                             SQL_C_DOUBLE         VT_R8          5
//   DATE / TYPE_DATE                           SQL_C_TYPE_DATE      VT_DATE        133
//   TIME / TYPE_TIME                           SQL_C_TYPE_TIME      VT_DATE        134
//   TIMESTAMP / TYPE_TIMESTAMP                 SQL_C_TYPE_TIMESTAMP VT_DATE        135
//   BINARY / VARBINARY / LONGVARBINARY         SQL_C_BINARY         VT_ARRAY|VT_UI1 128 / 204 / 205
//   anything else (intervals, driver types)    SQL_C_WCHAR          VT_BSTR        202
//
// Integers travel as 64 bits and are checked against the VARTYPE: a driver may declare a narrower
// type than a value has (SQLite declares INTEGER columns SQL_INTEGER and holds 64-bit values in
// them), and such a value must not wrap silently (the cell gets adFieldDataOverflow instead).
// Numerics travel as text so that no driver's SQL_C_NUMERIC quirks (scale, precision defaults) can
// change a value; the text is parsed into the 96-bit decimal exactly. The LONG types carry adFldLong.
#pragma once

#include <sql.h>

#include <cstdint>

namespace ado {

struct SqlTypeInfo {
    SQLSMALLINT cType;  // what the layer binds or gets
    std::uint16_t vt;   // VARTYPE of non-null values
    int adoType;        // ADO DataTypeEnum code
    bool isLong;        // a LONG type: adFldLong, fetched in chunks when it does not fit
};

class SqlTypeMap {
  public:
    static SqlTypeInfo lookup(SQLSMALLINT sqlType, bool isUnsigned = false);
};

}  // namespace ado
