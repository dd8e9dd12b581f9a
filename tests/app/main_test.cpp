// The whole program as the host drives it: exact lines, exit codes and the files left behind.
#include "ProgramRunner.h"

#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>

namespace {

const QStringList kUsage = {
    "Usage: ",
    "norv-extract",
    " [command]",
    "  [--all]",
    "  [--att]",
    "  [--demo]",
    "  [--help]",
    "   [--group=value]",
    "   [--paramkey=value]",
    "   [--path=value]",
    "   [--logpath=value]",
    "   [--log=value]",
    "   [--validate=value]",
    "   [--inactivedate=value]",
    "   [--overlapdays=value]",
    "   [--year=value]",
    "   [--teacher=value]",
    "   [--timeout=value]",
    "   [--dsn=value]",
    "   [--user=value]",
    "   [--pwdencode=value]",
    "   [--pwd=value]",
    "   [--pwdfile=value]",
    "   [--school=value]",
    "",
};
// A data source that no odbc.ini defines: every request that needs the source fails to connect.
const QStringList kConnection = {"--dsn=NorvDSN", "--user=clerk", "--pwd=x"};

QStringList with(QStringList args, const QStringList& more) {
    return args << more;
}

// Every command ends with the engine's destructor log (level 7, so also on the console): the two lines are
// checked and the console lines before them returned.
QStringList beforeEngineEnd(const QStringList& outLines) {
    const QRegularExpression line(
        "^log\tInformational\t\\d\\d:\\d\\d:\\d\\d\t\t(Start|End) ExpEngine Destructor$");
    const qsizetype n = outLines.size();
    EXPECT_GE(n, 2);
    if (n < 2) {
        return outLines;
    }
    EXPECT_EQ(line.match(outLines.at(n - 2)).captured(1), "Start") << outLines.at(n - 2).toStdString();
    EXPECT_EQ(line.match(outLines.at(n - 1)).captured(1), "End") << outLines.at(n - 1).toStdString();
    return outLines.mid(0, n - 2);
}

class Program : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(home.isValid()); }
    ProgramResult run(const QStringList& args) { return runProgram(args, home.path()); }
    QString at(const QString& relative) const { return home.filePath(relative); }

    QTemporaryDir home;
};

struct HostCase {
    const char* name;
    QStringList args;
    int exitCode;
    QStringList out;  // without "log" lines
    QStringList err;
};

void expectHostCases(Program& program, std::initializer_list<HostCase> cases,
                     const std::function<ProgramResult(const QStringList&)>& run) {
    (void)program;
    for (const HostCase& c : cases) {
        const ProgramResult r = run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.name;
        EXPECT_EQ(r.hostLines(), c.out) << c.name;
        EXPECT_EQ(r.errLines(), c.err) << c.name;
    }
}

TEST_F(Program, CommandLineFailuresShowTheUsage) {
    const QStringList frame = {"start_progress\t0", "end_progress"};
    const auto warned = [&](const QString& warning) {
        return QStringList{"warning\toptions\t" + warning} + frame;
    };
    expectHostCases(
        *this,
        {
            {"no arguments", {}, 1, warned("Lacking required argument"), kUsage},
            {"unknown option", {"run", "--colour=red"}, 1, warned("Unknown option --colour"), kUsage},
            {"a value starting with a dash", {"run", "--school=-5"}, 1, warned("Unknown option -5"), kUsage},
            {"short option", {"-v"}, 1, warned("Unknown option -v"), kUsage},
            {"two bare words", {"run", "version"}, 1, warned("Too many arguments --version"), kUsage},
            {"help switch on run", {"run", "--help"}, 1, frame, kUsage},
            {"help command", {"help"}, 1, frame, kUsage},
            {"option swallowing the command",
             {"--school", "run"},
             1,
             warned("Lacking required argument"),
             kUsage},
            {"'--' alone", {"version", "--"}, 2, {"warning\toptions\t'--' feature not supported, yet"}, {}},
        },
        [&](const QStringList& a) { return run(a); });
    EXPECT_TRUE(filesUnder(home.path()).isEmpty()) << filesUnder(home.path()).join(", ").toStdString();
}

// The lone "--" ends the process at once: its warning (as a log line and as a host line) is the last word.
TEST_F(Program, LoneDoubleDashEndsAtOnce) {
    const ProgramResult r = run({"run", "--", "--path=" + at("out")});
    EXPECT_EQ(r.exitCode, 2);
    const QStringList lines = r.outLines();
    ASSERT_EQ(lines.size(), 2) << lines.join('|').toStdString();
    EXPECT_TRUE(lines.at(0).startsWith("log\tWarning      \t"));
    EXPECT_TRUE(lines.at(0).endsWith("\tAppBase::qMessageOutput\t'--' feature not supported, yet"));
    EXPECT_EQ(lines.at(1), "warning\toptions\t'--' feature not supported, yet");
    EXPECT_TRUE(r.err.isEmpty());
    EXPECT_TRUE(filesUnder(home.path()).isEmpty());
}

TEST_F(Program, WarningsAlsoReachTheConsoleLog) {
    const ProgramResult r = run({});
    ASSERT_EQ(beforeEngineEnd(r.outLines()).size(), 4);
    EXPECT_TRUE(
        QRegularExpression("^log\tWarning      \t\\d\\d:\\d\\d:\\d\\d\tAppBase::qMessageOutput\tLacking "
                           "required argument$")
            .match(r.outLines().at(0))
            .hasMatch())
        << r.outLines().at(0).toStdString();
}

