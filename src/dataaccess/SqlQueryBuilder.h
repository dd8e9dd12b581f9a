// Turns a query declaration into the SELECT statement that is sent to the source, to the character: the
// statement is also quoted in error messages and log lines, so its blanks are part of the contract.
//
// Column references are qualified by their table's alias; identifiers are never quoted and literals are
// written as given. For the XBase type the result is the path of the one .dbf file instead.
// Pure: the same declaration always gives the same text; the builder keeps nothing between calls.
#pragma once

#include "dataaccess/QueryDeclaration.h"
#include "libraries/support/XString.h"
#include "task/LogLevel.h"

#include <functional>

class SqlQueryBuilder {
  public:
    // Receives the builder's diagnostic lines: (level, text, method text).
    using Report = std::function<void(LogLevel level, const XString& text, const XString& method)>;

    // Throws XException "Cannot use more than 1 table in XBase query" (reported at Debug level first) for
    // the XBase type with more than one table.
    static XString build(const QueryDeclaration& declaration, int dbType, bool distinct,
                         const XString& dataSource, const Report& report);
};
