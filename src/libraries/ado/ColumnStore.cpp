#include "libraries/ado/ColumnStore.h"

#include "libraries/ado/DataTypes.h"

namespace ado {

ColumnStore::ColumnStore(std::uint16_t vt) : vt_(vt) {}

bool ColumnStore::usesInts() const {
    switch (vt_) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_I8:
        case VT_UI8:
        case VT_BOOL:
        case VT_CY:
            return true;
        default:
            return false;
    }
}

bool ColumnStore::usesReals() const {
    return vt_ == VT_R4 || vt_ == VT_R8 || vt_ == VT_DATE;
}

bool ColumnStore::usesEnds() const {
    return vt_ == VT_BSTR || vt_ == (VT_ARRAY | VT_UI1);
}

void ColumnStore::clear() {
    state_.clear();
    ints_.clear();
    reals_.clear();
    decimals_.clear();
    chars_.clear();
    bytes_.clear();
    ends_.clear();
    failures_.clear();
}

void ColumnStore::appendPlaceholder() {
    if (usesInts()) {
        ints_.push_back(0);
    } else if (usesReals()) {
        reals_.push_back(0.0);
    } else if (vt_ == VT_DECIMAL) {
        decimals_.push_back({});
    } else if (vt_ == VT_BSTR) {
        ends_.push_back(chars_.size());
    } else if (usesEnds()) {
        ends_.push_back(bytes_.size());
    }
}

void ColumnStore::appendNull() {
    state_.push_back(kNull);
    appendPlaceholder();
}

void ColumnStore::appendInt(std::int64_t value) {
    state_.push_back(kValue);
    ints_.push_back(value);
}

void ColumnStore::appendReal(double value) {
    state_.push_back(kValue);
    reals_.push_back(value);
}

void ColumnStore::appendDecimal(const Decimal& value) {
    state_.push_back(kValue);
    decimals_.push_back(value);
}

void ColumnStore::appendText(const char16_t* text, std::size_t length) {
    state_.push_back(kValue);
    chars_.insert(chars_.end(), text, text + length);
    ends_.push_back(chars_.size());
}

void ColumnStore::appendBytes(const char* bytes, std::size_t length) {
    state_.push_back(kValue);
    bytes_.insert(bytes_.end(), bytes, bytes + length);
    ends_.push_back(bytes_.size());
}

void ColumnStore::appendFailed(const ComError& error, int status) {
    failures_.emplace(state_.size(), std::make_pair(error, status));
    state_.push_back(kFailed);
    appendPlaceholder();
}

void ColumnStore::appendFrom(const ColumnStore& other, std::size_t row) {
    switch (other.state_[row]) {
        case kNull:
            appendNull();
            return;
        case kFailed: {
            const auto& failure = other.failures_.at(row);
            appendFailed(failure.first, failure.second);
            return;
        }
        default:
            break;
    }
    if (usesInts()) {
        appendInt(other.ints_[row]);
    } else if (usesReals()) {
        appendReal(other.reals_[row]);
    } else if (vt_ == VT_DECIMAL) {
        appendDecimal(other.decimals_[row]);
    } else if (vt_ == VT_BSTR) {
        const std::u16string_view text = other.textView(row);
        appendText(text.data(), text.size());
    } else if (usesEnds()) {
        const std::size_t begin = row == 0 ? 0 : other.ends_[row - 1];
        appendBytes(other.bytes_.data() + begin, other.ends_[row] - begin);
    } else {
        state_.push_back(kValue);
    }
}

int ColumnStore::status(std::size_t row) const {
    if (state_[row] != kFailed) {
        return adFieldOK;
    }
    return failures_.at(row).second;
}

std::size_t ColumnStore::length(std::size_t row) const {
    if (state_[row] != kValue || !usesEnds()) {
        return 0;
    }
    return ends_[row] - (row == 0 ? 0 : ends_[row - 1]);
}

Variant ColumnStore::value(std::size_t row) const {
    switch (state_[row]) {
        case kNull:
            return Variant::null();
        case kFailed:
            throw failures_.at(row).first;
        default:
            break;
    }
    if (usesInts()) {
        return intVariant(vt_, ints_[row]);
    }
    if (usesReals()) {
        return realVariant(vt_, reals_[row]);
    }
    switch (vt_) {
        case VT_DECIMAL:
            return Variant::fromDecimal(decimals_[row]);
        case VT_BSTR: {
            const std::u16string_view text = textView(row);
            return Variant::fromBstr(
                QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size())));
        }
        case VT_ARRAY | VT_UI1: {
            const std::size_t begin = row == 0 ? 0 : ends_[row - 1];
            return Variant::fromBytes(
                QByteArray(bytes_.data() + begin, static_cast<qsizetype>(ends_[row] - begin)));
        }
        default:
            return Variant();
    }
}

Variant ColumnStore::intVariant(std::uint16_t vt, std::int64_t value) {
    switch (vt) {
        case VT_I1:
            return Variant::fromI1(static_cast<std::int8_t>(value));
        case VT_UI1:
            return Variant::fromUI1(static_cast<std::uint8_t>(value));
        case VT_I2:
            return Variant::fromI2(static_cast<std::int16_t>(value));
        case VT_UI2:
            return Variant::fromUI2(static_cast<std::uint16_t>(value));
        case VT_I4:
            return Variant::fromI4(static_cast<std::int32_t>(value));
        case VT_UI4:
            return Variant::fromUI4(static_cast<std::uint32_t>(value));
        case VT_INT:
            return Variant::fromInt(static_cast<std::int32_t>(value));
        case VT_UI8:
            return Variant::fromUI8(static_cast<std::uint64_t>(value));
        case VT_CY:
            return Variant::fromCurrency(value);
        case VT_BOOL:
            return Variant::fromBool(value != 0);
        default:
            return Variant::fromI8(value);
    }
}

Variant ColumnStore::realVariant(std::uint16_t vt, double value) {
    switch (vt) {
        case VT_R4:
            return Variant::fromR4(static_cast<float>(value));
        case VT_DATE:
            return Variant::fromDate(value);
        default:
            return Variant::fromR8(value);
    }
}

}  // namespace ado