TEST_F(Program, VersionSendsSixFields) {
    const ProgramResult r = run({"version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(beforeEngineEnd(r.outLines()),
              QStringList({"start_progress\t1",
                           "version\tnorv_de\t2.1.0.0\t2.00.0033\tNorv (Data Extractor)\t" +
                               QStringLiteral(NORV_BINARY_DIR "/help/NorvGuide.pdf"),
                           "end_progress"}));
    EXPECT_TRUE(r.err.isEmpty());
}

TEST_F(Program, ParamsOfTheGlobalGroupIncludeTheSwitches) {
    const ProgramResult r = run({"params", "--group=global"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(
        beforeEngineEnd(r.outLines()),
        QStringList({
            "start_progress\t15",
            "params\tall\tswitch\tExtract All Data\tExtract all available data.\t",
            "params\tatt\tswitch\tExtract All Data\tExtract all available data.\t",
            "params\tdemo\tswitch\tExtract All Data\tExtract all available data.\t",
            "params\thelp\tswitch\tHelp\tShow command line usage.\t",
            "params\tgroup\tdefault\tGroup\tSet group.\t",
            "params\tparamkey\tdefault\tParam Key\tReturn parameter information\t",
            "params\tpath\tfolder\tCDE Folder\tSet the CDE Folder\t",
            "params\tlogpath\tfolder\tLog Folder\tSet the Log Folder\t",
            "params\tlog\tdefault\tLog\tSet the logging style.\t",
            "params\tvalidate\tdefault\tValidate\tValidate command line interface features.\t",
            "params\tinactivedate\tdefault\tInactive Date\tInclude Inactive Staff and Students after "
            "this date.\t",
            "params\toverlapdays\tdefault\tOverlap Days\tDays before today whose absences are compared "
            "with the source again, so that corrections and deletions reach the target (0: none; default: "
            "the folder's setting, else 14).\t",
            "params\tyear\tdefault\tSchoolYear\tSchool Year, hidden used for testing\t",
            "params\tteacher\tbridgelist\tTeacher\tList of teachers available in associated bridge\t",
            "params\ttimeout\tdefault\tTimeout\tSeconds to wait for an answer from the source before the "
            "command fails.\t600",
            "end_progress",
        }));
}

TEST_F(Program, CommandOutcomes) {
    const QStringList frame = {"start_progress\t0", "end_progress"};
    const QString connectionMissing = "warning\tconnection\tRequired parameter missing.";
    const QStringList connectionMissingLines = {"missing\tdsn\tODBC DSN missing or blank.",
                                                "missing\tuser\tUsername missing or blank.",
                                                "missing\tpwdencode\tPassword missing or blank."};
    expectHostCases(
        *this,
        {
            {"connection group",
             {"params", "--group=connection"},
             0,
             {"start_progress\t5", "params\tdsnheader\theader\tData Source Name and Login Information\t\t",
              "params\tdsnlabel\tlabel\tPlease enter the Data Source Name of the ODBC Data Source that you "
              "set up to "
              "connect to the SMS Database\t\t",
              "params\tdsn\tedit\tODBC DSN\tName of DSN from existing Data Source\t",
              "params\tuser\tedit\tUsername\tUsername corresponding to ODBC DSN\t",
              "params\tpwdencode\tpassword\tPassword\tPassword  corresponding to ODBC DSN\t", "end_progress"},
             {}},
            {"params needs a group or a key",
             {"params"},
             1,
             QStringList{"warning\tparams\tRequired parameter missing."} + frame,
             {"missing\tgroup\tGroup missing or blank.", "missing\tparamkey\tParam Key missing or blank."}},
            {"unknown group",
             {"params", "--group=nope"},
             1,
             QStringList{"warning\tgroup\tNo parameters for this group"} + frame,
             {}},
            {"unknown key",
             {"params", "--paramkey=nope"},
             1,
             QStringList{"warning\tparamkey\tnope does not exist in this Application."} + frame,
             {"missing\tgroup\tGroup missing or blank."}},
            {"a type without values",
             {"params", "--paramkey=dsn"},
             1,
             frame,
             {"error\tNo Parameter Return Type Set\tNo parameter return set for type: edit"}},
            {"year needs the school first",
             {"params", "--paramkey=year"},
             1,
             QStringList{"warning\tparams\tRequired params missing."} + frame,
             // the group alternative that failed before paramkey passed is still queued
             {"missing\tgroup\tGroup missing or blank.", "missing\tschool\tSchool Number missing or blank."}},
            {"year with a school",
             {"params", "--paramkey=year", "--school=1"},
             1,
             frame,
             {"error\tNo Parameter Return Type Set\tNo parameter return set for type: default"}},
            {"schools need the connection",
             {"params", "--paramkey=school"},
             1,
             QStringList{connectionMissing} + frame,
             QStringList{"missing\tgroup\tGroup missing or blank."} + connectionMissingLines},
            {"schools with an encoded password",
             {"params", "--paramkey=school", "--dsn=D", "--user=u", "--pwdencode=hT"},
             1,
             {"start_progress\t0",
              "warning\tLoading Schools Failed\tLoading Schools failed.  Consult the logs to discover what "
              "the problem "
              "is.",
              "end_progress"},
             {}},
            {"teachers",
             {"params", "--paramkey=teacher"},
             1,
             {"start_progress\t0",
              "warning\tteacher\tLoading Bridgelist failed.  Consult the logs to discover what the problem "
              "is.",
              "end_progress"},
             // the engine names the first missing value of the list's own requirements
             {"missing\tuser\tuser missing or blank."}},
            {"test of the school without values",
             {"test", "--group=school"},
             1,
             {"start_progress\t0", connectionMissing, "test\tschool\tfail\tParameter not valid.",
              "end_progress"},
             connectionMissingLines},
            {"test of the connection",
             with({"test", "--group=connection"}, kConnection),
             1,
             {"start_progress\t0", "inc_progress\tBeginning test...",
              "test\tconnection\tfail\tConnection Failed.", "end_progress"},
             {}},
            {"test of the school",
             with({"test", "--group=school", "--school=7"}, kConnection),
             1,
             {"start_progress\t0", "inc_progress\tBeginning test...", "test\tschool\tfail\tSchool Not Valid.",
              "end_progress"},
             {}},
            {"test of a group that has no test",
             {"test", "--group=global"},
             1,
             {"start_progress\t0", "inc_progress\tBeginning test...", "end_progress"},
             {"error\tGroup Undefined\tGroup is undefined, there is a problem with the bridge, please report "
              "this "
              "problem to Velmora Support."}},
            {"test needs a group",
             {"test"},
             1,
             QStringList{"warning\ttest\tRequired parameter missing."} + frame,
             {"missing\tgroup\tGroup missing or blank."}},
            {"run needs connection, school and path",
             {"run"},
             1,
             QStringList{connectionMissing} + frame,
             connectionMissingLines},
            {"unknown command",
             {"extract"},
             1,
             {},
             {"error\tApp Problem\tThis command has not been defined: extract"}},
        },
        [&](const QStringList& a) { return run(a); });
    EXPECT_TRUE(filesUnder(home.path()).isEmpty()) << filesUnder(home.path()).join(", ").toStdString();
}

TEST_F(Program, ValidateModes) {
    const QStringList frame = {"start_progress\t0", "end_progress"};
    const QStringList version = {"start_progress\t1",
                                 "version\tnorv_de\t2.1.0.0\t2.00.0033\tNorv (Data Extractor)\t" +
                                     QStringLiteral(NORV_BINARY_DIR "/help/NorvGuide.pdf"),
                                 "end_progress"};
    const QStringList runArgs = with({"run", "--school=1", "--path=" + at("out")}, kConnection);
    expectHostCases(*this,
                    {
                        {"version 0", {"version", "--validate=0"}, 0, version, {}},
                        {"version 1", {"version", "--validate=1"}, 1, {"start_progress\t1"}, {}},
                        {"version 2", {"version", "--validate=2"}, 2, {}, {}},
                        {"version 7", {"version", "--validate=7"}, 7, frame, {}},
                        {"not a number runs normally", {"version", "--validate=yes"}, 0, version, {}},
                        {"params 0 runs the command",
                         {"params", "--group=school", "--validate=0"},
                         0,
                         {"start_progress\t3", "params\tschoolheader\theader\tSchool Information\t\t",
                          "params\tschoollabel\tlabel\tPlease select the School Number of this school:\t\t",
                          "params\tschool\tschool_list\tSchool Number\tChoose the School or Building number "
                          "for your school\t",
                          "end_progress"},
                         {}},
                        {"params 3", {"params", "--group=g", "--validate=3"}, 3, {"start_progress\t0"}, {}},
                        {"params 4",
                         {"params", "--group=g", "--validate=4"},
                         4,
                         QStringList{"warning\tgroup\tNo parameters for this group"} + frame,
                         {}},
                        {"params 1 without key", {"params", "--group=g", "--validate=1"}, 1, frame, {}},
                        {"params 1 with key",
                         {"params", "--paramkey=k", "--validate=1"},
                         1,
                         QStringList{"warning\tconnection\tRequired parameter missing."} + frame,
                         {"missing\tgroup\tGroup missing or blank."}},
                        {"params 4 with key",
                         {"params", "--paramkey=k", "--validate=4"},
                         4,
                         QStringList{"warning\tparamkey\tk does not exist in this App."} + frame,
                         {"missing\tgroup\tGroup missing or blank."}},
                        {"canned schools",
                         with({"params", "--paramkey=school", "--validate=0"}, kConnection),
                         0,
                         {"year_list\tschool\t1\tElementary (1)\t", "year_list\tschool\t2\tMiddle (2)\t",
                          "year_list\tschool\t3\tHigh School (3)\t"},
                         {}},
                        {"canned teachers",
                         {"params", "--paramkey=teacher", "--validate=0"},
                         0,
                         {"bridgelist\tteacher\t1\tAda\t", "bridgelist\tteacher\t2\tBruno\t",
                          "bridgelist\tteacher\t3\tCarmen\t"},
                         {}},
                        {"canned answer for a type without values",
                         {"params", "--paramkey=dsn", "--validate=0"},
                         1,
                         {"end_progress"},
                         {"error\tNo Parameter Return Type Set\tNo parameter return set for type: edit"}},
                        {"test 0",
                         {"test", "--group=connection", "--validate=0"},
                         0,
                         {"start_progress\t0", "inc_progress\tBeginning test...",
                          "test\tconnection\tsuccess\tConnection Successful.", "end_progress"},
                         {}},
                        {"test 1",
                         {"test", "--group=school", "--validate=1"},
                         1,
                         {"start_progress\t0", "test\tschool\tfail\tParameter not valid.", "end_progress"},
                         {}},
                        {"test 2", {"test", "--group=school", "--validate=2"}, 2, {}, {}},
                        {"test 3", {"test", "--group=school", "--validate=3"}, 3, {"start_progress\t0"}, {}},
                        {"test 9", {"test", "--group=school", "--validate=9"}, 9, frame, {}},
                        {"run 2", with(runArgs, {"--validate=2"}), 2, {}, {}},
                        {"run 3", with(runArgs, {"--validate=3"}), 3, {"start_progress\t0"}, {}},
                        {"run 5", with(runArgs, {"--validate=5"}), 5, frame, {}},
                        {"defaults 0", {"defaults", "--validate=0"}, 0, frame, {}},
                        {"defaults 2", {"defaults", "--validate=2"}, 2, {}, {}},
                        {"defaults 3", {"defaults", "--validate=3"}, 3, {"start_progress\t0"}, {}},
                    },
                    [&](const QStringList& a) { return run(a); });
}

TEST_F(Program, ValidatedRunLeavesSucceededStatusFiles) {
    const QString out = at("out");
    const ProgramResult r = run(with({"run", "--validate=0", "--school=0042", "--path=" + out}, kConnection));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.hostLines(),
              QStringList(
                  {"start_progress\t10", "inc_progress\tStart Extraction...",
                   "inc_progress\tValidate Connection Successful, using Oracle (ODBC) with "
                   "prefix.",
                   "inc_progress\tReading Look up Tables", "inc_progress\tReading Custom Field List...",
                   "inc_progress\tReading Student Transportation...",
                   "inc_progress\tReading Student Demographics...", "inc_progress\tReading Student Grades...",
                   "inc_progress\tReading Student Period Attendance (08/25/2008 to 08/31/2008)...",
                   "inc_progress\tReading Cached Period Attendance...", "inc_progress\tExport complete.",
                   "end_progress"}));
    const QString logName = "Norv--0042-" + today() + ".log";
    EXPECT_EQ(filesUnder(out), QStringList({".norv-extract.lock", "BridgeStatus.tmp",
                                            "Data ExtractorStatus.tmp", logName, "finished_bridge.tmp"}));
    const QRegularExpression stamp("^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\t");
    const QByteArray status = readFile(out + "/Data ExtractorStatus.tmp");
    EXPECT_TRUE(stamp.match(QString::fromUtf8(status)).hasMatch()) << status.toStdString();
    EXPECT_TRUE(status.endsWith("\tSucceeded\tSucceeded\r\n")) << status.toStdString();
    EXPECT_EQ(status.size(), 19 + 22);
    EXPECT_EQ(readFile(out + "/finished_bridge.tmp"), "finished\r\n");
    const QByteArray bridge = readFile(out + "/BridgeStatus.tmp");
    EXPECT_TRUE(stamp.match(QString::fromUtf8(bridge)).hasMatch());
    EXPECT_TRUE(bridge.endsWith("\tExtract Running\r\n"));

    // The console saw the log file being set up and the titled start line.
    const QStringList outLines = r.outLines();
    EXPECT_TRUE(outLines.at(0).startsWith("log\tInformational\t"));
    EXPECT_TRUE(
        outLines.at(0).endsWith("\tLogManager::setupLogFile\tLog file " + out + "/" + logName + " setup."));
    EXPECT_TRUE(outLines.at(1).endsWith("\t\tVelmora Data Extractor for Norv started."));
}

TEST_F(Program, FailedRunRecordsTheFailureAndCopiesTheLog) {
    const QString out = at("out");
    const QString logs = at("logs");
    writeFile(out + "/finished.tmp", "finished\r\n");
    const QStringList args =
        with({"run", "--school=12 A/b", "--path=" + out, "--logpath=" + logs, "--log=extract"}, kConnection);
    const ProgramResult r = run(args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errLines(), QStringList());
    // The run announced its steps and stopped at the connection: no end of progress, no "bridge_complete".
    const QStringList host = r.hostLines();
    ASSERT_EQ(host.size(), 2) << host.join('|').toStdString();
    EXPECT_EQ(host.at(0), "inc_progress\tStarting Execution...");
    EXPECT_TRUE(host.at(1).startsWith("start_progress\t"));
    // "extract" turns the console log off once the run starts: only the lines before it remain.
    for (const QString& line : r.outLines()) {
        EXPECT_FALSE(line.contains("ExpEngine") || line.contains("Data source name not found"))
            << line.toStdString();
    }
    const QString logName = "Norv--12_A_b-" + today() + ".log";
    EXPECT_EQ(filesUnder(out), QStringList({".norv-extract.lock", "BridgeStatus.tmp",
                                            "Data ExtractorStatus.tmp", logName, "finished_bridge.tmp"}));
    EXPECT_TRUE(readFile(out + "/Data ExtractorStatus.tmp").endsWith("\tFailed\tFailed on extraction.\r\n"));
    // The copy is taken when the extraction ends; the log goes on with the engine's destructor lines.
    const QByteArray copy = readFile(out + "/" + logName);
    QByteArray log = readFile(logs + "/" + logName);
    EXPECT_TRUE(log.startsWith(copy));
    EXPECT_TRUE(log.mid(copy.size()).contains(": Informational : Start ExpEngine Destructor\r\n"));
    EXPECT_TRUE(log.mid(copy.size()).contains(": Informational : End ExpEngine Destructor\r\n"));
    EXPECT_TRUE(copy.contains("Data source name not found and no default driver specified"));
    EXPECT_FALSE(copy.contains("ExpEngine Destructor"));

    // A second run on the same day appends to the log but leaves the earlier copy alone.
    run(args);
    EXPECT_EQ(readFile(out + "/" + logName), copy);
    EXPECT_GT(readFile(logs + "/" + logName).size(), log.size());
}

TEST_F(Program, RunLogHasHeaderBlocksAndNoPasswordAnywhere) {
    const QString plain = QStringLiteral("Tr0ub4dor&3");
    const QString other = QStringLiteral("c0rrect-h0rse");
    const QString out = at("out");
    const QList<QStringList> runs = {
        {"--pwdencode=" + encodePassword(plain)},
        {"--pwdencode", encodePassword(plain)},
        {"--pwd=" + other},
        {"--pwd", other},
    };
    QByteArray console;
    for (const QStringList& password : runs) {
        const ProgramResult r =
            run(QStringList{"run", "--validate=0", "--school=1", "--dsn=D", "--user=u", "--path=" + out} +
                password);
        EXPECT_EQ(r.exitCode, 0) << password.join(' ').toStdString();
        console += r.out + r.err;
    }
    const ProgramResult failed =
        run({"run", "--school=1", "--dsn=D", "--user=u", "--path=" + out, "--pwd", other});
    EXPECT_EQ(failed.exitCode, 1);
    console += failed.out + failed.err;
    // A password that starts with a dash is read as an option: the warning must not quote it.
    const ProgramResult dashed = run({"run", "--pwd=-" + other});
    EXPECT_EQ(dashed.hostLines().value(0), "warning\toptions\tUnknown option -*");
    console += dashed.out + dashed.err;

    const QByteArray log = readFile(out + "/Norv--1-" + today() + ".log");
    const QStringList secrets = {plain, other, encodePassword(plain), encodePassword(other)};
    for (const QString& secret : secrets) {
        EXPECT_FALSE(console.contains(secret.toUtf8())) << secret.toStdString();
        for (const QString& file : filesUnder(home.path())) {
            EXPECT_FALSE(readFile(home.filePath(file)).contains(secret.toUtf8()))
                << file.toStdString() << " holds " << secret.toStdString();
        }
    }
    EXPECT_TRUE(log.contains("AppBase::LogHeader: pwdencode is internal only.\r\n"));
    EXPECT_TRUE(log.contains("AppBase::LogHeader: pwd is internal only.\r\n"));
    EXPECT_TRUE(log.contains("AppBase::LogHeader: Command: run\r\n"));
    EXPECT_TRUE(log.contains("AppBase::LogHeader: dsn=D\r\n"));
    EXPECT_TRUE(log.contains("AppBase::LogHeader: appath=" NORV_BINARY_DIR "/norv-extract\r\n"));
    EXPECT_TRUE(log.contains("\r\nLog File\r\n"));
    EXPECT_TRUE(log.contains("\r\nVelmora Data Extractor for Norv File\r\n"));
    EXPECT_TRUE(log.contains("\r\nVersion        : 2.1.0.0\r\n"));
}

// A password file must be private to the user that runs the program: one that others may read, or a second
// password beside it, is refused before the command runs, with the fix in the error line; a private file
// meets the connection's password requirement.
TEST_F(Program, PasswordFilesOthersCanReadAreRefused) {
    const QByteArray secret = "Tr0ub4dor&3";
    const QString open = at("open.pwd");
    const QString mine = at("private.pwd");
    const QString latin1 = at("latin1.pwd");
    writeFile(open, secret + "\n");
    writeFile(mine, secret + "\n");
    writeFile(latin1,
              "Gr\xfc"
              "ezi\n");  // saved in Latin-1, not UTF-8: it would reach the server altered
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0644), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(mine).constData(), 0600), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(latin1).constData(), 0600), 0);
    const QString out = at("out");
    const QStringList frame = {"start_progress\t0", "end_progress"};
    const QStringList login = {"--dsn=D", "--user=u"};
    const QString refused = "error\tPassword File Error\t";
    // A test answers as every failed test does: its "test" line gives the reason.
    const auto failedTest = [](const QString& reason) {
        return QStringList{"start_progress\t0", "test\tconnection\tfail\t" + reason, "end_progress"};
    };
    const QString missingReason =
        "The password file " + at("none.pwd") + " cannot be read: No such file or directory.";
    const QString twiceReason =
        "Give the password one way only: --pwdfile cannot be combined with --pwd or --pwdencode.";
    const QString latin1Reason = "The password file " + latin1 + " is not UTF-8 text; save it as UTF-8.";
    expectHostCases(
        *this,
        {
            {"readable by others",
             with({"run", "--school=1", "--path=" + out, "--pwdfile=" + open}, login),
             1,
             frame,
             {refused + "The password file " + open +
              " can be read or changed by other users (mode 0644); allow its owner only: chmod 600 " + open}},
            {"missing",
             with({"test", "--group=connection", "--pwdfile=" + at("none.pwd")}, login),
             1,
             failedTest(missingReason),
             {refused + missingReason}},
            {"beside --pwd",
             with({"test", "--group=connection", "--pwdfile=" + mine, "--pwd=x"}, login),
             1,
             failedTest(twiceReason),
             {refused + twiceReason}},
            {"not UTF-8",
             with({"test", "--group=connection", "--pwdfile=" + latin1}, login),
             1,
             failedTest(latin1Reason),
             {refused + latin1Reason}},
            {"private",
             with({"test", "--validate=0", "--group=connection", "--pwdfile", mine}, login),
             0,
             {"start_progress\t0", "inc_progress\tBeginning test...",
              "test\tconnection\tsuccess\tConnection Successful.", "end_progress"},
             {}},
        },
        [&](const QStringList& a) {
            const ProgramResult r = run(a);
            EXPECT_FALSE((r.out + r.err).contains(secret));
            return r;
        });
    // Refused before the run began: nothing was written into its folder.
    EXPECT_FALSE(QFile::exists(out));
}

