// One term of the WHERE clause: field op (secondField or literal).
//
// literal is written verbatim: quoting a text value is the caller's job (SqlText::quoted), and a date goes
// through SQLDate. level groups terms in brackets (see SqlQueryBuilder).
// Owned by the declaration lists of ODBCDataAccess. REQUIRES: field (never null) and secondField (when set)
// live as long as the condition.
#pragma once

#include "dataaccess/ODBCField.h"

#include <cstdint>

class ODBCCondition {
  public:
    ODBCCondition(const XString& conjunction, ODBCField* field, const XString& op, ODBCField* secondField,
                  const XString& literal, int32_t level)
        : conjunction(conjunction),
          field(field),
          op(op),
          secondField(secondField),
          literal(literal),
          level(level) {}
    virtual ~ODBCCondition() = default;
    ODBCCondition(const ODBCCondition&) = delete;
    ODBCCondition& operator=(const ODBCCondition&) = delete;

    XString conjunction;  // "AND", "OR", "AND (": written before every term but the first
    ODBCField* field;
    XString op;
    ODBCField* secondField;  // null when the right-hand side is literal
    XString literal;
    int32_t level;
};
