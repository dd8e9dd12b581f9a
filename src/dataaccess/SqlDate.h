// A calendar date as the SQL literal of each database type ("TO_DATE( '20240131', 'YYYYMMDD' )" for Oracle,
// "'2024-01-31'" for SQL Server ...).
#pragma once

#include "libraries/support/XDate.h"
#include "libraries/support/XString.h"

class SqlDate {
  public:
    // The literal of date for type (1 to 21). extractDatePattern is the extract file's date pattern, which
    // the XBase type writes without delimiters. A null date formats as the empty text inside its delimiters;
    // the Oracle and Informix literals are then empty as a whole. Throws XException "DB Type not defined for
    // XODBC::SQLDate yet, feel free to do so." for other types.
    static XString literal(const XDate& date, int type, const XString& extractDatePattern);
};
