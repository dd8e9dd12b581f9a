// KeySet: a set of texts that a table step fills and that a later step asks once per row (the pupil numbers
// of the included students, the keys of the sections written), answered by hash and asked with the bytes of
// a value as they lie, without a string of their own.
//
// Texts are compared byte for byte (case-sensitive); each text is held once; walking the set gives them in
// the order they were added. The texts lie end to end in one buffer and the hash table holds their numbers
// (open addressing, linear probing, at most half full), so a set of 20,000 pupil numbers takes a few
// hundred kilobytes.
// Owns: its texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "libraries/support/XString.h"

class KeySet {
  public:
    // Adds text unless an equal text is held; returns true when it was added.
    bool insert(std::string_view text);
    bool contains(std::string_view text) const;
    void clear();
    int count() const { return static_cast<int>(m_ends.size()); }
    bool isEmpty() const { return m_ends.empty(); }

    // The texts in the order they were added, each read as an XString of its own.
    class Iterator {
      public:
        using iterator_category = std::input_iterator_tag;
        using value_type = XString;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = XString;

        Iterator(const KeySet* set, std::uint32_t number) : m_set(set), m_number(number) {}
        XString operator*() const {
            const std::string_view text = m_set->text(m_number);
            return XString(text.data(), static_cast<int>(text.size()));
        }
        Iterator& operator++() {
            ++m_number;
            return *this;
        }
        bool operator==(const Iterator& other) const { return m_number == other.m_number; }
        bool operator!=(const Iterator& other) const { return m_number != other.m_number; }

      private:
        const KeySet* m_set;
        std::uint32_t m_number;
    };
    Iterator begin() const { return Iterator(this, 0); }
    Iterator end() const { return Iterator(this, static_cast<std::uint32_t>(m_ends.size())); }

  private:
    std::string_view text(std::uint32_t number) const;
    // The slot that holds text, or the empty slot where it would go. REQUIRES: the table is not empty.
    std::size_t slotOf(std::string_view text) const;
    void grow();

    std::string m_bytes;                 // every text, end to end
    std::vector<std::size_t> m_ends;     // where text n ends in m_bytes
    std::vector<std::uint32_t> m_slots;  // text number + 1, or 0 for an empty slot; a power of two long
};
