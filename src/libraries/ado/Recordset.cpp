#include "libraries/ado/Recordset.h"

#include <sqlext.h>

#include <QDate>
#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "libraries/ado/ColumnStore.h"
#include "libraries/ado/Connection.h"
#include "libraries/ado/OdbcCall.h"
#include "libraries/ado/OdbcHandle.h"
#include "libraries/ado/SqlTypeMap.h"

namespace ado {

namespace {

const QString kRecordsetSource = QStringLiteral("ADODB.Recordset");

// Bound text is this many characters wide when the declared size is unknown or large; longer
// values are completed with SQLGetData.
constexpr SQLULEN kLongTextChars = 255;
constexpr SQLULEN kMaxBoundTextChars = 1024;
constexpr SQLULEN kLongBinaryBytes = 256;
constexpr SQLULEN kMaxBoundBinaryBytes = 8000;
// Bytes of bound buffers per block; the block has at least one row and at most kMaxBlockRows.
constexpr std::size_t kBlockBytes = 512 * 1024;
constexpr std::size_t kMaxBlockRows = 1000;
// Piece size of SQLGetData loops.
constexpr SQLLEN kPieceBytes = 8192;

struct Column {
    QString name;
    SQLSMALLINT sqlType = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
    SqlTypeInfo info{};
};

struct Binding {
    std::vector<char> buffer;  // blockRows elements of elementBytes
    SQLLEN elementBytes = 0;
    std::vector<SQLLEN> indicators;
};

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

double dateValue(const SQL_DATE_STRUCT& d, bool& ok) {
    ok = QDate::isValid(d.year, d.month, d.day);
    return ok ? Variant::automationDate({d.year, d.month, d.day, 0, 0, 0, 0}) : 0.0;
}

double timeValue(const SQL_TIME_STRUCT& t, bool& ok) {
    ok = t.hour < 24 && t.minute < 60 && t.second < 61;
    return ok ? Variant::automationDate({1899, 12, 30, t.hour, t.minute, t.second, 0}) : 0.0;
}

double timestampValue(const SQL_TIMESTAMP_STRUCT& t, bool& ok) {
    ok = QDate::isValid(t.year, t.month, t.day) && t.hour < 24 && t.minute < 60 && t.second < 61;
    return ok ? Variant::automationDate({t.year, t.month, t.day, t.hour, t.minute, t.second,
                                         static_cast<int>(t.fraction / 1000000)})
              : 0.0;
}

ComError conversionError() {
    return ComError(ComError::TypeMismatch, kRecordsetSource,
                    QStringLiteral("The value cannot be converted to the field's type."));
}

ComError overflowError() {
    return ComError(ComError::Overflow, kRecordsetSource,
                    QStringLiteral("The value does not fit the field's data type."));
}

bool fitsVarType(std::int64_t value, std::uint16_t vt) {
    switch (vt) {
        case VT_UI1:
            return value >= 0 && value <= 255;
        case VT_I2:
            return value >= -32768 && value <= 32767;
        case VT_I4:
            return value >= std::numeric_limits<std::int32_t>::min() &&
                   value <= std::numeric_limits<std::int32_t>::max();
        default:
            return true;
    }
}

// Stores one fixed-size C value (or the numeric text) read into memory at data.
void appendFixed(ColumnStore& store, SQLSMALLINT cType, const char* data, SQLLEN length) {
    bool ok = true;
    switch (cType) {
        case SQL_C_BIT: {
            unsigned char v = 0;
            std::memcpy(&v, data, sizeof v);
            store.appendInt(v != 0 ? -1 : 0);  // VARIANT_TRUE is -1
            return;
        }
        case SQL_C_SBIGINT: {
            SQLBIGINT v = 0;
            std::memcpy(&v, data, sizeof v);
            if (fitsVarType(v, store.varType())) {
                store.appendInt(v);
            } else {
                store.appendFailed(overflowError(), adFieldDataOverflow);
            }
            return;
        }
        case SQL_C_FLOAT: {
            SQLREAL v = 0;
            std::memcpy(&v, data, sizeof v);
            store.appendReal(v);
            return;
        }
        case SQL_C_DOUBLE: {
            SQLDOUBLE v = 0;
            std::memcpy(&v, data, sizeof v);
            store.appendReal(v);
            return;
        }
        case SQL_C_TYPE_DATE: {
            SQL_DATE_STRUCT v{};
            std::memcpy(&v, data, sizeof v);
            const double d = dateValue(v, ok);
            ok ? store.appendReal(d) : store.appendFailed(conversionError(), adFieldCantConvertValue);
            return;
        }
        case SQL_C_TYPE_TIME: {
            SQL_TIME_STRUCT v{};
            std::memcpy(&v, data, sizeof v);
            const double d = timeValue(v, ok);
            ok ? store.appendReal(d) : store.appendFailed(conversionError(), adFieldCantConvertValue);
            return;
        }
        case SQL_C_TYPE_TIMESTAMP: {
            SQL_TIMESTAMP_STRUCT v{};
            std::memcpy(&v, data, sizeof v);
            const double d = timestampValue(v, ok);
            ok ? store.appendReal(d) : store.appendFailed(conversionError(), adFieldCantConvertValue);
            return;
        }
        case SQL_C_CHAR: {
            Decimal decimal;
            if (Decimal::fromText(QString::fromLatin1(data, length), decimal)) {
                store.appendDecimal(decimal);
            } else {
                store.appendFailed(overflowError(), adFieldDataOverflow);
            }
            return;
        }
        default:
            store.appendFailed(conversionError(), adFieldCantConvertValue);
    }
}

SQLLEN fixedBytes(SQLSMALLINT cType) {
    switch (cType) {
        case SQL_C_BIT:
            return 1;
        case SQL_C_SBIGINT:
            return sizeof(SQLBIGINT);
        case SQL_C_FLOAT:
            return sizeof(SQLREAL);
        case SQL_C_DOUBLE:
            return sizeof(SQLDOUBLE);
        case SQL_C_TYPE_DATE:
            return sizeof(SQL_DATE_STRUCT);
        case SQL_C_TYPE_TIME:
            return sizeof(SQL_TIME_STRUCT);
        case SQL_C_TYPE_TIMESTAMP:
            return sizeof(SQL_TIMESTAMP_STRUCT);
        default:
            return 0;
    }
}

bool isVariableLength(SQLSMALLINT cType) {
    return cType == SQL_C_WCHAR || cType == SQL_C_BINARY || cType == SQL_C_CHAR;
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

    std::vector<Column> columns;
    std::vector<ColumnStore> stores;
    std::size_t current = 0;  // row index in stores
    std::vector<std::size_t> chunkOffsets;

    // Fetch plan.
    bool bound = false;
    SQLULEN blockRows = 1;
    std::vector<Binding> bindings;
    SQLULEN rowsFetched = 0;
    std::vector<SQLUSMALLINT> rowStatus;

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

    std::size_t rowsHeld() const { return stores.empty() ? 0 : stores.front().size(); }
    bool atEnd() const { return current >= rowsHeld(); }

    void execute();
    void describe();
    void planFetch(SQLHDBC dbc);
    // Appends the next block (static) or replaces the held rows with it (streaming). Returns the
    // number of rows it brought; 0 at the end of the result.
    std::size_t fetchBlock();
    void readWithGetData(std::size_t column, ColumnStore& store);
    void release();

    ~Impl() { statement.reset(); }  // before the buffers the driver writes into go
};

void Recordset::Impl::execute() {
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
        Column& column = columns[static_cast<std::size_t>(i)];
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
    for (const Column& column : columns) {
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
    // Binding needs SQLGetData on bound columns for the values that do not fit; blocks of more than
    // one row need it inside a block as well. Without either, every value is read by SQLGetData.
    bound = (extensions & SQL_GD_BOUND) != 0 && !columns.empty();
    const bool blocks = bound && (extensions & SQL_GD_BLOCK) != 0;
    bindings.assign(columns.size(), {});
    if (!bound) {
        blockRows = 1;
        return;
    }
    std::size_t rowBytes = 0;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const Column& column = columns[i];
        Binding& binding = bindings[i];
        switch (column.info.cType) {
            case SQL_C_WCHAR: {
                SQLULEN chars = column.size;
                if (column.info.isLong || chars == 0 || chars > kMaxBoundTextChars) {
                    chars = kLongTextChars;
                }
                binding.elementBytes = static_cast<SQLLEN>((chars + 1) * sizeof(SQLWCHAR));
                break;
            }
            case SQL_C_BINARY: {
                SQLULEN bytes = column.size;
                if (column.info.isLong || bytes == 0 || bytes > kMaxBoundBinaryBytes) {
                    bytes = kLongBinaryBytes;
                }
                binding.elementBytes = static_cast<SQLLEN>(bytes);
                break;
            }
            case SQL_C_CHAR:  // numeric text: sign, digits, point, exponent
                binding.elementBytes = static_cast<SQLLEN>(std::min<SQLULEN>(column.size, 1000) + 48);
                break;
            default:
                binding.elementBytes = fixedBytes(column.info.cType);
                break;
        }
        rowBytes += static_cast<std::size_t>(binding.elementBytes) + sizeof(SQLLEN);
    }
    blockRows =
        blocks ? std::clamp<std::size_t>(kBlockBytes / std::max<std::size_t>(rowBytes, 1), 1, kMaxBlockRows)
               : 1;

    SQLHSTMT stmt = statement.get();
    check(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0));
    const SQLRETURN rc =
        SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(blockRows), 0);
    check(rc);
    if (rc == SQL_SUCCESS_WITH_INFO) {
        // The driver substituted its own size (01S02): use what it will deliver.
        SQLULEN actual = 1;
        check(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &actual, 0, nullptr));
        blockRows = std::max<SQLULEN>(actual, 1);
    }
    rowStatus.assign(blockRows, SQL_ROW_SUCCESS);
    check(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, rowStatus.data(), 0));
    check(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &rowsFetched, 0));
    for (std::size_t i = 0; i < columns.size(); ++i) {
        Binding& binding = bindings[i];
        binding.buffer.assign(static_cast<std::size_t>(binding.elementBytes) * blockRows, 0);
        binding.indicators.assign(blockRows, 0);
        check(SQLBindCol(stmt, static_cast<SQLUSMALLINT>(i + 1), columns[i].info.cType, binding.buffer.data(),
                         binding.elementBytes, binding.indicators.data()));
    }
}

