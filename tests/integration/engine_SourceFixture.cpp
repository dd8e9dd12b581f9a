#include "engine_SourceFixture.h"

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
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

std::optional<SampleSource> sampleSource(SourceKind kind, QString& missingReason) {
    if (!QFile::exists(sampleFolder() + "/norv.json")) {
        missingReason = "the sample source is missing beside ODBCINI (" + qEnvironmentVariable("ODBCINI") +
                        "); the ctest fixture norv_sources_start builds it";
        return std::nullopt;
    }
    if (kind == SourceKind::SQLite) {
        return SampleSource{kind, "SQLite", "NorvSQLite", "", ""};
    }
    return SampleSource{kind, "PostgreSQL", "NorvPG", "norv_reader", "norv-reader-pw"};
}

void SampleSourceTest::SetUp() {
    QString reason;
    const auto found = sampleSource(GetParam(), reason);
    ASSERT_TRUE(found.has_value()) << reason.toStdString();
    source = *found;
}

void OwnPupilTest::SetUp() {
    SampleSourceTest::SetUp();
    if (HasFatalFailure()) {
        return;
    }
    // The sample's data before the fixture points ODBCINI at its own file.
    const std::set<QByteArray> pupils = includedPupils(Selection{m_school, QString()});
    ASSERT_FALSE(pupils.empty());
    pupil = QString::fromLatin1(*pupils.begin());
    QString reason;
    fixture = FixtureSource::make(GetParam(), reason, true);
    ASSERT_TRUE(fixture) << reason.toStdString();
    ASSERT_TRUE(fixture->isValid()) << fixture->error().toStdString();
    folder = out.path() + "/import";
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
        loaded.m_generatorArguments =
            QStringList{"--seed",     QString::number(top.value("seed").toInteger()),
                        "--students", QString::number(top.value("students").toInteger()),
                        "--year",     QString::number(loaded.m_schoolYear),
                        "--as-of",    top.value("as_of").toString()};
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

QByteArray valueText(const QJsonValue& value) {
    if (value.isDouble()) {
        return QByteArray::number(value.toInteger());
    }
    return columnText(value);
}

QString str(const SampleData::Row& row, const char* column) {
    return row.at(column).toString();
}

bool Selection::matches(const SampleData::Row& row) const {
    if (str(row, "school") != school) {
        return false;
    }
    if (str(row, "registered_indicator") == "R") {
        return true;
    }
    const QJsonValue withdrawn = row.at("withdraw_date");
    return !cutoffIso.isEmpty() && withdrawn.isString() && withdrawn.toString() >= cutoffIso;
}

std::set<QByteArray> includedPupils(const Selection& selection) {
    std::set<QByteArray> pupils;
    for (const SampleData::Row& row : SampleData::instance().rows("V_VLMR_STU_DEMOGRAPHIC")) {
        if (selection.matches(row)) {
            pupils.insert(columnText(row.at("pupil_number")));
        }
    }
    return pupils;
}

bool hasGrade(const SampleData::Row& mark) {
    return std::any_of(std::begin(kMarkGradeColumns), std::end(kMarkGradeColumns),
                       [&](const char* grade) { return !columnText(mark.at(grade)).isEmpty(); });
}

int selectedRows(const Selection& selection, const QJsonValue& pupil) {
    static const std::multimap<QString, SampleData::Row> byPupil = [] {
        std::multimap<QString, SampleData::Row> rows;
        for (const SampleData::Row& row : SampleData::instance().rows("V_VLMR_STU_DEMOGRAPHIC")) {
            rows.emplace(str(row, "pupil_number"), row);
        }
        return rows;
    }();
    const auto [first, last] = byPupil.equal_range(pupil.toString());
    return static_cast<int>(
        std::count_if(first, last, [&](const auto& entry) { return selection.matches(entry.second); }));
}

QByteArray Extraction::file(const char* name) const {
    return readFile(folder + "/" + name);
}

bool Extraction::logged(int level, const QString& text) const {
    return std::any_of(log.begin(), log.end(), [&](const EngineHarness::LogLine& line) {
        return line.level == level && line.message.contains(text);
    });
}

const Extraction& fullExtraction(const SampleSource& source, const QString& school) {
    static std::map<std::pair<int, QString>, Extraction> done;
    static std::vector<std::unique_ptr<QTemporaryDir>> folders;
    const auto key = std::make_pair(static_cast<int>(source.kind), school);
    auto found = done.find(key);
    if (found != done.end()) {
        return found->second;
    }
    folders.push_back(std::make_unique<QTemporaryDir>());
    Extraction extraction;
    extraction.folder = folders.back()->path();
    {
        EngineHarness harness;
        extraction.succeeded = harness.run(source, extraction.folder, school, BridgeTaskBase::FullExtract);
        extraction.log = harness.log();
    }
    return done.emplace(key, std::move(extraction)).first->second;
}

EngineHarness::EngineHarness(std::unique_ptr<ExpEngine> engine) : m_engine(std::move(engine)) {
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
    return m_engine->Execute(values(source, folder, school, extra), mode);
}

bool EngineHarness::verify(const SampleSource& source, const QString& folder, const QString& school) {
    return m_engine->VerifyAttendance(values(source, folder, school, TaskValues()));
}

TaskValues EngineHarness::values(const SampleSource& source, const QString& folder, const QString& school,
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
    return values;
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

FixtureSource::FixtureSource() : m_previousOdbcIni(qgetenv("ODBCINI")) {
    if (!m_dir.isValid()) {
        m_error = "cannot make a temporary folder";
    }
}

FixtureSource::~FixtureSource() {
    qputenv("ODBCINI", m_previousOdbcIni);
}

QString FixtureSource::dsn() const {
    return "NorvFixture_" + QFileInfo(m_dir.path()).fileName();
}

void FixtureSource::writeOdbcIni(const QString& section) {
    QFile ini(m_dir.path() + "/odbc.ini");
    if (!ini.open(QIODevice::WriteOnly)) {
        m_error = "cannot write odbc.ini";
        return;
    }
    ini.write(readFile(QString::fromLocal8Bit(m_previousOdbcIni)));
    ini.write(("\n[" + dsn() + "]\n" + section).toUtf8());
    ini.close();
    qputenv("ODBCINI", ini.fileName().toUtf8());
}

std::unique_ptr<FixtureSource> FixtureSource::make(SourceKind kind, QString& skipReason,
                                                   bool withSampleData) {
    if (!sampleSource(kind, skipReason)) {
        return nullptr;
    }
    if (kind == SourceKind::SQLite) {
        return std::make_unique<SqliteFixture>();
    }
    return std::make_unique<PostgresFixture>(withSampleData);
}

SqliteFixture::SqliteFixture() {
    const QString folder = sampleFolder();
    const QString copy = m_dir.path() + "/norv.db";
    if (!isValid() || !QFile::copy(folder + "/norv.db", copy)) {
        m_error = "cannot copy the sample database";
        return;
    }
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    writeOdbcIni("Driver=SQLite3\nDatabase=file:" + copy + "?mode=ro\nLoadExt=" + folder +
                 "/norv_oracle.so\nTimeout=30000\n");
}

SampleSource SqliteFixture::source() const {
    return {SourceKind::SQLite, "SQLiteFixture", XString(dsn()), "", ""};
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

PostgresFixture::PostgresFixture(bool withSampleData)
    : m_schema("fx_" + QFileInfo(m_dir.path()).fileName().toLower()) {
    m_schema.replace(QRegularExpression("[^a-z0-9_]"), "_");
    if (!isValid()) {
        return;
    }
    // The sample's own view definitions, in a schema of this fixture.
    QProcess generator;
    const QString script = m_dir.path() + "/norv-postgres.sql";
    generator.start("python3", QStringList{QString(NORV_SOURCE_DIR) + "/sample/generate.py"} +
                                   (withSampleData ? QStringList{"--postgres", script} +
                                                         SampleData::instance().generatorArguments()
                                                   : QStringList{"--schema", "postgres"}));
    if (!generator.waitForFinished(120000) || generator.exitCode() != 0) {
        m_error = "cannot run the sample generator: " + QString::fromUtf8(generator.readAllStandardError());
        return;
    }
    QString ddl = withSampleData ? QString::fromUtf8(readFile(script))
                                 : QString::fromUtf8(generator.readAllStandardOutput());
    ddl.replace("table_schema = 'public'", "table_schema = '" + m_schema + "'");
    if (!psql("CREATE SCHEMA " + m_schema + "; SET search_path TO " + m_schema + ";\n" + ddl +
              (withSampleData
                   ? ""
                   : "\nINSERT INTO V_VLMR_SCHOOL VALUES ('1021', 'Fixture School', 'P', 'N');"))) {
        return;
    }
    writeOdbcIni(
        "Driver=PostgreSQL Unicode\nServername=127.0.0.1\nPort=" + qEnvironmentVariable("NORV_PG_PORT") +
        "\nDatabase=norv_test\nSSLmode=disable\nCommLog=0\nDebug=0\nConnSettings=SET search_path TO " +
        m_schema + "\n");
}

PostgresFixture::~PostgresFixture() {
    psql("DROP SCHEMA IF EXISTS " + m_schema + " CASCADE");
}

SampleSource PostgresFixture::source() const {
    return {SourceKind::PostgreSQL, "PostgreSQLFixture", XString(dsn()), "norv_admin", "norv-admin-pw"};
}

bool PostgresFixture::exec(const QString& sql) {
    return psql("SET search_path TO " + m_schema + ";\n" + sql);
}

bool PostgresFixture::psql(const QString& sql) {
    QString error;
    if (!asServerAdmin(sql, error)) {
        m_error = "psql failed: " + error;
        return false;
    }
    return true;
}

bool asServerAdmin(const QString& sql, QString& error) {
    QProcess client;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PGPASSWORD", "norv-admin-pw");
    client.setProcessEnvironment(environment);
    client.start("psql",
                 {"-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", "127.0.0.1", "-p",
                  qEnvironmentVariable("NORV_PG_PORT"), "-U", "norv_admin", "-d", "norv_test", "-f", "-"});
    client.write("SET client_min_messages = warning;\n" + sql.toUtf8());
    client.closeWriteChannel();
    const bool ok = client.waitForFinished(60000) && client.exitStatus() == QProcess::NormalExit &&
                    client.exitCode() == 0;
    error = QString::fromUtf8(client.readAllStandardError());
    return ok;
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
