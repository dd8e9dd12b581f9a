// The bound on every wait for the source. The layer's blocking ODBC calls run under a watch (OdbcCall::
// watched); a call that has not returned within the limit is cancelled from the watchdog's thread (SQLCancel,
// which ODBC allows from another thread), and from then on the source counts as stopped: every checked call
// fails with a timeout error, so the command winds down. A watched call that is still blocked a grace period
// later (a driver that cannot cancel a read on a silent network) is given up: the handler is told, and is
// expected to end the process. The drivers' own login and query timeouts are kept within the limit
// (capSeconds), so a driver that can bound a wait itself does so first. A stop the process itself asks for
// (stop(), on a signal) takes the same path at once.
//
// The layer reports nothing and ends nothing itself: the layers above learn of both events only through
// the handler they register. The handler runs on the watchdog's thread while the watched call is blocked,
// and the calling thread cannot leave the call until the handler has returned, so the handler may use that
// thread's objects (direct calls only: a queued signal would never be delivered).
//
// Owns: one thread, started by the first watched call under a limit and stopped by the destructor; a
// cancel runs on a short-lived thread of its own (a cancel request to a silent server may block too), and
// the calling thread does not leave the call before the cancel has returned.
// REQUIRES: one thread makes the watched calls, one at a time (not nested).
#pragma once

#include <sql.h>

#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace ado {

class SourceWatchdog {
  public:
    enum class Event {
        Stopped,    // a call ran past the limit; it is being cancelled
        Abandoned,  // the cancelled source still holds a call after the grace period
    };
    using Handler = std::function<void(Event event, const QString& message)>;
    using Canceller = std::function<void(SQLSMALLINT handleType, SQLHANDLE handle)>;

    // Long enough for a large school on a slow server, short enough that the next night's run finds the
    // folder free.
    static constexpr std::chrono::milliseconds kDefaultLimit{600000};
    static constexpr std::chrono::milliseconds kDefaultGrace{2000};

    // The process's watchdog over the real ODBC calls (limit kDefaultLimit, grace kDefaultGrace).
    static SourceWatchdog& instance();

    explicit SourceWatchdog(Canceller cancel = odbcCancel, std::chrono::milliseconds grace = kDefaultGrace);
    ~SourceWatchdog();
    SourceWatchdog(const SourceWatchdog&) = delete;
    SourceWatchdog& operator=(const SourceWatchdog&) = delete;

    // The longest a watched call may take; zero: no bound.
    void setLimit(std::chrono::milliseconds limit);
    std::chrono::milliseconds limit() const { return std::chrono::milliseconds(limitMs_.load()); }
    // A driver timeout in seconds (0: none) kept within the limit: the smaller of both, in whole seconds.
    int capSeconds(int seconds) const;
    // Replaces the handler; an empty one ignores the events (a given-up call then stays blocked).
    void setHandler(Handler handler);

    // Runs call (one blocking ODBC call on handle) under the watch and returns its result.
    template <typename Call>
    SQLRETURN watch(SQLSMALLINT handleType, SQLHANDLE handle, Call&& call) {
        arm(handleType, handle);
        const Disarm disarm{*this};
        return call();
    }

    // Stops the source from another thread as a call past the limit does, for a reason of the process's own
    // (a signal that asks it to stop): a call under way, or the next one, is cancelled and given up after
    // the grace period like a timed-out one, and every checked call fails with message from now on.
    void stop(const QString& message);

    // True once a call ran past the limit (the source has stopped answering) or stop() was called.
    bool stopped() const {
        return stopped_.load(std::memory_order_acquire) || stopRequested_.load(std::memory_order_acquire);
    }
    // The message of stop(), or "The source did not answer for N seconds."
    QString stoppedMessage() const;

    // SQLCancel for a statement, SQLCancelHandle for another handle.
    static void odbcCancel(SQLSMALLINT handleType, SQLHANDLE handle);

  private:
    enum State : int { Idle, Armed, Busy };
    struct Disarm {
        SourceWatchdog& watchdog;
        ~Disarm() { watchdog.disarm(); }
    };

    void arm(SQLSMALLINT handleType, SQLHANDLE handle);
    void disarm();
    void run();
    // One look at the watched call, at now.
    void inspect();
    // Holds the calling thread in its call while the handler runs; false when the watched call has
    // returned (or another began) since seq was read.
    bool claim(std::uint64_t seq);
    void notify(Event event);

    const Canceller cancel_;
    const std::chrono::milliseconds grace_;
    std::atomic<std::int64_t> limitMs_{kDefaultLimit.count()};

    // The watched call, written by the calling thread before it publishes Armed.
    std::atomic<int> state_{Idle};
    std::atomic<std::uint64_t> seq_{0};
    std::atomic<std::int64_t> armedAt_{0};  // steady clock, nanoseconds
    std::atomic<SQLSMALLINT> handleType_{0};
    std::atomic<SQLHANDLE> handle_{nullptr};
    std::atomic<bool> cancelling_{false};

    std::atomic<bool> stopRequested_{false};
    mutable std::mutex stopMutex_;  // guards stopMessage_
    QString stopMessage_;

    // The watchdog thread's own bookkeeping.
    std::atomic<bool> stopped_{false};
    std::int64_t stoppedAt_ = 0;
    std::uint64_t abandonedSeq_ = 0;

    std::mutex handlerMutex_;
    Handler handler_;

    std::mutex mutex_;  // guards quit_ for the condition variable
    std::condition_variable wake_;
    bool quit_ = false;
    std::thread thread_;  // touched by the calling thread only (started in arm, joined in the destructor)
};

}  // namespace ado
