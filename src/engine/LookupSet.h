// LookupSet: an ordered set of texts that one table step of a run fills and a later step asks or walks in
// order (rotation day names, reporting period keys, bell keys). The sets asked once per row of a large table
// are KeySets.
//
// Texts are kept sorted by plain byte comparison (XString::compare, case-sensitive) and found by
// bisection; each text is held once.
// Owns: its texts.
#pragma once

#include <vector>

#include "libraries/support/XString.h"

class LookupSet {
  public:
    explicit LookupSet(int initialCapacity = 5);

    // Adds text unless an equal text is held; returns true when it was added.
    bool insert(const XString& text);
    bool contains(const XString& text) const;
    void clear();
    int count() const { return static_cast<int>(m_items.size()); }
    bool isEmpty() const { return m_items.empty(); }
    // In sort order. REQUIRES: 0 <= index < count().
    const XString& at(int index) const { return m_items[static_cast<size_t>(index)]; }
    std::vector<XString>::const_iterator begin() const { return m_items.begin(); }
    std::vector<XString>::const_iterator end() const { return m_items.end(); }

  private:
    std::vector<XString> m_items;
};
