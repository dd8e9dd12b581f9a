#include "libraries/ado/Recordset.h"

#include <sqlext.h>

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

#include "libraries/ado/CellConversion.h"
#include "libraries/ado/ColumnStore.h"
#include "libraries/ado/Connection.h"
#include "libraries/ado/OdbcCall.h"
#include "libraries/ado/OdbcHandle.h"
#include "libraries/ado/RowBlock.h"
#include "libraries/ado/SqlTypeMap.h"

namespace ado {

namespace {

const QString kRecordsetSource = QStringLiteral("ADODB.Recordset");

// Rows per block at most; RowBlock fits fewer into its budget when rows are wide.
constexpr std::size_t kMaxBlockRows = 1000;
// Piece size of SQLGetData loops.
constexpr SQLLEN kPieceBytes = 8192;

[[noreturn]] void throwClosed() {
    throw ComError(ComError::ObjectClosed, kRecordsetSource,
                   QStringLiteral("Operation is not allowed when the object is closed."));
}

[[noreturn]] void throwNoCurrentRecord() {
    throw ComError(
        ComError::NoCurrentRecord, kRecordsetSource,
        QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. Requested "
                       "operation requires a current record."));
}

// The integer kinds the columns of a result have, whose payload is the value itself (VT_UI8 does not fit a
// signed 64-bit value; VT_BOOL and VT_CY are no whole numbers).
bool isWholeNumber(std::uint16_t vt) {
    switch (vt) {
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_I8:
            return true;
        default:
            return false;
    }
}

[[noreturn]] void throwChangedWhileRead() {
    throw ComError(
        ComError::OdbcFailure, kRecordsetSource,
        QStringLiteral("The result changed while a long value was read again: run the query anew."));
}

}  // namespace

struct Recordset::Impl {
    CursorLocation location = adUseServer;
    CursorType cursorType = adOpenForwardOnly;
    LockType lockType = adLockReadOnly;
    bool open = false;
    bool streaming = false;  // forward-only: only the current block is held
    bool exhausted = false;  // streaming: the driver has no more rows
    bool moved = false;      // streaming: the cursor has left the first record since execution
    Connection* connection = nullptr;
    QByteArray sql;
    OdbcHandle statement;

    std::vector<ResultColumn> columns;
    // The rows held: a static cursor's whole result, or (when nothing is bound) a forward-only cursor's
    // current row.
    std::vector<ColumnStore> stores;
    std::size_t current = 0;  // row index in stores, or in delivered
    std::vector<std::size_t> chunkOffsets;

    // Fetch plan.
    bool bound = false;    // columns are bound (the driver can complete long values of bound columns)
    bool gdBlock = false;  // the driver can read values of any row of a block (SQL_GD_BLOCK)
    RowBlock block;        // the bound arrays and the rows of the last fetch
    std::optional<RowBlock> nextBlock;   // bound for the fetches after the current block (one row each)
    std::vector<std::size_t> delivered;  // rows of block that are records (a forward-only cursor reads them)
    std::size_t rowsFromDriver = 0;      // rows the driver delivered since the statement ran
    std::vector<std::size_t> variableColumns;  // the columns whose values may not fit their elements

    SQLRETURN check(SQLRETURN rc) { return connection->check(rc, SQL_HANDLE_STMT, statement.get()); }
    // A statement call that may wait for the source: watched, then checked.
    template <typename Call>
    SQLRETURN checkWatched(Call&& call) {
        return check(OdbcCall::watched(SQL_HANDLE_STMT, statement.get(), std::forward<Call>(call)));
    }

    void requireOpen() const {
        if (!open) {
            throwClosed();
        }
    }
    // A value of the current record's cell at index read in place: nullopt unless the column's VARTYPE is of
    // the kind and the cell holds a value.
    template <typename T, typename Kind, typename FromBlock, typename FromStore>
    std::optional<T> typedCell(int index, Kind hasKind, FromBlock fromBlock, FromStore fromStore) const {
        requireRecord();
        const std::size_t column = columnAt(index);
        if (!hasKind(columns[column].info.vt)) {
            return std::nullopt;
        }
        if (readsBlock()) {
            return fromBlock(block, blockRow(), column);
        }
        const ColumnStore& store = stores.at(column);
        if (!store.holdsValue(current)) {
            return std::nullopt;
        }
        return fromStore(store, current);
    }
    // Open and on a record.
    void requireRecord() const {
        requireOpen();
        if (atEnd()) {
            throwNoCurrentRecord();
        }
    }

