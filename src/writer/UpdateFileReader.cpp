#include "writer/UpdateFileReader.h"

#include "libraries/platform/Descriptor.h"
#include "libraries/platform/RegularFile.h"

#include <fcntl.h>
#include <QFile>
#include <cerrno>
#include <cstring>

namespace {

// The fields of a TAB-separated line, as views into it.
void splitFields(QByteArrayView line, std::vector<QByteArrayView>& fields) {
    fields.clear();
    for (;;) {
        const qsizetype tab = line.indexOf('\t');
        if (tab < 0) {
            fields.push_back(line);
            return;
        }
        fields.push_back(line.first(tab));
        line = line.sliced(tab + 1);
    }
}

}  // namespace

bool UpdateFileReader::read(const QString& path, const RowHandler& handler, QString& error) {
    platform::Descriptor fd(platform::openRegularFile(path, O_RDONLY | O_NOFOLLOW));
    if (!fd.isOpen()) {
        error = path + ": " + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    QFile file;
    if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        error = path + ": " + file.errorString();
        return false;  // not taken by the file: closed here
    }
    fd.release();  // the file closes it
    QByteArray title;
    QList<QByteArray> fieldNames;
    std::vector<QByteArrayView> values;
    QByteArray line(4096, Qt::Uninitialized);
    enum { Outside, FieldLine, Rows } where = Outside;
    while (!file.atEnd()) {
        // A line into the one buffer, which grows for a longer line.
        qsizetype length = 0;
        for (;;) {
            const qint64 got = file.readLine(line.data() + length, line.size() - length);
            if (got <= 0) {
                break;
            }
            length += got;
            if (line[length - 1] == '\n' || file.atEnd()) {
                break;
            }
            line.resize(line.size() * 2);
        }
        QByteArrayView text(line.constData(), length);
        while (text.endsWith('\n') || text.endsWith('\r')) {
            text.chop(1);
        }
        switch (where) {
            case Outside:
                // A table's title; the head's comment lines have no field line after them.
                if (text.startsWith("// ") && text.size() > 3 && !text.startsWith("//  ")) {
                    title = text.sliced(3).toByteArray();
                    where = FieldLine;
                }
                break;
            case FieldLine:
                if (!text.contains('\t')) {
                    where = text.startsWith("// ") ? FieldLine : Outside;
                    title = text.size() > 3 ? text.sliced(3).toByteArray() : QByteArray();
                    break;
                }
                fieldNames = text.toByteArray().split('\t');
                where = Rows;
                break;
            case Rows:
                if (text == "*") {
                    where = Outside;
                } else {
                    splitFields(text, values);
                    handler(title, fieldNames, values);
                }
                break;
        }
    }
    if (file.error() != QFileDevice::NoError) {
        error = path + ": " + file.errorString();
        return false;
    }
    return true;
}
