// BridgeTaskBase: runs one task (Execute) and gives every layer above its reporting operations.
//
// Execute creates the output folder (the "CDE folder"), reads the last update date recorded there, sizes
// the host's progress bar, runs the task's own work (RunTask) and turns its failures into log lines, so
// that nothing the task throws leaves Execute. report/reportAndThrow/PutJobText are how every layer above
// logs and advances the host's progress.
//
// The update date lives in the writer layer's "SchoolConfig.xml"; this layer reaches it only through the
// virtual StoredUpdateDate/StoredUpdateDateTime, which answer null here and are overridden by the writer.
//
// Owns: the run's state that the writer and the engine share (output folder, update stamps, school facts).
// REQUIRES: one thread; Execute runs at most once at a time.
#pragma once

#include "libraries/support/XDate.h"
#include "libraries/support/XDateTime.h"
#include "libraries/support/XString.h"
#include "task/AppTaskBase.h"
#include "task/LogLevel.h"

#include <QString>

// The text argument of the reporting operations: Qt text, narrow XString text (working code page) or a
// literal, so that every layer can report in the text type it works with.
class ReportText {
  public:
    ReportText() = default;
    ReportText(const QString& text) : m_text(text) {}                  // NOLINT: implicit on purpose
    ReportText(const XString& text) : m_text(text.toQString()) {}      // NOLINT: implicit on purpose
    ReportText(const char* text) : m_text(QString::fromUtf8(text)) {}  // NOLINT: implicit on purpose
    const QString& text() const { return m_text; }

  private:
    QString m_text;
};

class BridgeTaskBase : public AppTaskBase {
    Q_OBJECT
    Q_DISABLE_COPY(BridgeTaskBase)

  public:
    // Every layer above reports with the level names alone (Informational, Debug, ...).
    using enum LogLevel;

    // Run flags (the extraction mode): a full extract and/or an attendance update.
    static constexpr int FullExtract = 1;
    static constexpr int AttendanceUpdate = 2;

    explicit BridgeTaskBase(QObject* parent = nullptr);
    ~BridgeTaskBase() override;

    // Runs the task with a copy of the parameter values: output folder from "path", update date, progress
    // total ("start_progress"), RunTask. False when the folder cannot be created, when RunTask fails, or
    // when it throws (the exception is logged at Error level and does not leave this call).
    virtual bool Execute(const TaskValues& values, int mode);

    // CalculateProgressSize over this task's step counts.
    int ProgressTotal(int mode) override;

    // The progress total for the run flags (bit 1 full extract, bit 2 attendance): each count is the
    // number of steps its part of the run sends (daily and period: the attendance passes and their cached
    // tables; a part the "filterdaily" or "filterperiod" value switches off sends none), and the start and
    // the end of the run one each. Counts of 0 or less are logged and used as they are.
    int CalculateProgressSize(int flags, int setup, int lookup, int import, int daily, int period);

    // Progress also advances the host's progress, ProgressWarning advances it with a warning; every level
    // logs.
    void report(LogLevel level, const ReportText& message, const ReportText& method = ReportText());
    // report, then throw XException carrying message.
    [[noreturn]] void reportAndThrow(LogLevel level, const ReportText& message,
                                     const ReportText& method = ReportText());
    // A progress step with text, and its log line at Informational level.
    void PutJobText(const ReportText& text);
    // Creates path with its missing parents and makes its absolute path the output folder. On failure logs
    // and sends the error line "Could not create cde folder: " + absolute path (key "file") and answers
    // false.
    bool SetCDEFolder(const QString& path);

    // The update date and date-time recorded in folder; null in this layer (the writer reads them).
    virtual XDate StoredUpdateDate(const QString& folder);
    virtual XDateTime StoredUpdateDateTime(const QString& folder);

    // Absolute path of the output folder, without a trailing separator; empty before SetCDEFolder.
    const QString& outputFolder() const { return m_outputFolder; }

    const XDate& updateDate() const { return m_updateDate; }
    const XDateTime& updateDateTime() const { return m_updateDateTime; }
    void setUpdateDate(const XDate& date) { m_updateDate = date; }
    void setUpdateDateTime(const XDateTime& dateTime) { m_updateDateTime = dateTime; }

    const XString& bridgeAlias() const { return m_bridgeAlias; }
    const XString& schoolNumber() const { return m_schoolNumber; }
    const XString& district() const { return m_district; }
    const XString& schoolYear() const { return m_schoolYear; }
    const XDateTime& exportDateTime() const { return m_exportDateTime; }
    void setBridgeAlias(const XString& alias) { m_bridgeAlias = alias; }
    void setSchoolNumber(const XString& number) { m_schoolNumber = number; }
    void setDistrict(const XString& district) { m_district = district; }
    void setSchoolYear(const XString& year) { m_schoolYear = year; }
    void setExportDateTime(const XDateTime& when) { m_exportDateTime = when; }

  private:
    QString m_outputFolder;
    XDate m_updateDate;
    XDateTime m_updateDateTime;
    XString m_bridgeAlias;
    XString m_schoolNumber;
    XString m_district;
    XString m_schoolYear;
    XDateTime m_exportDateTime;
};
