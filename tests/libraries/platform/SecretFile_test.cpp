#include "libraries/platform/SecretFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using platform::SecretFile;

class SecretFileTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    // A file of content with mode, named name in the test folder.
    QString make(const QString& name, const QByteArray& content, mode_t mode = 0600) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        EXPECT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
        return path;
    }
    std::optional<QString> read(const QString& path,
                                SecretFile::Access access = SecretFile::Access::OwnerOnly) {
        reason.clear();
        return SecretFile::read(path, access, QStringLiteral("password file"), reason);
    }

    QTemporaryDir dir;
    QString reason;
};

TEST_F(SecretFileTest, ThePasswordIsTheOneLineWithoutItsLineEnd) {
    struct Case {
        QByteArray content;
        QString password;
    };
    const Case cases[] = {
        {"s3cret", "s3cret"},
        {"s3cret\n", "s3cret"},
        {"s3cret\r\n", "s3cret"},
        {" spaced out \n", " spaced out "},  // blanks belong to the password
        {"p\xc3\xa4ss;{x}\n", QString::fromUtf8("p\xc3\xa4ss;{x}")},
        {QByteArray(SecretFile::kSizeLimit, 'x'), QString(SecretFile::kSizeLimit, 'x')},
    };
    for (const Case& c : cases) {
        const std::optional<QString> password = read(make("pw", c.content));
        ASSERT_TRUE(password) << c.content.toStdString() << ": " << reason.toStdString();
        EXPECT_EQ(*password, c.password);
    }
}

TEST_F(SecretFileTest, RefusesWhatIsNotAPrivatePasswordFile) {
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    struct Case {
        const char* name;
        QString path;
        QString reason;
    };
    const QString open = make("open", "pw\n", 0644);
    const QString groupRead = make("group-read", "pw\n", 0640);
    const QString otherWrite = make("other-write", "pw\n", 0602);
    const Case cases[] = {
        {"readable by all", open,
         "The password file " + open +
             " can be read or changed by other users (mode 0644); allow its owner "
             "only: chmod 600 " +
             open},
        {"readable by the group", groupRead,
         "The password file " + groupRead +
             " can be read or changed by other users (mode 0640); allow its "
             "owner only: chmod 600 " +
             groupRead},
        {"writable by others", otherWrite,
         "The password file " + otherWrite +
             " can be read or changed by other users (mode 0602); allow its "
             "owner only: chmod 600 " +
             otherWrite},
        {"missing", dir.filePath("none"),
         "The password file " + dir.filePath("none") + " cannot be read: No such file or directory."},
        {"a folder", dir.path(), "The password file " + dir.path() + " is not a regular file."},
        {"a FIFO (never blocks)", fifo, "The password file " + fifo + " is not a regular file."},
        {"empty", make("empty", ""), "The password file " + dir.filePath("empty") + " is empty."},
        {"a line end only", make("blank", "\n"), "The password file " + dir.filePath("blank") + " is empty."},
        {"two lines", make("two", "pw\nmore\n"),
         "The password file " + dir.filePath("two") +
             " holds more than one line (or a NUL byte); it must hold the password alone."},
        {"a NUL", make("nul", QByteArray("pw\0x", 4)),
         "The password file " + dir.filePath("nul") +
             " holds more than one line (or a NUL byte); it must hold the password alone."},
        {"too large", make("large", QByteArray(SecretFile::kSizeLimit + 1, 'x')),
         "The password file " + dir.filePath("large") +
             " is larger than 4096 bytes; it must hold the password alone."},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(read(c.path)) << c.name;
        EXPECT_EQ(reason, c.reason) << c.name;
        EXPECT_FALSE(reason.contains("pw\n")) << c.name;
    }
}

// A private file that another user owns was not put there by this user; only root can make one here.
TEST_F(SecretFileTest, RefusesAFileOfAnotherUser) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can give a file to another user";
    }
    const QString path = make("theirs", "pw\n");
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
    EXPECT_FALSE(read(path));
    EXPECT_EQ(reason, "The password file " + path +
                          " belongs to another user (uid 65534); it must belong to the user that runs "
                          "norv-extract (uid 0).");
    EXPECT_TRUE(read(path, SecretFile::Access::Vouched));
}

// systemd decides the owner and the mode of a credential (an ACL mask shows as group bits); only the
// file's kind and content are checked.
TEST_F(SecretFileTest, AVouchedFileIsReadWhateverItsMode) {
    const std::optional<QString> password = read(make("cred", "pw\n", 0440), SecretFile::Access::Vouched);
    ASSERT_TRUE(password) << reason.toStdString();
    EXPECT_EQ(*password, "pw");
    EXPECT_FALSE(read(dir.path(), SecretFile::Access::Vouched));
    EXPECT_EQ(reason, "The password file " + dir.path() + " is not a regular file.");
}

}  // namespace
