#include "app/SISConfig.h"

#include "app/AppInfo.h"
#include "app/CommandLineParser.h"
#include "app/PasswordSource.h"
#include "app/StatusFiles.h"
#include "engine/ExpEngine.h"
#include "libraries/platform/Clock.h"
#include "libraries/platform/Folders.h"
#include "libraries/platform/RegularFile.h"
#include "libraries/support/XException.h"
#include "messages/LogManager.h"
#include "messages/SISMessageWriter.h"
#include "task/AppTaskBase.h"
#include "writer/StagedFile.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

const QString kConfigFile = QStringLiteral("CVConfig.xml");

// Seconds without an answer from the source before a command fails: the watchdog's own default.
constexpr int kDefaultTimeout = static_cast<int>(
    std::chrono::duration_cast<std::chrono::seconds>(ado::SourceWatchdog::kDefaultLimit).count());
constexpr int kLongestTimeout = 86400;
// The longest folder path: every name the program writes inside it (up to the system's 255 bytes) still
// makes a path the system takes (PATH_MAX, 4096 bytes with the terminator).
constexpr int kLongestPath = PATH_MAX - 1 - 1 - NAME_MAX;
// A run that meets the lock held waits this long before it gives up: another command may hold it for the
// moment it writes the status files.
constexpr std::chrono::milliseconds kRunLockPatience(1000);
// How long a command that was asked to stop may take to reach a point where stopping is safe, and then to
// tear down, before it is ended where it stands.
constexpr std::chrono::milliseconds kStopGrace(2000);

// The request to stop the process's command (a signal), shared by the receiving thread, the command and
// the source watchdog's thread.
struct StopRequest {
    std::mutex mutex;
    std::condition_variable changed;  // the command recorded its outcome, or went away
    SISConfig* command = nullptr;     // the command that may be stopped; null before and after it
    QString reason;                   // "Stopped by SIGTERM." once a stop was asked for
};

StopRequest& stopRequest() {
    static StopRequest request;
    return request;
}

// Far beyond any real configuration (a few hundred bytes per school): a larger file is not one, and reading
// it whole would take the memory and time of a file of any size.
constexpr qint64 kConfigSizeLimit = 4 * 1024 * 1024;
// The configuration is three levels deep; the document builder recurses once per level.
constexpr int kConfigDepthLimit = 64;

// The deepest element nesting of content (read without building anything); stops counting past the
// limit. A document that is not well-formed gives what was reached: its parse reports the error.
int nestingDepth(const QByteArray& content) {
    QXmlStreamReader reader(content);
    int depth = 0;
    int deepest = 0;
    while (!reader.atEnd() && deepest <= kConfigDepthLimit) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            deepest = std::max(deepest, ++depth);
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    return deepest;
}

bool isPlainFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink();
}

}  // namespace

SISConfig::SISConfig(QObject* parent) : SISConfig(SISMessageWriter::instance(), parent) {}

SISConfig::SISConfig(SISMessageWriter& writer, QObject* parent) : AppBase(writer, parent) {
    appFrameworkVersion_ = QStringLiteral("1.0.0.2");
    appType_ = QStringLiteral("Data Extractor");
    engine_ = std::make_unique<ExpEngine>();
    connectTask(*engine_);
    addGroup(QStringLiteral("connection"));
    addGroup(QStringLiteral("school"));
    const std::lock_guard lock(stopRequest().mutex);
    stopRequest().command = this;
}

SISConfig::~SISConfig() {
    // The engine's last words to the source are watched like any other wait: the handler outlives them.
    engine_.reset();
    ado::SourceWatchdog::instance().setHandler({});
    {
        StopRequest& request = stopRequest();
        const std::lock_guard lock(request.mutex);
        if (!request.reason.isEmpty() && ending_.load() == Finished) {
            // The stopped command's log ends with the signal that stopped it.
            logManager().log(2, request.reason, QStringLiteral("SISConfig::stopCommand"));
        }
        request.command = nullptr;
    }
    stopRequest().changed.notify_all();
}

