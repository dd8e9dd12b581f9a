// The declaration of the current query: four ordered lists of descriptors (tables, fields, conditions,
// orders) and the field counter that numbers the fields.
//
// Owns every descriptor in its lists; clear() deletes them all. Descriptors point at each other without
// owning; pointers handed out stay valid until clear() (or, for conditions, removeLastConditions()).
// Invariant: the fields' ordinals are 0, 1, 2 ... in list order since the last clear().
#pragma once

#include "dataaccess/ODBCCondition.h"
#include "dataaccess/ODBCField.h"
#include "dataaccess/ODBCOrder.h"
#include "dataaccess/ODBCTable.h"

#include <memory>
#include <vector>

class QueryDeclaration {
  public:
    QueryDeclaration() = default;
    QueryDeclaration(const QueryDeclaration&) = delete;
    QueryDeclaration& operator=(const QueryDeclaration&) = delete;

    ODBCTable* addTable(const XString& source, const XString& name, const XString& alias);
    // The field gets the next ordinal. REQUIRES: table belongs to this declaration.
    ODBCField* addField(ODBCTable* table, const XString& name, const XString& alias = XString(),
                        const XString& prefix = XString(), const XString& suffix = XString());
    // REQUIRES: field (and secondField when set) belong to this declaration.
    ODBCCondition* addCondition(const XString& conjunction, ODBCField* field, const XString& op,
                                ODBCField* secondField, const XString& literal, int32_t level);
    ODBCOrder* addOrder(ODBCField* field, bool descending);

    // Deletes the last count conditions (all of them when count exceeds the list).
    void removeLastConditions(int count);
    // Deletes every descriptor and restarts the field numbering at 0.
    void clear();

    const std::vector<std::unique_ptr<ODBCTable>>& tables() const { return m_tables; }
    const std::vector<std::unique_ptr<ODBCField>>& fields() const { return m_fields; }
    const std::vector<std::unique_ptr<ODBCCondition>>& conditions() const { return m_conditions; }
    const std::vector<std::unique_ptr<ODBCOrder>>& orders() const { return m_orders; }

  private:
    std::vector<std::unique_ptr<ODBCTable>> m_tables;
    std::vector<std::unique_ptr<ODBCField>> m_fields;
    std::vector<std::unique_ptr<ODBCCondition>> m_conditions;
    std::vector<std::unique_ptr<ODBCOrder>> m_orders;
    int32_t m_fieldCounter = 0;
};
