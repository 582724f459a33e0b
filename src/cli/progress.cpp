#include "cli/progress.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "filejobs/progress.h"

namespace kerfo::cli {
namespace {

constexpr std::chrono::milliseconds kRedraw{200};
constexpr int kBarCells = 24;

}  // namespace

ProgressBar::ProgressBar(std::uint64_t total, std::chrono::milliseconds delay, bool enabled)
    : m_total(total), m_delay(delay), m_start(std::chrono::steady_clock::now()) {
    if (!enabled) return;
    // Without a delay the bar is there before the job starts, however short the job.
    if (m_delay.count() == 0) {
        m_shown = true;
        draw();
    }
    m_thread = std::thread([this] { run(); });
}

ProgressBar::~ProgressBar() { stop(); }

void ProgressBar::stop() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (!m_thread.joinable()) return;
    m_thread.join();
    if (!m_shown) return;
    draw();
    // Blank the line, so the job's own line starts on a clean one.
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(m_width), "");
    std::fflush(stderr);
}

void ProgressBar::run() {
    std::unique_lock lock(m_mutex);
    if (!m_shown && m_wake.wait_for(lock, m_delay, [this] { return m_stopping; })) return;
    m_shown = true;
    do {
        draw();
    } while (!m_wake.wait_for(lock, kRedraw, [this] { return m_stopping; }));
}

void ProgressBar::draw() {
    const std::uint64_t done = std::min(m_done.load(std::memory_order_relaxed), m_total);
    const double fraction = m_total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(m_total);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    const int filled = static_cast<int>(fraction * kBarCells);

    std::string line = "\r[";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(kBarCells - filled), '-');
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "] %3d%%  %s / %s  %s/s",
                  static_cast<int>(fraction * 100.0), humanBytes(static_cast<double>(done)).c_str(),
                  humanBytes(static_cast<double>(m_total)).c_str(),
                  humanBytes(seconds > 0 ? static_cast<double>(done) / seconds : 0.0).c_str());
    line += numbers;
    // Pad over what a longer earlier line left.
    const std::size_t width = line.size() - 1;
    if (width < m_width) line.append(m_width - width, ' ');
    m_width = std::max(m_width, width);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

std::chrono::milliseconds progressDelay() {
    if (const char* value = std::getenv("KERFO_PROGRESS_DELAY_MS")) {
        char* end = nullptr;
        const long ms = std::strtol(value, &end, 10);
        if (end != value && *end == '\0' && ms >= 0) return std::chrono::milliseconds(ms);
    }
    return filejobs::kProgressDelay;
}

std::string humanBytes(double bytes) {
    static constexpr const char* kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    std::size_t unit = 0;
    while (bytes >= 1024.0 && unit + 1 < std::size(kUnits)) {
        bytes /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
    return text;
}

}  // namespace kerfo::cli