AppParam* SISConfig::addParam(const QString& group, const QString& key, const QString& name,
                              const QString& type, const QString& help, const QString& defaultValue) {
    AppParam* param =
        declareParam(QStringLiteral("SISConfig::addParam"), group, key, name, type, help, defaultValue);
    if (param == nullptr) {
        return nullptr;
    }
    // Lists narrow each other: a district chooses the schools, a school the years.
    if (paramsByKey.count(QStringLiteral("district")) != 0 &&
        (key == QLatin1String("school") || key == QLatin1String("year"))) {
        param->prerequisites.insert(QStringLiteral("district"), QString());
    }
    if (key == QLatin1String("year")) {
        param->prerequisites.insert(QStringLiteral("school"), QString());
    }
    return param;
}

void SISConfig::declareParams() {
    const QString global = QStringLiteral("global");
    const QString all = QStringLiteral("Extract All Data");
    const QString allHelp = QStringLiteral("Extract all available data.");
    addParam(global, "all", all, "switch", allHelp, "");
    addParam(global, "att", all, "switch", allHelp, "");
    addParam(global, "demo", all, "switch", allHelp, "");
    addParam(global, "help", "Help", "switch", "Show command line usage.", "");
    addParam(global, "group", "Group", "default", "Set group.", "");
    addParam(global, "paramkey", "Param Key", "default", "Return parameter information", "");
    addParam(global, "path", "CDE Folder", "folder", "Set the CDE Folder", "");
    addParam(global, "logpath", "Log Folder", "folder", "Set the Log Folder", "");
    addParam(global, "log", "Log", "default", "Set the logging style.", "");
    addParam(global, "validate", "Validate", "default", "Validate command line interface features.", "");
    addParam(global, "inactivedate", "Inactive Date", "default",
             "Include Inactive Staff and Students after this date.", "");
    addParam(global, "overlapdays", "Overlap Days", "default",
             "Days before today whose absences are compared with the source again, so that corrections and "
             "deletions reach the target (0: none; default: the folder's setting, else 14).",
             "");
    addParam(global, "year", "SchoolYear", "default", "School Year, hidden used for testing", "");
    addParam(global, "teacher", "Teacher", "bridgelist", "List of teachers available in associated bridge",
             "");
    addParam(global, "timeout", "Timeout", "default",
             "Seconds to wait for an answer from the source before the command fails.",
             QString::number(kDefaultTimeout));
}

int SISConfig::listValues(const QString& key) {
    for (const char* n : {"1", "2", "3"}) {
        emit writeList(QStringLiteral("list"), key, QString::fromLatin1(n), QStringLiteral("List ") + n,
                       QString());
    }
    return validateNumber.value_or(0);
}

int SISConfig::extractionMode(const QMap<QString, bool>& switches) {
    int mode = -1;  // "all" keeps every bit
    if (switches.value(QStringLiteral("demo"))) {
        mode = 1;
    }
    if (switches.value(QStringLiteral("att"))) {
        mode &= 2;
    }
    return mode;
}

QString SISConfig::logFileBase(const QString& shortName, const QString& siteLabel, const QString& school) {
    static const QRegularExpression unsafe(
        QStringLiteral(R"([^A-Z,a-z,0-9,\^,\&,\',\@,\{,\},\[,\],\,,\$,\=,\!,\-,\#,\(,\),\%,\.,\+,\~,\_])"));
    QString base = shortName + '-' + siteLabel + '-' + school;
    return base.replace(unsafe, QStringLiteral("_"));
}

int SISConfig::processCommandLine(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromUtf8(argv[i]));
    }
    return processCommandLine(arguments);
}

