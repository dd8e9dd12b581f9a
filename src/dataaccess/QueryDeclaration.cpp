#include "dataaccess/QueryDeclaration.h"

ODBCTable* QueryDeclaration::addTable(const XString& source, const XString& name, const XString& alias) {
    m_tables.push_back(std::make_unique<ODBCTable>(source, name, alias));
    return m_tables.back().get();
}

ODBCField* QueryDeclaration::addField(ODBCTable* table, const XString& name, const XString& alias,
                                      const XString& prefix, const XString& suffix) {
    m_fields.push_back(std::make_unique<ODBCField>(table, name, alias, m_fieldCounter++, prefix, suffix));
    return m_fields.back().get();
}

ODBCCondition* QueryDeclaration::addCondition(const XString& conjunction, ODBCField* field, const XString& op,
                                              ODBCField* secondField, const XString& literal, int32_t level) {
    m_conditions.push_back(
        std::make_unique<ODBCCondition>(conjunction, field, op, secondField, literal, level));
    return m_conditions.back().get();
}

ODBCOrder* QueryDeclaration::addOrder(ODBCField* field, bool descending) {
    m_orders.push_back(std::make_unique<ODBCOrder>(field, descending));
    return m_orders.back().get();
}

void QueryDeclaration::removeLastConditions(int count) {
    while (count-- > 0 && !m_conditions.empty()) {
        m_conditions.pop_back();
    }
}

void QueryDeclaration::clear() {
    // Conditions and orders point at fields, fields at tables: release them in that order.
    m_orders.clear();
    m_conditions.clear();
    m_fields.clear();
    m_tables.clear();
    m_fieldCounter = 0;
}
