#include "win32/main_window.h"

#include <commctrl.h>

#include <vector>

#include "texts/texts.h"
#include "win32/about_box.h"
#include "win32/win_util.h"
#include "window/about_model.h"

namespace kerfo::win32 {

namespace {

using window::Control;

constexpr int kFirstId = 101;  // control ids: kFirstId + Control
constexpr UINT_PTR kReminderTimer = 1;

int idOf(Control control) {
    return kFirstId + static_cast<int>(control);
}

// Where each control sits, in pixels at 96 dots per inch, in tab order then the labels.
struct Place {
    int x, y, width, height;
};
constexpr Place kPlaces[] = {
    {12, 28, 190, 21},   // txtPassword1
    {12, 74, 190, 21},   // txtPassword2
    {216, 26, 48, 48},   // cmdEncrypt
    {270, 26, 48, 48},   // cmdDecrypt
    {166, 110, 74, 25},  // cmdCancel
    {246, 110, 74, 25},  // cmdAbout
    {12, 112, 140, 20},  // Check1
    {12, 12, 190, 15},   // lblPassword1
    {12, 58, 190, 15},   // lblPassword2
};
constexpr int kClientWidth = 332;
constexpr int kClientHeight = 146;
// The list of several files with its label, below the other controls; the window grows by
// as much while it shows.
constexpr Place kFilesLabelPlace{12, 146, 308, 15};
constexpr Place kFilesPlace{12, 162, 308, 60};
constexpr int kFilesRoom = 80;
// The progress bar, below the other controls and the list; the window grows by as much
// while it shows.
constexpr Place kProgressPlace{12, 146, 308, 14};
constexpr int kProgressRoom = 22;

// Adds the work area of `monitor` to the std::vector<window::Rect> at `areas`.
BOOL CALLBACK addWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM areas) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info)) {
        const RECT& work = info.rcWork;
        reinterpret_cast<std::vector<window::Rect>*>(areas)->push_back(
            {work.left, work.top, work.right - work.left, work.bottom - work.top});
    }
    return TRUE;
}

constexpr COLORREF kFocusColour =
    RGB(window::kFocusBlueRgb >> 16 & 0xff, window::kFocusBlueRgb >> 8 & 0xff, window::kFocusBlueRgb & 0xff);

}  // namespace

// The window's frame position in twips, at the window's DPI.
class MainWindow::Position final : public settings::PositionTarget {
public:
    explicit Position(HWND& hwnd) : m_hwnd(hwnd) {}
    bool known() const override { return true; }
    std::int32_t left() const override { return toTwips(rect().left); }
    std::int32_t top() const override { return toTwips(rect().top); }
    void setLeft(std::int32_t twips) override { move(toPixels(twips), rect().top); }
    void setTop(std::int32_t twips) override { move(rect().left, toPixels(twips)); }

private:
    RECT rect() const {
        RECT r{};
        GetWindowRect(m_hwnd, &r);
        return r;
    }
    std::int32_t toTwips(LONG pixels) const { return MulDiv(pixels, 1440, dpiFor(m_hwnd)); }
    int toPixels(std::int32_t twips) const { return MulDiv(twips, dpiFor(m_hwnd), 1440); }
    void move(int x, int y) { SetWindowPos(m_hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE); }
    HWND& m_hwnd;
};

// The "Auto quit window" box: 0 cleared, 1 ticked, 2 greyed.
class MainWindow::CheckBox final : public settings::CheckTarget {
public:
    explicit CheckBox(HWND& box) : m_box(box) {}
    std::int16_t value() const override {
        const LRESULT state = SendMessageW(m_box, BM_GETCHECK, 0, 0);
        return state == BST_CHECKED ? 1 : state == BST_INDETERMINATE ? 2 : 0;
    }
    bool setValue(std::int16_t state) override {
        if (state < 0 || state > 2) return false;
        SendMessageW(m_box, BM_SETCHECK,
                     state == 1 ? BST_CHECKED : state == 2 ? BST_INDETERMINATE : BST_UNCHECKED, 0);
        return true;
    }

private:
    HWND& m_box;
};