    // A forward-only cursor over bound columns reads its values where the driver put them.
    bool readsBlock() const { return streaming && bound; }
    std::size_t rowsHeld() const {
        if (readsBlock()) {
            return delivered.size();
        }
        return stores.empty() ? 0 : stores.front().size();
    }
    bool atEnd() const { return current >= rowsHeld(); }
    std::size_t blockRow() const { return delivered[current]; }
    // The position of a column; std::out_of_range when there is no such column.
    std::size_t columnAt(int index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= columns.size()) {
            throw std::out_of_range("column index");
        }
        return static_cast<std::size_t>(index);
    }

    void execute();
    void describe();
    void planFetch(SQLHDBC dbc);
    // Makes rows the statement's row set (its size, row count and statuses), with (bindBlock) or without
    // its arrays bound to the columns.
    void bindBlock(RowBlock& rows);
    void setRowSet(RowBlock& rows);
    // Binds rows's arrays to the columns (bindBlock's second half).
    void bindColumns(RowBlock& rows);
    // Appends the next block (static) or replaces the held rows with it (streaming). Returns the
    // number of rows it brought; 0 at the end of the result.
    std::size_t fetchBlock();
    std::size_t fetchUnbound();
    // Completes the long values of the block's rows and settles which rows are records; settleRow does it
    // for one row (positioned: the statement is on that row, as in a block of one row).
    void settleBlock(std::size_t rows);
    void settleRow(std::size_t row, bool positioned);
    std::size_t readAgainOneRowAtATime(std::size_t rows);
    // Fetches until a block brings records or the result ends (a forward-only cursor).
    void fetchNextRecords() {
        while (fetchBlock() == 0 && !exhausted) {
        }
    }
    void readWithGetData(std::size_t column, ColumnStore& store);
    void keepBlockRows();
    void release();

    ~Impl() { statement.reset(); }  // before the buffers the driver writes into go
};

void Recordset::Impl::execute() {
    rowsFromDriver = 0;
    checkWatched([this] {
        return SQLExecDirect(statement.get(), reinterpret_cast<SQLCHAR*>(sql.data()),
                             static_cast<SQLINTEGER>(sql.size()));
    });
}

void Recordset::Impl::describe() {
    SQLSMALLINT count = 0;
    checkWatched([&] { return SQLNumResultCols(statement.get(), &count); });
    columns.clear();
    columns.resize(static_cast<std::size_t>(count));
    for (SQLSMALLINT i = 0; i < count; ++i) {
        ResultColumn& column = columns[static_cast<std::size_t>(i)];
        std::vector<SQLCHAR> name(256);
        SQLSMALLINT nameLength = 0;
        const auto describeColumn = [&] {
            return SQLDescribeCol(statement.get(), static_cast<SQLUSMALLINT>(i + 1), name.data(),
                                  static_cast<SQLSMALLINT>(name.size()), &nameLength, &column.sqlType,
                                  &column.size, &column.digits, &column.nullable);
        };
        checkWatched(describeColumn);
        if (nameLength >= static_cast<SQLSMALLINT>(name.size())) {
            name.resize(static_cast<std::size_t>(nameLength) + 1);
            checkWatched(describeColumn);
        }
        column.name = QString::fromUtf8(reinterpret_cast<const char*>(name.data()), nameLength);
        bool isUnsigned = false;
        if (column.sqlType == SQL_TINYINT) {
            SQLLEN flag = SQL_FALSE;
            if (OdbcCall::succeeded(SQLColAttribute(statement.get(), static_cast<SQLUSMALLINT>(i + 1),
                                                    SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &flag))) {
                isUnsigned = flag == SQL_TRUE;
            }
        }
        column.info = SqlTypeMap::lookup(column.sqlType, isUnsigned);
    }
    stores.clear();
    stores.reserve(columns.size());
    for (const ResultColumn& column : columns) {
        stores.emplace_back(column.info.vt);
    }
    chunkOffsets.assign(columns.size(), 0);
}

