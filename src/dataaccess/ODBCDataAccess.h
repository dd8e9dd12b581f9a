// ODBCDataAccess: the data access layer over the ADO-like access library (libraries/ado): one connection,
// one current result, the query declaration, and SQL for 21 database types.
//
// The engine declares a query between ClearQuery and OpenTable (AddTable, AddField, AddCondition, AddOrder),
// the writer opens it and steps through its records, and the value formatters read the current record
// through the typed readers. Values are found by the field's ordinal (its position in the select list), so
// reading a value costs one array access and the conversion of that value.
//
// Options (bits given at construction): 0x02 check that declared tables and fields exist; 0x04 find values by
// column name; 0x08 forward-only results; 0x10 pessimistic locking; 0x20 exclusive instead of read-only
// connections; 0x40 log a table's columns when a declared field is missing; 0x80 probe existence with plain
// SELECTs instead of the catalogue.
//
// Owns: the connection, the current result, the query declaration (every descriptor the Add operations hand
// out, valid until the next ClearQuery), and the last connection string.
// Invariants: the connection string and the password never reach a log line, a host message or an exception
// text; every text value placed in a quoted SQL literal by this layer has its apostrophes doubled.
// REQUIRES: one thread; descriptors passed back in belong to this layer's current declaration.
#pragma once

#include "dataaccess/AttendanceFilter.h"
#include "dataaccess/DataAccessBase.h"
#include "dataaccess/ODBCCondition.h"
#include "dataaccess/ODBCField.h"
#include "dataaccess/ODBCOrder.h"
#include "dataaccess/ODBCTable.h"
#include "dataaccess/QueryDeclaration.h"
#include "libraries/ado/ComError.h"
#include "libraries/ado/Variant.h"

#include <map>
#include <memory>
#include <optional>
#include <set>

namespace ado {
class Connection;
class Recordset;
}  // namespace ado

class ODBCDataAccess : public DataAccessBase {
    Q_OBJECT
    Q_DISABLE_COPY(ODBCDataAccess)

  public:
    enum Option : int {
        CheckExistence = 0x02,
        ValuesByName = 0x04,
        ForwardOnly = 0x08,
        Pessimistic = 0x10,
        Exclusive = 0x20,
        DumpColumnsOfMissing = 0x40,
        GenericProbes = 0x80,
    };

    // Throws XException "Failed to initialize connection." when the connection object cannot be made.
    explicit ODBCDataAccess(int options, int dbType, QObject* parent = nullptr);
    ~ODBCDataAccess() override;

    int options() const { return m_options; }
    void setOptions(int options) { m_options = options; }
    int dbType() const { return m_dbType; }
    void setDbType(int dbType) { m_dbType = dbType; }
    // The display name of the database type ("Oracle (ODBC)"); empty when not set.
    XString DbTypeName() const;
    // Set directly by the engine around a query that needs SELECT DISTINCT.
    bool distinct = false;

    // --- Declaration ---

    // The table, or null when it does not exist (with option 0x02) and is not required; a missing required
    // table is reported and thrown ("Table does not exist : " + name). An empty alias becomes the source.
    ODBCTable* AddTable(const XString& name, const XString& alias = XString(), bool required = true,
                        const XString& source = XString());
    // The column with the next ordinal; null when it does not exist (with option 0x02) and is not required.
    // A missing required column is reported and thrown ("Required Field does not exist : ...").
    ODBCField* NewField(DataAccessTable* table, const XString& columnName, bool required) override;
    ODBCField* NewPlainField(DataAccessTable* table, const XString& columnName) override;
    // Declares the column (when table is given) and binds it to the next output column outputName with the
    // formatter. Null when the column is missing and not required (nothing is bound then).
    ODBCField* AddField(ODBCTable* table, const XString& columnName, Formatter formatter,
                        const XString& outputName, bool required = true, int command = 0);
    ODBCField* AddCustomField(ODBCTable* table, const XString& columnName, Formatter formatter,
                              const XString& outputName, bool required, const XString& customName,
                              const XString& customTitle, const XString& customKind,
                              const XString& customFormat, int command = 0);
    // A computed column: prefix + " " + alias.column + " " + suffix, named alias. No existence check.
    ODBCField* AddExpressionField(const XString& prefix, ODBCField* baseField, const XString& suffix,
                                  const XString& alias);
    // field op literal; literal is written as given (quote text with SqlLiteral, dates with SQLDate).
    // A null field is reported and thrown.
    ODBCCondition* AddCondition(const XString& conjunction, ODBCField* field, const XString& op,
                                const XString& literal, int level = 0);
    // field op secondField (a join). A null field or secondField is reported and thrown.
    ODBCCondition* AddCondition(const XString& conjunction, ODBCField* field, const XString& op,
                                ODBCField* secondField, int level = 0);
    // Null (with a Warning) for a null field.
    ODBCOrder* AddOrder(ODBCField* field, bool descending = false);
    // Deletes the declaration; also forgets the attendance filter's fields, which belong to it.
    void ClearQuery() override;
    const QueryDeclaration& declaration() const { return m_declaration; }

