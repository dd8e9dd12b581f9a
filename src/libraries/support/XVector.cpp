#include "libraries/support/XVector.h"

#include <algorithm>
#include <utility>

XVector::XVector(int growBy, Compare compare)
    : m_growBy(growBy <= 0 ? 1 : growBy), m_compare(std::move(compare)) {}

XVector::~XVector() = default;

void XVector::grow() {
    if (m_items.size() == m_items.capacity()) {
        m_items.reserve(m_items.capacity() + static_cast<size_t>(m_growBy));
    }
}

void XVector::append(void* item) {
    grow();
    if (!m_compare) {
        m_items.push_back(item);
        return;
    }
    // After the last item that is not greater: equal items keep their order of arrival.
    const auto at = std::upper_bound(m_items.begin(), m_items.end(), item,
                                     [this](void* a, void* b) { return m_compare(a, b) < 0; });
    m_items.insert(at, item);
}

void* XVector::find(const void* key, int* index) const {
    if (!m_compare) {
        const auto at = std::find(m_items.begin(), m_items.end(), key);
        if (index) {
            *index = static_cast<int>(at - m_items.begin());
        }
        return at == m_items.end() ? nullptr : *at;
    }
    const auto at = std::lower_bound(m_items.begin(), m_items.end(), key,
                                     [this](void* a, const void* b) { return m_compare(a, b) < 0; });
    if (index) {
        *index = static_cast<int>(at - m_items.begin());
    }
    return at != m_items.end() && m_compare(*at, key) == 0 ? *at : nullptr;
}

bool XVector::insertIfAbsent(void* item) {
    int index = 0;
    if (find(item, &index)) {
        return false;
    }
    grow();
    m_items.insert(m_items.begin() + index, item);
    return true;
}

void* XVector::removeEqual(const void* key) {
    int index = 0;
    void* found = find(key, &index);
    if (found) {
        m_items.erase(m_items.begin() + index);
    }
    return found;
}

void* XVector::removeAt(int index) {
    void* item = m_items[static_cast<size_t>(index)];
    m_items.erase(m_items.begin() + index);
    return item;
}

void XVector::clear() {
    m_items.clear();
    m_items.shrink_to_fit();
}
