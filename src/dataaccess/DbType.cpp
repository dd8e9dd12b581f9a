#include "dataaccess/DbType.h"

namespace DbType {

const char* name(int type) {
    static const char* const names[] = {"",
                                        "dBase IV (ODBC)",
                                        "dBase IV (XBase)",
                                        "FoxPro (ODBC)",
                                        "FoxPro (DBF)",
                                        "MSSQL",
                                        "MySQL",
                                        "SQLite",
                                        "DB2",
                                        "Access",
                                        "Postgres",
                                        "Oracle (ODBC)",
                                        "Oracle (OLE)",
                                        "Oracle Microsoft OLE (MSDAORA)",
                                        "Sybase (OLE)",
                                        "Sybase ODBC",
                                        "Progress",
                                        "Mimer",
                                        "Informix",
                                        "Top Speed",
                                        "Lotus Notes",
                                        "CA-Datacom"};
    if (type < 0 || type > CADatacom) {
        return "";
    }
    return names[type];
}

}  // namespace DbType
