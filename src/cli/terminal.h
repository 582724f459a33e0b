// The terminal and the standard streams: asking a password without showing it, reading
// a line from a stream or a descriptor, drawing on standard error.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kerfo::cli {

// True when standard input (or standard error) is an interactive terminal.
bool stdinIsTerminal();
bool stderrIsTerminal();

// Writes `prompt` to standard error and reads one line from the terminal with echo
// switched off. Echo comes back afterwards, also when the read fails and when an
// interrupt (Ctrl-C), hang-up or termination ends the program at the prompt.
// nullopt at the end of input.
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