int SISConfig::processCommandLine(const QStringList& arguments) {
    const QString method = QStringLiteral("SISConfig::processCommandLine");
    LogManager::instance(appShortName_);
    for (const QString& arg : maskedArguments(arguments, passwordOptionKeys())) {
        emit writeLog(8, "Arguments: " + arg, method);
    }
    paramValues.insert(QStringLiteral("apppath"), arguments.value(0));

    CommandLineParser parser(arguments.mid(1), QFileInfo(arguments.value(0)).fileName());
    parser.declareCommand(QStringLiteral("command"));
    for (const QString& key : switchKeyList) {
        parser.declareSwitch(key);
    }
    const QStringList secrets = passwordOptionKeys();
    for (const QString& key : paramKeyList) {
        parser.declareOption(key, QString(), secrets.contains(key));
    }
    installMessageHandler();
    const CommandLineParser::Result parsed = parser.parse();
    if (parsed == CommandLineParser::Result::Unsupported) {
        endsAtOnce_ = true;
        return 2;
    }
    const bool ok = parsed == CommandLineParser::Result::Parsed;
    emit writeLog(8, QStringLiteral("Parsing arguments ") + (ok ? "succeeded." : "failed."),
                  QStringLiteral("SISConfig:::processCommandLine"));
    paramValues.insert(QStringLiteral("command"), parser.command());
    for (const QString& key : switchKeyList) {
        switchValues.insert(key, parser.switchValue(key));
    }
    for (const QString& key : paramKeyList) {
        paramValues.insert(key, parser.optionValue(key));
    }

    const QString command = value(QStringLiteral("command"));
    if (!ok || command == QLatin1String("help") || switchValues.value(QStringLiteral("help"))) {
        writeUsage(parser.applicationName());
        emptyProgress();
        return finishCommand(1, QString(), "args: " + parser.arguments().join(QStringLiteral(", ")));
    }

    for (const QString& key : paramKeyList) {
        const auto it = paramsByKey.find(key);
        if (it == paramsByKey.end()) {
            continue;
        }
        const QString& type = it->second.type;
        QString v = value(key);
        if (type == QLatin1String("folder") || type == QLatin1String("file")) {
            // A quoted folder that ends in a separator arrives with a quote in its place.
            paramValues.insert(key, v.replace(QLatin1Char('"'), QDir::separator()));
        } else if (type == QLatin1String("password") && !v.isEmpty()) {
            const QString plain = QString(key).remove(QStringLiteral("encode"));
            if (plain != key) {
                paramValues.insert(plain, decodePassword(v));
            }
        }
    }

    QString passwordProblem;
    if (!PasswordSource::resolve(paramValues, qEnvironmentVariable("CREDENTIALS_DIRECTORY"),
                                 passwordProblem)) {
        emit writeError(QStringLiteral("Password File Error"), passwordProblem);
        return refuseCommand(command, passwordProblem);
    }

    bool isNumber = false;
    const int n = value(QStringLiteral("validate")).toInt(&isNumber, 10);
    if (isNumber) {
        validateNumber = n;
    }

    const int required = checkGroup(command);
    if (required != 0) {
        return refuseCommand(command, QStringLiteral("Required parameter missing."), required);
    }

    QString refusedOption;
    if (!settleOptionValues(refusedOption)) {
        return refuseCommand(command, refusedOption);
    }

    const QString path = value(QStringLiteral("path"));
    // A verification leaves every file of the folder as it was, the status files included.
    if (command != QLatin1String("run") && command != QLatin1String("verify")) {
        claimStatusFolder(command, path);
    }
    setLogStyle(logManager(), value(QStringLiteral("log")));
    const int mode = extractionMode(switchValues);

    QString message;
    int result = 1;
    if (command == QLatin1String("params")) {
        watchSource(QStringLiteral("Failed retrieving parameters."));
        result = validateNumber ? validateParams(*validateNumber, message) : commandParams(message);
        if (result == 1) {
            message = QStringLiteral("Failed retrieving parameters.");
        }
    } else if (command == QLatin1String("defaults")) {
        result = validateNumber ? validateDefaults(*validateNumber) : commandDefaults();
        message = QStringLiteral("Failed retrieving default settings.");
    } else if (command == QLatin1String("test")) {
        LogHeader(QString());
        message = QStringLiteral("Failed testing parameters.");
        watchSource(message);
        const QString group = value(QStringLiteral("group"));
        result = validateNumber ? validateTest(*validateNumber, group, message) : commandTest(group, message);
    } else if (command == QLatin1String("run")) {
        QString refusal;
        if (!lockRunFolder(path, refusal)) {
            return finishInFolder(1, refusal);
        }
        prepareRun(path);
        LogHeader(QString());
        message = QStringLiteral("Failed on extraction.");
        watchSource(message);
        result = validateNumber ? validateRun(*validateNumber) : runExtraction(mode);
    } else if (command == QLatin1String("verify")) {
        QString refusal;
        if (!prepareVerify(path, refusal)) {
            emptyProgress();
            return finishInFolder(1, refusal);
        }
        LogHeader(QString());
        message = QStringLiteral("Failed on verification.");
        watchSource(message);
        result = verifyAttendance(path);
    } else if (command == QLatin1String("version")) {
        result = validateNumber ? validateVersion(*validateNumber) : commandVersion();
        message = QStringLiteral("Failed retrieving version.");
    } else {
        reportError("This command has not been defined: " + command);
        message = QStringLiteral("Command not defined.");
    }
    return finishInFolder(result, message);
}

