#include "platform/background_sync.h"

namespace kerfo::platform {

void BackgroundSync::request() noexcept {
    try {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_finished) return;
        m_requested = true;
        if (!m_thread.joinable()) m_thread = std::thread([this] { run(); });
    } catch (...) {
        // No thread to be had: the final sync does all the work, as it would anyway.
        return;
    }
    m_wake.notify_one();
}

void BackgroundSync::stop() noexcept {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) m_thread.join();
}

Status BackgroundSync::finish() {
    stop();
    return m_failure;
}

void BackgroundSync::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_requested || m_finished; });
        if (m_finished) return;
        m_requested = false;
        lock.unlock();
        Status status = m_syncOnce();
        lock.lock();
        if (!status && m_failure) m_failure = std::move(status);
    }
}

}  // namespace kerfo::platform
