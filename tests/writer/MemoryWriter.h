// A writer whose data access serves rows from memory, for the writer's tests.
#pragma once

#include "libraries/platform/Clock.h"
#include "writer/CDEWriter.h"
#include "writer/PackedVersion.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <optional>
#include <ostream>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

class MemoryWriter : public CDEWriter {
  public:
    using Row = std::vector<XString>;

    std::vector<Row> rows;
    XString dsn = "NorvDSN";
    QStringList log;                     // "level|message" of every log line
    QStringList progress;                // progress markers ("bridge_complete|-1")
    std::function<void()> onOpen;        // runs inside OpenTable (to make it fail)
    std::optional<RowPasses> openedFor;  // how the last OpenTable said the rows would be read
    QStringList cacheSteps;              // the attendance cache hooks called, in order
    std::function<void()> onCloseCache;  // runs inside CloseAttendanceCache (to make it fail)

    MemoryWriter() {
        QObject::connect(this, &AppTaskBase::writeLog, [this](int level, QString message, QString) {
            log << QString::number(level) + "|" + message;
        });
        QObject::connect(this, &AppTaskBase::writeProgress, [this](QString type, int total) {
            progress << type + "|" + QString::number(total);
        });
        setValues({{"appTitle_", "Norv Data Extractor"},
                   {"appType_", "Data Extractor"},
                   {"appVersion_", "2.1.0.0"},
                   {"appBuildDate_", "Oct  3 2013 11:13:11"},
                   {"appAlias_", "norv_de"},
                   {"appShortName_", "Norv"}});
    }

    // The engine's settings of the pragmas.
    void useEngineSettings() {
        settings().timeFormat = "HH:NN";
        settings().gradesDontCreateSections = true;
        settings().maxExpectedTimeSlots = 20;
        settings().minVersion = PackedVersion::Parse("7.5.0");
    }

    // Binds output column name to value index of the current row, and declares it in the header.
    void column(const XString& name, int index) {
        AddColumnBinding(nullptr, name, [this, index] { return rows[m_row][static_cast<size_t>(index)]; });
        AddHeaderField(name);
    }

    bool messageLogged(const QString& text) const {
        for (const QString& line : log) {
            if (line.section('|', 1) == text) {
                return true;
            }
        }
        return false;
    }
    bool messageContains(const QString& text) const {
        for (const QString& line : log) {
            if (line.section('|', 1).contains(text)) {
                return true;
            }
        }
        return false;
    }

    void CloseAttendanceCache() override {
        cacheSteps << "close";
        if (onCloseCache) {
            onCloseCache();
        }
    }
    void FilterAttendance(const XDate&, const XDate&) override {}
    void ResetAttendanceFilter() override {}
    void CreateAttendanceFromDB() override {}
    bool OpenTable(bool, RowPasses passes) override {
        openedFor = passes;
        if (onOpen) {
            onOpen();
        }
        m_row = 0;
        return true;
    }
    bool GetFirstRecord() override {
        m_row = 0;
        return !rows.empty();
    }
    bool GetNextRecord() override { return ++m_row < rows.size(); }
    void ClearQuery() override {}
    XString BuildQuery() override { return "SELECT * FROM MEMORY"; }
    XString DataSourceName() override { return dsn; }

    size_t currentRow() const { return m_row; }

  private:
    size_t m_row = 0;
};

inline QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline QByteArray expectedBytes(const QString& name) {
    return fileBytes(QStringLiteral(NORV_SOURCE_DIR "/tests/writer/expected/") + name);
}

inline void setClock(int hour, int minute, int second) {
    platform::Clock::setFixed(QDateTime(QDate(2024, 1, 5), QTime(hour, minute, second)));
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(bytes);
    }
}
