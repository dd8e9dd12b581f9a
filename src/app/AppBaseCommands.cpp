// AppBase: the host commands answered from the registry (params, version, test and the list loaders),
// and the finishing of every command (its status and finished files).
#include "app/AppBase.h"

#include "app/StatusFiles.h"
#include "libraries/platform/Clock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace {

const QString kStatusTimeFormat = QStringLiteral("yyyy/MM/dd hh:mm:ss");

}  // namespace

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

bool AppBase::writeStatusFile(const QString& folder, const QString& name, const QString& text) {
    return StatusFiles::write(folder, name, text);
}

bool AppBase::reportStatusFile(const QString& folder, const QString& name, const QString& text) {
    if (writeStatusFile(folder, name, text)) {
        return true;
    }
    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
    statusFileFailed_ = true;
    emit writeError(
        QStringLiteral("Status File Error"),
        "Could not write: " + QDir(StatusFiles::folderOf(folder)).filePath(name) + " (" + reason + ")");
    return false;
}

bool AppBase::statusFileSucceeded(const QString& folder, const QString& name) {
    return StatusFiles::succeeded(folder, name);
}

bool AppBase::removeStatusFile(const QString& folder, const QString& name) {
    return StatusFiles::remove(folder, name);
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
            reportStatusFile(folder, outcomeFileName(), time + '\t' + outcome + '\t' + detail);
        const bool finished = reportStatusFile(folder, appFinishedFile_, QStringLiteral("finished"));
        if (!status || !finished) {
            code = 1;
        }
    }
    finishHook();
    return code;
}
