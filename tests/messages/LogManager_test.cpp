#include "messages/LogManager.h"

#include "libraries/platform/Clock.h"
#include "libraries/platform/OsName.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString readAll(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

void touch(const QString& path) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
}

class LogManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        console.open(QIODevice::WriteOnly);
        setDay(QDate(2024, 1, 5));
    }
    void TearDown() override { platform::Clock::clearFixed(); }

    void setDay(const QDate& day) { platform::Clock::setFixed(QDateTime(day, QTime(9, 5, 7))); }
    QString consoleText() const { return QString::fromUtf8(console.data()); }
    QStringList folderFiles() const { return QDir(tmp.path()).entryList(QDir::Files, QDir::Name); }

    QTemporaryDir tmp;
    QBuffer console;
};

TEST_F(LogManagerTest, ConsoleLinesCarryLevelsZeroToSevenOnly) {
    LogManager log(&console, "Norv");
    log.log(4, "Too many arguments --version", "AppBase::qMessageOutput");
    log.log(6, "late", "X::y");
    log.log(8, "detail", "X::y");
    log.log(9, "secret detail", "X::y");
    log.log(-1, "none", "X::y");
    EXPECT_EQ(consoleText(),
              "log\tWarning      \t09:05:07\tAppBase::qMessageOutput\tToo many arguments --version\n"
              "log\t\t09:05:07\tX::y\tlate\n");
}

TEST_F(LogManagerTest, FileLinesEndInCrLfAndLevelNineIsEncoded) {
    LogManager log(&console, "Norv");
    log.setLogPath(tmp.path());
    ASSERT_TRUE(log.setLogFile("Norv--0042"));
    const QString path = tmp.filePath("Norv--0042-2024-01-05.log");
    EXPECT_EQ(log.logFilePath(), path);
    log.log(3, "broken", "DataAccessBase::OpenTable");
    log.log(6, "late", "X::y");
    log.log(9, QString::fromUtf8("pr\xc3\xaf"), "X::y");
    // Every line is on disk when it is logged, the detail lines too: a killed run loses none of them.
    EXPECT_TRUE(readAll(tmp.filePath("Norv--0042-2024-01-05.log")).contains("proprietary:"));

    const QString plain9 = QString::fromUtf8("Norv:09:05:07: Proprietary   X::y: pr\xc3\xaf");
    EXPECT_EQ(readAll(path), "Norv:09:05:07: Informational LogManager::setupLogFile: Log file " + path +
                                 " setup.\r\n"
                                 "Norv:09:05:07: Error         DataAccessBase::OpenTable: broken\r\n"
                                 "Norv:09:05:07:  X::y: late\r\n"
                                 "proprietary:" +
                                 QString::fromLatin1(plain9.toUtf8().toBase64()) + "\r\n");
    EXPECT_FALSE(consoleText().contains("pr")) << "level 9 never reaches the console";
}

// A driver's message spans several lines; as a log line it must stay one line, on the console and in the
// file.
TEST_F(LogManagerTest, LineBreaksAndTabsInAMessageBecomeBlanks) {
    LogManager log(&console, "Norv");
    log.setLogPath(tmp.path());
    ASSERT_TRUE(log.setLogFile("Norv--0042"));
    console.buffer().clear();
    console.seek(0);
    log.log(3, "[unixODBC]not found\r\nCOM Error Code = 80004005\r\nSource = x\tlog", "A::b\n");
    EXPECT_EQ(consoleText(),
              "log\tError        \t09:05:07\tA::b \t[unixODBC]not found  COM Error Code = "
              "80004005  Source = x log\n");
    EXPECT_TRUE(readAll(tmp.filePath("Norv--0042-2024-01-05.log"))
                    .endsWith("Norv:09:05:07: Error         A::b : [unixODBC]not found  COM Error Code = "
                              "80004005  Source = x log\r\n"));
}

TEST_F(LogManagerTest, HeaderBlockLayout) {
    LogManager log(&console, "Norv");
    log.setDestinations(0);  // only the header and the started line remain
    log.setLogPath(tmp.path());
    ASSERT_TRUE(log.setLogFile("Norv--1"));
    log.writeHeader(QString(), QString(), QString());
    log.writeHeader("Velmora Data Extractor for Norv", "2.1.0.0", "Oct  3 2013 11:13:11");
    log.log(3, "not written: destinations are off", "X::y");

    const QString sep = QString(73, '-') + "\r\n";
    const QString notice = "Velmora Software. All rights reserved.\r\nhttps://www.velmora.example\r\n";
    const QString os = "               : " + platform::osName() + "\r\n";
    EXPECT_EQ(readAll(tmp.filePath("Norv--1-2024-01-05.log")),
              "\r\n" + sep + "Log File\r\n" + notice + sep + "\r\n" +
                  "Generated on   : Jan 05 2024 09:05:07 AM\r\n" + os + sep + "\r\n" + "\r\n" + sep +
                  "Velmora Data Extractor for Norv File\r\n" + notice + sep + "\r\n" +
                  "Built on       : Oct  3 2013 11:13:11\r\n" +
                  "Generated on   : Jan 05 2024 09:05:07 AM\r\n" + "Version        : 2.1.0.0\r\n" + os + sep +
                  "\r\n");
    EXPECT_EQ(consoleText(), "log\tInformational\t09:05:07\t\tVelmora Data Extractor for Norv started.\n");
}

