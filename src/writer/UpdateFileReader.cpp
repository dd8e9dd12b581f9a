#include "writer/UpdateFileReader.h"

#include "libraries/platform/RegularFile.h"

#include <fcntl.h>
#include <QFile>
#include <cerrno>
#include <cstring>

bool UpdateFileReader::read(const QString& path, const RowHandler& handler, QString& error) {
    const int fd = platform::openRegularFile(path, O_RDONLY | O_NOFOLLOW);
    if (fd < 0) {
        error = path + ": " + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        error = path + ": " + file.errorString();
        return false;
    }
    QByteArray title;
    QList<QByteArray> fieldNames;
    enum { Outside, FieldLine, Rows } where = Outside;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r')) {
            line.chop(1);
        }
        switch (where) {
            case Outside:
                // A table's title; the head's comment lines have no field line after them.
                if (line.startsWith("// ") && line.size() > 3 && !line.startsWith("//  ")) {
                    title = line.mid(3);
                    where = FieldLine;
                }
                break;
            case FieldLine:
                if (!line.contains('\t')) {
                    where = line.startsWith("// ") ? FieldLine : Outside;
                    title = line.mid(3);
                    break;
                }
                fieldNames = line.split('\t');
                where = Rows;
                break;
            case Rows:
                if (line == "*") {
                    where = Outside;
                } else {
                    handler(title, fieldNames, line.split('\t'));
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
