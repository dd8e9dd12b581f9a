#include "app/BridgeBase.h"

#include "app/AppInfo.h"
#include "app/PasswordSource.h"
#include "engine/ExpEngine.h"
#include "libraries/support/XString.h"
#include "messages/SISMessageWriter.h"

BridgeBase::BridgeBase(QObject* parent) : BridgeBase(SISMessageWriter::instance(), parent) {}

BridgeBase::BridgeBase(SISMessageWriter& writer, QObject* parent) : SISConfig(writer, parent) {
    appTitle_ = QStringLiteral("Velmora Data Extractor for Norv");
    appType_ = QStringLiteral("Data Extractor");
    appShortName_ = QStringLiteral("Norv");
    oldShortName_ = QStringLiteral("Norv");
    appVersion_ = QStringLiteral("2.1.0.0");
    minVersion_ = QStringLiteral("2.00.0033");
    appAlias_ = QStringLiteral("norv_de");
    appUserGuideFileName_ = QStringLiteral("NorvGuide.pdf");
    appFinishedFile_ = QStringLiteral("finished_bridge.tmp");
    appCopyright_ = appinfo::copyrightYears();
    appBuildDate_ = appinfo::buildDate();
    initApplication();
    declareSchoolParams();
    emit writeLog(8, QStringLiteral("School Params set."), QStringLiteral("BridgeBase::BridgeBase"));

    addRequiredSet(QStringLiteral("params"), {QStringLiteral("group")});
    addRequiredSet(QStringLiteral("params"), {QStringLiteral("paramkey")});
    addRequiredSet(QStringLiteral("test"), {QStringLiteral("group")});
    addRequiredSet(QStringLiteral("run"), {QStringLiteral("path")});
    addGroupDependency(QStringLiteral("run"), QStringLiteral("connection"));
    addGroupDependency(QStringLiteral("run"), QStringLiteral("school"));
    addRequiredSet(QStringLiteral("verify"), {QStringLiteral("path")});
    addGroupDependency(QStringLiteral("verify"), QStringLiteral("connection"));
    addGroupDependency(QStringLiteral("verify"), QStringLiteral("school"));
    addRequiredSet(QStringLiteral("connection"), {"dsn", "user", "pwd"});
    addRequiredSet(QStringLiteral("connection"), {"dsn", "user", "pwdencode"});
    addRequiredSet(QStringLiteral("school"), {QStringLiteral("school")});
    addGroupDependency(QStringLiteral("school"), QStringLiteral("connection"));
}

BridgeBase::~BridgeBase() = default;

void BridgeBase::declareSchoolParams() {
    const QString connection = QStringLiteral("connection");
    addParam(connection, "dsnheader", "Data Source Name and Login Information", "header", "", "");
    addParam(
        connection, "dsnlabel",
        "Please enter the Data Source Name of the ODBC Data Source that you set up to connect to the SMS "
        "Database",
        "label", "", "");
    addParam(connection, "dsn", "ODBC DSN", "edit", "Name of DSN from existing Data Source", "");
    addParam(connection, "user", "Username", "edit", "Username corresponding to ODBC DSN", "");
    addParam(connection, "pwdencode", "Password", "password", "Password  corresponding to ODBC DSN", "");
    // The password from a private file: an option of the command line only, so the host's connection
    // group, its requirements and its missing-value lines stay as they were.
    paramKeyList.append(QLatin1String(PasswordSource::kFileKey));
    const QString school = QStringLiteral("school");
    addParam(school, "schoolheader", "School Information", "header", "", "");
    addParam(school, "schoollabel", "Please select the School Number of this school:", "label", "", "");
    addParam(school, "school", "School Number", "school_list",
             "Choose the School or Building number for your school", "");
}

