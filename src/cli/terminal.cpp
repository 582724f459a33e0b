#include "cli/terminal.h"

#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace kerfo::cli {
namespace {

// Switches terminal echo off for its lifetime.
class EchoOff {
public:
    EchoOff() {
#ifdef _WIN32
        m_handle = GetStdHandle(STD_INPUT_HANDLE);
        m_active = GetConsoleMode(m_handle, &m_mode) &&
                   SetConsoleMode(m_handle, m_mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
#else
        m_active = ::tcgetattr(STDIN_FILENO, &m_saved) == 0;
        if (m_active) {
            termios quiet = m_saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            quiet.c_lflag |= ECHONL;
            m_active = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        }
#endif
    }
    ~EchoOff() {
        if (!m_active) return;
#ifdef _WIN32
        SetConsoleMode(m_handle, m_mode);
        std::fputs("\n", stderr);  // the console does not echo the Enter either
#else
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_saved);
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
    termios m_saved{};
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

std::optional<std::string> readLine() {
    std::string line;
    if (!std::getline(std::cin, line)) {
        if (line.empty()) return std::nullopt;
    }
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

}  // namespace kerfo::cli
