// The extractor's frame on top of AppBase: the framework parameters and switches, the whole of a process
// run (processCommandLine: parse, check, prepare, dispatch, status files), the run command's extraction
// step, the search for and the reading of the target application's "CVConfig.xml" (defaults command).
//
// Owns: the extraction engine (the process's one task object), created and wired at construction and
// destroyed with the application object; the extraction itself is reached through executeTask, which the
// concrete application provides.
// REQUIRES: processCommandLine is called once per object, after construction has declared every parameter.
#pragma once

#include "app/AppBase.h"
#include "app/FolderLock.h"
#include "app/StatusFiles.h"
#include "libraries/ado/SourceWatchdog.h"

#include <atomic>
#include <memory>

class AppTaskBase;
class ExpEngine;

class SISConfig : public AppBase {
    Q_OBJECT
    Q_DISABLE_COPY(SISConfig)

  public:
    explicit SISConfig(QObject* parent = nullptr);
    SISConfig(SISMessageWriter& writer, QObject* parent);
    ~SISConfig() override;

    // The whole run of one process; the result is the exit code.
    int processCommandLine(int argc, char** argv);
    int processCommandLine(const QStringList& arguments);
    // True after processCommandLine met an argument that ends the process at once: the caller exits with
    // its result before anything else (the engine's teardown included) can write a line.
    bool endsAtOnce() const { return endsAtOnce_; }

    QString AppDataPath() override;

    // Connects a task object's host signals to this application's message writer and its writeLog to the
    // log manager (directly, like the application's own). Its tree, hidden, status and manage signals stay
    // unconnected: emitting them has no effect.
    void connectTask(AppTaskBase& task);

    // The extraction mode of the switches: -1 (everything) by default and with "all", 1 with "demo"
    // (tables only); "att" keeps only the attendance bit (2 alone, 0 with "demo").
    static int extractionMode(const QMap<QString, bool>& switches);

    // The base name of a run's log file: short name, site label and school, unsafe characters as "_".
    static QString logFileBase(const QString& shortName, const QString& siteLabel, const QString& school);

    // Asks the process's command to stop, from any thread (the receiver of SIGTERM and SIGINT); signalName
    // ("SIGTERM") names the reason. Every question to the source fails from now on and the one under way is
    // cancelled, so the command winds down at its next step and records "Failed" with "Stopped by
    // SIGTERM."; its log ends with that line. A command that has not recorded its outcome kStopGrace later,
    // or not ended another kStopGrace on, is ended from here with the same outcome. Returns when the
    // command ended on its own.
    static void stopCommand(const QString& signalName);

  protected:
    void finishHook() override {}
    AppParam* addParam(const QString& group, const QString& key, const QString& name, const QString& type,
                       const QString& help, const QString& defaultValue) override;
    void declareParams() override;
    int runExtraction(int mode) override;
    int listValues(const QString& key) override;
    int commandDefaults() override;

    // Runs the extraction with a copy of the values; true when it succeeded.
    virtual bool executeTask(const ParamValues& values, int mode) = 0;
    // The verify command's comparison of the source's attendance with the folder's; true when they agree.
    virtual bool verifyTask(const ParamValues& values) = 0;

    ExpEngine& engine() { return *engine_; }

  private:
    // How this command may write the status files of its folder (the rules are StatusFiles').
    enum class StatusRule {
        None,         // not at all: no folder, or another run holds it
        Owned,        // as it ends: it holds the folder (a run), or no run can (an unusable lock file)
        IfUnchanged,  // only when no run or other command changed them since it began (any other command)
    };
    // The command's progress towards its end, shared with the threads that may end the process.
    enum EndState : int {
        Running,         // at work
        Finishing,       // recording its outcome
        Finished,        // outcome recorded; tearing down
        EndedElsewhere,  // another thread is ending the process
    };

    void prepareRun(const QString& path);
    // The verify command: refused (false, the reason in refusal) for a folder that is missing or that a run
    // holds; otherwise its log is set up outside the folder, and the folder is compared and left as it was.
    bool prepareVerify(const QString& path, QString& refusal);
    int verifyAttendance(const QString& path);
    // The files of the folder whose change would change a verification's answer.
    static QStringList folderFileNames(const QString& path);
    // Removes the finished files and the status file of folder before a command changes anything.
    void clearStatusFiles(const QString& path);
    // Checks and settles the option values before the command touches anything: folder and file paths
    // made absolute (relative ones to the working folder) or refused with an "error" line naming the key
    // (a leading "~", text that is not UTF-8, a path too long for the names written inside it); the
    // timeout read and given to the source watchdog. False when a value was refused.
    // problem is the refusal's text.
    bool settleOptionValues(QString& problem);
    // v as an absolute path, or empty with problem set when it cannot be used as named (or is empty).
    static QString settledPath(const QString& v, QString& problem);
    // Ends a command refused before it ran (a password, an option, a missing value): a test answers with
    // its "test ... fail" line, and a run leaves reason as its failure in an existing output folder unless
    // another run holds it.
    int refuseCommand(const QString& command, const QString& reason, int code = 1);
    // Takes the run's lock on its output folder; false, with the "error" line, when the run must not go on;
    // refusal is then the failure to record (empty when the folder's files are another run's).
    bool lockRunFolder(const QString& path, QString& refusal);
    // Takes the run's lock on path, which becomes the status folder. When the run holds the lock, or when no
    // run can (the lock file cannot be used), the folder's status is the run's: its outcome files are
    // removed, and the run's outcome, failed or not, replaces them. Answers the lock's result.
    FolderLock::Result claimRunFolder(const QString& path);
    // The refusal for a folder whose lock file cannot be used (error: the errno of the attempt).
    static QString lockFileProblem(const QString& path, int error);
    // A command other than run: path becomes its status folder when no run holds it now, and the state of
    // its status files is noted.
    void claimStatusFolder(const QString& command, const QString& path);
    QStringList statusFileNames() const;
    // On the command's thread: records the outcome once (writeOutcome) and returns the exit code.
    int finishInFolder(int code, const QString& message);
    // The status and finished files under the command's StatusRule; stop, the reason of a stop when one
    // was asked for, replaces the outcome by "Failed" and that reason. Returns the exit code.
    int writeOutcome(int code, QString message, const QString& stop);
    // Makes this command the receiver of the source watchdog's events: a silent source is logged, and a
    // call the driver never gives back ends the process with failure as the command's outcome.
    void watchSource(const QString& failure);
    void sourceEvent(ado::SourceWatchdog::Event event, const QString& text);
    // On another thread, while the command cannot be reached: ends the process; records failure (or the
    // stop) first unless the command recorded its outcome. Never returns.
    // REQUIRES: the stop request's mutex is held.
    [[noreturn]] void endHere(const QString& failure);
    [[noreturn]] static void waitForTheEnd();
    // "Stopped by SIGTERM." once a stop was asked for, else empty.
    static QString stopReason();
    // Leaves a copy of the log file at logPath in the output folder, unless one (or anything else) is there.
    void copyLogIntoFolder(const QString& logPath);

    std::unique_ptr<ExpEngine> engine_;
    bool endsAtOnce_ = false;
    FolderLock folderLock_;     // a run's claim on its output folder, held to the end of the process
    QString abandonedFailure_;  // the failure text of a command that a silent source ends
    QString statusFolder_;      // the folder whose status files this command writes, if its rule allows
    StatusRule statusRule_ = StatusRule::None;
    StatusFiles::State statusAtStart_;  // IfUnchanged: the state the command began with
    std::atomic<int> ending_{Running};
    std::atomic<int> exitCode_{1};  // the recorded outcome's exit code, once Finished
};
