// The whole program against the real sample sources, driven as the host drives it: the connection and
// school tests, the school and teacher lists, and runs that succeed or fail, with their exit codes, status
// files, extract files and log copies. Expected lists come from the generator's data (norv.json).
#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <map>

#include <csignal>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../app/ProgramRunner.h"
#include "app/SISConfig.h"
#include "cli_SilentRelay.h"
#include "engine_SourceFixture.h"
#include "libraries/platform/CodePage.h"
#include "libraries/sqlitewrapper/Database.h"
#include "libraries/sqlitewrapper/Query.h"

namespace {

using enginetest::SampleData;
using enginetest::SourceKind;

const char* kindName(SourceKind kind) {
    return kind == SourceKind::SQLite ? "SQLite" : "PostgreSQL";
}

// The login of a sample source on the command line. The SQLite DSN ignores user and password, but the
// connection group requires both.
QStringList login(const enginetest::SampleSource& source, const QString& password = QString()) {
    const QString user = source.user.isEmpty() ? QStringLiteral("reader") : source.user.toQString();
    QString pwd = password;
    if (pwd.isEmpty()) {
        pwd = source.password.isEmpty() ? QStringLiteral("unused") : source.password.toQString();
    }
    return {"--dsn=" + source.dsn.toQString(), "--user=" + user, "--pwd=" + pwd};
}

// The environment of the program: this process's ODBCINI (the sample's, or a fixture's private one).
QStringList programEnvironment() {
    return {"ODBCINI=" + qEnvironmentVariable("ODBCINI")};
}

// The host's text of a source value: the working code page's reading of it (unmapped letters as "?").
QString hostText(const QByteArray& columnText) {
    return platform::fromWorkingCodePage(columnText);
}

class Cli : public enginetest::SampleSourceTest {
  protected:
    void SetUp() override {
        enginetest::SampleSourceTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_TRUE(home.isValid());
    }

    ProgramResult run(const QStringList& args) {
        return runProgram(args, home.path(), QString(), programEnvironment());
    }
    QString at(const QString& relative) const { return home.filePath(relative); }

