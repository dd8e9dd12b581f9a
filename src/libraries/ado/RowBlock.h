// RowBlock: the bound column arrays of one statement, and the rows that the last fetch put into them.
//
// Every result column is bound by column (SQL_BIND_BY_COLUMN) to an array of capacity() elements with an
// indicator array; one SQLFetch fills up to capacity() rows. Values are read where the driver wrote them:
// text as the characters of its element, the fixed kinds converted from their C value when asked, so that
// a forward-only recordset passes values on without copying them. A variable-length value longer than its
// element (drivers declare long text columns far wider than they are bound) arrives cut; the fetcher
// completes it with SQLGetData and files the whole value here (setLong), and a row the driver could not
// deliver keeps the driver's error (setRowError).
//
// Owns: the arrays, the row count and row status arrays the statement writes into (heap storage, so that a
// RowBlock can be moved while a statement stays bound to it), the completed long values and the row errors.
// Invariant: the rows the last fetch brought (settleFetched) are at most capacity(); cells are read at those
// rows only, and only where the status is neither SQL_ROW_NOROW nor SQL_ROW_DELETED.
// REQUIRES: the statement bound to a RowBlock is unbound or freed before the RowBlock goes.
#pragma once

#include <sql.h>

#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "libraries/ado/CellConversion.h"
#include "libraries/ado/ColumnStore.h"
#include "libraries/ado/ComError.h"
#include "libraries/ado/SqlTypeMap.h"
#include "libraries/ado/Variant.h"

namespace ado {

// One column of a result as the driver describes it, with how the layer fetches it.
struct ResultColumn {
    QString name;
    SQLSMALLINT sqlType = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
    SqlTypeInfo info{};
};

class RowBlock {
  public:
    RowBlock() = default;
    RowBlock(RowBlock&&) noexcept = default;
    RowBlock& operator=(RowBlock&&) noexcept = default;
    RowBlock(const RowBlock&) = delete;
    RowBlock& operator=(const RowBlock&) = delete;

    // Sizes the arrays for columns: as many rows as about 256 KB of arrays hold, at least one and at most
    // maxRows (1 for a block of one row).
    void plan(const std::vector<ResultColumn>& columns, std::size_t maxRows);
    // The row count the driver will deliver instead of the planned one (it may substitute its own).
    void resize(std::size_t rows);

    std::size_t capacity() const { return capacity_; }
    // What to hand SQLBindCol and the statement attributes.
    SQLPOINTER buffer(std::size_t col) { return columns_[col].buffer.data(); }
    SQLLEN elementBytes(std::size_t col) const { return columns_[col].elementBytes; }
    SQLLEN* indicators(std::size_t col) { return columns_[col].indicators.data(); }
    SQLULEN* rowsFetchedPointer() { return fetchedCount_.data(); }
    SQLUSMALLINT* rowStatusPointer() { return rowStatus_.data(); }

    // Before a fetch: no rows, every status SQL_ROW_NOROW, no long values or row errors.
    void clearRows();
    // After a fetch that returned data: the rows it brought (from the driver's count, or from the row
    // statuses when the driver left the count out).
    std::size_t settleFetched();
    SQLUSMALLINT rowStatus(std::size_t row) const { return rowStatus_[row]; }

    // Whether the cell is a variable-length value longer than its element (read it with SQLGetData).
    bool overflows(std::size_t row, std::size_t col) const;
    // Files the whole value of an overflowing cell, read with SQLGetData: in store, a column store of the
    // column's VARTYPE holding exactly one cell (its value, NULL or failure).
    void setLong(std::size_t row, std::size_t col, ColumnStore&& store);
    // Marks every cell of row as failed with error.
    void setRowError(std::size_t row, const ComError& error);
    // Whether row of other holds the same bound data as row of this block (statuses, indicators and the bytes
    // of every element). REQUIRES: both blocks were planned for the same columns.
    bool sameRow(std::size_t row, const RowBlock& other, std::size_t otherRow) const;

    // Reading a cell (a row the last fetch brought, a column of the plan).
    bool isNull(std::size_t row, std::size_t col) const;
    // The cell's field status: adFieldOK unless its value cannot be read.
    int status(std::size_t row, std::size_t col) const;
    // The cell as a Variant of the column's VARTYPE (VT_NULL for NULL). Throws ComError for a failed cell.
    Variant value(std::size_t row, std::size_t col) const;
    // The characters of a text cell that holds a value, in place; nullopt for NULL, a failed cell or another
    // type. Valid until the next fetch into this block.
    std::optional<std::u16string_view> text(std::size_t row, std::size_t col) const;
    // The automation date of a date cell that holds a valid value; nullopt otherwise.
    std::optional<double> date(std::size_t row, std::size_t col) const;
    // The value of an integer cell (a column fetched as SQL_C_SBIGINT) that holds a value the column's
    // VARTYPE can carry; nullopt otherwise.
    std::optional<std::int64_t> integer(std::size_t row, std::size_t col) const;
    // Characters of text, bytes of byte arrays; 0 otherwise and for NULL or failed cells.
    std::size_t length(std::size_t row, std::size_t col) const;
    // Appends the cell to store (of the column's VARTYPE).
    void appendTo(ColumnStore& store, std::size_t row, std::size_t col) const;

  private:
    struct Column {
        SQLSMALLINT cType = 0;
        std::uint16_t vt = 0;
        SQLLEN elementBytes = 0;
        std::vector<char> buffer;  // capacity elements of elementBytes
        std::vector<SQLLEN> indicators;
    };
    const char* element(std::size_t row, std::size_t col) const {
        const Column& c = columns_[col];
        return c.buffer.data() + static_cast<std::size_t>(c.elementBytes) * row;
    }
    // The bytes of the cell's data held in its element (a value cut by an element too small counts what the
    // element holds).
    SQLLEN heldBytes(std::size_t row, std::size_t col) const;
    // The converted value of a fixed-size cell that holds one (neither NULL nor in a failed row).
    std::optional<CellConversion::Converted> fixedValue(std::size_t row, std::size_t col) const;
    const ColumnStore* longValue(std::size_t row, std::size_t col) const;
    const ComError* rowError(std::size_t row) const;

    std::vector<Column> columns_;
    std::size_t capacity_ = 0;
    std::vector<SQLULEN> fetchedCount_ = std::vector<SQLULEN>(1, 0);
    std::vector<SQLUSMALLINT> rowStatus_;
    std::map<std::pair<std::size_t, std::size_t>, ColumnStore> longs_;  // (row, col) -> the whole value
    std::map<std::size_t, ComError> rowErrors_;
};

}  // namespace ado
