#include "task/BridgeTaskBase.h"

#include "libraries/platform/Folders.h"
#include "libraries/support/XException.h"

#include <QDir>
#include <QFileInfo>
#include <exception>

BridgeTaskBase::BridgeTaskBase(QObject* parent) : AppTaskBase(parent) {}

BridgeTaskBase::~BridgeTaskBase() = default;

void BridgeTaskBase::report(LogLevel level, const ReportText& message, const ReportText& method) {
    if (level == Progress) {
        emit writeProgressIncrement(message.text());
    } else if (level == ProgressWarning) {
        emit writeProgressWarning(message.text());
    }
    emit writeLog(static_cast<int>(level), message.text(), method.text());
}

void BridgeTaskBase::reportAndThrow(LogLevel level, const ReportText& message, const ReportText& method) {
    report(level, message, method);
    throw XException(XString(message.text()).toStdString());
}

void BridgeTaskBase::PutJobText(const ReportText& text) {
    emit writeProgressIncrement(text.text());
    report(Informational, text, "BridgeTaskBase::PutJobText");
}

bool BridgeTaskBase::SetCDEFolder(const QString& path) {
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (platform::createFolderPath(absolute) && QFileInfo(absolute).isDir()) {
        m_outputFolder = absolute;
        return true;
    }
    const QString message = QStringLiteral("Could not create cde folder: ") + absolute;
    report(Error, message, "BridgeTaskBase::SetCDEFolder");
    emit writeError(QStringLiteral("file"), message);
    return false;
}

XDate BridgeTaskBase::StoredUpdateDate(const QString& /*folder*/) {
    return XDate();
}

XDateTime BridgeTaskBase::StoredUpdateDateTime(const QString& /*folder*/) {
    return XDateTime();
}

int BridgeTaskBase::ProgressTotal(int mode) {
    return CalculateProgressSize(mode, setupSteps(), lookupSteps(), importSteps(), dailyAttSteps(),
                                 periodAttSteps());
}

int BridgeTaskBase::CalculateProgressSize(int flags, int setup, int lookup, int import, int daily,
                                          int period) {
    const char* method = "BridgeTaskBase::CalculateProgressSize";
    const struct {
        int count;
        const char* text;
    } totals[] = {
        {setup, "Calculating Progress Size: Setup total is 0 or less"},
        {lookup, "Calculating Progress Size: LUT total is 0 or less"},
        {import, "Calculating Progress Size: Import total is 0 or less"},
        {daily, "Calculating Progress Size: Daily Att total is 0 or less"},
        {period, "Calculating Progress Size: Period Att total is 0 or less"},
    };
    for (const auto& total : totals) {
        if (total.count <= 0) {
            report(Informational, total.text, method);
        }
    }

    int steps = setup + lookup + 2;
    if (flags & FullExtract) {
        steps += import;
    }
    if (flags & AttendanceUpdate) {
        // Each attendance pass reads its whole span in one query: the steps do not grow with the days.
        steps += value("filterdaily") != "true" ? daily : 0;
        steps += value("filterperiod") != "true" ? period : 0;
    }
    return steps;
}

bool BridgeTaskBase::Execute(const TaskValues& values, int mode) {
    report(Progress, "Starting Execution...");
    setValues(values);
    if (!SetCDEFolder(value("path"))) {
        return false;
    }
    report(Informational, QStringLiteral("CDE Folder is: ") + m_outputFolder);

    // Everything from here on may throw (reading the folder's configuration, sizing the progress, the
    // task itself); no exception may leave Execute.
    try {
        m_updateDate = StoredUpdateDate(m_outputFolder);
        m_updateDateTime = StoredUpdateDateTime(m_outputFolder);
        report(Informational, "Update Date is: " + m_updateDate.Format("MMM DD YYYY"));

        const int total = ProgressTotal(mode);
        setProgressTotal(total);
        emit writeProgress(QStringLiteral("start_progress"), total);

        const bool ok = RunTask(values, mode);
        if (!ok) {
            report(Progress, "Bridge execution failed, consult logs for more information.");
        }
        return ok;
    } catch (const XException& e) {
        report(Error, XString(e.what()));
    } catch (...) {
        report(Error, "Execute failed for an unkown reason, please consult Velmora support.");
    }
    return false;
}
