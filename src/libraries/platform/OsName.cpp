#include "libraries/platform/OsName.h"

#include <QSysInfo>

namespace platform {

QString osName() {
    const QString name = QSysInfo::prettyProductName();
    return name.isEmpty() ? QStringLiteral("No OS set.") : name;
}

}  // namespace platform
