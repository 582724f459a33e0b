#include "win32/window_thread.h"

#include <utility>

#include "win32/win_util.h"

namespace kerfo::win32 {

namespace {

constexpr UINT kRunTasks = WM_APP + 1;
constexpr wchar_t kClassName[] = L"Tarnwick.Kerfo.WindowThread";

}  // namespace

MessageWindowThread::MessageWindowThread(HINSTANCE instance)
    : m_hwnd(createMessageWindow(instance, kClassName, &MessageWindowThread::proc, this)) {}

MessageWindowThread::~MessageWindowThread() {
    if (m_hwnd != nullptr) DestroyWindow(m_hwnd);
}

void MessageWindowThread::post(std::function<void()> task) {
    {
        const std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    // One wake-up per task; one that finds the queue empty does nothing.
    if (m_hwnd != nullptr) PostMessageW(m_hwnd, kRunTasks, 0, 0);
}

void MessageWindowThread::runWaiting() {
    for (;;) {
        std::function<void()> task;
        {
            const std::lock_guard lock(m_mutex);
            if (m_tasks.empty()) return;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
}

LRESULT CALLBACK MessageWindowThread::proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRunTasks) {
        if (auto* self =
                reinterpret_cast<MessageWindowThread*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
            self->runWaiting();
        }
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace kerfo::win32
