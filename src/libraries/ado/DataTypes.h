// ADO's numeric codes used by the layer: field data types (DataTypeEnum), field status
// (FieldStatusEnum) and field attributes (FieldAttributeEnum). Values are ADO's published ones.
#pragma once

namespace ado {

enum DataType : int {
    adEmpty = 0,
    adSmallInt = 2,
    adInteger = 3,
    adSingle = 4,
    adDouble = 5,
    adCurrency = 6,
    adDate = 7,
    adBSTR = 8,
    adBoolean = 11,
    adDecimal = 14,
    adTinyInt = 16,
    adUnsignedTinyInt = 17,
    adBigInt = 20,
    adGUID = 72,
    adBinary = 128,
    adChar = 129,
    adWChar = 130,
    adNumeric = 131,
    adDBDate = 133,
    adDBTime = 134,
    adDBTimeStamp = 135,
    adVarChar = 200,
    adLongVarChar = 201,
    adVarWChar = 202,
    adLongVarWChar = 203,
    adVarBinary = 204,
    adLongVarBinary = 205,
};

enum FieldStatus : int {
    adFieldOK = 0,
    adFieldCantConvertValue = 2,
    adFieldTruncated = 4,
    adFieldDataOverflow = 6,
    adFieldUnavailable = 8,
};

enum FieldAttribute : int {
    adFldFixed = 0x10,
    adFldIsNullable = 0x20,
    adFldMayBeNull = 0x40,
    adFldLong = 0x80,
};

}  // namespace ado
