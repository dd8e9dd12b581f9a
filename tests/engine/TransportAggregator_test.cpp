#include "engine/TransportAggregator.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Values = TransportAggregator::Values;
using Line = TransportAggregator::Line;

Values row(const char* stopType, const char* route = "", const char* desc = "") {
    return Values{stopType, route, "", "", "", "", desc};
}

// Feeds the rows and returns every completed line, the final one included.
std::vector<Line> aggregate(const std::vector<std::pair<const char*, Values>>& rows) {
    TransportAggregator aggregator;
    std::vector<Line> lines;
    for (const auto& [key, values] : rows) {
        if (auto line = aggregator.add(key, values)) {
            lines.push_back(*line);
        }
    }
    if (auto line = aggregator.finish()) {
        lines.push_back(*line);
    }
    return lines;
}

TEST(TransportAggregator, RepeatedValuesAreListedOnce) {
    const auto lines =
        aggregate({{"1001", row("A", "R1")}, {"1001", row("A", "R2")}, {"1001", row("B", "R2")}});
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], (Line{"1001", "A; B; ", "R1; R2; ", "", "", "", "", ""}));
}

TEST(TransportAggregator, OnlyConsecutiveRepeatsAreFolded) {
    const auto lines = aggregate({{"1", row("A")}, {"1", row("B")}, {"1", row("A")}});
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0][1], "A; B; A; ");
}

TEST(TransportAggregator, EmptyAfterValueAddsSeparatorButLeadingEmptyDoesNot) {
    const auto lines = aggregate({{"1", row("")}, {"1", row("A")}, {"1", row("")}});
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0][1], "A; ; ");
}

TEST(TransportAggregator, EachStudentStartsAfresh) {
    const auto lines = aggregate(
        {{"1", row("A", "R1", "North")}, {"1", row("A", "R1", "North")}, {"2", row("A", "", "South")}});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], (Line{"1", "A; ", "R1; ", "", "", "", "", "North; "}));
    // The second student's "A" is listed although the first student's last row held it too.
    EXPECT_EQ(lines[1], (Line{"2", "A; ", "", "", "", "", "", "South; "}));
}

TEST(TransportAggregator, NoRowsNoLine) {
    TransportAggregator aggregator;
    EXPECT_FALSE(aggregator.finish().has_value());
    aggregator.add("7", row("A"));
    EXPECT_TRUE(aggregator.finish().has_value());
    EXPECT_FALSE(aggregator.finish().has_value());
}

}  // namespace
