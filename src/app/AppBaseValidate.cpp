// AppBase: the validate modes, in which a command sends canned answers instead of doing its work, so that a
// host can exercise its handling of every outcome.
#include "app/AppBase.h"

int AppBase::validateVersion(int n) {
    switch (n) {
        case 0:
            return commandVersion();
        case 1:
            emit writeProgress(QStringLiteral("start_progress"), 1);
            return 1;
        case 2:
            return 2;
        default:
            emptyProgress();
            return n;
    }
}

int AppBase::validateParams(int n, QString& message) {
    const QString key = value(QStringLiteral("paramkey"));
    switch (n) {
        case 0:
            return commandParams(message);
        case 4:
            if (key.isEmpty()) {
                message = QStringLiteral("No parameters for this group");
                emit writeWarning(QStringLiteral("group"), message);
            } else {
                message = key + " does not exist in this App.";
                emit writeWarning(QStringLiteral("paramkey"), message);
            }
            emptyProgress();
            return 4;
        case 1:
            if (!key.isEmpty()) {
                emit writeWarning(QStringLiteral("connection"),
                                  QStringLiteral("Required parameter missing."));
                emit writeMissing(QStringLiteral("dsn"), QStringLiteral("DSN missing or blank."));
                emptyProgress();
                message =
                    QStringLiteral("Requirements for group were not met, ie missing/incorrect parameters.");
                return 1;
            }
            [[fallthrough]];
        default:
            return validateCommonReply(n);
    }
}

int AppBase::validateTest(int n, const QString& group, QString& message) {
    switch (n) {
        case 0:
            emit writeProgress(QStringLiteral("start_progress"), 0);
            emit writeProgressIncrement(QStringLiteral("Beginning test..."));
            message = QStringLiteral("Connection Successful.");
            emit writeTest(QStringLiteral("success"), group, message);
            emit writeProgress(QStringLiteral("end_progress"), -1);
            return 0;
        case 1:
            emit writeProgress(QStringLiteral("start_progress"), 0);
            message = QStringLiteral("Parameter not valid.");
            emit writeTest(QStringLiteral("fail"), group, message);
            emit writeProgress(QStringLiteral("end_progress"), -1);
            return 1;
        default:
            return validateCommonReply(n);
    }
}

int AppBase::validateRun(int n) {
    switch (n) {
        case 0: {
            const char* steps[] = {
                "Start Extraction...",
                "Validate Connection Successful, using Oracle (ODBC) with prefix.",
                "Reading Look up Tables",
                "Reading Custom Field List...",
                "Reading Student Transportation...",
                "Reading Student Demographics...",
                "Reading Student Grades...",
                "Reading Student Period Attendance (08/25/2008 to 08/31/2008)...",
                "Reading Cached Period Attendance...",
                "Export complete.",
            };
            emit writeProgress(QStringLiteral("start_progress"), 10);
            for (const char* step : steps) {
                emit writeProgressIncrement(QString::fromLatin1(step));
            }
            emit writeProgress(QStringLiteral("end_progress"), -1);
            return 0;
        }
        default:
            return validateCommonReply(n);
    }
}

int AppBase::validateDefaults(int n) {
    return validateCommonReply(n);
}

int AppBase::validateCommonReply(int n) {
    switch (n) {
        case 2:
            return 2;
        case 3:
            emit writeProgress(QStringLiteral("start_progress"), 0);
            return 3;
        default:
            emptyProgress();
            return n;
    }
}
