// ODBCDataAccess, the query declaration: construction, the descriptors the engine declares (tables, fields,
// conditions, orders) and the SQL built from them, the attendance filter's conditions included. The other
// concerns of the class have files of their own: ODBCDataAccessConnection.cpp (the connection and its
// errors), ODBCDataAccessCatalogue.cpp (existence questions and the schema) and ODBCDataAccessReaders.cpp
// (running the query, stepping through its records and reading their values).
#include "dataaccess/ODBCDataAccess.h"

#include "dataaccess/DbType.h"
#include "dataaccess/SqlDate.h"
#include "dataaccess/SqlQueryBuilder.h"
#include "dataaccess/SqlText.h"
#include "libraries/ado/Connection.h"
#include "libraries/ado/Recordset.h"
#include "libraries/support/XException.h"

#include <utility>

namespace {

constexpr const char* addConditionMethod = "ODBCDataAccess::AddCondition";

XString destructorStamp() {
    return XDateTime::Now().Format("dd/mm/yyyy|hh:nn:ss") + " ";
}

}  // namespace

ODBCDataAccess::ODBCDataAccess(int options, int dbType, QObject* parent)
    : DataAccessBase(parent), m_options(options), m_dbType(dbType) {
    try {
        m_connection = std::make_unique<ado::Connection>();
    } catch (const std::exception&) {
        throw XException("Failed to initialize connection.", static_cast<int>(ado::ComError::OdbcFailure));
    }
}

ODBCDataAccess::~ODBCDataAccess() {
    report(Debug, destructorStamp() + "Start ODBCDataAccess Destructor");
    m_recordset.reset();
    m_connection.reset();
    report(Debug, destructorStamp() + "End ODBCDataAccess Destructor");
    m_attendanceFilter.reset();
    m_declaration.clear();
}

XString ODBCDataAccess::DbTypeName() const {
    return DbType::name(m_dbType);
}

XString ODBCDataAccess::SqlLiteral(const XString& value) {
    return SqlText::quoted(value);
}

// --- Declaration ---

ODBCTable* ODBCDataAccess::AddTable(const XString& name, const XString& alias, bool required,
                                    const XString& source) {
    if ((m_options & CheckExistence) && !TableExists(name)) {
        const XString message = "Table does not exist : " + name;
        if (required) {
            reportAndThrow(Critical, message);
        }
        report(Debug, message);
        return nullptr;
    }
    return source.isEmpty() ? m_declaration.addTable(name, name, alias)
                            : m_declaration.addTable(source, name, alias);
}

ODBCField* ODBCDataAccess::NewField(DataAccessTable* table, const XString& columnName, bool required) {
    if (!table) {
        const XString message = "Table was NULL when searching for: " + columnName;
        if (required) {
            reportAndThrow(Critical, message);
        }
        report(Debug, message);
        return nullptr;
    }
    auto* odbcTable = static_cast<ODBCTable*>(table);
    if (!(m_options & CheckExistence) || FieldExists(odbcTable->name, columnName)) {
        return m_declaration.addField(odbcTable, columnName);
    }
    const XString message = "Field does not exist : " + columnName + " in table " + odbcTable->source;
    report(required ? Critical : Debug, message);
    if (m_options & DumpColumnsOfMissing) {
        DumpTableColumns(*odbcTable);
    }
    if (required) {
        reportAndThrow(Critical, "Required " + message);
    }
    return nullptr;
}

ODBCField* ODBCDataAccess::NewPlainField(DataAccessTable* table, const XString& columnName) {
    return m_declaration.addField(static_cast<ODBCTable*>(table), columnName);
}

ODBCField* ODBCDataAccess::AddField(ODBCTable* table, const XString& columnName, Formatter formatter,
                                    const XString& outputName, bool required, int command) {
    ODBCField* field = nullptr;
    if (table) {
        field = NewField(table, columnName, required);
        if (!field) {
            return nullptr;
        }
    }
    ValueFormatter bound;
    if (formatter) {
        bound = [this, formatter] { return (this->*formatter)(); };
    }
    AddColumnBinding(field, columnName, bound, command, XString(), valueKindOf(formatter));
    AddHeaderField(outputName);
    return field;
}

