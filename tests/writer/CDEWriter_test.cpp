#include "writer/CDEWriter.h"

#include "FileSizeLimit.h"
#include "MemoryWriter.h"
#include "libraries/platform/Clock.h"
#include "libraries/support/XException.h"
#include "libraries/support/XTextFile.h"
#include "writer/PackedVersion.h"
#include "writer/SchoolConfig.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <stdexcept>

namespace {

class CDEWriterTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    MemoryWriter writer;

    void SetUp() override {
        setClock(9, 5, 7);
        ASSERT_TRUE(writer.SetCDEFolder(dir.path()));
        writer.useEngineSettings();
    }
    void TearDown() override { platform::Clock::clearFixed(); }

    QString path(const QString& name) const { return dir.path() + "/" + name; }
    // True when the folder holds exactly one file: the temporary file of name.
    bool temporaryOf(const QString& name) const {
        const QStringList names = entries();
        return names.size() == 1 && names.first().startsWith("." + name + ".") &&
               names.first().endsWith(".part");
    }
    QStringList entries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
};

TEST_F(CDEWriterTest, FullExtractWritesTheMainFileAndOneFilePerTable) {
    writer.StartImport();

    writer.BeginHeader("Students", "Students.cef", 0);
    writer.column("StuRef", 0);
    writer.column("StuLast", 1);
    writer.AddColumnBinding(nullptr, "StuNick", [&] { return writer.rows[writer.currentRow()][2]; });
    writer.AddHeaderField("StuNick");
    writer.AddCustomField("StuNick", "Nick \"Name\"", "#custombasicfield", "");
    writer.rows = {{"1", "", "Smith"}, {"2", "Jones", ""}};
    EXPECT_EQ(writer.WriteTable(), 2);
    // The table is written in one pass over its rows, so the source may stream them.
    EXPECT_EQ(writer.openedFor, CDEWriter::RowPasses::Once);
    writer.EndHeader();

    // A header without fields leaves no trace in the main file.
    writer.BeginHeader("Included Students", "", 0);
    writer.EndHeader();

    // A first line, a fixed text (command 1), a field for the hook (command 4) that writes nothing, a line
    // break inside the record (command 2), and a row the filter holds back.
    int hookField = 0;
    auto* field = reinterpret_cast<DataAccessField*>(&hookField);
    writer.BeginHeader("Sections", "Sections.cef", 0);
    writer.column("SecRef", 0);
    writer.AddHeaderField("SecRoomNum{'Room'");
    writer.AddColumnBinding(nullptr, "SecRoomNum", ValueFormatter(), ColumnBinding::WriteFixedText, "Room");
    writer.AddColumnBinding(field, "SecHook", ValueFormatter(), ColumnBinding::HandToHook);
    writer.AddColumnBinding(nullptr, "SecBreak", ValueFormatter(), ColumnBinding::EndLine);
    writer.column("SecTeacher", 1);
    writer.AddCustomField("StuNick", "Other", "#customschoolfield", "x");
    writer.AddCustomField("StuLocker", "Locker", "#customschoolfield", "Text");
    writer.AddCustomField("", "Nameless", "#customschoolfield", "");
    writer.rows = {{"S1", "T1"}, {"S2", "T2"}};
    EXPECT_EQ(writer.WriteTable([&] { return writer.rows[writer.currentRow()][0] == "S1"; }, "Sections v1"),
              1);
    writer.EndHeader();

    setClock(10, 6, 9);
    writer.FinishImport();

    EXPECT_EQ(fileBytes(path("Norv.CDE")), expectedBytes("Norv.CDE"));
    EXPECT_EQ(fileBytes(path("Students.cef")), expectedBytes("Students.cef"));
    EXPECT_EQ(fileBytes(path("Sections.cef")), expectedBytes("Sections.cef"));
    EXPECT_EQ(entries(), QStringList({"Norv.CDE", "Sections.cef", "Students.cef"}));
    EXPECT_TRUE(writer.messageLogged("Finished Sections table/query."));
    EXPECT_TRUE(writer.messageLogged("Processing Field = **Blank FieldName**"));
    EXPECT_TRUE(writer.messageLogged("Processing Field = SecHook"));
    EXPECT_TRUE(writer.messageLogged("Closed Table File. Lines= 1"));
}

