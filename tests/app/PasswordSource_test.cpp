#include "app/PasswordSource.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

void writePrivate(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
}

TEST(PasswordSource, Precedence) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("db.pwd");
    writePrivate(file, "from-file\n");
    const QString credentials = dir.filePath("credentials");
    ASSERT_TRUE(QDir().mkpath(credentials));
    writePrivate(credentials + "/norv-pwd", "from-credential\n");
    const QString otherCredentials = dir.filePath("other");
    ASSERT_TRUE(QDir().mkpath(otherCredentials));

    struct Case {
        const char* name;
        ParamValues values;  // "pwd" as filled from "pwdencode" already
        QString credentialsFolder;
        QString pwd;  // afterwards
    };
    const Case cases[] = {
        {"--pwd beats the credential", {{"pwd", "typed"}}, credentials, "typed"},
        {"--pwdencode beats the credential",
         {{"pwdencode", "x"}, {"pwd", "decoded"}},
         credentials,
         "decoded"},
        {"the file beats the credential", {{"pwdfile", file}}, credentials, "from-file"},
        {"the file", {{"pwdfile", file}}, QString(), "from-file"},
        {"the credential", {}, credentials, "from-credential"},
        {"an empty --pwdfile gives nothing", {{"pwdfile", ""}}, QString(), ""},
        {"a service without this credential", {}, otherCredentials, ""},
        {"outside a service", {}, QString(), ""},
    };
    for (const Case& c : cases) {
        ParamValues values = c.values;
        QString reason;
        EXPECT_TRUE(PasswordSource::resolve(values, c.credentialsFolder, reason)) << c.name;
        EXPECT_EQ(values.value("pwd"), c.pwd) << c.name;
        EXPECT_EQ(reason, "") << c.name;
    }
}

TEST(PasswordSource, RefusesTwoPasswordsAndUnreadableOnes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("db.pwd");
    writePrivate(file, "from-file\n");
    const QString credentials = dir.filePath("credentials");
    ASSERT_TRUE(QDir().mkpath(credentials + "/norv-pwd"));  // a folder in the credential's place

    struct Case {
        const char* name;
        ParamValues values;
        QString credentialsFolder;
        QString reason;
    };
    const QString twoWays =
        "Give the password one way only: --pwdfile cannot be combined with --pwd or --pwdencode.";
    const Case cases[] = {
        {"file and --pwd", {{"pwdfile", file}, {"pwd", "typed"}}, QString(), twoWays},
        {"file and --pwdencode",
         {{"pwdfile", file}, {"pwdencode", "hT"}, {"pwd", "\x01"}},
         QString(),
         twoWays},
        {"a credential that is no file",
         {},
         credentials,
         "The credential file " + credentials + "/norv-pwd is not a regular file."},
    };
    for (const Case& c : cases) {
        ParamValues values = c.values;
        const QString before = values.value("pwd");
        QString reason;
        EXPECT_FALSE(PasswordSource::resolve(values, c.credentialsFolder, reason)) << c.name;
        EXPECT_EQ(reason, c.reason) << c.name;
        EXPECT_EQ(values.value("pwd"), before) << c.name;
    }
}

}  // namespace
