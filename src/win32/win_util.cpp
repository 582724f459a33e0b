#include "win32/win_util.h"

#include <array>
#include <cstring>

#include "texts/texts.h"

namespace kerfo::win32 {

std::wstring widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string narrow(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr, nullptr);
    return utf8;
}

int dpiFor(HWND window) {
    // Looked up at run time: older Windows versions lack the per-window call.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow != nullptr && window != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) return static_cast<int>(dpi);
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int scale(int pixels96, int dpi) {
    return MulDiv(pixels96, dpi, 96);
}

std::vector<WORD> dialogTemplate(DWORD style, DWORD exStyle, std::wstring_view caption) {
    std::vector<WORD> words;
    auto dword = [&](DWORD value) {
        words.push_back(LOWORD(value));
        words.push_back(HIWORD(value));
    };
    auto text = [&](std::wstring_view value) {
        for (wchar_t c : value) words.push_back(static_cast<WORD>(c));
        words.push_back(0);
    };
    dword(style | DS_SETFONT);
    dword(exStyle);
    words.push_back(0);                  // no controls in the template
    for (int i = 0; i < 4; ++i) words.push_back(0);  // x, y, cx, cy: set by the window
    words.push_back(0);                  // no menu
    words.push_back(0);                  // the standard dialog class
    text(caption);
    words.push_back(8);                  // the platform's dialog font, 8 points
    text(L"MS Shell Dlg");
    return words;
}

HWND createMessageWindow(HINSTANCE instance, const wchar_t* className, WNDPROC proc, void* owner) {
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = proc;
    cls.hInstance = instance;
    cls.lpszClassName = className;
    RegisterClassExW(&cls);  // fails harmlessly when registered already
    const HWND hwnd =
        CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    if (hwnd != nullptr) SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    return hwnd;
}

HICON padlockIcon(window::Padlock kind) {
    const auto pixels = window::padlockPixels(kind);
    BITMAPV5HEADER header{};
    header.bV5Size = sizeof header;
    header.bV5Width = window::kPadlockSize;
    header.bV5Height = -window::kPadlockSize;  // top-down, as the pixels come
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_BITFIELDS;
    header.bV5RedMask = 0x00FF0000;
    header.bV5GreenMask = 0x0000FF00;
    header.bV5BlueMask = 0x000000FF;
    header.bV5AlphaMask = 0xFF000000;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP colour = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (colour == nullptr) return nullptr;
    std::memcpy(bits, pixels.data(), pixels.size() * sizeof(pixels[0]));
    // The mask marks the clear pixels: a disabled button draws the picture's shape from it.
    std::array<BYTE, window::kPadlockSize * window::kPadlockSize / 8> maskBits{};
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        if ((pixels[i] >> 24) < 0x80) maskBits[i / 8] |= static_cast<BYTE>(0x80 >> (i % 8));
    }
    HBITMAP mask = CreateBitmap(window::kPadlockSize, window::kPadlockSize, 1, 1, maskBits.data());
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = colour;
    info.hbmMask = mask;
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(colour);
    DeleteObject(mask);
    return icon;
}

void MessageBoxSink::show(const texts::Message& message) {
    UINT flags = MB_OK | MB_SETFOREGROUND;
    switch (message.icon) {
        case texts::Icon::kError: flags |= MB_ICONERROR; break;
        case texts::Icon::kWarning: flags |= MB_ICONWARNING; break;
        case texts::Icon::kInformation: flags |= MB_ICONINFORMATION; break;
        case texts::Icon::kNone: break;
    }
    HWND owner = GetActiveWindow();
    if (owner == nullptr) flags |= MB_TASKMODAL;
    MessageBoxW(owner, widen(message.text).c_str(), widen(message.title.value_or(std::string(texts::kAppTitle))).c_str(),
                flags);
}

}  // namespace kerfo::win32