MainWindow::MainWindow(HINSTANCE instance, const window::MainServices& services) : m_instance(instance) {
    const std::vector<WORD> frame = dialogTemplate(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_NOIDLEMSG,
                                                   WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, L"");
    m_hwnd = CreateDialogIndirectParamW(instance, reinterpret_cast<const DLGTEMPLATE*>(frame.data()), nullptr,
                                        &MainWindow::dialogProc, reinterpret_cast<LPARAM>(this));
    createControls();
    m_position = std::make_unique<Position>(m_hwnd);
    m_checkBox = std::make_unique<CheckBox>(m_controls[static_cast<int>(Control::kCheck1)]);
    m_model = std::make_unique<window::MainModel>(*this, services);
}

MainWindow::~MainWindow() {
    if (m_hwnd != nullptr) {
        // Gone without a close (the program ends during start-up or after a fatal box):
        // the model saves nothing for a window that was never closed.
        DestroyWindow(m_hwnd);
    }
    if (m_tips != nullptr) DestroyWindow(m_tips);
    if (m_closedIcon != nullptr) DestroyIcon(m_closedIcon);
    if (m_openIcon != nullptr) DestroyIcon(m_openIcon);
    if (m_font != nullptr) DeleteObject(m_font);
}

void MainWindow::createControls() {
    const int dpi = dpiFor(m_hwnd);
    RECT frame{0, 0, scale(kClientWidth, dpi), scale(kClientHeight, dpi)};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE)));
    SetWindowPos(m_hwnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    metrics.lfMessageFont.lfHeight = -MulDiv(8, dpi, 72);
    m_font = CreateFontIndirectW(&metrics.lfMessageFont);

    struct Spec {
        const wchar_t* cls;
        std::string_view text;
        DWORD style;
    };
    // Indexed by Control. Created in tab order (the dialog manager tabs through its
    // children in that order), each label just before its box: screen readers name an
    // edit box after the label in front of it.
    const Spec specs[] = {
        {L"EDIT", "", WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL},
        {L"EDIT", "", WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL},
        // The picture buttons' window texts are never drawn, but are what screen readers say.
        {L"BUTTON", texts::kEncryptName, WS_TABSTOP | BS_PUSHBUTTON | BS_ICON},
        {L"BUTTON", texts::kDecryptName, WS_TABSTOP | BS_PUSHBUTTON | BS_ICON},
        {L"BUTTON", texts::kCancel, WS_TABSTOP | BS_PUSHBUTTON},
        {L"BUTTON", texts::kAbout, WS_TABSTOP | BS_PUSHBUTTON},
        // Three states for the greyed value a stored setting may hold; a click only ticks
        // and clears (handled below).
        {L"BUTTON", texts::kAutoQuit, WS_TABSTOP | BS_3STATE},
        {L"STATIC", texts::kEnterPassword, SS_LEFT | SS_NOPREFIX},
        {L"STATIC", texts::kEnterPasswordAgain, SS_LEFT | SS_NOPREFIX},
    };
    for (const int i : {7, 0, 8, 1, 2, 3, 4, 5, 6}) {
        const Place& p = kPlaces[i];
        const DWORD exStyle = specs[i].cls == std::wstring_view(L"EDIT") ? WS_EX_CLIENTEDGE : 0;
        HWND child = CreateWindowExW(exStyle, specs[i].cls, widen(specs[i].text).c_str(),
                                     WS_CHILD | WS_VISIBLE | specs[i].style, scale(p.x, dpi), scale(p.y, dpi),
                                     scale(p.width, dpi), scale(p.height, dpi), m_hwnd,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + i)), m_instance, nullptr);
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
        m_controls[i] = child;
    }
    for (Control box : {Control::kTxtPassword1, Control::kTxtPassword2}) {
        // Every typed character shows as '*', not the themed bullet.
        SendMessageW(control(box), EM_SETPASSWORDCHAR, L'*', 0);
    }
    // After Check1 in the tab order; the label before the list names it for screen readers.
    m_filesLabel =
        CreateWindowExW(0, L"STATIC", widen(texts::kFilesName).c_str(),
                        WS_CHILD | SS_LEFT | SS_NOPREFIX, scale(kFilesLabelPlace.x, dpi),
                        scale(kFilesLabelPlace.y, dpi), scale(kFilesLabelPlace.width, dpi),
                        scale(kFilesLabelPlace.height, dpi), m_hwnd, nullptr, m_instance, nullptr);
    m_files = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", widen(texts::kFilesName).c_str(),
                              WS_CHILD | WS_TABSTOP | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOSEL,
                              scale(kFilesPlace.x, dpi), scale(kFilesPlace.y, dpi),
                              scale(kFilesPlace.width, dpi), scale(kFilesPlace.height, dpi), m_hwnd,
                              nullptr, m_instance, nullptr);
    SendMessageW(m_filesLabel, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
    SendMessageW(m_files, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
    m_progress =
        CreateWindowExW(0, PROGRESS_CLASSW, widen(texts::kProgressName).c_str(),
                        WS_CHILD | PBS_SMOOTH, scale(kProgressPlace.x, dpi),
                        scale(kProgressPlace.y, dpi), scale(kProgressPlace.width, dpi),
                        scale(kProgressPlace.height, dpi), m_hwnd, nullptr, m_instance, nullptr);
    SendMessageW(m_progress, PBM_SETRANGE32, 0, 100);
    m_closedIcon = padlockIcon(window::Padlock::kClosed);
    m_openIcon = padlockIcon(window::Padlock::kOpen);
    SendMessageW(control(Control::kCmdEncrypt), BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(m_closedIcon));
    SendMessageW(control(Control::kCmdDecrypt), BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(m_openIcon));
    SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_closedIcon));
    SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_closedIcon));
    SetWindowSubclass(control(Control::kCheck1), &MainWindow::checkBoxProc, 1, reinterpret_cast<DWORD_PTR>(this));

    m_tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0,
                             0, 0, m_hwnd, nullptr, m_instance, nullptr);
    const std::wstring encryptTip = widen(texts::kEncryptTip);
    const std::wstring decryptTip = widen(texts::kDecryptTip);
    const std::pair<Control, const std::wstring*> tools[] = {
        {Control::kCmdEncrypt, &encryptTip}, {Control::kCmdDecrypt, &decryptTip}, {Control::kCheck1, &m_checkTip}};
    for (const auto& [which, tip] : tools) {
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = m_hwnd;
        tool.uId = reinterpret_cast<UINT_PTR>(control(which));
        tool.lpszText = const_cast<wchar_t*>(tip->c_str());
        SendMessageW(m_tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

HWND MainWindow::control(Control which) const {
    return m_controls[static_cast<int>(which)];
}

INT_PTR CALLBACK MainWindow::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        return FALSE;
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return self == nullptr ? FALSE : self->handle(message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::checkBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                          DWORD_PTR self) {
    if (message == WM_MOUSEMOVE) {
        reinterpret_cast<MainWindow*>(self)->m_model->check1MouseMove();
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

INT_PTR MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            if (m_model == nullptr) return FALSE;
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id == IDCANCEL) {
                m_model->escapePressed();  // Esc, from the dialog manager
            } else if (id == idOf(Control::kCmdEncrypt) && code == BN_CLICKED) {
                m_model->encryptClicked();
            } else if (id == idOf(Control::kCmdDecrypt) && code == BN_CLICKED) {
                m_model->decryptClicked();
            } else if (id == idOf(Control::kCmdCancel) && code == BN_CLICKED) {
                m_model->cancelClicked();
            } else if (id == idOf(Control::kCmdAbout) && code == BN_CLICKED) {
                m_model->aboutClicked();
            } else if (id == idOf(Control::kCheck1) && code == BN_CLICKED) {
                m_model->check1Clicked();
            } else if ((id == idOf(Control::kTxtPassword1) || id == idOf(Control::kTxtPassword2)) &&
                       (code == EN_SETFOCUS || code == EN_KILLFOCUS)) {
                m_model->passwordFocusChanged(static_cast<Control>(id - kFirstId), code == EN_SETFOCUS);
            }
            return TRUE;
        }
        case WM_CTLCOLORSTATIC: {
            const auto dc = reinterpret_cast<HDC>(wParam);
            const auto child = reinterpret_cast<HWND>(lParam);
            COLORREF text = GetSysColor(COLOR_BTNTEXT);
            if ((child == control(Control::kLblPassword1) && m_labelFocused[0]) ||
                (child == control(Control::kLblPassword2) && m_labelFocused[1])) {
                text = kFocusColour;
            }
            SetTextColor(dc, text);
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_SETCURSOR:
            if (m_busy) {
                SetCursor(LoadCursorW(nullptr, IDC_WAIT));
                SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_TIMER:
            if (wParam != kReminderTimer) return FALSE;
            KillTimer(m_hwnd, kReminderTimer);
            if (m_model != nullptr) m_model->remind();
            return TRUE;
        case WM_CLOSE:
            // The close box (and the close action): the query-unload, then the window goes;
            // while a job runs the model keeps it and closes it once the job has ended.
            if (m_model != nullptr && !m_model->queryUnload()) return TRUE;
            DestroyWindow(m_hwnd);
            return TRUE;
        case WM_DESTROY:
            if (m_model != nullptr) m_model->unload();
            m_hwnd = nullptr;
            PostQuitMessage(0);
            return TRUE;
        default:
            return FALSE;
    }
}

void MainWindow::setCaption(std::string_view caption) {
    SetWindowTextW(m_hwnd, widen(caption).c_str());
}

void MainWindow::setEnabled(Control which, bool enabled) {
    HWND child = control(which);
    if (!enabled && GetFocus() == child) {
        // A disabled control must not keep the focus: the dialog would stop taking keys.
        SendMessageW(m_hwnd, WM_NEXTDLGCTL, 0, FALSE);
    }
    EnableWindow(child, enabled ? TRUE : FALSE);
}

void MainWindow::setDefaultButton(Control button) {
    for (Control each : {Control::kCmdEncrypt, Control::kCmdDecrypt, Control::kCmdCancel, Control::kCmdAbout}) {
        HWND child = control(each);
        const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
        const LONG_PTR kind = each == button ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        SendMessageW(child, BM_SETSTYLE, static_cast<WPARAM>((style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | kind),
                     TRUE);
    }
    SendMessageW(m_hwnd, DM_SETDEFID, static_cast<WPARAM>(idOf(button)), 0);
}

void MainWindow::setFocus(Control which) {
    SendMessageW(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control(which)), TRUE);
    // The dialog manager selects an edit box's text when it takes the focus this way; the
    // model asks for that only where it wants it.
    if (which == Control::kTxtPassword1 || which == Control::kTxtPassword2) {
        SendMessageW(control(which), EM_SETSEL, static_cast<WPARAM>(-1), 0);
    }
}

void MainWindow::selectFocusedText() {
    HWND focused = GetFocus();
    if (focused == control(Control::kTxtPassword1) || focused == control(Control::kTxtPassword2)) {
        SendMessageW(focused, EM_SETSEL, 0, -1);
    }
}

std::string MainWindow::password(Control box) const {
    HWND child = control(box);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(child)) + 1, L'\0');
    const int n = GetWindowTextW(child, text.data(), static_cast<int>(text.size()));
    std::string utf8 = narrow(std::wstring_view(text.data(), static_cast<std::size_t>(n)));
    SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t));
    return utf8;
}

