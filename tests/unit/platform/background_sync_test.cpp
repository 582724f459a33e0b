// The helper that syncs a file while it is written: errors are never lost, requests made
// during a sync fold into one, and nothing runs after the final sync has taken over.
#include "platform/background_sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace kerfo::platform {
namespace {

// A sync that blocks until released, and counts how often it ran.
struct HeldSync {
    std::mutex mutex;
    std::condition_variable changed;
    bool running = false;
    bool released = false;
    std::atomic<int> calls{0};

    Status operator()() {
        std::unique_lock<std::mutex> lock(mutex);
        ++calls;
        running = true;
        changed.notify_all();
        changed.wait(lock, [this] { return released; });
        return {};
    }
    void waitUntilRunning() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return running; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex);
        released = true;
        changed.notify_all();
    }
};

TEST(BackgroundSync, FirstFailureIsReportedByFinish) {
    std::atomic<int> calls{0};
    BackgroundSync sync(
        [&calls] { return Status(RuntimeError::fromErrno(++calls == 1 ? EIO : ENOSPC)); });
    sync.request();
    // The helper runs on its own time; wait for its first sync before asking again.
    while (calls.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    sync.request();
    const Status status = sync.finish();
    ASSERT_FALSE(status) << "the failed sync was not reported";
    EXPECT_EQ(status.error().number(), ErrorNumber::kDeviceIo);
}

TEST(BackgroundSync, RequestsDuringASyncFoldIntoOne) {
    HeldSync held;
    BackgroundSync sync([&held] { return held(); });
    sync.request();
    held.waitUntilRunning();
    for (int i = 0; i < 20; ++i) sync.request();
    held.release();
    // Either the one folded sync ran or finish() overtook it; never twenty.
    EXPECT_TRUE(sync.finish());
    EXPECT_GE(held.calls.load(), 1);
    EXPECT_LE(held.calls.load(), 2);
}

TEST(BackgroundSync, NothingRunsUnlessAskedBeforeFinish) {
    std::atomic<int> calls{0};
    BackgroundSync sync([&calls] {
        ++calls;
        return Status();
    });
    EXPECT_TRUE(sync.finish());
    sync.request();
    EXPECT_TRUE(sync.finish());
    EXPECT_EQ(calls.load(), 0);
}

}  // namespace
}  // namespace kerfo::platform
