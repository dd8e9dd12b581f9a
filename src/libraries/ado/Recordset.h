// An ADO-like recordset: one text query on a Connection, its columns (Field) and a cursor.
//
// Cursors:
//   static (adOpenStatic, and keyset/dynamic, which are served as static): Open executes the query
//     and fetches the whole result with block fetching (bound column arrays,
//     SQL_ATTR_ROW_ARRAY_SIZE) into compact column storage, then frees the statement. RecordCount is
//     the number of rows; MoveFirst/MoveNext move freely; the connection is no longer needed.
//   forward-only (adOpenForwardOnly): the statement stays open and rows are fetched one block at a
//     time as MoveNext reaches them; RecordCount is -1. MoveFirst after the cursor has moved executes
//     the query again (as ADO's providers do), so counting by hand and then reading works.
// Blocks hold as many rows as about 256 KB of bound arrays allow (at most 1000), on every driver (RowBlock).
// Values that do not fit their element (long text: drivers declare TEXT columns 8190 or 65536 characters
// wide, so such columns are bound 255 characters wide) are completed with SQLGetData on their row: in the
// block (SQLSetPos) where the driver can read a row of a block (SQL_GD_BLOCK); a driver that cannot (the
// SQLite driver) has a block with such a value read again one row a fetch (the query runs again, the rows
// already handed on are passed over and the block's rows must come out the same, else reading fails with
// "The result changed while a long value was read again"), and the rest of that result follows one row a
// fetch. A driver that cannot complete bound columns at all (no SQL_GD_BOUND) has every value read with
// SQLGetData. A forward-only cursor reads its values where the driver wrote them; a static one copies them
// into compact column storage (ColumnStore).
// Defaults, as ADO's: server-side location, forward-only, read-only lock.
// Text is fetched as SQL_C_WCHAR; SQL goes to the driver as UTF-8 through SQLExecDirect.
// Cursor location, lock type and the options argument are recorded; the layer only reads, so a
// pessimistic lock changes nothing. Options: adCmdText (1) or adCmdUnknown (8); others are refused.
//
// A command that returns no rows (DDL, INSERT) runs, and the recordset stays closed, as in ADO.
// Position: after Open the cursor is on the first record (EOF and BOF both true when empty). EOF is
// true past the last record, BOF before the first (only when empty, as nothing moves backwards).
// Errors: every failure throws ComError; ODBC failures are also filed in the connection's Errors.
// Moving while EOF, or reading a field there, throws ComError NoCurrentRecord.
//
// REQUIRES: the Connection given to Open outlives the open state of a forward-only recordset.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "libraries/ado/Field.h"
#include "libraries/ado/Variant.h"

namespace ado {

class Connection;

class Recordset {
  public:
    enum CursorLocation { adUseServer = 2, adUseClient = 3 };
    enum CursorType {
        adOpenUnspecified = -1,
        adOpenForwardOnly = 0,
        adOpenKeyset = 1,
        adOpenDynamic = 2,
        adOpenStatic = 3
    };
    enum LockType {
        adLockUnspecified = -1,
        adLockReadOnly = 1,
        adLockPessimistic = 2,
        adLockOptimistic = 3,
        adLockBatchOptimistic = 4
    };
    enum CommandType { adCmdUnspecified = -1, adCmdText = 1, adCmdUnknown = 8 };
    enum State { adStateClosed = 0, adStateOpen = 1 };

    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    void setCursorLocation(CursorLocation location);
    CursorLocation cursorLocation() const;
    void setCursorType(CursorType type);
    CursorType cursorType() const;

    // ADO's Open(Source, ActiveConnection, CursorType, LockType, Options). adOpenUnspecified keeps
    // the cursor type set before. Throws ComError (ObjectOpen when open, ObjectClosed when the
    // connection is not open, the driver's records when the query fails).
    void open(const QString& sql, Connection& connection, CursorType cursorType = adOpenUnspecified,
              LockType lockType = adLockReadOnly, int options = adCmdText);

    State state() const;
    bool isOpen() const { return state() == adStateOpen; }
    // Releases the rows and the statement. Throws ComError ObjectClosed when not open.
    void close();

    // REQUIRES for the rest: open (else ComError ObjectClosed).
    bool eof() const;
    bool bof() const;
    void moveFirst();
    void moveNext();
    long long recordCount() const;  // -1 for forward-only

    int fieldCount() const;
    // By 0-based ordinal (ComError ItemNotFound when out of range) or by name, compared without
    // regard to letter case (ComError ItemNotFound when absent).
    Field field(int index);
    Field field(const QString& name);

    // The current record's value of a column: what Field::value() returns.
    Variant value(int index) const;
    // The same for a text value, read in place: the characters when the column is text and the cell holds
    // a value; nullopt for NULL, a failed cell or another type (value() tells those apart). The view is
    // valid until the cursor moves or the recordset closes.
    std::optional<std::u16string_view> textValue(int index) const;
    // The same for a date value: the automation date when the column is a date column and the cell holds a
    // valid value; nullopt for NULL, a failed cell or another type.
    std::optional<double> dateValue(int index) const;
    // The same for a whole number: the value when the column is VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT
    // or VT_I8 and the cell holds a value; nullopt otherwise.
    std::optional<std::int64_t> integerValue(int index) const;

  private:
    friend class Field;
    // For Field: the column's description, and the current record's cell.
    struct ColumnFacts {
        QString name;
        int adoType = 0;
        int attributes = 0;
        long long definedSize = 0;
        int precision = 0;
        int numericScale = 0;
    };
    ColumnFacts columnFacts(int index) const;
    int cellStatus(int index) const;
    long long cellSize(int index) const;
    Variant nextChunk(int index, long long size);

    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace ado
