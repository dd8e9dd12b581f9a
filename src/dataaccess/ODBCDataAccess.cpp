#include "dataaccess/ODBCDataAccess.h"

#include "dataaccess/ComErrorText.h"
#include "dataaccess/ConnectionString.h"
#include "dataaccess/DbType.h"
#include "dataaccess/FormatRules.h"
#include "dataaccess/SqlDate.h"
#include "dataaccess/SqlQueryBuilder.h"
#include "dataaccess/SqlText.h"
#include "dataaccess/ValueTranslation.h"
#include "libraries/ado/Connection.h"
#include "libraries/ado/Recordset.h"
#include "libraries/support/XException.h"

#include <algorithm>
#include <utility>

namespace {

constexpr const char* addConditionMethod = "ODBCDataAccess::AddCondition";

// Formats with the system's "raise with a format" rule: cut to 1024 characters, thrown, not logged.
[[noreturn]] void raise(const char* format, const XString& argument) {
    XException::raise(0, format, argument.c_str());
}

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
    AddColumnBinding(field, columnName, bound, command);
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

// --- Connection ---

XString ODBCDataAccess::BuildConnectionString(const XString& dataSourceText,
                                              const std::optional<XString>& user,
                                              const std::optional<XString>& password) {
    report(Debug, "Build Connection String for: " + DbTypeName());
    if (m_dbType == DbType::DBaseXBase) {
        report(Debug, DbTypeName());
    } else if (m_dbType == DbType::FoxProDBF) {
        report(Debug, "Build Connection String: Fox Pro DBF Driver");
    }
    try {
        return ConnectionString::build(m_dbType, dataSource(), dataSourceText, user, password);
    } catch (const XException& e) {
        reportAndThrow(Debug, XString(e.message()));
    }
}

void ODBCDataAccess::Connect(const XString& connectionString) {
    if (IsConnected() && m_holdConnection && connectionString == m_lastConnectionString) {
        // The connection of the run serves every question put to the same source: only a result still
        // being streamed is released, as a disconnect would.
        releaseStreamedResult();
        return;
    }
    if (IsConnected()) {
        closeConnection();
    }
    m_sourceCatalogue.clear();
    if (m_dbType == DbType::DBaseXBase) {
        report(Informational, "Connect - Could not connect need to define USE_XBASE");
        return;
    }
    m_lastConnectionString = connectionString;
    try {
        if (m_options & Exclusive) {
            m_connection->setMode(ado::Connection::adModeShareExclusive);
            report(Debug, "Open in Exclusive Access Mode.");
        } else {
            m_connection->setMode(ado::Connection::adModeRead);
            report(Debug, "Open in Read Only Access Mode.");
        }
        m_connection->setConnectionTimeout(connectionTimeout());
        m_connection->setCommandTimeout(commandTimeout());
        m_connection->open(connectionString.toQString(), QString(), QString(), 0);
    } catch (const ado::ComError& e) {
        throw XException(ComErrorText(m_connection.get(), e).toStdString());
    }
    report(Debug, "Connected to data source.");
}

void ODBCDataAccess::Disconnect() {
    if (m_dbType == DbType::DBaseXBase) {
        report(Informational, "Disconnect: Xbase not defined!");
        return;
    }
    if (m_holdConnection) {
        releaseStreamedResult();
        return;
    }
    closeConnection();
}

void ODBCDataAccess::releaseStreamedResult() {
    // A static result holds its rows without the connection; a forward-only one must go first.
    if (m_recordset && m_recordset->cursorType() == ado::Recordset::adOpenForwardOnly) {
        m_recordset.reset();
    }
}

void ODBCDataAccess::closeConnection() {
    releaseStreamedResult();
    if (m_connection->isOpen()) {
        m_connection->close();
    }
}

void ODBCDataAccess::HoldConnection(bool hold) {
    m_holdConnection = hold;
}

bool ODBCDataAccess::IsConnected() const {
    return m_connection->isOpen();
}

void ODBCDataAccess::SetDataSource(const XString& text) {
    if (IsConnected()) {
        Disconnect();
    }
    setDataSource(text);
}

void ODBCDataAccess::Reconnect() {
    // A lost connection is opened anew, held or not.
    closeConnection();
    Connect(m_lastConnectionString);
}

void ODBCDataAccess::StartSource(const XString& connectionString, bool keepConnection) {
    StartWriter();
    m_keepConnection = keepConnection;
    Connect(connectionString);
    if (value("logSchema") == QLatin1String("true")) {
        try {
            logSchema();
        } catch (...) {
            // The schema log is a diagnostic; a source that cannot list its catalogue still extracts.
        }
    }
}

void ODBCDataAccess::FinishWriter() {
    report(Informational, "Finished Extraction");
    report(Debug, "Finishing Import");
    if (!m_keepConnection) {
        report(Debug, "Disconnecting");
        closeConnection();
    }
    report(Debug, "Saving Bridge Config");
    SaveBridgeConfig();
    report(Debug, "Clearing Run Data");
    ClearHeaders();
    report(Progress, "Export complete.");
    emit writeProgress("end_progress", -1);
    report(Debug, "End Extract Log");
    report(Debug, "Extract Log Ended");
    emit writeProgress("bridge_complete", -1);
}

void ODBCDataAccess::SendError(const XString& context, const XString& text) {
    emit writeError("Error", (context + ": " + text).toQString());
}

XString ODBCDataAccess::ComErrorText(const ado::Connection* connection, const ado::ComError& error) {
    const XString text = ComErrorText::build(connection ? &connection->errors() : nullptr, error);
    report(Debug, text);
    return text;
}

int ODBCDataAccess::ClassifyConnectionError(const XString& text) {
    return ComErrorText::classify(text);
}

// --- Running and stepping ---

bool ODBCDataAccess::ExecuteQuery() {
    return OpenQuery() == 0;
}

int ODBCDataAccess::OpenQuery(RowPasses passes) {
    return RunQuery(BuildQuery(), passes);
}

int ODBCDataAccess::RunQuery(const XString& queryText, RowPasses passes) {
    report(Debug, "Running Query", "ODBCDataAccess::RunQuery");
    if (m_dbType == DbType::DBaseXBase) {
        return 0;
    }
    try {
        m_recordset = std::make_unique<ado::Recordset>();
    } catch (const std::exception&) {
        raise("Failed to create query object for: %s", BuildQuery());
    }
    report(Proprietary, queryText);
    try {
        m_recordset->setCursorLocation(ado::Recordset::adUseClient);
        m_recordset->setCursorType(ado::Recordset::adOpenStatic);
        m_recordset->open(
            queryText.toQString(), *m_connection,
            ((m_options & ForwardOnly) || passes == RowPasses::Once) ? ado::Recordset::adOpenForwardOnly
                                                                     : ado::Recordset::adOpenStatic,
            (m_options & Pessimistic) ? ado::Recordset::adLockPessimistic : ado::Recordset::adLockReadOnly,
            ado::Recordset::adCmdText);
    } catch (const ado::ComError& e) {
        const XString text = ComErrorText(m_connection.get(), e);
        report(Proprietary, "RunQuery: While executing: " + queryText + ", " + text);
        const int status = ClassifyConnectionError(text);
        if (status > 1) {
            return status;
        }
        raise("While executing query: %s", ComErrorText(m_connection.get(), e));
    }
    return 0;
}

bool ODBCDataAccess::GetFirstRecord() {
    if (m_dbType == DbType::DBaseXBase || !m_recordset) {
        return false;
    }
    try {
        if (m_recordset->eof() && m_recordset->bof()) {
            return false;
        }
        m_recordset->moveFirst();
        return !m_recordset->eof();
    } catch (const ado::ComError& e) {
        report(Debug, "GetFirstRecord Error: " + XString(e.description()));
    } catch (...) {
        report(Debug, "GetFirstRecord Error: Unknown");
    }
    return false;
}

bool ODBCDataAccess::GetNextRecord() {
    if (m_dbType == DbType::DBaseXBase || !m_recordset) {
        return false;
    }
    try {
        m_recordset->moveNext();
        return !m_recordset->eof();
    } catch (const ado::ComError& e) {
        // Moving past the end is the end; anything else is the source failing while a forward-only result
        // is fetched, and reading that as the end would cut the table short without a word.
        if (e.hresult() == ado::ComError::NoCurrentRecord || e.hresult() == ado::ComError::ObjectClosed) {
            return false;
        }
        throw XException(ComErrorText(m_connection.get(), e).toStdString());
    }
}

void ODBCDataAccess::CloseQuery() {
    ClearQuery();
    if (m_dbType == DbType::DBaseXBase) {
        return;
    }
    if (m_recordset && m_recordset->isOpen()) {
        m_recordset->close();
    }
    m_recordset.reset();
}

int ODBCDataAccess::GetRecordCount() {
    if (m_dbType == DbType::DBaseXBase || !m_recordset) {
        return 0;
    }
    long long count = -1;
    try {
        count = m_recordset->recordCount();
        report(Debug, "GetRecordCount: Finishing Getting Record Count.");
    } catch (const ado::ComError& e) {
        report(Debug, "GetRecordCount: " + ComErrorText(m_connection.get(), e));
        count = -1;
    }
    report(Debug, "GetRecordCount: Validating RecordCount.");
    if (count == -1) {
        report(Debug, "GetRecordCount: Lets determine record count manually.");
        count = 0;
        for (bool more = GetFirstRecord(); more; more = GetNextRecord()) {
            ++count;
        }
    } else {
        report(Debug, "GetRecordCount: Driver supports RecordCount");
    }
    const int result = static_cast<int>(std::min<long long>(count, 0x7FFFFFFF));
    report(Debug, "GetRecordCount: Found Record Count of " + XString(result));
    return result;
}

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

// --- Typed readers ---

bool ODBCDataAccess::readable(DataAccessField* field) const {
    return field && m_dbType != DbType::DBaseXBase && m_recordset;
}

ado::Variant ODBCDataAccess::valueOf(DataAccessField* field) {
    const auto* odbcField = static_cast<const ODBCField*>(field);
    if (m_options & ValuesByName) {
        return m_recordset->field(odbcField->name.toQString()).value();
    }
    return m_recordset->value(odbcField->ordinal);
}

void ODBCDataAccess::warnOracleInteger() {
    report(Warning, "Possibly wrong type trying as Int", "ODBCDataAccess::TranslateInt");
}

XString ODBCDataAccess::VariantText(const ado::Variant& value) {
    return ValueTranslation::text(value, m_dbType, [this] { warnOracleInteger(); });
}

int32_t ODBCDataAccess::TranslateInt(const ado::Variant& value) {
    return ValueTranslation::toInt(value, m_dbType, [this] { warnOracleInteger(); });
}

bool ODBCDataAccess::TranslateBool(const ado::Variant& value) {
    return ValueTranslation::toBool(value);
}

XString ODBCDataAccess::GetFieldRawText(DataAccessField* field) {
    if (!readable(field)) {
        return XString();
    }
    try {
        if (!(m_options & ValuesByName)) {
            // Text, the most common value, is narrowed where the recordset holds it.
            const auto text = m_recordset->textValue(static_cast<const ODBCField*>(field)->ordinal);
            if (text) {
                return ValueTranslation::narrow(*text);
            }
        }
        return VariantText(valueOf(field));
    } catch (const ado::ComError& e) {
        int status = 0;
        try {
            const auto* odbcField = static_cast<const ODBCField*>(field);
            status = (m_options & ValuesByName) ? m_recordset->field(odbcField->name.toQString()).status()
                                                : m_recordset->field(odbcField->ordinal).status();
        } catch (const ado::ComError&) {
            // The column itself cannot be found: its status stays OK, the error text says why.
        }
        const XString text =
            ComErrorText(m_connection.get(), e) + " Field Status: " + ValueTranslation::statusText(status);
        throw XException(text.toStdString(), status);
    }
}

XString ODBCDataAccess::GetFieldText(DataAccessField* field) {
    XString text = GetFieldRawText(field);
    FormatRules::trimEnds(text);
    if (text.find('\t') >= 0) {
        text.removeChars("\t");
    }
    return text;
}

XString ODBCDataAccess::GetFieldSingleLine(DataAccessField* field) {
    if (!field) {
        return XString();
    }
    return FormatRules::columnText(GetFieldText(field));
}

ByteBuffer ODBCDataAccess::GetFieldBytes(DataAccessField* field) {
    ByteBuffer buffer(50);
    if (!readable(field)) {
        return buffer;
    }
    const auto* odbcField = static_cast<const ODBCField*>(field);
    try {
        ado::Field column = (m_options & ValuesByName) ? m_recordset->field(odbcField->name.toQString())
                                                       : m_recordset->field(odbcField->ordinal);
        const long long size = column.actualSize();
        const ado::Variant value =
            (column.attributes() & ado::adFldLong) ? column.getChunk(size) : column.value();
        if (value.type() == (ado::VT_ARRAY | ado::VT_UI1)) {
            const QByteArray& bytes = value.bytes();
            buffer.assign(bytes.constData(), static_cast<int>(std::min<long long>(size, bytes.size())));
        } else if (value.type() == ado::VT_BSTR) {
            const XString text = ValueTranslation::narrow(value.text());
            buffer.assign(text.c_str(), std::min(static_cast<int>(size), text.length()));
        }
    } catch (...) {
        report(Debug, "Could not read ByteArray Field value from " + odbcField->name);
        buffer.clear();
    }
    return buffer;
}

XDate ODBCDataAccess::GetFieldDate(DataAccessField* field) {
    if (!readable(field)) {
        return XDate();
    }
    const ado::Variant value = valueOf(field);
    if (value.type() != ado::VT_DATE) {
        return XDate();
    }
    const ado::DateParts parts = ado::Variant::dateParts(value.r8());
    return XDate(parts.year, parts.month, parts.day);
}

XDateTime ODBCDataAccess::GetFieldDateTime(DataAccessField* field) {
    if (!readable(field)) {
        return XDateTime();
    }
    const ado::Variant value = valueOf(field);
    if (value.type() != ado::VT_DATE) {
        return XDateTime();
    }
    const ado::DateParts parts = ado::Variant::dateParts(value.r8());
    return XDateTime(XDate(parts.year, parts.month, parts.day),
                     XTime(parts.hour, parts.minute, parts.second, parts.millisecond));
}

XTime ODBCDataAccess::GetFieldTime(DataAccessField* field) {
    if (!readable(field)) {
        return XTime();
    }
    const ado::Variant value = valueOf(field);
    if (value.type() != ado::VT_DATE) {
        return XTime();
    }
    const ado::DateParts parts = ado::Variant::dateParts(value.r8());
    return XTime(parts.hour, parts.minute, parts.second, parts.millisecond);
}

int32_t ODBCDataAccess::GetFieldInt(DataAccessField* field) {
    return readable(field) ? TranslateInt(valueOf(field)) : 0;
}

int32_t ODBCDataAccess::GetFieldLong(DataAccessField* field) {
    if (!readable(field)) {
        return 0;
    }
    return ValueTranslation::toInt(
        valueOf(field), m_dbType, [this] { warnOracleInteger(); }, true);
}

float ODBCDataAccess::GetFieldFloat(DataAccessField* field) {
    return readable(field) ? static_cast<float>(ValueTranslation::toDouble(valueOf(field), false)) : 0.0f;
}

double ODBCDataAccess::GetFieldDouble(DataAccessField* field) {
    return readable(field) ? ValueTranslation::toDouble(valueOf(field), true) : 0.0;
}

bool ODBCDataAccess::GetFieldBool(DataAccessField* field) {
    return readable(field) && TranslateBool(valueOf(field));
}

XString ODBCDataAccess::GetFieldBoolDigit(DataAccessField* field) {
    if (!field) {
        return XString();
    }
    return GetFieldBool(field) ? "1" : "0";
}

bool ODBCDataAccess::IsFieldNull(DataAccessField* field) {
    return readable(field) && valueOf(field).isNull();
}

XString ODBCDataAccess::GetFieldTextNoZero(DataAccessField* field) {
    return FormatRules::noZero(GetFieldText(field));
}

XString ODBCDataAccess::GetFieldTextNoNA(DataAccessField* field) {
    return FormatRules::noNA(GetFieldText(field));
}

XString ODBCDataAccess::GetFieldSingleLineNoZero(DataAccessField* field) {
    return FormatRules::noZero(GetFieldSingleLine(field).trimmed());
}

XDate ODBCDataAccess::GetFieldDateNo1900(DataAccessField* field) {
    const XDate date = GetFieldDate(field);
    return date == XDate(1900, 1, 1) ? XDate() : date;
}
