#include "engine_AttendanceUpdates.h"

#include <QDir>
#include <algorithm>
#include <set>

#include "../app/ProgramRunner.h"

namespace enginetest {

namespace {

// Key and code of an update file row: "student TAB date TAB key" and the fourth field.
std::pair<QByteArray, QByteArray> keyAndCode(const QByteArray& row) {
    const QList<QByteArray> fields = row.trimmed().split('\t');
    if (fields.size() < 4) {
        return {row.trimmed(), QByteArray()};
    }
    return {fields[0] + '\t' + fields[1] + '\t' + fields[2], fields[3]};
}

}  // namespace

Tables updateTables(const QByteArray& content, std::map<QByteArray, QByteArray>* fieldLines) {
    Tables tables;
    const QList<QByteArray> lines = content.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (!line.startsWith("// Cached ")) {
            continue;
        }
        const QByteArray title = line.mid(3);
        QList<QByteArray>& rows = tables[title];
        if (fieldLines != nullptr && i + 1 < lines.size()) {
            (*fieldLines)[title] = lines[i + 1].trimmed();
        }
        for (i += 2; i < lines.size() && lines[i] != "*\r"; ++i) {
            rows.append(lines[i] + "\n");
        }
        std::sort(rows.begin(), rows.end());
    }
    return tables;
}

QStringList updateFiles(const QString& folder) {
    return QDir(folder).entryList({"Update *.CDU"}, QDir::Files, QDir::Name);
}

Tables lastUpdateTables(const QString& folder) {
    const QStringList files = updateFiles(folder);
    return files.isEmpty() ? Tables() : updateTables(readFile(folder + "/" + files.last()));
}

Target applyUpdateFiles(const QString& folder) {
    Target target;
    for (const QString& name : updateFiles(folder)) {
        // Rows in file order: a file never holds a key twice, so the order within a file does not matter.
        for (const auto& [table, rows] : updateTables(readFile(folder + "/" + name))) {
            std::map<QByteArray, QByteArray>& held = target[table];
            for (const QByteArray& row : rows) {
                const auto [key, code] = keyAndCode(row);
                if (code.isEmpty()) {
                    held.erase(key);
                } else {
                    held[key] = row;
                }
            }
        }
    }
    return target;
}

std::string targetDifferences(const Target& fresh, const Target& applied) {
    std::string differences;
    const auto rowsOf = [](const Target& target, const QByteArray& table) {
        const auto found = target.find(table);
        return found == target.end() ? std::map<QByteArray, QByteArray>() : found->second;
    };
    std::set<QByteArray> tables;
    for (const Target* target : {&fresh, &applied}) {
        for (const auto& [table, rows] : *target) {
            tables.insert(table);
        }
    }
    for (const QByteArray& table : tables) {
        const std::map<QByteArray, QByteArray> expected = rowsOf(fresh, table);
        const std::map<QByteArray, QByteArray> actual = rowsOf(applied, table);
        for (const auto& [key, row] : expected) {
            const auto found = actual.find(key);
            if (found == actual.end()) {
                differences += (table + " missing: " + row.trimmed() + "\n").toStdString();
            } else if (found->second != row) {
                differences +=
                    (table + " stale: " + found->second.trimmed() + " instead of " + row.trimmed() + "\n")
                        .toStdString();
            }
        }
        for (const auto& [key, row] : actual) {
            if (expected.count(key) == 0) {
                differences += (table + " extra: " + row.trimmed() + "\n").toStdString();
            }
        }
    }
    return differences;
}

std::string wrongDeletions(const Target& expected, const QString& folder) {
    std::string wrong;
    for (const QString& name : updateFiles(folder)) {
        for (const auto& [table, rows] : updateTables(readFile(folder + "/" + name))) {
            const auto held = expected.find(table);
            for (const QByteArray& row : rows) {
                const auto [key, code] = keyAndCode(row);
                if (code.isEmpty() && held != expected.end() && held->second.count(key) != 0) {
                    wrong += (name + ": " + table + ": " + row.trimmed() + "\n").toStdString();
                }
            }
        }
    }
    return wrong;
}

}  // namespace enginetest
