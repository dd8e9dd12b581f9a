#include "libraries/ado/SourceWatchdog.h"

#include <gtest/gtest.h>

#include <sqlext.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

using namespace std::chrono_literals;
using ado::SourceWatchdog;

// A call that blocks until released, as a driver waiting on a silent socket does.
class BlockedCall {
  public:
    SQLRETURN operator()() {
        std::unique_lock lock(mutex_);
        released_.wait(lock, [this] { return free_; });
        return SQL_ERROR;
    }
    void release() {
        {
            const std::lock_guard lock(mutex_);
            free_ = true;
        }
        released_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool free_ = false;
};

struct Recorded {
    std::mutex mutex;
    std::vector<SourceWatchdog::Event> events;
    std::vector<SQLHANDLE> cancelled;
};

TEST(SourceWatchdog, ACallWithinTheLimitIsLeftAlone) {
    Recorded seen;
    SourceWatchdog watchdog([&](SQLSMALLINT, SQLHANDLE handle) { seen.cancelled.push_back(handle); }, 200ms);
    watchdog.setLimit(300ms);
    watchdog.setHandler([&](SourceWatchdog::Event event, const QString&) { seen.events.push_back(event); });
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(
            watchdog.watch(SQL_HANDLE_STMT, &seen,
                           [] {
                               std::this_thread::sleep_for(
                                   120ms);  // three calls longer than the limit together, each within it
                               return SQL_SUCCESS;
                           }),
            SQL_SUCCESS);
    }
    std::this_thread::sleep_for(400ms);  // idle time is not waiting time
    EXPECT_FALSE(watchdog.stopped());
    EXPECT_TRUE(seen.events.empty());
    EXPECT_TRUE(seen.cancelled.empty());
}

// Past the limit the call is cancelled once, with its own handle, and the source counts as stopped.
TEST(SourceWatchdog, ACallPastTheLimitIsCancelled) {
    Recorded seen;
    BlockedCall call;
    int handle = 0;
    SourceWatchdog watchdog(
        [&](SQLSMALLINT type, SQLHANDLE cancelled) {
            EXPECT_EQ(type, SQL_HANDLE_STMT);
            const std::lock_guard lock(seen.mutex);
            seen.cancelled.push_back(cancelled);
            call.release();  // a driver that honours the cancel gives the call back
        },
        10s);
    watchdog.setLimit(200ms);
    QString message;
    watchdog.setHandler([&](SourceWatchdog::Event event, const QString& text) {
        const std::lock_guard lock(seen.mutex);
        seen.events.push_back(event);
        message = text;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(watchdog.watch(SQL_HANDLE_STMT, &handle, [&] { return call(); }), SQL_ERROR);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_TRUE(watchdog.stopped());
    EXPECT_EQ(seen.events, std::vector<SourceWatchdog::Event>{SourceWatchdog::Event::Stopped});
    EXPECT_EQ(seen.cancelled, std::vector<SQLHANDLE>{&handle});
    EXPECT_EQ(message, "The source did not answer for 200 ms.");
}

// A call the cancel does not bring back is given up after the grace period; until the handler has
// returned, the calling thread stays in the call (the handler may use its objects).
TEST(SourceWatchdog, ACallTheCancelDoesNotEndIsGivenUp) {
    Recorded seen;
    BlockedCall call;
    bool handlerDone = false;
    SourceWatchdog watchdog([](SQLSMALLINT, SQLHANDLE) {}, 300ms);
    watchdog.setLimit(200ms);
    watchdog.setHandler([&](SourceWatchdog::Event event, const QString&) {
        const std::lock_guard lock(seen.mutex);
        seen.events.push_back(event);
        if (event == SourceWatchdog::Event::Abandoned) {
            call.release();                      // the call returns now ...
            std::this_thread::sleep_for(100ms);  // ... but its caller waits for the handler
            handlerDone = true;
        }
    });
    watchdog.watch(SQL_HANDLE_DBC, &seen, [&] { return call(); });
    EXPECT_TRUE(handlerDone);
    EXPECT_EQ(seen.events, (std::vector<SourceWatchdog::Event>{SourceWatchdog::Event::Stopped,
                                                               SourceWatchdog::Event::Abandoned}));
}

TEST(SourceWatchdog, DriverTimeoutsStayWithinTheLimit) {
    SourceWatchdog watchdog;
    EXPECT_EQ(watchdog.limit(), SourceWatchdog::kDefaultLimit);
    watchdog.setLimit(20s);
    EXPECT_EQ(watchdog.capSeconds(15), 15);
    EXPECT_EQ(watchdog.capSeconds(30), 20);
    EXPECT_EQ(watchdog.capSeconds(0), 20);  // "no driver timeout" becomes the limit
    watchdog.setLimit(1500ms);
    EXPECT_EQ(watchdog.capSeconds(15), 2);  // whole seconds, rounded up
    watchdog.setLimit(0ms);
    EXPECT_EQ(watchdog.capSeconds(30), 30);
    EXPECT_EQ(watchdog.capSeconds(0), 0);
}

}  // namespace
