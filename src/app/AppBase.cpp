#include "app/AppBase.h"

#include "libraries/platform/Clock.h"
#include "libraries/platform/Folders.h"
#include "libraries/platform/RegularFile.h"
#include "libraries/support/XException.h"
#include "messages/LogManager.h"
#include "messages/SISMessageWriter.h"
#include "writer/StagedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const QString kPasswordAlphabet = QStringLiteral("hT3vWk8e@]^=LbmG");
const QString kStatusTimeFormat = QStringLiteral("yyyy/MM/dd hh:mm:ss");
const QString kMasked = QStringLiteral("********");

// The application object that receives the toolkit's messages; null when none installed the handler.
AppBase* g_messageReceiver = nullptr;
QtMessageHandler g_previousHandler = nullptr;

QString statusFolder(const QString& folder) {
    return folder.isEmpty() ? platform::documentsFolder() + QStringLiteral("/Velmora Software/Logs") : folder;
}

int passwordDigit(QChar c) {
    const qsizetype index = kPasswordAlphabet.indexOf(c);
    return index < 0 ? 3 : static_cast<int>(index);
}

}  // namespace

AppBase::AppBase(QObject* parent) : AppBase(SISMessageWriter::instance(), parent) {}

AppBase::AppBase(SISMessageWriter& writer, QObject* parent)
    : QObject(parent),
      appTitle_(QStringLiteral("Velmora Application")),
      appType_(QStringLiteral("Application")),
      appFrameworkVersion_(QStringLiteral("1.0.0.0")),
      minVersion_(QStringLiteral("2.00.0033")),
      appFinishedFile_(QStringLiteral("finished.tmp")),
      log_(LogManager::instance()),
      writer_(writer) {
    wire();
    addGroup(QStringLiteral("global"));
}

AppBase::~AppBase() {
    if (handlerInstalled_ && g_messageReceiver == this) {
        qInstallMessageHandler(g_previousHandler);
        g_messageReceiver = nullptr;
    }
}

void AppBase::wire() {
    SISMessageWriter* w = &writer_;
    // Direct whatever thread emits: the source watchdog's handler finishes a command from its own thread
    // while this one waits, and a queued message would never be written.
    const auto link = [this](auto signal, auto* receiver, auto slot) {
        connect(this, signal, receiver, slot, Qt::DirectConnection);
    };
    link(&AppBase::writeLog, &log_, &LogManager::log);
    link(&AppBase::writeVersion, w, &SISMessageWriter::outVersion);
    link(&AppBase::writeParams, w, &SISMessageWriter::outParams);
    link(&AppBase::writeHiddenParam, w, &SISMessageWriter::outHiddenParam);
    link(&AppBase::writeList, w, &SISMessageWriter::outList);
    link(&AppBase::writeTree, w, &SISMessageWriter::outTree);
    link(&AppBase::writeHidden, w, &SISMessageWriter::outHidden);
    link(&AppBase::writeFile, w, &SISMessageWriter::outFile);
    link(&AppBase::writeNumber, w, &SISMessageWriter::outNumber);
    link(&AppBase::writeDate, w, &SISMessageWriter::outDate);
    link(&AppBase::writeTest, w, &SISMessageWriter::outTest);
    link(&AppBase::writeStatus, w, &SISMessageWriter::outStatus);
    link(&AppBase::writeManage, w, &SISMessageWriter::outManage);
    link(&AppBase::writeProgress, w, &SISMessageWriter::outProgress);
    link(&AppBase::writeProgressIncrement, w, &SISMessageWriter::outProgress_increment);
    link(&AppBase::writeProgressWarning, w, &SISMessageWriter::outProgress_warning);
    link(&AppBase::writeSetting, w, &SISMessageWriter::outSetting);
    link(&AppBase::writeSettingIncrement, w,
         qOverload<const QString&, const QString&, const QString&, const QString&>(
             &SISMessageWriter::outSetting_increment));
    link(&AppBase::writeSettingIncrementGrouping, w,
         qOverload<const QString&, const QString&, const QString&, const QString&, const QString&>(
             &SISMessageWriter::outSetting_increment));
    link(&AppBase::writeWarning, w, &SISMessageWriter::outWarning);
    link(&AppBase::writeMissing, w, &SISMessageWriter::outMissing);
    link(&AppBase::writeError, w, &SISMessageWriter::outError);
    link(&AppBase::clearMessages, w, &SISMessageWriter::clearMessages);
}