void MainWindow::clearPassword(Control box) {
    SetWindowTextW(control(box), L"");
}

void MainWindow::setPasswordLimit(int characters) {
    for (Control box : {Control::kTxtPassword1, Control::kTxtPassword2}) {
        SendMessageW(control(box), EM_SETLIMITTEXT, static_cast<WPARAM>(characters), 0);
    }
}

void MainWindow::setCancelText(std::string_view text) {
    SetWindowTextW(control(Control::kCmdCancel), widen(text).c_str());
}

void MainWindow::setLabelFocused(Control label, bool focused) {
    m_labelFocused[label == Control::kLblPassword1 ? 0 : 1] = focused;
    InvalidateRect(control(label), nullptr, TRUE);
}

void MainWindow::setCheckTip(std::string_view tip) {
    m_checkTip = widen(tip);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = m_hwnd;
    tool.uId = reinterpret_cast<UINT_PTR>(control(Control::kCheck1));
    tool.lpszText = m_checkTip.data();
    SendMessageW(m_tips, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

int MainWindow::checkState() const {
    return m_checkBox->value();
}

void MainWindow::setBusy(bool busy) {
    m_busy = busy;
    SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

void MainWindow::repaintNow() {
    RedrawWindow(m_hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void MainWindow::showProgress(const std::optional<window::ProgressView>& progress) {
    const bool shown = IsWindowVisible(m_progress) != FALSE;
    if (progress) {
        SendMessageW(m_progress, PBM_SETPOS, static_cast<WPARAM>(progress->percent), 0);
        // What screen readers say of the bar.
        SetWindowTextW(m_progress, widen(progress->text).c_str());
    }
    if (progress.has_value() == shown) return;
    // Room for the bar below the other controls while it shows; the corner stays.
    RECT frame{};
    GetWindowRect(m_hwnd, &frame);
    const int room = scale(kProgressRoom, dpiFor(m_hwnd));
    SetWindowPos(m_hwnd, nullptr, 0, 0, frame.right - frame.left,
                 frame.bottom - frame.top + (shown ? -room : room),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(m_progress, progress ? SW_SHOWNA : SW_HIDE);
}

void MainWindow::showFiles(const std::vector<std::string>& names) {
    const bool shown = IsWindowVisible(m_files) != FALSE;
    SendMessageW(m_files, LB_RESETCONTENT, 0, 0);
    for (const std::string& name : names) {
        SendMessageW(m_files, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(name).c_str()));
    }
    if (names.empty() != shown) return;
    // Room for the list below the other controls; the progress bar goes below it.
    const int dpi = dpiFor(m_hwnd);
    const int room = scale(kFilesRoom, dpi) * (shown ? -1 : 1);
    RECT frame{};
    GetWindowRect(m_hwnd, &frame);
    SetWindowPos(m_hwnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + room,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(m_progress, nullptr, scale(kProgressPlace.x, dpi),
                 scale(kProgressPlace.y + (shown ? 0 : kFilesRoom), dpi), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(m_filesLabel, shown ? SW_HIDE : SW_SHOWNA);
    ShowWindow(m_files, shown ? SW_HIDE : SW_SHOWNA);
}

void MainWindow::showAbout() {
    showAboutBox(m_instance, m_hwnd);
}

void MainWindow::closeWindow() {
    if (m_hwnd != nullptr) SendMessageW(m_hwnd, WM_CLOSE, 0, 0);
}

settings::PositionTarget& MainWindow::position() {
    return *m_position;
}

settings::CheckTarget& MainWindow::autoQuitBox() {
    return *m_checkBox;
}

window::Frame MainWindow::frame() const {
    RECT outer{};
    GetWindowRect(m_hwnd, &outer);
    POINT client{0, 0};
    ClientToScreen(m_hwnd, &client);
    return {{outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top},
            static_cast<int>(client.y - outer.top)};
}

std::vector<window::Rect> MainWindow::screens() const {
    std::vector<window::Rect> areas;
    EnumDisplayMonitors(nullptr, nullptr, &addWorkArea, reinterpret_cast<LPARAM>(&areas));
    return areas;
}

void MainWindow::moveFrame(window::Point corner) {
    SetWindowPos(m_hwnd, nullptr, corner.x, corner.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::remindAfter(std::chrono::milliseconds delay) {
    // Setting the timer again restarts it.
    SetTimer(m_hwnd, kReminderTimer, static_cast<UINT>(delay.count()), nullptr);
}

}  // namespace kerfo::win32
