// The about box `frmabout` on the Win32 API.
#pragma once

#include <windows.h>

namespace kerfo::win32 {

// Shows the box modally, laid out from its twips at the monitor's DPI; no owner window
// is given, so `mainWindow` is disabled while it is open. The link minimises
// `mainWindow`, opens the home page with ShellExecuteW and closes the box.
void showAboutBox(HINSTANCE instance, HWND mainWindow);

}  // namespace kerfo::win32