// ---------------------------------------------------------------- registry

void AppBase::initApplication() {
    declareParams();
    const std::pair<const char*, const QString*> information[] = {
        {"appTitle_", &appTitle_},
        {"appType_", &appType_},
        {"appShortName_", &appShortName_},
        {"appVersion_", &appVersion_},
        {"appFrameworkVersion_", &appFrameworkVersion_},
        {"appAlias_", &appAlias_},
        {"appUserGuideFileName_", &appUserGuideFileName_},
        {"appFinishedFile_", &appFinishedFile_},
        {"appCopyright_", &appCopyright_},
        {"appBuildDate_", &appBuildDate_},
    };
    for (const auto& [key, field] : information) {
        paramValues.insert(QString::fromLatin1(key), *field);
    }
}

AppParam* AppBase::addParam(const QString& group, const QString& key, const QString& name,
                            const QString& type, const QString& help, const QString& defaultValue) {
    return declareParam(QStringLiteral("AppBase::addParam"), group, key, name, type, help, defaultValue);
}

AppParam* AppBase::declareParam(const QString& method, const QString& group, const QString& key,
                                const QString& name, const QString& type, const QString& help,
                                const QString& defaultValue) {
    if (type == QLatin1String("switch")) {
        switchKeyList.append(key);
    } else {
        paramKeyList.append(key);
    }
    if (type == QLatin1String("password")) {
        QString plain = key;
        plain.remove(QStringLiteral("encode"));
        if (plain == key) {
            emit writeLog(
                4,
                "Parameter: " + key +
                    " is a Password style parameter, but does not use 'encode' this means it will not "
                    "be encoded.",
                method);
        } else {
            paramKeyList.append(plain);
        }
    }
    QString shownName = name;
    if (type == QLatin1String("flag") && name.size() > 15) {
        emit writeLog(3, "Parameter: " + key + " has a paramname that is too long: " + name, method);
        shownName = name.left(15);
    }
    return setParam(group, key, shownName, type, help, defaultValue);
}

AppParam* AppBase::setParam(const QString& group, const QString& key, const QString& name,
                            const QString& type, const QString& help, const QString& defaultValue) {
    const auto groupIt = groupParams.find(group);
    if (groupIt == groupParams.end()) {
        emit writeLog(
            3,
            QStringLiteral("Tried to set a parameter for a non-existant group, please contact Velmora "
                           "Support."),
            QStringLiteral("SISConfig::setParam"));
        return nullptr;
    }
    for (AppParam* existing : *groupIt) {
        if (existing->key == key) {
            existing->name = name;
            existing->group = group;
            existing->type = type;
            existing->help = help;
            return existing;
        }
    }
    AppParam& record = paramsByKey[key];
    record = AppParam{key, name, group, type, help, defaultValue, {{QString(), QString()}}, {}};
    groupIt->append(&record);
    return &record;
}

const AppParam* AppBase::findParam(const QString& key) const {
    for (const QString& candidate : {key, key + QStringLiteral("encode"), QString(key).remove("encode")}) {
        const auto it = paramsByKey.find(candidate);
        if (it != paramsByKey.end()) {
            return &it->second;
        }
    }
    return nullptr;
}

QList<const AppParam*> AppBase::groupParameters(const QString& group) const {
    QList<const AppParam*> result;
    for (const AppParam* param : groupParams.value(group)) {
        result.append(param);
    }
    return result;
}

void AppBase::addRequiredSet(const QString& name, const QStringList& keys) {
    requiredSets[name].append(keys);
}

void AppBase::addGroupDependency(const QString& name, const QString& group) {
    groupDependencies[name].append(group);
}

