#include "ProgramRunner.h"

#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <algorithm>

namespace {

QStringList splitLines(const QByteArray& bytes) {
    QStringList lines = QString::fromUtf8(bytes).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

}  // namespace

QStringList ProgramResult::outLines() const {
    return splitLines(out);
}
QStringList ProgramResult::errLines() const {
    return splitLines(err);
}

QStringList ProgramResult::hostLines() const {
    // Every message is one line (line breaks inside a field become blanks), so a "log" line is the whole
    // log message: a line left over from one would stay here and fail the comparison.
    QStringList lines;
    for (const QString& line : outLines()) {
        if (line.section('\t', 0, 0) != QLatin1String("log")) {
            lines.append(line);
        }
    }
    return lines;
}

void startProgram(QProcess& process, const QStringList& arguments, const QString& home,
                  const QString& workingDir, const QStringList& environment, const QStringList& launcher) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_DATA_HOME", home + "/.local/share");
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    env.insert("XDG_DOCUMENTS_DIR", home + "/Documents");
    env.insert("LC_ALL", "C.UTF-8");
    // Credentials of a service the tests may run in are not the program's under test.
    env.remove("CREDENTIALS_DIRECTORY");
    for (const QString& entry : environment) {
        const qsizetype equals = entry.indexOf('=');
        env.insert(entry.left(equals), entry.mid(equals + 1));
    }
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workingDir.isEmpty() ? home : workingDir);
    const QString program = QStringLiteral(NORV_BINARY_DIR "/norv-extract");
    if (launcher.isEmpty()) {
        process.start(program, arguments);
    } else {
        process.start(launcher.first(), launcher.mid(1) + QStringList{program} + arguments);
    }
}

ProgramResult finishProgram(QProcess& process, const QByteArray& alreadyRead) {
    ProgramResult result;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = alreadyRead + process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

bool waitForOutput(QProcess& process, QByteArray& read, const QByteArray& text, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!read.contains(text)) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || process.state() == QProcess::NotRunning) {
            read += process.readAllStandardOutput();
            return read.contains(text);
        }
        process.waitForReadyRead(static_cast<int>(std::min<qint64>(left, 200)));
        read += process.readAllStandardOutput();
    }
    return true;
}

ProgramResult runProgram(const QStringList& arguments, const QString& home, const QString& workingDir,
                         const QStringList& environment, const QStringList& launcher) {
    QProcess process;
    startProgram(process, arguments, home, workingDir, environment, launcher);
    return finishProgram(process);
}

QStringList openInjectionLauncher(const QString& path, const QString& injection) {
    const QString strace = QStandardPaths::findExecutable("strace");
    if (strace.isEmpty()) {
        return {};
    }
    // The leak checker cannot run under ptrace: a sanitizer build would fail every such run at its exit.
    QString sanitizer = qEnvironmentVariable("ASAN_OPTIONS");
    sanitizer += QString(sanitizer.isEmpty() ? "" : ":") + "detect_leaks=0";
    return {strace,
            "-f",
            "-qq",
            "-o",
            "/dev/null",
            "-E",
            "ASAN_OPTIONS=" + sanitizer,
            "-e",
            "trace=openat",
            "-P",
            path,
            "-e",
            "inject=openat:" + injection};
}

QStringList fullDiskLauncher() {
    // An ignored signal stays ignored across exec, so the program sees EFBIG instead of being ended.
    return {"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 0; exec \"$0\" \"$@\""};
}

QString encodePassword(const QString& plain) {
    const QString alphabet = QStringLiteral("hT3vWk8e@]^=LbmG");
    QString encoded;
    for (const QChar c : plain) {
        encoded.append(alphabet.at(c.unicode() >> 4 & 0xF));
        encoded.append(alphabet.at(c.unicode() & 0xF));
    }
    return encoded;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(content);
}

QString today() {
    return QDate::currentDate().toString("yyyy-MM-dd");
}

QStringList filesUnder(const QString& root) {
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        files.append(QDir(root).relativeFilePath(it.next()));
    }
    files.sort();
    return files;
}
