#include "libraries/ado/RowBlock.h"

#include <sqlext.h>

#include <algorithm>
#include <cstring>

#include "libraries/ado/CellConversion.h"
#include "libraries/ado/DataTypes.h"

namespace ado {

namespace {

// Bound text is this many characters wide when the declared size is unknown or large; longer values are
// completed with SQLGetData.
constexpr SQLULEN kLongTextChars = 255;
constexpr SQLULEN kMaxBoundTextChars = 1024;
constexpr SQLULEN kLongBinaryBytes = 256;
constexpr SQLULEN kMaxBoundBinaryBytes = 8000;
// Bytes of arrays per block; a block has at least one row.
constexpr std::size_t kBlockBytes = 256 * 1024;

// The bytes of an element that hold data (a text element ends in a terminator).
SQLLEN room(SQLSMALLINT cType, SQLLEN elementBytes) {
    return elementBytes - CellConversion::terminatorBytes(cType);
}

}  // namespace

SQLLEN RowBlock::heldBytes(std::size_t row, std::size_t col) const {
    const Column& c = columns_[col];
    const SQLLEN indicator = c.indicators[row];
    if (!CellConversion::isVariableLength(c.cType)) {
        return indicator;
    }
    const SQLLEN held = room(c.cType, c.elementBytes);
    return indicator == SQL_NO_TOTAL ? held : std::min(indicator, held);
}

void RowBlock::plan(const std::vector<ResultColumn>& columns, std::size_t maxRows) {
    columns_.assign(columns.size(), Column());
    std::size_t rowBytes = 0;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const ResultColumn& column = columns[i];
        Column& c = columns_[i];
        c.cType = column.info.cType;
        c.vt = column.info.vt;
        switch (c.cType) {
            case SQL_C_WCHAR: {
                SQLULEN chars = column.size;
                if (column.info.isLong || chars == 0 || chars > kMaxBoundTextChars) {
                    chars = kLongTextChars;
                }
                c.elementBytes = static_cast<SQLLEN>((chars + 1) * sizeof(SQLWCHAR));
                break;
            }
            case SQL_C_BINARY: {
                SQLULEN bytes = column.size;
                if (column.info.isLong || bytes == 0 || bytes > kMaxBoundBinaryBytes) {
                    bytes = kLongBinaryBytes;
                }
                c.elementBytes = static_cast<SQLLEN>(bytes);
                break;
            }
            case SQL_C_CHAR:  // numeric text: sign, digits, point, exponent
                c.elementBytes = static_cast<SQLLEN>(std::min<SQLULEN>(column.size, 1000) + 48);
                break;
            default:
                c.elementBytes = CellConversion::fixedBytes(c.cType);
                break;
        }
        rowBytes += static_cast<std::size_t>(c.elementBytes) + sizeof(SQLLEN);
    }
    resize(std::clamp<std::size_t>(kBlockBytes / std::max<std::size_t>(rowBytes, 1), 1,
                                   std::max<std::size_t>(maxRows, 1)));
}

void RowBlock::resize(std::size_t rows) {
    capacity_ = std::max<std::size_t>(rows, 1);
    for (Column& c : columns_) {
        c.buffer.assign(static_cast<std::size_t>(c.elementBytes) * capacity_, 0);
        c.indicators.assign(capacity_, 0);
    }
    rowStatus_.assign(capacity_, SQL_ROW_NOROW);
    clearRows();
}

void RowBlock::clearRows() {
    fetchedCount_[0] = 0;
    std::fill(rowStatus_.begin(), rowStatus_.end(), static_cast<SQLUSMALLINT>(SQL_ROW_NOROW));
    longs_.clear();
    rowErrors_.clear();
}

std::size_t RowBlock::settleFetched() {
    SQLULEN rows = fetchedCount_[0];
    if (rows == 0 || rows > capacity_) {
        // A driver that does not report the count: the row statuses it filled in tell it.
        rows = static_cast<SQLULEN>(std::count_if(rowStatus_.begin(), rowStatus_.end(),
                                                  [](SQLUSMALLINT s) { return s != SQL_ROW_NOROW; }));
        if (rows == 0) {
            // Nor the statuses: a successful fetch brought at least one row.
            rows = 1;
            rowStatus_[0] = SQL_ROW_SUCCESS;
        }
    }
    return static_cast<std::size_t>(rows);
}

