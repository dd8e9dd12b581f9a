// ODBCDataAccess, the catalogue and existence questions: whether a table or a column exists (from the
// catalogue's column list where the database type has one, else from a probe query per table or column),
// the schema log and the column dump of a table, and the names and types of the current result's columns.
#include "dataaccess/ODBCDataAccess.h"

#include "dataaccess/DbType.h"
#include "dataaccess/SqlText.h"
#include "dataaccess/ValueTranslation.h"
#include "libraries/ado/Connection.h"
#include "libraries/ado/Recordset.h"
#include "libraries/support/XException.h"

#include <utility>

namespace {

// A table name for the PostgreSQL catalogue probes: a name given in double quotes becomes a string literal;
// a plain name is quoted as one.
XString postgresName(const XString& tableName) {
    if (!tableName.startsWith("\"")) {
        return SqlText::quoted(tableName);
    }
    XString literal = SqlText::escaped(tableName);
    literal.replaceAll("\"", "'");
    return literal;
}

}  // namespace

// --- Schema probes ---

std::unique_ptr<ado::Recordset> ODBCDataAccess::openProbe(const XString& queryText) {
    auto probe = std::make_unique<ado::Recordset>();
    probe->open(queryText.toQString(), *m_connection, ado::Recordset::adOpenForwardOnly,
                ado::Recordset::adLockReadOnly, ado::Recordset::adCmdText);
    return probe;
}

bool ODBCDataAccess::judge(std::unique_ptr<ado::Recordset>& probe, Judgement judgement, bool logSteps) {
    if (judgement == Judgement::Ran) {
        return true;
    }
    // The probe is the current result for one count or read; the previous result comes back however it ends.
    std::swap(m_recordset, probe);
    struct Restore {
        std::unique_ptr<ado::Recordset>& a;
        std::unique_ptr<ado::Recordset>& b;
        ~Restore() { std::swap(a, b); }
    } restore{m_recordset, probe};

    if (judgement == Judgement::Count) {
        if (logSteps) {
            report(Debug, "Check Result Count.");
        }
        const int count = GetRecordCount();
        if (count <= 0) {
            if (logSteps) {
                report(Debug, "Query RecordCount = " + XString(count));
            }
            return false;
        }
        return true;
    }
    if (logSteps) {
        report(Debug, "Check Result.");
    }
    if (!GetFirstRecord()) {
        if (logSteps) {
            report(Debug, "No Record.");
        }
        return false;
    }
    if (logSteps) {
        report(Debug, "Record Found.");
    }
    const int32_t value = TranslateInt(m_recordset->value(0));
    if (value < 1) {
        if (logSteps) {
            report(Debug, "Record Value =" + XString(static_cast<int>(value)));
        }
        return false;
    }
    return true;
}

bool ODBCDataAccess::TableExists(const XString& tableName) {
    report(Proprietary, "Table Exists query:" + tableName);
    if (m_dbType == DbType::DBaseXBase) {
        report(Debug, "Need to define USE_XBASE!!");
        return false;
    }
    try {
        return tableExists(tableName);
    } catch (const ado::ComError& e) {
        report(Debug, ComErrorText(m_connection.get(), e));
    } catch (...) {
        report(Debug, "Unknown Error occured in DoTableExists");
    }
    return false;
}

const std::set<XString>* ODBCDataAccess::catalogueColumns(const XString& tableName) {
    if (m_options & GenericProbes) {
        return nullptr;
    }
    const std::pair<int, XString> key(m_dbType, tableName.toUpper());
    const auto known = m_sourceCatalogue.find(key);
    if (known != m_sourceCatalogue.end()) {
        return &known->second;
    }
    const XString name = SqlText::escaped(tableName);
    XString query;
    switch (m_dbType) {
        case DbType::OracleODBC:
        case DbType::OracleOLE:
        case DbType::OracleMSDAORA:
            query = "SELECT column_name FROM all_tab_columns WHERE UPPER(table_name) = UPPER('" + name + "')";
            break;
        case DbType::MSSQL:
        case DbType::SybaseODBC:
            query =
                "SELECT syscolumns.name FROM syscolumns JOIN sysobjects ON syscolumns.id=sysobjects.id WHERE "
                "(sysobjects.xtype = 'U' OR sysobjects.xtype = 'V') AND UPPER(sysobjects.name) = UPPER('" +
                name + "')";
            if (m_dbType == DbType::SybaseODBC) {
                query.replaceAll("xtype", "type");
            }
            break;
        case DbType::SQLite:
            query = "SELECT name FROM pragma_table_info('" + name + "')";
            break;
        case DbType::MySQL:
            query =
                "SELECT column_name FROM information_schema.COLUMNS C WHERE (table_name = '" + name + "')";
            break;
        default:
            return nullptr;  // the probes of one table or column at a time answer
    }
    // Every existence question about a view is answered from one read of its columns.
    report(Proprietary, "Columns query:" + query);
    std::set<XString> columns;
    auto probe = openProbe(query);
    for (; !probe->eof(); probe->moveNext()) {
        columns.insert(VariantText(probe->value(0)).trimmed().toUpper());
    }
    return &(m_sourceCatalogue[key] = std::move(columns));
}

