#include "cli/terminal.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <streambuf>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <shellapi.h>
#else
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <csignal>
#endif

namespace kerfo::cli {
namespace {

#ifdef _WIN32
std::wstring widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string narrow(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n,
                            nullptr, nullptr);
    }
    return utf8;
}

bool isConsole(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

// UTF-8 text written to a console as UTF-16. A sequence cut between two writes waits for
// its end.
class ConsoleBuffer final : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console) : m_console(console) {}
    ~ConsoleBuffer() override { sync(); }
    ConsoleBuffer(const ConsoleBuffer&) = delete;
    ConsoleBuffer& operator=(const ConsoleBuffer&) = delete;

protected:
    int_type overflow(int_type ch) override {
        if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
        m_pending.push_back(traits_type::to_char_type(ch));
        if (ch == '\n' && sync() != 0) return traits_type::eof();
        return ch;
    }

    std::streamsize xsputn(const char* text, std::streamsize size) override {
        m_pending.append(text, static_cast<std::size_t>(size));
        if (m_pending.find('\n') != std::string::npos && sync() != 0) return 0;
        return size;
    }

    int sync() override {
        const std::size_t whole = completeLength(m_pending);
        const std::wstring wide = widen(std::string_view(m_pending).substr(0, whole));
        m_pending.erase(0, whole);
        for (std::size_t at = 0; at < wide.size();) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - at, 8192));
            if (!WriteConsoleW(m_console, wide.data() + at, chunk, &written, nullptr) ||
                written == 0)
                return -1;
            at += written;
        }
        return 0;
    }

private:
    // How much of `text` ends with a whole UTF-8 sequence.
    static std::size_t completeLength(const std::string& text) {
        std::size_t lead = text.size();
        for (int back = 0; back < 3 && lead > 0; ++back) {
            if ((static_cast<unsigned char>(text[lead - 1]) & 0xC0) != 0x80) break;
            --lead;
        }
        if (lead == 0) return text.size();
        const auto first = static_cast<unsigned char>(text[lead - 1]);
        const std::size_t needed = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
        return text.size() - (lead - 1) < needed ? lead - 1 : text.size();
    }

    HANDLE m_console;
    std::string m_pending;
};

// The console mode to put back if Ctrl-C or Ctrl-Break ends the program at the prompt.
HANDLE g_console = nullptr;
DWORD g_savedMode = 0;

BOOL WINAPI restoreConsole(DWORD) {
    SetConsoleMode(g_console, g_savedMode);
    return FALSE;  // and let the default handler end the program
}
#else
// What a signal handler needs to put the terminal back; set before the handlers go in.
termios g_saved{};
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Restores echo, then lets the signal do what it would have done: the handler was
// installed with SA_RESETHAND, and the raised signal is delivered once it returns.
void restoreTerminal(int signal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved);
    if (::write(STDERR_FILENO, "\n", 1) < 0) {
        // Nothing to be done about a lost line break while the program ends.
    }
    ::raise(signal);
}
#endif

// Switches terminal echo off for its lifetime, and also puts it back if a signal ends the
// program meanwhile: a shell left without echo looks broken to the user.
class EchoOff {
public:
    EchoOff() {
#ifdef _WIN32
        m_handle = GetStdHandle(STD_INPUT_HANDLE);
        m_active = GetConsoleMode(m_handle, &m_mode) &&
                   SetConsoleMode(m_handle, m_mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
        if (m_active) {
            g_console = m_handle;
            g_savedMode = m_mode;
            SetConsoleCtrlHandler(restoreConsole, TRUE);
        }
#else
        m_active = ::tcgetattr(STDIN_FILENO, &m_saved) == 0;
        if (m_active) {
            g_saved = m_saved;
            struct sigaction action {};
            action.sa_handler = restoreTerminal;
            action.sa_flags = SA_RESETHAND;
            sigemptyset(&action.sa_mask);
            for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
                // A signal the caller chose to ignore (nohup) stays ignored.
                ::sigaction(kEndingSignals[i], nullptr, &m_previous[i]);
                if (m_previous[i].sa_handler != SIG_IGN) ::sigaction(kEndingSignals[i], &action, nullptr);
            }
            termios quiet = m_saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            quiet.c_lflag |= ECHONL;
            m_active = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
            if (!m_active) restoreHandlers();
        }
#endif
    }
    ~EchoOff() {
        if (!m_active) return;
#ifdef _WIN32
        SetConsoleMode(m_handle, m_mode);
        SetConsoleCtrlHandler(restoreConsole, FALSE);
        std::fputs("\n", stderr);  // the console does not echo the Enter either
#else
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_saved);
        restoreHandlers();
#endif
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    bool m_active = false;
#ifdef _WIN32
    HANDLE m_handle = nullptr;
    DWORD m_mode = 0;
#else
    void restoreHandlers() {
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
            ::sigaction(kEndingSignals[i], &m_previous[i], nullptr);
        }
    }

    termios m_saved{};
    struct sigaction m_previous[std::size(kEndingSignals)] {};