void Recordset::Impl::planFetch(SQLHDBC dbc) {
    SQLUSMALLINT extensions = 0;
    if (!OdbcCall::succeeded(
            SQLGetInfo(dbc, SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions, nullptr))) {
        extensions = 0;
    }
    // Binding needs SQLGetData on bound columns for the values that do not fit. Without it, every value is
    // read by SQLGetData, one row a fetch. A driver that can also read a value of any row of a block
    // (SQL_GD_BLOCK) completes long values in place; one that cannot still gets blocks, and a block with a
    // long value is read again from the driver one row at a time (readAgainOneRowAtATime).
    bound = (extensions & SQL_GD_BOUND) != 0 && !columns.empty();
    gdBlock = (extensions & SQL_GD_BLOCK) != 0;
    nextBlock.reset();
    delivered.clear();
    if (!bound) {
        return;
    }
    block.plan(columns, kMaxBlockRows);
    variableColumns.clear();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (CellConversion::isVariableLength(columns[i].info.cType)) {
            variableColumns.push_back(i);
        }
    }
    check(SQLSetStmtAttr(statement.get(), SQL_ATTR_ROW_BIND_TYPE,
                         reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0));
    bindBlock(block);
}

void Recordset::Impl::bindBlock(RowBlock& rows) {
    setRowSet(rows);
    bindColumns(rows);
}

void Recordset::Impl::bindColumns(RowBlock& rows) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        check(SQLBindCol(statement.get(), static_cast<SQLUSMALLINT>(i + 1), columns[i].info.cType,
                         rows.buffer(i), rows.elementBytes(i), rows.indicators(i)));
    }
}

void Recordset::Impl::setRowSet(RowBlock& rows) {
    SQLHSTMT stmt = statement.get();
    const SQLRETURN rc =
        SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(rows.capacity())), 0);
    check(rc);
    if (rc == SQL_SUCCESS_WITH_INFO) {
        // The driver substituted its own size (01S02): use what it will deliver.
        SQLULEN actual = 1;
        check(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &actual, 0, nullptr));
        rows.resize(static_cast<std::size_t>(std::max<SQLULEN>(actual, 1)));
    }
    check(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, rows.rowStatusPointer(), 0));
    check(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, rows.rowsFetchedPointer(), 0));
}

void Recordset::Impl::readWithGetData(std::size_t column, ColumnStore& store) {
    SQLHSTMT stmt = statement.get();
    const auto number = static_cast<SQLUSMALLINT>(column + 1);
    const SQLSMALLINT cType = columns[column].info.cType;
    SQLLEN indicator = 0;
    auto failed = [&](int status) {
        store.appendFailed(ComError::fromDiagnostics(OdbcCall::diagnostics(SQL_HANDLE_STMT, stmt)), status);
    };
    if (!CellConversion::isVariableLength(cType)) {
        alignas(8) char value[64] = {};
        const SQLRETURN rc = OdbcCall::watched(SQL_HANDLE_STMT, stmt, [&] {
            return SQLGetData(stmt, number, cType, value, sizeof value, &indicator);
        });
        if (!OdbcCall::succeeded(rc)) {
            failed(adFieldCantConvertValue);
        } else if (indicator == SQL_NULL_DATA) {
            store.appendNull();
        } else {
            CellConversion::append(store, cType, value, indicator);
        }
        return;
    }
    // Variable length: read in pieces until the driver says the value is complete.
    const SQLLEN terminator = CellConversion::terminatorBytes(cType);
    std::vector<char> piece(static_cast<std::size_t>(kPieceBytes));
    std::vector<char> data;
    bool isNull = false;
    for (;;) {
        const SQLRETURN rc = OdbcCall::watched(SQL_HANDLE_STMT, stmt, [&] {
            return SQLGetData(stmt, number, cType, piece.data(), kPieceBytes, &indicator);
        });
        if (rc == SQL_NO_DATA) {
            break;
        }
        if (!OdbcCall::succeeded(rc)) {
            failed(data.empty() ? adFieldCantConvertValue : adFieldTruncated);
            return;
        }
        if (indicator == SQL_NULL_DATA) {
            isNull = true;
            break;
        }
        const SQLLEN room = kPieceBytes - terminator;
        const bool more = indicator == SQL_NO_TOTAL || indicator > room;
        SQLLEN got = more ? room : indicator;
        if (cType == SQL_C_WCHAR) {
            got -= got % static_cast<SQLLEN>(sizeof(SQLWCHAR));
        }
        data.insert(data.end(), piece.data(), piece.data() + got);
        if (!more || rc == SQL_SUCCESS) {
            break;
        }
    }
    if (isNull) {
        store.appendNull();
    } else if (cType == SQL_C_WCHAR) {
        store.appendText(reinterpret_cast<const char16_t*>(data.data()), data.size() / sizeof(SQLWCHAR));
    } else if (cType == SQL_C_BINARY) {
        store.appendBytes(data.data(), data.size());
    } else {
        CellConversion::append(store, cType, data.data(), static_cast<SQLLEN>(data.size()));
    }
}

