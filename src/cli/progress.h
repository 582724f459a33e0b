// The progress bar of a long job: a line on standard error, redrawn in place, that shows
// the bytes read of the job's file (counted by filejobs::CountingFileSystem), the
// percentage and the rate.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kerfo::cli {

// Draws the bar on standard error from a thread of its own while a job runs, once the job
// has run for `delay`; redraws it a few times a second and clears it when stopped. With
// `enabled` false (standard error is no terminal, or --quiet) it never draws.
class ProgressBar {
public:
    ProgressBar(std::uint64_t total, std::chrono::milliseconds delay, bool enabled);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Where the job counts the bytes it has read.
    std::atomic<std::uint64_t>& counter() { return m_done; }
    // Draws the final state if the bar is showing, then clears the line. Idempotent.
    void stop();

private:
    void run();
    void draw();

    const std::uint64_t m_total;
    const std::chrono::milliseconds m_delay;
    const std::chrono::steady_clock::time_point m_start;
    std::atomic<std::uint64_t> m_done{0};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    bool m_shown = false;
    std::size_t m_width = 0;  // characters of the last line drawn
    std::thread m_thread;
};

// The delay before the bar shows: filejobs::kProgressDelay, or KERFO_PROGRESS_DELAY_MS milliseconds
// when that is set (tests set 0, so that the bar shows however fast the job is).
std::chrono::milliseconds progressDelay();

// "12.3 MiB" and the like: bytes in the largest binary unit that keeps the number small.
std::string humanBytes(double bytes);

}  // namespace kerfo::cli
