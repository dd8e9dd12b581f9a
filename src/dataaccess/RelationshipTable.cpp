#include "dataaccess/RelationshipTable.h"

#include <algorithm>

namespace {

bool keyLess(const std::pair<XString, XString>& pair, const XString& key) {
    return pair.first.compare(key) < 0;
}

}  // namespace

void RelationshipTable::add(const XString& key, const XString& category) {
    auto place =
        std::upper_bound(m_pairs.begin(), m_pairs.end(), key,
                         [](const XString& k, const auto& pair) { return k.compare(pair.first) < 0; });
    m_pairs.emplace(place, key, category);
}

void RelationshipTable::addStandardKeys() {
    for (const char* key : {"MOTHER", "MOM", "FATHER", "DAD", "BROTHER", "SISTER", "AUNT", "UNCLE",
                            "GRANDMOTHER", "GRANDMA", "GRANDFATHER", "GRANDPA", "PARTNER"}) {
        add(key, "Family");
    }
    for (const char* key : {"DOCTOR", "DENTIST", "DR"}) {
        add(key, "Health");
    }
    for (const char* key : {"EMERGENCY", "GUARDIAN"}) {
        add(key, "Emergency");
    }
}

XString RelationshipTable::normalised(const XString& description) {
    XString text = description.toUpper();
    text.removeAll("'S");
    text.removeCharRange(32, 64);
    text.removeCharRange(91, 96);
    text.removeCharRange(123, 126);
    text.removeAll("STEP");
    return text;
}

XString RelationshipTable::category(const XString& description) const {
    const XString key = normalised(description);
    auto found = std::lower_bound(m_pairs.begin(), m_pairs.end(), key, keyLess);
    if (found != m_pairs.end() && found->first == key) {
        return found->second;
    }
    return "Contact";
}