// The tables of a full extract stay under temporary names until the main file is complete; a run that
// stops before leaves the previous extract whole and no temporary file behind.
TEST_F(CDEWriterTest, TheExtractAppearsOnlyWhenItsMainFileIsComplete) {
    writeFile(path("Norv.CDE"), "previous main\r\n");
    writeFile(path("Students.cef"), "previous\r\n");
    const auto table = [](MemoryWriter& w) {
        w.BeginHeader("Students", "Students.cef", 0);
        w.column("StuRef", 0);
        w.rows = {{"1"}};
        EXPECT_EQ(w.WriteTable(), 1);
    };
    {
        MemoryWriter stopped;
        ASSERT_TRUE(stopped.SetCDEFolder(dir.path()));
        stopped.StartImport();
        table(stopped);
        EXPECT_EQ(fileBytes(path("Students.cef")), "previous\r\n");
        EXPECT_EQ(entries().size(), 3) << entries().join(", ").toStdString();
    }
    EXPECT_EQ(entries(), QStringList({"Norv.CDE", "Students.cef"}));
    EXPECT_EQ(fileBytes(path("Norv.CDE")), "previous main\r\n");
    EXPECT_EQ(fileBytes(path("Students.cef")), "previous\r\n");

    writer.StartImport();
    table(writer);
    writer.FinishImport();
    EXPECT_EQ(entries(), QStringList({"Norv.CDE", "Students.cef"}));
    EXPECT_EQ(fileBytes(path("Students.cef")), "1\r\n");
    EXPECT_TRUE(fileBytes(path("Norv.CDE")).contains("#include \"Students.cef\""));
}

// A link planted where a temporary or final file goes is never written through.
TEST_F(CDEWriterTest, PlantedLinksAreNeverFollowed) {
    const QString victim = dir.path() + "-victim";
    writeFile(victim, "victim");
    for (const char* name : {"Students.cef", ".Students.cef.part", "Norv.CDE", ".Norv.CDE.part"}) {
        ASSERT_TRUE(QFile::link(victim, path(name)));
    }
    writer.StartImport();
    writer.BeginHeader("Students", "Students.cef", 0);
    writer.column("StuRef", 0);
    writer.rows = {{"1"}};
    writer.WriteTable();
    writer.FinishImport();
    EXPECT_EQ(fileBytes(victim), "victim");
    EXPECT_EQ(fileBytes(path("Students.cef")), "1\r\n");
    EXPECT_FALSE(QFileInfo(path("Norv.CDE")).isSymLink());
    QFile::remove(victim);
}

TEST_F(CDEWriterTest, ATableWithoutRowsStillGetsItsFileAndSection) {
    writer.StartImport();
    writer.BeginHeader("Rooms", "Rooms.cef", 0);
    writer.column("RoomRef", 0);
    EXPECT_EQ(writer.WriteTable(), 0);
    writer.BeginHeader("Bins", "Bins.cef", 1);
    writer.column("BinRef", 0);
    writer.FinishImport();
    EXPECT_EQ(fileBytes(path("Rooms.cef")), QByteArray());
    const QByteArray main = fileBytes(path("Norv.CDE"));
    EXPECT_TRUE(main.contains("// Rooms\r\nRoomRef\r\n#include \"Rooms.cef\"\r\n*\r\n\r\n"));
    EXPECT_TRUE(main.contains("// Bins\r\nBinRef\r\n#safeinclude \"Bins.cef\"\r\n*\r\n\r\n"));
    EXPECT_TRUE(main.contains("// Custom Fields \r\n//\r\n\r\n\r\n"));
}

TEST_F(CDEWriterTest, UpdateFileCarriesHeadersAndRowsInline) {
    writer.setBridgeAlias("Norv");
    XTextFile update;
    writer.StartUpdate(update);
    // Nothing under the real name until the file is complete.
    EXPECT_FALSE(QFile::exists(path("Update 20240105090507.CDU")));

    writer.BeginHeader("Student Daily Attendance", "StudentDailyAtt.cef", 0);
    writer.column("AttStdRef", 0);
    writer.column("AttDate", 1);
    writer.column("AttAttCodeRef", 2);
    writer.rows = {{"1", "01/04/2024", "A"}, {"2", "01/04/2024", ""}};
    EXPECT_EQ(writer.WriteTable(), 2);
    writer.EndHeader();

    writer.BeginHeader("Student Period Attendance", "StudentPeriodAtt.cef", 0);
    writer.AddHeaderField("AttStdRef");
    writer.AddHeaderField("AttDate");
    writer.AddHeaderField("AttPerRef");
    writer.WriteCurrentHeaderHead();
    writer.WriteCurrentHeaderFooter();

    setClock(10, 6, 9);
    writer.FinishUpdate();
    EXPECT_EQ(writer.CurrentOutputFile(), nullptr);
    EXPECT_EQ(fileBytes(path("Update 20240105090507.CDU")), expectedBytes("Update 20240105090507.CDU"));
    // An update run writes no main file and no table files.
    EXPECT_EQ(entries(), QStringList({"Update 20240105090507.CDU"}));
}

