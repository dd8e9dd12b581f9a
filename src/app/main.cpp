// Process entry: one command per process; the command's result is the exit code.
#include "app/BridgeBase.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    // Taken before the toolkit may consume any of them: the host's arguments are the program's.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromUtf8(argv[i]));
    }
    QCoreApplication application(argc, argv);
    BridgeBase bridge;
    const int code = bridge.processCommandLine(arguments);
    if (bridge.endsAtOnce()) {
        // Nothing may follow the parser's warning: the objects' teardown would log.
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
