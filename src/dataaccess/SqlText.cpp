#include "dataaccess/SqlText.h"

XString SqlText::escaped(const XString& value) {
    if (value.find('\'') < 0) {
        return value;
    }
    XString text(value);
    text.replaceAll("'", "''");
    return text;
}

XString SqlText::quoted(const XString& value) {
    return "'" + escaped(value) + "'";
}
