// Fuzz target: "SchoolConfig.xml" (the import folder's record of the last run) as a run meets it, through
// the file code: the reader's checks (a regular file only, never through a link, never waiting on a FIFO,
// no file past the size limit) and the staged write (temporary file, rename over whatever stands at the
// name); and the parser, the writer's bytes and the stored dates. Input: the file's bytes; its parts
// between NUL bytes are also taken as the values of the fourteen keys, in order, for a file the program
// writes. What stands at the file's name before the run depends on the input's length, so that each input
// can take each road (kRoads): the bytes as a regular file, a symbolic link to a file holding them, a FIFO,
// a folder, or the bytes in a file grown past the size limit.
//
// Checks: any bytes parse without fault, and a regular file reads as its bytes parse, anything else as no
// configuration; the stored update dates parse with the program's patterns; a file written from values the
// format can hold (no double quote, no line end: values are written unescaped, as the importer has always
// read them) reads back as written, from the file too, and so does what was read; the write replaces a
// link or a FIFO at the name without touching what a link points at, fails on a folder and leaves it, and
// never leaves a temporary file behind.
#include "FuzzInput.h"

#include "libraries/support/XDate.h"
#include "libraries/support/XDateTime.h"
#include "libraries/support/XException.h"
#include "writer/SchoolConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>
#include <iterator>
#include <memory>

namespace {

enum class Planted { File, Link, Fifo, Folder, Oversized };
// By the input's length: half the inputs meet a regular file, the road of every night; the file past the
// limit, read up to its megabyte, comes least often.
constexpr Planted kRoads[] = {Planted::File, Planted::Link,   Planted::File, Planted::Fifo,
                              Planted::File, Planted::Folder, Planted::File, Planted::Oversized};

// The folders of this process: the import folder, and beside it the file a planted link points at. On
// /dev/shm where there is one: the staged write syncs every file it renames.
std::unique_ptr<QTemporaryDir> g_root;

bool holdable(const XString& value) {
    return value.find('"') < 0 && value.find('\r') < 0 && value.find('\n') < 0;
}

bool allHoldable(const SchoolConfig::Entries& entries) {
    for (const auto& [key, value] : entries) {
        if (!holdable(value)) {
            return false;
        }
    }
    return true;
}

void checkRoundTrip(const SchoolConfig::Entries& entries) {
    if (!allHoldable(entries)) {
        return;
    }
    SchoolConfig::Entries again;
    FUZZ_CHECK(SchoolConfig::Parse(SchoolConfig::Serialize(entries), again));
    FUZZ_CHECK(again == entries);
}

void writeBytes(const QString& path, const QByteArray& bytes, qint64 size) {
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
    FUZZ_CHECK(file.resize(size));
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

// Empties folder, links and folders included (never following a link).
void clear(const QString& folder) {
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink()) {
            FUZZ_CHECK(QDir(entry.filePath()).removeRecursively());
        } else {
            FUZZ_CHECK(QFile::remove(entry.filePath()));
        }
    }
}

// Plants what stands at the name before the run.
void plant(Planted kind, const QString& file, const QString& target, const QByteArray& bytes) {
    switch (kind) {
        case Planted::File:
            writeBytes(file, bytes, bytes.size());
            break;
        case Planted::Link:
            writeBytes(target, bytes, bytes.size());
            FUZZ_CHECK(QFile::link(target, file));
            break;
        case Planted::Fifo:
            FUZZ_CHECK(::mkfifo(QFile::encodeName(file).constData(), 0600) == 0);
            break;
        case Planted::Folder:
            FUZZ_CHECK(QDir().mkdir(file));
            break;
        case Planted::Oversized:
            writeBytes(file, bytes, std::max<qint64>(bytes.size(), SchoolConfig::SizeLimit + 1));
            break;
    }
}

