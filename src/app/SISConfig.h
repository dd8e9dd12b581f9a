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
#include "libraries/ado/SourceWatchdog.h"

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

    ExpEngine& engine() { return *engine_; }

  private:
    void prepareRun(const QString& path);
    // Removes the finished files and the status file of folder before a command changes anything.
    void clearStatusFiles(const QString& path);
    // Checks and settles the option values before the command touches anything: folder and file paths
    // made absolute (relative ones to the working folder) or refused with an "error" line naming the key
    // (a leading "~", text that is not UTF-8, a path too long for the names written inside it); the
    // timeout read and given to the source watchdog. False when a value was refused.
    bool settleOptionValues();
    // Takes the run's lock on its output folder; false, with the "error" line, when the run must not go on.
    bool lockRunFolder(const QString& path);
    // finishCommand with the status files of path written only while this process holds its lock (a run),
    // or can take it for the moment (any other command): a run in the folder keeps its own.
    int finishInFolder(int code, const QString& path, const QString& message);
    // Makes this command the receiver of the source watchdog's events: a silent source is logged, and a
    // call the driver never gives back ends the process with failure as the status of path.
    void watchSource(const QString& path, const QString& failure);
    void sourceEvent(ado::SourceWatchdog::Event event, const QString& text);
    // Leaves a copy of the log file at logPath in the output folder, unless one (or anything else) is there.
    void copyLogIntoFolder(const QString& logPath);

    std::unique_ptr<ExpEngine> engine_;
    bool endsAtOnce_ = false;
    FolderLock folderLock_;     // a run's claim on its output folder, held to the end of the process
    QString abandonedPath_;     // the status folder of a command that a silent source ends
    QString abandonedFailure_;  // and its failure text
};