TEST_F(CDEWriterTest, AnUnfinishedUpdateFileNeverAppearsUnderItsName) {
    {
        MemoryWriter failing;
        ASSERT_TRUE(failing.SetCDEFolder(dir.path()));
        failing.StartOwnedUpdate();
        ASSERT_NE(failing.CurrentOutputFile(), nullptr);
        EXPECT_TRUE(temporaryOf("Update 20240105090507.CDU")) << entries().join(", ").toStdString();
        // A second start drops the first unfinished file.
        setClock(9, 6, 0);
        failing.StartOwnedUpdate();
        EXPECT_TRUE(temporaryOf("Update 20240105090600.CDU")) << entries().join(", ").toStdString();
        // The run stops here (an exception in the engine): the writer goes away without FinishUpdate.
    }
    EXPECT_EQ(entries(), QStringList());
}

TEST_F(CDEWriterTest, AnUpdateFileObjectReleasedBeforeTheWriterIsNotTouched) {
    {
        MemoryWriter failing;
        ASSERT_TRUE(failing.SetCDEFolder(dir.path()));
        auto update = std::make_unique<XTextFile>('\t');
        failing.StartUpdate(*update);
        // The caller replaces its object (the old one is gone) and starts again on the same second.
        update = std::make_unique<XTextFile>('\t');
        failing.StartUpdate(*update);
        failing.StartUpdate(*update);
        EXPECT_TRUE(temporaryOf("Update 20240105090507.CDU")) << entries().join(", ").toStdString();
        // The run stops: the caller's object goes first, then the writer.
        update.reset();
    }
    EXPECT_EQ(entries(), QStringList());
}

TEST_F(CDEWriterTest, UpdateFilesOfOneSecondTakeTheNextFreeSecond) {
    for (int run = 0; run < 3; ++run) {
        XTextFile update;
        writer.StartUpdate(update);
        writer.FinishUpdate();
    }
    EXPECT_EQ(entries(), QStringList({"Update 20240105090507.CDU", "Update 20240105090508.CDU",
                                      "Update 20240105090509.CDU"}));
    // The update pragma names the same moment as the file name.
    EXPECT_TRUE(fileBytes(path("Update 20240105090509.CDU")).contains("#pragma update \"20240105090509\""));
}

TEST_F(CDEWriterTest, AnUpdateFileSortsAfterEveryOneInTheFolderWhateverTheClock) {
    // Written while the clock was an hour ahead; names that are no update file's do not count.
    for (const char* name : {"update 20240105100000.cdu", "Update 2099.CDU", "Update 20241399000000.CDU"}) {
        writeFile(path(name), "earlier");
    }
    XTextFile update;
    writer.StartUpdate(update);
    writer.FinishUpdate();
    EXPECT_TRUE(QFile::exists(path("Update 20240105100001.CDU"))) << entries().join(", ").toStdString();
    EXPECT_TRUE(fileBytes(path("Update 20240105100001.CDU")).contains("#pragma update \"20240105100001\""));
    EXPECT_TRUE(writer.messageContains("the clock is behind, or was ahead"));
}

TEST_F(CDEWriterTest, AFullDiskLeavesNoUpdateFile) {
    XTextFile update;
    try {
        FileSizeLimit full;
        writer.StartUpdate(update);
        writer.FinishUpdate();
        FAIL() << "no exception";
    } catch (const XException& e) {
        EXPECT_EQ(e.code(), EFBIG) << e.what();
    }
    EXPECT_EQ(writer.CurrentOutputFile(), nullptr);
    EXPECT_EQ(entries(), QStringList());
}

TEST_F(CDEWriterTest, FinishWriterSavesTheConfigurationAndEndsTheRun) {
    writer.StartImport();
    writer.BeginHeader("Rooms", "Rooms.cef", 0);
    writer.FinishWriter();
    EXPECT_TRUE(writer.headers().isEmpty());
    EXPECT_EQ(writer.currentHeader(), nullptr);
    EXPECT_TRUE(QFile::exists(path("SchoolConfig.xml")));
    EXPECT_TRUE(writer.messageLogged("Export complete."));
    EXPECT_EQ(writer.progress, QStringList({"bridge_complete|-1"}));
}