int AppBase::checkMissing(const QString& key) {
    if (key.isEmpty() || !paramValues.value(key).isEmpty()) {
        return 0;
    }
    const auto it = paramsByKey.find(key);
    if (it != paramsByKey.end()) {
        emit writeMissing(key, it->second.name + " missing or blank.");
    } else if (const AppParam* param = findParam(key)) {
        emit writeMissing(param->key, param->name + " missing or blank.");
    } else {
        emit writeMissing(key, QStringLiteral("Missing or blank."));
    }
    return 1;
}

int AppBase::checkKeys(const QStringList& keys) {
    int result = 0;
    for (const QString& key : keys) {
        if (checkMissing(key) != 0) {
            result = 1;
        }
    }
    return result;
}

int AppBase::checkGroup(const QString& name) {
    // Declarations never form a cycle of dependencies.
    for (const QString& group : groupDependencies.value(name)) {
        if (group.isEmpty()) {
            continue;
        }
        const int r = checkGroup(group);
        if (r != 0) {
            return r;
        }
    }
    const QList<QStringList> alternatives = requiredSets.value(name);
    if (alternatives.isEmpty()) {
        return 0;
    }
    for (const QStringList& keys : alternatives) {
        if (checkKeys(keys) == 0) {
            return 0;
        }
    }
    emit writeWarning(name, QStringLiteral("Required parameter missing."));
    return 1;
}

QString AppBase::decodePassword(const QString& text) {
    QString result;
    result.reserve(text.size() / 2);
    for (qsizetype i = 0; i + 1 < text.size(); i += 2) {
        result.append(QChar(16 * passwordDigit(text.at(i)) + passwordDigit(text.at(i + 1))));
    }
    return result;
}

QStringList AppBase::passwordOptionKeys() const {
    QStringList keys;
    for (const auto& [key, param] : paramsByKey) {
        if (param.type == QLatin1String("password")) {
            keys.append(key);
            keys.append(QString(key).remove(QStringLiteral("encode")));
        }
    }
    return keys;
}

QStringList AppBase::maskedArguments(const QStringList& arguments, const QStringList& passwordKeys) {
    QStringList masked = arguments;
    bool maskNext = false;
    for (QString& arg : masked) {
        const bool isValue = arg.size() == 1 || !arg.startsWith(QLatin1Char('-'));
        if (maskNext && isValue) {
            arg = kMasked;
            maskNext = false;
            continue;
        }
        maskNext = false;
        if (!arg.startsWith(QLatin1String("--"))) {
            continue;
        }
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const QString name = arg.mid(2, eq < 0 ? -1 : eq - 2);
        if (!passwordKeys.contains(name)) {
            continue;
        }
        if (eq >= 0) {
            arg = arg.left(eq + 1) + kMasked;
        } else {
            maskNext = true;
        }
    }
    return masked;
}

// ---------------------------------------------------------------- commands

int AppBase::emptyProgress() {
    emit writeProgress(QStringLiteral("start_progress"), 0);
    emit writeProgress(QStringLiteral("end_progress"), -1);
    return 1;
}

int AppBase::commandVersion() {
    emit writeProgress(QStringLiteral("start_progress"), 1);
    const QString vname =
        appType_ == QLatin1String("Provider") ? appShortName_ : appShortName_ + " (" + appType_ + ")";
    const QString folder = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    emit writeVersion(appAlias_, appVersion_, minVersion_, vname, folder + "/help/" + appUserGuideFileName_);
    emit writeProgress(QStringLiteral("end_progress"), -1);
    return 0;
}