int BridgeBase::testGroup(const QString& group, QString& message) {
    emit writeProgressIncrement(QStringLiteral("Beginning test..."));
    const QString dsn = value(QStringLiteral("dsn"));
    const QString user = value(QStringLiteral("user"));
    const QString pwd = value(QStringLiteral("pwd"));
    if (group == QLatin1String("connection")) {
        const bool ok = sourceOpenConnection(dsn, user, pwd);
        message = ok ? QStringLiteral("Connection Successful.") : QStringLiteral("Connection Failed.");
        emit writeTest(ok ? QStringLiteral("success") : QStringLiteral("fail"), group, message);
        return ok ? 0 : 1;
    }
    if (group == QLatin1String("school")) {
        const bool ok = sourceValidateSchool(value(QStringLiteral("school")), dsn, user, pwd);
        message = ok ? QStringLiteral("School Validated.") : QStringLiteral("School Not Valid.");
        emit writeTest(ok ? QStringLiteral("success") : QStringLiteral("fail"), group, message);
        return ok ? 0 : 1;
    }
    message = QStringLiteral(
        "Group is undefined, there is a problem with the bridge, please report this problem to Velmora "
        "Support.");
    emit writeError(QStringLiteral("Group Undefined"), message);
    return 1;
}

int BridgeBase::schoolListValues(const QString& key) {
    QList<QStringList> records;
    if (!sourceSchoolList(records, value(QStringLiteral("dsn")), value(QStringLiteral("user")),
                          value(QStringLiteral("pwd")))) {
        emit writeWarning(
            QStringLiteral("Loading Schools Failed"),
            QStringLiteral("Loading Schools failed.  Consult the logs to discover what the problem is."));
        return 1;
    }
    for (const QStringList& record : records) {
        emit writeList(QStringLiteral("school_list"), key, record.value(0), record.value(2), QString());
    }
    return 0;
}

int BridgeBase::bridgeListValues(const QString& key) {
    QList<QStringList> records;
    if (!sourceBridgeList(records, key, paramValues)) {
        emit writeWarning(key,
                          QStringLiteral("Loading Bridgelist failed.  Consult the logs to discover what the "
                                         "problem is."));
        return 1;
    }
    for (const QStringList& record : records) {
        emit writeList(QStringLiteral("bridgelist"), key, record.value(0), record.value(1), QString());
    }
    return 0;
}

int BridgeBase::districtListValues(const QString&) {
    return 1;
}

int BridgeBase::yearListValues(const QString&) {
    return 1;
}

void BridgeBase::configSettings(const QDomElement& element) {
    const std::pair<const char*, std::pair<const char*, const char*>> settings[] = {
        {"SISImportFolder", {"default", "path"}}, {"SISDSN", {"connection", "dsn"}},
        {"SISUserName", {"connection", "user"}},  {"SISPassword", {"connection", "pwdencode"}},
        {"SchoolNumber", {"school", "school"}},
    };
    for (const auto& [attribute, target] : settings) {
        emit writeSettingIncrement(QStringLiteral("setting"), QString::fromLatin1(target.first),
                                   QString::fromLatin1(target.second),
                                   element.attribute(QString::fromLatin1(attribute)));
    }
}

bool BridgeBase::executeTask(const ParamValues& values, int mode) {
    return sourceExecute(values, mode);
}

bool BridgeBase::verifyTask(const ParamValues& values) {
    return engine().VerifyAttendance(values);
}

// ---- Source access ------------------------------------------------------------------------------------

bool BridgeBase::sourceOpenConnection(const QString& dsn, const QString& user, const QString& pwd) {
    return engine().TestConnection(XString(dsn), XString(user), XString(pwd));
}

bool BridgeBase::sourceValidateSchool(const QString& school, const QString& dsn, const QString& user,
                                      const QString& pwd) {
    return engine().ValidateSchoolNumber(XString(dsn), XString(user), XString(pwd), XString(school));
}

bool BridgeBase::sourceSchoolList(QList<QStringList>& records, const QString& dsn, const QString& user,
                                  const QString& pwd) {
    return engine().LoadSchoolList(records, XString(dsn), XString(user), XString(pwd));
}

bool BridgeBase::sourceBridgeList(QList<QStringList>& records, const QString& key,
                                  const ParamValues& values) {
    return engine().LoadBridgeList(records, key, values);
}

bool BridgeBase::sourceExecute(const ParamValues& values, int mode) {
    return engine().Execute(values, mode);
}
