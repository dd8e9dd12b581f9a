// The one writer of host message lines.
//
// The application object and the task object never write to the host themselves: they emit signals that
// are connected directly to these slots, and each slot turns one signal into exactly one TAB-separated
// line (or, for a missing value, into a queued line). A TAB or a line break inside a field becomes a blank
// (linefield::oneLine), so no value can shift the host's fields or forge a line.
//
// Owns: the pending "missing" lines (in arrival order, without duplicates) and two text streams over the
// output and the error device. Lines are UTF-8, end in "\n" and are flushed as they end.
// Thread-safe: a line written from another thread (a command ended from the stop's or the source
// watchdog's thread) is never mixed into another.
// REQUIRES: both devices stay open for the life of the writer.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <mutex>

class QIODevice;

class SISMessageWriter : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY(SISMessageWriter)

  public:
    // The process's writer on standard output and standard error, created on first use and kept to exit.
    static SISMessageWriter& instance();

    // A writer on the given devices (tests, or a host that is not the console).
    explicit SISMessageWriter(QIODevice* out, QIODevice* err, QObject* parent = nullptr);
    ~SISMessageWriter() override;

    // The queued "missing" lines not yet written.
    const QStringList& pendingLines() const { return pending_; }

  public slots:
    void outVersion(const QString& alias, const QString& version, const QString& minversion,
                    const QString& vname, const QString& guide);
    void outParams(const QString& paramkey, const QString& type, const QString& paramname,
                   const QString& help, const QString& defaultValue);
    void outHiddenParam(const QString& paramkey, const QString& paramvalue, const QString& defaultValue);
    void outList(const QString& type, const QString& paramkey, const QString& displaykey,
                 const QString& displayname, const QString& defaultValue);
    void outTree(const QString& paramkey, const QString& displaykey, const QString& parentkey,
                 const QString& displayname, const QString& defaultValue);
    void outHidden(const QString& paramkey, const QString& type, const QString& paramname,
                   const QString& help, const QString& defaultValue);
    void outFile(const QString& paramkey, const QString& extension, const QString& defaultValue);
    void outNumber(const QString& paramkey, const QString& extension, const QString& defaultValue);
    void outDate(const QString& paramkey, const QString& startdate, const QString& enddate,
                 const QString& defaultValue);
    void outTest(const QString& success, const QString& group, const QString& message);
    void outStatus(const QString& success, const QString& date, const QString& message);
    void outManage(const QString& success, const QString& message);
    void outProgress(const QString& progress_type, int progress_total = -1);
    void outProgress_increment(const QString& progress_message = QString());
    void outProgress_warning(const QString& progress_message = QString());
    void outSetting(const QString& setting_type, int setting_total = -1);
    void outSetting_increment(const QString& setting_type, const QString& group, const QString& key,
                              const QString& value);
    void outSetting_increment(const QString& setting_type, const QString& group, const QString& key,
                              const QString& value, const QString& grouping);
    void outWarning(const QString& key, const QString& message);
    void outMissing(const QString& paramkey, const QString& message);
    void outError(const QString& key, const QString& message);
    void clearMessages();

  private:
    void writeOut(const QStringList& fields);
    void writeErr(const QStringList& fields);
    void flushPending();

    QTextStream out_;
    QTextStream err_;
    QStringList pending_;
    std::recursive_mutex mutex_;
};
