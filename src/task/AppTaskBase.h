// AppTaskBase: the root of the task class chain (AppTaskBase <- BridgeTaskBase <- CDEWriter <- ...
// <- ExpEngine). It gives every task its host signals, its progress step counts and access to the
// parameter values of the current run.
//
// A task never writes to the host or the log itself: it emits the signals below, which the application
// frame connects (directly, so every emission is handled before it returns) to the message writer and
// the log manager. Signals that nobody connected simply have no effect.
//
// Owns: nothing but its counters and a copy of the current parameter values.
// REQUIRES: used from one thread; the layers above set the step counts before ProgressTotal is asked.
#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <memory>

// The parameter values of a run: key -> text. A missing key reads as the empty text.
using TaskValues = QMap<QString, QString>;

// A list served to the host (schools, teachers): key -> display label, ordered by key.
using TaskList = QMap<QString, QString>;

class AppTaskBase : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY(AppTaskBase)

  public:
    explicit AppTaskBase(QObject* parent = nullptr);
    ~AppTaskBase() override;

    // The progress total of the current run; 0 for a task that does not size its progress.
    virtual int ProgressTotal(int mode);
    // The task's own work. This base does nothing and fails.
    virtual bool RunTask(const TaskValues& values, int mode);
    // Fills list for the parameter paramKey. This base serves no lists: logs "Not set up yet." and fails.
    virtual bool LoadList(TaskList& list, const QString& paramKey, const TaskValues& values);
    // A fresh task of the same frame.
    virtual std::unique_ptr<AppTaskBase> CreateTask();

    // The value of key in the current run's parameter values; the empty text when it is missing.
    QString value(const QString& key) const { return m_values.value(key); }
    const TaskValues& values() const { return m_values; }
    void setValues(const TaskValues& values) { m_values = values; }

    // Progress step counts, set by the layers above (the extraction run sizes them).
    int setupSteps() const { return m_setupSteps; }
    int lookupSteps() const { return m_lookupSteps; }
    int importSteps() const { return m_importSteps; }
    int periodAttSteps() const { return m_periodAttSteps; }
    int dailyAttSteps() const { return m_dailyAttSteps; }
    int progressTotal() const { return m_progressTotal; }
    void setSetupSteps(int steps) { m_setupSteps = steps; }
    void setLookupSteps(int steps) { m_lookupSteps = steps; }
    void setImportSteps(int steps) { m_importSteps = steps; }
    void setPeriodAttSteps(int steps) { m_periodAttSteps = steps; }
    void setDailyAttSteps(int steps) { m_dailyAttSteps = steps; }

  signals:
    void writeLog(int loglevel, QString message, QString method);
    void writeVersion(QString alias, QString version, QString minversion, QString vname, QString guide);
    void writeParams(QString paramkey, QString type, QString paramname, QString help, QString defaultValue);
    void writeHiddenParam(QString paramkey, QString paramvalue, QString defaultValue);
    void writeList(QString type, QString paramkey, QString displaykey, QString displayname,
                   QString defaultValue);
    void writeTree(QString paramkey, QString displaykey, QString parentkey, QString displayname,
                   QString defaultValue);
    void writeHidden(QString paramkey, QString type, QString paramname, QString help, QString defaultValue);
    void writeFile(QString paramkey, QString extension, QString defaultValue);
    void writeNumber(QString paramkey, QString extension, QString defaultValue);
    void writeDate(QString paramkey, QString startdate, QString enddate, QString defaultValue);
    void writeTest(QString success, QString group, QString message);
    void writeStatus(QString success, QString group, QString message);
    void writeManage(QString success, QString message);
    void writeProgress(QString progress_type, int progress_total = -1);
    void writeProgressIncrement(QString progress_message = QString());
    void writeProgressWarning(QString progress_message = QString());
    void writeSetting(QString setting_type, int setting_total = -1);
    void writeSettingIncrement(QString setting_type, QString group, QString key, QString value);
    void writeWarning(QString key, QString message);
    void writeMissing(QString paramkey, QString message);
    void writeError(QString key, QString message);
    void clearMessages();

  protected:
    void setProgressTotal(int total) { m_progressTotal = total; }

  private:
    int m_setupSteps = 0;
    int m_lookupSteps = 0;
    int m_importSteps = 0;
    int m_periodAttSteps = 0;
    int m_dailyAttSteps = 0;
    int m_progressTotal = 0;
    TaskValues m_values;
};
