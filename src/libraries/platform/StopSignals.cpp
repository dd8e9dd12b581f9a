#include "libraries/platform/StopSignals.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace platform {

namespace {

sigset_t stopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

}  // namespace

void StopSignals::block() {
    const sigset_t set = stopSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

QString StopSignals::name(int signal) {
    switch (signal) {
        case SIGTERM:
            return QStringLiteral("SIGTERM");
        case SIGINT:
            return QStringLiteral("SIGINT");
        default:
            return QStringLiteral("signal %1").arg(signal);
    }
}

StopSignals::StopSignals(Handler handler) : handler_(std::move(handler)) {
    const sigset_t set = stopSet();
    signalFd_.reset(::signalfd(-1, &set, SFD_CLOEXEC));
    quitFd_.reset(::eventfd(0, EFD_CLOEXEC));
    if (signalFd_.isOpen() && quitFd_.isOpen()) {
        thread_ = std::thread(&StopSignals::run, this);
    }
}

StopSignals::~StopSignals() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        while (::write(quitFd_.get(), &one, sizeof one) < 0 && errno == EINTR) {
        }
        thread_.join();
    }
}

void StopSignals::run() {
    bool handled = false;
    for (;;) {
        pollfd watched[] = {{signalFd_.get(), POLLIN, 0}, {quitFd_.get(), POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (watched[1].revents != 0) {
            return;
        }
        signalfd_siginfo info{};
        if (::read(signalFd_.get(), &info, sizeof info) != static_cast<ssize_t>(sizeof info) || handled) {
            continue;
        }
        handled = true;
        handler_(static_cast<int>(info.ssi_signo));
    }
}

}  // namespace platform