int AppBase::commandParams(QString& message) {
    const QString key = value(QStringLiteral("paramkey"));
    if (key.isEmpty()) {
        const QString group = value(QStringLiteral("group"));
        const auto it = groupParams.constFind(group);
        if (it == groupParams.constEnd()) {
            message = QStringLiteral("No parameters for this group");
            emit writeWarning(QStringLiteral("group"), message);
            emptyProgress();
            return 1;
        }
        emit writeProgress(QStringLiteral("start_progress"), static_cast<int>(it->size()));
        for (const AppParam* param : *it) {
            emit writeParams(param->key, param->type, param->name, param->help, param->defaultValue);
        }
        emit writeProgress(QStringLiteral("end_progress"), -1);
        return 0;
    }

    const auto it = paramsByKey.find(key);
    if (it == paramsByKey.end()) {
        message = key + " does not exist in this Application.";
        emit writeWarning(QStringLiteral("paramkey"), message);
        emptyProgress();
        return 1;
    }
    const AppParam& param = it->second;
    for (const QString& group : groupDependencies.value(param.group)) {
        if (group.isEmpty()) {
            continue;
        }
        const int r = checkGroup(group);
        if (r != 0) {
            emptyProgress();
            message = QStringLiteral("Requirements for group were not met, ie missing/incorrect parameters.");
            return r;
        }
    }
    const int r = checkKeys(param.prerequisites.keys());
    if (r != 0) {
        message = QStringLiteral("Required params missing.");
        emit writeWarning(QStringLiteral("params"), message);
        emptyProgress();
        return r;
    }
    emit clearMessages();
    return returnParamValues(param, message);
}

int AppBase::returnParamValues(const AppParam& param, QString& message) {
    const QString& key = param.key;
    const QString& type = param.type;
    const auto noReturnType = [&]() {
        message = "No parameter return set for type: " + type;
        emit writeError(QStringLiteral("No Parameter Return Type Set"), message);
    };

    if (validateNumber) {
        // Canned answers so that a host can exercise its list handling without a source.
        const auto cannedList = [&](const QString& listType,
                                    const QList<std::pair<QString, QString>>& items) {
            for (const auto& [displayKey, displayName] : items) {
                emit writeList(listType, key, displayKey, displayName, QString());
            }
        };
        if (type == QLatin1String("list")) {
            cannedList("year_list", {{"1", "List 1"}, {"2", "List 2"}, {"3", "List 3"}});
        } else if (type == QLatin1String("bridgelist")) {
            cannedList("bridgelist", {{"1", "Ada"}, {"2", "Bruno"}, {"3", "Carmen"}});
        } else if (type == QLatin1String("district_list")) {
            cannedList(
                "year_list",
                {{"1", "First District (1)"}, {"2", "Second District (2)"}, {"3", "Third District (3)"}});
        } else if (type == QLatin1String("school_list")) {
            cannedList("year_list", {{"1", "Elementary (1)"}, {"2", "Middle (2)"}, {"3", "High School (3)"}});
        } else if (type == QLatin1String("year_list")) {
            cannedList("year_list", {{"2008", "2008-2009"}, {"2009", "2009-2010"}, {"2010", "2010-2011"}});
        } else if (type == QLatin1String("file")) {
            for (const char* extension : {"*.dat", "*.exe", "*.*"}) {
                emit writeFile(key, QString::fromLatin1(extension), QString());
            }
        } else if (type == QLatin1String("number")) {
            emit writeNumber(key, QStringLiteral("min=3"), QString());
            emit writeNumber(key, QStringLiteral("max=9"), QString());
        } else if (type == QLatin1String("date")) {
            emit writeDate(key, QStringLiteral("2009-09-08"), QStringLiteral("2010-06-18"), QString());
        } else {
            noReturnType();
            emit writeProgress(QStringLiteral("end_progress"), -1);
            return 1;
        }
        return *validateNumber;
    }

    emit writeProgress(QStringLiteral("start_progress"), 0);
    int result = 0;
    try {
        if (type == QLatin1String("list")) {
            result = listValues(key);
        } else if (type == QLatin1String("bridgelist")) {
            result = bridgeListValues(key);
        } else if (type == QLatin1String("district_list")) {
            result = districtListValues(key);
        } else if (type == QLatin1String("school_list")) {
            result = schoolListValues(key);
        } else if (type == QLatin1String("year_list")) {
            result = yearListValues(key);
        } else if (type == QLatin1String("file")) {
            for (const QString& option : param.options) {
                emit writeFile(key, option, QString());
            }
        } else if (type == QLatin1String("number")) {
            for (const QString& option : param.options) {
                emit writeNumber(key, option, QString());
            }
        } else if (type == QLatin1String("date")) {
            const QStringList& o = param.options;
            if (o.size() == 2 || o.size() == 3) {
                emit writeDate(key, o.at(0), o.at(1), o.size() == 3 ? o.at(2) : QString());
            } else if (!o.isEmpty()) {
                emit writeError(QStringLiteral("Date Settings Incorrect"),
                                "Incorrect application settings for this date parameter: " + key);
                result = 1;
            }
        } else {
            noReturnType();
            result = 1;
        }
    } catch (...) {
        message = QStringLiteral(
            "Application threw an uncaught exception, please contact Velmora Software Support to fix this "
            "issue.");
        emit writeError(QStringLiteral("App Problem"), message);
        result = 1;
    }
    emit writeProgress(QStringLiteral("end_progress"), -1);
    return result;
}

