// The terminal and the standard streams: asking a password without showing it, reading
// a line from a stream or a descriptor, drawing on standard error.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kerfo::cli {

// The program's arguments in UTF-8: on Windows taken from the wide command line, so that
// a name outside the code page arrives whole; elsewhere argv as it is.
std::vector<std::string> utf8Arguments(int argc, const char* const* argv);

// For its lifetime, std::cout and std::cerr write to a console as UTF-16 (WriteConsoleW),
// so that names show as they are whatever the console's code page; redirected, they stay
// UTF-8 bytes. Does nothing but on Windows.
class ConsoleText {
public:
    ConsoleText();
    ~ConsoleText();
    ConsoleText(const ConsoleText&) = delete;
    ConsoleText& operator=(const ConsoleText&) = delete;

private:
    struct Streams;
    std::unique_ptr<Streams> m_streams;
};

// Opens the file `path` (UTF-8) for reading as a descriptor; -1 with errno set when it
// cannot be opened.
int openForReading(const std::string& path);

// True when standard input (or standard error) is an interactive terminal (on Windows a
// console, not the NUL device).
bool stdinIsTerminal();
bool stderrIsTerminal();

// Writes `prompt` to standard error and reads one line from the terminal with echo
// switched off. Echo comes back afterwards, also when the read fails and when an
// interrupt (Ctrl-C), hang-up or termination ends the program at the prompt. On a Windows
// console the line is read as UTF-16 (ReadConsoleW) and handed on as UTF-8, as the window
// hands on what is typed into it. nullopt at the end of input.
std::optional<std::string> askHidden(std::string_view prompt);

// One line of standard input without its line end (LF, CR LF); nullopt when the input
// ends before any character or line end.
std::optional<std::string> readLine();

// The same from descriptor `fd`, read a byte at a time so that nothing past the line is
// taken from a stream the caller may share. Sets `error` (an errno value) and returns
// nullopt when the descriptor cannot be read.
std::optional<std::string> readLineFromDescriptor(int fd, int& error);

// Puts standard output into binary mode where the platform has a text mode, so that
// bytes go out exactly as they are.
void binaryStdout();

}  // namespace kerfo::cli