    QTemporaryDir home;
};

const QStringList kTestFrame = {"start_progress\t0", "inc_progress\tBeginning test..."};

TEST_P(Cli, ConnectionAndSchoolTests) {
    struct Case {
        const char* name;
        QStringList args;
        int exitCode;
        QString testLine;
    };
    const QStringList good = login(source);
    const QStringList unknownDsn = {"--dsn=NoSuchNorvSource", "--user=reader", "--pwd=unused"};
    std::vector<Case> cases = {
        {"connection", QStringList{"--group=connection"} + good, 0,
         "test\tconnection\tsuccess\tConnection Successful."},
        {"unknown DSN", QStringList{"--group=connection"} + unknownDsn, 1,
         "test\tconnection\tfail\tConnection Failed."},
        {"school", QStringList{"--group=school", "--school=1021"} + good, 0,
         "test\tschool\tsuccess\tSchool Validated."},
        {"unknown school", QStringList{"--group=school", "--school=9999"} + good, 1,
         "test\tschool\tfail\tSchool Not Valid."},
        // Were the apostrophes to end the literal, the condition would hold for every row.
        {"quoted school", QStringList{"--group=school", "--school=0042' OR '1'='1"} + good, 1,
         "test\tschool\tfail\tSchool Not Valid."},
        {"school on an unknown DSN", QStringList{"--group=school", "--school=1021"} + unknownDsn, 1,
         "test\tschool\tfail\tSchool Not Valid."},
    };
    if (GetParam() == SourceKind::PostgreSQL) {
        cases.push_back({"wrong password", QStringList{"--group=connection"} + login(source, "not-the-pw-42"),
                         1, "test\tconnection\tfail\tConnection Failed."});
        cases.push_back({"school with a wrong password",
                         QStringList{"--group=school", "--school=1021"} + login(source, "not-the-pw-42"), 1,
                         "test\tschool\tfail\tSchool Not Valid."});
    }
    for (const Case& c : cases) {
        const ProgramResult r = run(QStringList{"test"} + c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.name;
        EXPECT_EQ(r.hostLines(), kTestFrame + QStringList({c.testLine, "end_progress"})) << c.name;
        EXPECT_EQ(r.errLines(), QStringList()) << c.name;
        EXPECT_FALSE((r.out + r.err).contains("not-the-pw-42")) << c.name;
    }
    // A refused login names its reason in the console log.
    const ProgramResult refused = run(QStringList{"test", "--group=connection"} + unknownDsn);
    EXPECT_TRUE(refused.out.contains("Data source name not found")) << refused.out.toStdString();
    // Commands other than run write no file.
    EXPECT_EQ(filesUnder(home.path()), QStringList());
}

TEST_P(Cli, SchoolListOrderedByNumberTextEachNumberOnce) {
    std::map<QByteArray, QByteArray> schools;  // number -> the first row's name
    int rows = 0;
    for (const SampleData::Row& row : SampleData::instance().rows("V_VLMR_SCHOOL")) {
        schools.emplace(enginetest::columnText(row.at("school")),
                        enginetest::columnText(row.at("long_name")));
        ++rows;
    }
    ASSERT_GT(rows, static_cast<int>(schools.size())) << "the sample lists no school twice";
    QStringList expected = {"start_progress\t0"};
    for (const auto& [number, name] : schools) {
        const QString value = hostText(number);
        expected.append("school_list\tschool\t" + value + "\t" + hostText(name) + " (" + value + ")\t");
    }
    expected.append("end_progress");

    const ProgramResult r = run(QStringList{"params", "--paramkey=school"} + login(source));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.hostLines(), expected);
    EXPECT_EQ(r.errLines(), QStringList());
    // "1021" < "2040" < "875" as text, not as numbers.
    EXPECT_TRUE(expected.at(1).startsWith("school_list\tschool\t1021\t"));
    EXPECT_TRUE(expected.at(expected.size() - 2).startsWith("school_list\tschool\t875\t"));

    const ProgramResult refused =
        run({"params", "--paramkey=school", "--dsn=NoSuchNorvSource", "--user=u", "--pwd=p"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.hostLines(),
              QStringList({"start_progress\t0",
                           "warning\tLoading Schools Failed\tLoading Schools failed.  Consult the logs to "
                           "discover what the problem is.",
                           "end_progress"}));
}

// "Last, First Second", leaving out the parts that are empty and their separators.
QByteArray teacherLabel(const QByteArray& last, const QByteArray& first, const QByteArray& second) {
    const QByteArray given = first.isEmpty() ? second : second.isEmpty() ? first : first + " " + second;
    return last.isEmpty() ? given : given.isEmpty() ? last : last + ", " + given;
}

TEST_P(Cli, TeacherListLabelsAndOrder) {
    for (const QString& school : {QStringLiteral("1021"), QStringLiteral("2040")}) {
        // teacher id -> label of the row that sorts first by (empty last name last, last, first, second)
        std::map<QByteArray, std::pair<QList<QByteArray>, QByteArray>> teachers;
        for (const SampleData::Row& row : SampleData::instance().rows("V_VLMR_TEACH_CONTACTS_MEDICAL")) {
            const QByteArray id = enginetest::columnText(row.at("teach_id"));
            if (row.at("school_school").toString() != school || id.isEmpty()) {
                continue;
            }
            const QByteArray last = enginetest::columnText(row.at("teach_last_name"));
            const QByteArray first = enginetest::columnText(row.at("teach_first_name"));
            const QByteArray second = enginetest::columnText(row.at("teach_second_name"));
            const QList<QByteArray> order = {last.isEmpty() ? "1" : "0", last, first, second};
            const auto it = teachers.find(id);
            if (it == teachers.end() || order < it->second.first) {
                teachers[id] = {order, teacherLabel(last, first, second)};
            }
        }
        ASSERT_GT(teachers.size(), 3u) << school.toStdString();
        // The engine's progress reports reach the host before the list.
        QStringList expected = {"start_progress\t0", "inc_progress\tLoading Teacher List",
                                "inc_progress\tFound Teachers..."};
        for (const auto& [id, entry] : teachers) {
            expected.append("bridgelist\tteacher\t" + hostText(id) + "\t" + hostText(entry.second) + "\t");
        }
        expected.append("end_progress");

        const ProgramResult r =
            run(QStringList{"params", "--paramkey=teacher", "--school=" + school} + login(source));
        EXPECT_EQ(r.exitCode, 0) << school.toStdString();
        EXPECT_EQ(r.hostLines(), expected) << school.toStdString();
        EXPECT_EQ(r.errLines(), QStringList()) << school.toStdString();
    }
    // A teacher list needs the school: the engine names the first missing value.
    const ProgramResult noSchool = run(QStringList{"params", "--paramkey=teacher"} + login(source));
    EXPECT_EQ(noSchool.exitCode, 1);
    EXPECT_EQ(noSchool.errLines(), QStringList({"missing\tschool\tschool missing or blank."}));
}

// The table files of a full extraction, in run order.
const char* const kTableFiles[] = {
    "ReasonCodes.cef", "AttCodes.cef",         "BellSchedule.cef", "Calendar.cef",      "Tumbles.cef",
    "Students.cef",    "StudentTransport.cef", "StudentMed.cef",   "StudentParent.cef", "StudentConEmerg.cef",
    "Sections.cef",    "StudentSched.cef",     "Terms.cef",        "StudentGrades.cef", "Bins.cef",
    "Staff.cef",       "StaffVehicles.cef",    "StaffCon.cef",     "StaffMed.cef",      "StaffDoc.cef",
};

TEST_P(Cli, ARunAnnouncesTheProgressStepsItSends) {
    // Period (1021), period and daily (875) and daily (2040) attendance; a first and an incremental run each,
    // and a whole run.
    const struct {
        const char* school;
        QStringList mode;
    } runs[] = {{"1021", {"--att"}}, {"1021", {"--att"}}, {"875", {"--att"}}, {"875", {"--att"}},
                {"2040", {"--att"}}, {"2040", {"--att"}}, {"2040", {}}};
    for (const auto& c : runs) {
        const ProgramResult r =
            run(QStringList{"run", QString("--school=") + c.school, QString("--path=") + at(c.school)} +
                c.mode + login(source));
        ASSERT_EQ(r.exitCode, 0) << c.school << r.out.toStdString();
        const QStringList host = r.hostLines();
        const QStringList announced = host.filter(QRegularExpression("^start_progress\t"));
        ASSERT_EQ(announced.size(), 1);
        EXPECT_EQ(announced.first(),
                  "start_progress\t" +
                      QString::number(host.filter(QRegularExpression("^(inc|warn)_progress(\t|$)")).size()))
            << c.school << " " << c.mode.join(" ").toStdString() << "\n"
            << host.join("\n").toStdString();
    }
}

TEST_P(Cli, VerifyAnswersWithoutTouchingTheFolderAndNeverWhileARunHoldsIt) {
    const QString out = at("verified");
    ASSERT_EQ(run(QStringList{"run", "--att", "--school=875", "--path=" + out} + login(source)).exitCode, 0);
    const auto contents = [&out] {
        QStringList files;
        for (const QString& name : filesUnder(out)) {
            files.append(name + " " + readFile(out + "/" + name).toHex().left(64) +
                         QString::number(readFile(out + "/" + name).size()));
        }
        return files;
    };
    const QStringList before = contents();
    const QStringList verify = QStringList{"verify", "--school=875", "--path=" + out} + login(source);

    ProgramResult r = run(verify + QStringList{"--logpath=" + at("verify-logs")});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(r.errLines(), QStringList());
    EXPECT_EQ(r.outLines()
                  .filter(QRegularExpression("^log\tInformational\t.*\tVerify: the target's attendance "
                                             "equals the source's\\.$"))
                  .size(),
              1)
        << r.out.toStdString();
    EXPECT_EQ(r.hostLines().filter(QRegularExpression("^(start|end)_progress")).size(), 2);
    EXPECT_TRUE(
        readFile(at("verify-logs") + "/Norv--875-" + today() + ".log").contains("Verify: the target's"));
    EXPECT_EQ(contents(), before);

    // Held by a run: refused at once, and nothing written.
    const int fd = ::open(QFile::encodeName(out + "/.norv-extract.lock").constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    r = run(verify);
    ::close(fd);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.errLines(), QStringList({"error\tFolder Locked\tAn extraction is running in the folder: " +
                                         out + "; verify it once the run has ended."}));
    // The log of a verification without --logpath goes to the documents folder's log folder, not the folder.
    EXPECT_EQ(run(verify).exitCode, 0);
    EXPECT_EQ(contents(), before);
}

TEST_P(Cli, RunWritesTheExtractAndTheStatusFiles) {
    const QString out = at("out");
    const QString logs = at("logs");
    const ProgramResult r =
        run(QStringList{"run", "--school=1021", "--path=" + out, "--logpath=" + logs} + login(source));
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(r.errLines(), QStringList());
    const QStringList host = r.hostLines();
    ASSERT_FALSE(host.isEmpty());
    EXPECT_EQ(host.first(), "inc_progress\tStarting Execution...");
    EXPECT_TRUE(host.value(1).startsWith("start_progress\t"));
    EXPECT_EQ(host.mid(host.size() - 2), QStringList({"end_progress", "bridge_complete"}));

    const QStringList files = filesUnder(out);
    const QString logName = "Norv--1021-" + today() + ".log";
    for (const char* name : {"BridgeStatus.tmp", "Data ExtractorStatus.tmp", "finished_bridge.tmp",
                             "Norv.CDE", "SchoolConfig.xml"}) {
        EXPECT_TRUE(files.contains(name)) << name << " not in " << files.join(", ").toStdString();
    }
    for (const char* name : kTableFiles) {
        EXPECT_TRUE(files.contains(name)) << name << " not in " << files.join(", ").toStdString();
    }
    EXPECT_TRUE(files.contains(logName)) << files.join(", ").toStdString();
    EXPECT_FALSE(readFile(out + "/Students.cef").isEmpty());
    EXPECT_TRUE(readFile(out + "/Norv.CDE").contains("#include \"Students.cef\""));
    EXPECT_TRUE(readFile(out + "/Data ExtractorStatus.tmp").endsWith("\tSucceeded\tSucceeded\r\n"));
    EXPECT_TRUE(readFile(out + "/BridgeStatus.tmp").endsWith("\tExtract Running\r\n"));
    EXPECT_EQ(readFile(out + "/finished_bridge.tmp"), "finished\r\n");
    // The copy is taken when the extraction ends; the log goes on with the engine's last lines.
    const QByteArray copy = readFile(out + "/" + logName);
    EXPECT_TRUE(copy.contains(": School Code: 1021\r\n")) << copy.toStdString();
    EXPECT_TRUE(readFile(logs + "/" + logName).startsWith(copy));
}

TEST_P(Cli, DemoRunWritesEveryTableAndNoUpdate) {
    const QString out = at("out");
    const ProgramResult r =
        run(QStringList{"run", "--demo", "--school=875", "--path=" + out} + login(source));
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    const QStringList files = filesUnder(out);
    const QByteArray main = readFile(out + "/Norv.CDE");
    for (const char* name : kTableFiles) {
        EXPECT_TRUE(files.contains(name)) << name << " not in " << files.join(", ").toStdString();
        EXPECT_TRUE(main.contains(QByteArray("#include \"") + name + "\"")) << name;
    }
    EXPECT_TRUE(QDir(out).entryList({"Update *.CDU"}, QDir::Files).isEmpty());
}

// A school that the school view does not list, exactly as given, fails the run before any file of the
// extract set or the folder's update state is touched: the previous run's files stay as they were.
TEST_P(Cli, RunOfAnUnknownSchoolFailsBeforeWritingAnything) {
    const QString out = at("out");
    ASSERT_EQ(run(QStringList{"run", "--school=1021", "--path=" + out} + login(source)).exitCode, 0);
    const QStringList kept = {"Norv.CDE", "Students.cef", "SchoolConfig.xml"};
    std::map<QString, QByteArray> before;
    for (const QString& name : kept) {
        before[name] = readFile(out + "/" + name);
    }
    for (const QString& school : {QStringLiteral("9999"), QStringLiteral("1021 "), QStringLiteral("01021"),
                                  QStringLiteral(" 1021")}) {
        const ProgramResult r =
            run(QStringList{"run", "--school=" + school, "--path=" + out} + login(source));
        EXPECT_EQ(r.exitCode, 1) << school.toStdString();
        EXPECT_TRUE(
            readFile(out + "/Data ExtractorStatus.tmp").endsWith("\tFailed\tFailed on extraction.\r\n"))
            << school.toStdString();
        EXPECT_FALSE(r.hostLines().contains("bridge_complete")) << school.toStdString();
        const QString logName = SISConfig::logFileBase("Norv", QString(), school) + "-" + today() + ".log";
        const QByteArray log = readFile(out + "/" + logName);
        EXPECT_TRUE(log.contains("School Number not found in V_VLMR_SCHOOL: \"" + school.toUtf8() + "\""))
            << logName.toStdString() << log.toStdString();
        for (const QString& name : kept) {
            EXPECT_EQ(readFile(out + "/" + name), before[name]) << name.toStdString() << school.toStdString();
        }
    }
}

// A DSN, user or password holding ";" cannot add a connection attribute: "Database=" naming another
// file (here one that lists the school 7777) must not reach the driver.
// The injected attribute is the SQLite driver's, so this runs on the SQLite source only.
class CliSQLite : public Cli {};

TEST_P(CliSQLite, ConnectionValuesCannotAddAttributes) {
    const QString other = at("other.db");
    ASSERT_TRUE(QFile::copy(enginetest::sampleFolder() + "/norv.db", other));
    QFile::setPermissions(other, QFile::ReadOwner | QFile::WriteOwner);
    {
        sqlite::Database db;
        db.Open(XString(other));
        db.Execute("UPDATE V_VLMR_SCHOOL SET school = '7777'");
    }
    const QByteArray otherBytes = readFile(other);
    const QString inject = ";Database=" + other;
    const QList<QStringList> logins = {
        {"--dsn=" + source.dsn.toQString() + inject, "--user=reader", "--pwd=unused"},
        {"--dsn=" + source.dsn.toQString(), "--user=reader" + inject, "--pwd=unused"},
        {"--dsn=" + source.dsn.toQString(), "--user=reader", "--pwd=unused" + inject},
        {"--dsn={" + source.dsn.toQString() + "}" + inject, "--user=reader", "--pwd=unused"},
    };
    for (const QStringList& connection : logins) {
        const ProgramResult r = run(QStringList{"test", "--group=school", "--school=7777"} + connection);
        EXPECT_EQ(r.exitCode, 1) << connection.join(' ').toStdString();
        EXPECT_TRUE(r.hostLines().contains("test\tschool\tfail\tSchool Not Valid.")) << r.out.toStdString();
    }
    // The same connection without the injection reaches the sample, which knows the school 1021.
    const ProgramResult plain = run(QStringList{"test", "--group=school", "--school=1021"} +
                                    QStringList{logins.at(1).at(0), "--user=reader", "--pwd=unused"});
    EXPECT_EQ(plain.exitCode, 0) << plain.out.toStdString();
    EXPECT_EQ(readFile(other), otherBytes);
}

// Nothing the run deletes, writes or appends to follows a symbolic link: links planted at those names in
// the output folder are removed or left as links, and what they point at stays as it was.
TEST_P(CliSQLite, PlantedLinksAreNeverFollowed) {
    const QString out = at("out");
    const QString victim = at("victim");  // a folder of someone else's
    const QString victimFile = at("victim.txt");
    const QStringList victimNames = {"keep.txt", "Attendance.db", "Attendance.db-journal",
                                     "SchoolConfig.xml"};
    for (const QString& name : victimNames) {
        writeFile(victim + "/" + name, "victim\r\n");
    }
    writeFile(victimFile, "victim\r\n");
    const QString logName = "Norv--1021-" + today() + ".log";
    QDir().mkpath(out);
    // The clean-up after a configuration change (no SchoolConfig.xml of this run) deletes these.
    for (const char* name : {"PAT", "DAT", "AATP1", "aatd2", "Attendance"}) {
        ASSERT_TRUE(QFile::link(victim, out + "/" + name)) << name;
    }
    for (const QString& name : QStringList{"old.CDU", "SchoolConfig.xml", "Students.cef", "Norv.CDE",
                                           "finished.tmp", logName, "Norv--1021-2000-01-01.log"}) {
        ASSERT_TRUE(QFile::link(victimFile, out + "/" + name)) << name.toStdString();
    }
    const auto victimsUntouched = [&](const char* step) {
        for (const QString& name : victimNames) {
            EXPECT_EQ(readFile(victim + "/" + name), "victim\r\n") << step << " " << name.toStdString();
        }
        EXPECT_EQ(filesUnder(victim).size(), victimNames.size()) << step;
        EXPECT_EQ(readFile(victimFile), "victim\r\n") << step;
    };

    const QStringList args = QStringList{"run", "--school=1021", "--path=" + out} + login(source);
    ProgramResult r = run(args);
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    victimsUntouched("after a configuration change");
    for (const char* name : {"PAT", "DAT", "AATP1", "aatd2", "old.CDU"}) {
        EXPECT_FALSE(QFileInfo(out + "/" + name).isSymLink()) << name;
    }
    for (const char* name :
         {"SchoolConfig.xml", "Students.cef", "Norv.CDE", "Attendance", "Attendance/Attendance.db"}) {
        EXPECT_FALSE(QFileInfo(out + "/" + name).isSymLink()) << name;
        EXPECT_TRUE(QFileInfo::exists(out + "/" + name)) << name;
    }
    // The day's log is not appended to through the link: it went to the documents folder, and the link
    // at the copy's name stays a link.
    EXPECT_TRUE(r.errLines().value(0).startsWith("error\tLog File Error\tCould not write to: " + out))
        << r.err.toStdString();
    EXPECT_TRUE(QFileInfo(out + "/" + logName).isSymLink());
    EXPECT_TRUE(readFile(at("Documents/" + logName)).contains("Bridge Configuration Changed."));

    // The cache of a folder whose configuration stands is never opened through a link either: the run
    // fails, and a cache elsewhere stays as it was.
    QFile::remove(out + "/" + logName);
    const QString cache = out + "/Attendance/Attendance.db";
    ASSERT_TRUE(QFile::remove(victim + "/Attendance.db"));
    {
        // A database of someone else's, which a cache opened on it would add its tables to.
        sqlite::Database other;
        other.Open(victim + "/Attendance.db");
        other.Execute("CREATE TABLE other (x)");
    }
    writeFile(victim + "/Attendance.db-journal", "victim\r\n");  // SQLite removed its own journal
    const QByteArray victimCache = readFile(victim + "/Attendance.db");
    ASSERT_TRUE(QFile::rename(cache, cache + ".kept"));
    const struct {
        const char* name;
        QString link;
        QString target;
    } cacheLinks[] = {
        {"the cache", cache, victim + "/Attendance.db"},
        {"its journal", cache + "-journal", victim + "/Attendance.db-journal"},
        {"its folder", out + "/Attendance", victim},
    };
    for (const auto& c : cacheLinks) {
        if (c.link != cache) {
            ASSERT_TRUE(QFile::copy(cache + ".kept", cache));
        }
        if (c.link == out + "/Attendance") {
            ASSERT_TRUE(QFile::rename(out + "/Attendance", out + "/Attendance.kept"));
        }
        ASSERT_TRUE(QFile::link(c.target, c.link)) << c.name;
        r = run(args);
        EXPECT_EQ(r.exitCode, 1) << c.name;
        EXPECT_TRUE(
            readFile(out + "/Data ExtractorStatus.tmp").endsWith("\tFailed\tFailed on extraction.\r\n"))
            << c.name;
        EXPECT_EQ(readFile(victim + "/Attendance.db"), victimCache) << c.name;
        EXPECT_EQ(readFile(victim + "/Attendance.db-journal"), "victim\r\n") << c.name;
        QFile::remove(c.link);
        if (c.link == out + "/Attendance") {
            ASSERT_TRUE(QFile::rename(out + "/Attendance.kept", out + "/Attendance"));
        } else {
            QFile::remove(cache);
        }
    }
    EXPECT_TRUE(readFile(out + "/" + logName).contains("must not be a symbolic link"));
}

// An output folder longer than SQLite's own path limit (512 bytes; the system's is 4096) holds every file of
// a run, the attendance cache included. Its SchoolConfig.xml names another school's folder as the global
// folder (only a hand edit can): the configuration change of the run leaves that folder's cache alone.
TEST_P(CliSQLite, ALongOutputPathHoldsTheWholeRunAndAnotherFoldersCacheStaysAlone) {
    QString out = at("long");
    while (out.size() < 600) {
        out += "/" + QString(std::min<qsizetype>(99, 600 - out.size() - 1), QLatin1Char('d'));
    }
    ASSERT_EQ(QFile::encodeName(out).size(), 600);
    const QString other = at("other");
    const QString otherCache = other + "/Attendance/Attendance.db";
    ASSERT_EQ(run(QStringList{"run", "--school=2040", "--path=" + other} + login(source)).exitCode, 0);
    const QByteArray otherBefore = readFile(otherCache);
    ASSERT_FALSE(otherBefore.isEmpty());
    writeFile(out + "/SchoolConfig.xml", "<SchoolConfig>\r\n<GlobalFolder GlobalFolderValue=\"" +
                                             other.toUtf8() + "\"/>\r\n</SchoolConfig>\r\n");

    const ProgramResult r = run(QStringList{"run", "--school=1021", "--path=" + out} + login(source));
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(r.errLines(), QStringList());
    const QStringList files = filesUnder(out);
    const QString logName = "Norv--1021-" + today() + ".log";
    for (const QString& name : QStringList{".norv-extract.lock", "BridgeStatus.tmp",
                                           "Data ExtractorStatus.tmp", "finished_bridge.tmp", logName,
                                           "SchoolConfig.xml", "Norv.CDE", "Attendance/Attendance.db"}) {
        EXPECT_TRUE(files.contains(name))
            << name.toStdString() << " not in " << files.join(", ").toStdString();
    }
    for (const char* name : kTableFiles) {
        EXPECT_TRUE(files.contains(name)) << name;
    }
    EXPECT_TRUE(readFile(out + "/Data ExtractorStatus.tmp").endsWith("\tSucceeded\tSucceeded\r\n"));
    EXPECT_EQ(QDir(out).entryList({"Update *.CDU"}, QDir::Files).size(), 1);
    {
        sqlite::Database cache;
        cache.OpenIn(out + "/Attendance", "Attendance.db");
        sqlite::Query rows(cache);
        rows.Prepare("SELECT count(*) FROM PERIOD_ATT");
        ASSERT_TRUE(rows.Step());
        EXPECT_GT(rows.StringColumnAt(0).toInt(), 0);
    }
    const QByteArray log = readFile(out + "/" + logName);
    EXPECT_TRUE(log.contains("Bridge Configuration Changed.")) << log.toStdString();
    EXPECT_TRUE(log.contains("names the global folder " + other.toUtf8() + ": it is left alone"));
    EXPECT_TRUE(readFile(otherCache) == otherBefore) << "the other folder's cache changed";
    EXPECT_EQ(
        readFile(out + "/SchoolConfig.xml").count("<GlobalFolder GlobalFolderValue=\"" + other.toUtf8()), 1);
}

// A server that answers the login and then falls silent ends the command within the timeout, with the
// reason in the log, "Failed" in the status file and exit code 1; the next run is not locked out.
TEST(CliSilentSource, EndsTheCommandWithinItsTimeout) {
    QString reason;
    const auto pg = enginetest::sampleSource(SourceKind::PostgreSQL, reason);
    if (!pg) {
        FAIL() << reason.toStdString();
    }
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const int timeout = 2;  // seconds
    // The limit, the grace for a driver that cannot cancel, and room for starting the program.
    const qint64 bound = (timeout + 2 + 8) * 1000;
    const QStringList connection = {"--dsn=NorvSilent", "--user=" + pg->user.toQString(),
                                    "--pwd=" + pg->password.toQString(),
                                    "--timeout=" + QString::number(timeout)};
    const struct {
        const char* name;
        QStringList args;
        QString failure;
    } commands[] = {
        {"test", {"test", "--group=school", "--school=1021"}, "Failed testing parameters."},
        {"run", {"run", "--school=1021"}, "Failed on extraction."},
    };
    for (const auto& c : commands) {
        // The login and the driver's own questions pass; the first question about the views meets silence.
        SilentRelay relay(qEnvironmentVariableIntValue("NORV_PG_PORT"), "V_VLMR");
        ASSERT_NE(relay.port(), 0);
        QByteArray ini = readFile(qEnvironmentVariable("ODBCINI"));
        ini += "\n[NorvSilent]\nDriver=PostgreSQL Unicode\nServername=127.0.0.1\nPort=" +
               QByteArray::number(relay.port()) +
               "\nDatabase=norv\nReadOnly=1\nUseDeclareFetch=1\nSSLmode=disable\nCommLog=0\n";
        writeFile(home.filePath("odbc.ini"), ini);
        const QString out = home.filePath(QString("out-") + c.name);
        QElapsedTimer clock;
        clock.start();
        const ProgramResult r = runProgram(c.args + connection + QStringList{"--path=" + out}, home.path(),
                                           QString(), {"ODBCINI=" + home.filePath("odbc.ini")});
        const qint64 took = clock.elapsed();
        EXPECT_TRUE(relay.silent()) << c.name;
        EXPECT_EQ(r.exitCode, 1) << c.name << r.out.toStdString() << r.err.toStdString();
        EXPECT_LT(took, bound) << c.name;
        EXPECT_GE(took, timeout * 1000) << c.name;
        EXPECT_TRUE(r.out.contains("\tThe source did not answer for 2 seconds. The command is stopped.\n"))
            << c.name << r.out.toStdString();
        // The detail is the command's failure text, or the test's own answer when the driver gave the
        // cancelled call back.
        const QByteArray status = readFile(out + "/Data ExtractorStatus.tmp");
        EXPECT_TRUE(status.endsWith("\tFailed\t" + c.failure.toUtf8() + "\r\n") ||
                    status.endsWith("\tFailed\tSchool Not Valid.\r\n"))
            << c.name << status.toStdString();
        EXPECT_EQ(readFile(out + "/finished_bridge.tmp"), "finished\r\n") << c.name;
        if (QString(c.name) == "run") {
            EXPECT_TRUE(
                readFile(out + "/Norv--1021-" + today() + ".log").contains("The source did not answer"));
            // The lock went with the process.
            const ProgramResult next = runProgram({"run", "--validate=0", "--school=1021", "--dsn=NorvPG",
                                                   "--user=u", "--pwd=p", "--path=" + out},
                                                  home.path(), QString(), programEnvironment());
            EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
        }
    }
}

// A command other than run that starts before a run and ends after it leaves the run's outcome alone: were
// it to record its own, a night that failed (or was killed) would read as the test's success, and a good
// night as the test's failure. Each test is held in its connection (strace delays its opening of the
// source) while the run goes through.
TEST(CliStatus, ATestThatOutlastsARunLeavesTheRunsOutcome) {
    QString reason;
    const auto found = enginetest::sampleSource(SourceKind::SQLite, reason);
    if (!found) {
        FAIL() << reason.toStdString();
    }
    const QStringList heldAtTheSource =
        openInjectionLauncher(enginetest::sampleFolder() + "/norv.db", "delay_enter=3000000:when=1");
    ASSERT_FALSE(heldAtTheSource.isEmpty())
        << "strace is not installed (scripts/install-deps.sh installs it)";
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const struct {
        const char* name;
        QStringList test;
        QStringList run;
        QByteArray runOutcome;
    } cases[] = {
        {"a failing run",
         QStringList{"--group=connection"} + login(*found),
         {"--school=1021", "--dsn=NoSuchNorvSource", "--user=reader", "--pwd=unused"},
         "\tFailed\tFailed on extraction.\r\n"},
        {"a good run", QStringList{"--group=school", "--school=9999"} + login(*found),
         QStringList{"--validate=0", "--school=1021"} + login(*found), "\tSucceeded\tSucceeded\r\n"},
    };
    std::vector<std::unique_ptr<QProcess>> tests;
    std::vector<QByteArray> read(std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        tests.push_back(std::make_unique<QProcess>());
        const QString out = home.filePath(QString("out-") + cases[i].name);
        startProgram(*tests.back(), QStringList{"test", "--path=" + out} + cases[i].test, home.path(),
                     QString(), programEnvironment(), heldAtTheSource);
    }
    for (size_t i = 0; i < std::size(cases); ++i) {
        ASSERT_TRUE(waitForOutput(*tests[i], read[i], " started.\n")) << cases[i].name;
        const QString out = home.filePath(QString("out-") + cases[i].name);
        const ProgramResult run = runProgram(QStringList{"run", "--path=" + out} + cases[i].run, home.path(),
                                             QString(), programEnvironment());
        EXPECT_TRUE(readFile(out + "/Data ExtractorStatus.tmp").endsWith(cases[i].runOutcome))
            << cases[i].name << run.err.toStdString();
    }
    for (size_t i = 0; i < std::size(cases); ++i) {
        const ProgramResult test = finishProgram(*tests[i], read[i]);
        EXPECT_NE(test.exitCode, -1) << cases[i].name;
        EXPECT_EQ(test.hostLines().filter("test\t").size(), 1) << cases[i].name << test.out.toStdString();
        const QString out = home.filePath(QString("out-") + cases[i].name);
        EXPECT_TRUE(readFile(out + "/Data ExtractorStatus.tmp").endsWith(cases[i].runOutcome))
            << cases[i].name << ": " << readFile(out + "/Data ExtractorStatus.tmp").toStdString();
        EXPECT_EQ(readFile(out + "/finished_bridge.tmp"), "finished\r\n") << cases[i].name;
    }
}

// The lines of a log file without their CR LF; a proprietary line decoded.
QStringList logLines(const QByteArray& log) {
    QStringList lines;
    for (QByteArray line : log.split('\n')) {
        line = line.trimmed();
        if (line.startsWith("proprietary:")) {
            line = QByteArray::fromBase64(line.mid(12));
        }
        if (!line.isEmpty()) {
            lines.append(QString::fromUtf8(line));
        }
    }
    return lines;
}

// SIGTERM (systemctl stop, the unit's time limit, a shutdown) or SIGINT stops a run that waits for the
// source: the call is cancelled, nothing of the run is published and the cache keeps its state, the status
// reads "Failed" with the signal, the log ends with a line naming it, and the next run starts at once. The
// log is on disk line by line: the SQL of the step in progress is there while the source is still working on
// it.
TEST(CliStop, ASignalStopsARunThatWaitsForTheSource) {
    QString reason;
    const auto fixture = enginetest::FixtureSource::make(SourceKind::PostgreSQL, reason);
    ASSERT_TRUE(fixture && fixture->isValid())
        << reason.toStdString() << (fixture ? fixture->error() : "").toStdString();
    const enginetest::SampleSource source = fixture->source();
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString out = home.filePath("out");
    const QStringList args = QStringList{"run", "--att", "--school=1021", "--path=" + out} + login(source);
    const ProgramResult first = runProgram(args, home.path(), QString(), programEnvironment());
    ASSERT_EQ(first.exitCode, 0) << first.out.toStdString() << first.err.toStdString();
    const QByteArray config = readFile(out + "/SchoolConfig.xml");
    const QStringList updates = QDir(out).entryList({"*.CDU"}, QDir::Files);
    ASSERT_EQ(updates.size(), 1);
    // The period attendance now takes half a minute to answer.
    ASSERT_TRUE(
        fixture->exec("ALTER TABLE v_vlmr_stu_period_attendance RENAME TO period_rows;"
                      "CREATE FUNCTION slow() RETURNS boolean STABLE LANGUAGE sql"
                      "  AS 'SELECT pg_sleep(30); SELECT true';"
                      "CREATE VIEW v_vlmr_stu_period_attendance AS SELECT * FROM period_rows WHERE slow();"))
        << fixture->error().toStdString();
    const QString logPath = out + "/Norv--1021-" + today() + ".log";
    for (const auto& [signal, name] : {std::pair{SIGTERM, "SIGTERM"}, std::pair{SIGINT, "SIGINT"}}) {
        QProcess process;
        startProgram(process, args, home.path(), QString(), programEnvironment());
        QElapsedTimer clock;
        clock.start();
        bool waiting = false;
        while (!waiting && clock.elapsed() < 60000 && process.state() != QProcess::NotRunning) {
            process.waitForFinished(50);
            const QStringList lines = logLines(readFile(logPath));
            waiting = !lines.isEmpty() && lines.last().contains("FROM V_VLMR_STU_PERIOD_ATTENDANCE");
        }
        ASSERT_TRUE(waiting) << name << ": the log never showed the query in progress";
        clock.restart();
        ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), signal), 0);
        const ProgramResult r = finishProgram(process);
        EXPECT_LT(clock.elapsed(), 15000) << name << ": the run did not stop before the source answered";
        EXPECT_EQ(r.exitCode, 1) << name << r.err.toStdString();
        const QString stopped = QString("Stopped by %1.").arg(name);
        EXPECT_TRUE(
            readFile(out + "/Data ExtractorStatus.tmp").endsWith("\tFailed\t" + stopped.toUtf8() + "\r\n"))
            << name << readFile(out + "/Data ExtractorStatus.tmp").toStdString();
        EXPECT_EQ(readFile(out + "/finished_bridge.tmp"), "finished\r\n") << name;
        EXPECT_TRUE(logLines(readFile(logPath)).last().endsWith(": " + stopped)) << name;
        EXPECT_EQ(readFile(out + "/SchoolConfig.xml"), config) << name;
        EXPECT_EQ(QDir(out).entryList({"*.CDU"}, QDir::Files), updates) << name;
        EXPECT_EQ(filesUnder(out).filter(".part"), QStringList()) << name;
    }
    ASSERT_TRUE(
        fixture->exec("CREATE OR REPLACE FUNCTION slow() RETURNS boolean STABLE LANGUAGE sql"
                      "  AS 'SELECT true';"))
        << fixture->error().toStdString();
    const ProgramResult next = runProgram(args, home.path(), QString(), programEnvironment());
    EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
    EXPECT_TRUE(readFile(out + "/Data ExtractorStatus.tmp").endsWith("\tSucceeded\tSucceeded\r\n"));
}

