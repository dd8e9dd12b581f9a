#include "engine/LookupSet.h"

#include <algorithm>

LookupSet::LookupSet(int initialCapacity) {
    m_items.reserve(static_cast<size_t>(std::max(initialCapacity, 0)));
}

bool LookupSet::insert(const XString& text) {
    const auto place = std::lower_bound(m_items.begin(), m_items.end(), text);
    if (place != m_items.end() && *place == text) {
        return false;
    }
    m_items.insert(place, text);
    return true;
}

bool LookupSet::contains(const XString& text) const {
    return std::binary_search(m_items.begin(), m_items.end(), text);
}

void LookupSet::clear() {
    m_items.clear();
}