// A short password inside the driver's words is chance and stays unmasked (masking it would spell it out);
// one standing as a word of its own withholds the whole message, so neither it nor its length shows.
TEST_F(Program, DriverMessagesNeverRevealThePassword) {
    struct Case {
        const char* password;
        bool messageShown;
    };
    for (const Case& c : {Case{"e", true}, Case{"ou", true}, Case{"name", false}, Case{"not", false}}) {
        const ProgramResult r = run(
            {"test", "--group=connection", "--dsn=NorvDSN", "--user=clerk", QString("--pwd=") + c.password});
        EXPECT_EQ(r.exitCode, 1) << c.password;
        EXPECT_FALSE(r.out.contains("*")) << r.out.toStdString();
        EXPECT_EQ(r.out.contains("Data source name not found"), c.messageShown) << r.out.toStdString();
        // Withheld without a reason: saying why would tell that the password is one of its words.
        EXPECT_EQ(r.out.contains("(driver message withheld)"), !c.messageShown) << r.out.toStdString();
        EXPECT_FALSE(r.out.contains("password")) << r.out.toStdString();
    }
}

TEST_F(Program, UnwritableLogFolderFallsBackToTheDocumentsFolder) {
    const QString out = at("out");
    writeFile(at("blocked"), "a file where the log folder should be");
    const ProgramResult r = run(with(
        {"run", "--validate=0", "--school=9", "--path=" + out, "--logpath=" + at("blocked")}, kConnection));
    EXPECT_EQ(r.exitCode, 0);
    const QString documents = at("Documents");
    EXPECT_EQ(r.errLines(),
              QStringList{"error\tLog File Error\tCould not write to: " + at("blocked/Norv--9") +
                          ". Will now write to: " + documents + "/Norv--9"});
    EXPECT_TRUE(
        readFile(documents + "/Norv--9-" + today() + ".log").contains("AppBase::LogHeader: Command: run"));
    EXPECT_TRUE(readFile(out + "/Data ExtractorStatus.tmp").endsWith("\tSucceeded\tSucceeded\r\n"));
}

