// The terminal, for asking a password without showing it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kerfo::cli {

// True when standard input is an interactive terminal.
bool stdinIsTerminal();

// Writes `prompt` to standard error and reads one line from the terminal with echo
// switched off (restored afterwards, also on failure). nullopt at the end of input.
std::optional<std::string> askHidden(std::string_view prompt);

// One line of standard input without its line end (LF, CR LF); nullopt when the input
// ends before any character or line end.
std::optional<std::string> readLine();

}  // namespace kerfo::cli
