#include "writer/SchoolConfig.h"

#include "FileSizeLimit.h"
#include "MemoryWriter.h"
#include "libraries/platform/Clock.h"
#include "libraries/support/XException.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

class SchoolConfigTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    MemoryWriter writer;

    void SetUp() override {
        setClock(9, 5, 7);
        ASSERT_TRUE(writer.SetCDEFolder(dir.path()));
        configure(writer);
    }
    void TearDown() override { platform::Clock::clearFixed(); }

    // The run's current configuration.
    static void configure(MemoryWriter& task) {
        task.setBridgeAlias("Norv");
        task.dsn = "Norv&Co <main>";
        task.setSchoolNumber("042");
        task.setSchoolYear("2024");
        task.setUpdateDate(XDate(2024, 1, 5));
        task.setUpdateDateTime(XDateTime(XDate(2024, 1, 5), XTime(9, 5, 7)));
    }
    XFileSpec folder() const { return XFileSpec(dir.path() + "/"); }
    QString path(const QString& name) const { return dir.path() + "/" + name; }
    void store(const SchoolConfig::Entries& entries) {
        writeFile(path("SchoolConfig.xml"), bytesOf(entries));
    }
    static QByteArray bytesOf(const SchoolConfig::Entries& entries) {
        return QByteArray(SchoolConfig::Serialize(entries).c_str());
    }
    SchoolConfig::Entries saved() {
        writer.SaveBridgeConfig();
        SchoolConfig::Entries entries;
        EXPECT_TRUE(SchoolConfig::Read(folder(), entries));
        return entries;
    }
};

TEST_F(SchoolConfigTest, SavesFourteenEntriesInKeyOrderAndReadsThemBack) {
    writer.SaveBridgeConfig();
    EXPECT_EQ(fileBytes(path("SchoolConfig.xml")), expectedBytes("SchoolConfig.xml"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"SchoolConfig.xml"}));

    SchoolConfig::Entries entries;
    ASSERT_TRUE(SchoolConfig::Read(folder(), entries));
    EXPECT_EQ(entries.size(), 14u);
    EXPECT_EQ(entries["LastDSN"], "Norv&Co <main>");
    EXPECT_EQ(writer.StoredUpdateDate(dir.path()), XDate(2024, 1, 4));
    EXPECT_EQ(writer.StoredUpdateDateTime(dir.path()), XDateTime(XDate(2024, 1, 4), XTime(9, 5, 7)));

    // The same configuration again is no change.
    MemoryWriter next;
    ASSERT_TRUE(next.SetCDEFolder(dir.path()));
    configure(next);
    EXPECT_FALSE(next.ConfigurationChanged());
}

TEST_F(SchoolConfigTest, ChangeRules) {
    const SchoolConfig::Entries base = saved();
    struct Case {
        const char* name;
        std::function<void(SchoolConfig::Entries&)> edit;
        bool changed;
        const char* message;  // the Informational line of the first difference, or none
    } cases[] = {
        {"same", [](auto&) {}, false, nullptr},
        {"letter case of the school number only",
         [](auto& e) {
             e["LastSchoolNumber"] = "042";
             e["SIS"] = "NORV";
         },
         false, nullptr},
        {"stamps and folders are not compared",
         [](auto& e) {
             e["UpdateDate"] = "01-Jan-2000";
             e["GlobalFolder"] = "/elsewhere";
             e["OverlapInDays"] = "14";
             e["LastBridgeLogLevel"] = "9";
         },
         false, nullptr},
        {"thirteen entries", [](auto& e) { e.erase("LastDistrict"); }, true, nullptr},
        {"school year", [](auto& e) { e["LastSchoolYear"] = "2023"; }, true,
         "Year Changed. Old=2023 new=2024"},
        {"earlier key first",
         [](auto& e) {
             e["LastSchoolYear"] = "2023";
             e["LastDSN"] = "OtherDSN";
         },
         true, "DSN Changed. Old=OtherDSN new=Norv&Co <main>"},
        {"version", [](auto& e) { e["LastBridgeVersion"] = "2.0.0.0"; }, true,
         "Version Changed. Old=2.0.0.0 new=2.1.0.0"},
        {"school", [](auto& e) { e["LastSchoolNumber"] = "043"; }, true, "School Changed. Old=043 new=042"},
        {"SIS", [](auto& e) { e["SIS"] = "Other"; }, true, "SIS Changed. Old=Other new=Norv"},
    };
    for (const Case& c : cases) {
        SchoolConfig::Entries entries = base;
        c.edit(entries);
        store(entries);
        writer.log.clear();
        EXPECT_EQ(writer.ConfigurationChanged(), c.changed) << c.name;
        const QStringList changes = writer.log.filter("Changed. Old=");
        EXPECT_EQ(changes, c.message ? QStringList({QStringLiteral("7|") + c.message}) : QStringList())
            << c.name;
    }

    // A misspelt attribute is not recognised: thirteen entries.
    QByteArray bytes = bytesOf(base);
    bytes.replace("LastDSNValue", "LastDsnValue");
    writeFile(path("SchoolConfig.xml"), bytes);
    EXPECT_TRUE(writer.ConfigurationChanged());
    QFile::remove(path("SchoolConfig.xml"));
    EXPECT_TRUE(writer.ConfigurationChanged());
}