void Recordset::Impl::readWithGetData(std::size_t column, ColumnStore& store) {
    SQLHSTMT stmt = statement.get();
    const auto number = static_cast<SQLUSMALLINT>(column + 1);
    const SQLSMALLINT cType = columns[column].info.cType;
    SQLLEN indicator = 0;
    auto failed = [&](int status) {
        store.appendFailed(ComError::fromDiagnostics(OdbcCall::diagnostics(SQL_HANDLE_STMT, stmt)), status);
    };
    if (!isVariableLength(cType)) {
        alignas(8) char value[64] = {};
        const SQLRETURN rc = OdbcCall::watched(SQL_HANDLE_STMT, stmt, [&] {
            return SQLGetData(stmt, number, cType, value, sizeof value, &indicator);
        });
        if (!OdbcCall::succeeded(rc)) {
            failed(adFieldCantConvertValue);
        } else if (indicator == SQL_NULL_DATA) {
            store.appendNull();
        } else {
            appendFixed(store, cType, value, indicator);
        }
        return;
    }
    // Variable length: read in pieces until the driver says the value is complete.
    const SQLLEN terminator = cType == SQL_C_WCHAR  ? static_cast<SQLLEN>(sizeof(SQLWCHAR))
                              : cType == SQL_C_CHAR ? 1
                                                    : 0;
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
        appendFixed(store, cType, data.data(), static_cast<SQLLEN>(data.size()));
    }
}

