// The window's job runner with real files and a real thread: the job's end and progress
// reach the window only through its thread's queue, a batch runs through one runner, and a
// window that goes hears nothing more.
#include <gtest/gtest.h>

#include <deque>
#include <mutex>
#include <thread>

#include "fakes/scratch_dir.h"
#include "filejobs/progress.h"
#include "support/files.h"
#include "window/job_runner.h"

namespace kerfo::test {
namespace {

using window::JobKind;

// The window's thread as a queue the test empties on its own thread.
class QueuedWindowThread : public window::WindowThread {
public:
    void post(std::function<void()> task) override {
        const std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    // Runs what has been posted; false when nothing was waiting.
    bool runWaiting() {
        std::deque<std::function<void()>> tasks;
        {
            const std::lock_guard lock(m_mutex);
            tasks.swap(m_tasks);
        }
        for (auto& task : tasks) task();
        return !tasks.empty();
    }

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_tasks;
};

class RecordingEvents : public window::JobEvents {
public:
    void jobProgressed(const window::JobProgress& progress) override {
        EXPECT_EQ(std::this_thread::get_id(), m_windowThread);
        progresses.push_back(progress);
    }
    void jobEnded(const filejobs::JobResult& result) override {
        EXPECT_EQ(std::this_thread::get_id(), m_windowThread);
        ends.push_back(result);
    }
    std::vector<window::JobProgress> progresses;
    std::vector<filejobs::JobResult> ends;

private:
    std::thread::id m_windowThread = std::this_thread::get_id();
};

std::unique_ptr<platform::SecretString> secret(const char* text) {
    return std::make_unique<platform::SecretString>(text);
}

class JobRunnerTest : public ::testing::Test {
protected:
    // Runs the window's side until the job has told its end.
    void untilEnded() {
        for (int i = 0; i < 6000 && events.ends.empty(); ++i) {
            if (!thread.runWaiting()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_EQ(events.ends.size(), 1u);
    }

    ScratchDir dir;
    QueuedWindowThread thread;
    RecordingEvents events;
};

TEST_F(JobRunnerTest, TheEndAndTheProgressComeThroughTheWindowsThread) {
    const std::string plain = randomBytes(4u << 20, 7);
    const std::string file = dir.write("big.txt", plain);
    // Told after every read, so that there is progress to see however fast the machine.
    window::ThreadedJobRunner runner(thread, filejobs::defaultJobContext(),
                                     std::chrono::milliseconds(0));
    runner.start(JobKind::kEncrypt, file, secret("pw"), events);
    // Nothing reaches the window but through its thread.
    EXPECT_TRUE(events.ends.empty());
    untilEnded();
    EXPECT_EQ(events.ends[0].status, filejobs::JobStatus::kDone);
    EXPECT_EQ(events.ends[0].newPath, dir / "big.kfo");
    ASSERT_FALSE(events.progresses.empty());
    EXPECT_EQ(events.progresses.back().done, plain.size());
    for (std::size_t i = 0; i < events.progresses.size(); ++i) {
        EXPECT_EQ(events.progresses[i].total, plain.size());
        EXPECT_LE(events.progresses[i].done, plain.size());
        if (i > 0) {
            EXPECT_GE(events.progresses[i].done, events.progresses[i - 1].done);
        }
    }

    // The next job of a batch through the same runner: back again, with the same password.
    events.ends.clear();
    runner.start(JobKind::kDecrypt, dir / "big.kfo", secret("pw"), events);
    untilEnded();
    EXPECT_EQ(events.ends[0].status, filejobs::JobStatus::kDone);
    EXPECT_EQ(readFile(dir / "big.txt"), plain);
}

TEST_F(JobRunnerTest, AWindowThatGoesHearsNothingMore) {
    const std::string file = dir.write("notes.txt", randomBytes(1u << 20, 3));
    {
        window::ThreadedJobRunner runner(thread);
        runner.start(JobKind::kEncrypt, file, secret("pw"), events);
        runner.wait();
        // The job came to its end: the files are as a finished job leaves them.
        EXPECT_TRUE(std::filesystem::exists(dir / "notes.kfo"));
        EXPECT_FALSE(std::filesystem::exists(file));
    }
    thread.runWaiting();
    EXPECT_TRUE(events.ends.empty());
    EXPECT_TRUE(events.progresses.empty());
}

}  // namespace
}  // namespace kerfo::test
