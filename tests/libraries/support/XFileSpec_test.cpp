#include "libraries/support/XFileSpec.h"

#include "libraries/support/XException.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <climits>
#include <string>

namespace {

void touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write("x");
}

std::string messageOf(void (*operation)()) {
    try {
        operation();
    } catch (const XException& e) {
        return e.what();
    }
    return "no exception";
}

TEST(XFileSpec, SplitsPathsIntoFolderAndName) {
    struct Case {
        const char* input;
        const char* path;
        const char* name;
        const char* extension;
        bool folder;
        const char* parent;
    };
    const Case cases[] = {
        {"/data/x.txt", "/data/x.txt", "x.txt", "txt", false, "/data/"},
        {"/data/sub/x.tar.gz", "/data/sub/x.tar.gz", "x.tar.gz", "gz", false, "/data/sub/"},
        // A backslash is a character of a name, as it is for the system.
        {"/data/a\\b/x", "/data/a\\b/x", "x", "", false, "/data/a\\b/"},
        {"/data/sub/", "/data/sub/", "", "", true, "/data/"},
        {"/data/sub", "/data/sub", "sub", "", false, "/data/"},
        {"/", "/", "", "", true, "/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        const XFileSpec spec{XString(c.input)};
        EXPECT_EQ(spec.path(), c.path);
        EXPECT_EQ(spec.fileName(), c.name);
        EXPECT_EQ(spec.extension(), c.extension);
        EXPECT_EQ(spec.isFolder(), c.folder);
        EXPECT_EQ(spec.folder().path(), c.parent);
    }
}

TEST(XFileSpec, BuildsPathsFromFolderAndNames) {
    XFileSpec spec{XString("/data/import")};
    spec.setFileName("a.cef");
    EXPECT_EQ(spec.path(), "/data/a.cef");
    spec.set("/data/import/");
    spec.setFileName("a.cef");
    EXPECT_EQ(spec.path(), "/data/import/a.cef");
    spec.setFileName("b.cef");
    EXPECT_EQ(spec.path(), "/data/import/b.cef");
    spec.appendFolder("PAT");
    EXPECT_EQ(spec.path(), "/data/import/PAT/");
    EXPECT_TRUE(spec.isFolder());
}

TEST(XFileSpec, RejectsRelativeAndOverlongPaths) {
    EXPECT_EQ(messageOf([] { XFileSpec spec{XString("./out")}; }), "No support for relative paths: ./out");
    EXPECT_EQ(messageOf([] { XFileSpec spec{XString("\\data\\out")}; }),
              "No support for relative paths: \\data\\out");

    const XString folder = "/" + XString(std::string(PATH_MAX - 10, 'f')) + "/";  // PATH_MAX - 8 characters
    XFileSpec spec(folder);
    try {
        spec.setFileName("twelve.chars");
        FAIL() << "a path longer than PATH_MAX was accepted";
    } catch (const XException& e) {
        EXPECT_EQ(std::string(e.what()),
                  XString::formatted("Appended length (12) would make path length exceed maximum 7.")
                      .toStdString());
    }
    EXPECT_EQ(spec.path(), folder);
    spec.setFileName("seven.c");
    EXPECT_EQ(spec.path().length(), PATH_MAX - 1);
}

TEST(XFileSpec, CreatesAndDeletesFoldersAndFiles) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const XString root(temp.path());

    const XFileSpec file(root + "/a/b/c.txt");
    file.create();
    EXPECT_TRUE(QFile::exists(temp.filePath("a/b/c.txt")));
    const XFileSpec folder(root + "/a/d/e/");
    folder.create();
    EXPECT_TRUE(QDir(temp.filePath("a/d/e")).exists());
    touch(temp.filePath("a/d/e/.hidden"));

    XFileSpec(root + "/a/").remove();
    EXPECT_FALSE(QDir(temp.filePath("a")).exists());
    // Deleting what is not there is no error.
    EXPECT_NO_THROW(XFileSpec(root + "/a/").remove());
    EXPECT_NO_THROW(XFileSpec(root + "/missing.txt").remove());
    EXPECT_FALSE(XFileSpec(root + "/missing.txt").exists());
}

