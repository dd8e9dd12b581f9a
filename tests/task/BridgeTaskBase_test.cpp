#include "task/BridgeTaskBase.h"

#include "libraries/platform/Clock.h"
#include "libraries/support/XException.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

// Every signal the task frame emits, as one text per emission, in order.
struct SignalLog {
    QStringList lines;

    explicit SignalLog(AppTaskBase& task) {
        QObject::connect(&task, &AppTaskBase::writeLog, [this](int level, QString message, QString method) {
            lines << QStringLiteral("log|%1|%2|%3").arg(level).arg(message, method);
        });
        QObject::connect(&task, &AppTaskBase::writeProgressIncrement,
                         [this](QString message) { lines << "inc|" + message; });
        QObject::connect(&task, &AppTaskBase::writeProgressWarning,
                         [this](QString message) { lines << "warn|" + message; });
        QObject::connect(&task, &AppTaskBase::writeProgress, [this](QString type, int total) {
            lines << QStringLiteral("progress|%1|%2").arg(type).arg(total);
        });
        QObject::connect(&task, &AppTaskBase::writeError,
                         [this](QString key, QString message) { lines << "error|" + key + "|" + message; });
    }
    QStringList matching(const QString& prefix) const {
        QStringList found;
        for (const QString& line : lines) {
            if (line.startsWith(prefix)) {
                found << line;
            }
        }
        return found;
    }
};

// A task whose stored update date and work are set by the test.
class TestTask : public BridgeTaskBase {
  public:
    XDate stored;
    std::function<bool()> work = [] { return true; };
    int total = 7;
    int ranWithMode = -1;

    XDate StoredUpdateDate(const QString&) override { return stored; }
    int ProgressTotal(int) override { return total; }
    bool RunTask(const TaskValues&, int mode) override {
        ranWithMode = mode;
        return work();
    }
};

class FixedClock : public ::testing::Test {
  protected:
    void SetUp() override { platform::Clock::setFixed(QDateTime(QDate(2024, 8, 15), QTime(10, 0))); }
    void TearDown() override { platform::Clock::clearFixed(); }
};

using CalculateProgressSize = FixedClock;

TEST_F(CalculateProgressSize, LogsEveryZeroTotalAndCountsTwoForNothing) {
    TestTask task;
    SignalLog log(task);
    EXPECT_EQ(task.CalculateProgressSize(0, 0, 0, 0, 0, 0), 2);
    const char* method = "BridgeTaskBase::CalculateProgressSize";
    EXPECT_EQ(log.lines,
              QStringList({
                  QStringLiteral("log|7|Calculating Progress Size: Setup total is 0 or less|") + method,
                  QStringLiteral("log|7|Calculating Progress Size: LUT total is 0 or less|") + method,
                  QStringLiteral("log|7|Calculating Progress Size: Import total is 0 or less|") + method,
                  QStringLiteral("log|7|Calculating Progress Size: Daily Att total is 0 or less|") + method,
                  QStringLiteral("log|7|Calculating Progress Size: Period Att total is 0 or less|") + method,
              }));
}

TEST_F(CalculateProgressSize, EachPartCountsTheStepsItSends) {
    // Setup 3, look-up 4, import 5, daily 7, period 5; the run's start and end 2.
    struct Case {
        const char* name;
        int flags;
        const char* filterDaily;
        int expected;
    } cases[] = {
        {"no attendance", 1, "", 3 + 4 + 2 + 5},
        {"everything", 3, "", 3 + 4 + 2 + 5 + 7 + 5},
        {"attendance only", 2, "", 3 + 4 + 2 + 7 + 5},
        {"daily filtered", 2, "true", 3 + 4 + 2 + 5},
    };
    for (const Case& c : cases) {
        TestTask task;
        task.setValues({{"filterdaily", c.filterDaily}});
        EXPECT_EQ(task.CalculateProgressSize(c.flags, 3, 4, 5, 7, 5), c.expected) << c.name;
    }
}

TEST_F(CalculateProgressSize, ProgressTotalUsesTheTasksStepCountsInOrder) {
    QTemporaryDir dir;
    TestTask task;
    ASSERT_TRUE(task.SetCDEFolder(dir.path()));
    task.setSetupSteps(3);
    task.setLookupSteps(4);
    task.setImportSteps(5);
    task.setDailyAttSteps(10);
    task.setPeriodAttSteps(100);
    EXPECT_EQ(task.BridgeTaskBase::ProgressTotal(3), 3 + 4 + 2 + 5 + 10 + 100);
}

TEST(Report, ProgressLevelsAdvanceProgressEveryLevelLogs) {
    TestTask task;
    SignalLog log(task);
    task.report(LogLevel::Progress, "step", "M::a");
    task.report(LogLevel::ProgressWarning, "");
    task.report(LogLevel::Informational, XString("narrow \xE9"), "M::c");
    EXPECT_EQ(log.lines, QStringList({"inc|step", "log|5|step|M::a", "warn|", "log|6||",
                                      QStringLiteral("log|7|narrow \u00E9|M::c")}));
}