bool RowBlock::overflows(std::size_t row, std::size_t col) const {
    const Column& c = columns_[col];
    if (!CellConversion::isVariableLength(c.cType)) {
        return false;
    }
    const SQLLEN indicator = c.indicators[row];
    return indicator != SQL_NULL_DATA &&
           (indicator == SQL_NO_TOTAL || indicator > room(c.cType, c.elementBytes));
}

void RowBlock::setLong(std::size_t row, std::size_t col, ColumnStore&& store) {
    longs_.insert_or_assign({row, col}, std::move(store));
}

void RowBlock::setRowError(std::size_t row, const ComError& error) {
    rowErrors_.insert_or_assign(row, error);
}

const ColumnStore* RowBlock::longValue(std::size_t row, std::size_t col) const {
    if (!overflows(row, col)) {
        return nullptr;
    }
    const auto found = longs_.find({row, col});
    return found == longs_.end() ? nullptr : &found->second;
}

const ComError* RowBlock::rowError(std::size_t row) const {
    if (rowStatus_[row] != SQL_ROW_ERROR) {
        return nullptr;
    }
    const auto found = rowErrors_.find(row);
    return found == rowErrors_.end() ? nullptr : &found->second;
}

bool RowBlock::sameRow(std::size_t row, const RowBlock& other, std::size_t otherRow) const {
    if ((rowStatus_[row] == SQL_ROW_ERROR) != (other.rowStatus_[otherRow] == SQL_ROW_ERROR)) {
        return false;
    }
    for (std::size_t col = 0; col < columns_.size(); ++col) {
        const Column& c = columns_[col];
        const SQLLEN indicator = c.indicators[row];
        if (indicator != other.columns_[col].indicators[otherRow]) {
            return false;
        }
        if (indicator == SQL_NULL_DATA) {
            continue;
        }
        const SQLLEN bytes = CellConversion::isVariableLength(c.cType) ? heldBytes(row, col) : c.elementBytes;
        if (std::memcmp(element(row, col), other.element(otherRow, col), static_cast<std::size_t>(bytes)) !=
            0) {
            return false;
        }
    }
    return true;
}

bool RowBlock::isNull(std::size_t row, std::size_t col) const {
    if (rowError(row) != nullptr) {
        return false;
    }
    if (const ColumnStore* whole = longValue(row, col)) {
        return whole->isNull(0);
    }
    return columns_[col].indicators[row] == SQL_NULL_DATA;
}

int RowBlock::status(std::size_t row, std::size_t col) const {
    if (rowError(row) != nullptr) {
        return adFieldCantConvertValue;
    }
    if (const ColumnStore* whole = longValue(row, col)) {
        return whole->status(0);
    }
    const Column& c = columns_[col];
    const SQLLEN indicator = c.indicators[row];
    if (indicator == SQL_NULL_DATA || c.cType == SQL_C_WCHAR || c.cType == SQL_C_BINARY) {
        return adFieldOK;
    }
    return CellConversion::convert(c.cType, c.vt, element(row, col), heldBytes(row, col)).status;
}

Variant RowBlock::value(std::size_t row, std::size_t col) const {
    if (const ComError* error = rowError(row)) {
        throw *error;
    }
    if (const ColumnStore* whole = longValue(row, col)) {
        return whole->value(0);
    }
    const Column& c = columns_[col];
    const SQLLEN indicator = c.indicators[row];
    if (indicator == SQL_NULL_DATA) {
        return Variant::null();
    }
    const char* data = element(row, col);
    const SQLLEN bytes = heldBytes(row, col);
    if (c.cType == SQL_C_WCHAR) {
        return Variant::fromBstr(
            QString(reinterpret_cast<const QChar*>(data),
                    static_cast<qsizetype>(bytes / static_cast<SQLLEN>(sizeof(SQLWCHAR)))));
    }
    if (c.cType == SQL_C_BINARY) {
        return Variant::fromBytes(QByteArray(data, static_cast<qsizetype>(bytes)));
    }
    const CellConversion::Converted converted = CellConversion::convert(c.cType, c.vt, data, bytes);
    switch (converted.kind) {
        case CellConversion::Converted::Int:
            return ColumnStore::intVariant(c.vt, converted.integer);
        case CellConversion::Converted::Real:
            return ColumnStore::realVariant(c.vt, converted.real);
        case CellConversion::Converted::Decimal:
            return Variant::fromDecimal(converted.decimal);
        default:
            throw CellConversion::error(converted.status);
    }
}

