// Fuzz target: the reading of the target application's "CVConfig.xml" by the defaults command, through the
// program's own command processing. Input: the file's bytes. Where the command finds the file depends on
// the input's length, so that each input can take each road: named with --path (length divisible by
// three), or, without --path, in the program's data folder ("Corvanta/Norv/") or in another set-up's
// folder beside it, found by the search of the "Corvanta" folder.
//
// Checks: the command ends with 0 or 1, whatever the file holds; every line it sends the host is a whole
// message line (a known kind first, no carriage return), so that no attribute value can forge or split a
// line; the set-ups announced are the set-ups sent, each one start_setting/end_setting pair.
//
// The dictionary CVConfig.dict gives the mutations the names and the XML the command looks for: Qt's XML
// parser is not instrumented, so nothing else leads them from noise to elements.
#include "FuzzInput.h"

#include "app/BridgeBase.h"
#include "messages/LogManager.h"
#include "messages/SISMessageWriter.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

QTemporaryDir* g_home = nullptr;

const QStringList kKinds = {"log",         "warning",        "setting",      "start_setting",
                            "end_setting", "start_progress", "end_progress", "inc_progress",
                            "test",        "error",          "missing"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The program's folders (its settings, logs and locks) stay inside a private folder of this run.
    static QTemporaryDir home;
    g_home = &home;
    ::setenv("HOME", QFile::encodeName(home.path()).constData(), 1);
    ::setenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(".config")).constData(), 1);
    ::setenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(".local/share")).constData(), 1);
    LogManager::instance().setDestinations(0);
    // The console log lines a command writes besides its host lines (the engine's destructor reports) would
    // cost a write each and bury libFuzzer's own report, which goes to standard error.
    if (std::getenv("NORV_FUZZ_SHOW") == nullptr) {
        std::freopen("/dev/null", "w", stdout);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The three places, only the chosen one holding the file.
    const QString places[] = {g_home->filePath(QStringLiteral("CVConfig.xml")),
                              g_home->filePath(QStringLiteral(".local/share/Corvanta/Norv/CVConfig.xml")),
                              g_home->filePath(QStringLiteral(".local/share/Corvanta/Other/CVConfig.xml"))};
    const int chosen = static_cast<int>(size % 3);
    const QString& path = places[chosen];
    for (const QString& place : places) {
        if (place != path) {
            QFile::remove(place);
        }
    }
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) ==
                   static_cast<qint64>(size));
    }
    QStringList arguments = {QStringLiteral("norv-extract"), QStringLiteral("defaults")};
    if (chosen == 0) {
        arguments << "--path=" + path;
    }
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    int exitCode = 0;
    {
        SISMessageWriter writer(&out, &err);
        BridgeBase program(writer, nullptr);
        // The first argument is the program's name, as in argv.
        exitCode = program.processCommandLine(arguments);
    }
    if (std::getenv("NORV_FUZZ_SHOW") != nullptr) {
        std::fprintf(stderr, "exit %d\n%s%s", exitCode, out.data().constData(), err.data().constData());
    }
    FUZZ_CHECK(exitCode == 0 || exitCode == 1);
    int open = 0;
    int announced = -1;  // the count of start_progress
    int settings = 0;
    for (const QByteArray& line : (out.data() + err.data()).split('\n')) {
        if (line.isEmpty()) {
            continue;
        }
        FUZZ_CHECK(!line.contains('\r'));
        const QString kind = QString::fromUtf8(line.split('\t').first());
        if (!kKinds.contains(kind)) {
            std::fprintf(stderr, "not a message line: %s\n", line.constData());
        }
        FUZZ_CHECK(kKinds.contains(kind));
        if (kind == QLatin1String("start_progress") && announced < 0) {
            announced = line.split('\t').value(1).toInt();
        } else if (kind == QLatin1String("start_setting")) {
            FUZZ_CHECK(open == 0);
            ++open;
            ++settings;
        } else if (kind == QLatin1String("end_setting")) {
            FUZZ_CHECK(open == 1);
            --open;
        }
    }
    FUZZ_CHECK(open == 0);
    // A file read as a configuration announces its school set-ups and sends each; one refused sends none.
    FUZZ_CHECK(exitCode != 0 || announced == settings);
    FUZZ_CHECK(exitCode == 0 || settings == 0);
    return 0;
}