// Links are removed as links, at the path and inside a folder being deleted: what they point at stays whole.
TEST(XFileSpec, RemovalNeverFollowsALink) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    ASSERT_TRUE(QDir(temp.path()).mkpath("out/PAT/sub"));
    ASSERT_TRUE(QDir(temp.path()).mkpath("victim"));
    touch(temp.filePath("victim/kept.txt"));
    touch(temp.filePath("victim.txt"));
    ASSERT_TRUE(QFile::link(temp.filePath("victim"), temp.filePath("out/PAT/sub/inner")));
    ASSERT_TRUE(QFile::link(temp.filePath("victim.txt"), temp.filePath("out/PAT/file")));
    ASSERT_TRUE(QFile::link(temp.filePath("victim"), temp.filePath("out/DAT")));
    const XString out = XString(temp.path()) + "/out/";

    XFileSpec(out + "PAT/").remove();
    XFileSpec(out + "DAT/").remove();  // a folder spec naming a link: the link goes
    EXPECT_FALSE(QFileInfo::exists(temp.filePath("out/PAT")));
    EXPECT_FALSE(QFileInfo(temp.filePath("out/DAT")).isSymLink());
    EXPECT_TRUE(QFile::exists(temp.filePath("victim/kept.txt")));
    EXPECT_TRUE(QFile::exists(temp.filePath("victim.txt")));

    ASSERT_TRUE(QFile::link(temp.filePath("victim"), temp.filePath("out/link")));
    EXPECT_TRUE(XFileSpec(out + "link/").isLink());
    EXPECT_FALSE(XFileSpec(out).isLink());
}

// A name in any script is the name used: nothing is narrowed to the working code page on the way.
TEST(XFileSpec, NamesStayNative) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString folder = temp.filePath(QString::fromUtf8("Выход Łódź"));
    XFileSpec spec(folder + "/");
    spec.setFileName(QString::fromUtf8("Ученики.cef"));
    spec.create();
    EXPECT_TRUE(QFile::exists(folder + QString::fromUtf8("/Ученики.cef")));
    EXPECT_EQ(spec.nativeFileName(), QString::fromUtf8("Ученики.cef"));
    EXPECT_EQ(spec.fileName(), "???????.cef");  // the working code page's reading, for messages
    spec.folder().remove();
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST(XFileSpec, DeleteMatchingIgnoresCaseAndSparesFolders) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    for (const char* name : {"Update 20240105090507.CDU", "update 1.cdu", "keep.CDE", "x.cdux", "noext"}) {
        touch(temp.filePath(QString::fromLatin1(name)));
    }
    QDir(temp.path()).mkdir(QStringLiteral("folder.cdu"));
    const XFileSpec folder(XString(temp.path()) + "/");

    XFileSpec::deleteMatching(folder, "*.cdu");
    QStringList left = QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    EXPECT_EQ(left.join(QLatin1Char('|')).toStdString(), "folder.cdu|keep.CDE|noext|x.cdux");

    XFileSpec::deleteMatching(folder);  // "*.*": every file, names without a dot too
    left = QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    EXPECT_EQ(left.join(QLatin1Char('|')).toStdString(), "folder.cdu");

    EXPECT_NO_THROW(XFileSpec::deleteMatching(XFileSpec(XString(temp.path()) + "/gone/"), "*"));
}

TEST(XFileSpec, WildcardsMatchWithoutRegardToCase) {
    struct Case {
        const char* name;
        const char* pattern;
        bool matches;
    };
    const Case cases[] = {
        {"Update 20240105090507.CDU", "*.cdu", true},
        {"aatp1", "AATP*", true},
        {"AATD", "aatd*", true},
        {"xaatp1", "AATP*", false},
        {"a.cef", "?.CEF", true},
        {"ab.cef", "?.cef", false},
        {"Attendance-2024-01-05.log", "attendance*.log", true},
        {"Attendance-2024-01-05.log.1", "attendance*.log", false},
        {"noext", "*.*", true},
        {"abc", "a*b*c*", true},
        {"\u00C9T\u00C9", "\u00E9t\u00E9", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(XFileSpec::matchesWildcard(QString::fromUtf8(c.name), QString::fromUtf8(c.pattern)),
                  c.matches)
            << c.name << " ~ " << c.pattern;
    }
}

}  // namespace