// A run that a signal meets where it cannot stop at once (here the attendance cache, which another process
// holds locked, keeps it waiting) is ended within seconds all the same: "Failed" with the signal, the log's
// last line naming it, the folder free for the next run.
TEST(CliStop, ASignalEndsARunThatCannotReachASafePoint) {
    QString reason;
    const auto found = enginetest::sampleSource(SourceKind::SQLite, reason);
    if (!found) {
        FAIL() << reason.toStdString();
    }
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString out = home.filePath("out");
    const QStringList args = QStringList{"run", "--att", "--school=1021", "--path=" + out} + login(*found);
    ASSERT_EQ(runProgram(args, home.path(), QString(), programEnvironment()).exitCode, 0);
    const QString logPath = out + "/Norv--1021-" + today() + ".log";
    {
        sqlite::Database holder;
        holder.Open(out + "/Attendance/Attendance.db");
        holder.Execute("BEGIN EXCLUSIVE");
        QProcess process;
        startProgram(process, args, home.path(), QString(), programEnvironment());
        QElapsedTimer clock;
        clock.start();
        const int runsBefore = QString::fromUtf8(readFile(logPath)).count("Attendance Cutoff:");
        while (QString::fromUtf8(readFile(logPath)).count("Attendance Cutoff:") == runsBefore &&
               clock.elapsed() < 60000 && process.state() != QProcess::NotRunning) {
            process.waitForFinished(50);
        }
        process.waitForFinished(1500);  // past the source's last question, waiting for the cache
        ASSERT_EQ(process.state(), QProcess::Running);
        clock.restart();
        ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), SIGTERM), 0);
        const ProgramResult r = finishProgram(process);
        EXPECT_LT(clock.elapsed(), 10000);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(
            readFile(out + "/Data ExtractorStatus.tmp").endsWith("\tFailed\tStopped by SIGTERM.\r\n"));
        EXPECT_EQ(readFile(out + "/finished_bridge.tmp"), "finished\r\n");
        const QStringList lines = logLines(readFile(logPath));
        EXPECT_TRUE(lines.last().endsWith(": Stopped by SIGTERM.")) << lines.last().toStdString();
    }
    EXPECT_EQ(runProgram(args, home.path(), QString(), programEnvironment()).exitCode, 0);
}

