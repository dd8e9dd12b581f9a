#include "dataaccess/SqlText.h"

#include <gtest/gtest.h>

namespace {

TEST(SqlText, ApostrophesCannotEndTheLiteral) {
    EXPECT_EQ(SqlText::quoted("0042").toStdString(), "'0042'");
    EXPECT_EQ(SqlText::quoted("").toStdString(), "''");
    EXPECT_EQ(SqlText::quoted("O'Neil").toStdString(), "'O''Neil'");
    EXPECT_EQ(SqlText::quoted("0042' OR '1'='1").toStdString(), "'0042'' OR ''1''=''1'");
    EXPECT_EQ(SqlText::escaped("''").toStdString(), "''''");
}

}  // namespace
