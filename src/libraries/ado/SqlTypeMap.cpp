#include "libraries/ado/SqlTypeMap.h"

#include <sqlext.h>

#include "libraries/ado/DataTypes.h"
#include "libraries/ado/Variant.h"

namespace ado {

SqlTypeInfo SqlTypeMap::lookup(SQLSMALLINT sqlType, bool isUnsigned) {
    switch (sqlType) {
        case SQL_CHAR:
            return {SQL_C_WCHAR, VT_BSTR, adChar, false};
        case SQL_VARCHAR:
            return {SQL_C_WCHAR, VT_BSTR, adVarChar, false};
        case SQL_LONGVARCHAR:
            return {SQL_C_WCHAR, VT_BSTR, adLongVarChar, true};
        case SQL_WCHAR:
            return {SQL_C_WCHAR, VT_BSTR, adWChar, false};
        case SQL_WVARCHAR:
            return {SQL_C_WCHAR, VT_BSTR, adVarWChar, false};
        case SQL_WLONGVARCHAR:
            return {SQL_C_WCHAR, VT_BSTR, adLongVarWChar, true};
        case SQL_GUID:
            return {SQL_C_WCHAR, VT_BSTR, adGUID, false};
        case SQL_BIT:
            return {SQL_C_BIT, VT_BOOL, adBoolean, false};
        case SQL_TINYINT:
            return isUnsigned ? SqlTypeInfo{SQL_C_SBIGINT, VT_UI1, adUnsignedTinyInt, false}
                              : SqlTypeInfo{SQL_C_SBIGINT, VT_I2, adTinyInt, false};
        case SQL_SMALLINT:
            return {SQL_C_SBIGINT, VT_I2, adSmallInt, false};
        case SQL_INTEGER:
            return {SQL_C_SBIGINT, VT_I4, adInteger, false};
        case SQL_BIGINT:
            return {SQL_C_SBIGINT, VT_I8, adBigInt, false};
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            return {SQL_C_CHAR, VT_DECIMAL, adNumeric, false};
        case SQL_REAL:
            return {SQL_C_FLOAT, VT_R4, adSingle, false};
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return {SQL_C_DOUBLE, VT_R8, adDouble, false};
        case SQL_DATE:
        case SQL_TYPE_DATE:
            return {SQL_C_TYPE_DATE, VT_DATE, adDBDate, false};
        case SQL_TIME:
        case SQL_TYPE_TIME:
            return {SQL_C_TYPE_TIME, VT_DATE, adDBTime, false};
        case SQL_TIMESTAMP:
        case SQL_TYPE_TIMESTAMP:
            return {SQL_C_TYPE_TIMESTAMP, VT_DATE, adDBTimeStamp, false};
        case SQL_BINARY:
            return {SQL_C_BINARY, VT_ARRAY | VT_UI1, adBinary, false};
        case SQL_VARBINARY:
            return {SQL_C_BINARY, VT_ARRAY | VT_UI1, adVarBinary, false};
        case SQL_LONGVARBINARY:
            return {SQL_C_BINARY, VT_ARRAY | VT_UI1, adLongVarBinary, true};
        default:
            return {SQL_C_WCHAR, VT_BSTR, adVarWChar, false};
    }
}

}  // namespace ado