// A clock that ran a week ahead left logs dated after today: rotation counts only the days up to today, so
// today's log is never the one it deletes, and the later ones are left alone.
TEST_F(Program, LogRotationKeepsTodaysLog) {
    const QString out = at("out");
    QStringList ahead;
    for (int day = 1; day <= 7; ++day) {
        ahead.append("Norv--1-" + QDate::currentDate().addDays(day).toString("yyyy-MM-dd") + ".log");
        writeFile(out + "/" + ahead.last(), "ahead\r\n");
    }
    const ProgramResult r = run(with({"run", "--validate=0", "--school=1", "--path=" + out}, kConnection));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(readFile(out + "/Norv--1-" + today() + ".log").contains("AppBase::LogHeader: Command: run"));
    for (const QString& name : ahead) {
        EXPECT_EQ(readFile(out + "/" + name), "ahead\r\n") << name.toStdString();
    }
}

// A status file that cannot be written is never a silent success: the command says so on standard error
// and exits with 1, and no temporary file is left behind.
TEST_F(Program, StatusFilesThatCannotBeWrittenFailTheCommand) {
    const QString out = at("out");
    const auto error = [&](const QString& name, const QString& reason) {
        return "error\tStatus File Error\tCould not write: " + out + "/" + name + " (" + reason + ")";
    };
    QDir().mkpath(out + "/Data ExtractorStatus.tmp");
    ProgramResult r = run({"version", "--path=" + out});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errLines(), QStringList({error("Data ExtractorStatus.tmp", "Is a directory")}));
    EXPECT_EQ(readFile(out + "/finished_bridge.tmp"), "finished\r\n");
    QDir(out).removeRecursively();

    // A run whose start could not be recorded does not end as a success either.
    QDir().mkpath(out + "/BridgeStatus.tmp");
    r = run(with({"run", "--validate=0", "--school=1", "--path=" + out}, kConnection));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errLines(), QStringList({error("BridgeStatus.tmp", "Is a directory")}));
    EXPECT_TRUE(readFile(out + "/Data ExtractorStatus.tmp")
                    .endsWith("\tFailed\tCould not write the status files.\r\n"));
    QDir(out).removeRecursively();

    // A full disk: nothing can be written, neither at the start of the run nor at its end.
    r = runProgram(with({"run", "--validate=0", "--school=1", "--path=" + out}, kConnection), home.path(),
                   QString(), {}, fullDiskLauncher());
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(r.errLines().filter("Status File Error"),
              QStringList({error("BridgeStatus.tmp", "File too large"),
                           error("Data ExtractorStatus.tmp", "File too large"),
                           error("finished_bridge.tmp", "File too large")}));
    EXPECT_EQ(filesUnder(out).filter(".tmp"), QStringList());
    EXPECT_EQ(filesUnder(out).filter(".part"), QStringList());

    r = runProgram({"version", "--path=" + out}, home.path(), QString(), {}, fullDiskLauncher());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errLines(), QStringList({error("Data ExtractorStatus.tmp", "File too large"),
                                         error("finished_bridge.tmp", "File too large")}));
}