// The school test applies the run's rule: a number the source merely compares equal to a listed one (a
// number column takes "01021" and "1021.0" for 1021) passes neither.
TEST(CliSchool, TheTestAcceptsExactlyTheNumbersTheRunAccepts) {
    QString reason;
    const auto fixture = enginetest::FixtureSource::make(SourceKind::SQLite, reason);
    ASSERT_TRUE(fixture && fixture->isValid()) << reason.toStdString();
    ASSERT_TRUE(
        fixture->exec("DROP TABLE V_VLMR_SCHOOL;"
                      "CREATE TABLE V_VLMR_SCHOOL (school INTEGER, long_name TEXT, attendance_type TEXT,"
                      "  alternate_period_attendance TEXT);"
                      "INSERT INTO V_VLMR_SCHOOL VALUES (1021, 'Central High', 'P', NULL);"))
        << fixture->error().toStdString();
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QStringList connection = {"--dsn=" + fixture->source().dsn.toQString(), "--user=u", "--pwd=p"};
    for (const char* school : {"1021", "01021", "1021.0"}) {
        const bool listed = QByteArray(school) == "1021";
        const ProgramResult test =
            runProgram(QStringList{"test", "--group=school", QString("--school=") + school} + connection,
                       home.path(), QString(), programEnvironment());
        EXPECT_EQ(test.exitCode, listed ? 0 : 1) << school;
        EXPECT_TRUE(test.hostLines().contains(listed ? "test\tschool\tsuccess\tSchool Validated."
                                                     : "test\tschool\tfail\tSchool Not Valid."))
            << school;
    }
    const ProgramResult runOfLoose =
        runProgram(QStringList{"run", "--school=01021", "--path=" + home.filePath("out")} + connection,
                   home.path(), QString(), programEnvironment());
    EXPECT_EQ(runOfLoose.exitCode, 1);
}

