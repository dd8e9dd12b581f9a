// The signals that ask the process to stop: SIGTERM (systemctl stop, a unit's time limit, a shutdown) and
// SIGINT (Ctrl-C). They are taken on a thread of their own instead of ending the process where it stands,
// so that the command can stop where stopping is safe and say so.
//
// block() runs first in main, before any thread starts: the signals stay blocked in every thread and wait
// for the receiver, which reads them from a signalfd on its thread and hands the first one to its handler;
// later ones are dropped (the handler bounds the stop itself). The mask is inherited across exec, so the
// program must not start other programs (it does not).
//
// Owns: the signalfd, an eventfd that ends the thread, the thread (joined by the destructor).
// REQUIRES: block() called before any thread exists; one receiver per process.
#pragma once

#include "libraries/platform/Descriptor.h"

#include <QString>

#include <functional>
#include <thread>

namespace platform {

class StopSignals {
  public:
    using Handler = std::function<void(int signal)>;

    // Blocks SIGTERM and SIGINT in the calling thread and, through inheritance, in every thread it starts.
    static void block();
    // "SIGTERM", "SIGINT", or "signal N".
    static QString name(int signal);

    explicit StopSignals(Handler handler);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    void run();

    Handler handler_;
    Descriptor signalFd_;
    Descriptor quitFd_;
    std::thread thread_;
};

}  // namespace platform