std::size_t Recordset::Impl::fetchUnbound() {
    // Nothing bound: one row a fetch, every value read by SQLGetData.
    SQLHSTMT stmt = statement.get();
    if (streaming) {
        for (ColumnStore& store : stores) {
            store.clear();
        }
        current = 0;
    }
    const SQLRETURN rc = checkWatched([stmt] { return SQLFetch(stmt); });
    if (rc == SQL_NO_DATA) {
        exhausted = true;
        return 0;
    }
    ++rowsFromDriver;
    for (std::size_t col = 0; col < columns.size(); ++col) {
        readWithGetData(col, stores[col]);
    }
    return 1;
}

std::size_t Recordset::Impl::fetchBlock() {
    if (exhausted || columns.empty()) {
        exhausted = true;
        if (streaming) {
            delivered.clear();
            current = 0;
        }
        return 0;
    }
    if (!bound) {
        return fetchUnbound();
    }
    if (nextBlock) {
        // The statement is bound to the arrays of one row since a block was read again.
        block = std::move(*nextBlock);
        nextBlock.reset();
    }
    delivered.clear();
    current = 0;
    block.clearRows();
    SQLHSTMT stmt = statement.get();
    const SQLRETURN rc = checkWatched([stmt] { return SQLFetch(stmt); });
    if (rc == SQL_NO_DATA) {
        exhausted = true;
        return 0;
    }
    const std::size_t rows = block.settleFetched();
    rowsFromDriver += rows;
    if (!gdBlock && block.capacity() > 1) {
        for (const std::size_t col : variableColumns) {
            for (std::size_t row = 0; row < rows; ++row) {
                if (block.overflows(row, col)) {
                    return readAgainOneRowAtATime(rows);
                }
            }
        }
    }
    settleBlock(rows);
    const std::size_t records = delivered.size();
    if (!streaming) {
        keepBlockRows();
    }
    return records;
}

void Recordset::Impl::settleBlock(std::size_t rows) {
    for (std::size_t row = 0; row < rows; ++row) {
        settleRow(row, block.capacity() == 1);
    }
}

void Recordset::Impl::settleRow(std::size_t row, bool positioned) {
    SQLHSTMT stmt = statement.get();
    const SQLUSMALLINT status = block.rowStatus(row);
    if (status == SQL_ROW_NOROW || status == SQL_ROW_DELETED) {
        return;
    }
    delivered.push_back(row);
    if (status == SQL_ROW_ERROR) {
        block.setRowError(row, ComError::fromDiagnostics(OdbcCall::diagnostics(SQL_HANDLE_STMT, stmt)));
        return;
    }
    for (const std::size_t col : variableColumns) {
        if (!block.overflows(row, col)) {
            continue;
        }
        // Does not fit its element: read the whole value again with SQLGetData on this row.
        if (!positioned) {
            checkWatched([stmt, row] {
                return SQLSetPos(stmt, static_cast<SQLSETPOSIROW>(row + 1), SQL_POSITION, SQL_LOCK_NO_CHANGE);
            });
            positioned = true;
        }
        ColumnStore whole(columns[col].info.vt);
        readWithGetData(col, whole);
        block.setLong(row, col, std::move(whole));
    }
}

