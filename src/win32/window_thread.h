// The Win32 window's thread as the job runner reaches it: a message-only window that runs
// the tasks posted to it, in the order posted, in whatever message loop the thread is in
// (the program's own, a message box's, the about box's).
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

#include "window/job_runner.h"

namespace kerfo::win32 {

class MessageWindowThread final : public window::WindowThread {
public:
    // Makes the message-only window on the calling thread, which must be the window's.
    explicit MessageWindowThread(HINSTANCE instance);
    // Tasks not yet run are dropped.
    ~MessageWindowThread() override;
    MessageWindowThread(const MessageWindowThread&) = delete;
    MessageWindowThread& operator=(const MessageWindowThread&) = delete;

    void post(std::function<void()> task) override;

private:
    static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Runs the waiting tasks one at a time, so that a task that runs a message loop of its
    // own (a box) still leaves the later ones in their order.
    void runWaiting();

    HWND m_hwnd = nullptr;
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_tasks;
};

}  // namespace kerfo::win32