TEST(Report, ReportAndThrowLogsThenThrowsTheMessage) {
    TestTask task;
    SignalLog log(task);
    try {
        task.reportAndThrow(LogLevel::Critical, "broken", "M::x");
        FAIL() << "no exception";
    } catch (const XException& e) {
        EXPECT_STREQ(e.what(), "broken");
    }
    EXPECT_EQ(log.lines, QStringList({"log|2|broken|M::x"}));
}

TEST(Report, PutJobTextIsAProgressStepAndAnInformationalLine) {
    TestTask task;
    SignalLog log(task);
    task.PutJobText("Reading Students...");
    EXPECT_EQ(log.lines, QStringList({"inc|Reading Students...",
                                      "log|7|Reading Students...|BridgeTaskBase::PutJobText"}));
}

TEST(AppTaskBase, ServesNoLists) {
    AppTaskBase task;
    SignalLog log(task);
    TaskList list;
    EXPECT_FALSE(task.LoadList(list, "teacher", {}));
    EXPECT_EQ(log.lines, QStringList({"log|3|Not set up yet.|AppTaskBase::LoadList"}));
    EXPECT_EQ(task.ProgressTotal(3), 0);
    EXPECT_FALSE(task.RunTask({}, 3));
}

TEST(SetCDEFolder, CreatesMissingParentsAndKeepsTheAbsolutePath) {
    QTemporaryDir dir;
    TestTask task;
    const QString path = dir.path() + "/a/b/../c";
    ASSERT_TRUE(task.SetCDEFolder(path));
    EXPECT_EQ(task.outputFolder(), dir.path() + "/a/c");
    EXPECT_TRUE(QDir(dir.path() + "/a/c").exists());
}

TEST(SetCDEFolder, FailureIsAFileErrorLineAndALogLine) {
    QTemporaryDir dir;
    QFile blocker(dir.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TestTask task;
    SignalLog log(task);
    EXPECT_FALSE(task.SetCDEFolder(dir.path() + "/file/sub"));
    const QString message = "Could not create cde folder: " + dir.path() + "/file/sub";
    EXPECT_EQ(log.lines,
              QStringList({"log|3|" + message + "|BridgeTaskBase::SetCDEFolder", "error|file|" + message}));
    EXPECT_TRUE(task.outputFolder().isEmpty());
}

using Execute = FixedClock;

TEST_F(Execute, RunsTheTaskAfterAnnouncingTheProgressTotal) {
    QTemporaryDir dir;
    TestTask task;
    task.stored = XDate(2024, 1, 5);
    SignalLog log(task);
    EXPECT_TRUE(task.Execute({{"path", dir.path()}}, 3));
    EXPECT_EQ(task.ranWithMode, 3);
    EXPECT_EQ(task.value("path"), dir.path());
    EXPECT_EQ(task.updateDate(), XDate(2024, 1, 5));
    EXPECT_EQ(task.progressTotal(), 7);
    EXPECT_EQ(log.lines, QStringList({"inc|Starting Execution...", "log|5|Starting Execution...|",
                                      "log|7|CDE Folder is: " + dir.path() + "|",
                                      "log|7|Update Date is: Jan 05 2024|", "progress|start_progress|7"}));
}

TEST_F(Execute, FailuresEndInFalseWithTheirLogLine) {
    QTemporaryDir dir;
    struct Case {
        const char* name;
        std::function<bool()> work;
        QString lastLine;
    } cases[] = {
        {"task fails", [] { return false; },
         "log|5|Bridge execution failed, consult logs for more information.|"},
        {"task throws", []() -> bool { throw XException("Table does not exist : V_X"); },
         "log|3|Table does not exist : V_X|"},
        {"task throws something else", []() -> bool { throw 42; },
         "log|3|Execute failed for an unkown reason, please consult Velmora support.|"},
    };
    for (Case& c : cases) {
        TestTask task;
        task.work = c.work;
        SignalLog log(task);
        EXPECT_FALSE(task.Execute({{"path", dir.path()}}, 1)) << c.name;
        EXPECT_EQ(log.lines.last(), c.lastLine) << c.name;
        EXPECT_EQ(log.matching("progress|").size(), 1) << c.name;
    }
}

TEST_F(Execute, AFolderThatCannotBeCreatedStartsNoProgress) {
    QTemporaryDir dir;
    QFile blocker(dir.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TestTask task;
    SignalLog log(task);
    EXPECT_FALSE(task.Execute({{"path", dir.path() + "/file"}}, 1));
    EXPECT_EQ(task.ranWithMode, -1);
    EXPECT_TRUE(log.matching("progress|").isEmpty());
    EXPECT_EQ(log.matching("error|").size(), 1);
}

}  // namespace