int SISConfig::refuseCommand(const QString& command, const QString& reason, int code) {
    const QString group = value(QStringLiteral("group"));
    if (command == QLatin1String("test") && !group.isEmpty()) {
        // Answered as every failed test is.
        emit writeProgress(QStringLiteral("start_progress"), 0);
        emit writeTest(QStringLiteral("fail"), group, reason);
        emit writeProgress(QStringLiteral("end_progress"), -1);
    } else {
        emptyProgress();
    }
    if (command == QLatin1String("run")) {
        // A night whose run could not start must not read as the last good one.
        QString unused;
        const QString path = settledPath(value(QStringLiteral("path")), unused);
        if (!path.isEmpty() && QFileInfo(path).isDir()) {
            claimRunFolder(path);
        }
    }
    return finishInFolder(code, reason);
}

QString SISConfig::settledPath(const QString& v, QString& problem) {
    // The path is used as named: relative to the folder the host started the program in, letters of any
    // script and backslashes as they are. What cannot be used that way is refused before anything is
    // written.
    const QString absolute = QDir::isAbsolutePath(v) ? v : QDir::currentPath() + QLatin1Char('/') + v;
    if (v.startsWith(QLatin1Char('~'))) {
        problem = QStringLiteral("A leading \"~\" is not expanded here; name the folder in full: ") + v;
    } else if (v.contains(QChar::ReplacementCharacter)) {
        problem = QStringLiteral("The path is not valid UTF-8: ") + v;
    } else if (QFile::encodeName(absolute).size() > kLongestPath) {
        problem = QStringLiteral("The path is longer than %1 bytes: %2...")
                      .arg(kLongestPath)
                      .arg(absolute.left(64));
    }
    return v.isEmpty() || !problem.isEmpty() ? QString() : absolute;
}

bool SISConfig::settleOptionValues(QString& problem) {
    for (const QString& key : paramKeyList) {
        const auto it = paramsByKey.find(key);
        const QString v = value(key);
        if (it == paramsByKey.end() || v.isEmpty() ||
            (it->second.type != QLatin1String("folder") && it->second.type != QLatin1String("file"))) {
            continue;
        }
        const QString absolute = settledPath(v, problem);
        if (absolute.isEmpty()) {
            emit writeError(key, problem);
            return false;
        }
        paramValues.insert(key, absolute);
    }

    const QString timeout = value(QStringLiteral("timeout"));
    int seconds = kDefaultTimeout;
    if (!timeout.isEmpty()) {
        bool isNumber = false;
        seconds = timeout.toInt(&isNumber, 10);
        if (!isNumber || seconds < 1 || seconds > kLongestTimeout) {
            problem = QStringLiteral("The timeout must be a whole number of seconds from 1 to %1: %2")
                          .arg(kLongestTimeout)
                          .arg(timeout);
            emit writeError(QStringLiteral("timeout"), problem);
            return false;
        }
    }
    ado::SourceWatchdog::instance().setLimit(std::chrono::seconds(seconds));
    return true;
}

FolderLock::Result SISConfig::claimRunFolder(const QString& path) {
    statusFolder_ = path;
    const FolderLock::Result held = folderLock_.lock(path, kRunLockPatience);
    if (held == FolderLock::Result::Locked || held == FolderLock::Result::Unavailable) {
        statusRule_ = StatusRule::Owned;
        clearStatusFiles(path);
    }
    return held;
}

QString SISConfig::lockFileProblem(const QString& path, int error) {
    return "The lock file of the folder cannot be used: " + QDir(path).filePath(FolderLock::fileName()) +
           " (" + QString::fromLocal8Bit(std::strerror(error)) + ")";
}

bool SISConfig::lockRunFolder(const QString& path, QString& refusal) {
    switch (claimRunFolder(path)) {
        case FolderLock::Result::Locked:
            return true;
        case FolderLock::Result::HeldElsewhere:
            // The folder's files, status files included, belong to the run that holds it.
            emit writeError(QStringLiteral("Folder Locked"),
                            "Another extraction is running in the folder: " + path);
            return false;
        case FolderLock::Result::NoFolder:
            emit writeError(QStringLiteral("file"), "Could not create cde folder: " + path);
            return false;
        case FolderLock::Result::Unavailable: {
            // Never a run without the lock: another run could be writing the same files. The night is
            // recorded as failed all the same, so that it never reads as the last good one.
            refusal = lockFileProblem(path, folderLock_.error());
            emit writeError(QStringLiteral("Folder Locked"), refusal);
            return false;
        }
    }
    return false;
}