// Links planted under the names of the status files are replaced, never written through.
TEST_F(Program, StatusFilesDoNotFollowPlantedLinks) {
    const QString out = at("out");
    const QString victim = at("victim");
    writeFile(victim, "victim");
    QDir().mkpath(out);
    for (const char* name : {"BridgeStatus.tmp", "Data ExtractorStatus.tmp", "finished_bridge.tmp",
                             ".BridgeStatus.tmp.part", ".finished_bridge.tmp.part"}) {
        ASSERT_TRUE(QFile::link(victim, out + "/" + name));
    }
    const ProgramResult r = run(with({"run", "--validate=0", "--school=1", "--path=" + out}, kConnection));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(readFile(victim), "victim");
    for (const char* name : {"BridgeStatus.tmp", "Data ExtractorStatus.tmp", "finished_bridge.tmp"}) {
        EXPECT_FALSE(QFileInfo(out + "/" + name).isSymLink()) << name;
    }
    EXPECT_TRUE(readFile(out + "/Data ExtractorStatus.tmp").endsWith("\tSucceeded\tSucceeded\r\n"));
}

// One run per output folder: a second run fails at once and leaves the folder to the run that holds it;
// another folder is not held back. The other commands answer as ever beside the running extraction, but its
// status files stay its own: were a test to write "Succeeded" there, a run that then dies would read as a
// success for good.
TEST_F(Program, ASecondRunIntoALockedFolderLeavesItAlone) {
    const QString out = at("out");
    const QStringList previous = {"BridgeStatus.tmp", "Data ExtractorStatus.tmp", "finished_bridge.tmp"};
    for (const QString& name : previous) {
        writeFile(out + "/" + name, "held by the running extraction\r\n");
    }
    QFile lockFile(out + "/.norv-extract.lock");
    ASSERT_TRUE(lockFile.open(QIODevice::ReadWrite));
    ASSERT_EQ(::flock(lockFile.handle(), LOCK_EX | LOCK_NB), 0);

    const QStringList args = with({"run", "--validate=0", "--school=1", "--path=" + out}, kConnection);
    const ProgramResult second = run(args);
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_EQ(second.errLines(),
              QStringList({"error\tFolder Locked\tAnother extraction is running in the folder: " + out}));
    EXPECT_EQ(second.hostLines(), QStringList());
    EXPECT_EQ(filesUnder(out), QStringList({".norv-extract.lock"}) + previous);
    const struct {
        QStringList args;
        int exitCode;
    } others[] = {
        {with({"test", "--group=connection"}, kConnection), 1},
        {{"version"}, 0},
        {{"params", "--group=global"}, 0},
        {{"defaults", "--validate=0"}, 0},
    };
    for (const auto& other : others) {
        EXPECT_EQ(run(other.args + QStringList{"--path=" + out}).exitCode, other.exitCode)
            << other.args.join(' ').toStdString();
    }
    EXPECT_EQ(filesUnder(out), QStringList({".norv-extract.lock"}) + previous);
    for (const QString& name : previous) {
        EXPECT_EQ(readFile(out + "/" + name), "held by the running extraction\r\n") << name.toStdString();
    }
    const ProgramResult elsewhere =
        run(with({"run", "--validate=0", "--school=1", "--path=" + at("other")}, kConnection));
    EXPECT_EQ(elsewhere.exitCode, 0);

    lockFile.close();  // the holder ends: the kernel releases its lock
    EXPECT_EQ(run(args).exitCode, 0);
    EXPECT_TRUE(readFile(out + "/Data ExtractorStatus.tmp").endsWith("\tSucceeded\tSucceeded\r\n"));
}

