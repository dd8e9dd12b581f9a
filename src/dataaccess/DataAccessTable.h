// The abstract base of a declared source table (a table or view of the source database).
// Concrete tables belong to a data access layer, which owns them in its declaration lists.
#pragma once

#include "libraries/support/XString.h"

class DataAccessTable {
  public:
    DataAccessTable() = default;
    virtual ~DataAccessTable() = default;
    DataAccessTable(const DataAccessTable&) = delete;
    DataAccessTable& operator=(const DataAccessTable&) = delete;

    // The table's name as the query uses it.
    virtual XString GetName() const = 0;
};
