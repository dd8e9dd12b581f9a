// Starts the built norv-extract as the host would and captures what it sends back.
//
// Every process gets a private HOME (and XDG folders under it), so the user's real folders are never
// read or written.
#pragma once

#include <QByteArray>
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