void SISConfig::claimStatusFolder(const QString& command, const QString& path) {
    // The defaults command's path names the configuration file it reads: only a folder that already
    // stands there is a status folder, and nothing is made at a name it was asked to read.
    if (path.isEmpty() || (command == QLatin1String("defaults") && !QFileInfo(path).isDir())) {
        return;
    }
    statusFolder_ = path;
    // Only while no run holds the folder: its status files are that run's.
    FolderLock moment;
    if (moment.lock(path) == FolderLock::Result::Locked) {
        clearStatusFiles(path);
        statusRule_ = StatusRule::IfUnchanged;
        statusAtStart_ = StatusFiles::stateOf(path, statusFileNames());
    }
}

QStringList SISConfig::statusFileNames() const {
    return {StatusFiles::kRunStarted, outcomeFileName(), appFinishedFile_};
}

int SISConfig::finishInFolder(int code, const QString& message) {
    int state = Running;
    if (!ending_.compare_exchange_strong(state, Finishing)) {
        waitForTheEnd();  // another thread is ending the process and records the outcome
    }
    const int result = writeOutcome(code, message, stopReason());
    exitCode_.store(result);
    // Stored before the lock is taken: a thread ending the process holds it while it waits for this.
    ending_.store(Finished);
    { const std::lock_guard lock(stopRequest().mutex); }
    stopRequest().changed.notify_all();
    return result;
}

int SISConfig::writeOutcome(int code, QString message, const QString& stop) {
    if (!stop.isEmpty()) {
        code = code == 0 ? 1 : code;
        message = stop;
    }
    QString folder;
    if (statusRule_ == StatusRule::Owned) {
        folder = statusFolder_;
    } else if (statusRule_ == StatusRule::IfUnchanged) {
        // A run (or another command) that began in the folder since this command did owns its status now.
        FolderLock moment;
        if (moment.lock(statusFolder_) == FolderLock::Result::Locked &&
            StatusFiles::stateOf(statusFolder_, statusFileNames()) == statusAtStart_) {
            folder = statusFolder_;
        }
    }
    return finishCommand(code, folder, message);
}

void SISConfig::watchSource(const QString& failure) {
    abandonedFailure_ = failure;
    ado::SourceWatchdog::instance().setHandler(
        [this](ado::SourceWatchdog::Event event, const QString& text) { sourceEvent(event, text); });
}

void SISConfig::sourceEvent(ado::SourceWatchdog::Event event, const QString& text) {
    // On the watchdog's thread, while this thread's objects wait in the blocked call: direct calls only.
    const QString method = QStringLiteral("SISConfig::sourceEvent");
    if (event == ado::SourceWatchdog::Event::Stopped) {
        logManager().log(2, text + QStringLiteral(" The command is stopped."), method);
        return;
    }
    // The driver keeps the call although it was cancelled: the command ends here, as a failed one, and the
    // kernel releases the folder's lock with the process.
    logManager().log(
        2, QStringLiteral("The driver did not give the cancelled call back; the command ends here."), method);
    const std::lock_guard lock(stopRequest().mutex);
    endHere(abandonedFailure_);
}

void SISConfig::endHere(const QString& failure) {
    const QString stop = stopRequest().reason;
    int state = Running;
    if (ending_.compare_exchange_strong(state, EndedElsewhere)) {
        if (!stop.isEmpty()) {
            logManager().writeLastLine(2, stop, QStringLiteral("SISConfig::endHere"));
        }
        if (folderLock_.held()) {
            copyLogIntoFolder(logManager().logFilePath());
        }
        const int code = writeOutcome(1, failure, stop);
        std::fflush(nullptr);
        std::_Exit(code);
    }
    if (state == EndedElsewhere) {
        waitForTheEnd();
    }
    while (ending_.load() == Finishing) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // The outcome is recorded; what holds the process up is its teardown.
    if (!stop.isEmpty()) {
        logManager().writeLastLine(2, stop, QStringLiteral("SISConfig::endHere"));
    }
    std::fflush(nullptr);
    std::_Exit(exitCode_.load());
}

void SISConfig::waitForTheEnd() {
    for (;;) {
        std::this_thread::sleep_for(std::chrono::hours(1));
    }
}