std::size_t Recordset::Impl::readAgainOneRowAtATime(std::size_t rows) {
    // The driver cannot read a value of a row inside a block (no SQL_GD_BLOCK; the SQLite driver), and this
    // block holds a value longer than its element. The statement runs again and is read one row a fetch,
    // where SQLGetData completes such a value. When no record has been handed on yet (a static cursor, which
    // starts over, or the first block of a forward-only one), the result is simply read from its start. Else
    // the records handed on are passed over, and this block's rows are read and compared with what the block
    // holds: a result that came out otherwise the second time (changed data, random values) fails the read
    // instead of mixing two results. The rest of the result follows one row at a time.
    SQLHSTMT stmt = statement.get();
    const std::size_t before = streaming ? rowsFromDriver - rows : 0;
    if (!streaming) {
        for (ColumnStore& store : stores) {
            store.clear();
        }
    }
    RowBlock single;
    single.plan(columns, 1);
    checkWatched([stmt] { return SQLFreeStmt(stmt, SQL_CLOSE); });
    check(SQLFreeStmt(stmt, SQL_UNBIND));
    setRowSet(single);
    execute();
    for (std::size_t skipped = 0; skipped < before; ++skipped) {
        if (checkWatched([stmt] { return SQLFetch(stmt); }) == SQL_NO_DATA) {
            throwChangedWhileRead();
        }
    }
    bindColumns(single);
    if (before == 0) {
        block = std::move(single);
        return fetchBlock();
    }
    rowsFromDriver = before;
    for (std::size_t row = 0; row < rows; ++row) {
        single.clearRows();
        if (checkWatched([stmt] { return SQLFetch(stmt); }) == SQL_NO_DATA) {
            throwChangedWhileRead();
        }
        single.settleFetched();
        ++rowsFromDriver;
        if (!block.sameRow(row, single, 0)) {
            throwChangedWhileRead();
        }
        settleRow(row, true);
    }
    nextBlock = std::move(single);
    return delivered.size();
}

void Recordset::Impl::keepBlockRows() {
    for (const std::size_t row : delivered) {
        for (std::size_t col = 0; col < columns.size(); ++col) {
            block.appendTo(stores[col], row, col);
        }
    }
    delivered.clear();
}

void Recordset::Impl::release() {
    statement.reset();
    columns.clear();
    stores.clear();
    block = RowBlock();
    nextBlock.reset();
    delivered.clear();
    chunkOffsets.clear();
    current = 0;
    open = false;
    streaming = exhausted = moved = false;
    connection = nullptr;
}

Recordset::Recordset() : d_(std::make_unique<Impl>()) {}

Recordset::~Recordset() = default;

void Recordset::setCursorLocation(CursorLocation location) {
    d_->location = location;
}
Recordset::CursorLocation Recordset::cursorLocation() const {
    return d_->location;
}
void Recordset::setCursorType(CursorType type) {
    d_->cursorType = type;
}
Recordset::CursorType Recordset::cursorType() const {
    return d_->cursorType;
}

void Recordset::open(const QString& sql, Connection& connection, CursorType cursorType, LockType lockType,
                     int options) {
    if (d_->open) {
        throw ComError(ComError::ObjectOpen, kRecordsetSource,
                       QStringLiteral("Operation is not allowed when the object is open."));
    }
    if (options != adCmdText && options != adCmdUnknown && options != adCmdUnspecified) {
        throw ComError(
            ComError::InvalidArgument, kRecordsetSource,
            QStringLiteral("Arguments are of the wrong type, are out of acceptable range, or are in "
                           "conflict with one another."));
    }
    if (!connection.isOpen()) {
        throwClosed();
    }
    if (cursorType != adOpenUnspecified) {
        d_->cursorType = cursorType;
    }
    if (lockType != adLockUnspecified) {
        d_->lockType = lockType;
    }
    Impl& d = *d_;
    d.connection = &connection;
    d.sql = sql.toUtf8();
    d.streaming = d.cursorType == adOpenForwardOnly;
    d.exhausted = d.moved = false;
    d.current = 0;
    try {
        d.statement = OdbcHandle(SQL_HANDLE_STMT, connection.odbcHandle());
    } catch (const ComError& error) {
        d.release();
        connection.fail(error);
    }
    try {
        // Never longer than the watchdog waits: a driver that enforces it ends a slow query first.
        const int timeout = SourceWatchdog::instance().capSeconds(std::max(0, connection.commandTimeout()));
        const SQLRETURN rc = SQLSetStmtAttr(d.statement.get(), SQL_ATTR_QUERY_TIMEOUT,
                                            reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout)), 0);
        if (rc == SQL_ERROR) {
            // A driver without query timeouts runs the query without one rather than not at all.
            bool unsupported = false;
            for (const ErrorRecord& record : OdbcCall::diagnostics(SQL_HANDLE_STMT, d.statement.get())) {
                unsupported = unsupported || record.sqlState == u"HYC00" || record.sqlState == u"HY092";
            }
            if (!unsupported) {
                d.check(rc);
            }
        }
        d.execute();
        d.describe();
        if (d.columns.empty()) {
            // A command without rows (DDL, INSERT): it ran, and as in ADO the recordset stays closed.
            d.release();
            connection.clearErrors();
            return;
        }
        d.planFetch(connection.odbcHandle());
        if (d.streaming) {
            d.fetchNextRecords();
        } else {
            while (!d.exhausted) {
                d.fetchBlock();
            }
            // Everything is held: neither the statement nor the connection is needed any more.
            d.statement.reset();
            d.block = RowBlock();
            d.nextBlock.reset();
            d.connection = nullptr;
        }
    } catch (...) {
        d.release();
        throw;
    }
    d.open = true;
    connection.clearErrors();
}

