// Syncing a file on a helper thread while its writer goes on writing. On virtual machines
// and many disks the data only reaches the storage at a sync, at the storage's pace: one
// sync at the end would leave the whole file to wait for, while syncs in the background
// let the storage keep pace with the writer and leave the final sync only the tail.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/error.h"

namespace kerfo::platform {

class BackgroundSync {
public:
    // `syncOnce` makes everything written so far durable and throws RuntimeError when it
    // cannot; it runs on the helper thread, never twice at a time.
    explicit BackgroundSync(std::function<void()> syncOnce) : m_syncOnce(std::move(syncOnce)) {}
    ~BackgroundSync() { stop(); }
    BackgroundSync(const BackgroundSync&) = delete;
    BackgroundSync& operator=(const BackgroundSync&) = delete;

    // Asks for a sync of everything written so far and returns at once. Requests made
    // while a sync runs are folded into one more sync, so the helper never falls more
    // than one sync behind. Does nothing after finish(), or where no thread can start.
    void request() noexcept;

    // Waits for the helper to end; nothing is synced in the background afterwards.
    void stop() noexcept;

    // Stops, then throws the first failed sync's error, if any. A failed sync marks the
    // error as reported for the whole file, so the final sync might not report it again:
    // the caller must, and may call this again after stop() to do so.
    void finish();

private:
    void run();

    std::function<void()> m_syncOnce;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_requested = false;
    bool m_finished = false;
    std::optional<RuntimeError> m_failure;
    std::thread m_thread;
};

}  // namespace kerfo::platform