bool ODBCDataAccess::tableExists(const XString& tableName) {
    // The sources whose catalogue lists a table's columns (Oracle, SQL Server, Sybase ODBC, SQLite, MySQL)
    // are answered from that list; the probes below serve the others.
    if (const std::set<XString>* columns = catalogueColumns(tableName)) {
        return !columns->empty();
    }
    const XString name = SqlText::escaped(tableName);
    XString query;
    Judgement judgement = Judgement::Count;
    if (m_options & GenericProbes) {
        query = "SELECT * FROM " + tableName;
        judgement = Judgement::Ran;
    } else {
        switch (m_dbType) {
            case DbType::DBaseODBC:
            case DbType::FoxProODBC:
                query = "SELECT * FROM " + tableName;
                judgement = Judgement::Ran;
                break;
            case DbType::FoxProDBF:
            case DbType::SybaseOLE:
                query = "SELECT COUNT(*) FROM " + tableName;
                judgement = Judgement::Ran;
                break;
            case DbType::Access: {
                const XString catalogue =
                    "SELECT Name FROM MSysObjects WHERE Type=1 AND Flags=0 AND Name='" + name + "'";
                query = TrialQuery(catalogue) ? catalogue : "Select COUNT(*) From " + tableName;
                break;
            }
            case DbType::Postgres:
                query = "SELECT tablename FROM pg_tables WHERE tableowner = current_user AND tablename = " +
                        postgresName(tableName);
                break;
            case DbType::Progress:
                query = "SELECT DISTINCT tbl FROM sysprogress.\"SYSTABLES\" WHERE UPPER(tbl) = UPPER('" +
                        name + "')";
                break;
            case DbType::Informix: {
                const XString catalogue = "SELECT COUNT(*) FROM systables WHERE tabname = '" + name + "'";
                query = TrialQuery(catalogue) ? catalogue : "Select COUNT(*) From " + tableName;
                judgement = Judgement::Value;
                break;
            }
            case DbType::TopSpeed:
            case DbType::LotusNotes:
                query = "Select COUNT(*) From " + tableName;
                judgement = Judgement::Ran;
                break;
            case DbType::CADatacom:
                query = "Select COUNT(*) From " + tableName;
                judgement = Judgement::Value;
                break;
            default:
                throw XException("DB Type not defined for TableExists yet, feel free to do so.");
        }
    }
    report(Proprietary, "Table Exists query:" + query);
    auto probe = openProbe(query);
    const bool exists = judge(probe, judgement, false);
    probe.reset();
    return exists;
}

bool ODBCDataAccess::FieldExists(const XString& tableName, const XString& columnName) {
    if (m_dbType == DbType::DBaseXBase) {
        return false;
    }
    try {
        return fieldExists(tableName, columnName);
    } catch (const ado::ComError& e) {
        report(Debug, ComErrorText(m_connection.get(), e));
    } catch (...) {
        report(Debug, "Unknown Error in DoFieldExists");
    }
    return false;
}

bool ODBCDataAccess::fieldExists(const XString& tableName, const XString& columnName) {
    // As for tables: the catalogue's column list answers where it exists, the probes below elsewhere.
    if (const std::set<XString>* columns = catalogueColumns(tableName)) {
        return columns->count(columnName.toUpper()) != 0;
    }
    const XString table = SqlText::escaped(tableName);
    const XString column = SqlText::escaped(columnName);
    XString query;
    Judgement judgement = Judgement::Count;
    if (m_options & GenericProbes) {
        query = "SELECT " + columnName + " FROM " + tableName;
        judgement = Judgement::Ran;
    } else {
        switch (m_dbType) {
            case DbType::DBaseODBC:
            case DbType::FoxProODBC:
            case DbType::SybaseOLE:
                query = "SELECT " + columnName + " FROM " + tableName;
                judgement = Judgement::Ran;
                break;
            case DbType::FoxProDBF:
                query = "SELECT COUNT(" + columnName + ") FROM " + tableName;
                judgement = Judgement::Ran;
                break;
            case DbType::Access:
            case DbType::CADatacom:
                query = "Select COUNT(" + columnName + ") From " + tableName;
                break;
            case DbType::Postgres:
                query = "SELECT attname AS testfield FROM pg_class, pg_attribute WHERE relname = " +
                        postgresName(tableName) +
                        " AND pg_class.oid = attrelid  AND attnum > 0 AND attname='" + column + "'";
                break;
            case DbType::Progress:
                query = "SELECT \"_Field-Name\" FROM pub.\"_field\" WHERE \"_Field-Name\" = '" + column +
                        "' AND \"_file-recid\" = (SELECT ROWID FROM pub.\"_file\" WHERE \"_file-name\" = '" +
                        table + "')";
                break;
            case DbType::Informix: {
                query = "select tabid from systables where tabname='" + table + "' and colname = '" + column +
                        "' ";
                if (!TrialQuery(query)) {
                    report(Debug, "TrialQuery Failed.  Trying Count");
                    report(Proprietary, "TrialQuery Failed: " + query);
                    query = "Select COUNT(" + columnName + ") From " + tableName;
                }
                judgement = Judgement::Value;
                break;
            }
            case DbType::TopSpeed:
                query = "Select COUNT(" + columnName + ") From " + tableName;
                judgement = Judgement::Ran;
                break;
            case DbType::LotusNotes:
                query = "SELECT \"" + columnName + "\" FROM \"" + tableName + "\"";
                judgement = Judgement::Ran;
                break;
            default:
                throw XException("DB Type not defined for FieldExists yet, feel free to do so.");
        }
    }
    report(Proprietary, "Field Exists query:" + query);
    auto probe = openProbe(query);
    report(Debug, "Query Succeeded.");
    if (!judge(probe, judgement, true)) {
        return false;
    }
    probe.reset();
    report(Debug, "Field Valid.");
    return true;
}

