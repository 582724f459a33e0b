// Syncing a file on a helper thread while its writer goes on writing. On virtual machines
// and many disks the data only reaches the storage at a sync, at the storage's pace: one
// sync at the end would leave the whole file to wait for, while syncs in the background
// let the storage keep pace with the writer and leave the final sync only the tail.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/error.h"

namespace kerfo::platform {

class BackgroundSync {
public:
    // `syncOnce` makes everything written so far durable and fails when it cannot; it runs
    // on the helper thread, never twice at a time.
    explicit BackgroundSync(std::function<Status()> syncOnce) : m_syncOnce(std::move(syncOnce)) {}
    ~BackgroundSync() { stop(); }
    BackgroundSync(const BackgroundSync&) = delete;
    BackgroundSync& operator=(const BackgroundSync&) = delete;

    // Asks for a sync of everything written so far and returns at once. Requests made
    // while a sync runs are folded into one more sync, so the helper never falls more
    // than one sync behind. Does nothing after finish(), or where no thread can start.
    void request() noexcept;

    // Waits for the helper to end; nothing is synced in the background afterwards.
    void stop() noexcept;

    // Stops, then fails with the first failed sync's error, if any. A failed sync marks the
    // error as reported for the whole file, so the final sync might not report it again:
    // the caller must, and may call this again after stop() to do so.
    Status finish();

private:
    void run();

    std::function<Status()> m_syncOnce;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_requested = false;
    bool m_finished = false;
    Status m_failure;  // the first failed sync
    std::thread m_thread;
};

}  // namespace kerfo::platform