// An inactive date that is not a real date is named in a warning and gives no cutoff; none rolls over.
TEST_P(Cli, MalformedInactiveDateIsWarnedAboutAndNeverRollsOver) {
    struct Case {
        const char* value;
        const char* cutoff;  // as logged
        bool warned;
    };
    const Case cases[] = {
        {"13/45/2024", "", true},
        {"02/30/2024", "", true},
        {"next week", "", true},
        {"3/5/24", "", true},
        {"", "", false},
        {"03/15/2024", "15-Mar-2024", false},
        {"3/5/2024", "05-Mar-2024", false},
        {"02/29/2024", "29-Feb-2024", false},
    };
    for (const Case& c : cases) {
        const ProgramResult r = run(
            QStringList{"run", "--school=1021", "--path=" + at("out"), "--inactivedate=" + QString(c.value)} +
            login(source));
        EXPECT_EQ(r.exitCode, 0) << c.value;
        const QByteArray warning =
            QByteArray("\tInactive date \"") + c.value +
            "\" is not a real date of the form mm/dd/yyyy; no inactive cutoff is used.\n";
        EXPECT_EQ(r.out.contains(warning), c.warned) << c.value;
        EXPECT_TRUE(r.out.contains(QByteArray("\tInactive Cutoff: ") + c.cutoff + "\n")) << c.value;
    }
}

