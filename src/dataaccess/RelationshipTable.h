// Maps a free-text relationship description ("Step-Mother", "Dr.") onto the importer's contact category
// ("Family", "Health", "Emergency"; "Contact" for anything else).
//
// Owns its (key, category) pairs, kept sorted by byte-wise key order and searched by binary search for an
// exact match. Keys are stored in their normalised form (upper case, letters only).
#pragma once

#include "libraries/support/XString.h"

#include <utility>
#include <vector>

class RelationshipTable {
  public:
    RelationshipTable() = default;

    void clear() { m_pairs.clear(); }
    // Adds a pair at its sorted place (after an equal key).
    void add(const XString& key, const XString& category);
    // The standard keys: family members, doctors and dentists, emergency contacts and guardians.
    void addStandardKeys();
    int count() const { return static_cast<int>(m_pairs.size()); }

    // The category of a description: normalised, then looked up; "Contact" when no key matches.
    XString category(const XString& description) const;

    // The lookup form of a description: upper case, "'S" removed, blanks, digits and punctuation removed,
    // "STEP" removed. "Step-Mother" -> "MOTHER".
    static XString normalised(const XString& description);

  private:
    std::vector<std::pair<XString, XString>> m_pairs;
};