TEST_F(CDEWriterTest, ExceptionInsideWriteTableIsWrappedAndKeepsThePreviousTableFile) {
    writeFile(path("Students.cef"), "previous\r\n");
    struct Case {
        const char* name;
        std::function<XString()> formatter;
        const char* expected;
    } cases[] = {
        {"XException", []() -> XString { throw XException("Bad value"); },
         "Failed with error [Bad value] while writing file [Students.cef] with query: SELECT * FROM MEMORY"},
        {"other exception", []() -> XString { throw 7; },
         "Failed with unknown error while writing file [Students.cef] with query: SELECT * FROM MEMORY"},
    };
    for (const Case& c : cases) {
        writer.log.clear();
        writer.BeginHeader("Students", "Students.cef", 0);
        writer.column("StuRef", 0);
        writer.AddColumnBinding(nullptr, "StuBad", c.formatter);
        writer.rows = {{"1"}, {"2"}};
        try {
            writer.WriteTable();
            FAIL() << c.name;
        } catch (const XException& e) {
            EXPECT_STREQ(e.what(), c.expected) << c.name;
        }
        EXPECT_TRUE(writer.messageLogged("Error writing line= 1")) << c.name;
        EXPECT_TRUE(writer.log.contains(QStringLiteral("2|") + c.expected)) << c.name;
        EXPECT_EQ(writer.CurrentBinding(), nullptr);
        EXPECT_EQ(fileBytes(path("Students.cef")), "previous\r\n") << c.name;
        EXPECT_EQ(entries(), QStringList({"Students.cef"})) << c.name;
    }
}

TEST_F(CDEWriterTest, AFolderThatCannotBeWrittenGivesTheFileLayersMessages) {
    // Something that is not a folder where the import folder was.
    QDir(dir.path()).removeRecursively();
    writeFile(dir.path(), "not a folder");
    writer.BeginHeader("Students", "Students.cef", 0);
    writer.column("StuRef", 0);
    try {
        writer.WriteTable();
        FAIL() << "no exception";
    } catch (const XException& e) {
        const QString message = QString::fromUtf8(e.what());
        EXPECT_TRUE(message.startsWith("Failed with error [Could not open file ( ")) << e.what();
        EXPECT_TRUE(message.endsWith("): " + path("Students.cef") +
                                     "] while writing file [Students.cef] with query: SELECT * FROM MEMORY"))
            << e.what();
    }
    try {
        writer.FinishImport();
        FAIL() << "no exception";
    } catch (const XException& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()),
                  QStringLiteral("Could not open file ( %1 ): %2").arg(e.code()).arg(path("Norv.CDE")));
    }
    QFile::remove(dir.path());
}

TEST_F(CDEWriterTest, DeprecatedCourseKeyPragmaFailsTheFile) {
    writer.settings().courseKeyInSectionKey = true;
    EXPECT_THROW(writer.FinishImport(), XException);
    EXPECT_TRUE(writer.log.contains("2|CrsKeyInSecKey Pragma is deprecated. Do not use!"));
    EXPECT_EQ(entries(), QStringList());
}

TEST_F(CDEWriterTest, OptionalPragmasAppearInTheirOrderWhenSet) {
    WriterSettings& s = writer.settings();
    s = WriterSettings();
    s.exportSource = "SIS";
    s.verify = true;
    s.schoolName = "North High";
    s.nameFormat = "L, F";
    s.attendanceDoesntCreateDates = false;
    s.termsAreBins = true;
    s.maxExpectedDays = 6;
    s.maxExpectedTerms = 4;
    s.maxExpectedPeriods = 9;
    s.maxExpectedBins = 2;
    s.quotes = "\"'";
    s.showInfo = true;
    writer.FinishImport();
    const QByteArray main = fileBytes(path("Norv.CDE"));
    const QByteArray pragmas =
        "#pragma creator \"norv_de\" \"2.1.0.0\"\r\n\r\n#pragma exportsource \"SIS\"\r\n\r\n#pragma "
        "verify\r\n\r\n"
        "#pragma exportdate \"01/05/2024\"\r\n\r\n#pragma schoolname \"North High\"\r\n\r\n"
        "#pragma nameformat \"L, F\"\r\n\r\n#pragma dateformat \"mm/dd/yyyy\"\r\n\r\n"
        "#pragma timeformat \"HH:NN:SS AA\"\r\n\r\n#pragma datetimeformat \"mm/dd/yyyy HH:NN:SS AA\"\r\n\r\n"
        "#pragma termsarebins\r\n\r\n#pragma maxexpecteddays \"6\"\r\n\r\n#pragma maxexpectedterms "
        "\"4\"\r\n\r\n"
        "#pragma maxexpectedperiods \"9\"\r\n\r\n#pragma maxexpectedbins \"2\"\r\n\r\n#pragma quotes "
        "\"'\r\n\r\n"
        "#pragma showinfo\r\n\r\n/////";
    EXPECT_TRUE(main.contains(pragmas)) << main.toStdString();
}

