#include "cli/terminal.h"

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <iterator>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <csignal>
#include <termios.h>
#include <unistd.h>
#endif

namespace kerfo::cli {
namespace {

#ifdef _WIN32
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

}  // namespace

bool stdinIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stdin)) != 0;
#else
    return ::isatty(STDIN_FILENO) != 0;
#endif
}

bool stderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
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
    return readLine();
}

void binaryStdout() {
#ifdef _WIN32
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

}  // namespace kerfo::cli
