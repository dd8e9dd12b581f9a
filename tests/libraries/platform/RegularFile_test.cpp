#include "libraries/platform/RegularFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

TEST(RegularFile, OnlyARegularFileIsRead) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("file");
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("content");
    out.close();
    ASSERT_TRUE(QFile::link(file, dir.filePath("link")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));

    const struct {
        const char* name;
        bool followLinks;
        std::optional<QByteArray> content;
    } cases[] = {
        {"file", false, QByteArray("content")}, {"link", true, QByteArray("content")},
        {"link", false, std::nullopt},          {"fifo", true, std::nullopt},  // never waits for a writer
        {"folder", true, std::nullopt},         {"missing", true, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::readRegularFile(dir.filePath(c.name), 100, c.followLinks), c.content)
            << c.name << " " << c.followLinks;
    }
    // One byte more than asked tells the caller the file is larger; a file of the size asked is whole.
    EXPECT_EQ(platform::readRegularFile(file, 3, false), QByteArray("cont"));
    EXPECT_EQ(platform::readRegularFile(file, 7, false), QByteArray("content"));
    QFile empty(dir.filePath("empty"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    EXPECT_EQ(platform::readRegularFile(empty.fileName(), 100, false), QByteArray(""));
}

}  // namespace
