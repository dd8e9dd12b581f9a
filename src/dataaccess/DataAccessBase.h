// DataAccessBase: the data access layer of the task chain (CDEWriter <- DataAccessBase <- ODBCDataAccess),
// independent of SQL and of the access library.
//
// It adds what every source needs whatever its technology: the connection settings (data source, user,
// password, timeouts, open attempts), opening a declared table for the writer (OpenTable, with a reconnect
// after a lost connection), the value formatters that the writer's column bindings call for each record, and
// the relationship categories of contacts. Reading values and running queries are abstract here and belong
// to the layer above.
//
// Formatters read the source field of the writer's current binding (CurrentBinding()); with no binding, or a
// binding without a source field, each answers its empty value ("" or the fixed text its comment names).
// The writer writes the two formatters of nearly every column, FormatText and FormatDate (and FormatOneLine,
// which gives what FormatText gives), without making their text first: bound through valueKindOf, they are
// written by AppendBoundValue from AppendFieldText and GetFieldDate. A layer that changes the rule of either
// formatter changes AppendBoundValue with it.
//
// Owns: the relationship table and the connection settings.
// REQUIRES: one thread; the password is never logged or put into a message by this layer or its callers.
#pragma once

#include "dataaccess/DataAccessField.h"
#include "dataaccess/DataAccessTable.h"
#include "dataaccess/FormatRules.h"
#include "dataaccess/RelationshipTable.h"
#include "libraries/support/ByteBuffer.h"
#include "libraries/support/XDate.h"
#include "libraries/support/XDateTime.h"
#include "libraries/support/XString.h"
#include "libraries/support/XTime.h"
#include "writer/CDEWriter.h"

#include <cstdint>
#include <string>

class DataAccessBase : public CDEWriter {
    Q_OBJECT
    Q_DISABLE_COPY(DataAccessBase)

  public:
    // A value formatter as the engine binds it to an output column: &DataAccessBase::FormatText, ...
    using Formatter = XString (DataAccessBase::*)();
    using TextRule = FormatRules::TextRule;

    // The kind of value a formatter computes, for the writer's binding (ColumnBinding::ValueKind).
    static ColumnBinding::ValueKind valueKindOf(Formatter formatter);

    explicit DataAccessBase(QObject* parent = nullptr);
    ~DataAccessBase() override;

    // --- The writer's data access operations implemented here ---

    // Runs the attendance-from-source operation without the per-student filter.
    void CreateAttendanceFromDB() override;
    // Opens the declared query for the current output table: up to openAttempts() tries, each failed try
    // followed by a Reconnect. True when opened (the record count is logged for a result held whole; one
    // read once is not counted ahead, which would read it twice). False (logged "Open table ... failed,
    // skipping.") when every try failed with a lost connection or run is false. A query error is reported
    // and thrown as "Failed with error [...] while parsing query: " + BuildQuery().
    bool OpenTable(bool run, RowPasses passes = RowPasses::Repeated) override;
    // The data source text set by the engine.
    XString DataSourceName() override { return m_dataSource; }

    // --- Declaration frame ---

    // Starts an output table: the writer's header, no bindings, an empty query declaration.
    void BeginHeader(const XString& title, const XString& fileName, int includeKind = 0);
    // Ends it: closes the query, drops bindings and declaration, runs EndTableHook and the writer's end step.
    void EndHeader();

    // --- Virtual operations, in slot order ---

    // Whether the attendance-from-source writers take a student's rows when asked to filter; all are taken.
    virtual bool AcceptAttendanceStudent(const XString& studentKey);

    // Value formatters of the current binding's field. "Text" is FormatText's result.
    virtual XString FormatText();     // trimmed, TAB/CR/LF as blanks
    virtual XString FormatTrimmed();  // trimmed, line breaks kept
    virtual XString FormatUpper();    // Text in ASCII upper case
    virtual XString FormatQuoted();   // Text between double quotes
    virtual XString FormatNoZero();   // Text, "0" as empty
    virtual XString FormatNoZeroOf(const XString& text);
    virtual XString FormatNoZeroToo();
    virtual XString FormatNoNA();   // Text, "N/A" as empty
    virtual XString FormatPhone();  // Text as a phone number; a complaint is logged
    virtual XString FormatOneLine();
    virtual XString FormatOneLineTabs();
    virtual XString FormatOneLineOf(const XString& text);
    virtual XString FormatMoney();  // "$" + two decimals
    virtual XString FormatDate();   // the writer's date pattern; null as empty
    // field null = the current field. Empty for 1 January 1900.
    virtual XString FormatDateOf(DataAccessField* field = nullptr);
    virtual XString FormatDateOfCurrent();
    // As FormatDateOf, also empty for null, day 0 and 30 December 1899.
    virtual XString FormatDateNoSentinel(DataAccessField* field = nullptr);
    virtual XString FormatDateNoSentinelOfCurrent();
    virtual XString FormatDateNoZero();
    virtual XString FormatTime();            // the writer's time pattern
    virtual XString FormatDateTime();        // the writer's date-time pattern
    virtual XString FormatDateTimeAsDate();  // date and time value in the date pattern
    virtual XString FormatInt();
    virtual XString FormatIntNoZero();
    virtual bool IsTrue(DataAccessField* field = nullptr);
    virtual XString YesNoOf(bool value);
    virtual XString FormatYesNo();  // "No" without a field
    virtual XString FormatNoYes();  // "Yes" without a field
    virtual XString FormatNoYesOf(DataAccessField* field);
    virtual XString YesBlankOf(bool value);
    virtual XString FormatYesBlank();
    virtual XString FormatYesBlankOf(DataAccessField* field);
    virtual XString FormatOneZero();  // "0" without a field
    virtual XString FormatFlag();     // "1", "0" or empty from yes/no texts
    virtual bool IsTextTrue();
    virtual XString FormatWhole();  // the number rounded to a whole one
    virtual XString FormatFloat();  // six decimals
    virtual XString FormatRounded(DataAccessField* field = nullptr);
    virtual XString FormatRoundedOf(DataAccessField* field);
    virtual XString FormatActivityKind();
    // Daily, then period attendance from the cache into the update file. Nothing in this layer; the layer
    // that owns the attendance cache provides it.
    virtual void CreateStudentAttendanceFromDB(bool filter);
    virtual XString FormatGsPrefixOf(const XString& text);
    virtual XString FormatGsPrefix();

