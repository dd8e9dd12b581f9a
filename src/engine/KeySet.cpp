#include "engine/KeySet.h"

#include <functional>

std::string_view KeySet::text(std::uint32_t number) const {
    const std::size_t begin = number == 0 ? 0 : m_ends[number - 1];
    return std::string_view(m_bytes).substr(begin, m_ends[number] - begin);
}

std::size_t KeySet::slotOf(std::string_view text) const {
    const std::size_t mask = m_slots.size() - 1;
    std::size_t slot = std::hash<std::string_view>()(text) & mask;
    while (m_slots[slot] != 0 && this->text(m_slots[slot] - 1) != text) {
        slot = (slot + 1) & mask;
    }
    return slot;
}

bool KeySet::contains(std::string_view text) const {
    return !m_slots.empty() && m_slots[slotOf(text)] != 0;
}

bool KeySet::insert(std::string_view text) {
    if ((m_ends.size() + 1) * 2 > m_slots.size()) {
        grow();
    }
    const std::size_t slot = slotOf(text);
    if (m_slots[slot] != 0) {
        return false;
    }
    m_bytes.append(text);
    m_ends.push_back(m_bytes.size());
    m_slots[slot] = static_cast<std::uint32_t>(m_ends.size());
    return true;
}

void KeySet::grow() {
    std::vector<std::uint32_t> table(m_slots.empty() ? 16 : m_slots.size() * 2, 0);
    m_slots.swap(table);
    for (std::uint32_t number = 0; number < m_ends.size(); ++number) {
        m_slots[slotOf(text(number))] = number + 1;
    }
}

void KeySet::clear() {
    m_bytes.clear();
    m_ends.clear();
    m_slots.clear();
}
