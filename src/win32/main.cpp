// The Windows program: kerfo.exe <file>, started by Explorer's "Kerfo-Encrypt" entry.
#include <windows.h>

#include <commctrl.h>

#include "win32/instance.h"
#include "win32/main_window.h"
#include "win32/win_util.h"
#include "win32/window_thread.h"
#include "window/command_tail.h"
#include "window/hand_over.h"
#include "window/job_runner.h"
#include "window/services.h"

namespace {

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

    // The whole tail, as Explorer hands it over: spaces, double spaces and quotes kept.
    const std::string userFile = win32::narrow(window::commandTail(GetCommandLineW()));

    // Explorer starts one kerfo.exe per selected file: the one that holds the session's
    // place opens the window, the others hand their files to it and end.
    window::FileGate gate;
    win32::SessionInstances instances;
    const window::Start start = window::startUp(instances, userFile);
    if (!start.openWindow) {
        if (!start.box) return 0;
        messages.show(*start.box);
        return 1;
    }

    // Opened only past the single-instance check, so a refused second copy never reads it.
    window::StoredSettings stored(messages);
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
    // Files other starts hand over while the password is still to be typed. A window that
    // has closed answers nothing: the start looks again and opens the next window.
    win32::HandOverReceiver receiver(instance, [&mainWindow](const std::string& file) {
        std::optional<window::HandOver> answer;
        if (mainWindow.handle() != nullptr) {
            answer = mainWindow.model().handOver(file);
            if (answer == window::HandOver::kTaken) SetForegroundWindow(mainWindow.handle());
        }
        return answer;
    });

    MSG message;
    int result;
    while ((result = GetMessageW(&message, nullptr, 0, 0)) > 0) {
        if (mainWindow.handle() != nullptr && IsDialogMessageW(mainWindow.handle(), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return exit.ending() ? exit.code() : static_cast<int>(message.wParam);
}