// A run that cannot start never leaves the last good night's "Succeeded" in place: a lock file it cannot use
// (a folder or a link at its name, a lock file it may not even read), a refused password file or option, a
// missing value each end as "Failed" with the reason. It never runs unlocked, and never writes through a
// link. A lock file it may read but not write (left by root) still locks: flock needs no write access.
TEST_F(Program, ARunThatCannotStartRecordsWhy) {
    ASSERT_FALSE(openInjectionLauncher(at("x"), "error=EACCES").isEmpty())
        << "strace is not installed (scripts/install-deps.sh installs it)";
    const QString victim = at("victim");
    writeFile(victim, "victim");
    const QString openPassword = at("open.pwd");
    writeFile(openPassword, "secret\n");
    ASSERT_EQ(::chmod(QFile::encodeName(openPassword).constData(), 0644), 0);
    // Every opening of the lock file, or only the first (the one for writing), refused as for another
    // user's file.
    const auto refusedLock = [](const QString& lock, const char* when) {
        return openInjectionLauncher(lock, QString("error=EACCES:when=") + when);
    };
    const QString lockFailure = "The lock file of the folder cannot be used: @lock (%1)";
    const QStringList connection = {"--dsn=NorvDSN", "--user=clerk"};
    const struct {
        const char* name;
        std::function<bool(const QString&)> plant;  // given the lock file's path
        QStringList args;                           // besides the run's path and the connection
        const char* refusedLockWhen;                // the strace launcher, when not null
        QString detail;                             // empty: the run succeeds
    } cases[] = {
        {"a folder at the lock's name", [](const QString& lock) { return QDir().mkpath(lock); },
         QStringList{"--school=1", "--pwd=x"}, nullptr, lockFailure.arg("Is a directory")},
        {"a link at the lock's name", [&](const QString& lock) { return QFile::link(victim, lock); },
         QStringList{"--school=1", "--pwd=x"}, nullptr, lockFailure.arg("Too many levels of symbolic links")},
        {"a lock file it may not read", nullptr, QStringList{"--school=1", "--pwd=x"}, "1+",
         lockFailure.arg("Permission denied")},
        {"a lock file it may only read", nullptr, QStringList{"--school=1", "--pwd=x"}, "1", QString()},
        {"a refused password file", nullptr, QStringList{"--school=1", "--pwdfile=" + openPassword}, nullptr,
         "The password file " + openPassword +
             " can be read or changed by other users (mode 0644); allow its owner only: chmod 600 " +
             openPassword},
        {"a refused option", nullptr, QStringList{"--school=1", "--pwd=x", "--timeout=0"}, nullptr,
         "The timeout must be a whole number of seconds from 1 to 86400: 0"},
        {"a missing value", nullptr, QStringList{"--pwd=x"}, nullptr, "Required parameter missing."},
    };
    const QByteArray lastGoodNight = "2000/01/01 00:00:00\tSucceeded\tSucceeded\r\n";
    for (const auto& c : cases) {
        const QString out = at(QString("out-") + c.name);
        const QString lock = out + "/.norv-extract.lock";
        writeFile(out + "/Data ExtractorStatus.tmp", lastGoodNight);
        writeFile(out + "/finished_bridge.tmp", "finished\r\n");
        writeFile(lock, QByteArray());
        if (c.plant) {
            ASSERT_TRUE(QFile::remove(lock) && c.plant(lock)) << c.name;
        }
        const ProgramResult r = runProgram(
            QStringList{"run", "--validate=0", "--path=" + out} + connection + c.args, home.path(), QString(),
            {}, c.refusedLockWhen ? refusedLock(lock, c.refusedLockWhen) : QStringList());
        const QByteArray status = readFile(out + "/Data ExtractorStatus.tmp");
        if (c.detail.isEmpty()) {
            EXPECT_EQ(r.exitCode, 0) << c.name << r.err.toStdString();
            EXPECT_TRUE(status.endsWith("\tSucceeded\tSucceeded\r\n") && status != lastGoodNight) << c.name;
        } else {
            const QString detail = QString(c.detail).replace("@lock", lock);
            EXPECT_EQ(r.exitCode, 1) << c.name;
            EXPECT_TRUE(status.endsWith("\tFailed\t" + detail.toUtf8() + "\r\n"))
                << c.name << ": " << status.toStdString();
            if (detail.startsWith("The lock file")) {
                EXPECT_EQ(r.errLines(), QStringList({"error\tFolder Locked\t" + detail})) << c.name;
            }
        }
        EXPECT_EQ(readFile(out + "/finished_bridge.tmp"), "finished\r\n") << c.name;
    }
    EXPECT_EQ(readFile(victim), "victim");
}

