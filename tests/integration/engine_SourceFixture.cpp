#include "engine_SourceFixture.h"

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcessEnvironment>
#include <algorithm>
#include <stdexcept>

#include "libraries/platform/CodePage.h"

namespace enginetest {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

QByteArray trimBlanks(const QByteArray& bytes) {
    qsizetype first = 0;
    qsizetype last = bytes.size();
    while (first < last && isBlank(bytes[first])) {
        ++first;
    }
    while (last > first && isBlank(bytes[last - 1])) {
        --last;
    }
    return bytes.mid(first, last - first);
}

}  // namespace

QString sampleFolder() {
    const QString ini = qEnvironmentVariable("ODBCINI");
    return ini.isEmpty() ? QString() : QFileInfo(ini).absolutePath();
}

std::optional<SampleSource> sampleSource(SourceKind kind, QString& skipReason) {
    if (qEnvironmentVariable("ODBCINI").isEmpty() || !QFile::exists(sampleFolder() + "/norv.json")) {
        skipReason = "ODBCINI does not point at the sample source (run the tests through ./test.sh)";
        return std::nullopt;
    }
    if (kind == SourceKind::SQLite) {
        return SampleSource{kind, "SQLite", "NorvSQLite", "", ""};
    }
    if (qEnvironmentVariable("NORV_PG_PORT").isEmpty()) {
        skipReason = "NORV_PG_PORT is not set: no PostgreSQL test server (run the tests through ./test.sh)";
        return std::nullopt;
    }
    return SampleSource{kind, "PostgreSQL", "NorvPG", "norv_reader", "norv-reader-pw"};
}

const SampleData& SampleData::instance() {
    static const SampleData data = [] {
        SampleData loaded;
        QFile file(sampleFolder() + "/norv.json");
        if (!file.open(QIODevice::ReadOnly)) {
            throw std::runtime_error("cannot read norv.json");
        }
        const QJsonObject top = QJsonDocument::fromJson(file.readAll()).object();
        loaded.m_views = top.value("views").toObject();
        loaded.m_schools = top.value("schools").toArray();
        loaded.m_schoolYear = top.value("school_year").toInt();
        return loaded;
    }();
    return data;
}

std::vector<SampleData::Row> SampleData::rows(const QString& view) const {
    const QJsonObject table = m_views.value(view).toObject();
    QStringList columns;
    for (const QJsonValue& column : table.value("columns").toArray()) {
        columns.append(column.toObject().value("name").toString());
    }
    std::vector<Row> result;
    for (const QJsonValue& row : table.value("rows").toArray()) {
        const QJsonArray values = row.toArray();
        Row named;
        for (qsizetype i = 0; i < columns.size(); ++i) {
            named[columns[i]] = values.at(i);
        }
        result.push_back(std::move(named));
    }
    return result;
}

QByteArray columnText(const QJsonValue& value) {
    if (!value.isString()) {
        return QByteArray();
    }
    QByteArray bytes = trimBlanks(platform::toWorkingCodePage(value.toString()));
    bytes.replace("\t", "");
    return bytes;
}

QByteArray singleLine(const QJsonValue& value) {
    QByteArray bytes = trimBlanks(columnText(value));
    for (char& c : bytes) {
        if (c == '\t' || c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return bytes;
}

QByteArray outputText(const QJsonValue& value) {
    return singleLine(value);
}

QByteArray dateText(const QJsonValue& value) {
    if (!value.isString()) {
        return QByteArray();
    }
    const QString iso = value.toString();  // YYYY-MM-DD
    return (iso.mid(5, 2) + "/" + iso.mid(8, 2) + "/" + iso.left(4)).toLatin1();
}

QByteArray joinLine(const QList<QByteArray>& fields) {
    return fields.join('\t') + "\r\n";
}

EngineHarness::EngineHarness() : m_engine(std::make_unique<ExpEngine>()) {
    QObject::connect(m_engine.get(), &AppTaskBase::writeLog, m_engine.get(),
                     [this](int level, const QString& message, const QString& method) {
                         m_log.push_back({level, message, method});
                     });
    QObject::connect(
        m_engine.get(), &AppTaskBase::writeMissing, m_engine.get(),
        [this](const QString& key, const QString& message) { m_missing.append(key + ": " + message); });
}

EngineHarness::~EngineHarness() = default;

bool EngineHarness::run(const SampleSource& source, const QString& folder, const QString& school, int mode,
                        const TaskValues& extra) {
    TaskValues values = extra;
    values.insert("path", folder);
    values.insert("school", school);
    values.insert("dsn", source.dsn.toQString());
    values.insert("user", source.user.toQString());
    values.insert("pwd", source.password.toQString());
    values.insert("appShortName_", "Norv");
    values.insert("appTitle_", "Norv Extractor");
    values.insert("bridgeAlias_", "norv");
    return m_engine->Execute(values, mode);
}

bool EngineHarness::logged(int level, const QString& text) const {
    return std::any_of(m_log.begin(), m_log.end(), [&](const LogLine& line) {
        return line.level == level && line.message.contains(text);
    });
}

QString EngineHarness::logText() const {
    QString all;
    for (const LogLine& line : m_log) {
        all += QString::number(line.level) + " " + line.message + " [" + line.method + "]\n";
    }
    return all;
}

SqliteFixture::SqliteFixture() : m_previousOdbcIni(qgetenv("ODBCINI")) {
    const QString folder = sampleFolder();
    const QString copy = m_dir.path() + "/norv.db";
    if (!m_dir.isValid() || !QFile::copy(folder + "/norv.db", copy)) {
        m_error = "cannot copy the sample database";
        return;
    }
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    QFile ini(m_dir.path() + "/odbc.ini");
    if (!ini.open(QIODevice::WriteOnly)) {
        m_error = "cannot write odbc.ini";
        return;
    }
    // The sample's own DSNs stay available beside the fixture's.
    ini.write(readFile(qEnvironmentVariable("ODBCINI")));
    m_dsn = "NorvFixture_" + QFileInfo(m_dir.path()).fileName();
    ini.write(("\n[" + m_dsn + "]\nDriver=SQLite3\nDatabase=file:" + copy + "?mode=ro\nLoadExt=" + folder +
               "/norv_oracle.so\nTimeout=30000\n")
                  .toUtf8());
    ini.close();
    qputenv("ODBCINI", ini.fileName().toUtf8());
}

SqliteFixture::~SqliteFixture() {
    qputenv("ODBCINI", m_previousOdbcIni);
}

bool SqliteFixture::exec(const QString& sql) {
    sqlite3* db = nullptr;
    const QByteArray path = (m_dir.path() + "/norv.db").toUtf8();
    if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        m_error = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        return false;
    }
    char* message = nullptr;
    const bool ok = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) == SQLITE_OK;
    if (!ok) {
        m_error = QString::fromUtf8(message);
    }
    sqlite3_free(message);
    sqlite3_close(db);
    return ok;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QByteArray("<missing " + path.toUtf8() + ">");
    }
    return file.readAll();
}

QList<QByteArray> sortedLines(const QByteArray& content) {
    QList<QByteArray> lines = content.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    for (QByteArray& line : lines) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace enginetest
