#include "messages/SISMessageWriter.h"

#include "messages/LineField.h"

#include <QFile>
#include <QStringConverter>

#include <cstdio>

namespace {

const QString kTab = QStringLiteral("\t");

QString joinFields(const QStringList& fields) {
    QStringList line;
    line.reserve(fields.size());
    for (const QString& field : fields) {
        line.append(linefield::oneLine(field));
    }
    return line.join(kTab);
}

bool isListType(const QString& type) {
    static const QStringList types = {"list", "bridgelist", "school_list", "district_list", "year_list"};
    return types.contains(type);
}

}  // namespace

SISMessageWriter& SISMessageWriter::instance() {
    // The files are opened before the writer that uses them and closed after it.
    struct Console {
        QFile out;
        QFile err;
        SISMessageWriter writer;
        Console() : writer(open(out, stdout), open(err, stderr)) {}
        static QFile* open(QFile& file, FILE* handle) {
            file.open(handle, QIODevice::WriteOnly);
            return &file;
        }
    };
    static Console console;
    return console.writer;
}

SISMessageWriter::SISMessageWriter(QIODevice* out, QIODevice* err, QObject* parent)
    : QObject(parent), out_(out), err_(err) {
    out_.setEncoding(QStringConverter::Utf8);
    err_.setEncoding(QStringConverter::Utf8);
}

SISMessageWriter::~SISMessageWriter() = default;

void SISMessageWriter::writeOut(const QStringList& fields) {
    const std::lock_guard lock(mutex_);
    out_ << joinFields(fields) << Qt::endl;
}

void SISMessageWriter::writeErr(const QStringList& fields) {
    const std::lock_guard lock(mutex_);
    err_ << joinFields(fields) << Qt::endl;
}

void SISMessageWriter::flushPending() {
    const std::lock_guard lock(mutex_);
    while (!pending_.isEmpty()) {
        err_ << pending_.takeFirst() << Qt::endl;
    }
}

void SISMessageWriter::outVersion(const QString& alias, const QString& version, const QString& minversion,
                                  const QString& vname, const QString& guide) {
    writeOut({"version", alias, version, minversion, vname, guide});
}

void SISMessageWriter::outParams(const QString& paramkey, const QString& type, const QString& paramname,
                                 const QString& help, const QString& defaultValue) {
    writeOut({"params", paramkey, type, paramname, help, defaultValue});
}

void SISMessageWriter::outHiddenParam(const QString& paramkey, const QString& paramvalue,
                                      const QString& defaultValue) {
    writeOut({"hidden_param", paramkey, paramvalue, defaultValue});
}

void SISMessageWriter::outList(const QString& type, const QString& paramkey, const QString& displaykey,
                               const QString& displayname, const QString& defaultValue) {
    if (!isListType(type)) {
        // The error line is an error like any other: queued missing lines go out in front of it.
        outError("list", "List type not set up.");
        return;
    }
    writeOut({type, paramkey, displaykey, displayname, defaultValue});
}

void SISMessageWriter::outTree(const QString& paramkey, const QString& displaykey, const QString& parentkey,
                               const QString& displayname, const QString& defaultValue) {
    writeOut({"tree", paramkey, displaykey, parentkey, displayname, defaultValue});
}

void SISMessageWriter::outHidden(const QString& paramkey, const QString& type, const QString& paramname,
                                 const QString& help, const QString& defaultValue) {
    writeOut({"hidden", paramkey, type, paramname, help, defaultValue});
}

void SISMessageWriter::outFile(const QString& paramkey, const QString& extension,
                               const QString& defaultValue) {
    writeOut({"file", paramkey, extension, defaultValue});
}

void SISMessageWriter::outNumber(const QString& paramkey, const QString& extension,
                                 const QString& defaultValue) {
    writeOut({"number", paramkey, extension, defaultValue});
}

void SISMessageWriter::outDate(const QString& paramkey, const QString& startdate, const QString& enddate,
                               const QString& defaultValue) {
    writeOut({"date", paramkey, startdate, enddate, defaultValue});
}

void SISMessageWriter::outTest(const QString& success, const QString& group, const QString& message) {
    writeOut({"test", group, success, message});
}

void SISMessageWriter::outStatus(const QString& success, const QString& date, const QString& message) {
    writeOut({"status", success, date, message});
}

void SISMessageWriter::outManage(const QString& success, const QString& message) {
    writeOut({"manage", success, message});
}

void SISMessageWriter::outProgress(const QString& progress_type, int progress_total) {
    if (progress_total == -1) {
        writeOut({progress_type});
    } else {
        writeOut({progress_type, QString::number(progress_total)});
    }
}

void SISMessageWriter::outProgress_increment(const QString& progress_message) {
    if (progress_message.isEmpty()) {
        writeOut({"inc_progress"});
    } else {
        writeOut({"inc_progress", progress_message});
    }
}

void SISMessageWriter::outProgress_warning(const QString& progress_message) {
    if (progress_message.isEmpty()) {
        writeOut({"inc_progress"});
    } else {
        writeOut({"warn_progress", progress_message});
    }
}

void SISMessageWriter::outSetting(const QString& setting_type, int setting_total) {
    if (setting_total == -1) {
        writeOut({setting_type});
    } else {
        writeOut({setting_type, QString::number(setting_total)});
    }
}

void SISMessageWriter::outSetting_increment(const QString& setting_type, const QString& group,
                                            const QString& key, const QString& value) {
    writeOut({setting_type, group, key, value});
}

void SISMessageWriter::outSetting_increment(const QString& setting_type, const QString& group,
                                            const QString& key, const QString& value,
                                            const QString& grouping) {
    writeOut({setting_type, group, key, value, grouping});
}

void SISMessageWriter::outWarning(const QString& key, const QString& message) {
    flushPending();
    writeOut({"warning", key, message});
}

void SISMessageWriter::outMissing(const QString& paramkey, const QString& message) {
    const QString line = joinFields({"missing", paramkey, message});
    const std::lock_guard lock(mutex_);
    if (!pending_.contains(line)) {
        pending_.append(line);
    }
}

void SISMessageWriter::outError(const QString& key, const QString& message) {
    flushPending();
    writeErr({"error", key, message});
}

void SISMessageWriter::clearMessages() {
    const std::lock_guard lock(mutex_);
    pending_.clear();
}