    // value as a quoted SQL string literal with its apostrophes doubled: O'Neil -> 'O''Neil'.
    static XString SqlLiteral(const XString& value);

    // --- SQL ---

    XString BuildQuery() override;
    // The date literal for type (0 = this layer's type).
    virtual XString SQLDate(const XDate& date, int type = 0);
    void FilterAttendance(const XDate& from, const XDate& to) override;
    void ResetAttendanceFilter() override;
    // The change-date fields of the attendance query (primary: creation date; secondary: modification).
    void SetAttendanceChangeFields(ODBCField* primary, ODBCField* secondary);
    // The absence date field of the attendance query, which FilterAttendanceWithAbsences reads by.
    void SetAttendanceDateField(ODBCField* field);
    // Replaces the attendance filter's conditions: the records changed between from and to, and every
    // absence dated from absenceFrom to absenceTo whatever its change dates, in one query.
    void FilterAttendanceWithAbsences(const XDate& from, const XDate& to, const XDate& absenceFrom,
                                      const XDate& absenceTo);
    // The attendance writer forgets the previous table's filter conditions by setting the count to 0.
    void SetFilterConditionCount(int count) { m_attendanceFilter.setConditionCount(count); }
    int filterConditionCount() const { return m_attendanceFilter.conditionCount(); }

    // --- Connection ---

    // The ADO-style connection string for this layer's type. user and password may be absent.
    virtual XString BuildConnectionString(const XString& dataSource,
                                          const std::optional<XString>& user = std::nullopt,
                                          const std::optional<XString>& password = std::nullopt);
    // Opens the connection (closing an open one first). Throws XException with the driver's diagnostics.
    // While the connection is held, a connection open to the same string is kept instead.
    void Connect(const XString& connectionString);
    // Closes the connection; while it is held, only releases a result being streamed.
    void Disconnect();
    // Holds the connection: the questions of a run or a host request share one connection to the source
    // (each costs a login otherwise) until the run ends (FinishWriter), the connection string changes, a
    // lost connection is opened anew (Reconnect) or this object goes.
    void HoldConnection(bool hold);
    // Forgets what the catalogue said about tables and columns (it is asked once per table and connection).
    void ForgetCatalogue() { m_sourceCatalogue.clear(); }
    bool IsConnected() const;
    // Disconnects when connected, then sets the data source.
    void SetDataSource(const XString& dataSource);
    void Reconnect() override;
    // Start of a run: the writer's configuration check, Connect, and the schema log when "logSchema" is
    // "true" (its failures are ignored).
    void StartSource(const XString& connectionString, bool keepConnection);
    // End of a run: disconnects (unless kept), saves the configuration, reports the end to the host.
    void FinishWriter() override;
    // A host error line: context + ": " + text.
    virtual void SendError(const XString& context, const XString& text);
    // The text of an access error, with connection's error list when given; logged at Debug level.
    XString ComErrorText(const ado::Connection* connection, const ado::ComError& error);
    // 1 for an ordinary error, 1629 for a lost Oracle connection, 12170 for an Oracle connect timeout.
    static int ClassifyConnectionError(const XString& text);

    // --- Running and stepping ---

