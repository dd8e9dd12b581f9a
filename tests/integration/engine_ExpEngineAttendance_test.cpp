// The attendance part of a run against the real sample sources (SQLite and PostgreSQL through their ODBC
// drivers): the first run, a run without change, a run after the source changed, a configuration change, and
// the run modes. Expected update file rows are computed here from the generator's data (and from the rows
// sample/change-attendance.py changes).
#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <map>

#include "engine_AttendanceUpdates.h"
#include "engine_SourceFixture.h"

using namespace enginetest;

namespace {

using Row = SampleData::Row;

const char* const kPeriodView = "V_VLMR_STU_PERIOD_ATTENDANCE";
const char* const kDailyView = "V_VLMR_STU_DAILY_ATTENDANCE";
constexpr int kOverlapDays = 14;  // the default overlap

QString text(const Row& row, const char* column) {
    return row.at(column).toString();
}

// The first day of the school year as the engine determines it: the earliest start of the all-year sections
// of the school year, else 1 August.
QDate schoolStart(const QString& school) {
    QDate first;
    for (const Row& r : SampleData::instance().rows("V_VLMR_COURSE_SECT_MAINT")) {
        if (text(r, "school") == school && r.at("year").toInt() == SampleData::instance().schoolYear() &&
            r.at("semester").isDouble() && r.at("semester").toInt() == 0 && r.at("term").isDouble() &&
            r.at("term").toInt() == 0) {
            const QDate start = QDate::fromString(text(r, "start_date"), Qt::ISODate);
            if (start.isValid() && (!first.isValid() || start < first)) {
                first = start;
            }
        }
    }
    const QDate today = QDate::currentDate();
    return first.isValid() ? first : QDate(today.month() < 8 ? today.year() - 1 : today.year(), 8, 1);
}

// Whether a run reading the change window from..to (dates compared as the sources compare a bare date with
// a time stamp: midnight) reads the row.
bool readIn(const Row& r, const QDate& from, const QDate& to) {
    const QString start = from.toString(Qt::ISODate);
    const QString end = to.toString(Qt::ISODate);
    const QString created = text(r, "create_date");
    const QJsonValue modified = r.at("mod_date");
    const bool afterStart = created >= start || (modified.isString() && modified.toString() >= start);
    const bool beforeEnd = created <= end || (modified.isString() && modified.toString() <= end);
    return afterStart && beforeEnd;
}

// Whether the reconcile window of a run today with the default overlap holds the row's absence.
bool inReconcileWindow(const Row& r) {
    const QDate day = QDate::fromString(text(r, "absent_date").left(10), Qt::ISODate);
    const QDate today = QDate::currentDate();
    return day >= today.addDays(-kOverlapDays) && day <= today;
}

// One part of a source row as the update file carries it: the table, the key (student, date, period or time
// frame) and the code ('' when the part has no absence: an empty or NULL score or code).
struct Entry {
    QByteArray table;
    QByteArray key;
    QByteArray code;
    QByteArray line() const { return joinLine({key, code, "", "", "", "", "", ""}); }
};

QList<Entry> attendanceEntries(const QString& view, const Row& r) {
    const QByteArray pupil = outputText(r.at("pupil_number"));
    const QByteArray day = dateText(r.at("absent_date"));
    const auto code = [&](const char* reason, const char* value) {
        const QByteArray reasonText = outputText(r.at(reason));
        return reasonText.isEmpty() ? outputText(r.at(value)) : reasonText;
    };
    if (view == kPeriodView) {
        return {{kPeriodTable, pupil + '\t' + day + '\t' + outputText(r.at("period")),
                 code("reason_code", "absent_code")}};
    }
    QList<Entry> entries;
    for (const char* part : {"am", "pm"}) {
        const QByteArray score = QByteArray(part) + "_attendance_score";
        const QByteArray reason = QByteArray("reason_code_") + part;
        const bool scored = !outputText(r.at(QString::fromLatin1(score))).isEmpty();
        entries.append({kDailyTable, pupil + '\t' + day + '\t' + QByteArray(part).toUpper(),
                        scored ? code(reason.constData(), score.constData()) : QByteArray()});
    }
    return entries;
}

// The rows a first attendance run of school writes today: those changed since the school start, and the
// absences of the reconcile window.
Tables expectedFirstRun(const QString& school) {
    const std::set<QByteArray> included = includedPupils(Selection{school, QString()});
    const QDate from = schoolStart(school);
    const QDate to = QDate::currentDate().addDays(1);
    Tables tables;
    for (const char* view : {kPeriodView, kDailyView}) {
        for (const Row& r : SampleData::instance().rows(view)) {
            if (text(r, "school") != school || included.count(columnText(r.at("pupil_number"))) == 0 ||
                !(readIn(r, from, to) || inReconcileWindow(r))) {
                continue;
            }
            for (const Entry& entry : attendanceEntries(view, r)) {
                if (!entry.code.isEmpty()) {
                    tables[entry.table].append(entry.line());
                }
            }
        }
    }
    for (auto& [table, lines] : tables) {
        std::sort(lines.begin(), lines.end());
    }
    return tables;
}

// The windows of the job texts "Reading <title> (from to to)...", in order.
QList<std::pair<QDate, QDate>> windows(const EngineHarness& harness, const QString& title) {
    static const QRegularExpression pattern(
        "^Reading (.*) \\((\\d\\d/\\d\\d/\\d{4}) to (\\d\\d/\\d\\d/\\d{4})\\)\\.\\.\\.$");
    QList<std::pair<QDate, QDate>> found;
    for (const auto& line : harness.log()) {
        const QRegularExpressionMatch match = pattern.match(line.message);
        if (match.hasMatch() && match.captured(1) == title) {
            found.append({QDate::fromString(match.captured(2), "MM/dd/yyyy"),
                          QDate::fromString(match.captured(3), "MM/dd/yyyy")});
        }
    }
    return found;
}

int firstLogIndex(const EngineHarness& harness, const QString& text) {
    const auto& log = harness.log();
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i].message.contains(text)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Runs sample/change-attendance.py on the sample's data and applies its statements to fixture; the changed
// rows stay in work/changes.json, and the statements that take the changes back in work/revert.sql.
bool changeAttendance(const QString& sample, const QString& work, FixtureSource& fixture, QString& failure) {
    QProcess tool;
    tool.start("python3", {QString(NORV_SOURCE_DIR) + "/sample/change-attendance.py", "--json",
                           sample + "/norv.json", "--sql-out", work + "/changes.sql", "--changes-out",
                           work + "/changes.json", "--revert-out", work + "/revert.sql"});
    if (!tool.waitForFinished(60000) || tool.exitCode() != 0) {
        failure = QString::fromUtf8(tool.readAllStandardError());
        return false;
    }
    if (!fixture.exec(QString::fromUtf8(readFile(work + "/changes.sql")))) {
        failure = fixture.error();
        return false;
    }
    return true;
}

// The rows the run after the changes of work/changes.json writes for school: the new code of each part of a
// changed or added row that differs from what it gave before, and an empty code for each part that had an
// absence and has none now: cleared ('' or NULL, read by its change date), or deleted with its day in the
// reconcile window. counts, when given, receives the number of rows of each kind of change.
Tables expectedChanges(const QString& work, const QString& school, std::map<QString, int>* counts = nullptr) {
    const std::set<QByteArray> included = includedPupils(Selection{school, QString()});
    Tables expected;
    for (const QJsonValue change : QJsonDocument::fromJson(readFile(work + "/changes.json")).array()) {
        const QString view = change["view"].toString();
        const QString kind = change["kind"].toString();
        Row after;
        const QJsonObject row = change["row"].toObject();
        for (auto it = row.begin(); it != row.end(); ++it) {
            after[it.key()] = it.value();
        }
        if (text(after, "school") != school || included.count(columnText(after.at("pupil_number"))) == 0) {
            continue;
        }
        std::map<QByteArray, QByteArray> before;  // key -> code, of the parts with an absence
        for (const Row& r : SampleData::instance().rows(view)) {
            if (r.at("pupil_number") == after.at("pupil_number") && r.at("school") == after.at("school") &&
                r.at("absent_date") == after.at("absent_date") &&
                (view != kPeriodView || r.at("period") == after.at("period"))) {
                for (const Entry& entry : attendanceEntries(view, r)) {
                    if (!entry.code.isEmpty()) {
                        before[entry.key] = entry.code;
                    }
                }
            }
        }
        int lines = 0;
        for (Entry entry : attendanceEntries(view, after)) {
            if (kind == "deleted") {
                if (!inReconcileWindow(after)) {
                    continue;  // not seen: no run reads a row that is gone
                }
                entry.code.clear();
            }
            const auto found = before.find(entry.key);
            const QByteArray old = found == before.end() ? QByteArray() : found->second;
            if (entry.code != old) {
                expected[entry.table].append(entry.line());
                ++lines;
            }
        }
        if (counts != nullptr && lines > 0) {
            ++(*counts)[kind];
        }
    }
    for (auto& [table, lines] : expected) {
        std::sort(lines.begin(), lines.end());
    }
    return expected;
}

class AttendanceSource : public SampleSourceTest {
  protected:
    // One run in a fresh engine (a process runs once); its harness stays for the log.
    bool run(const QString& folder, const QString& school, int mode, const SampleSource* from = nullptr) {
        harness = std::make_unique<EngineHarness>();
        return harness->run(from != nullptr ? *from : source, folder, school, mode);
    }
    Tables lastUpdate(const QString& folder, std::map<QByteArray, QByteArray>* fieldLines = nullptr) {
        const QStringList files = updateFiles(folder);
        return files.isEmpty() ? Tables() : updateTables(readFile(folder + "/" + files.last()), fieldLines);
    }
    // The target a fresh first run of school from source builds now, in a folder of its own.
    Target freshTarget(const SampleSource& from, const QString& school) {
        QTemporaryDir fresh;
        EngineHarness first;
        EXPECT_TRUE(first.run(from, fresh.path(), school, ExpEngine::AttendanceUpdate))
            << first.logText().toStdString();
        return applyUpdateFiles(fresh.path());
    }

