// The database types the data access layer can speak to, by their stored numbers (1 to 21), and their
// display names for log lines and messages. 0 means "not set".
#pragma once

namespace DbType {

enum : int {
    NotSet = 0,
    DBaseODBC = 1,
    DBaseXBase = 2,
    FoxProODBC = 3,
    FoxProDBF = 4,
    MSSQL = 5,
    MySQL = 6,
    SQLite = 7,
    DB2 = 8,
    Access = 9,
    Postgres = 10,
    OracleODBC = 11,
    OracleOLE = 12,
    OracleMSDAORA = 13,
    SybaseOLE = 14,
    SybaseODBC = 15,
    Progress = 16,
    Mimer = 17,
    Informix = 18,
    TopSpeed = 19,
    LotusNotes = 20,
    CADatacom = 21,
};

// The display name of type ("Oracle (ODBC)"); the empty text for 0 and for numbers outside 1..21.
const char* name(int type);

}  // namespace DbType