QString SISConfig::stopReason() {
    const std::lock_guard lock(stopRequest().mutex);
    return stopRequest().reason;
}

void SISConfig::stopCommand(const QString& signalName) {
    StopRequest& request = stopRequest();
    std::unique_lock lock(request.mutex);
    request.reason = "Stopped by " + signalName + ".";
    // Every question to the source fails from now on, and the one under way is cancelled: the command winds
    // down through its ordinary failure path, which publishes nothing it had not finished.
    ado::SourceWatchdog::instance().stop(request.reason);
    const auto recorded = [&request] {
        return request.command == nullptr || request.command->ending_.load() == Finished;
    };
    if (!request.changed.wait_for(lock, kStopGrace, recorded)) {
        // Still at work where the source is not asked (a cache that another process holds, say): the
        // outcome is recorded here and the process ends.
        request.command->logManager().log(
            2, QStringLiteral("The command did not reach a point where it could stop; it ends here."),
            QStringLiteral("SISConfig::stopCommand"));
        request.command->endHere(request.reason);
    }
    if (!request.changed.wait_for(lock, kStopGrace, [&request] { return request.command == nullptr; })) {
        request.command->endHere(request.reason);
    }
}

void SISConfig::copyLogIntoFolder(const QString& logPath) {
    if (logPath.isEmpty()) {
        return;
    }
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly)) {
        return;
    }
    // Written once a day and never through a link: a copy or anything else already at the name stays.
    const QString copy = QDir(value(QStringLiteral("path"))).filePath(QFileInfo(logPath).fileName());
    try {
        StagedFile::writeNew(XFileSpec(copy), log.readAll());
    } catch (const XException&) {
        // A copy that cannot be named is no copy; the log itself is complete.
    }
}

