// Whether the Windows tests run under Wine, for the few places where Wine's file system
// answers differently from Windows.
#pragma once

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace kerfo::test {

inline bool runningOnWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace kerfo::test
#endif
