// AppBase: what the application object writes besides the host's message lines: the log header of a
// command, the log style, the usage text, and the toolkit's own messages (the command-line parser's
// warnings among them).
#include "app/AppBase.h"

#include "messages/LogManager.h"
#include "messages/SISMessageWriter.h"

#include <QFile>
#include <QTextStream>

namespace {

// The application object that receives the toolkit's messages; null when none installed the handler.
AppBase* g_messageReceiver = nullptr;
QtMessageHandler g_previousHandler = nullptr;

}  // namespace

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

void AppBase::restoreMessageHandler() {
    if (handlerInstalled_ && g_messageReceiver == this) {
        qInstallMessageHandler(g_previousHandler);
        g_messageReceiver = nullptr;
    }
}
