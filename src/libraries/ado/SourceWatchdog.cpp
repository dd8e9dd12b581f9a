#include "libraries/ado/SourceWatchdog.h"

#include <sqlext.h>

#include <algorithm>

namespace ado {

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

std::int64_t toNs(std::chrono::milliseconds ms) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(ms).count();
}

}  // namespace

SourceWatchdog& SourceWatchdog::instance() {
    static SourceWatchdog watchdog;
    return watchdog;
}

SourceWatchdog::SourceWatchdog(Canceller cancel, std::chrono::milliseconds grace)
    : cancel_(std::move(cancel)), grace_(grace) {}

SourceWatchdog::~SourceWatchdog() {
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void SourceWatchdog::setLimit(std::chrono::milliseconds limit) {
    limitMs_.store(std::max<std::int64_t>(limit.count(), 0));
    wake_.notify_all();
}

int SourceWatchdog::capSeconds(int seconds) const {
    const std::int64_t limitMs = limitMs_.load();
    if (limitMs <= 0) {
        return seconds;
    }
    const int bound = static_cast<int>(std::max<std::int64_t>((limitMs + 999) / 1000, 1));
    return seconds <= 0 ? bound : std::min(seconds, bound);
}

void SourceWatchdog::setHandler(Handler handler) {
    const std::lock_guard lock(handlerMutex_);
    handler_ = std::move(handler);
}

void SourceWatchdog::stop(const QString& message) {
    {
        const std::lock_guard lock(stopMutex_);
        stopMessage_ = message;
    }
    stopRequested_.store(true, std::memory_order_release);
    wake_.notify_all();
}

QString SourceWatchdog::stoppedMessage() const {
    if (stopRequested_.load(std::memory_order_acquire)) {
        const std::lock_guard lock(stopMutex_);
        return stopMessage_;
    }
    const std::int64_t ms = limitMs_.load();
    return ms % 1000 == 0 ? QStringLiteral("The source did not answer for %1 seconds.").arg(ms / 1000)
                          : QStringLiteral("The source did not answer for %1 ms.").arg(ms);
}

void SourceWatchdog::odbcCancel(SQLSMALLINT handleType, SQLHANDLE handle) {
    if (handleType == SQL_HANDLE_STMT) {
        SQLCancel(handle);
    } else {
        SQLCancelHandle(handleType, handle);
    }
}

void SourceWatchdog::arm(SQLSMALLINT handleType, SQLHANDLE handle) {
    handleType_.store(handleType, std::memory_order_relaxed);
    handle_.store(handle, std::memory_order_relaxed);
    // Sequentially consistent: a watchdog that reads the new number reads this call's start time too.
    armedAt_.store(nowNs());
    seq_.fetch_add(1);
    state_.store(Armed, std::memory_order_release);
    if (!thread_.joinable() && limitMs_.load() > 0) {
        thread_ = std::thread(&SourceWatchdog::run, this);
    }
}

void SourceWatchdog::disarm() {
    // A cancel still running may use the handle, which the caller frees once it is back; and while the
    // watchdog is Busy, its handler uses the caller's objects. Either ends, or the process does.
    while (cancelling_.load(std::memory_order_acquire)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    int expected = Armed;
    while (!state_.compare_exchange_weak(expected, Idle, std::memory_order_acq_rel)) {
        if (expected == Idle) {
            return;
        }
        expected = Armed;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void SourceWatchdog::run() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        // A tick of a quarter of the shorter period, so both are kept to within a quarter.
        const std::int64_t limitMs = limitMs_.load();
        const std::int64_t shorter = std::min<std::int64_t>(limitMs > 0 ? limitMs : 1000, grace_.count());
        const auto tick = std::chrono::milliseconds(std::clamp<std::int64_t>(shorter / 4, 10, 250));
        wake_.wait_for(lock, tick);
        if (quit_) {
            break;
        }
        lock.unlock();
        inspect();
        lock.lock();
    }
}

void SourceWatchdog::inspect() {
    if (state_.load(std::memory_order_acquire) != Armed) {
        return;
    }
    const std::int64_t limitMs = limitMs_.load();
    const bool requested = stopRequested_.load(std::memory_order_acquire);
    if (limitMs <= 0 && !requested) {
        return;
    }
    const std::uint64_t seq = seq_.load();
    const std::int64_t since = armedAt_.load();
    const std::int64_t now = nowNs();
    if (!stopped_.load(std::memory_order_acquire)) {
        const bool overdue = limitMs > 0 && now - since >= toNs(std::chrono::milliseconds(limitMs));
        if ((!overdue && !requested) || !claim(seq)) {
            return;
        }
        stoppedAt_ = now;
        stopped_.store(true, std::memory_order_release);
        notify(Event::Stopped);
        const SQLSMALLINT type = handleType_.load(std::memory_order_relaxed);
        const SQLHANDLE handle = handle_.load(std::memory_order_relaxed);
        cancelling_.store(true, std::memory_order_release);
        state_.store(Armed, std::memory_order_release);
        std::thread([this, type, handle] {
            cancel_(type, handle);
            cancelling_.store(false, std::memory_order_release);
        }).detach();
        return;
    }
    // Stopped: a call that stays blocked for the grace period (counted from the stop for the call that
    // was cancelled) is not coming back.
    if (seq == abandonedSeq_ || now - std::max(since, stoppedAt_) < toNs(grace_) || !claim(seq)) {
        return;
    }
    abandonedSeq_ = seq;
    notify(Event::Abandoned);
    state_.store(Armed, std::memory_order_release);
}

bool SourceWatchdog::claim(std::uint64_t seq) {
    int expected = Armed;
    if (!state_.compare_exchange_strong(expected, Busy, std::memory_order_acq_rel)) {
        return false;
    }
    if (seq_.load() != seq) {
        state_.store(Armed, std::memory_order_release);  // another call began: it has its own time
        return false;
    }
    return true;
}

void SourceWatchdog::notify(Event event) {
    Handler handler;
    {
        const std::lock_guard lock(handlerMutex_);
        handler = handler_;
    }
    if (handler) {
        handler(event, stoppedMessage());
    }
}

}  // namespace ado
