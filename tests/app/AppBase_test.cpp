// The registry and the commands in-process, with the host lines captured.
#include "app/BridgeBase.h"

#include "ProgramRunner.h"
#include "messages/SISMessageWriter.h"
#include "task/AppTaskBase.h"

#include <QBuffer>
#include <QTemporaryDir>

#include <stdexcept>

#include <gtest/gtest.h>

namespace {

// Exposes the frame's operations and adds what only a test declares.
class TestBridge : public BridgeBase {
  public:
    explicit TestBridge(SISMessageWriter& writer) : BridgeBase(writer, nullptr) {}
    using AppBase::checkMissing;
    using AppBase::commandTest;
    using AppBase::returnParamValues;
    using SISConfig::addParam;
    void set(const QString& key, const QString& v) { paramValues.insert(key, v); }
    AppParam* record(const QString& key) { return &paramsByKey.at(key); }
    bool throwOnTest = false;

  protected:
    int testGroup(const QString& group, QString& message) override {
        if (throwOnTest) {
            throw std::runtime_error("engine fault");
        }
        return BridgeBase::testGroup(group, message);
    }
};

class AppBaseTest : public ::testing::Test {
  protected:
    AppBaseTest() : writer(open(out), open(err)), app(writer) {}
    static QBuffer* open(QBuffer& b) {
        b.open(QIODevice::WriteOnly);
        return &b;
    }
    QStringList outLines() const { return QString::fromUtf8(out.data()).split('\n', Qt::SkipEmptyParts); }
    QStringList errLines() const { return QString::fromUtf8(err.data()).split('\n', Qt::SkipEmptyParts); }

    QBuffer out;
    QBuffer err;
    SISMessageWriter writer;
    TestBridge app;
};

TEST(AppBase, DecodePassword) {
    EXPECT_EQ(AppBase::decodePassword(""), "");
    EXPECT_EQ(AppBase::decodePassword("hT"), QString(QChar(1)));
    EXPECT_EQ(AppBase::decodePassword("GG"), QString(QChar(0xFF)));
    EXPECT_EQ(AppBase::decodePassword("zh"), QString(QChar(0x30)));  // outside the alphabet counts as 3
    EXPECT_EQ(AppBase::decodePassword("hTv"), QString(QChar(1)));    // the odd last character is dropped
    EXPECT_EQ(AppBase::decodePassword(encodePassword(QString::fromUtf8("p\xc3\xa4ss w0rd"))),
              QString::fromUtf8("p\xc3\xa4ss w0rd"));
}

TEST(AppBase, MaskedArguments) {
    const QStringList keys = {"pwdencode", "pwd"};
    EXPECT_EQ(AppBase::maskedArguments({"norv-extract", "run", "--pwd=secret", "--pwdencode", "hThT",
                                        "--user", "u", "--pwd", "--school=1", "--pwdx=1"},
                                       keys),
              QStringList({"norv-extract", "run", "--pwd=********", "--pwdencode", "********", "--user", "u",
                           "--pwd", "--school=1", "--pwdx=1"}));
}

TEST(AppBase, StatusFilesEndInCrLf) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("a/b");
    EXPECT_FALSE(AppBase::removeStatusFile(folder, "finished.tmp"));  // missing: nothing to remove, no error
    EXPECT_FALSE(AppBase::statusFileSucceeded(folder, "BridgeStatus.tmp"));
    ASSERT_TRUE(AppBase::writeStatusFile(folder, "BridgeStatus.tmp", "2024/01/05 09:05:07\tsucceeded"));
    EXPECT_EQ(readFile(folder + "/BridgeStatus.tmp"), "2024/01/05 09:05:07\tsucceeded\r\n");
    EXPECT_TRUE(AppBase::statusFileSucceeded(folder, "BridgeStatus.tmp"));
    EXPECT_TRUE(AppBase::removeStatusFile(folder, "BridgeStatus.tmp"));
}

TEST(SISConfig, ExtractionModeOfTheSwitches) {
    const struct {
        QMap<QString, bool> switches;
        int mode;
    } cases[] = {
        {{}, -1},
        {{{"all", true}}, -1},
        {{{"demo", true}}, 1},
        {{{"att", true}}, 2},
        {{{"demo", true}, {"att", true}}, 0},
        {{{"all", true}, {"att", true}}, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SISConfig::extractionMode(c.switches), c.mode) << c.switches.keys().join(",").toStdString();
    }
}

TEST_F(AppBaseTest, LogFileBaseReplacesUnsafeCharacters) {
    EXPECT_EQ(SISConfig::logFileBase("Norv", "", "0042"), "Norv--0042");
    EXPECT_EQ(SISConfig::logFileBase("Norv", "", "a/b c:d\\e"), "Norv--a_b_c_d_e");
    EXPECT_EQ(SISConfig::logFileBase("Norv", "", "^&'@{}[],$=!-#()%.+~_"), "Norv--^&'@{}[],$=!-#()%.+~_");
    EXPECT_EQ(SISConfig::logFileBase("Norv", "", QString::fromUtf8("\xc3\xa9")), "Norv--_");
}

