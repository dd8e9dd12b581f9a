// The per-user folders the program writes into when no folder is given.
#pragma once

#include <QString>

namespace platform {

// The per-user application data folder (~/.local/share), without a trailing separator.
QString appDataFolder();

// The shared application data fallback used when the per-user folder cannot be found:
// the home folder + "/.local/share".
QString commonAppDataFolder();

// The user's documents folder; the home folder when the system names none.
QString documentsFolder();

// Creates path with all missing parents. True when it exists afterwards.
bool createFolderPath(const QString& path);

}  // namespace platform
