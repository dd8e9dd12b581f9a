#include "libraries/support/XTextFile.h"

#include "libraries/support/XException.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <vector>

namespace {

class XTextFileTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(temp.isValid()); }

    XFileSpec spec(const char* name) const { return XFileSpec(XString(temp.path()) + "/" + name); }

    QByteArray bytesOf(const char* name) const {
        QFile file(temp.filePath(QString::fromLatin1(name)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    void writeBytes(const char* name, const QByteArray& bytes) const {
        QFile file(temp.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir temp;
};

TEST_F(XTextFileTest, WritesFieldsAndLinesByteForByte) {
    XTextFile file;
    file.open(spec("sub/dir/out.cef"), XTextFile::Write);
    file.writeField("a");
    file.writeField("");
    file.writeField("b");
    file.endLine();
    file.writeField("\xE9t\xE9");
    file.endLine();
    file.close();
    EXPECT_EQ(bytesOf("sub/dir/out.cef"), QByteArray("a\t\tb\r\n\xE9t\xE9\r\n"));

    // Exactly Write truncates; Append adds at the end.
    file.open(spec("sub/dir/out.cef"), XTextFile::Write);
    file.writeText("new\r\n");
    file.close();
    file.open(spec("sub/dir/out.cef"), XTextFile::Write | XTextFile::Append);
    EXPECT_EQ(file.size(), 5);
    file.writeField("more");
    file.endLine();
    file.close();
    EXPECT_EQ(bytesOf("sub/dir/out.cef"), QByteArray("new\r\nmore\r\n"));
}

TEST_F(XTextFileTest, LargeOutputArrivesWhole) {
    XTextFile file;
    file.open(spec("big.cef"), XTextFile::Write);
    const XString field(std::string(1000, 'x'));
    for (int i = 0; i < 300; ++i) {
        file.writeField(field);
        file.endLine();
    }
    file.close();
    EXPECT_EQ(bytesOf("big.cef").size(), 300 * 1002);
}

TEST_F(XTextFileTest, RefusesFoldersAndMissingFilesForReading) {
    XTextFile file;
    try {
        file.open(spec("folder/"), XTextFile::Write);
        FAIL();
    } catch (const XException& e) {
        EXPECT_EQ(std::string(e.what()), "Can't open non-file: " + spec("folder/").path().toStdString());
    }
    try {
        file.open(spec("missing.xml"), XTextFile::Read);
        FAIL();
    } catch (const XException& e) {
        EXPECT_EQ(e.code(), 2);
        EXPECT_EQ(std::string(e.what()),
                  "Could not open file ( 2 ): " + spec("missing.xml").path().toStdString());
    }
    // Reading creates nothing.
    EXPECT_EQ(bytesOf("missing.xml"), QByteArray("<missing>"));
}

TEST_F(XTextFileTest, ReadsQuotedTokens) {
    writeBytes("SchoolConfig.xml", "<Overlap name=\"a b\"/>\r\n  <x v=a\x01z>\r\nlast");
    XTextFile file(' ', "\"", "\"", "");
    file.open(spec("SchoolConfig.xml"), XTextFile::Read);
    XString token;
    ASSERT_TRUE(file.readToken("<", token));
    EXPECT_EQ(token, "");
    ASSERT_TRUE(file.readToken(" >", token));
    EXPECT_EQ(token, "Overlap");
    ASSERT_TRUE(file.readToken("=", token));
    EXPECT_EQ(token, "name");
    ASSERT_TRUE(file.readToken(" />", token));
    EXPECT_EQ(token, "a b");
    ASSERT_TRUE(file.readToken(">", token));
    EXPECT_EQ(token, "");
    // The line end stops a token and stays unread.
    EXPECT_FALSE(file.readToken(">", token));
    file.skipLine();
    ASSERT_TRUE(file.readToken("<", token));
    ASSERT_TRUE(file.readToken(" ", token));
    EXPECT_EQ(token, "x");
    ASSERT_TRUE(file.readToken("=", token));
    ASSERT_TRUE(file.readToken(">", token));
    EXPECT_EQ(token, "az");  // control characters are dropped
    file.skipLine();
    ASSERT_TRUE(file.readToken("\t", token));
    EXPECT_EQ(token, "last");
    EXPECT_TRUE(file.atEnd());
    EXPECT_FALSE(file.readToken("\t", token));
}

TEST_F(XTextFileTest, QuotesOpenInsideATokenOnlyWhenNotIgnored) {
    writeBytes("q.txt", "'a;b';it's;x\"y;z\"");
    XTextFile file(';', "'\"", "'\"", "'");
    file.open(spec("q.txt"), XTextFile::Read);
    XString token;
    ASSERT_TRUE(file.readToken(";", token));
    EXPECT_EQ(token, "a;b");
    ASSERT_TRUE(file.readToken(";", token));
    EXPECT_EQ(token, "it's");
    ASSERT_TRUE(file.readToken(";", token));
    EXPECT_EQ(token, "xy;z");
}

TEST_F(XTextFileTest, DetectsLineEndsAndLearnsTheSeparator) {
    struct Case {
        QByteArray bytes;
        int lineEnd;
    };
    const std::vector<Case> cases = {
        {"a\r\nb", XTextFile::LineEndCRLF},
        {"a\rb", XTextFile::LineEndCR},
        {"a\nb", XTextFile::LineEndLF},
        {"\xEF\xBB\xBF"
         "a\r\nb",
         XTextFile::LineEndLF},
        {"ab", XTextFile::LineEndUnknown},
    };
    for (const Case& c : cases) {
        writeBytes("d.txt", c.bytes);
        XTextFile file('\0', "", "", "", 1);
        file.open(spec("d.txt"), XTextFile::Read);
        EXPECT_EQ(file.lineEnd(), c.lineEnd) << c.bytes.toStdString();
        EXPECT_EQ(file.position(), 0);
    }

    writeBytes("sep.txt", "a|b|c");
    XTextFile file('\0');
    file.open(spec("sep.txt"), XTextFile::Read);
    XString token;
    ASSERT_TRUE(file.readToken("|,", token));
    EXPECT_EQ(file.separator(), '|');
}

TEST_F(XTextFileTest, ConvertsMacRomanTextOfACrFile) {
    writeBytes("mac.txt",
               "\x8E"
               "t\x8E\r");
    XTextFile file('\t', "", "", "", 2);
    file.open(spec("mac.txt"), XTextFile::Read);
    XString token;
    ASSERT_TRUE(file.readToken("\t", token));
    EXPECT_EQ(token, "\xE9t\xE9");
}

}  // namespace