#endif
};

#ifdef _WIN32
// One line typed at the console, as UTF-16 read back in UTF-8, without its line end;
// nullopt when the console gives nothing (Ctrl-Z, a closed console).
std::optional<std::string> readConsoleLine() {
    const HANDLE console = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring line;
    wchar_t buffer[256];
    for (;;) {
        DWORD got = 0;
        if (!ReadConsoleW(console, buffer, static_cast<DWORD>(std::size(buffer)), &got, nullptr) ||
            got == 0) {
            SecureZeroMemory(buffer, sizeof buffer);
            if (line.empty()) return std::nullopt;
            break;
        }
        line.append(buffer, got);
        SecureZeroMemory(buffer, sizeof buffer);
        if (line.back() == L'\n') break;
    }
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
    // Ctrl-Z at the start of a line is the console's end of input.
    if (!line.empty() && line.front() == L'\x1a') {
        SecureZeroMemory(line.data(), line.size() * sizeof(wchar_t));
        return std::nullopt;
    }
    std::string utf8 = narrow(line);
    SecureZeroMemory(line.data(), line.size() * sizeof(wchar_t));
    return utf8;
}
#endif

}  // namespace

std::vector<std::string> utf8Arguments(int argc, const char* const* argv) {
#ifdef _WIN32
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> arguments;
        for (int i = 0; i < count; ++i) arguments.push_back(narrow(wide[i]));
        LocalFree(wide);
        return arguments;
    }
#endif
    return std::vector<std::string>(argv, argv + argc);
}

#ifdef _WIN32
struct ConsoleText::Streams {
    std::unique_ptr<ConsoleBuffer> out;
    std::unique_ptr<ConsoleBuffer> err;
    std::streambuf* previousOut = nullptr;
    std::streambuf* previousErr = nullptr;
};

ConsoleText::ConsoleText() : m_streams(std::make_unique<Streams>()) {
    if (isConsole(STD_OUTPUT_HANDLE)) {
        std::cout.flush();
        m_streams->out = std::make_unique<ConsoleBuffer>(GetStdHandle(STD_OUTPUT_HANDLE));
        m_streams->previousOut = std::cout.rdbuf(m_streams->out.get());
    }
    if (isConsole(STD_ERROR_HANDLE)) {
        m_streams->err = std::make_unique<ConsoleBuffer>(GetStdHandle(STD_ERROR_HANDLE));
        m_streams->previousErr = std::cerr.rdbuf(m_streams->err.get());
    }
}

ConsoleText::~ConsoleText() {
    if (m_streams->out) {
        std::cout.flush();
        std::cout.rdbuf(m_streams->previousOut);
    }
    if (m_streams->err) {
        std::cerr.flush();
        std::cerr.rdbuf(m_streams->previousErr);
    }
}
#else
struct ConsoleText::Streams {};
ConsoleText::ConsoleText() = default;
ConsoleText::~ConsoleText() = default;
#endif

int openForReading(const std::string& path) {
#ifdef _WIN32
    return _wopen(widen(path).c_str(), _O_RDONLY | _O_BINARY);
#else
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
#endif
}

bool stdinIsTerminal() {
#ifdef _WIN32
    return isConsole(STD_INPUT_HANDLE);
#else
    return ::isatty(STDIN_FILENO) != 0;
#endif
}

bool stderrIsTerminal() {
#ifdef _WIN32
    return isConsole(STD_ERROR_HANDLE);
#else
    return ::isatty(STDERR_FILENO) != 0;
#endif
}

std::optional<std::string> readLine() {
    std::string line;
    if (!std::getline(std::cin, line)) {
        if (line.empty()) return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::optional<std::string> readLineFromDescriptor(int fd, int& error) {
    error = 0;
    std::string line;
    bool any = false;
    for (;;) {
        char ch = 0;
#ifdef _WIN32
        const int n = _read(fd, &ch, 1);
#else
        const ssize_t n = ::read(fd, &ch, 1);
#endif
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return std::nullopt;
        }
        if (n == 0) break;
        any = true;
        if (ch == '\n') break;
        line.push_back(ch);
    }
    if (!any) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::optional<std::string> askHidden(std::string_view prompt) {
    // Echo goes off before the prompt shows, so nothing typed after it can be echoed
    // or discarded by the switch.
    const EchoOff quiet;
    std::fwrite(prompt.data(), 1, prompt.size(), stderr);
    std::fputc(' ', stderr);
    std::fflush(stderr);
#ifdef _WIN32
    if (stdinIsTerminal()) return readConsoleLine();
#endif
    return readLine();
}

void binaryStdout() {
#ifdef _WIN32
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

}  // namespace kerfo::cli
