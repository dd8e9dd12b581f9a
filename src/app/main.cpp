// Process entry: one command per process; the command's result is the exit code.
#include "app/BridgeBase.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char** argv) {
    // Taken before the toolkit may consume any of them: the host's arguments are the program's.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromUtf8(argv[i]));
    }
    QCoreApplication application(argc, argv);
    BridgeBase bridge;
    return bridge.processCommandLine(arguments);
}
