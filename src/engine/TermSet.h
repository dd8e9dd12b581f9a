// TermSet: the terms met in the sections of a run, ordered and looked up by term key; the reporting
// periods are written from it.
//
// Owns: its records. Keys compare by plain bytes (XString order); each key is held once, the first record
// of a key wins.
#pragma once

#include <map>

#include "libraries/support/XDate.h"
#include "libraries/support/XString.h"

struct TermRecord {
    XString key;
    XString name;
    XDate startDate;
    XDate endDate;
};

class TermSet {
  public:
    // Adds record unless its key is held; returns true when it was added.
    bool insert(const TermRecord& record);
    // The record of key, or null.
    const TermRecord* find(const XString& key) const;
    void clear() { m_records.clear(); }
    int count() const { return static_cast<int>(m_records.size()); }
    bool isEmpty() const { return m_records.empty(); }
    // In key order.
    std::map<XString, TermRecord>::const_iterator begin() const { return m_records.begin(); }
    std::map<XString, TermRecord>::const_iterator end() const { return m_records.end(); }

  private:
    std::map<XString, TermRecord> m_records;
};
