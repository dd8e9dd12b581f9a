#include "dataaccess/RelationshipTable.h"

#include <gtest/gtest.h>

namespace {

TEST(RelationshipTable, CategoriesOfDescriptions) {
    RelationshipTable table;
    table.addStandardKeys();
    struct Case {
        const char* description;
        const char* category;
    };
    const Case cases[] = {
        {"Step-Mother", "Family"},
        {"Grand Father", "Family"},
        {"MOM", "Family"},
        {"STEPDAD", "Family"},
        {"mother", "Family"},
        {"Partner 2", "Family"},
        {"Dr.", "Health"},
        {"Dentist", "Health"},
        {"Guardian", "Emergency"},
        {"emergency", "Emergency"},
        {"Mother's friend", "Contact"},
        {"Neighbour", "Contact"},
        {"", "Contact"},
        {"Grandmother's", "Family"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(table.category(c.description).toStdString(), c.category) << c.description;
    }
}

TEST(RelationshipTable, NormalisedKeepsLettersAndHighBytes) {
    EXPECT_EQ(RelationshipTable::normalised("Step-Mother's [1]").toStdString(), "MOTHER");
    // Bytes above 126 (an accented letter in Windows-1252) stay.
    EXPECT_EQ(RelationshipTable::normalised("p\xE8re").toStdString(), "P\xE8RE");
}

TEST(RelationshipTable, ClearEmptiesAndLookupStaysSorted) {
    RelationshipTable table;
    table.add("ZULU", "Z");
    table.add("ALPHA", "A");
    table.add("MIKE", "M");
    EXPECT_EQ(table.category("mike").toStdString(), "M");
    EXPECT_EQ(table.category("alpha").toStdString(), "A");
    EXPECT_EQ(table.category("zulu").toStdString(), "Z");
    table.clear();
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(table.category("mike").toStdString(), "Contact");
}

}  // namespace
