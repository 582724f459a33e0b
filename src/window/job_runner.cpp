#include "window/job_runner.h"

#include <atomic>
#include <new>
#include <system_error>
#include <utility>

#include "filejobs/progress.h"
#include "platform/file_system.h"

namespace kerfo::window {

namespace {

filejobs::JobResult failed(platform::ErrorNumber number) {
    return filejobs::JobResult{filejobs::JobStatus::kFailed, {}, platform::RuntimeError(number)};
}

filejobs::JobResult runJob(JobKind kind, const std::string& userFile, std::string_view password,
                           const filejobs::JobContext& context) {
    // The jobs report their own failures; only running out of memory on the way can throw.
    try {
        return kind == JobKind::kEncrypt ? filejobs::Encrypt(userFile, password, context)
                                         : filejobs::Decrypt(userFile, password, context);
    } catch (const std::bad_alloc&) {
        return failed(platform::ErrorNumber::kOutOfMemory);
    }
}

}  // namespace

ThreadedJobRunner::ThreadedJobRunner(WindowThread& window, filejobs::JobContext context,
                                     std::chrono::milliseconds progressInterval)
    : m_window(window), m_context(std::move(context)), m_progressInterval(progressInterval) {}

ThreadedJobRunner::~ThreadedJobRunner() {
    wait();
}

void ThreadedJobRunner::start(JobKind kind, const std::string& userFile,
                              std::unique_ptr<platform::SecretString> password, JobEvents& events) {
    // The previous job has told its end; its thread is at most returning from that.
    if (m_thread.joinable()) m_thread.join();
    auto listener = std::make_shared<Listener>();
    listener->events = &events;
    m_listener = listener;
    WindowThread& window = m_window;
    auto work = [&window, listener, kind, userFile, password = std::move(password),
                 context = m_context, interval = m_progressInterval]() mutable {
        platform::FileSystem& files =
            context.files != nullptr ? *context.files : platform::realFileSystem();
        const auto info = files.stat(userFile);
        const std::uint64_t total = info ? info->size : 0;
        std::atomic<std::uint64_t> done{0};
        auto lastTold = std::chrono::steady_clock::now();
        filejobs::CountingFileSystem counted(files, done, [&] {
            const auto now = std::chrono::steady_clock::now();
            if (now - lastTold < interval) return;
            lastTold = now;
            const JobProgress progress{done.load(std::memory_order_relaxed), total};
            window.post([listener, progress] {
                if (listener->events != nullptr) listener->events->jobProgressed(progress);
            });
        });
        context.files = &counted;
        const filejobs::JobResult result = runJob(kind, userFile, password->str(), context);
        password.reset();
        window.post([listener, result] {
            if (JobEvents* events = std::exchange(listener->events, nullptr))
                events->jobEnded(result);
        });
    };
    try {
        m_thread = std::thread(std::move(work));
    } catch (const std::system_error&) {
        // No thread to run it on: the job ends before it began, and nothing was touched.
        listener->events = nullptr;
        events.jobEnded(failed(platform::ErrorNumber::kOutOfMemory));
    }
}

void ThreadedJobRunner::wait() noexcept {
    if (m_listener) m_listener->events = nullptr;
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace kerfo::window
