// The Windows program: kerfo.exe <file>, started by Explorer's "Kerfo-Encrypt" entry.
#include <windows.h>

#include <commctrl.h>

#include "win32/main_window.h"
#include "win32/win_util.h"
#include "win32/window_thread.h"
#include "window/command_tail.h"
#include "window/job_runner.h"
#include "window/services.h"

namespace {

// One running Kerfo per session: a named mutex in the session's namespace, held until
// the process ends (a crashed instance releases it with its process).
class InstanceMutex {
public:
    InstanceMutex() : m_handle(CreateMutexW(nullptr, FALSE, L"Local\\Tarnwick.Kerfo.Instance")) {
        m_taken = m_handle != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
        // A mutex that cannot be made at all does not stop the program.
        if (m_handle == nullptr) m_taken = true;
    }
    ~InstanceMutex() {
        if (m_handle != nullptr) CloseHandle(m_handle);
    }
    InstanceMutex(const InstanceMutex&) = delete;
    InstanceMutex& operator=(const InstanceMutex&) = delete;
    bool taken() const { return m_taken; }

private:
    HANDLE m_handle;
    bool m_taken = false;
};

// Ends the message loop with the code; the window is not closed by it.
class LoopExit final : public kerfo::window::ProcessExit {
public:
    void exit(int code) override {
        if (!m_ending) {
            m_ending = true;
            m_code = code;
            PostQuitMessage(code);
        }
    }
    bool ending() const { return m_ending; }
    int code() const { return m_code; }

private:
    bool m_ending = false;
    int m_code = 0;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    using namespace kerfo;

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    win32::MessageBoxSink messages;

    InstanceMutex instanceMutex;
    if (!instanceMutex.taken()) {
        messages.show(window::alreadyRunningMessage());
        return 1;
    }

    // The whole tail, as Explorer hands it over: spaces, double spaces and quotes kept.
    const std::string userFile = win32::narrow(window::commandTail(GetCommandLineW()));

    // Opened only past the single-instance check, so a refused second copy never reads it.
    window::StoredSettings stored(messages);
    window::FileGate gate;
    win32::MessageWindowThread windowThread(instance);
    window::ThreadedJobRunner jobs(windowThread);
    window::SteadyClock clock;
    LoopExit exit;
    win32::MainWindow mainWindow(
        instance, window::MainServices{&messages, &exit, &stored, &gate, &jobs, &clock});
    if (!mainWindow.model().load(userFile)) {
        return 1;
    }
    ShowWindow(mainWindow.handle(), SW_SHOWNORMAL);
    SetForegroundWindow(mainWindow.handle());

    MSG message;
    int result;
    while ((result = GetMessageW(&message, nullptr, 0, 0)) > 0) {
        if (mainWindow.handle() != nullptr && IsDialogMessageW(mainWindow.handle(), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return exit.ending() ? exit.code() : static_cast<int>(message.wParam);
}
