// Process entry: one command per process; the command's result is the exit code.
#include "app/BridgeBase.h"
#include "libraries/platform/StopSignals.h"
#include "messages/SISMessageWriter.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <exception>

int main(int argc, char** argv) {
    // Before any thread starts: SIGTERM and SIGINT then wait for their receiver, which stops the command
    // where stopping is safe instead of ending the process where it stands.
    platform::StopSignals::block();
    // Taken before the toolkit may consume any of them: the host's arguments are the program's.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromUtf8(argv[i]));
    }
    QCoreApplication application(argc, argv);
    // Outlives the command, which it may be stopping when the command ends.
    const platform::StopSignals stops(
        [](int signal) { SISConfig::stopCommand(platform::StopSignals::name(signal)); });
    BridgeBase bridge;
    int code = 1;
    try {
        code = bridge.processCommandLine(arguments);
    } catch (const std::exception& e) {
        // Nothing the host sends may end the process on an abort: the failure is a failed command.
        SISMessageWriter::instance().outError(QStringLiteral("App Problem"), QString::fromUtf8(e.what()));
    }
    if (bridge.endsAtOnce()) {
        // Nothing may follow the parser's warning: the objects' teardown would log.
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
