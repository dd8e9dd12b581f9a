// Starts the built norv-extract as the host would and captures what it sends back.
//
// Every process gets a private HOME (and XDG folders under it), so the user's real folders are never
// read or written.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <ostream>

// Readable QString and QByteArray values in test failures.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << '"' << QString::fromLatin1(bytes).toStdString() << '"';
}

struct ProgramResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    // Lines of standard output without the console "log" messages (whose time varies).
    QStringList hostLines() const;
    QStringList outLines() const;
    QStringList errLines() const;
};

// Runs norv-extract with arguments in workingDir, HOME set to home; environment holds "NAME=value" entries
// that replace the inherited ones (for example the ODBCINI of a private source). launcher, when given, is a
// program with its arguments that starts norv-extract (its path and arguments follow them), such as strace
// or a shell that sets limits first.
ProgramResult runProgram(const QStringList& arguments, const QString& home,
                         const QString& workingDir = QString(), const QStringList& environment = {},
                         const QStringList& launcher = {});
// Starts norv-extract as runProgram does, without waiting: for a command that must run beside another.
void startProgram(QProcess& process, const QStringList& arguments, const QString& home,
                  const QString& workingDir = QString(), const QStringList& environment = {},
                  const QStringList& launcher = {});
// Waits for a started program to end (two minutes at most) and collects what it sent; out starts with
// alreadyRead, what the caller read from standard output before.
ProgramResult finishProgram(QProcess& process, const QByteArray& alreadyRead = QByteArray());
// Reads standard output of a started program into read until it holds text; false after timeoutMs.
bool waitForOutput(QProcess& process, QByteArray& read, const QByteArray& text, int timeoutMs = 60000);

// The launcher that starts norv-extract under strace with injection (such as "error=EACCES:when=1") on its
// openings of path, and on nothing else; empty when strace is not installed.
QStringList openInjectionLauncher(const QString& path, const QString& injection);
// The shell launcher that starts norv-extract on a full disk: no file may grow (writes fail with EFBIG).
QStringList fullDiskLauncher();

// The inverse of the program's password decoding: two alphabet characters per Latin-1 character.
QString encodePassword(const QString& plain);

// Today's local date as it appears in log file names ("yyyy-MM-dd").
QString today();
// Every file below root (hidden ones included) as sorted paths relative to root.
QStringList filesUnder(const QString& root);

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& content);