    // Runs the declared query for the caller to step through; true when it opened.
    virtual bool ExecuteQuery() = 0;
    // Runs the declared query; 0 when it opened, a reconnect code when the connection was lost.
    virtual int OpenQuery(RowPasses passes = RowPasses::Repeated) = 0;
    virtual void Reconnect() = 0;
    // Deletes the declaration and releases the current result.
    virtual void CloseQuery() = 0;
    // Called by EndHeader; nothing here.
    virtual void EndTableHook();
    // The number of records of the current result (counted by stepping when the cursor cannot tell).
    virtual int GetRecordCount() = 0;
    // Refills the relationship table with the standard keys.
    virtual void BuildRelationshipTable();
    // The category of a relationship description: "Family", "Health", "Emergency" or "Contact".
    virtual XString RelationshipCategory(const XString& description);
    // The field factory with the existence check of the declaring layer (null for a missing optional one).
    virtual DataAccessField* NewField(DataAccessTable* table, const XString& columnName, bool required) = 0;
    virtual DataAccessField* NewPlainField(DataAccessTable* table, const XString& columnName) = 0;

    // Typed readers of the current record; a null field reads as the empty value.
    virtual XString GetFieldRawText(DataAccessField* field) = 0;
    virtual XString GetFieldText(DataAccessField* field) = 0;  // trimmed, TABs removed
    // Appends the text of field to out as GetFieldText gives it (TextRule::Field) or as FormatText gives it
    // (TextRule::Column); nothing for a null field. The reading layer builds GetFieldText on it, so it reads
    // the text where it lies, without a string of its own.
    virtual void AppendFieldText(DataAccessField* field, TextRule rule, std::string& out) = 0;
    virtual XString GetFieldSingleLine(DataAccessField* field) = 0;  // and TAB/CR/LF as blanks
    virtual ByteBuffer GetFieldBytes(DataAccessField* field) = 0;
    virtual XDate GetFieldDate(DataAccessField* field) = 0;
    virtual XDateTime GetFieldDateTime(DataAccessField* field) = 0;
    virtual XTime GetFieldTime(DataAccessField* field) = 0;
    virtual int32_t GetFieldInt(DataAccessField* field) = 0;
    // Decimal text of GetFieldInt; "0" and a null field as empty.
    virtual XString GetFieldIntText(DataAccessField* field);
    virtual int32_t GetFieldLong(DataAccessField* field) = 0;
    virtual float GetFieldFloat(DataAccessField* field) = 0;
    virtual double GetFieldDouble(DataAccessField* field) = 0;
    virtual bool GetFieldBool(DataAccessField* field) = 0;
    virtual XString GetFieldBoolDigit(DataAccessField* field) = 0;
    virtual bool IsFieldNull(DataAccessField* field) = 0;

    // --- Connection settings ---

    const XString& dataSource() const { return m_dataSource; }
    const XString& userName() const { return m_userName; }
    // REQUIRES: the result is never logged or shown.
    const XString& password() const { return m_password; }
    void setDataSource(const XString& dataSource) { m_dataSource = dataSource; }
    void setUserName(const XString& userName) { m_userName = userName; }
    void setPassword(const XString& password) { m_password = password; }
    int connectionTimeout() const { return m_connectionTimeout; }
    int commandTimeout() const { return m_commandTimeout; }
    int openAttempts() const { return m_openAttempts; }
    void setConnectionTimeout(int seconds) { m_connectionTimeout = seconds; }
    void setCommandTimeout(int seconds) { m_commandTimeout = seconds; }
    void setOpenAttempts(int attempts) { m_openAttempts = attempts; }

    // The student counters of the attendance-from-source writers (nothing advances them in this system).
    int attendanceStudentTotal() const { return m_attendanceStudentTotal; }
    int attendanceStudentFiltered() const { return m_attendanceStudentFiltered; }

    // The source field of the writer's current binding; null when there is none.
    DataAccessField* currentField() const;

  protected:
    // The output column text of field (FormatText's rule); empty for a null field.
    XString textOf(DataAccessField* field) { return fieldText(field, TextRule::Column); }
    // AppendFieldText into a text of its own.
    XString fieldText(DataAccessField* field, TextRule rule);
    void AppendBoundValue(const ColumnBinding& binding, std::string& out) override;
    XDate BindingDate(const ColumnBinding& binding) override;

  private:
    int m_connectionTimeout = 15;
    int m_commandTimeout = 30;
    int m_openAttempts = 1;
    int m_attendanceStudentTotal = 0;
    int m_attendanceStudentFiltered = 0;
    RelationshipTable m_relationships;
    XString m_dataSource;
    XString m_userName;
    XString m_password;
};