bool ODBCDataAccess::TrialQuery(const XString& queryText) {
    try {
        openProbe(queryText);
        return true;
    } catch (...) {
        return false;
    }
}

bool ODBCDataAccess::TableExistsConnected(const XString& connectionString, const XString& tableName,
                                          bool keepConnection) {
    bool connectedHere = false;
    if (!IsConnected()) {
        Connect(connectionString);
        connectedHere = true;
    }
    const bool exists = TableExists(tableName);
    if (connectedHere && !keepConnection) {
        Disconnect();
    }
    return exists;
}

void ODBCDataAccess::logSchema() {
    report(Informational, "Logging Schema...");
    XString query;
    switch (m_dbType) {
        case DbType::MSSQL:
        case DbType::SybaseODBC:
            query =
                "SELECT sysobjects.name as table_name, syscolumns.name as column_name FROM syscolumns JOIN "
                "sysobjects ON syscolumns.id=sysobjects.id";
            break;
        case DbType::MySQL:
            query =
                "SELECT table_name as table_name, column_name as column_name FROM information_schema.COLUMNS "
                "C";
            break;
        case DbType::SQLite:
            query = "SELECT name as table_name, sql as column_name FROM sqlite_master ";
            break;
        case DbType::Postgres:
            query =
                "SELECT relname as table_name, attname as column_name FROM pg_class, pg_attribute WHERE "
                "pg_class.oid = attrelid  AND attnum > 0";
            break;
        case DbType::OracleODBC:
        case DbType::OracleOLE:
        case DbType::OracleMSDAORA:
            query = "SELECT table_name as table_name, column_name as column_name FROM all_tab_columns ";
            break;
        default:
            break;
    }
    report(Informational, query);
    RunQuery(query);
    for (int i = 0, count = FieldCount(); i < count; ++i) {
        report(Informational, FieldName(i) + " - " + FieldTypeName(i));
    }
    for (bool more = GetFirstRecord(); more; more = GetNextRecord()) {
        report(Informational, VariantText(m_recordset->value(0)) + "::" + VariantText(m_recordset->value(1)));
    }
    CloseQuery();
}

void ODBCDataAccess::DumpTableColumns(const ODBCTable& table) {
    report(Debug, table.source + " contents:");
    try {
        // A connection of its own, so that the current result and declaration stay as they are.
        ado::Connection connection;
        connection.setMode(ado::Connection::adModeRead);
        connection.setConnectionTimeout(connectionTimeout());
        connection.setCommandTimeout(commandTimeout());
        connection.open(m_lastConnectionString.toQString());
        {
            ado::Recordset columns;
            columns.open(("SELECT * FROM " + table.source).toQString(), connection,
                         ado::Recordset::adOpenForwardOnly, ado::Recordset::adLockReadOnly,
                         ado::Recordset::adCmdText);
            for (int i = 0; i < columns.fieldCount(); ++i) {
                report(Debug, XString(columns.field(i).name()));
            }
        }
        connection.close();
    } catch (...) {
        // A diagnostic only: a table that cannot be listed leaves just the heading line.
    }
}

int ODBCDataAccess::FieldCount() {
    if (m_dbType == DbType::DBaseXBase || !m_recordset || !m_recordset->isOpen()) {
        return 0;
    }
    return m_recordset->fieldCount();
}

XString ODBCDataAccess::FieldName(int index) {
    if (m_dbType == DbType::DBaseXBase || !m_recordset || !m_recordset->isOpen()) {
        return XString();
    }
    return XString(m_recordset->field(index).name());
}

XString ODBCDataAccess::FieldTypeName(int index) {
    if (m_dbType == DbType::DBaseXBase || !m_recordset || !m_recordset->isOpen()) {
        return XString();
    }
    return ValueTranslation::typeName(m_recordset->field(index).type());
}