// A run killed at any moment never reads as a success and never leaves a main file beside tables of
// another run: the kill points are fixed syscalls (the n-th rename or write) that strace ends the run at.
// The folder holds a previous complete extract; after each kill the folder shows either that extract whole,
// or this run's whole, or no main file at all, and no status file of the previous run. The next run then
// succeeds (the lock died with the process) and leaves no temporary file.
TEST(CliKill, AKilledRunNeverReadsAsTheLastGoodOne) {
    QString reason;
    const auto found = enginetest::sampleSource(SourceKind::SQLite, reason);
    if (!found) {
        FAIL() << reason.toStdString();
    }
    const QString strace = QStandardPaths::findExecutable("strace");
    if (strace.isEmpty()) {
        FAIL() << "strace is not installed (scripts/install-deps.sh installs it)";
    }
    const QStringList tables = {"Students.cef", "StudentTransport.cef", "StudentMed.cef"};
    const QByteArray previousStatus = "2000/01/01 00:00:00\tSucceeded\tSucceeded\r\n";
    struct KillPoint {
        const char* syscall;
        int when;
        const char* signal;
    };
    // Renames: 1 BridgeStatus.tmp, 2-4 the tables, 5 Norv.CDE, 6 the update file, 7 SchoolConfig.xml,
    // 8 the status file, 9 the finished file. Writes: inside the table steps. (SIGTERM stops a run cleanly
    // instead, which CliStop tests; strace's signal, sent to one thread that blocks it, would not reach it.)
    const KillPoint points[] = {
        {"rename", 1, "KILL"},  {"rename", 2, "KILL"},  {"rename", 3, "KILL"}, {"rename", 4, "KILL"},
        {"rename", 5, "KILL"},  {"rename", 6, "KILL"},  {"rename", 8, "KILL"}, {"rename", 9, "KILL"},
        {"write", 300, "KILL"}, {"write", 500, "KILL"}, {"unlink", 4, "KILL"},
    };
    for (const KillPoint& point : points) {
        const std::string name =
            std::string(point.syscall) + "#" + std::to_string(point.when) + " " + point.signal;
        QTemporaryDir home;
        ASSERT_TRUE(home.isValid());
        const QString out = home.filePath("out");
        writeFile(out + "/Norv.CDE", "previous main\r\n");
        for (const QString& table : tables) {
            writeFile(out + "/" + table, "previous\r\n");
        }
        writeFile(out + "/Data ExtractorStatus.tmp", previousStatus);
        writeFile(out + "/finished_bridge.tmp", "finished\r\n");
        const QStringList args = QStringList{"run", "--school=1021", "--path=" + out} + login(*found);
        const QStringList launcher = {
            strace,
            "-f",
            "-qq",
            "-o",
            "/dev/null",
            "-e",
            QString("trace=") + point.syscall,
            "-e",
            QString("inject=%1:signal=%2:when=%3").arg(point.syscall, point.signal).arg(point.when)};
        const ProgramResult killed = runProgram(args, home.path(), QString(), programEnvironment(), launcher);
        EXPECT_EQ(killed.exitCode, -1) << name << ": the run was not killed";

        const QByteArray status = readFile(out + "/Data ExtractorStatus.tmp");
        EXPECT_NE(status, previousStatus) << name;
        if (QFile::exists(out + "/finished_bridge.tmp")) {
            EXPECT_TRUE(status.endsWith("\tSucceeded\tSucceeded\r\n")) << name;
        }
        const QByteArray main = readFile(out + "/Norv.CDE");
        for (const QString& table : tables) {
            const QByteArray content = readFile(out + "/" + table);
            if (main == "previous main\r\n") {
                EXPECT_EQ(content, "previous\r\n") << name << " " << table.toStdString();
            } else if (!main.isEmpty()) {
                EXPECT_TRUE(main.contains("#include \"" + table.toUtf8() + "\"")) << name;
                EXPECT_FALSE(content.isEmpty() || content == "previous\r\n")
                    << name << " " << table.toStdString();
            }
        }

        const ProgramResult next = runProgram(args, home.path(), QString(), programEnvironment());
        EXPECT_EQ(next.exitCode, 0) << name << next.err.toStdString();
        EXPECT_TRUE(readFile(out + "/Data ExtractorStatus.tmp").endsWith("\tSucceeded\tSucceeded\r\n"))
            << name;
        EXPECT_EQ(filesUnder(out).filter(".part"), QStringList()) << name;
        for (const QString& table : tables) {
            EXPECT_NE(readFile(out + "/" + table), "previous\r\n") << name << " " << table.toStdString();
        }
    }
}