    std::unique_ptr<EngineHarness> harness;
};

TEST_P(AttendanceSource, FirstRunReadsTheYearInWeeksAndARunWithoutChangeWritesNoRows) {
    const struct {
        const char* school;
        bool period;
        bool daily;
    } schools[] = {{"1021", true, false}, {"2040", false, true}, {"875", true, true}};
    for (const auto& s : schools) {
        SCOPED_TRACE(s.school);
        QTemporaryDir out;
        ASSERT_TRUE(run(out.path(), s.school, ExpEngine::AttendanceUpdate))
            << harness->logText().toStdString();
        // Attendance only: the update file and nothing of the full extract.
        EXPECT_EQ(updateFiles(out.path()).size(), 1);
        EXPECT_FALSE(QFile::exists(out.path() + "/Norv.CDE"));
        EXPECT_TRUE(QDir(out.path()).entryList({"*.cef"}, QDir::Files).isEmpty());

        const Tables expected = expectedFirstRun(s.school);
        std::map<QByteArray, QByteArray> fields;
        const Tables written = lastUpdate(out.path(), &fields);
        ASSERT_EQ(written.count(kPeriodTable), s.period ? 1u : 0u);
        ASSERT_EQ(written.count(kDailyTable), s.daily ? 1u : 0u);
        for (const auto& [table, rows] : written) {
            ASSERT_TRUE(expected.count(table)) << table.toStdString();
            EXPECT_FALSE(rows.isEmpty());
            EXPECT_EQ(rows, expected.at(table)) << table.toStdString();
        }
        if (s.period) {
            EXPECT_EQ(fields[kPeriodTable],
                      "AttStdRef\tAttDate\tAttPerRef\tAttAttCodeRef\tAttAttReasonRef\tAttExcused\t"
                      "AttAbs\tAttTardy\tAttTruant\tAttDiscipline");
        }

        // One read per pass, from the school year's start to the end of today; period attendance first, then
        // the two daily passes.
        const auto daily = windows(*harness, "Student Daily Attendance");
        const auto read =
            s.period ? windows(*harness, "Student Period Attendance") : daily.mid(0, daily.size() / 2);
        const QList<std::pair<QDate, QDate>> year{{schoolStart(s.school), QDate::currentDate().addDays(1)}};
        EXPECT_EQ(read, year);
        if (s.daily) {
            EXPECT_EQ(daily, read + read);  // the morning pass, then the afternoon pass
        }
        if (s.period && s.daily) {
            EXPECT_LT(firstLogIndex(*harness, "Reading Student Period Attendance ("),
                      firstLogIndex(*harness, "Reading Student Daily Attendance ("));
        }

        // Nothing changed in the source: the tables again, without rows.
        ASSERT_TRUE(run(out.path(), s.school, ExpEngine::AttendanceUpdate))
            << harness->logText().toStdString();
        ASSERT_EQ(updateFiles(out.path()).size(), 2);
        const Tables again = lastUpdate(out.path());
        EXPECT_EQ(again.size(), written.size());
        for (const auto& [table, rows] : again) {
            EXPECT_TRUE(rows.isEmpty()) << table.toStdString() << ": " << rows.join().toStdString();
        }
    }
}

TEST_P(AttendanceSource, ChangesOfTheSourceAreWrittenOnce) {
    // The fixture points ODBCINI elsewhere: the sample's data are found before.
    const QString sample = sampleFolder();
    SampleData::instance();
    QString reason;
    auto fixture = FixtureSource::make(GetParam(), reason, true);
    ASSERT_TRUE(fixture) << reason.toStdString();
    ASSERT_TRUE(fixture->isValid()) << fixture->error().toStdString();
    const SampleSource changed = fixture->source();
    const QString school = "875";  // period and daily attendance
    QTemporaryDir out;
    ASSERT_TRUE(run(out.path(), school, ExpEngine::AttendanceUpdate, &changed))
        << harness->logText().toStdString();

    // The sample tool changes codes, blanks them with '' and with NULL, deletes rows of the last days and
    // adds rows, stamped today.
    QTemporaryDir work;
    QString failure;
    ASSERT_TRUE(changeAttendance(sample, work.path(), *fixture, failure)) << failure.toStdString();
    std::map<QString, int> counts;
    const Tables expected = expectedChanges(work.path(), school, &counts);
    for (const char* kind : {"changed", "blanked", "nulled", "added"}) {
        EXPECT_GT(counts[kind], 0) << kind;
    }
    ASSERT_EQ(expected.size(), 2u);

    ASSERT_TRUE(run(out.path(), school, ExpEngine::AttendanceUpdate, &changed))
        << harness->logText().toStdString();
    const Tables written = lastUpdate(out.path());
    EXPECT_EQ(written.at(kPeriodTable), expected.at(kPeriodTable));
    EXPECT_EQ(written.at(kDailyTable), expected.at(kDailyTable));
    // The folder's update files, applied in order, give what a first run sends now.
    EXPECT_EQ(targetDifferences(freshTarget(changed, school), applyUpdateFiles(out.path())), "");

    // Sent once: the next run has nothing to send.
    ASSERT_TRUE(run(out.path(), school, ExpEngine::AttendanceUpdate, &changed))
        << harness->logText().toStdString();
    for (const auto& [table, rows] : lastUpdate(out.path())) {
        EXPECT_TRUE(rows.isEmpty()) << table.toStdString() << ": " << rows.join().toStdString();
    }
    EXPECT_EQ(updateFiles(out.path()).size(), 3);
}

TEST_P(AttendanceSource, ConfigurationChangeThrowsTheUpdateStateAwayAndStartsAgain) {
    const struct {
        const char* key;
        const char* stored;
        const char* message;
    } changes[] = {
        {"LastSchoolNumber", "2040", "School Changed. Old=2040 new=1021"},
        {"LastDSN", "AnotherSource", "DSN Changed. Old=AnotherSource new="},
        {"LastSchoolYear", "1999", "Year Changed. Old=1999 new="},
    };
    const Tables expected = expectedFirstRun("1021");
    for (const auto& c : changes) {
        SCOPED_TRACE(c.key);
        QTemporaryDir out;
        ASSERT_TRUE(run(out.path(), "1021", ExpEngine::AttendanceUpdate)) << harness->logText().toStdString();
        ASSERT_EQ(updateFiles(out.path()).size(), 1);
        QFile older(out.path() + "/Update 20000101000000.CDU");
        ASSERT_TRUE(older.open(QIODevice::WriteOnly));
        older.close();
        QDir(out.path()).mkpath("PAT/inner");
        QFile planted(out.path() + "/AATP0001.dat");
        ASSERT_TRUE(planted.open(QIODevice::WriteOnly));
        planted.close();

        // The stored configuration names another school, source or year.
        QByteArray config = readFile(out.path() + "/SchoolConfig.xml");
        const QRegularExpression entry(QString("<%1 %1Value=\"[^\"]*\"/>").arg(c.key));
        QString edited = QString::fromUtf8(config);
        ASSERT_TRUE(edited.contains(entry));
        edited.replace(entry, QString("<%1 %1Value=\"%2\"/>").arg(c.key, c.stored));
        QFile file(out.path() + "/SchoolConfig.xml");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(edited.toUtf8());
        file.close();

        ASSERT_TRUE(run(out.path(), "1021", ExpEngine::AttendanceUpdate)) << harness->logText().toStdString();
        EXPECT_TRUE(harness->logged(7, c.message)) << harness->logText().toStdString();
        EXPECT_TRUE(harness->logged(7, "Bridge Configuration Changed."));
        // The old update file and the importer's folders are gone; the cache started empty, so every row of
        // the year is sent again, read from the school year's start.
        const QStringList now = updateFiles(out.path());
        ASSERT_EQ(now.size(), 1);
        EXPECT_FALSE(now.contains("Update 20000101000000.CDU"));
        EXPECT_FALSE(QFile::exists(out.path() + "/PAT"));
        EXPECT_FALSE(QFile::exists(out.path() + "/AATP0001.dat"));
        EXPECT_EQ(lastUpdate(out.path()), expected);
        const auto read = windows(*harness, "Student Period Attendance");
        ASSERT_FALSE(read.isEmpty());
        EXPECT_EQ(read.first().first, schoolStart("1021"));
    }
}

TEST_P(AttendanceSource, TheSchoolYearSpansItsAllYearSectionsOrElseAugustToJuly) {
    const QDate start = schoolStart("1021");
    const int year = SampleData::instance().schoolYear();
    const Tables expected = expectedFirstRun("1021");
    QString reason;
    auto fixture = FixtureSource::make(GetParam(), reason, true);
    ASSERT_TRUE(fixture) << reason.toStdString();
    ASSERT_TRUE(fixture->isValid()) << fixture->error().toStdString();
    // All but the last of the school's all-year sections open in November, whichever the source returns
    // first, and one more all-year section is dated 1900.
    const QString sections = "V_VLMR_COURSE_SECT_MAINT";
    const QString allYear = QString("school = '1021' AND year = %1 AND semester = 0 AND term = 0").arg(year);
    ASSERT_TRUE(
        fixture->exec(QString("UPDATE %1 SET start_date = '%2-11-02' WHERE %3 AND id < (SELECT MAX(id) "
                              "FROM %1 WHERE %3); INSERT INTO %1 (id, school, year, semester, term, "
                              "start_date, stop_date) VALUES (99999, '1021', %2, 0, 0, '1900-01-01', "
                              "'1900-06-30');")
                          .arg(sections)
                          .arg(year)
                          .arg(allYear)))
        << fixture->error().toStdString();
    const SampleSource changed = fixture->source();
    QTemporaryDir out;
    ASSERT_TRUE(run(out.path(), "1021", ExpEngine::AttendanceUpdate, &changed))
        << harness->logText().toStdString();
    const auto read = windows(*harness, "Student Period Attendance");
    ASSERT_FALSE(read.isEmpty());
    EXPECT_EQ(read.first().first, start);
    EXPECT_TRUE(harness->logged(Informational, "2 of their dates lie outside the school year"));
    EXPECT_EQ(lastUpdate(out.path()), expected);

    // Without the sections the year runs from 1 August, not from the first day of the calendar.
    ASSERT_TRUE(fixture->exec("ALTER TABLE " + sections + " RENAME TO V_VLMR_COURSE_SECT_GONE;"))
        << fixture->error().toStdString();
    QTemporaryDir again;
    ASSERT_TRUE(run(again.path(), "1021", ExpEngine::AttendanceUpdate, &changed))
        << harness->logText().toStdString();
    EXPECT_TRUE(harness->logged(Warning, "The school year's dates could not be read"));
    const auto fallback = windows(*harness, "Student Period Attendance");
    ASSERT_FALSE(fallback.isEmpty());
    EXPECT_EQ(fallback.first().first, QDate(year, 8, 1));
}

TEST_P(AttendanceSource, DefaultModeWritesTheFullExtractFirstThenTheUpdateFile) {
    QTemporaryDir out;
    ASSERT_TRUE(run(out.path(), "1021", -1)) << harness->logText().toStdString();
    EXPECT_TRUE(QFile::exists(out.path() + "/Norv.CDE"));
    EXPECT_TRUE(QFile::exists(out.path() + "/Students.cef"));
    EXPECT_EQ(lastUpdate(out.path()), expectedFirstRun("1021"));
    const int import = firstLogIndex(*harness, "Starting Import");
    ASSERT_GE(import, 0);
    EXPECT_LT(import, firstLogIndex(*harness, "Reading Student Period Attendance ("));
}

INSTANTIATE_TEST_SUITE_P(Sources, AttendanceSource,
                         ::testing::Values(SourceKind::SQLite, SourceKind::PostgreSQL),
                         [](const ::testing::TestParamInfo<SourceKind>& info) {
                             return info.param == SourceKind::SQLite ? "SQLite" : "PostgreSQL";
                         });

// --- No change lost: the program killed at many moments of attendance runs ---

// Runs the program for an attendance run of school into folder; with summary under strace, which counts the
// syscalls into summary and makes the injection inject (such as "rename:signal=KILL:when=1") when given. True
// when the program ran to its end with exit code 0.
bool runProgram(const SampleSource& source, const QString& folder, const QString& school, const QString& home,
                QString* summary = nullptr, const QString& inject = QString()) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_DATA_HOME", home + "/.local/share");
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    env.insert("LC_ALL", "C.UTF-8");
    const QStringList arguments{
        "run", "--att", "--dsn=" + source.dsn.toQString(),
        // The SQLite driver takes any login.
        "--user=" + (source.user.isEmpty() ? QString("tests") : source.user.toQString()),
        "--pwd=" + (source.password.isEmpty() ? QString("tests") : source.password.toQString()),
        "--school=" + school, "--path=" + folder, "--logpath=" + home + "/logs"};
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(home);
    if (summary == nullptr) {
        process.start(QStringLiteral(NORV_BINARY_DIR "/norv-extract"), arguments);
    } else {
        // LeakSanitizer cannot run in a traced process (sanitizer builds); the other checks stay on.
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
        process.setProcessEnvironment(env);
        QStringList trace{"-f", "-c", "-o", home + "/strace.txt"};
        if (!inject.isEmpty()) {
            trace.append("--inject=" + inject);
        }
        process.start("strace",
                      trace + QStringList{QStringLiteral(NORV_BINARY_DIR "/norv-extract")} + arguments);
    }
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (summary != nullptr) {
        *summary = QString::fromUtf8(readFile(home + "/strace.txt"));
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// How often each syscall was made, from a strace -c summary.
std::map<QString, int> syscallCounts(const QString& summary) {
    std::map<QString, int> counts;
    static const QRegularExpression line("^\\s*[\\d.]+\\s+[\\d.]+\\s+\\d+\\s+(\\d+)\\s+(?:\\d+\\s+)?(\\w+)$");
    for (const QString& text : summary.split('\n')) {
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch()) {
            counts[match.captured(2)] = match.captured(1).toInt();
        }
    }
    return counts;
}

// Fault points on each syscall of names (those that write, sync or rename the update file, the cache or
// SchoolConfig.xml): its first, middle and last two calls, counted on a run without the fault; fault is
// strace's ("signal=KILL", "error=EIO").
QStringList faultPoints(const std::map<QString, int>& counts, const QStringList& names,
                        const QString& fault) {
    QStringList points;
    for (const QString& name : names) {
        const auto found = counts.find(name);
        if (found == counts.end()) {
            continue;
        }
        const int n = found->second;
        std::set<int> when{1, n / 2, n - 1, n};
        for (int w : when) {
            if (w >= 1) {
                points.append(QString("%1:%2:when=%3").arg(name, fault).arg(w));
            }
        }
    }
    return points;
}

// What happens around the killed run: the first run of a folder is killed; or a first run completes, the
// source changes, and the run after it is killed; or the same, and then the source takes its changes back
// before the next run (only a run that knows what the killed run published can bring the target back).
enum class KillPhase { FirstRun, Changed, TakenBack };

// A phase with its fault (strace's, such as "signal=KILL" or "error=EIO") at each point of the syscalls.
struct FaultPlan {
    KillPhase phase;
    QString fault;
    QStringList syscalls;
};

// Each scenario on a fresh copy of the source and a fresh import folder, the run faulted at each point of the
// plan; then one run without a fault: the folder's update files, applied in order, must give what a first
// run sends now, and (unless the source took its changes back) no file may carry a deletion for a row that
// exists.
void faultEverywhere(SourceKind kind, const std::vector<FaultPlan>& plans) {
    QString reason;
    if (!sampleSource(kind, reason)) {
        FAIL() << reason.toStdString();
    }
    QProcess probe;
    probe.start("strace", {"-V"});
    if (!probe.waitForFinished(10000) || probe.exitCode() != 0) {
        FAIL() << "strace is not installed (scripts/install-deps.sh installs it)";
    }
    const QString sample = sampleFolder();
    SampleData::instance();
    const QString school = "875";

    for (const FaultPlan& plan : plans) {
        const KillPhase phase = plan.phase;
        QStringList points;
        Target expected;
        for (int reference = 0;; ++reference) {
            std::unique_ptr<FixtureSource> fixture = FixtureSource::make(kind, reason, true);
            ASSERT_TRUE(fixture) << reason.toStdString();
            ASSERT_TRUE(fixture->isValid()) << fixture->error().toStdString();
            QTemporaryDir home;
            const QString out = home.path() + "/import";
            if (phase != KillPhase::FirstRun) {
                ASSERT_TRUE(runProgram(fixture->source(), out, school, home.path()));
                QString failure;
                ASSERT_TRUE(changeAttendance(sample, home.path(), *fixture, failure))
                    << failure.toStdString();
            }
            const auto takeBack = [&] {
                if (phase == KillPhase::TakenBack) {
                    ASSERT_TRUE(fixture->exec(QString::fromUtf8(readFile(home.path() + "/revert.sql"))))
                        << fixture->error().toStdString();
                }
            };
            if (reference == 0) {
                // Not killed: counts the syscalls of this phase's run; a first run into another folder after
                // it gives what every scenario of the phase must end with.
                QString summary;
                ASSERT_TRUE(runProgram(fixture->source(), out, school, home.path(), &summary));
                takeBack();
                ASSERT_TRUE(runProgram(fixture->source(), out, school, home.path()));
                ASSERT_TRUE(runProgram(fixture->source(), home.path() + "/fresh", school, home.path()));
                expected = applyUpdateFiles(home.path() + "/fresh");
                ASSERT_FALSE(expected.empty());
                ASSERT_EQ(targetDifferences(expected, applyUpdateFiles(out)), "");
                points = faultPoints(syscallCounts(summary), plan.syscalls, plan.fault);
                ASSERT_GE(points.size(), 4) << summary.toStdString();
                continue;
            }
            if (reference > points.size()) {
                break;
            }
            const QString point = points[reference - 1];
            SCOPED_TRACE(QString("phase %1, %2").arg(static_cast<int>(phase)).arg(point).toStdString());
            QString summary;
            runProgram(fixture->source(), out, school, home.path(), &summary, point);
            takeBack();
            ASSERT_TRUE(runProgram(fixture->source(), out, school, home.path()));
            EXPECT_EQ(targetDifferences(expected, applyUpdateFiles(out)), "");
            if (phase != KillPhase::TakenBack) {
                // (Taken back, a deletion sent by the killed run was true when it was sent.)
                EXPECT_EQ(wrongDeletions(expected, out), "");
            }
        }
    }
}

const QStringList kWrites = {"write", "pwrite64", "fdatasync", "fsync", "rename"};
// The moments around the publication: the syncs of the cache's commits and the renames.
const QStringList kCommits = {"fdatasync", "fsync", "rename"};

TEST(AttendanceKilled, NoChangeOrDeletionIsLostOrSentWrongWhereverTheRunIsKilled) {
    faultEverywhere(SourceKind::SQLite, {{KillPhase::FirstRun, "signal=KILL", kWrites},
                                         {KillPhase::Changed, "signal=KILL", kWrites}});
}

TEST(AttendanceKilled, WhatAKilledOrFailedRunPublishedIsKnownToTheNext) {
    faultEverywhere(SourceKind::SQLite, {{KillPhase::TakenBack, "signal=KILL", kCommits},
                                         {KillPhase::TakenBack, "error=EIO", kCommits}});
}

TEST(AttendanceKilled, WhatAKilledRunPublishedIsKnownToTheNextOnPostgreSQL) {
    faultEverywhere(SourceKind::PostgreSQL, {{KillPhase::TakenBack, "signal=KILL", kCommits}});
}

}  // namespace
