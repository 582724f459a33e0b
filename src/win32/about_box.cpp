#include "win32/about_box.h"

#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "texts/texts.h"
#include "win32/win_util.h"
#include "window/about_model.h"

namespace kerfo::win32 {

namespace {

constexpr int kOkId = 1001;
constexpr int kFirstLabelId = 1100;

class AboutBox {
public:
    AboutBox(HINSTANCE instance, HWND mainWindow) : m_instance(instance), m_main(mainWindow) {}
    ~AboutBox() {
        for (HFONT font : {m_dialogFont, m_titleFont, m_versionFont}) {
            if (font != nullptr) DeleteObject(font);
        }
    }

    void run() {
        const std::vector<WORD> frame =
            dialogTemplate(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0, widen(texts::kAboutCaption));
        EnableWindow(m_main, FALSE);
        DialogBoxIndirectParamW(m_instance, reinterpret_cast<const DLGTEMPLATE*>(frame.data()), nullptr,
                                &AboutBox::proc, reinterpret_cast<LPARAM>(this));
        EnableWindow(m_main, TRUE);
        if (!IsIconic(m_main)) SetActiveWindow(m_main);
    }

private:
    static INT_PTR CALLBACK proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
            auto* self = reinterpret_cast<AboutBox*>(lParam);
            self->m_hwnd = hwnd;
            self->load();
            return FALSE;  // the focus is set: Ok
        }
        auto* self = reinterpret_cast<AboutBox*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        return self == nullptr ? FALSE : self->handle(message, wParam, lParam);
    }

    int px(int twips) const { return window::twipsToPixelsAt(twips, m_dpi); }

    HFONT makeFont(int hundredthsOfPoint, bool bold) const {
        LOGFONTW font{};
        font.lfHeight = -MulDiv(hundredthsOfPoint, m_dpi, 7200);
        font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
        font.lfCharSet = DEFAULT_CHARSET;
        font.lfQuality = CLEARTYPE_QUALITY;
        lstrcpynW(font.lfFaceName, L"MS Shell Dlg", LF_FACESIZE);
        return CreateFontIndirectW(&font);
    }

