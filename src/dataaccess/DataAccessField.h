// The abstract base of a declared source column. The writer's column bindings point at fields through this
// base; the data access layer that created a field owns it and reads its values.
#pragma once

#include "libraries/support/XString.h"

class DataAccessField {
  public:
    DataAccessField() = default;
    virtual ~DataAccessField() = default;
    DataAccessField(const DataAccessField&) = delete;
    DataAccessField& operator=(const DataAccessField&) = delete;

    // The column's name.
    virtual XString GetName() const = 0;
};