TEST(SchoolConfigParse, ReadsFirstAttributesOfKnownElements) {
    SchoolConfig::Entries entries;
    EXPECT_TRUE(
        SchoolConfig::Parse("<?xml version=\"1.0\"?>\r\n<SchoolConfig>\r\n"
                            "<LastDSN LastDSNValue=\"first\"/>\r\n"
                            "<LastSchoolYear LastSchoolYearValue=2024/>\r\n"
                            "<Unknown UnknownValue=\"x\"/>\r\n"
                            "<SIS Other=\"x\" SISValue=\"y\"/>\r\n"
                            "<LastDSN LastDSNValue=\"second\" extra=\"ignored\"/>\r\n"
                            "</SchoolConfig>\r\n",
                            entries));
    EXPECT_EQ(entries, (SchoolConfig::Entries{{"LastDSN", "second"}, {"LastSchoolYear", "2024"}}));

    // Blanks and TABs that a hand edit leaves around the attribute and "=" do not lose the entry.
    EXPECT_TRUE(SchoolConfig::Parse("<SchoolConfig>\r\n<OverlapInDays OverlapValue = \"7\"/>\r\n"
                                    "<LastDSN\tLastDSNValue\t=\t\"d\" />\r\n<SIS  SISValue= 2 />\r\n"
                                    "</SchoolConfig>\r\n",
                                    entries));
    EXPECT_EQ(entries, (SchoolConfig::Entries{{"LastDSN", "d"}, {"OverlapInDays", "7"}, {"SIS", "2"}}));

    EXPECT_FALSE(SchoolConfig::Parse("<Config>\r\n<LastDSN LastDSNValue=\"x\"/>\r\n</Config>\r\n", entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(SchoolConfig::Parse("", entries));
}

TEST(SchoolConfigSerialize, WritesValuesUnescaped) {
    EXPECT_EQ(SchoolConfig::Serialize({{"LastDSN", "a\"b<c&d"}}),
              "<SchoolConfig>\r\n<LastDSN LastDSNValue=\"a\"b<c&d\"/>\r\n</SchoolConfig>\r\n");
}

TEST_F(SchoolConfigTest, StoredStampsAreOneDayBeforeTheRunsStamps) {
    struct Case {
        const char* name;
        XDate date;
        XDateTime dateTime;
        const char* storedDate;
        const char* storedDateTime;
    } cases[] = {
        {"both", XDate(2024, 1, 5), XDateTime(XDate(2024, 1, 5), XTime(13, 0, 0)), "04-Jan-2024",
         "04-Jan-2024 13:00:00"},
        {"date from the date-time", XDate(), XDateTime(XDate(2024, 3, 1), XTime(0, 0, 0)), "29-Feb-2024",
         "29-Feb-2024 0:00:00"},
        {"across the year", XDate(2024, 1, 1), XDateTime(XDate(2024, 1, 1), XTime(8, 30, 0)), "31-Dec-2023",
         "31-Dec-2023 8:30:00"},
        {"nothing recorded", XDate(), XDateTime(), "", ""},
    };
    for (const Case& c : cases) {
        writer.setUpdateDate(c.date);
        writer.setUpdateDateTime(c.dateTime);
        SchoolConfig::Entries entries = saved();
        EXPECT_EQ(entries["UpdateDate"], c.storedDate) << c.name;
        EXPECT_EQ(entries["UpdateDateTime"], c.storedDateTime) << c.name;
    }
}

TEST_F(SchoolConfigTest, StartWriterAfterAChangeForgetsTheUpdateStateOnce) {
    // First run in an empty folder: a change, nothing to clean, a complete file at the end.
    writer.StartWriter();
    EXPECT_TRUE(writer.messageLogged("Bridge Configuration Changed."));
    EXPECT_TRUE(writer.messageLogged("Import Folder: " + dir.path()));
    EXPECT_TRUE(writer.updateDate().IsNull());
    EXPECT_TRUE(writer.updateDateTime().IsNull());
    writer.SaveBridgeConfig();
    SchoolConfig::Entries entries;
    ASSERT_TRUE(SchoolConfig::Read(folder(), entries));
    EXPECT_EQ(entries.size(), 14u);
    EXPECT_EQ(entries["UpdateDate"], "");

    // The next run with the same settings, a day later, keeps its update state.
    platform::Clock::setFixed(QDateTime(QDate(2024, 1, 6), QTime(9, 5, 7)));
    MemoryWriter next;
    ASSERT_TRUE(next.SetCDEFolder(dir.path()));
    configure(next);
    writeFile(path("Update 20240104090000.CDU"), "kept");
    next.StartWriter();
    EXPECT_TRUE(next.messageLogged("Bridge Configuration Did Not Change."));
    EXPECT_EQ(next.updateDate(), XDate(2024, 1, 5));
    EXPECT_TRUE(QFile::exists(path("Update 20240104090000.CDU")));
}

TEST_F(SchoolConfigTest, AnUpdateDateFromTheFutureIsNotTrusted) {
    // The stored stamps lie one day before the pass they record; the clock reads 5 January 2024 09:05:07.
    const struct {
        const char* name;
        XDate date;
        XDateTime dateTime;
        bool trusted;
    } cases[] = {
        {"a pass yesterday", XDate(2024, 1, 3), XDateTime(XDate(2024, 1, 3), XTime(2, 30, 0)), true},
        {"a pass a second ago", XDate(2024, 1, 4), XDateTime(XDate(2024, 1, 4), XTime(9, 5, 6)), true},
        {"a pass in an hour", XDate(2024, 1, 4), XDateTime(XDate(2024, 1, 4), XTime(10, 5, 7)), false},
        {"a pass in five days, date only", XDate(2024, 1, 9), XDateTime(), false},
        {"a pass today, date only", XDate(2024, 1, 4), XDateTime(), true},
        {"no pass", XDate(), XDateTime(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryWriter run;
        ASSERT_TRUE(run.SetCDEFolder(dir.path()));
        configure(run);
        run.setUpdateDate(c.date);
        run.setUpdateDateTime(c.dateTime);
        run.distrustUpdateDateFromTheFuture();
        EXPECT_EQ(run.updateDate(), c.trusted ? c.date : XDate());
        EXPECT_EQ(run.messageContains("the clock was ahead then, or is behind now"), !c.trusted);
    }
}

TEST_F(SchoolConfigTest, GlobalFolderIsCarriedOver) {
    SchoolConfig::Entries entries = saved();
    entries["GlobalFolder"] = "/srv/global";
    store(entries);
    writer.StartWriter();
    EXPECT_EQ(writer.globalFolder(), "/srv/global");
    EXPECT_EQ(saved()["GlobalFolder"], "/srv/global");
}

TEST_F(SchoolConfigTest, ALinkOrAFifoAtItsNameReadsAsNoConfiguration) {
    QTemporaryDir elsewhere;
    writeFile(elsewhere.filePath("SchoolConfig.xml"), bytesOf(saved()));
    QFile::remove(path("SchoolConfig.xml"));
    ASSERT_TRUE(QFile::link(elsewhere.filePath("SchoolConfig.xml"), path("SchoolConfig.xml")));
    SchoolConfig::Entries entries;
    EXPECT_FALSE(SchoolConfig::Read(folder(), entries));
    ASSERT_TRUE(QFile::remove(path("SchoolConfig.xml")));
    // A FIFO would hold the run, and its folder lock, until someone wrote to it.
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("SchoolConfig.xml")).constData(), 0600), 0);
    EXPECT_FALSE(SchoolConfig::Read(folder(), entries));
    writer.StartWriter();
    EXPECT_TRUE(writer.messageLogged("Bridge Configuration Changed."));
}

TEST_F(SchoolConfigTest, AFullDiskKeepsThePreviousFile) {
    writeFile(path("SchoolConfig.xml"), "previous");
    {
        FileSizeLimit full;
        EXPECT_THROW(writer.SaveBridgeConfig(), XException);
    }
    EXPECT_EQ(fileBytes(path("SchoolConfig.xml")), "previous");
    EXPECT_EQ(
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
        QStringList({"SchoolConfig.xml"}));
}

}  // namespace
