#include "libraries/support/XString.h"

#include "libraries/support/XException.h"

#include <gtest/gtest.h>

#include <QString>
#include <clocale>
#include <string>

namespace {

TEST(XString, NullTextIsEmptyAndTruncateNeverLengthens) {
    const XString fromNull(static_cast<const char*>(nullptr));
    EXPECT_TRUE(fromNull.isEmpty());
    EXPECT_STREQ(fromNull.c_str(), "");

    XString text("abcdef");
    text.truncate(10);
    EXPECT_EQ(text, "abcdef");
    text.truncate(3);
    EXPECT_EQ(text, "abc");
    EXPECT_EQ(text.c_str()[3], '\0');
}

TEST(XString, ConvertsNumbersAndUnicodeThroughTheWorkingCodePage) {
    EXPECT_EQ(XString(-42), "-42");
    EXPECT_EQ(XString(9000000000LL), "9000000000");
    EXPECT_EQ(XString(2.5, 2), "2.50");
    EXPECT_EQ(XString('x'), "x");

    const XString latin(QString::fromUtf8("Z\u00FCrich \u20AC \u4E2D"));
    EXPECT_EQ(latin.toStdString(),
              "Z\xFC"
              "rich \x80 ?");
    EXPECT_EQ(latin.toQString(), QString::fromUtf8("Z\u00FCrich \u20AC ?"));

    EXPECT_EQ(XString("  12abc").toInt(), 12);
    EXPECT_EQ(XString("x").toInt(), 0);
    EXPECT_DOUBLE_EQ(XString("2.75").toDouble(), 2.75);
}

TEST(XString, NumbersUseTheDotWhateverTheLocale) {
    // QCoreApplication adopts the environment's locale; files and SQL still need "2.5".
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) {
        GTEST_SKIP() << "no comma-decimal locale installed";
    }
    const XString text(2.5, 1);
    const double value = XString("2.5").toDouble();
    const XString formatted = XString::formatted("%.2f", 0.25);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(text, "2.5");
    EXPECT_DOUBLE_EQ(value, 2.5);
    EXPECT_EQ(formatted, "0.25");
}

TEST(XString, ComparesSignedBytesAndFoldsOnlyAscii) {
    // A byte above 0x7F is negative as a signed char and sorts before every ASCII character.
    EXPECT_LT(XString("\xE9"), XString("a"));
    EXPECT_LT(XString("ab"), XString("abc"));
    EXPECT_LT(XString("B"), XString("a"));
    EXPECT_EQ(XString("ABC").compareNoCase("abc"), 0);
    EXPECT_NE(XString("\xC9").compareNoCase("\xE9"), 0);
    EXPECT_TRUE(XString("Update 1.CDU").endsWith(".cdu", false));
    EXPECT_FALSE(XString("Update 1.CDU").endsWith(".cdu"));
    EXPECT_TRUE(XString("abc").startsWith(""));
    EXPECT_FALSE(XString("ab").startsWith("abc"));
}

TEST(XString, EditsInPlace) {
    struct Case {
        const char* input;
        XString (*edit)(XString);
        const char* expected;
    };
    const Case cases[] = {
        {"  a b \t\r\n", [](XString s) { return s.trim(); }, "a b"},
        {"a\tb\rc\nd", [](XString s) { return s.removeChars("\t\r\n"); }, "abcd"},
        {"a\x01"
         "b\x1f"
         "c",
         [](XString s) { return s.removeCharRange(0x01, 0x1f); }, "abc"},
        {"12.500", [](XString s) { return s.removeTrailing("0"); }, "12.5"},
        {"a--b----c", [](XString s) { return s.removeAll("--"); }, "abc"},
        {"a.b.c", [](XString s) { return s.replaceAll(".", "::"); }, "a::b::c"},
        {"abcdef", [](XString s) { return s.remove(1, 2); }, "adef"},
        {"abcdef", [](XString s) { return s.remove(4, 100); }, "abcd"},
        {"ad", [](XString s) { return s.insert(1, "bc"); }, "abcd"},
        {"ad", [](XString s) { return s.insert(99, "e"); }, "ade"},
        {"Abc\xE9", [](XString s) { return s.makeUpper(); }, "ABC\xE9"},
        {"ABC", [](XString s) { return s.toLower(); }, "abc"},
        {"abcdef", [](XString s) { return s.mid(2, 2); }, "cd"},
        {"abcdef", [](XString s) { return s.right(2); }, "ef"},
        {"abc", [](XString s) { return s.mid(5); }, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.edit(c.input), c.expected) << c.input;
    }
}

TEST(XString, AppendsToItselfAndFindsParts) {
    XString text("ab");
    text += text;
    text += 'c';
    EXPECT_EQ(text, "ababc");
    EXPECT_EQ(text.find('b'), 1);
    EXPECT_EQ(text.find('b', 2), 3);
    EXPECT_EQ(text.find("abc"), 2);
    EXPECT_EQ(text.find("x"), -1);
    EXPECT_EQ(text.findLast('a'), 2);
    EXPECT_EQ("<" + text + ">", "<ababc>");
    EXPECT_EQ(XString(std::string("a\0b", 3)).length(), 3);
}

TEST(XString, FormatsWithALimit) {
    XString text;
    text.formatLimited(5, "%s-%d", "abc", 42);
    EXPECT_EQ(text, "abc-");
    text.format("%s", std::string(5000, 'x').c_str());
    EXPECT_EQ(text.length(), 5000);
}

TEST(XException, CutsTheMessageAfter1024Characters) {
    try {
        XException::raise(17, "%s: %d", std::string(2000, 'a').c_str(), 5);
        FAIL() << "raise returned";
    } catch (const XException& e) {
        EXPECT_EQ(std::string(e.what()), std::string(1024, 'a'));
        EXPECT_EQ(e.code(), 17);
    }
    try {
        XException::raise(0, "Could not open file ( %d ): %s", 2, "/x");
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Could not open file ( 2 ): /x");
    }
}

}  // namespace