std::size_t Recordset::Impl::fetchBlock() {
    if (streaming) {
        for (ColumnStore& store : stores) {
            store.clear();
        }
        current = 0;
    }
    if (exhausted || columns.empty()) {
        exhausted = true;
        return 0;
    }
    SQLHSTMT stmt = statement.get();
    rowsFetched = 0;
    std::fill(rowStatus.begin(), rowStatus.end(), static_cast<SQLUSMALLINT>(SQL_ROW_NOROW));
    const SQLRETURN rc = checkWatched([stmt] { return SQLFetch(stmt); });
    if (rc == SQL_NO_DATA) {
        exhausted = true;
        return 0;
    }
    if (!bound) {
        rowsFetched = 1;
    } else if (rowsFetched == 0 || rowsFetched > blockRows) {
        // A driver that does not report the count: the row statuses it filled in tell it.
        rowsFetched = static_cast<SQLULEN>(std::count_if(rowStatus.begin(), rowStatus.end(),
                                                         [](SQLUSMALLINT s) { return s != SQL_ROW_NOROW; }));
        if (rowsFetched == 0) {
            rowsFetched = 1;  // nor the statuses: a successful fetch brought at least one row
        }
    }
    const std::size_t rows = static_cast<std::size_t>(rowsFetched);
    std::size_t added = 0;
    for (std::size_t row = 0; row < rows; ++row) {
        const SQLUSMALLINT status = bound ? rowStatus[row] : SQL_ROW_SUCCESS;
        if (status == SQL_ROW_NOROW || status == SQL_ROW_DELETED) {
            continue;
        }
        if (status == SQL_ROW_ERROR) {
            const ComError error = ComError::fromDiagnostics(OdbcCall::diagnostics(SQL_HANDLE_STMT, stmt));
            for (ColumnStore& store : stores) {
                store.appendFailed(error, adFieldCantConvertValue);
            }
            ++added;
            continue;
        }
        bool positioned = blockRows == 1;
        for (std::size_t col = 0; col < columns.size(); ++col) {
            ColumnStore& store = stores[col];
            if (!bound) {
                readWithGetData(col, store);
                continue;
            }
            const Binding& binding = bindings[col];
            const SQLLEN indicator = binding.indicators[row];
            const char* data = binding.buffer.data() + static_cast<std::size_t>(binding.elementBytes) * row;
            if (indicator == SQL_NULL_DATA) {
                store.appendNull();
                continue;
            }
            const SQLSMALLINT cType = columns[col].info.cType;
            if (isVariableLength(cType)) {
                const SQLLEN room =
                    binding.elementBytes - (cType == SQL_C_WCHAR  ? static_cast<SQLLEN>(sizeof(SQLWCHAR))
                                            : cType == SQL_C_CHAR ? 1
                                                                  : 0);
                if (indicator == SQL_NO_TOTAL || indicator > room) {
                    // Does not fit: read the whole value again with SQLGetData on this row.
                    if (!positioned) {
                        checkWatched([stmt, row] {
                            return SQLSetPos(stmt, static_cast<SQLSETPOSIROW>(row + 1), SQL_POSITION,
                                             SQL_LOCK_NO_CHANGE);
                        });
                        positioned = true;
                    }
                    readWithGetData(col, store);
                    continue;
                }
                if (cType == SQL_C_WCHAR) {
                    store.appendText(reinterpret_cast<const char16_t*>(data),
                                     static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR));
                } else if (cType == SQL_C_BINARY) {
                    store.appendBytes(data, static_cast<std::size_t>(indicator));
                } else {
                    appendFixed(store, cType, data, indicator);
                }
            } else {
                appendFixed(store, cType, data, indicator);
            }
        }
        ++added;
    }
    return added;
}