// Every file of a command lives in the folder the host named, in any script and with any character the
// system allows; a path that cannot be used as named is refused before anything is written. No value
// ends the program on an abort.
TEST_F(Program, PathsAreUsedAsNamedOrRefused) {
    const QStringList written = {".norv-extract.lock", "BridgeStatus.tmp", "Data ExtractorStatus.tmp",
                                 "Norv--1-" + today() + ".log", "finished_bridge.tmp"};
    const struct {
        const char* given;
        const char* folder;  // below home
    } used[] = {
        {"Łódź Выход", "Łódź Выход"},
        {"школа\\1021", "школа\\1021"},
        {"@relative", "work/relative"},  // relative to the folder the program was started in
    };
    for (const auto& c : used) {
        QTemporaryDir place;
        ASSERT_TRUE(place.isValid());
        ASSERT_TRUE(QDir().mkpath(place.filePath("work")));
        QString given = QString::fromUtf8(c.given);
        given = given.startsWith('@') ? given.mid(1) : place.filePath(given);
        const ProgramResult r =
            runProgram(with({"run", "--validate=0", "--school=1", "--path=" + given}, kConnection),
                       home.path(), place.filePath("work"));
        EXPECT_EQ(r.exitCode, 0) << c.given << r.err.toStdString();
        QStringList expected;
        for (const QString& name : written) {
            expected.append(QString::fromUtf8(c.folder) + "/" + name);
        }
        EXPECT_EQ(filesUnder(place.path()), expected) << c.given;
    }

    const QString longPath =
        "/" + QString("f").repeated(250) + QString("/" + QString("f").repeated(250)).repeated(16);
    const struct {
        QString value;
        QString error;
    } refused[] = {
        {"~/import", "error\tpath\tA leading \"~\" is not expanded here; name the folder in full: ~/import"},
        {"~", "error\tpath\tA leading \"~\" is not expanded here; name the folder in full: ~"},
        {longPath, "error\tpath\tThe path is longer than 3839 bytes: " + longPath.left(64) + "..."},
    };
    for (const auto& c : refused) {
        for (const char* command : {"run", "version", "test"}) {
            QStringList args =
                with({command, "--path=" + c.value, "--school=1", "--group=connection"}, kConnection);
            const ProgramResult r = run(args);
            EXPECT_EQ(r.exitCode, 1) << command << " " << c.value.left(20).toStdString();
            EXPECT_EQ(r.errLines(), QStringList({c.error})) << command;
            // A test answers as every failed test does.
            const QStringList answer =
                QString(command) == "test"
                    ? QStringList{"test\tconnection\tfail\t" + c.error.section('\t', 2)}
                    : QStringList();
            EXPECT_EQ(r.hostLines(), QStringList{"start_progress\t0"} + answer + QStringList{"end_progress"})
                << command;
        }
    }
    // The log folder follows the same rule.
    const ProgramResult log =
        run(with({"run", "--school=1", "--path=" + at("out"), "--logpath=~/logs"}, kConnection));
    EXPECT_EQ(log.exitCode, 1);
    EXPECT_EQ(log.errLines(),
              QStringList(
                  {"error\tlogpath\tA leading \"~\" is not expanded here; name the folder in full: ~/logs"}));
    EXPECT_EQ(filesUnder(home.path()), QStringList());
}

TEST_F(Program, TimeoutMustBeAWholeNumberOfSeconds) {
    for (const char* value : {"abc", "0", "1.5", "86401", "10s"}) {
        const ProgramResult r =
            run(with({"test", "--group=connection", QString("--timeout=") + value}, kConnection));
        EXPECT_EQ(r.exitCode, 1) << value;
        EXPECT_EQ(
            r.errLines(),
            QStringList({QString("error\ttimeout\tThe timeout must be a whole number of seconds from 1 to "
                                 "86400: ") +
                         value}))
            << value;
    }
    const ProgramResult valid = run(with({"test", "--group=connection", "--timeout=86400"}, kConnection));
    EXPECT_EQ(valid.errLines(), QStringList());
    EXPECT_TRUE(valid.hostLines().contains("test\tconnection\tfail\tConnection Failed."));
}

TEST_F(Program, QuotedFolderEndsInASeparatorAgain) {
    const QString out = at("out");
    const ProgramResult r = run({"version", "--path=" + out + "\""});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(filesUnder(out),
              QStringList({".norv-extract.lock", "Data ExtractorStatus.tmp", "finished_bridge.tmp"}));

    const ProgramResult bad = run({"nothing", "--path=" + out});
    EXPECT_TRUE(readFile(out + "/Data ExtractorStatus.tmp").endsWith("\tFailed\tCommand not defined.\r\n"));
}

// Every physical line the host reads is one whole message: a known kind word and, for a log line, exactly
// its five fields. A value holding a line break or a TAB cannot start a line of its own.
void expectWholeLines(const ProgramResult& r, const char* name) {
    static const QStringList kinds = {"log",         "warning",         "setting",      "start_setting",
                                      "end_setting", "start_progress",  "end_progress", "inc_progress",
                                      "test",        "bridge_complete", "error",        "missing"};
    for (const QString& line : r.outLines() + r.errLines()) {
        EXPECT_TRUE(kinds.contains(line.section('\t', 0, 0))) << name << ": " << line.toStdString();
        if (line.startsWith("log\t")) {
            EXPECT_EQ(line.count('\t'), 4) << name << ": " << line.toStdString();
        }
        EXPECT_FALSE(line.contains('\r')) << name << ": " << line.toStdString();
    }
}

TEST_F(Program, LineBreaksAndTabsInValuesStayInsideTheirField) {
    const QString out = at("out\nlog\tfake");
    // A driver's message spans lines; the school and the folder come from the host.
    const ProgramResult refused = run(with({"test", "--group=connection"}, kConnection));
    expectWholeLines(refused, "mistyped DSN");
    EXPECT_TRUE(refused.out.contains("Data source name not found")) << refused.out.toStdString();

    const ProgramResult r = run(
        with({"run", "--school=1021\r\nlog\tfake", "--path=" + out, "--logpath=" + at("logs")}, kConnection));
    EXPECT_EQ(r.exitCode, 1);
    expectWholeLines(r, "school and folder");
    EXPECT_TRUE(r.out.contains("Log file " + at("logs").toUtf8() + "/Norv--1021__log_fake-"))
        << r.out.toStdString();
    const QByteArray log = readFile(at("logs/Norv--1021__log_fake-" + today() + ".log"));
    EXPECT_TRUE(log.contains("AppBase::LogHeader: school=1021  log fake\r\n")) << log.toStdString();
    EXPECT_TRUE(log.contains("AppBase::LogHeader: path=" + at("out log fake").toUtf8() + "\r\n"));
    EXPECT_FALSE(log.contains("\nlog\tfake"));
    EXPECT_TRUE(log.contains("Data source name not found"));
    EXPECT_FALSE(log.contains("\nCOM Error Code") || log.contains("\nSource ="));

    writeFile(at("conf/CVConfig.xml"),
              "<CVSchoolConfFile><CVSchoolConf SISDSN=\"N&#10;warning&#9;options&#9;forged\" "
              "SchoolNumber=\"7&#13;&#10;setting&#9;school&#9;school&#9;8\"/></CVSchoolConfFile>");
    const ProgramResult defaults = run({"defaults", "--path=" + at("conf/CVConfig.xml")});
    EXPECT_EQ(defaults.exitCode, 0);
    expectWholeLines(defaults, "configuration attributes");
    EXPECT_EQ(
        defaults.hostLines(),
        QStringList({"start_progress\t1", "start_setting", "setting\tdefault\tpath\t",
                     "setting\tconnection\tdsn\tN warning options forged", "setting\tconnection\tuser\t",
                     "setting\tconnection\tpwdencode\t",
                     "setting\tschool\tschool\t7  setting school school 8", "end_setting", "end_progress"}));
}

TEST_F(Program, LogStyleOffKeepsOnlyTheStartedLine) {
    const ProgramResult r = run({"test", "--group=connection", "--validate=0", "--log=off"});
    const QStringList lines = r.outLines();
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines.at(0).endsWith("\t\tVelmora Data Extractor for Norv started."));
}

// ---------------------------------------------------------------- defaults

const QByteArray kTwoSchools =
    "<?xml version=\"1.0\"?>\n<CVSchoolConfFile>\n"
    "  <CVSchoolConf SISImportFolder=\"C:\\Import\\A\" SISDSN=\"NorvA\" SISUserName=\"clerk\" "
    "SISPassword=\"hThT\" SchoolNumber=\"0042\" Other=\"x\"><Child/></CVSchoolConf>\n"
    "  <Group><CVSchoolConf SchoolNumber=\"7\"/></Group>\n"
    "</CVSchoolConfFile>\n";