std::optional<std::u16string_view> RowBlock::text(std::size_t row, std::size_t col) const {
    const Column& c = columns_[col];
    if (c.vt != VT_BSTR || rowStatus_[row] == SQL_ROW_ERROR) {
        return std::nullopt;
    }
    const SQLLEN indicator = c.indicators[row];
    if (indicator == SQL_NULL_DATA) {
        return std::nullopt;
    }
    if (overflows(row, col)) {
        const ColumnStore* whole = longValue(row, col);
        if (whole == nullptr || !whole->holdsValue(0)) {
            return std::nullopt;
        }
        return whole->textView(0);
    }
    return std::u16string_view(reinterpret_cast<const char16_t*>(element(row, col)),
                               static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR));
}

std::optional<CellConversion::Converted> RowBlock::fixedValue(std::size_t row, std::size_t col) const {
    const Column& c = columns_[col];
    if (CellConversion::isVariableLength(c.cType) || rowStatus_[row] == SQL_ROW_ERROR ||
        c.indicators[row] == SQL_NULL_DATA) {
        return std::nullopt;
    }
    return CellConversion::convert(c.cType, c.vt, element(row, col), heldBytes(row, col));
}

std::optional<double> RowBlock::date(std::size_t row, std::size_t col) const {
    const auto converted = columns_[col].vt == VT_DATE ? fixedValue(row, col) : std::nullopt;
    if (!converted || converted->kind != CellConversion::Converted::Real) {
        return std::nullopt;
    }
    return converted->real;
}

std::optional<std::int64_t> RowBlock::integer(std::size_t row, std::size_t col) const {
    const auto converted = columns_[col].cType == SQL_C_SBIGINT ? fixedValue(row, col) : std::nullopt;
    if (!converted || converted->kind != CellConversion::Converted::Int) {
        return std::nullopt;
    }
    return converted->integer;
}

std::size_t RowBlock::length(std::size_t row, std::size_t col) const {
    if (rowError(row) != nullptr) {
        return 0;
    }
    if (const ColumnStore* whole = longValue(row, col)) {
        return whole->length(0);
    }
    const Column& c = columns_[col];
    const SQLLEN indicator = c.indicators[row];
    if (indicator == SQL_NULL_DATA) {
        return 0;
    }
    if (c.cType == SQL_C_WCHAR) {
        return static_cast<std::size_t>(heldBytes(row, col)) / sizeof(SQLWCHAR);
    }
    if (c.cType == SQL_C_BINARY) {
        return static_cast<std::size_t>(heldBytes(row, col));
    }
    return 0;
}

void RowBlock::appendTo(ColumnStore& store, std::size_t row, std::size_t col) const {
    if (const ComError* error = rowError(row)) {
        store.appendFailed(*error, adFieldCantConvertValue);
        return;
    }
    if (const ColumnStore* whole = longValue(row, col)) {
        store.appendFrom(*whole, 0);
        return;
    }
    const Column& c = columns_[col];
    const SQLLEN indicator = c.indicators[row];
    if (indicator == SQL_NULL_DATA) {
        store.appendNull();
        return;
    }
    const char* data = element(row, col);
    const SQLLEN bytes = heldBytes(row, col);
    if (c.cType == SQL_C_WCHAR) {
        store.appendText(reinterpret_cast<const char16_t*>(data),
                         static_cast<std::size_t>(bytes) / sizeof(SQLWCHAR));
    } else if (c.cType == SQL_C_BINARY) {
        store.appendBytes(data, static_cast<std::size_t>(bytes));
    } else {
        CellConversion::append(store, c.cType, data, bytes);
    }
}

}  // namespace ado
