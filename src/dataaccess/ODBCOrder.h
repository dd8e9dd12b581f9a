// One sort key of the ORDER BY clause.
// Owned by the declaration lists of ODBCDataAccess. REQUIRES: field lives as long as the order.
#pragma once

#include "dataaccess/ODBCField.h"

class ODBCOrder {
  public:
    ODBCOrder(ODBCField* field, bool descending) : field(field), descending(descending) {}
    virtual ~ODBCOrder() = default;
    ODBCOrder(const ODBCOrder&) = delete;
    ODBCOrder& operator=(const ODBCOrder&) = delete;

    ODBCField* field;  // not owned, never null
    bool descending;
};