int AppBase::commandTest(const QString& group, QString& message) {
    emit writeProgress(QStringLiteral("start_progress"), 0);
    int r = checkGroup(group);
    if (r != 0) {
        message = QStringLiteral("Parameter not valid.");
        emit writeTest(QStringLiteral("fail"), group, message);
    } else {
        try {
            r = testGroup(group, message);
        } catch (...) {
            // A test that blew up has not passed: the host must not read exit code 0.
            message =
                appType_ +
                " threw an uncaught exception, please contact Velmora Software Support to fix this issue.";
            emit writeError(appType_ + " Problem", message);
            r = 1;
        }
    }
    emit writeProgress(QStringLiteral("end_progress"), -1);
    return r;
}

int AppBase::listValues(const QString& key) {
    emit writeWarning(QStringLiteral("Not defined"), "Tried to call undefined method: " + key);
    return 1;
}

int AppBase::bridgeListValues(const QString& key) {
    return AppBase::listValues(key);
}
int AppBase::districtListValues(const QString& key) {
    return AppBase::listValues(key);
}
int AppBase::schoolListValues(const QString& key) {
    return AppBase::listValues(key);
}
int AppBase::yearListValues(const QString& key) {
    return AppBase::listValues(key);
}

void AppBase::reportError(const QString& message) {
    emit writeError(QStringLiteral("App Problem"), message);
}

// ---------------------------------------------------------------- validate mode

int AppBase::validateVersion(int n) {
    switch (n) {
        case 0:
            return commandVersion();
        case 1:
            emit writeProgress(QStringLiteral("start_progress"), 1);
            return 1;
        case 2:
            return 2;
        default:
            emptyProgress();
            return n;
    }
}

int AppBase::validateParams(int n, QString& message) {
    const QString key = value(QStringLiteral("paramkey"));
    switch (n) {
        case 0:
            return commandParams(message);
        case 4:
            if (key.isEmpty()) {
                message = QStringLiteral("No parameters for this group");
                emit writeWarning(QStringLiteral("group"), message);
            } else {
                message = key + " does not exist in this App.";
                emit writeWarning(QStringLiteral("paramkey"), message);
            }
            emptyProgress();
            return 4;
        case 1:
            if (!key.isEmpty()) {
                emit writeWarning(QStringLiteral("connection"),
                                  QStringLiteral("Required parameter missing."));
                emit writeMissing(QStringLiteral("dsn"), QStringLiteral("DSN missing or blank."));
                emptyProgress();
                message =
                    QStringLiteral("Requirements for group were not met, ie missing/incorrect parameters.");
                return 1;
            }
            [[fallthrough]];
        default:
            return validateCommonReply(n);
    }
}