TEST_F(AppBaseTest, MissingPasswordIsReportedUnderItsDeclaredKey) {
    EXPECT_EQ(app.checkMissing("pwd"), 1);
    EXPECT_EQ(app.checkMissing("nothing"), 1);
    EXPECT_EQ(app.checkMissing(""), 0);
    app.set("pwd", "x");
    EXPECT_EQ(app.checkMissing("pwd"), 0);
    EXPECT_EQ(writer.pendingLines(), QStringList({"missing\tpwdencode\tPassword missing or blank.",
                                                  "missing\tnothing\tMissing or blank."}));
}

TEST_F(AppBaseTest, GroupWithAPassingSecondAlternative) {
    app.set("dsn", "D");
    app.set("user", "u");
    app.set("pwdencode", "hT");
    EXPECT_EQ(app.checkGroup("connection"), 0);
    EXPECT_EQ(writer.pendingLines(), QStringList{"missing\tpwdencode\tPassword missing or blank."});
    EXPECT_EQ(app.checkGroup("no such group"), 0);
    EXPECT_TRUE(out.data().isEmpty());
}

TEST_F(AppBaseTest, DeclarationRules) {
    EXPECT_EQ(app.addParam("nowhere", "k", "K", "edit", "", ""), nullptr);
    EXPECT_TRUE(app.optionKeys().contains("k"));  // still an option
    const AppParam* flag = app.addParam("global", "f", "A very long flag name", "flag", "", "");
    ASSERT_NE(flag, nullptr);
    EXPECT_EQ(flag->name, "A very long fla");
    app.addParam("global", "secret", "Secret", "password", "", "");
    EXPECT_FALSE(app.optionKeys().contains(""));
    EXPECT_EQ(app.optionKeys().count("secret"), 1);
    EXPECT_EQ(app.record("year")->prerequisites.keys(), QStringList({"", "school"}));
    EXPECT_EQ(app.findParam("pwd")->key, "pwdencode");
    EXPECT_EQ(app.optionKeys().indexOf("pwd"), app.optionKeys().indexOf("pwdencode") + 1);
}

TEST_F(AppBaseTest, DateParameterSettings) {
    AppParam* when = app.addParam("global", "when", "When", "date", "", "");
    QString message;
    const struct {
        QStringList options;
        int result;
        QStringList out;
        QStringList err;
    } cases[] = {
        {{}, 0, {}, {}},
        {{"2009-09-08", "2010-06-18"}, 0, {"date\twhen\t2009-09-08\t2010-06-18\t"}, {}},
        {{"a", "b", "c"}, 0, {"date\twhen\ta\tb\tc"}, {}},
        {{"a"},
         1,
         {},
         {"error\tDate Settings Incorrect\tIncorrect application settings for this date parameter: when"}},
    };
    for (const auto& c : cases) {
        out.buffer().clear();
        out.seek(0);
        err.buffer().clear();
        err.seek(0);
        when->options = c.options;
        EXPECT_EQ(app.returnParamValues(*when, message), c.result);
        EXPECT_EQ(outLines(), QStringList{"start_progress\t0"} + c.out + QStringList{"end_progress"});
        EXPECT_EQ(errLines(), c.err);
    }
}

TEST_F(AppBaseTest, ATestThatThrowsFails) {
    app.throwOnTest = true;
    QString message;
    EXPECT_EQ(app.commandTest("global", message), 1);
    EXPECT_EQ(message,
              "Data Extractor threw an uncaught exception, please contact Velmora Software Support to fix "
              "this issue.");
    EXPECT_EQ(errLines(), QStringList{"error\tData Extractor Problem\t" + message});
    EXPECT_EQ(outLines(), QStringList({"start_progress\t0", "end_progress"}));
}

TEST_F(AppBaseTest, TaskSignalsReachTheHost) {
    AppTaskBase task;
    app.connectTask(task);
    emit task.writeProgress("start_progress", 3);
    emit task.writeProgressIncrement("Reading Student Grades...");
    emit task.writeTree("k", "d", "p", "n", "");  // not connected
    emit task.writeStatus("success", "g", "m");   // not connected
    emit task.writeMissing("dsn", "ODBC DSN missing or blank.");
    emit task.writeError("file", "Could not create cde folder: /x");
    emit task.writeProgress("end_progress", -1);
    EXPECT_EQ(outLines(),
              QStringList({"start_progress\t3", "inc_progress\tReading Student Grades...", "end_progress"}));
    EXPECT_EQ(errLines(), QStringList({"missing\tdsn\tODBC DSN missing or blank.",
                                       "error\tfile\tCould not create cde folder: /x"}));
}

}  // namespace