ODBCField* ODBCDataAccess::AddCustomField(ODBCTable* table, const XString& columnName, Formatter formatter,
                                          const XString& outputName, bool required, const XString& customName,
                                          const XString& customTitle, const XString& customKind,
                                          const XString& customFormat, int command) {
    ODBCField* field = AddField(table, columnName, formatter, outputName, required, command);
    if (!table || field) {
        CDEWriter::AddCustomField(customName, customTitle, customKind, customFormat);
    }
    return field;
}

ODBCField* ODBCDataAccess::AddExpressionField(const XString& prefix, ODBCField* baseField,
                                              const XString& suffix, const XString& alias) {
    return m_declaration.addField(baseField->table, baseField->name, alias, prefix, suffix);
}

ODBCCondition* ODBCDataAccess::AddCondition(const XString& conjunction, ODBCField* field, const XString& op,
                                            const XString& literal, int level) {
    if (!field) {
        reportAndThrow(Critical, "Primary field NULL in XODBC::AddCondition.", addConditionMethod);
    }
    return m_declaration.addCondition(conjunction, field, op, nullptr, literal, level);
}

ODBCCondition* ODBCDataAccess::AddCondition(const XString& conjunction, ODBCField* field, const XString& op,
                                            ODBCField* secondField, int level) {
    if (!field) {
        reportAndThrow(Critical, "Primary field NULL in XODBC::AddCondition.", addConditionMethod);
    }
    if (!secondField) {
        reportAndThrow(Critical, "Second field with " + field->name + "is NULL in XODBC::AddCondition.",
                       addConditionMethod);
    }
    return m_declaration.addCondition(conjunction, field, op, secondField, XString(), level);
}

ODBCOrder* ODBCDataAccess::AddOrder(ODBCField* field, bool descending) {
    if (!field) {
        report(Warning, "Field NULL in ODBC::AddOrder.");
        return nullptr;
    }
    return m_declaration.addOrder(field, descending);
}

void ODBCDataAccess::ClearQuery() {
    // The change-date fields belong to the declaration being deleted; keeping them would leave the filter
    // pointing at freed fields.
    m_attendanceFilter.reset();
    m_declaration.clear();
}

// --- SQL ---

XString ODBCDataAccess::BuildQuery() {
    return SqlQueryBuilder::build(
        m_declaration, m_dbType, distinct, dataSource(),
        [this](LogLevel level, const XString& text, const XString& method) { report(level, text, method); });
}

XString ODBCDataAccess::SQLDate(const XDate& date, int type) {
    return SqlDate::literal(date, type == 0 ? m_dbType : type, settings().dateFormat);
}

void ODBCDataAccess::FilterAttendance(const XDate& from, const XDate& to) {
    try {
        m_attendanceFilter.apply(m_declaration, from, to,
                                 [this](const XDate& date) { return SQLDate(date, 0); });
    } catch (const XException& e) {
        if (!m_attendanceFilter.primaryField() && !m_attendanceFilter.secondaryField()) {
            reportAndThrow(Progress, XString(e.message()));
        }
        throw;
    }
}

void ODBCDataAccess::FilterAttendanceWithAbsences(const XDate& from, const XDate& to,
                                                  const XDate& absenceFrom, const XDate& absenceTo) {
    m_attendanceFilter.applyWithAbsences(m_declaration, from, to, absenceFrom, absenceTo,
                                         [this](const XDate& date) { return SQLDate(date, 0); });
}

void ODBCDataAccess::SetAttendanceDateField(ODBCField* field) {
    m_attendanceFilter.setAbsenceField(field);
}

void ODBCDataAccess::ResetAttendanceFilter() {
    m_attendanceFilter.reset();
}

void ODBCDataAccess::SetAttendanceChangeFields(ODBCField* primary, ODBCField* secondary) {
    m_attendanceFilter.setPrimaryField(primary);
    m_attendanceFilter.setSecondaryField(secondary);
}
