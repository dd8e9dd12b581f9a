// AppBase: the parameter registry (declaring parameters and groups, requirements and dependencies, the
// checks that send "missing" lines) and the password rules of the parameters (decoding, masking).
#include "app/AppBase.h"

namespace {

const QString kPasswordAlphabet = QStringLiteral("hT3vWk8e@]^=LbmG");
const QString kMasked = QStringLiteral("********");

int passwordDigit(QChar c) {
    const qsizetype index = kPasswordAlphabet.indexOf(c);
    return index < 0 ? 3 : static_cast<int>(index);
}

}  // namespace

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