int AppBase::validateTest(int n, const QString& group, QString& message) {
    switch (n) {
        case 0:
            emit writeProgress(QStringLiteral("start_progress"), 0);
            emit writeProgressIncrement(QStringLiteral("Beginning test..."));
            message = QStringLiteral("Connection Successful.");
            emit writeTest(QStringLiteral("success"), group, message);
            emit writeProgress(QStringLiteral("end_progress"), -1);
            return 0;
        case 1:
            emit writeProgress(QStringLiteral("start_progress"), 0);
            message = QStringLiteral("Parameter not valid.");
            emit writeTest(QStringLiteral("fail"), group, message);
            emit writeProgress(QStringLiteral("end_progress"), -1);
            return 1;
        default:
            return validateCommonReply(n);
    }
}

int AppBase::validateRun(int n) {
    switch (n) {
        case 0: {
            const char* steps[] = {
                "Start Extraction...",
                "Validate Connection Successful, using Oracle (ODBC) with prefix.",
                "Reading Look up Tables",
                "Reading Custom Field List...",
                "Reading Student Transportation...",
                "Reading Student Demographics...",
                "Reading Student Grades...",
                "Reading Student Period Attendance (08/25/2008 to 08/31/2008)...",
                "Reading Cached Period Attendance...",
                "Export complete.",
            };
            emit writeProgress(QStringLiteral("start_progress"), 10);
            for (const char* step : steps) {
                emit writeProgressIncrement(QString::fromLatin1(step));
            }
            emit writeProgress(QStringLiteral("end_progress"), -1);
            return 0;
        }
        default:
            return validateCommonReply(n);
    }
}

int AppBase::validateDefaults(int n) {
    return validateCommonReply(n);
}

int AppBase::validateCommonReply(int n) {
    switch (n) {
        case 2:
            return 2;
        case 3:
            emit writeProgress(QStringLiteral("start_progress"), 0);
            return 3;
        default:
            emptyProgress();
            return n;
    }
}

// ---------------------------------------------------------------- status files and finishing

bool AppBase::writeStatusFile(const QString& folder, const QString& name, const QString& text) {
    const QString dir = statusFolder(folder);
    platform::createFolderPath(dir);
    // Like every state file of the folder: a reader sees the previous line or the new one, never a torn or
    // empty file, and a link planted under the name is replaced, not written through.
    try {
        return StagedFile::writeWhole(XFileSpec(QDir(dir).filePath(name)),
                                      (text + QStringLiteral("\r\n")).toUtf8());
    } catch (const XException& e) {
        errno = e.code() != 0 ? e.code() : ENAMETOOLONG;  // a path the file layer cannot hold
        return false;
    }
}

bool AppBase::reportStatusFile(const QString& folder, const QString& name, const QString& text) {
    if (writeStatusFile(folder, name, text)) {
        return true;
    }
    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
    statusFileFailed_ = true;
    emit writeError(QStringLiteral("Status File Error"),
                    "Could not write: " + QDir(statusFolder(folder)).filePath(name) + " (" + reason + ")");
    return false;
}

bool AppBase::statusFileSucceeded(const QString& folder, const QString& name) {
    const QString dir = statusFolder(folder);
    platform::createFolderPath(dir);
    // A regular file only: a FIFO planted under the name would hold the run until someone writes to it.
    const std::optional<QByteArray> content =
        platform::readRegularFile(QDir(dir).filePath(name), 1 << 16, true);
    return content && QString::fromUtf8(*content).contains(QLatin1String("Succeeded"), Qt::CaseInsensitive);
}

bool AppBase::removeStatusFile(const QString& folder, const QString& name) {
    const QString dir = statusFolder(folder);
    platform::createFolderPath(dir);
    return QFile::remove(QDir(dir).filePath(name));
}