void Recordset::Impl::release() {
    statement.reset();
    columns.clear();
    stores.clear();
    bindings.clear();
    rowStatus.clear();
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
            d.fetchBlock();
        } else {
            while (d.fetchBlock() > 0) {
            }
            // Everything is held: neither the statement nor the connection is needed any more.
            d.statement.reset();
            d.bindings.clear();
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
    d.fetchBlock();
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
        d.fetchBlock();
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
    d_->requireOpen();
    if (d_->atEnd()) {
        throwNoCurrentRecord();
    }
    return d_->stores.at(static_cast<std::size_t>(index)).value(d_->current);
}

std::optional<std::u16string_view> Recordset::textValue(int index) const {
    d_->requireOpen();
    if (d_->atEnd()) {
        throwNoCurrentRecord();
    }
    const ColumnStore& store = d_->stores.at(static_cast<std::size_t>(index));
    if (store.varType() != VT_BSTR || !store.holdsValue(d_->current)) {
        return std::nullopt;
    }
    return store.textView(d_->current);
}

// What a Field reads: the column's description and the current record's cell.

Recordset::ColumnFacts Recordset::columnFacts(int index) const {
    d_->requireOpen();
    const Column& column = d_->columns.at(static_cast<std::size_t>(index));
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
    if (!isVariableLength(column.info.cType)) {
        facts.attributes |= adFldFixed;
    }
    return facts;
}

int Recordset::cellStatus(int index) const {
    d_->requireOpen();
    if (d_->atEnd()) {
        return adFieldOK;
    }
    return d_->stores.at(static_cast<std::size_t>(index)).status(d_->current);
}

long long Recordset::cellSize(int index) const {
    d_->requireOpen();
    if (d_->atEnd()) {
        throwNoCurrentRecord();
    }
    const ColumnStore& store = d_->stores.at(static_cast<std::size_t>(index));
    if (store.isNull(d_->current) || store.status(d_->current) != adFieldOK) {
        return 0;
    }
    switch (store.varType()) {
        case VT_BSTR:
        case VT_ARRAY | VT_UI1:
            return static_cast<long long>(store.length(d_->current));
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