void checkStoredDates(const SchoolConfig::Entries& entries) {
    const auto date = entries.find("UpdateDate");
    if (date != entries.end()) {
        XDate value;
        value.Parse(SchoolConfig::UpdateDatePattern, date->second);
        (void)value.Format(SchoolConfig::UpdateDatePattern);
    }
    const auto dateTime = entries.find("UpdateDateTime");
    if (dateTime != entries.end()) {
        XDateTime value;
        value.Parse(SchoolConfig::UpdateDateTimePattern, dateTime->second);
        (void)value.Format(SchoolConfig::UpdateDateTimePattern);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const QString shm = QStringLiteral("/dev/shm");
    g_root = QFileInfo(shm).isDir() && QFileInfo(shm).isWritable()
                 ? std::make_unique<QTemporaryDir>(shm + QStringLiteral("/norv-fuzz-XXXXXX"))
                 : std::make_unique<QTemporaryDir>();
    FUZZ_CHECK(g_root->isValid());
    FUZZ_CHECK(QDir(g_root->path()).mkdir(QStringLiteral("import")));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray raw(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const XString bytes(raw.constData(), static_cast<int>(raw.size()));
    SchoolConfig::Entries entries;
    const bool parsed = SchoolConfig::Parse(bytes, entries);
    if (!parsed) {
        FUZZ_CHECK(entries.empty());
    }
    checkRoundTrip(entries);
    checkStoredDates(entries);

    SchoolConfig::Entries written;
    const QList<QByteArray> values = fuzz::parts(data, size);
    for (int i = 0; i < SchoolConfig::KeyCount && i < values.size(); ++i) {
        const QByteArray& value = values.at(i);
        written[SchoolConfig::Keys[i].key] = XString(value.constData(), static_cast<int>(value.size()));
    }
    checkRoundTrip(written);

    // The same bytes as the run meets them in its folder.
    const QString folder = g_root->filePath(QStringLiteral("import"));
    const QString file = folder + QStringLiteral("/SchoolConfig.xml");
    const QString target = g_root->filePath(QStringLiteral("elsewhere.xml"));
    const XFileSpec spec(folder + QLatin1Char('/'));
    const Planted kind = kRoads[size % std::size(kRoads)];
    clear(folder);
    QFile::remove(target);
    plant(kind, file, target, raw);

    SchoolConfig::Entries read;
    const bool readable = SchoolConfig::Read(spec, read);
    if (kind == Planted::File) {
        FUZZ_CHECK(readable == parsed);
        FUZZ_CHECK(read == entries);
        const auto updateDate = entries.find("UpdateDate");
        FUZZ_CHECK(SchoolConfig::Value(spec, "UpdateDate") ==
                   (updateDate == entries.end() ? XString() : updateDate->second));
        (void)SchoolConfig::UpdateDate(spec);
        (void)SchoolConfig::UpdateDateTime(spec);
    } else {
        // Once: a file past the limit is read up to it, a megabyte each time.
        FUZZ_CHECK(!readable);
        FUZZ_CHECK(read.empty());
    }

    bool stored = true;
    try {
        SchoolConfig::Write(spec, written);
    } catch (const XException&) {
        stored = false;
    }
    FUZZ_CHECK(stored == (kind != Planted::Folder));
    const QFileInfo after(file);
    if (stored) {
        FUZZ_CHECK(after.isFile() && !after.isSymLink());
        const XString expected = SchoolConfig::Serialize(written);
        FUZZ_CHECK(readBytes(file) == QByteArray(expected.c_str(), expected.length()));
        SchoolConfig::Entries back;
        FUZZ_CHECK(SchoolConfig::Read(spec, back));
        FUZZ_CHECK(!allHoldable(written) || back == written);
    } else {
        FUZZ_CHECK(after.isDir() && !after.isSymLink());
    }
    if (kind == Planted::Link) {
        FUZZ_CHECK(readBytes(target) == raw);
    }
    // Nothing but the file (or the folder planted at its name) is left: no temporary file.
    const QStringList left =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    FUZZ_CHECK(left == QStringList{QStringLiteral("SchoolConfig.xml")});
    return 0;
}