Recordset::State Recordset::state() const {
    return d_->open ? adStateOpen : adStateClosed;
}

void Recordset::close() {
    d_->requireOpen();
    d_->release();
}

bool Recordset::eof() const {
    d_->requireOpen();
    return d_->atEnd();
}

bool Recordset::bof() const {
    d_->requireOpen();
    // Nothing moves backwards, so the cursor is before the first record only when there is none.
    return !d_->moved && d_->atEnd();
}

void Recordset::moveFirst() {
    Impl& d = *d_;
    d.requireOpen();
    std::fill(d.chunkOffsets.begin(), d.chunkOffsets.end(), 0);
    if (!d.streaming) {
        if (d.rowsHeld() == 0) {
            throwNoCurrentRecord();
        }
        d.current = 0;
        return;
    }
    if (!d.moved) {
        d.current = 0;
        return;
    }
    // A forward-only cursor cannot go back: run the query again, as ADO's providers do.
    d.checkWatched([&d] { return SQLFreeStmt(d.statement.get(), SQL_CLOSE); });
    d.exhausted = false;
    d.moved = false;
    d.execute();
    d.fetchNextRecords();
}

void Recordset::moveNext() {
    Impl& d = *d_;
    d.requireOpen();
    if (d.atEnd()) {
        throwNoCurrentRecord();
    }
    std::fill(d.chunkOffsets.begin(), d.chunkOffsets.end(), 0);
    d.moved = true;
    ++d.current;
    if (d.streaming && d.atEnd() && !d.exhausted) {
        d.fetchNextRecords();
    }
}

long long Recordset::recordCount() const {
    d_->requireOpen();
    return d_->streaming ? -1 : static_cast<long long>(d_->rowsHeld());
}

int Recordset::fieldCount() const {
    d_->requireOpen();
    return static_cast<int>(d_->columns.size());
}

Field Recordset::field(int index) {
    d_->requireOpen();
    if (index < 0 || static_cast<std::size_t>(index) >= d_->columns.size()) {
        throw ComError(
            ComError::ItemNotFound, kRecordsetSource,
            QStringLiteral("Item cannot be found in the collection corresponding to the requested name "
                           "or ordinal."));
    }
    return Field(*this, index);
}

Field Recordset::field(const QString& name) {
    d_->requireOpen();
    for (std::size_t i = 0; i < d_->columns.size(); ++i) {
        if (d_->columns[i].name.compare(name, Qt::CaseInsensitive) == 0) {
            return Field(*this, static_cast<int>(i));
        }
    }
    throw ComError(
        ComError::ItemNotFound, kRecordsetSource,
        QStringLiteral("Item cannot be found in the collection corresponding to the requested name or "
                       "ordinal."));
}

Variant Recordset::value(int index) const {
    d_->requireRecord();
    const Impl& d = *d_;
    if (d.readsBlock()) {
        return d.block.value(d.blockRow(), d.columnAt(index));
    }
    return d.stores.at(d.columnAt(index)).value(d.current);
}

std::optional<std::u16string_view> Recordset::textValue(int index) const {
    return d_->typedCell<std::u16string_view>(
        index, [](std::uint16_t vt) { return vt == VT_BSTR; },
        [](const RowBlock& block, std::size_t row, std::size_t column) { return block.text(row, column); },
        [](const ColumnStore& store, std::size_t row) { return store.textView(row); });
}

