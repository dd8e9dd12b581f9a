#include "libraries/support/XFolderIterator.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

namespace {

class XFolderIteratorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        for (const char* name :
             {"Update 20240105090507.CDU", "update 2.cdu", "aatp1", ".profile", "Main.CDE"}) {
            QFile file(temp.filePath(QString::fromLatin1(name)));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        for (const char* name : {"AATP2", "PAT", ".cache"}) {
            ASSERT_TRUE(QDir(temp.path()).mkdir(QString::fromLatin1(name)));
        }
    }

    std::string list(const char* pattern, int kinds) {
        XFolderIterator it(XFileSpec(XString(temp.path()) + "/"), pattern, kinds);
        std::string out;
        XFileSpec entry;
        const std::string prefix = XString(temp.path()).toStdString() + "/";
        for (bool more = it.first(entry); more; more = it.next(entry)) {
            out += entry.path().toStdString().substr(prefix.size()) + "|";
        }
        return out;
    }

    QTemporaryDir temp;
};

TEST_F(XFolderIteratorTest, YieldsMatchingFilesAndOnlyRequestedFolders) {
    EXPECT_EQ(list("*.cdu", 0), "Update 20240105090507.CDU|update 2.cdu|");
    EXPECT_EQ(list("AATP*", 0), "aatp1|");
    EXPECT_EQ(list("AATP*", XFolderIterator::Folders), "AATP2/|aatp1|");
    EXPECT_EQ(list("*.*", 0), ".profile|Main.CDE|Update 20240105090507.CDU|aatp1|update 2.cdu|");
    EXPECT_EQ(list("*", XFolderIterator::Folders),
              ".profile|AATP2/|Main.CDE|PAT/|Update 20240105090507.CDU|aatp1|update 2.cdu|");
}

TEST_F(XFolderIteratorTest, AMissingFolderYieldsNothing) {
    XFolderIterator it(XFileSpec(XString(temp.path()) + "/none/"), "*.*", XFolderIterator::Folders);
    XFileSpec entry;
    EXPECT_FALSE(it.first(entry));
    EXPECT_FALSE(it.next(entry));
}

}  // namespace
