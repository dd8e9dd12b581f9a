#include "app/StatusFiles.h"

#include "libraries/platform/Folders.h"
#include "libraries/platform/RegularFile.h"
#include "libraries/support/XException.h"
#include "writer/StagedFile.h"

#include <QDir>
#include <QFile>

#include <cerrno>

#include <sys/stat.h>

StatusFiles::State StatusFiles::stateOf(const QString& folder, const QStringList& names) {
    State state;
    for (const QString& name : names) {
        struct stat info {};
        if (::lstat(QFile::encodeName(QDir(folderOf(folder)).filePath(name)).constData(), &info) != 0) {
            state.push_back({0, 0, 0, 0, 0});
            continue;
        }
        state.push_back({1, static_cast<qint64>(info.st_dev), static_cast<qint64>(info.st_ino),
                         static_cast<qint64>(info.st_ctim.tv_sec),
                         static_cast<qint64>(info.st_ctim.tv_nsec)});
    }
    return state;
}

QString StatusFiles::folderOf(const QString& folder) {
    return folder.isEmpty() ? platform::documentsFolder() + QStringLiteral("/Velmora Software/Logs") : folder;
}

bool StatusFiles::write(const QString& folder, const QString& name, const QString& text) {
    const QString dir = folderOf(folder);
    platform::createFolderPath(dir);
    try {
        return StagedFile::writeWhole(XFileSpec(QDir(dir).filePath(name)),
                                      (text + QStringLiteral("\r\n")).toUtf8());
    } catch (const XException& e) {
        errno = e.code() != 0 ? e.code() : ENAMETOOLONG;  // a path the file layer cannot hold
        return false;
    }
}

bool StatusFiles::succeeded(const QString& folder, const QString& name) {
    const QString dir = folderOf(folder);
    platform::createFolderPath(dir);
    // A regular file only: a FIFO planted under the name would hold the run until someone writes to it.
    const std::optional<QByteArray> content =
        platform::readRegularFile(QDir(dir).filePath(name), 1 << 16, true);
    return content && QString::fromUtf8(*content).contains(QLatin1String("Succeeded"), Qt::CaseInsensitive);
}

bool StatusFiles::remove(const QString& folder, const QString& name) {
    const QString dir = folderOf(folder);
    platform::createFolderPath(dir);
    return QFile::remove(QDir(dir).filePath(name));
}
