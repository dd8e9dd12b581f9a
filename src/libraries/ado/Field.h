// One column of a Recordset, as ADO's Field object: name, type code, attributes, sizes, and the
// value and status of that column in the recordset's current record.
//
// A Field is a small view (recordset + ordinal); copy it freely. REQUIRES: its Recordset stays open
// and alive while the Field is used; value(), actualSize() and getChunk() need a current record
// (else ComError NoCurrentRecord).
// Status is adFieldOK unless reading the value failed: a numeric that cannot be held by a 96-bit
// decimal, or an integer too wide for the type the driver declared, gives adFieldDataOverflow;
// a date the driver delivers out of range gives adFieldCantConvertValue; a long value the driver could not
// complete gives adFieldTruncated; value() then throws ComError (OdbcFailure with the driver's records, or
// Overflow) and status() tells which.
#pragma once

#include <QString>

#include "libraries/ado/DataTypes.h"
#include "libraries/ado/Variant.h"

namespace ado {

class Recordset;

class Field {
  public:
    Field(Recordset& recordset, int index) : recordset_(&recordset), index_(index) {}

    int index() const { return index_; }
    QString name() const;
    int type() const;               // DataType code (SqlTypeMap)
    int attributes() const;         // FieldAttribute bits
    long long definedSize() const;  // the driver's column size (characters for text, bytes for binary)
    int precision() const;
    int numericScale() const;

    Variant value() const;
    int status() const;  // FieldStatus of the current record's value

    // Characters for text, bytes for byte arrays, the storage size for fixed kinds; 0 for NULL.
    long long actualSize() const;

    // ADO's GetChunk: the next size characters (text) or bytes (binary) of a long value, continuing
    // where the previous call on this record left off; VT_NULL when the value is NULL or used up.
    Variant getChunk(long long size);

  private:
    Recordset* recordset_;
    int index_;
};

}  // namespace ado
