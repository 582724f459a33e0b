#include "filejobs/read_back.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <system_error>

#include "platform/error.h"

namespace kerfo::filejobs {
namespace {

using platform::ErrorNumber;
using platform::RuntimeError;

constexpr std::size_t kReadBackBuffer = 256 * 1024;
// Every this many bytes the file is synced in the background: small enough that the
// storage starts early and never has much left at the end, large enough that a disk
// that pays for each sync is not asked too often.
constexpr std::uint64_t kBackgroundSyncStep = 16u << 20;

// The key of a header line: the line without its CR LF.
std::string_view headerKey(std::string_view headerLine) {
    if (headerLine.size() >= 2 && headerLine.substr(headerLine.size() - 2) == "\r\n") {
        headerLine.remove_suffix(2);
    }
    return headerLine;
}

}  // namespace

EncryptedCheck::EncryptedCheck(std::string headerLine)
    : m_headerLine(std::move(headerLine)),
      m_transform(cipher::keyState(headerKey(m_headerLine)), cipher::BodyCheck::kWrittenForm),
      m_plain(cipher::DecryptTransform::maxOutput(kReadBackBuffer)) {}

void EncryptedCheck::consume(const char* data, std::size_t size) {
    if (m_headerSeen < m_headerLine.size()) {
        const std::size_t take = std::min(size, m_headerLine.size() - m_headerSeen);
        if (std::memcmp(data, m_headerLine.data() + m_headerSeen, take) != 0) {
            throw RuntimeError(ErrorNumber::kDeviceIo);
        }
        m_headerSeen += take;
        data += take;
        size -= take;
    }
    while (size > 0) {
        const std::size_t take = std::min(size, kReadBackBuffer);
        m_sum.update(m_plain.data(), m_transform.update(std::string_view(data, take), m_plain.data()));
        data += take;
        size -= take;
    }
}

Checksum EncryptedCheck::finish() {
    if (m_headerSeen < m_headerLine.size()) throw RuntimeError(ErrorNumber::kDeviceIo);
    m_sum.update(m_plain.data(), m_transform.finish(m_plain.data()));
    return m_sum;
}

ConcurrentReadBack::ConcurrentReadBack(std::unique_ptr<platform::File> file, ReadBackCheck& check)
    : m_file(std::move(file)), m_check(check), m_buffer(kReadBackBuffer) {
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No helper to be had: the writer's thread reads back after each write instead.
    }
}

ConcurrentReadBack::~ConcurrentReadBack() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) m_thread.join();
}

platform::Status ConcurrentReadBack::consume(std::size_t size) {
    try {
        m_check.consume(m_buffer.data(), size);
    } catch (...) {
        return platform::handledError();
    }
    return {};
}

platform::Result<Checksum> ConcurrentReadBack::checkFinished() {
    try {
        return m_check.finish();
    } catch (...) {
        return platform::handledError();
    }
}

platform::Status ConcurrentReadBack::readUpTo(std::uint64_t target) {
    while (m_read < target) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(m_buffer.size(), target - m_read));
        const auto n = m_file->read(m_buffer.data(), want);
        if (!n) return n.error();
        // Bytes whose write returned are missing: the file is not what was written.
        if (*n == 0) return RuntimeError(ErrorNumber::kDeviceIo);
        KERFO_TRY(consume(*n));
        m_read += *n;
    }
    return {};
}

void ConcurrentReadBack::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || m_written > m_checked; });
        if (m_stop) return;
        const std::uint64_t target = m_written;
        lock.unlock();
        platform::Status status = readUpTo(target);
        lock.lock();
        if (!status) {
            m_failure = std::move(status);
            m_done.notify_all();
            return;
        }
        m_checked = target;
        m_done.notify_all();
    }
}

platform::Status ConcurrentReadBack::written(std::uint64_t total) {
    if (!m_thread.joinable()) return readUpTo(total);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        KERFO_TRY(m_failure);
        m_written = total;
    }
    m_wake.notify_one();
    return {};
}

platform::Result<Checksum> ConcurrentReadBack::finish(std::uint64_t total) {
    if (m_thread.joinable()) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_written = total;
        m_wake.notify_one();
        m_done.wait(lock, [this, total] { return !m_failure || m_checked >= total; });
        KERFO_TRY(m_failure);
    } else {
        KERFO_TRY(readUpTo(total));
    }
    // The helper waits for more now, so the handle is the writer's thread's again. A
    // byte past the end means the file holds something that was never written.
    char extra = 0;
    const auto past = m_file->read(&extra, 1);
    if (!past) return past.error();
    if (*past != 0) return RuntimeError(ErrorNumber::kDeviceIo);
    return checkFinished();
}

platform::Status CheckedOutput::finish(const Checksum& expected) {
    const auto sum = m_readBack.finish(m_total);
    if (!sum) return sum.error();
    if (*sum != expected) return RuntimeError(ErrorNumber::kDeviceIo);
    return {};
}

platform::Status CheckedOutput::write(const char* data, std::size_t size) {
    KERFO_TRY(m_out.write(data, size));
    m_total += size;
    KERFO_TRY(m_readBack.written(m_total));
    m_unsynced += size;
    if (m_unsynced >= kBackgroundSyncStep) {
        m_out.syncInBackground();
        m_unsynced = 0;
    }
    return {};
}

}  // namespace kerfo::filejobs
