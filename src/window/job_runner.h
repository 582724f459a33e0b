// The file jobs as the window runs them: away from the window's thread, so that the window
// keeps painting and answering the desktop while a large file is worked on, with the job's
// progress and its end handed back to the window's thread. A batch of files runs as one
// job after another through the same runner.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "filejobs/jobs.h"
#include "platform/secret.h"

namespace kerfo::window {

enum class JobKind { kEncrypt, kDecrypt };

// How far a job has come: `done` of the `total` bytes of its file read.
struct JobProgress {
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    friend bool operator==(const JobProgress&, const JobProgress&) = default;
};

// What the window hears of a running job, always on its own thread.
class JobEvents {
public:
    virtual ~JobEvents() = default;
    virtual void jobProgressed(const JobProgress& progress) = 0;
    virtual void jobEnded(const filejobs::JobResult& result) = 0;
};

// Runs one file job at a time. Its calls come from the window's thread.
class JobRunner {
public:
    virtual ~JobRunner() = default;
    // Starts `kind` on `userFile` with `password` (UTF-8; wiped once the job is done with
    // it) and returns. `events` then hears, on the window's thread, of the job's progress
    // now and then and, exactly once, of its end (which may come before start returns),
    // and nothing after that. `events` must stay until the end was heard or wait() has
    // returned. Never fails: a job that cannot run ends with kFailed.
    virtual void start(JobKind kind, const std::string& userFile,
                       std::unique_ptr<platform::SecretString> password, JobEvents& events) = 0;
    // Returns once no job runs any more, letting a running one come to its end (never
    // stopping it half-way); what it had still to tell is not told. For a window that goes.
    virtual void wait() noexcept = 0;
};

// Where a job's thread hands tasks to the window's thread; each window supplies it.
class WindowThread {
public:
    virtual ~WindowThread() = default;
    // Called from any thread; `task` runs on the window's thread soon after, after every
    // task posted before it. Tasks still waiting when the window's event loop has ended
    // are dropped unrun. Never blocks on the window's thread.
    virtual void post(std::function<void()> task) = 0;
};

// filejobs::Encrypt and filejobs::Decrypt in a thread of their own, their reads counted for
// the progress, which is told at most once every `progressInterval`.
class ThreadedJobRunner final : public JobRunner {
public:
    static constexpr std::chrono::milliseconds kProgressInterval{100};

    // `window` must outlive the runner. `context` gives the salt's clock and the file layer
    // (the real ones by default).
    explicit ThreadedJobRunner(WindowThread& window,
                               filejobs::JobContext context = filejobs::defaultJobContext(),
                               std::chrono::milliseconds progressInterval = kProgressInterval);
    // Waits for a running job's end.
    ~ThreadedJobRunner() override;
    ThreadedJobRunner(const ThreadedJobRunner&) = delete;
    ThreadedJobRunner& operator=(const ThreadedJobRunner&) = delete;

    void start(JobKind kind, const std::string& userFile,
               std::unique_ptr<platform::SecretString> password, JobEvents& events) override;
    void wait() noexcept override;

private:
    // Whom a job's tasks tell, shared by them all: cleared by the end and by wait(), so that
    // a task that runs later tells no one. Only the window's thread reads or writes it.
    struct Listener {
        JobEvents* events = nullptr;
    };

    WindowThread& m_window;
    filejobs::JobContext m_context;
    std::chrono::milliseconds m_progressInterval;
    std::shared_ptr<Listener> m_listener;
    std::thread m_thread;
};

}  // namespace kerfo::window
