// The one log manager of the process.
//
// Every layer logs by emitting writeLog(level, message, method), connected to the slot log(). A message
// goes to up to two destinations: the console, as a "log" line on standard output (levels 0 to 7), and
// the daily log file of the run (levels 0 to 9; level 9 is written Base64-encoded). Until a run sets a
// folder and a file base there is no file and file lines are dropped.
//
// Owns: the open log file, the destination bits, the name prefix of file lines, the console stream.
// Invariants: the log file, when open, is <folder>/<file base>-<yyyy-MM-dd>.log; after it is set up, at
// most seven daily files of that base are left in the folder.
// Every line, of every level, is on disk when it is logged.
// Thread-safe: every operation holds the manager's lock, so a line logged from another thread (a signal that
// stops the run, a source that stopped answering) is never mixed into another.
// REQUIRES: the console device stays open for the life of the manager. "Now" comes from platform::Clock, so
// tests can move the day.
#pragma once

#include <QDir>
#include <QFile>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTextStream>

#include <mutex>
#include <optional>

class QIODevice;

class LogManager : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY(LogManager)

  public:
    // Destination bits.
    static constexpr int kConsole = 1;
    static constexpr int kFile = 2;
    // Daily files of one base name kept by rotation.
    static constexpr int kKeptFiles = 7;

    // The process's manager, created on first use with its console on standard output. A non-empty name
    // replaces the prefix of file lines. Every call then writes a header block into the open log file
    // (see writeHeader), and, with a title, the console line title + " started.".
    static LogManager& instance(const QString& name = QString(), const QString& title = QString(),
                                const QString& version = QString(), const QString& buildDate = QString());

    // A manager writing its console lines to console (tests, or a second process-wide sink).
    explicit LogManager(QIODevice* console, const QString& name, QObject* parent = nullptr);
    ~LogManager() override;

    // The name of a level, exactly 13 characters; the empty text for level 6 and unknown levels.
    static QString levelName(int level);

    void setName(const QString& name);
    int destinations() const;
    void setDestinations(int destinations);

    // Makes folder the log folder (created with its parents) and sets the file up. Empty: no change.
    void setLogPath(const QString& folder);
    // An empty base changes nothing and returns true; otherwise the base is kept and the file set up.
    bool setLogFile(const QString& base);
    // Opens <folder>/<base>-<today>.log for appending and rotates; false when it cannot be opened.
    bool setupLogFile();
    // Deletes the oldest daily files of the current base in the folder of path until seven dated up to today
    // are left; files dated after today are left alone.
    void rotateLogFiles(const QString& path);

    // The path of the open log file; empty when there is none.
    QString logFilePath() const;
    // Logs one last line and lets no other line follow, from any thread: the manager's lock stays taken.
    // REQUIRES: the process ends right after.
    void writeLastLine(int level, const QString& message, const QString& method);

    // The header block: blank line, title block, build date, generation time, version, OS name.
    void writeHeader(const QString& title, const QString& version, const QString& buildDate);

    // One file line (levels 0 to 9) when a log file is open, whatever the destination bits say.
    void fileLine(int level, const QString& message, const QString& method);
    // One console "log" line (levels 0 to 7), whatever the destination bits say.
    void consoleLine(int level, const QString& message, const QString& method);
    // Appends text and CR LF to the open log file.
    void writeLine(const QString& text);

  public slots:
    void log(int logLevel, const QString& message, const QString& method);

  private:
    bool fileReady() const;
    // Opens file_ on path for appending, creating it; false for anything but a regular file (a link
    // included) or when the system refuses.
    bool openForAppending(const QString& path);

    int destinations_ = -1;
    QString name_;
    QString fileBase_;
    std::optional<QDir> folder_;
    QFile file_;
    QString filePath_;  // the path file_ was opened on (a file opened by descriptor has no name)
    QTextStream console_;
    QTextStream fileStream_;
    mutable std::recursive_mutex mutex_;
};
