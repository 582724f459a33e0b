// Small pieces the Win32 windows share: text conversion, DPI scaling, the in-memory
// dialog frames, the padlock icons and the message boxes.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "texts/message.h"
#include "window/padlock.h"

namespace kerfo::win32 {

// UTF-8 (the core's texts and paths) to UTF-16 and back; invalid bytes become U+FFFD.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);

// The dots per inch `window` is shown at (the monitor's, for a per-monitor aware program),
// or the system's when the platform cannot say per window.
int dpiFor(HWND window);

// `pixels96` at 96 dots per inch, scaled to `dpi`.
int scale(int pixels96, int dpi);

// An empty dialog frame with `caption`, made in memory: the dialog manager then gives the
// window Tab and arrow navigation, mnemonics, a default button and Esc; the controls are
// created by the window itself. The result stays valid while it is alive (DWORD aligned).
std::vector<WORD> dialogTemplate(DWORD style, DWORD exStyle, std::wstring_view caption);

// The 32 x 32 padlock picture as an icon with an alpha channel; destroy with DestroyIcon.
HICON padlockIcon(window::Padlock kind);

// A message-only window of the class `className` (registered on first use) whose messages
// go to `proc`, with `owner` as its user data; null when none can be made. Destroy it
// with DestroyWindow.
HWND createMessageWindow(HINSTANCE instance, const wchar_t* className, WNDPROC proc, void* owner);

// Modal MessageBoxW boxes over the program's active window: the message's icon, its title
// or else "Kerfo", and an Ok button.
class MessageBoxSink final : public texts::MessageSink {
public:
    void show(const texts::Message& message) override;
};

}  // namespace kerfo::win32
