// The application frame's root: the parameter registry the host builds its settings screens from, the
// host commands answered from that registry (params, version, test), their validate modes, the status
// files, and every signal through which the application object talks to the host and the log.
//
// Owns: the parameter records, groups, requirements and dependencies (declared once at construction and
// never removed), the parameter values and switches, the application information. The message writer and
// the log manager are process-wide and only referenced.
// Invariants: every key of paramsByKey is in exactly one group list; switch keys and option keys are
// disjoint; signals are connected directly, so every message is written before the emitting call returns.
// REQUIRES: single thread; a QCoreApplication exists while commands run (guide path, message handler).
#pragma once

#include "app/AppParam.h"

#include <QDomElement>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>

class LogManager;
class SISMessageWriter;

class AppBase : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY(AppBase)

  public:
    // The application object writing to the process's message writer, or to writer when one is given.
    explicit AppBase(QObject* parent = nullptr);
    AppBase(SISMessageWriter& writer, QObject* parent);
    ~AppBase() override;

    // Decodes a password stored by the host: pairs of characters of the alphabet "hT3vWk8e@]^=LbmG" give
    // one Latin-1 byte each (a character outside the alphabet counts as 3). An odd last character is
    // dropped.
    static QString decodePassword(const QString& text);

    // Status files in folder (see StatusFiles, which holds the rules): the documents folder + "/Velmora
    // Software/Logs" when folder is empty; each creates the folder first; writeStatusFile is false with errno
    // set when it fails.
    static bool writeStatusFile(const QString& folder, const QString& name, const QString& text);
    static bool statusFileSucceeded(const QString& folder, const QString& name);
    static bool removeStatusFile(const QString& folder, const QString& name);

    // The arguments as the log may show them: the value of every option in passwordKeys (given as
    // "--key=value" or as the next argument) replaced by "********".
    static QStringList maskedArguments(const QStringList& arguments, const QStringList& passwordKeys);

    // Registry access.
    const AppParam* findParam(const QString& key) const;
    const ParamValues& values() const { return paramValues; }
    QString value(const QString& key) const { return paramValues.value(key); }
    const QStringList& switchKeys() const { return switchKeyList; }
    const QStringList& optionKeys() const { return paramKeyList; }
    QList<const AppParam*> groupParameters(const QString& group) const;

    int checkGroup(const QString& name);
    virtual int checkKeys(const QStringList& keys);
    virtual int checkMissing(const QString& key);
    void addRequiredSet(const QString& name, const QStringList& keys);
    void addGroupDependency(const QString& name, const QString& group);

    // Writes the status and the finished file into folder (nothing when folder is empty or names a file);
    // returns code, or 1 when a status file of this command could not be written.
    virtual int finishCommand(int code, const QString& folder, const QString& message);
    // writeStatusFile that reports a failure to the host ("error" line "Status File Error") and makes the
    // command fail.
    bool reportStatusFile(const QString& folder, const QString& name, const QString& text);

  signals:
    void writeLog(int logLevel, QString message, QString method);
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
    void writeStatus(QString success, QString date, QString message);
    void writeManage(QString success, QString message);
    void writeProgress(QString progress_type, int progress_total = -1);
    void writeProgressIncrement(QString progress_message = QString());
    void writeProgressWarning(QString progress_message = QString());
    void writeSetting(QString setting_type, int setting_total = -1);
    void writeSettingIncrement(QString setting_type, QString group, QString key, QString value);
    void writeSettingIncrementGrouping(QString setting_type, QString group, QString key, QString value,
                                       QString grouping);
    void writeWarning(QString key, QString message);
    void writeMissing(QString paramkey, QString message);
    void writeError(QString key, QString message);
    void clearMessages();

  protected:
    // Hooks and operations in the order the frame defines them; SISConfig and BridgeBase override some.
    virtual void finishHook() = 0;
    virtual void initApplication();
    virtual AppParam* addParam(const QString& group, const QString& key, const QString& name,
                               const QString& type, const QString& help, const QString& defaultValue);
    virtual int emptyProgress();
    virtual int commandParams(QString& message);
    virtual int runExtraction(int mode) = 0;
    virtual int commandTest(const QString& group, QString& message);
    virtual int commandVersion();
    virtual int commandDefaults() = 0;
    virtual int testGroup(const QString& group, QString& message) = 0;
    virtual int listValues(const QString& key);
    virtual int bridgeListValues(const QString& key);
    virtual int districtListValues(const QString& key);
    virtual int schoolListValues(const QString& key);
    virtual int yearListValues(const QString& key);
    virtual int validateParams(int n, QString& message);
    virtual int validateTest(int n, const QString& group, QString& message);
    virtual int validateRun(int n);
    virtual int validateVersion(int n);
    virtual int validateDefaults(int n);
    virtual void configSettings(const QDomElement& element) = 0;
    virtual void reportError(const QString& message);
    virtual QString configSubfolderName() const { return QString(); }
    virtual void afterConfigElement() {}
    virtual void declareParams() {}
    virtual QString AppDataPath() = 0;

    // addParam's rules, logging with method as the declaring operation's name.
    AppParam* declareParam(const QString& method, const QString& group, const QString& key,
                           const QString& name, const QString& type, const QString& help,
                           const QString& defaultValue);
    // The storing step of addParam: none when the group does not exist.
    AppParam* setParam(const QString& group, const QString& key, const QString& name, const QString& type,
                       const QString& help, const QString& defaultValue);
    void addGroup(const QString& group) { groupParams.insert(group, {}); }
    // Reports the selectable values of one parameter (canned values in validate mode).
    int returnParamValues(const AppParam& param, QString& message);
    // Writes the header block and the run's settings into the log file (never a password value).
    void LogHeader(const QString& text);
    // Applies a log style ("off", "consoleoff", "fileoff", "extract") to the log manager.
    void setLogStyle(LogManager& manager, const QString& style);
    // The usage text, to standard error.
    void writeUsage(const QString& applicationName);
    // Makes this object the receiver of the toolkit's messages (warnings of the command-line parser).
    void installMessageHandler();
    QStringList passwordOptionKeys() const;

    LogManager& logManager() const { return log_; }
    SISMessageWriter& messageWriter() const { return writer_; }
    // The status file of a command's outcome: appType_ + "Status.tmp".
    QString outcomeFileName() const { return appType_ + QStringLiteral("Status.tmp"); }

    // Application information (fixed at construction).
    QString appTitle_;
    QString appType_;
    QString appShortName_;
    QString oldShortName_;
    QString appVersion_;
    QString appFrameworkVersion_;
    QString minVersion_;
    QString appAlias_;
    QString appUserGuideFileName_;
    QString appFinishedFile_;
    QString appCopyright_;
    QString appBuildDate_;

    // The registry.
    QStringList switchKeyList;
    QStringList paramKeyList;
    ParamValues paramValues;
    QMap<QString, bool> switchValues;
    QMap<QString, QList<AppParam*>> groupParams;  // records owned by paramsByKey
    std::map<QString, AppParam> paramsByKey;      // node-based: record addresses stay valid
    QMap<QString, QList<QStringList>> requiredSets;
    QMap<QString, QStringList> groupDependencies;

    // "extract" when that log style was chosen, else empty.
    QString logStyleMarker;
    // The validate number of this command, when "validate" is a decimal integer.
    std::optional<int> validateNumber;

  private:
    // The replies the validate tables share beyond their own numbers: 2 sends nothing, 3 opens progress
    // without closing it, any other number frames an empty progress; the number is the result.
    int validateCommonReply(int n);
    static void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text);
    void handleMessage(QtMsgType type, const QString& text);
    // Gives the toolkit's messages back to the handler before this object's, when this object took them.
    void restoreMessageHandler();
    void wire();

    LogManager& log_;
    SISMessageWriter& writer_;
    bool handlerInstalled_ = false;
    bool statusFileFailed_ = false;
};
