#include "libraries/ado/SqlTypeMap.h"

#include <gtest/gtest.h>
#include <sqlext.h>

#include "libraries/ado/DataTypes.h"
#include "libraries/ado/Variant.h"

using namespace ado;

TEST(SqlTypeMapTest, EverySqlTypeHasItsVarTypeAndAdoCode) {
    struct Case {
        SQLSMALLINT sqlType;
        bool isUnsigned;
        SQLSMALLINT cType;
        std::uint16_t vt;
        int adoType;
        bool isLong;
    };
    const Case cases[] = {
        {SQL_CHAR, false, SQL_C_WCHAR, VT_BSTR, adChar, false},
        {SQL_VARCHAR, false, SQL_C_WCHAR, VT_BSTR, adVarChar, false},
        {SQL_LONGVARCHAR, false, SQL_C_WCHAR, VT_BSTR, adLongVarChar, true},
        {SQL_WCHAR, false, SQL_C_WCHAR, VT_BSTR, adWChar, false},
        {SQL_WVARCHAR, false, SQL_C_WCHAR, VT_BSTR, adVarWChar, false},
        {SQL_WLONGVARCHAR, false, SQL_C_WCHAR, VT_BSTR, adLongVarWChar, true},
        {SQL_GUID, false, SQL_C_WCHAR, VT_BSTR, adGUID, false},
        {SQL_BIT, false, SQL_C_BIT, VT_BOOL, adBoolean, false},
        {SQL_TINYINT, true, SQL_C_SBIGINT, VT_UI1, adUnsignedTinyInt, false},
        {SQL_TINYINT, false, SQL_C_SBIGINT, VT_I2, adTinyInt, false},
        {SQL_SMALLINT, false, SQL_C_SBIGINT, VT_I2, adSmallInt, false},
        {SQL_INTEGER, false, SQL_C_SBIGINT, VT_I4, adInteger, false},
        {SQL_BIGINT, false, SQL_C_SBIGINT, VT_I8, adBigInt, false},
        {SQL_NUMERIC, false, SQL_C_CHAR, VT_DECIMAL, adNumeric, false},
        {SQL_DECIMAL, false, SQL_C_CHAR, VT_DECIMAL, adNumeric, false},
        {SQL_REAL, false, SQL_C_FLOAT, VT_R4, adSingle, false},
        {SQL_FLOAT, false, SQL_C_DOUBLE, VT_R8, adDouble, false},
        {SQL_DOUBLE, false, SQL_C_DOUBLE, VT_R8, adDouble, false},
        {SQL_TYPE_DATE, false, SQL_C_TYPE_DATE, VT_DATE, adDBDate, false},
        {SQL_DATE, false, SQL_C_TYPE_DATE, VT_DATE, adDBDate, false},
        {SQL_TYPE_TIME, false, SQL_C_TYPE_TIME, VT_DATE, adDBTime, false},
        {SQL_TYPE_TIMESTAMP, false, SQL_C_TYPE_TIMESTAMP, VT_DATE, adDBTimeStamp, false},
        {SQL_TIMESTAMP, false, SQL_C_TYPE_TIMESTAMP, VT_DATE, adDBTimeStamp, false},
        {SQL_BINARY, false, SQL_C_BINARY, VT_ARRAY | VT_UI1, adBinary, false},
        {SQL_VARBINARY, false, SQL_C_BINARY, VT_ARRAY | VT_UI1, adVarBinary, false},
        {SQL_LONGVARBINARY, false, SQL_C_BINARY, VT_ARRAY | VT_UI1, adLongVarBinary, true},
        {SQL_INTERVAL_DAY, false, SQL_C_WCHAR, VT_BSTR, adVarWChar, false},  // unknown kinds travel as text
        {-9999, false, SQL_C_WCHAR, VT_BSTR, adVarWChar, false},
    };
    for (const Case& c : cases) {
        const SqlTypeInfo info = SqlTypeMap::lookup(c.sqlType, c.isUnsigned);
        EXPECT_EQ(std::tie(info.cType, info.vt, info.adoType, info.isLong),
                  std::tie(c.cType, c.vt, c.adoType, c.isLong))
            << "SQL type " << c.sqlType;
    }
}
