#include "messages/LogManager.h"

#include "libraries/platform/Clock.h"
#include "libraries/platform/OsName.h"
#include "libraries/platform/RegularFile.h"
#include "messages/LineField.h"

#include <fcntl.h>
#include <unistd.h>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringConverter>

#include <algorithm>
#include <cstdio>

namespace {

const QString kSeparator = QString(73, QLatin1Char('-')) + QStringLiteral("\r\n");
const QString kMakerNotice = QStringLiteral("Velmora Software. All rights reserved.");
const QString kMakerAddress = QStringLiteral("https://www.velmora.example");

QString timeOfDay() {
    return platform::Clock::now().toString(QStringLiteral("hh:mm:ss"));
}

}  // namespace

LogManager& LogManager::instance(const QString& name, const QString& title, const QString& version,
                                 const QString& buildDate) {
    // The console file is opened before the manager that writes to it and closed after it.
    struct Console {
        QFile out;
        LogManager manager;
        explicit Console(const QString& name) : manager(open(out), name) {}
        static QFile* open(QFile& file) {
            file.open(stdout, QIODevice::WriteOnly);
            return &file;
        }
    };
    static Console console(name);
    if (!name.isEmpty()) {
        console.manager.setName(name);
    }
    console.manager.writeHeader(title, version, buildDate);
    return console.manager;
}

LogManager::LogManager(QIODevice* console, const QString& name, QObject* parent)
    : QObject(parent), name_(name), console_(console) {
    console_.setEncoding(QStringConverter::Utf8);
    fileStream_.setEncoding(QStringConverter::Utf8);
}

LogManager::~LogManager() {
    fileStream_.flush();
    file_.close();
}

QString LogManager::levelName(int level) {
    switch (level) {
        case -1:
            return QStringLiteral("None         ");
        case 0:
            return QStringLiteral("Emergency    ");
        case 1:
            return QStringLiteral("Alert        ");
        case 2:
            return QStringLiteral("Critical     ");
        case 3:
            return QStringLiteral("Error        ");
        case 4:
            return QStringLiteral("Warning      ");
        case 5:
            return QStringLiteral("Progress     ");
        case 7:
            return QStringLiteral("Informational");
        case 8:
            return QStringLiteral("Debug        ");
        case 9:
            return QStringLiteral("Proprietary  ");
        default:
            return QString();
    }
}

void LogManager::log(int logLevel, const QString& message, const QString& method) {
    const std::lock_guard lock(mutex_);
    if ((destinations_ & kConsole) != 0) {
        consoleLine(logLevel, message, method);
    }
    if ((destinations_ & kFile) != 0) {
        fileLine(logLevel, message, method);
    }
}

void LogManager::consoleLine(int level, const QString& message, const QString& method) {
    if (level < 0 || level > 7) {
        return;
    }
    const std::lock_guard lock(mutex_);
    console_ << "log\t" << levelName(level) << '\t' << timeOfDay() << '\t' << linefield::oneLine(method)
             << '\t' << linefield::oneLine(message) << Qt::endl;
}

bool LogManager::fileReady() const {
    // No look at the disk per line: a file removed while the run writes only loses what follows.
    return file_.isOpen();
}

void LogManager::fileLine(int level, const QString& message, const QString& method) {
    const std::lock_guard lock(mutex_);
    if (level < 0 || level > 9 || !fileReady()) {
        return;
    }
    // One message is one line of the file, whatever its text holds (a driver's message spans several).
    QString line = name_ + ':' + timeOfDay() + ": " + levelName(level) + ' ' + linefield::oneLine(method) +
                   ": " + linefield::oneLine(message);
    if (level == 9) {
        line = QStringLiteral("proprietary:") + QString::fromLatin1(line.toUtf8().toBase64());
    }
    writeLine(line);
}

void LogManager::writeLine(const QString& text) {
    const std::lock_guard lock(mutex_);
    if (!file_.isOpen()) {
        return;
    }
    // Every line is on disk when it is logged, the detail of the step in progress (its SQL) included: a
    // run that is killed loses nothing it logged. A run logs a few thousand lines, so this costs little.
    fileStream_ << text << "\r\n";
    fileStream_.flush();
}

void LogManager::setName(const QString& name) {
    const std::lock_guard lock(mutex_);
    name_ = name;
}

int LogManager::destinations() const {
    const std::lock_guard lock(mutex_);
    return destinations_;
}

void LogManager::setDestinations(int destinations) {
    const std::lock_guard lock(mutex_);
    destinations_ = destinations;
}