TEST_F(CDEWriterTest, DeleteUpdateFilesRemovesTheUpdateStateAndNothingElse) {
    const QStringList files = {"Update 20240105090507.CDU",
                               "old.cdu",
                               "notes.cdu.txt",
                               "Norv.CDE",
                               "Students.cef",
                               "SchoolConfig.xml",
                               "pat/p.dat",
                               "DAT/d/x",
                               "pat2/keep",
                               "AATP1",
                               "aatp_dir/sub/f",
                               "AATD9",
                               "XAATP",
                               "Attendance/Attendance.db",
                               "Attendance/Attendance.db-journal",
                               "Attendance/other"};
    for (const QString& file : files) {
        QDir().mkpath(QFileInfo(path(file)).path());
        writeFile(path(file), "x");
    }
    QDir().mkpath(path("global"));
    QDir().mkpath(path("dat_lower"));

    writer.StartWriter();  // no SchoolConfig.xml with fourteen entries: a change, so the clean-up runs

    EXPECT_EQ(entries(), QStringList({"Attendance", "Norv.CDE", "Students.cef", "XAATP", "dat_lower",
                                      "global", "notes.cdu.txt", "pat2"}));
    // The cache goes with its journal, which would otherwise be rolled back into the next cache.
    EXPECT_EQ(QDir(path("Attendance")).entryList(QDir::Files), QStringList({"other"}));
    EXPECT_TRUE(QFile::exists(path("pat2/keep")));
    EXPECT_EQ(writer.cacheSteps, QStringList({"close"}));
    EXPECT_TRUE(writer.messageLogged("Found PAT Folder"));
    EXPECT_TRUE(writer.messageLogged("Deleted DAT Folder"));
    EXPECT_EQ(writer.log.filter("Iterating AATP Folder").size(), 2);
}

TEST_F(CDEWriterTest, DeleteUpdateFilesWrapsFailures) {
    writer.onCloseCache = [] { throw std::runtime_error("cache locked"); };
    try {
        writer.StartWriter();
        FAIL() << "no exception";
    } catch (const XException& e) {
        const char* expected =
            "Error: Failed while trying to remove CDU Files.\n Please manually remove all .cdu files from "
            "the Import "
            "Directory, and try extracting again.\ncache locked\nExiting Extractor.";
        EXPECT_STREQ(e.what(), expected);
        EXPECT_TRUE(writer.log.contains(QStringLiteral("2|") + expected));
    }
    EXPECT_EQ(writer.cacheSteps, QStringList({"close"}));
}

TEST_F(CDEWriterTest, DeleteCDEFilesRemovesMainFilesOnly) {
    for (const char* name : {"Norv.CDE", "other.cde", "Students.cef", "Update 20240105090507.CDU"}) {
        writeFile(path(name), "x");
    }
    writer.DeleteCDEFiles();
    EXPECT_EQ(entries(), QStringList({"Students.cef", "Update 20240105090507.CDU"}));
}

TEST(PackedVersion, PacksFourNumbersIntoTheirBits) {
    EXPECT_EQ(PackedVersion::Parse("7.5.0"), (7u << 27) | (5u << 22));
    EXPECT_EQ(PackedVersion::Format(PackedVersion::Parse("7.5.0")), "7.5.0.0");
    EXPECT_EQ(PackedVersion::Format(PackedVersion::Parse("31.31.63.65535")), "31.31.63.65535");
    EXPECT_EQ(PackedVersion::Parse("1.2.3.4"), (1u << 27) | (2u << 22) | (3u << 16) | 4u);
    EXPECT_EQ(PackedVersion::Parse(""), 0u);
}

}  // namespace
