// A source table or view declared for the current query.
//
// Invariant: alias is never empty (an empty alias given at declaration becomes the source text), so every
// column reference can be qualified by it.
// Owned by the declaration lists of ODBCDataAccess; fields point at it until the next ClearQuery.
#pragma once

#include "dataaccess/DataAccessTable.h"

class ODBCTable : public DataAccessTable {
  public:
    // REQUIRES: source is not empty.
    ODBCTable(const XString& source, const XString& name, const XString& alias)
        : source(source), name(name), alias(alias.isEmpty() ? source : alias) {}

    XString GetName() const override { return source; }

    XString source;  // the text of the FROM clause
    XString name;    // the declared name, which the existence probe asks for
    XString alias;   // the correlation name that qualifies every column
};
