// A column of a declared table, as one entry of the select list.
//
// Values of a record are found by ordinal (the position in the select list), which the declaration assigns
// in creation order from 0. prefix and suffix wrap the column into an expression ("case" ... "when '' then 1
// else 0 end"); both are empty for a plain column.
// Owned by the declaration lists of ODBCDataAccess. REQUIRES: table outlives the field (both live until the
// next ClearQuery).
#pragma once

#include "dataaccess/DataAccessField.h"
#include "dataaccess/ODBCTable.h"

#include <cstdint>

class ODBCField : public DataAccessField {
  public:
    ODBCField(ODBCTable* table, const XString& name, const XString& alias, int32_t ordinal,
              const XString& prefix = XString(), const XString& suffix = XString())
        : table(table), name(name), alias(alias), ordinal(ordinal), prefix(prefix), suffix(suffix) {}

    XString GetName() const override { return name; }

    ODBCTable* table;  // not owned, never null
    XString name;
    XString alias;  // written after " as " in the select list; empty for none
    int32_t ordinal;
    XString prefix;
    XString suffix;
};