void LogManager::writeLastLine(int level, const QString& message, const QString& method) {
    mutex_.lock();  // never given back: the process ends next, and no other line may follow this one
    log(level, message, method);  // on disk as it is logged
}

void LogManager::setLogPath(const QString& folder) {
    const std::lock_guard lock(mutex_);
    if (folder.isEmpty()) {
        return;
    }
    folder_ = QDir(QFileInfo(folder).absoluteFilePath());
    folder_->mkpath(QStringLiteral("."));
    setupLogFile();
}

bool LogManager::setLogFile(const QString& base) {
    const std::lock_guard lock(mutex_);
    if (base.isEmpty()) {
        return true;
    }
    fileBase_ = base;
    return setupLogFile();
}

bool LogManager::setupLogFile() {
    const std::lock_guard lock(mutex_);
    const QString method = QStringLiteral("LogManager::setupLogFile");
    if (!folder_ || fileBase_.isEmpty()) {
        log(8, QStringLiteral("Filename or path not set, cannot setup log file."), method);
        return false;
    }
    const QString name =
        fileBase_ + '-' + platform::Clock::now().date().toString(QStringLiteral("yyyy-MM-dd")) + ".log";
    const QString path = folder_->filePath(name);
    fileStream_.setDevice(nullptr);
    file_.close();
    filePath_.clear();
    const bool opened = openForAppending(path);
    if (opened) {
        filePath_ = path;
        fileStream_.setDevice(&file_);
    }
    rotateLogFiles(path);
    if (opened) {
        log(7, "Log file " + path + " setup.", method);
        return true;
    }
    log(3, "Log file " + path + " cannot be opened.", method);
    return false;
}

bool LogManager::openForAppending(const QString& path) {
    // Append creates a missing file, so one file holds every run of the day for one base name. Only a
    // regular file is appended to: a link planted under the name would have the log written wherever it
    // points, and a FIFO would hold the run until someone reads it.
    const int fd = platform::openRegularFile(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    if (!file_.open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

void LogManager::rotateLogFiles(const QString& path) {
    // Only the daily files of exactly this base count: a base that is a prefix of another school's base
    // ("Norv--1" and "Norv--12") or that contains a dot must neither delete the other's files nor escape
    // rotation. Matching ignores case, as the original file system did.
    //
    // Names dated after today (left by a clock that ran ahead) neither count nor go: counting them would
    // make today's log, the oldest name of the seven, the one deleted as soon as it is opened.
    const std::lock_guard lock(mutex_);
    const QFileInfo info(path);
    const QRegularExpression daily(
        QStringLiteral("^%1-(\\d{4}-\\d{2}-\\d{2})\\.%2$")
            .arg(QRegularExpression::escape(fileBase_), QRegularExpression::escape(info.suffix())),
        QRegularExpression::CaseInsensitiveOption);
    const QString today = platform::Clock::now().date().toString(QStringLiteral("yyyy-MM-dd"));
    const QDir dir = info.absoluteDir();
    QStringList names;
    for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden)) {
        const QRegularExpressionMatch match = daily.match(entry);
        if (match.hasMatch() && match.captured(1) <= today) {
            names.append(entry);
        }
    }
    std::sort(names.begin(), names.end());
    while (names.size() > kKeptFiles) {
        QFile::remove(dir.filePath(names.takeFirst()));  // a file that cannot be deleted is left alone
    }
}

QString LogManager::logFilePath() const {
    const std::lock_guard lock(mutex_);
    return file_.isOpen() ? filePath_ : QString();
}

void LogManager::writeHeader(const QString& title, const QString& version, const QString& buildDate) {
    const std::lock_guard lock(mutex_);
    if (fileReady()) {
        writeLine(QString());
        writeLine(kSeparator + (title.isEmpty() ? QStringLiteral("Log File") : title + " File") + "\r\n" +
                  kMakerNotice + "\r\n" + kMakerAddress + "\r\n" + kSeparator);
        if (!buildDate.isEmpty()) {
            writeLine("Built on       : " + buildDate);
        }
        writeLine("Generated on   : " +
                  platform::Clock::now().toString(QStringLiteral("MMM dd yyyy hh:mm:ss AP")));
        if (!version.isEmpty()) {
            writeLine("Version        : " + version);
        }
        writeLine("               : " + platform::osName());
        writeLine(kSeparator);
    }
    if (!title.isEmpty()) {
        consoleLine(7, title + " started.", QString());
    }
}