    bool ExecuteQuery() override;
    int OpenQuery(RowPasses passes = RowPasses::Repeated) override;
    // Runs queryText as the current result. 0 when opened, a reconnect code when the connection was lost;
    // other failures throw XException "While executing query: " + the error text. A result read once is
    // forward-only (streamed, the connection stays in use until it is closed); otherwise the cursor is
    // static unless option 0x08 asks for forward-only results.
    int RunQuery(const XString& queryText, RowPasses passes = RowPasses::Repeated);
    bool GetFirstRecord() override;
    // Throws XException when the source fails while a forward-only result is fetched.
    bool GetNextRecord() override;
    void CloseQuery() override;
    int GetRecordCount() override;

    // --- Schema probes (never throw; a failure reads as absence) ---

    bool TableExists(const XString& tableName);
    bool FieldExists(const XString& tableName, const XString& columnName);
    bool TrialQuery(const XString& queryText);
    bool TableExistsConnected(const XString& connectionString, const XString& tableName, bool keepConnection);
    // Logs every table and column of the source (Informational).
    void logSchema();
    // Logs the column names of table (Debug).
    void DumpTableColumns(const ODBCTable& table);
    int FieldCount();
    XString FieldName(int index);
    XString FieldTypeName(int index);

    // --- Typed readers ---

    XString GetFieldRawText(DataAccessField* field) override;
    XString GetFieldText(DataAccessField* field) override;
    // Text values are narrowed and ruled where the result holds them, into out.
    void AppendFieldText(DataAccessField* field, TextRule rule, std::string& out) override;
    XString GetFieldSingleLine(DataAccessField* field) override;
    ByteBuffer GetFieldBytes(DataAccessField* field) override;
    XDate GetFieldDate(DataAccessField* field) override;
    XDateTime GetFieldDateTime(DataAccessField* field) override;
    XTime GetFieldTime(DataAccessField* field) override;
    int32_t GetFieldInt(DataAccessField* field) override;
    int32_t GetFieldLong(DataAccessField* field) override;
    float GetFieldFloat(DataAccessField* field) override;
    double GetFieldDouble(DataAccessField* field) override;
    bool GetFieldBool(DataAccessField* field) override;
    XString GetFieldBoolDigit(DataAccessField* field) override;
    bool IsFieldNull(DataAccessField* field) override;
    virtual XString GetFieldTextNoZero(DataAccessField* field);
    virtual XString GetFieldTextNoNA(DataAccessField* field);
    virtual XString GetFieldSingleLineNoZero(DataAccessField* field);
    virtual XDate GetFieldDateNo1900(DataAccessField* field);

    // The conversions behind the readers.
    XString VariantText(const ado::Variant& value);
    int32_t TranslateInt(const ado::Variant& value);
    bool TranslateBool(const ado::Variant& value);

  private:
    enum class Judgement { Ran, Count, Value };

    // The value of field in the current record. REQUIRES: field is not null and a result is open.
    ado::Variant valueOf(DataAccessField* field);
    // VariantText of the field's value; a column that cannot be read raises as throwFieldError does.
    XString variantText(DataAccessField* field);
    // Whether values can be read at all (a result exists and the type is not XBase).
    bool readable(DataAccessField* field) const;
    // The text reader's error for a column that could not be read: the error text with the field's status.
    [[noreturn]] void throwFieldError(DataAccessField* field, const ado::ComError& error);
    void warnOracleInteger();
    std::unique_ptr<ado::Recordset> openProbe(const XString& queryText);
    bool judge(std::unique_ptr<ado::Recordset>& probe, Judgement judgement, bool logSteps);
    bool tableExists(const XString& tableName);
    bool fieldExists(const XString& tableName, const XString& columnName);
    void releaseStreamedResult();
    void closeConnection();
    // The columns of a table (upper case) from one catalogue query per table, database type and
    // connection; null for a database type whose catalogue cannot list them (or a failing query).
    const std::set<XString>* catalogueColumns(const XString& tableName);

    int m_options;
    int m_dbType;
    bool m_keepConnection = false;
    bool m_holdConnection = false;
    // dbType + table (upper case) -> its columns; what was asked of the catalogue of this connection.
    std::map<std::pair<int, XString>, std::set<XString>> m_sourceCatalogue;
    XString m_lastConnectionString;
    std::unique_ptr<ado::Connection> m_connection;
    std::unique_ptr<ado::Recordset> m_recordset;
    QueryDeclaration m_declaration;
    AttendanceFilter m_attendanceFilter;
};