void SISConfig::prepareRun(const QString& path) {
    LogManager& log = logManager();
    QString folder = value(QStringLiteral("logpath"));
    if (folder.isEmpty()) {
        folder = path;
    }
    const QString base = logFileBase(appShortName_, appinfo::siteLabel(), value(QStringLiteral("school")));
    log.setLogPath(folder);
    if (!log.setLogFile(base)) {
        const QString documents = platform::documentsFolder();
        emit writeError(QStringLiteral("Log File Error"),
                        "Could not write to: " + QDir(folder).filePath(base) +
                            ". Will now write to: " + QDir(documents).filePath(base));
        log.setLogPath(documents);
        log.setLogFile(base);
    }
    // Left by a run that died while writing; the lock says no other run is writing them now.
    StagedFile::removeLeftovers(XFileSpec(QDir(path).absolutePath() + QLatin1Char('/')));
    paramValues.insert(QStringLiteral("logSchema"),
                       statusFileSucceeded(path, QLatin1String(StatusFiles::kRunStarted))
                           ? QStringLiteral("false")
                           : QStringLiteral("true"));
    reportStatusFile(
        path, QLatin1String(StatusFiles::kRunStarted),
        platform::Clock::now().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")) + "\tExtract Running");
    if (logStyleMarker == QLatin1String("extract")) {
        log.setDestinations(-2);
    }
}

bool SISConfig::prepareVerify(const QString& path, QString& refusal) {
    int error = 0;
    switch (FolderLock::probe(path, &error)) {
        case FolderLock::Result::HeldElsewhere:
            refusal =
                "An extraction is running in the folder: " + path + "; verify it once the run has ended.";
            emit writeError(QStringLiteral("Folder Locked"), refusal);
            return false;
        case FolderLock::Result::NoFolder:
            refusal = "There is no output folder to verify: " + path;
            emit writeError(QStringLiteral("file"), refusal);
            return false;
        case FolderLock::Result::Unavailable:
            refusal = lockFileProblem(path, error);
            emit writeError(QStringLiteral("Folder Locked"), refusal);
            return false;
        case FolderLock::Result::Locked:
            break;
    }
    // The day's log, never in the folder being verified: --logpath, else the documents folder's log folder.
    LogManager& log = logManager();
    QString folder = value(QStringLiteral("logpath"));
    if (folder.isEmpty()) {
        folder = StatusFiles::folderOf(QString());
    }
    log.setLogPath(folder);  // made with its parents
    if (!log.setLogFile(logFileBase(appShortName_, appinfo::siteLabel(), value(QStringLiteral("school"))))) {
        emit writeError(QStringLiteral("Log File Error"), "Could not write to: " + folder);
    }
    return true;
}

int SISConfig::verifyAttendance(const QString& path) {
    const StatusFiles::State before = StatusFiles::stateOf(path, folderFileNames(path));
    const bool equal = verifyTask(paramValues);
    // A run that started meanwhile may have changed what was compared: the answer would be of no one moment.
    if (FolderLock::probe(path) != FolderLock::Result::Locked ||
        StatusFiles::stateOf(path, folderFileNames(path)) != before) {
        emit writeLog(
            3,
            QStringLiteral("Verify: a run changed the folder while it was compared; verify it again once "
                           "the run has ended."),
            QStringLiteral("SISConfig::verifyAttendance"));
        return 1;
    }
    return equal ? 0 : 1;
}

QStringList SISConfig::folderFileNames(const QString& path) {
    QStringList names = QDir(path).entryList({QStringLiteral("Update *.CDU")}, QDir::Files, QDir::Name);
    names << QStringLiteral("SchoolConfig.xml") << QStringLiteral("Attendance/Attendance.db")
          << QStringLiteral("Attendance/Attendance.db-journal");
    return names;
}

void SISConfig::clearStatusFiles(const QString& path) {
    // What a command that dies leaves behind must not read as the outcome of an earlier one.
    const QFileInfo info(path);
    if (info.exists() && !info.isDir()) {
        return;  // a file (the defaults command's configuration file) has no status files
    }
    removeStatusFile(path, QStringLiteral("finished.tmp"));
    removeStatusFile(path, appFinishedFile_);
    removeStatusFile(path, outcomeFileName());
}

int SISConfig::runExtraction(int mode) {
    LogManager& log = LogManager::instance();
    if (logStyleMarker == QLatin1String("extract")) {
        setLogStyle(log, QStringLiteral("consoleoff"));
    }
    const QString logPath = LogManager::instance().logFilePath();
    const bool ok = executeTask(paramValues, mode);
    copyLogIntoFolder(logPath);
    return ok ? 0 : 1;
}

void SISConfig::connectTask(AppTaskBase& task) {
    SISMessageWriter* w = &messageWriter();
    connect(&task, &AppTaskBase::writeLog, &logManager(), &LogManager::log);
    connect(&task, &AppTaskBase::writeVersion, w, &SISMessageWriter::outVersion);
    connect(&task, &AppTaskBase::writeParams, w, &SISMessageWriter::outParams);
    connect(&task, &AppTaskBase::writeHiddenParam, w, &SISMessageWriter::outHiddenParam);
    connect(&task, &AppTaskBase::writeList, w, &SISMessageWriter::outList);
    connect(&task, &AppTaskBase::writeFile, w, &SISMessageWriter::outFile);
    connect(&task, &AppTaskBase::writeNumber, w, &SISMessageWriter::outNumber);
    connect(&task, &AppTaskBase::writeDate, w, &SISMessageWriter::outDate);
    connect(&task, &AppTaskBase::writeTest, w, &SISMessageWriter::outTest);
    connect(&task, &AppTaskBase::writeProgress, w, &SISMessageWriter::outProgress);
    connect(&task, &AppTaskBase::writeProgressIncrement, w, &SISMessageWriter::outProgress_increment);
    connect(&task, &AppTaskBase::writeProgressWarning, w, &SISMessageWriter::outProgress_warning);
    connect(&task, &AppTaskBase::writeSetting, w, &SISMessageWriter::outSetting);
    connect(&task, &AppTaskBase::writeSettingIncrement, w,
            qOverload<const QString&, const QString&, const QString&, const QString&>(
                &SISMessageWriter::outSetting_increment));
    connect(&task, &AppTaskBase::writeWarning, w, &SISMessageWriter::outWarning);
    connect(&task, &AppTaskBase::writeMissing, w, &SISMessageWriter::outMissing);
    connect(&task, &AppTaskBase::writeError, w, &SISMessageWriter::outError);
    connect(&task, &AppTaskBase::clearMessages, w, &SISMessageWriter::clearMessages);
}

QString SISConfig::AppDataPath() {
    const QString method = QStringLiteral("SISConfig::AppDataPath");
    QString base = platform::appDataFolder();
    if (!platform::createFolderPath(base)) {
        base = platform::commonAppDataFolder();
    }
    if (base.isEmpty() || !QFileInfo(base).isDir()) {
        emit writeLog(4, "appPath: " + base + " doesn't exist or is blank", method);
        return base;
    }
    if (oldShortName_.isNull()) {
        emit writeLog(
            3,
            QStringLiteral("oldShortName_ not defined, please set in ApplicationBase, will try from base "
                           "appPath folder"),
            method);
        return base + QStringLiteral("/Corvanta/");
    }
    const QString path = base + QStringLiteral("/Corvanta/") + oldShortName_;
    emit writeLog(7, "appPath: " + path, method);
    return path;
}

int SISConfig::commandDefaults() {
    const QString method = QStringLiteral("SISConfig::commandDefaults");
    QString path = value(QStringLiteral("path"));
    if (path.isEmpty()) {
        QDir dir(AppDataPath());
        if (isPlainFile(dir.filePath(kConfigFile))) {
            path = dir.filePath(kConfigFile);
        } else {
            while (dir.dirName() != QLatin1String("Corvanta")) {
                if (dir.isRoot() || !dir.cdUp()) {
                    emit writeProgress(QStringLiteral("start_progress"), 0);
                    emit writeLog(8, "Cannot find AppDataPath: " + dir.path(), method);
                    emit writeProgress(QStringLiteral("end_progress"), -1);
                    return 1;
                }
            }
            const QStringList entries =
                dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System, QDir::Name | QDir::DirsFirst);
            for (const QString& entry : entries) {
                QDir candidate(dir);
                if (!candidate.cd(entry)) {
                    continue;
                }
                const QString subfolder = configSubfolderName();
                if (!subfolder.isEmpty() && !candidate.cd(subfolder)) {
                    continue;
                }
                if (isPlainFile(candidate.filePath(kConfigFile))) {
                    dir = candidate;
                    break;
                }
            }
            path = dir.filePath(kConfigFile);
        }
    }
    emit writeLog(8, "Path to CVConfig.xml: " + path, method);

    // Only a regular file: a FIFO or a device would block the command or never end.
    const std::optional<QByteArray> read = platform::readRegularFile(path, kConfigSizeLimit, true);
    if (!read) {
        emit writeProgress(QStringLiteral("start_progress"), 0);
        emit writeLog(4, "Could not open: " + path, method);
        emit writeProgress(QStringLiteral("end_progress"), -1);
        return 1;
    }
    const QByteArray& content = *read;
    if (content.size() > kConfigSizeLimit) {
        emit writeProgress(QStringLiteral("start_progress"), 0);
        emit writeLog(4,
                      tr("%1 is larger than %2 bytes; not read as a configuration file.")
                          .arg(path)
                          .arg(kConfigSizeLimit),
                      method);
        emit writeProgress(QStringLiteral("end_progress"), -1);
        return 1;
    }
    if (const int depth = nestingDepth(content); depth > kConfigDepthLimit) {
        emit writeProgress(QStringLiteral("start_progress"), 0);
        emit writeLog(4,
                      tr("%1 nests elements deeper than %2 levels; not read as a configuration file.")
                          .arg(path)
                          .arg(kConfigDepthLimit),
                      method);
        emit writeProgress(QStringLiteral("end_progress"), -1);
        return 1;
    }
    QDomDocument document;
    QString error;
    int line = 0;
    int column = 0;
    if (!document.setContent(content, true, &error, &line, &column)) {
        emit writeLog(8, tr("XML parse error at line %1, column %2: %3").arg(line).arg(column).arg(error),
                      method);
        emptyProgress();
        return 1;
    }
    const QDomElement root = document.documentElement();
    if (root.isNull() || root.tagName() != QLatin1String("CVSchoolConfFile")) {
        emit writeLog(8, QStringLiteral("The file is not a valid CVConfig.xml file.  May be empty."), method);
        emptyProgress();
        return 1;
    }
    const QDomNodeList schools = root.elementsByTagName(QStringLiteral("CVSchoolConf"));
    emit writeProgress(QStringLiteral("start_progress"), schools.size());
    for (int i = 0; i < schools.size(); ++i) {
        emit writeSetting(QStringLiteral("start_setting"), -1);
        configSettings(schools.at(i).toElement());
        afterConfigElement();
        emit writeSetting(QStringLiteral("end_setting"), -1);
    }
    emit writeProgress(QStringLiteral("end_progress"), -1);
    return 0;
}