int AppBase::finishCommand(int code, const QString& folder, const QString& message) {
    // A "path" that names a file (the defaults command's configuration file) has no status folder.
    const QFileInfo info(folder);
    if (!folder.isEmpty() && !(info.exists() && !info.isDir())) {
        // The host must not read success from a folder whose status could not be recorded.
        const bool statusLost = code == 0 && statusFileFailed_;
        if (statusLost) {
            code = 1;
        }
        const QString time = platform::Clock::now().toString(kStatusTimeFormat);
        const QString outcome = code == 0 ? QStringLiteral("Succeeded") : QStringLiteral("Failed");
        const QString detail = code == 0    ? QStringLiteral("Succeeded")
                               : statusLost ? QStringLiteral("Could not write the status files.")
                                            : message;
        const bool status =
            reportStatusFile(folder, appType_ + "Status.tmp", time + '\t' + outcome + '\t' + detail);
        const bool finished = reportStatusFile(folder, appFinishedFile_, QStringLiteral("finished"));
        if (!status || !finished) {
            code = 1;
        }
    }
    finishHook();
    return code;
}

// ---------------------------------------------------------------- log

void AppBase::LogHeader(const QString& text) {
    LogManager::instance();
    LogManager::instance(QString(), appTitle_, appVersion_, appBuildDate_);
    const QString method = QStringLiteral("AppBase::LogHeader");
    const auto line = [&](const QString& message) { log_.fileLine(8, message, method); };
    line("App Framework Version: " + appFrameworkVersion_);
    line(text);
    line("Command: " + value(QStringLiteral("command")));
    QStringList set;
    for (const QString& key : switchKeyList) {
        if (switchValues.value(key)) {
            set.append(key);
        }
    }
    line("Switches: " + set.join(QStringLiteral(", ")));
    for (const QString& key : paramKeyList) {
        const QString v = value(key);
        if (v.isEmpty()) {
            continue;
        }
        const auto it = paramsByKey.find(key);
        if (it == paramsByKey.end() || it->second.type == QLatin1String("password")) {
            line(key + " is internal only.");
        } else {
            line(key + '=' + v);
        }
    }
    line("appath=" + value(QStringLiteral("apppath")));
}

void AppBase::setLogStyle(LogManager& manager, const QString& style) {
    int destinations = -1;
    if (style == QLatin1String("off")) {
        destinations = 0;
    } else if (style == QLatin1String("consoleoff")) {
        destinations = -2;
    } else if (style == QLatin1String("fileoff")) {
        destinations = -3;
    } else if (style == QLatin1String("extract")) {
        logStyleMarker = style;
    }
    manager.setDestinations(destinations);
}

void AppBase::writeUsage(const QString& applicationName) {
    QFile err;
    err.open(stderr, QIODevice::WriteOnly);
    QTextStream stream(&err);
    stream.setEncoding(QStringConverter::Utf8);
    stream << "Usage: \n" << applicationName << "\n [command]\n";
    for (const QString& key : switchKeyList) {
        stream << "  [--" << key << "]\n";
    }
    static const QStringList hidden = {"label", "header", "switch", "hidden"};
    for (const QString& key : paramKeyList) {
        const auto it = paramsByKey.find(key);
        if (it != paramsByKey.end() && hidden.contains(it->second.type)) {
            continue;
        }
        stream << "   [--" << key << "=value]\n";
    }
    stream << "\n";
    stream.flush();
}

// ---------------------------------------------------------------- toolkit messages

void AppBase::installMessageHandler() {
    g_messageReceiver = this;
    g_previousHandler = qInstallMessageHandler(&AppBase::messageHandler);
    handlerInstalled_ = true;
}

void AppBase::messageHandler(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (g_messageReceiver != nullptr) {
        g_messageReceiver->handleMessage(type, text);
    }
}

void AppBase::handleMessage(QtMsgType type, const QString& text) {
    LogManager::instance();
    const QString method = QStringLiteral("AppBase::qMessageOutput");
    switch (type) {
        case QtDebugMsg:
        case QtInfoMsg:
            log_.log(8, text, method);
            break;
        case QtWarningMsg:
            log_.log(4, text, method);
            writer_.outWarning(QStringLiteral("options"), text);
            break;
        case QtCriticalMsg:
            log_.log(3, text, method);
            writer_.outError(QStringLiteral("options"), text);
            break;
        case QtFatalMsg:
            log_.log(2, text, method);
            writer_.outError(QStringLiteral("options"), text);
            break;
    }
}
