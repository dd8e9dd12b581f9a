#include "engine/TermSet.h"

bool TermSet::insert(const TermRecord& record) {
    return m_records.emplace(record.key, record).second;
}

const TermRecord* TermSet::find(const XString& key) const {
    const auto found = m_records.find(key);
    return found == m_records.end() ? nullptr : &found->second;
}