// A run that cannot finish: exit code 1, "Failed on extraction." in the status file, the reason in the log
// and its copy, no main extract file.
struct RunFailure {
    const char* name;
    const char* fixtureSql;  // nullptr: the sample source itself
    QStringList args;        // replaces the login when not empty
    QString reason;          // in the log
};

void PrintTo(const RunFailure& failure, std::ostream* os) {
    *os << failure.name;
}

class CliRunFailure : public ::testing::TestWithParam<std::tuple<SourceKind, RunFailure>> {};

TEST_P(CliRunFailure, FailsCleanly) {
    const auto& [kind, failure] = GetParam();
    QString reason;
    std::unique_ptr<enginetest::FixtureSource> fixture;
    auto found = enginetest::sampleSource(kind, reason);
    if (!found) {
        FAIL() << reason.toStdString();
    }
    enginetest::SampleSource source = *found;
    if (failure.fixtureSql != nullptr) {
        fixture = enginetest::FixtureSource::make(kind, reason);
        ASSERT_TRUE(fixture && fixture->isValid()) << reason.toStdString();
        ASSERT_TRUE(fixture->exec(failure.fixtureSql)) << fixture->error().toStdString();
        source = fixture->source();
    }
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString out = home.filePath("out");
    const QString logs = home.filePath("logs");
    const QStringList connection = failure.args.isEmpty() ? login(source) : failure.args;
    const ProgramResult r =
        runProgram(QStringList{"run", "--school=1021", "--path=" + out, "--logpath=" + logs} + connection,
                   home.path(), QString(), programEnvironment());
    EXPECT_EQ(r.exitCode, 1) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(readFile(out + "/Data ExtractorStatus.tmp").endsWith("\tFailed\tFailed on extraction.\r\n"));
    EXPECT_TRUE(readFile(out + "/BridgeStatus.tmp").endsWith("\tExtract Running\r\n"));
    EXPECT_EQ(readFile(out + "/finished_bridge.tmp"), "finished\r\n");
    EXPECT_FALSE(QFile::exists(out + "/Norv.CDE"));
    const QString logName = "Norv--1021-" + today() + ".log";
    const QByteArray log = readFile(out + "/" + logName);
    EXPECT_TRUE(log.contains(failure.reason.toUtf8())) << log.toStdString();
    EXPECT_TRUE(readFile(logs + "/" + logName).startsWith(log));
    const QStringList host = r.hostLines();
    EXPECT_EQ(host.value(0), "inc_progress\tStarting Execution...");
    EXPECT_FALSE(host.contains("end_progress") || host.contains("bridge_complete")) << r.out.toStdString();
    EXPECT_FALSE((r.out + r.err + log).contains("not-the-pw-42"));
}

const RunFailure kSourceFailures[] = {
    {"UnknownDsn",
     nullptr,
     {"--dsn=NoSuchNorvSource", "--user=reader", "--pwd=not-the-pw-42"},
     "Data source name not found"},
    {"MissingView", "DROP TABLE V_VLMR_STUDENT_MEDICAL", {}, "Table does not exist : V_VLMR_STUDENT_MEDICAL"},
    {"MissingRequiredColumn",
     "ALTER TABLE V_VLMR_STUDENT_MEDICAL RENAME COLUMN student_pupil_number TO pupil_no",
     {},
     "Required Field does not exist : student_pupil_number in table V_VLMR_STUDENT_MEDICAL"},
};

INSTANTIATE_TEST_SUITE_P(Sources, CliRunFailure,
                         ::testing::Combine(::testing::Values(SourceKind::SQLite, SourceKind::PostgreSQL),
                                            ::testing::ValuesIn(kSourceFailures)),
                         [](const auto& info) {
                             return std::string(kindName(std::get<0>(info.param))) +
                                    std::get<1>(info.param).name;
                         });

const RunFailure kWrongPassword = {"WrongPassword",
                                   nullptr,
                                   {"--dsn=NorvPG", "--user=norv_reader", "--pwd=not-the-pw-42"},
                                   "password authentication failed"};

INSTANTIATE_TEST_SUITE_P(Login, CliRunFailure,
                         ::testing::Values(std::make_tuple(SourceKind::PostgreSQL, kWrongPassword)),
                         [](const auto& info) { return std::string(std::get<1>(info.param).name); });

// The password, plain or encoded, given right or wrong, appears in no line, log file or extract file.
TEST_P(Cli, NoPasswordAnywhere) {
    // The SQLite DSN ignores the login, so any password is accepted there and still must not leak.
    const QString good =
        source.password.isEmpty() ? QStringLiteral("Sqlite-Login-Secret-5") : source.password.toQString();
    const QString wrong = QStringLiteral("Wr0ng-Secret");
    const QString out = at("out");
    const QStringList base = login(source).mid(0, 2);  // the DSN and the user, without a password
    const QList<QStringList> commands = {
        QStringList{"run", "--school=1021", "--path=" + out, "--pwdencode=" + encodePassword(good)} + base,
        QStringList{"run", "--school=1021", "--path=" + out, "--pwd=" + wrong} + base,
        QStringList{"test", "--group=connection", "--pwd", wrong} + base,
        QStringList{"params", "--paramkey=teacher", "--school=1021", "--pwd=" + good} + base,
    };
    QByteArray console;
    for (const QStringList& args : commands) {
        const ProgramResult r = run(args);
        EXPECT_NE(r.exitCode, -1) << args.join(' ').toStdString();
        console += r.out + r.err;
    }
    ASSERT_TRUE(QFile::exists(out + "/Students.cef"));
    for (const QString& secret : {good, wrong, encodePassword(good), encodePassword(wrong)}) {
        EXPECT_FALSE(console.contains(secret.toUtf8())) << secret.toStdString();
        for (const QString& file : filesUnder(home.path())) {
            EXPECT_FALSE(readFile(home.filePath(file)).contains(secret.toUtf8()))
                << file.toStdString() << " holds " << secret.toStdString();
        }
    }
}

