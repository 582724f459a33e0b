#include "win32/instance.h"

#include <utility>

#include "win32/win_util.h"

namespace kerfo::win32 {

namespace {

constexpr wchar_t kMutexName[] = L"Local\\Tarnwick.Kerfo.Instance";
constexpr wchar_t kReceiverClass[] = L"Tarnwick.Kerfo.HandOver";
// Marks an offer as Kerfo's, so that no other program's data is taken for a path.
constexpr ULONG_PTR kOfferTag = 0x4b465231;
// The longest path an offer carries, in UTF-16 units.
constexpr DWORD kLongestPath = 32767;
constexpr UINT kAnswerTimeoutMs = 10000;

// The answers on the wire; 0 is what a window that does not know the offer returns.
LRESULT toWire(std::optional<window::HandOver> answer) {
    if (!answer) return 0;
    switch (*answer) {
        case window::HandOver::kTaken:
            return 1;
        case window::HandOver::kBusy:
            return 2;
    }
    return 0;
}

std::optional<window::HandOver> fromWire(DWORD_PTR answer) {
    switch (answer) {
        case 1:
            return window::HandOver::kTaken;
        case 2:
            return window::HandOver::kBusy;
        default:
            return std::nullopt;
    }
}

}  // namespace

SessionInstances::SessionInstances() : m_mutex(CreateMutexW(nullptr, FALSE, kMutexName)) {}

SessionInstances::~SessionInstances() {
    if (m_mutex == nullptr) return;
    if (m_held) ReleaseMutex(m_mutex);
    CloseHandle(m_mutex);
}

bool SessionInstances::claim() {
    if (m_mutex == nullptr || m_held) return true;
    // Whoever owns the mutex is the running Kerfo; a process that ended left it abandoned,
    // which makes this one the owner.
    const DWORD waited = WaitForSingleObject(m_mutex, 0);
    m_held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    return m_held;
}

std::optional<window::HandOver> SessionInstances::offer(const std::string& file) {
    HWND receiver = FindWindowExW(HWND_MESSAGE, nullptr, kReceiverClass, nullptr);
    if (receiver == nullptr) return std::nullopt;
    std::wstring path = widen(file);
    if (path.size() > kLongestPath) return window::HandOver::kBusy;
    // The window may come to the front when it takes the file: this start has the right
    // to the foreground, the running window has not.
    DWORD owner = 0;
    GetWindowThreadProcessId(receiver, &owner);
    if (owner != 0) AllowSetForegroundWindow(owner);
    COPYDATASTRUCT data{kOfferTag, static_cast<DWORD>(path.size() * sizeof(wchar_t)), path.data()};
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutW(receiver, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                            SMTO_ABORTIFHUNG | SMTO_BLOCK, kAnswerTimeoutMs, &answer) == 0) {
        return std::nullopt;
    }
    return fromWire(answer);
}

void SessionInstances::pause() {
    Sleep(static_cast<DWORD>(window::kHandOverPause.count()));
}

HandOverReceiver::HandOverReceiver(HINSTANCE instance, Take take)
    : m_take(std::move(take)),
      m_hwnd(createMessageWindow(instance, kReceiverClass, &HandOverReceiver::proc, this)) {}

HandOverReceiver::~HandOverReceiver() {
    if (m_hwnd != nullptr) DestroyWindow(m_hwnd);
}

LRESULT CALLBACK HandOverReceiver::proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA) return DefWindowProcW(hwnd, message, wParam, lParam);
    auto* self = reinterpret_cast<HandOverReceiver*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (self == nullptr || data == nullptr || data->dwData != kOfferTag ||
        data->lpData == nullptr || data->cbData % sizeof(wchar_t) != 0 ||
        data->cbData > kLongestPath * sizeof(wchar_t)) {
        return 0;
    }
    const std::wstring path(static_cast<const wchar_t*>(data->lpData),
                            data->cbData / sizeof(wchar_t));
    return toWire(self->m_take(narrow(path)));
}

}  // namespace kerfo::win32
