// Compact storage of one result column's values, row after row: the payloads of one kind packed in
// one array (integers, reals, decimals), text as one UTF-16 buffer with end offsets, bytes likewise.
// A per-row state byte says value, NULL or failed; a failed cell keeps its error and field status.
// Used by Recordset for the rows of a static cursor and for the current block of a forward-only one.
//
// Invariant: every payload array that the column's VARTYPE uses has exactly size() entries (NULL and
// failed rows hold a placeholder), so a row's payload is found by its index.
// REQUIRES: rows passed to the readers are below size().
#pragma once

#include <QString>
#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

#include "libraries/ado/ComError.h"
#include "libraries/ado/Variant.h"

namespace ado {

class ColumnStore {
  public:
    explicit ColumnStore(std::uint16_t vt);

    std::uint16_t varType() const { return vt_; }
    std::size_t size() const { return state_.size(); }
    void clear();

    void appendNull();
    void appendInt(std::int64_t value);  // integer kinds and VT_BOOL (0 or -1)
    void appendReal(double value);       // VT_R4, VT_R8, VT_DATE
    void appendDecimal(const Decimal& value);
    void appendText(const char16_t* text, std::size_t length);
    void appendBytes(const char* bytes, std::size_t length);
    void appendFailed(const ComError& error, int status);
    // Appends the cell row of other. REQUIRES: other has this store's VARTYPE.
    void appendFrom(const ColumnStore& other, std::size_t row);

    bool isNull(std::size_t row) const { return state_[row] == kNull; }
    int status(std::size_t row) const;
    // The cell as a Variant of the column's VARTYPE (VT_NULL for NULL). Throws the stored ComError
    // for a failed cell.
    Variant value(std::size_t row) const;
    // Characters of text, bytes of byte arrays; 0 otherwise.
    std::size_t length(std::size_t row) const;
    // The characters of a text cell, without building a Variant. REQUIRES: the column is VT_BSTR and the
    // cell holds a value (neither NULL nor failed). Valid until the store changes.
    std::u16string_view textView(std::size_t row) const {
        const std::size_t begin = row == 0 ? 0 : ends_[row - 1];
        return {chars_.data() + begin, ends_[row] - begin};
    }
    bool holdsValue(std::size_t row) const { return state_[row] == kValue; }
    // The payload of a VT_R4, VT_R8 or VT_DATE cell. REQUIRES: the cell holds a value.
    double real(std::size_t row) const { return reals_[row]; }
    // The payload of an integer kind's cell. REQUIRES: the cell holds a value.
    std::int64_t integer(std::size_t row) const { return ints_[row]; }

    // A Variant of the integer kind vt (VT_I1 ... VT_UI8, VT_CY, VT_BOOL) or the real kind vt (VT_R4, VT_R8,
    // VT_DATE) from its payload as this store keeps it.
    static Variant intVariant(std::uint16_t vt, std::int64_t value);
    static Variant realVariant(std::uint16_t vt, double value);

  private:
    enum : std::uint8_t { kValue = 0, kNull = 1, kFailed = 2 };
    void appendPlaceholder();
    bool usesInts() const;
    bool usesReals() const;
    bool usesEnds() const;

    std::uint16_t vt_;
    std::vector<std::uint8_t> state_;
    std::vector<std::int64_t> ints_;
    std::vector<double> reals_;
    std::vector<Decimal> decimals_;
    std::vector<char16_t> chars_;
    std::vector<char> bytes_;
    std::vector<std::size_t> ends_;  // end offset in chars_ or bytes_ of each row
    std::map<std::size_t, std::pair<ComError, int>> failures_;
};

}  // namespace ado
