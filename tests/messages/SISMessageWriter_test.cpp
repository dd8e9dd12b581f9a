#include "messages/SISMessageWriter.h"

#include <QBuffer>

#include <functional>

#include <gtest/gtest.h>

namespace {

struct Captured {
    QBuffer out;
    QBuffer err;
    SISMessageWriter writer;
    Captured() : writer(open(out), open(err)) {}
    static QBuffer* open(QBuffer& buffer) {
        buffer.open(QIODevice::WriteOnly);
        return &buffer;
    }
    std::string outText() const { return out.data().toStdString(); }
    std::string errText() const { return err.data().toStdString(); }
};

struct LineCase {
    const char* name;
    std::function<void(SISMessageWriter&)> send;
    const char* out;
    const char* err;
};

TEST(SISMessageWriter, WritesEachLineFormat) {
    const LineCase cases[] = {
        {"version",
         [](auto& w) { w.outVersion("norv_de", "2.1.0.0", "2.00.0033", "Norv (Data Extractor)", "/g"); },
         "version\tnorv_de\t2.1.0.0\t2.00.0033\tNorv (Data Extractor)\t/g\n", ""},
        {"params", [](auto& w) { w.outParams("dsn", "edit", "ODBC DSN", "Name", ""); },
         "params\tdsn\tedit\tODBC DSN\tName\t\n", ""},
        {"hidden_param", [](auto& w) { w.outHiddenParam("k", "v", "d"); }, "hidden_param\tk\tv\td\n", ""},
        {"list", [](auto& w) { w.outList("school_list", "school", "1", "Elementary", ""); },
         "school_list\tschool\t1\tElementary\t\n", ""},
        {"list of unknown type", [](auto& w) { w.outList("tree", "school", "1", "Elementary", ""); }, "",
         "error\tlist\tList type not set up.\n"},
        {"tree", [](auto& w) { w.outTree("k", "d", "p", "n", ""); }, "tree\tk\td\tp\tn\t\n", ""},
        {"hidden", [](auto& w) { w.outHidden("k", "t", "n", "h", "d"); }, "hidden\tk\tt\tn\th\td\n", ""},
        {"file", [](auto& w) { w.outFile("k", "*.dat", ""); }, "file\tk\t*.dat\t\n", ""},
        {"number", [](auto& w) { w.outNumber("k", "min=3", ""); }, "number\tk\tmin=3\t\n", ""},
        {"date", [](auto& w) { w.outDate("k", "2009-09-08", "2010-06-18", ""); },
         "date\tk\t2009-09-08\t2010-06-18\t\n", ""},
        {"test puts the group before the outcome",
         [](auto& w) { w.outTest("fail", "school", "School Not Valid."); },
         "test\tschool\tfail\tSchool Not Valid.\n", ""},
        {"status", [](auto& w) { w.outStatus("success", "2024-01-05", "m"); },
         "status\tsuccess\t2024-01-05\tm\n", ""},
        {"manage", [](auto& w) { w.outManage("success", "m"); }, "manage\tsuccess\tm\n", ""},
        {"progress -1 is the bare word", [](auto& w) { w.outProgress("end_progress", -1); }, "end_progress\n",
         ""},
        {"progress 0 keeps its total", [](auto& w) { w.outProgress("start_progress", 0); },
         "start_progress\t0\n", ""},
        {"increment", [](auto& w) { w.outProgress_increment("Export complete."); },
         "inc_progress\tExport complete.\n", ""},
        {"empty increment", [](auto& w) { w.outProgress_increment(""); }, "inc_progress\n", ""},
        {"warning step", [](auto& w) { w.outProgress_warning("late"); }, "warn_progress\tlate\n", ""},
        {"empty warning step is a plain step", [](auto& w) { w.outProgress_warning(""); }, "inc_progress\n",
         ""},
        {"setting", [](auto& w) { w.outSetting("start_setting", -1); }, "start_setting\n", ""},
        {"setting total", [](auto& w) { w.outSetting("start_setting", 2); }, "start_setting\t2\n", ""},
        {"setting line", [](auto& w) { w.outSetting_increment("setting", "connection", "dsn", "NorvDSN"); },
         "setting\tconnection\tdsn\tNorvDSN\n", ""},
        {"setting line with grouping", [](auto& w) { w.outSetting_increment("setting", "g", "k", "v", "x"); },
         "setting\tg\tk\tv\tx\n", ""},
        {"warning", [](auto& w) { w.outWarning("group", "No parameters for this group"); },
         "warning\tgroup\tNo parameters for this group\n", ""},
        {"error goes to standard error", [](auto& w) { w.outError("App Problem", "boom"); }, "",
         "error\tApp Problem\tboom\n"},
        // A value holding a line break or a TAB must not forge a line or shift the host's fields.
        {"TABs and line breaks inside fields become blanks",
         [](auto& w) { w.outSetting_increment("setting", "school", "school", "1021\r\nlog\tfake"); },
         "setting\tschool\tschool\t1021  log fake\n", ""},
        {"in an error line too", [](auto& w) { w.outError("App\nProblem", "a\rb\tc"); }, "",
         "error\tApp Problem\ta b c\n"},
        {"UTF-8", [](auto& w) { w.outWarning("k", QString::fromUtf8("Ren\xc3\xa9")); },
         "warning\tk\tRen\xc3\xa9\n", ""},
    };
    for (const auto& c : cases) {
        Captured cap;
        c.send(cap.writer);
        EXPECT_EQ(cap.outText(), c.out) << c.name;
        EXPECT_EQ(cap.errText(), c.err) << c.name;
    }
}

TEST(SISMessageWriter, MissingLinesWaitForAWarningOrAnErrorAndAreNotRepeated) {
    Captured cap;
    cap.writer.outMissing("dsn", "ODBC DSN missing or blank.");
    cap.writer.outMissing("dsn", "ODBC DSN missing or blank.");
    cap.writer.outMissing("user", "Username missing or blank.");
    EXPECT_EQ(cap.outText(), "");
    EXPECT_EQ(cap.errText(), "");

    cap.writer.outWarning("connection", "Required parameter missing.");
    EXPECT_EQ(cap.errText(),
              "missing\tdsn\tODBC DSN missing or blank.\nmissing\tuser\tUsername missing or blank.\n");
    EXPECT_EQ(cap.outText(), "warning\tconnection\tRequired parameter missing.\n");

    // Released lines are gone: a later error brings only itself.
    cap.writer.outError("App Problem", "x");
    EXPECT_EQ(cap.errText(),
              "missing\tdsn\tODBC DSN missing or blank.\nmissing\tuser\tUsername missing or "
              "blank.\nerror\tApp Problem\tx\n");
}

TEST(SISMessageWriter, ClearedMissingLinesAreNeverWritten) {
    Captured cap;
    cap.writer.outMissing("pwd", "Password missing or blank.");
    cap.writer.clearMessages();
    cap.writer.outWarning("k", "m");
    EXPECT_EQ(cap.errText(), "");
    EXPECT_EQ(cap.outText(), "warning\tk\tm\n");
    EXPECT_TRUE(cap.writer.pendingLines().isEmpty());
}

}  // namespace
