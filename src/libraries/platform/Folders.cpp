#include "libraries/platform/Folders.h"

#include <QDir>
#include <QStandardPaths>

namespace platform {

QString appDataFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (folder.isEmpty()) {
        folder = commonAppDataFolder();
    }
    return QDir::cleanPath(folder);
}

QString commonAppDataFolder() {
    return QDir::cleanPath(QDir::homePath() + "/.local/share");
}

QString documentsFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QDir::cleanPath(folder.isEmpty() ? QDir::homePath() : folder);
}

bool createFolderPath(const QString& path) {
    return !path.isEmpty() && QDir().mkpath(path);
}

}  // namespace platform
