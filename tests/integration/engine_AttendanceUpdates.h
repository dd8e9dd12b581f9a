// Test support for the attendance runs: reading the tables of update files, and the target that applying
// them in name order builds, which the convergence check compares with what a fresh first run sends.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <map>
#include <string>

namespace enginetest {

inline const QByteArray kPeriodTable = "Cached Period Attendance";
inline const QByteArray kDailyTable = "Cached Daily Attendance";

// Table title -> its rows (each ending in CR LF), sorted.
using Tables = std::map<QByteArray, QList<QByteArray>>;

// The tables of an update file's content; fieldLines, when given, receives each table's field line.
Tables updateTables(const QByteArray& content, std::map<QByteArray, QByteArray>* fieldLines = nullptr);
// The update files of folder, in name order (the order the importer applies them in).
QStringList updateFiles(const QString& folder);
// The tables of the last update file of folder; none when there is no update file.
Tables lastUpdateTables(const QString& folder);

// What a target holds after applying update files in name order to an empty target: table title -> the
// row's key (student, date, period or time frame) -> the row. A row with an empty attendance code removes
// its key; any other row sets it.
using Target = std::map<QByteArray, std::map<QByteArray, QByteArray>>;
Target applyUpdateFiles(const QString& folder);
// The differences between the target a fresh first run builds and the one a folder's update files build,
// one line each ("" when they hold the same rows).
std::string targetDifferences(const Target& fresh, const Target& applied);
// The rows of folder's update files that remove a key which expected still holds ("" when none): a deletion
// sent for a row that exists.
std::string wrongDeletions(const Target& expected, const QString& folder);

}  // namespace enginetest
