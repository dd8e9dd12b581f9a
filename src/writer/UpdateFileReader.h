// UpdateFileReader: reads back the tables of an update file ("Update yyyyMMddhhmmss.CDU") as the writer
// wrote them: each table is a title line ("// " + title), its field line and its rows (TAB-separated, each
// ending in CR LF), closed by a line "*". The file head, the pragmas, the headers block and the timing block
// are passed over. The file is read a line at a time, so a year's file costs no more memory than a line.
//
// Only a regular file is read (a FIFO, a device or a link planted under the name is no update file).
//
// Owns nothing between calls.
// REQUIRES: nothing.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>
#include <vector>

class UpdateFileReader {
  public:
    // One row: the table's title, its field names and the row's values (as many as the row holds; views
    // into the line, valid during the call).
    using RowHandler = std::function<void(const QByteArray& title, const QList<QByteArray>& fieldNames,
                                          const std::vector<QByteArrayView>& values)>;

    // Hands every row of the file at path to handler, in file order. False when the file cannot be read
    // (the reason in error).
    static bool read(const QString& path, const RowHandler& handler, QString& error);
};
