// The one running Kerfo of a session and how another start reaches it. Explorer starts one
// kerfo.exe per selected file; the process that holds the session's named mutex opens the
// window, and the others hand their files to it through a message-only window of a known
// class: WM_COPYDATA with the path as UTF-16, answered with the window's verdict. The rule
// of who opens and who hands over is the window model's (window/hand_over.h).
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "window/hand_over.h"

namespace kerfo::win32 {

// The session's one-instance place, held as the owner of a named mutex: a process that
// ends, even by a crash, leaves it to the next start.
class SessionInstances final : public window::Instances {
public:
    SessionInstances();
    // Lets the place go if this process holds it.
    ~SessionInstances() override;
    SessionInstances(const SessionInstances&) = delete;
    SessionInstances& operator=(const SessionInstances&) = delete;

    // True also when no mutex can be made at all: that does not stop the program.
    bool claim() override;
    // Nothing when no window takes offers, or it did not answer within ten seconds.
    std::optional<window::HandOver> offer(const std::string& file) override;
    void pause() override;

private:
    HANDLE m_mutex = nullptr;
    bool m_held = false;
};

// The running window's side: takes each file offered and answers with `take`'s verdict, or
// not at all (nothing: the offering start looks again, as for a window still loading).
// Lives on the window's thread, which must be running a message loop for offers to arrive.
class HandOverReceiver {
public:
    using Take = std::function<std::optional<window::HandOver>(const std::string& file)>;
    HandOverReceiver(HINSTANCE instance, Take take);
    ~HandOverReceiver();
    HandOverReceiver(const HandOverReceiver&) = delete;
    HandOverReceiver& operator=(const HandOverReceiver&) = delete;

private:
    static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    Take m_take;
    HWND m_hwnd = nullptr;
};

}  // namespace kerfo::win32