TEST_F(Program, DefaultsReadEverySchoolSetUp) {
    const QString file = at("conf/CVConfig.xml");
    const QStringList frame = {"start_progress\t0", "end_progress"};
    struct Case {
        const char* name;
        QByteArray content;
        int exitCode;
        QStringList out;
    };
    const Case cases[] = {
        {"two set-ups",
         kTwoSchools,
         0,
         {"start_progress\t2", "start_setting", "setting\tdefault\tpath\tC:\\Import\\A",
          "setting\tconnection\tdsn\tNorvA", "setting\tconnection\tuser\tclerk",
          "setting\tconnection\tpwdencode\thThT", "setting\tschool\tschool\t0042", "end_setting",
          "start_setting", "setting\tdefault\tpath\t", "setting\tconnection\tdsn\t",
          "setting\tconnection\tuser\t", "setting\tconnection\tpwdencode\t", "setting\tschool\tschool\t7",
          "end_setting", "end_progress"}},
        {"one set-up",
         "<CVSchoolConfFile><CVSchoolConf SISDSN=\"N\"/></CVSchoolConfFile>",
         0,
         {"start_progress\t1", "start_setting", "setting\tdefault\tpath\t", "setting\tconnection\tdsn\tN",
          "setting\tconnection\tuser\t", "setting\tconnection\tpwdencode\t", "setting\tschool\tschool\t",
          "end_setting", "end_progress"}},
        {"no set-up", "<CVSchoolConfFile/>", 0, frame},
        {"empty file", "", 1, frame},
        {"another root", "<CVSchoolConf SISDSN=\"N\"/>", 1, frame},
        {"not XML", "<CVSchoolConfFile><CVSchoolConf>", 1, frame},
    };
    for (const Case& c : cases) {
        writeFile(file, c.content);
        const ProgramResult r = run({"defaults", "--path=" + file});
        EXPECT_EQ(r.exitCode, c.exitCode) << c.name;
        EXPECT_EQ(r.hostLines(), c.out) << c.name;
        EXPECT_TRUE(r.err.isEmpty()) << c.name;
    }
}

// Only a regular file of a sane size and depth is read: a FIFO would block forever, a huge or deeply nested
// file would take gigabytes or minutes. Each fails at once with the reason in the log.
TEST_F(Program, DefaultsReadOnlyAPlausibleConfigurationFile) {
    const QString fifo = at("conf/fifo.xml");
    QDir().mkpath(at("conf"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QByteArray school = "<CVSchoolConf SchoolNumber=\"7\"/>";
    writeFile(at("conf/large.xml"),
              "<CVSchoolConfFile>" + school + QByteArray(5 * 1024 * 1024, ' ') + "</CVSchoolConfFile>");
    writeFile(at("conf/deep.xml"), "<CVSchoolConfFile>" + QByteArray("<a>").repeated(200000) +
                                       QByteArray("</a>").repeated(200000) + "</CVSchoolConfFile>");
    writeFile(at("conf/fine.xml"), "<CVSchoolConfFile>" + QByteArray("<a>").repeated(60) + school +
                                       QByteArray("</a>").repeated(60) + "</CVSchoolConfFile>");
    struct Case {
        QString path;
        QString reason;  // the end of the console's Warning line
    };
    const QString absent = at("absent/CVConfig.xml");
    const Case cases[] = {
        {fifo, "Could not open: " + fifo},
        {absent, "Could not open: " + absent},
        {"/dev/zero", "Could not open: /dev/zero"},
        {at("conf/large.xml"),
         at("conf/large.xml") + " is larger than 4194304 bytes; not read as a configuration file."},
        {at("conf/deep.xml"),
         at("conf/deep.xml") + " nests elements deeper than 64 levels; not read as a configuration file."},
    };
    for (const Case& c : cases) {
        const ProgramResult r = run({"defaults", "--path=" + c.path});
        EXPECT_EQ(r.exitCode, 1) << c.path.toStdString();
        EXPECT_EQ(r.hostLines(), QStringList({"start_progress\t0", "end_progress"})) << c.path.toStdString();
        const QStringList warnings = r.outLines().filter("log\tWarning");
        ASSERT_EQ(warnings.size(), 1) << r.out.toStdString();
        EXPECT_TRUE(warnings.first().endsWith("\tSISConfig::commandDefaults\t" + c.reason))
            << warnings.first().toStdString();
    }
    // Nothing is made where the configuration was looked for: Corvanta would find a folder at its name.
    EXPECT_FALSE(QFileInfo::exists(at("absent")));
    const ProgramResult fine = run({"defaults", "--path=" + at("conf/fine.xml")});
    EXPECT_EQ(fine.exitCode, 0);
    EXPECT_TRUE(fine.hostLines().contains("setting\tschool\tschool\t7"));
}

TEST_F(Program, DefaultsGivenAFolderCannotOpenIt) {
    const QString folder = at("conf");
    QDir().mkpath(folder);
    const ProgramResult r = run({"defaults", "--path=" + folder});
    EXPECT_EQ(r.exitCode, 1);
    const QStringList lines = beforeEngineEnd(r.outLines());
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines.at(0), "start_progress\t0");
    EXPECT_TRUE(lines.at(1).startsWith("log\tWarning      \t"));
    EXPECT_TRUE(lines.at(1).endsWith("\tSISConfig::commandDefaults\tCould not open: " + folder));
    // The defaults command's "path" is also its status folder.
    EXPECT_TRUE(readFile(folder + "/Data ExtractorStatus.tmp")
                    .endsWith("\tFailed\tFailed retrieving default settings.\r\n"));
}

TEST_F(Program, DefaultsSearchTheDataFolder) {
    const QString corvanta = at(".local/share/Corvanta");
    const QString appPathLine = "\tSISConfig::AppDataPath\tappPath: " + corvanta + "/Norv";
    const QString schoolSeven = "<CVSchoolConfFile><CVSchoolConf SchoolNumber=\"7\"/></CVSchoolConfFile>";

    // No Corvanta folder at all: the climb cannot reach one.
    ProgramResult r = run({"defaults"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.hostLines(), QStringList({"start_progress\t0", "end_progress"}));
    ASSERT_FALSE(r.outLines().isEmpty());
    EXPECT_TRUE(r.outLines().at(0).endsWith(appPathLine)) << r.outLines().at(0).toStdString();

    // Another product's folder under Corvanta holds the file.
    writeFile(corvanta + "/Other/CVConfig.xml", schoolSeven.toUtf8());
    r = run({"defaults"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.hostLines().contains("setting\tschool\tschool\t7"));

    // The extractor's own folder comes first.
    writeFile(corvanta + "/Norv/CVConfig.xml", "<CVSchoolConfFile/>");
    r = run({"defaults"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.hostLines(), QStringList({"start_progress\t0", "end_progress"}));
}

}  // namespace
