#include "dataaccess/SqlQueryBuilder.h"

#include "dataaccess/DbType.h"
#include "libraries/support/XException.h"

namespace {

XString columnReference(const ODBCField& field) {
    return field.table->alias + "." + field.name;
}

XString xbasePath(const QueryDeclaration& declaration, const XString& dataSource,
                  const SqlQueryBuilder::Report& report) {
    if (declaration.tables().size() > 1) {
        const XString message("Cannot use more than 1 table in XBase query");
        report(LogLevel::Debug, message, XString());
        throw XException(message.toStdString());
    }
    XString path(dataSource);
    if (!declaration.tables().empty()) {
        path += declaration.tables().front()->source;
    }
    return path + ".dbf";
}

}  // namespace

XString SqlQueryBuilder::build(const QueryDeclaration& declaration, int dbType, bool distinct,
                               const XString& dataSource, const Report& report) {
    if (dbType == DbType::DBaseXBase) {
        return xbasePath(declaration, dataSource, report);
    }
    const auto progress = [&report](const char* stage, const XString& soFar) {
        report(LogLevel::Proprietary, XString(stage) + soFar, XString());
    };

    if (dbType == DbType::Access) {
        report(LogLevel::Warning, XString("Joins may not work for this DB Type: ") + DbType::name(dbType),
               "ODBCDataAccess::BuildAnsiJoinQuery");
    }
    XString query("SELECT ");
    if (distinct) {
        query += "DISTINCT ";
    }

    bool first = true;
    for (const auto& field : declaration.fields()) {
        if (!first) {
            query += ", ";
        }
        first = false;
        if (!field->prefix.isEmpty()) {
            query += field->prefix + " ";
        }
        query += columnReference(*field);
        if (!field->prefix.isEmpty()) {
            query += field->suffix.isEmpty() ? XString(")") : " " + field->suffix;
        }
        if (!field->alias.isEmpty()) {
            query += " as " + field->alias;
        }
    }
    progress("BuildQuery: Fields Finished:\n", query);

    query += " FROM ";
    first = true;
    for (const auto& table : declaration.tables()) {
        if (!first) {
            query += ", ";
        }
        first = false;
        query += table->source;
        if (table->source != table->alias) {
            query += " " + table->alias;
        }
        if (dbType == DbType::MSSQL) {
            query += " WITH (NOLOCK) ";
        }
    }
    progress("BuildQuery: Tables Finished:\n", query);
    progress("BuildQuery: Join Count: 0:\n", query);
    progress("BuildQuery: Joins Finished:\n", query);
    query += " ";

    int previousLevel = 0;
    int openBrackets = 0;
    first = true;
    for (const auto& condition : declaration.conditions()) {
        query += first ? XString(" WHERE ") : " " + condition->conjunction + " ";
        if (previousLevel < condition->level) {
            query += "(";
            ++openBrackets;
        }
        if (first && condition->conjunction.startsWith("(")) {
            query += condition->conjunction + " ";
        }
        query += columnReference(*condition->field) + " " + condition->op + " ";
        query += condition->secondField ? columnReference(*condition->secondField) : condition->literal;
        if (previousLevel > condition->level) {
            query += ")";
            --openBrackets;
        }
        previousLevel = condition->level;
        first = false;
        progress("BuildQuery: Conditions:\n", query);
    }
    for (; openBrackets > 0; --openBrackets) {
        query += ")";
    }
    progress("BuildQuery: Conditions Finished:\n", query);

    first = true;
    for (const auto& order : declaration.orders()) {
        query += first ? " ORDER BY " : ", ";
        first = false;
        query += order->field->alias.isEmpty() ? columnReference(*order->field) : order->field->alias;
        if (order->descending) {
            query += " DESC";
        }
    }
    progress("BuildQuery: Orders Finished:\n", query);
    progress("BuildQuery Finished:", query);
    return query;
}