TEST_F(LogManagerTest, WithoutAFileOnlyTheConsoleIsWritten) {
    LogManager log(&console, "Norv");
    EXPECT_FALSE(log.setupLogFile());
    log.setLogPath(tmp.path());  // the base comes later: no file yet
    EXPECT_TRUE(log.logFilePath().isEmpty());
    EXPECT_TRUE(log.setLogFile(QString()));
    log.writeHeader("T", "1", "b");
    EXPECT_TRUE(folderFiles().isEmpty());
    EXPECT_EQ(consoleText(), "log\tInformational\t09:05:07\t\tT started.\n");
}

TEST_F(LogManagerTest, UnopenableFileIsReportedAtErrorLevel) {
    LogManager log(&console, "Norv");
    const QString blocked = tmp.filePath("Norv--1-2024-01-05.log");
    QDir().mkpath(blocked);  // a folder where the file should be
    log.setLogPath(tmp.path());
    EXPECT_FALSE(log.setLogFile("Norv--1"));
    EXPECT_TRUE(consoleText().endsWith("log\tError        \t09:05:07\tLogManager::setupLogFile\tLog file " +
                                       blocked + " cannot be opened.\n"));
}

TEST_F(LogManagerTest, SecondRunOfTheDayAppends) {
    {
        LogManager first(&console, "Norv");
        first.setLogPath(tmp.path());
        first.setLogFile("Norv--1");
        first.log(7, "first run", "X::y");
    }
    LogManager second(&console, "Norv");
    second.setLogPath(tmp.path());
    second.setLogFile("Norv--1");
    second.writeHeader("T", "", "");
    const QString text = readAll(tmp.filePath("Norv--1-2024-01-05.log"));
    EXPECT_TRUE(text.contains("X::y: first run\r\n"));
    EXPECT_TRUE(text.indexOf("first run") < text.indexOf("T File"));
}

TEST_F(LogManagerTest, RotationKeepsSevenDailyFilesOfTheSameBaseOnly) {
    // Other schools' logs share the folder, including one whose base starts with this base.
    touch(tmp.filePath("Norv--12-2023-12-01.log"));
    touch(tmp.filePath("Norv--2-2023-12-01.log"));
    touch(tmp.filePath("notes.txt"));
    LogManager log(&console, "Norv");
    log.setLogPath(tmp.path());
    for (int day = 1; day <= 8; ++day) {
        setDay(QDate(2024, 1, day));
        ASSERT_TRUE(log.setLogFile("Norv--1"));
        log.log(7, "day " + QString::number(day), "X::y");
    }
    const QStringList expected = {"Norv--1-2024-01-02.log", "Norv--1-2024-01-03.log",
                                  "Norv--1-2024-01-04.log", "Norv--1-2024-01-05.log",
                                  "Norv--1-2024-01-06.log", "Norv--1-2024-01-07.log",
                                  "Norv--1-2024-01-08.log", "Norv--12-2023-12-01.log",
                                  "Norv--2-2023-12-01.log", "notes.txt"};
    EXPECT_EQ(folderFiles(), expected);
    EXPECT_TRUE(readAll(tmp.filePath("Norv--1-2024-01-08.log")).contains("day 8"));
}

TEST_F(LogManagerTest, RotationOfABaseWithADotAndOfOtherLetterCase) {
    touch(tmp.filePath("NORV--1.5-2023-12-30.LOG"));  // the same base, written by another file system
    touch(tmp.filePath("Norv--1.50-2023-12-01.log"));
    LogManager log(&console, "Norv");
    log.setLogPath(tmp.path());
    for (int day = 1; day <= 7; ++day) {
        setDay(QDate(2024, 1, day));
        ASSERT_TRUE(log.setLogFile("Norv--1.5"));
    }
    const QStringList files = folderFiles();
    EXPECT_FALSE(files.contains("NORV--1.5-2023-12-30.LOG"));
    EXPECT_TRUE(files.contains("Norv--1.50-2023-12-01.log"));
    EXPECT_TRUE(files.contains("Norv--1.5-2024-01-01.log"));
    EXPECT_EQ(files.size(), 8);
}

}  // namespace