    // The load steps: the title, the version line, the copyright line with this year.
    void load() {
        m_dpi = dpiFor(m_hwnd);
        RECT frame{0, 0, px(window::kAboutWidth), px(window::kAboutHeight)};
        AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE)));
        const int width = frame.right - frame.left;
        const int height = frame.bottom - frame.top;
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        SetWindowPos(m_hwnd, nullptr, work.left + (work.right - work.left - width) / 2,
                     work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER);

        m_dialogFont = makeFont(800, false);
        m_titleFont = makeFont(static_cast<int>(window::kAboutTitlePoints * 100), false);
        m_versionFont = makeFont(static_cast<int>(window::kAboutVersionPoints * 100), true);
        SYSTEMTIME now{};
        GetLocalTime(&now);
        HDC dc = GetDC(m_hwnd);
        for (std::size_t i = 0; i < window::kAboutLabels.size(); ++i) {
            const window::AboutLabel& label = window::kAboutLabels[i];
            std::string text(label.text);
            if (i == 0) text = texts::kAppTitle;
            if (i == 1) text = window::versionLine(KERFO_VERSION_MAJOR, KERFO_VERSION_MINOR, KERFO_VERSION_PATCH);
            if (i == 2) text = window::copyrightLine(now.wYear);
            const HFONT font = label.font == window::AboutFont::kTitle     ? m_titleFont
                               : label.font == window::AboutFont::kVersion ? m_versionFont
                                                                           : m_dialogFont;
            const std::wstring wide = widen(text);
            SelectObject(dc, font);
            SIZE extent{};
            GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
            const int w = label.autoSize ? extent.cx : px(label.width);
            const int h = std::max(px(label.height), static_cast<int>(extent.cy));
            const bool link = i + 1 == window::kAboutLabels.size();
            HWND child = CreateWindowExW(0, L"STATIC", wide.c_str(),
                                         WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | (link ? SS_NOTIFY : 0),
                                         px(label.left), px(label.top), w, h, m_hwnd,
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstLabelId + i)), m_instance,
                                         nullptr);
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
            if (link) m_link = child;
        }
        ReleaseDC(m_hwnd, dc);
        HWND ok = CreateWindowExW(0, L"BUTTON", widen(texts::kOk).c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                  px(window::kOkLeft), px(window::kOkTop), px(window::kOkWidth), px(window::kOkHeight),
                                  m_hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kOkId)), m_instance, nullptr);
        SendMessageW(ok, WM_SETFONT, reinterpret_cast<WPARAM>(m_dialogFont), FALSE);
        // Neither the default nor the cancel button: Enter and Space press it through its
        // focus, which the dialog manager must give it so that Enter goes to it.
        SendMessageW(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(ok), TRUE);
    }

    void paintRules() {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(m_hwnd, &paint);
        const unsigned dark = window::kRuleDarkRgb;
        HBRUSH darkBrush = CreateSolidBrush(RGB(dark >> 16 & 0xff, dark >> 8 & 0xff, dark & 0xff));
        for (const window::AboutRule& rule : window::kAboutRules) {
            // A dark line one pixel high, and 15 twips below it a light one two pixels high.
            RECT line{px(rule.left), px(rule.top), px(rule.right), px(rule.top) + 1};
            FillRect(dc, &line, darkBrush);
            RECT light{px(rule.left), px(rule.top + 15), px(rule.right), px(rule.top + 15) + 2};
            FillRect(dc, &light, GetSysColorBrush(COLOR_3DHILIGHT));
        }
        DeleteObject(darkBrush);
        EndPaint(m_hwnd, &paint);
    }

    void linkClicked() {
        ShowWindow(m_main, SW_MINIMIZE);
        // The result is not examined: a machine that cannot open addresses reports nothing.
        ShellExecuteW(m_hwnd, nullptr, widen(texts::kHomePage).c_str(), nullptr, L"c:\\", SW_SHOWNORMAL);
        EndDialog(m_hwnd, 0);
    }

    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_COMMAND:
                if (LOWORD(wParam) == kOkId && HIWORD(wParam) == BN_CLICKED) {
                    EndDialog(m_hwnd, 0);
                } else if (reinterpret_cast<HWND>(lParam) == m_link && m_link != nullptr &&
                           HIWORD(wParam) == STN_CLICKED) {
                    linkClicked();
                }
                // IDCANCEL (Esc) is ignored: the box has no cancel button.
                return TRUE;
            case WM_CLOSE:
                EndDialog(m_hwnd, 0);
                return TRUE;
            case WM_PAINT:
                paintRules();
                return TRUE;
            case WM_SETCURSOR:
                if (reinterpret_cast<HWND>(wParam) == m_link) {
                    SetCursor(LoadCursorW(nullptr, IDC_HAND));
                    SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, TRUE);
                    return TRUE;
                }
                return FALSE;
            case WM_CTLCOLORSTATIC: {
                const auto dc = reinterpret_cast<HDC>(wParam);
                const unsigned blue = window::kFocusBlueRgb;
                SetTextColor(dc, reinterpret_cast<HWND>(lParam) == m_link
                                     ? RGB(blue >> 16 & 0xff, blue >> 8 & 0xff, blue & 0xff)
                                     : GetSysColor(COLOR_BTNTEXT));
                SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
                return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
            }
            default:
                return FALSE;
        }
    }

    HINSTANCE m_instance;
    HWND m_main;
    HWND m_hwnd = nullptr;
    HWND m_link = nullptr;
    int m_dpi = 96;
    HFONT m_dialogFont = nullptr;
    HFONT m_titleFont = nullptr;
    HFONT m_versionFont = nullptr;
};

}  // namespace

void showAboutBox(HINSTANCE instance, HWND mainWindow) {
    AboutBox box(instance, mainWindow);
    box.run();
}

}  // namespace kerfo::win32