// The password from a private file (--pwdfile) or from systemd's credential "norv-pwd" logs in like --pwd:
// the PostgreSQL server checks it (a wrong one fails). It stands nowhere else: not in the program's
// arguments (which ps and /proc/PID/cmdline show every local user) or environment, its lines or its files.
TEST(CliPasswordSources, PrivateFileAndCredentialLogIn) {
    QString reason;
    const auto pg = enginetest::sampleSource(SourceKind::PostgreSQL, reason);
    if (!pg) {
        FAIL() << reason.toStdString();
    }
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString password = pg->password.toQString();
    const QString wrong = QStringLiteral("not-the-pw-42");
    const auto secretFile = [&](const QString& relative, const QString& content, mode_t mode) {
        const QString path = home.filePath(relative);
        writeFile(path, (content + "\n").toUtf8());
        EXPECT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
        return path;
    };
    const QString file = secretFile("secrets/db.pwd", password, 0600);
    const QString wrongFile = secretFile("secrets/wrong.pwd", wrong, 0600);
    // systemd decides a credential's mode; a shared group bit (an ACL mask) is no reason to refuse it.
    const QString credentials = QFileInfo(secretFile("credentials/norv-pwd", password, 0440)).path();
    const QString wrongCredentials = QFileInfo(secretFile("wrong-credentials/norv-pwd", wrong, 0400)).path();
    const QString out = home.filePath("out");
    const QStringList login = {"--dsn=" + pg->dsn.toQString(), "--user=" + pg->user.toQString()};
    const QString connected = "test\tconnection\tsuccess\tConnection Successful.";
    const QString refused = "test\tconnection\tfail\tConnection Failed.";

    struct Case {
        const char* name;
        QStringList args;
        QString credentialsFolder;
        int exitCode;
        QString line;  // the start of a host line the command sends
    };
    const Case cases[] = {
        {"test, the file", {"test", "--group=connection", "--pwdfile=" + file}, {}, 0, connected},
        {"test, a wrong file", {"test", "--group=connection", "--pwdfile=" + wrongFile}, {}, 1, refused},
        {"school list, the file",
         {"params", "--paramkey=school", "--pwdfile", file},
         {},
         0,
         "school_list\tschool\t1021\t"},
        {"school test, the credential",
         {"test", "--group=school", "--school=1021"},
         credentials,
         0,
         "test\tschool\tsuccess\tSchool Validated."},
        {"test, a wrong credential", {"test", "--group=connection"}, wrongCredentials, 1, refused},
        {"the file beats the credential",
         {"test", "--group=connection", "--pwdfile=" + file},
         wrongCredentials,
         0,
         connected},
        {"run, the credential",
         {"run", "--demo", "--school=875", "--path=" + out},
         credentials,
         0,
         "bridge_complete"},
    };
    QByteArray console;
    for (const Case& c : cases) {
        const QStringList args = c.args + login;
        QStringList environment = programEnvironment();
        if (!c.credentialsFolder.isEmpty()) {
            environment.append("CREDENTIALS_DIRECTORY=" + c.credentialsFolder);
        }
        const ProgramResult r = runProgram(args, home.path(), QString(), environment);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.name << r.out.toStdString() << r.err.toStdString();
        EXPECT_FALSE(
            r.hostLines().filter(QRegularExpression("^" + QRegularExpression::escape(c.line))).isEmpty())
            << c.name << r.out.toStdString();
        EXPECT_FALSE((args + environment).join('\n').contains(password)) << c.name;
        console += r.out + r.err;
    }
    ASSERT_TRUE(QFile::exists(out + "/Students.cef"));
    const QByteArray log = readFile(out + "/Norv--875-" + today() + ".log");
    EXPECT_TRUE(log.contains(": pwd is internal only.\r\n")) << log.toStdString();
    // --pwd and --pwdencode still log in, and beat a credential.
    for (const QString& given : {"--pwd=" + password, "--pwdencode=" + encodePassword(password)}) {
        const ProgramResult r =
            runProgram(QStringList{"test", "--group=connection", given} + login, home.path(), QString(),
                       programEnvironment() + QStringList{"CREDENTIALS_DIRECTORY=" + wrongCredentials});
        EXPECT_EQ(r.exitCode, 0) << given.toStdString() << r.out.toStdString();
        console += r.out + r.err;
    }

    for (const QString& secret : {password, wrong}) {
        EXPECT_FALSE(console.contains(secret.toUtf8())) << secret.toStdString();
        for (const QString& name : filesUnder(home.path())) {
            if (name.startsWith("secrets/") || name.contains("credentials/")) {
                continue;
            }
            EXPECT_FALSE(readFile(home.filePath(name)).contains(secret.toUtf8()))
                << name.toStdString() << " holds " << secret.toStdString();
        }
    }
}

// A password is handed to the server as given, blanks at either end included, whether it comes as the
// option, from a password file or from the credential.
TEST(CliPasswordSources, BlanksAroundThePasswordArePartOfIt) {
    QString reason;
    const auto pg = enginetest::sampleSource(SourceKind::PostgreSQL, reason);
    if (!pg) {
        FAIL() << reason.toStdString();
    }
    const QString password = QStringLiteral("  blank edges ");
    // A role of its own that may log in to the sample's database.
    ASSERT_TRUE(enginetest::asServerAdmin("CREATE ROLE norv_blank_edges LOGIN PASSWORD '" + password +
                                              "'; GRANT CONNECT ON DATABASE norv TO norv_blank_edges",
                                          reason))
        << reason.toStdString();
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString file = home.filePath("secrets/db.pwd");
    writeFile(file, (password + "\n").toUtf8());
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0600), 0);
    const QString credentials = home.filePath("credentials");
    writeFile(credentials + "/norv-pwd", password.toUtf8());
    const QStringList test = {"test", "--group=connection", "--dsn=" + pg->dsn.toQString(),
                              "--user=norv_blank_edges"};
    const struct {
        const char* name;
        QStringList args;
        QString credentialsFolder;
        QString line;
    } cases[] = {
        {"the option", {"--pwd=" + password}, {}, "test\tconnection\tsuccess\tConnection Successful."},
        {"the encoded option",
         {"--pwdencode=" + encodePassword(password)},
         {},
         "test\tconnection\tsuccess\tConnection Successful."},
        {"a password file", {"--pwdfile=" + file}, {}, "test\tconnection\tsuccess\tConnection Successful."},
        {"the credential", {}, credentials, "test\tconnection\tsuccess\tConnection Successful."},
        {"without the blanks",
         {"--pwd=" + password.trimmed()},
         {},
         "test\tconnection\tfail\tConnection Failed."},
    };
    for (const auto& c : cases) {
        QStringList environment = programEnvironment();
        if (!c.credentialsFolder.isEmpty()) {
            environment.append("CREDENTIALS_DIRECTORY=" + c.credentialsFolder);
        }
        const ProgramResult r = runProgram(test + c.args, home.path(), QString(), environment);
        EXPECT_TRUE(r.hostLines().contains(c.line)) << c.name << r.out.toStdString();
    }
    EXPECT_TRUE(enginetest::asServerAdmin(
        "REVOKE CONNECT ON DATABASE norv FROM norv_blank_edges; DROP ROLE norv_blank_edges", reason))
        << reason.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Sources, Cli, ::testing::Values(SourceKind::SQLite, SourceKind::PostgreSQL),
                         [](const ::testing::TestParamInfo<SourceKind>& info) {
                             return kindName(info.param);
                         });
INSTANTIATE_TEST_SUITE_P(Sources, CliSQLite, ::testing::Values(SourceKind::SQLite),
                         [](const ::testing::TestParamInfo<SourceKind>& info) {
                             return kindName(info.param);
                         });

}  // namespace