std::optional<double> Recordset::dateValue(int index) const {
    return d_->typedCell<double>(
        index, [](std::uint16_t vt) { return vt == VT_DATE; },
        [](const RowBlock& block, std::size_t row, std::size_t column) { return block.date(row, column); },
        [](const ColumnStore& store, std::size_t row) { return store.real(row); });
}

std::optional<std::int64_t> Recordset::integerValue(int index) const {
    return d_->typedCell<std::int64_t>(
        index, isWholeNumber,
        [](const RowBlock& block, std::size_t row, std::size_t column) { return block.integer(row, column); },
        [](const ColumnStore& store, std::size_t row) { return store.integer(row); });
}

// What a Field reads: the column's description and the current record's cell.

Recordset::ColumnFacts Recordset::columnFacts(int index) const {
    d_->requireOpen();
    const ResultColumn& column = d_->columns.at(static_cast<std::size_t>(index));
    ColumnFacts facts;
    facts.name = column.name;
    facts.adoType = column.info.adoType;
    facts.definedSize = static_cast<long long>(column.size);
    if (column.info.vt == VT_DECIMAL) {
        facts.precision = static_cast<int>(column.size);
        facts.numericScale = column.digits;
    }
    if (column.info.isLong) {
        facts.attributes |= adFldLong;
    }
    if (column.nullable == SQL_NULLABLE) {
        facts.attributes |= adFldIsNullable | adFldMayBeNull;
    } else if (column.nullable == SQL_NULLABLE_UNKNOWN) {
        facts.attributes |= adFldMayBeNull;
    }
    if (!CellConversion::isVariableLength(column.info.cType)) {
        facts.attributes |= adFldFixed;
    }
    return facts;
}

int Recordset::cellStatus(int index) const {
    d_->requireOpen();
    if (d_->atEnd()) {
        return adFieldOK;
    }
    const Impl& d = *d_;
    if (d.readsBlock()) {
        return d.block.status(d.blockRow(), d.columnAt(index));
    }
    return d.stores.at(d.columnAt(index)).status(d.current);
}

long long Recordset::cellSize(int index) const {
    d_->requireRecord();
    const Impl& d = *d_;
    const std::size_t column = d.columnAt(index);
    std::uint16_t vt = 0;
    std::size_t length = 0;
    if (d.readsBlock()) {
        if (d.block.isNull(d.blockRow(), column) || d.block.status(d.blockRow(), column) != adFieldOK) {
            return 0;
        }
        vt = d.columns[column].info.vt;
        length = d.block.length(d.blockRow(), column);
    } else {
        const ColumnStore& store = d.stores.at(column);
        if (store.isNull(d.current) || store.status(d.current) != adFieldOK) {
            return 0;
        }
        vt = store.varType();
        length = store.length(d.current);
    }
    switch (vt) {
        case VT_BSTR:
        case VT_ARRAY | VT_UI1:
            return static_cast<long long>(length);
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_R4:
            return 4;
        case VT_DECIMAL:
            return 16;
        default:
            return 8;
    }
}

Variant Recordset::nextChunk(int index, long long size) {
    const Variant whole = value(index);
    std::size_t& offset = d_->chunkOffsets.at(static_cast<std::size_t>(index));
    if (whole.isNull() || size <= 0) {
        return Variant::null();
    }
    if (whole.type() == VT_BSTR) {
        if (offset >= static_cast<std::size_t>(whole.text().size())) {
            return Variant::null();
        }
        const QString piece = whole.text().mid(static_cast<qsizetype>(offset), static_cast<qsizetype>(size));
        offset += static_cast<std::size_t>(piece.size());
        return Variant::fromBstr(piece);
    }
    if (whole.type() == (VT_ARRAY | VT_UI1)) {
        if (offset >= static_cast<std::size_t>(whole.bytes().size())) {
            return Variant::null();
        }
        const QByteArray piece =
            whole.bytes().mid(static_cast<qsizetype>(offset), static_cast<qsizetype>(size));
        offset += static_cast<std::size_t>(piece.size());
        return Variant::fromBytes(piece);
    }
    return whole;
}

}  // namespace ado
