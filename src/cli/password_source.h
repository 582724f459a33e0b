// Where kerfo-cli takes the password from: the terminal (asked without echo), the first
// line of standard input, of a file descriptor or of a private file. Scripts use the last
// three, so that a password never has to stand on a command line.
#pragma once

#include <optional>
#include <string>

namespace kerfo::cli {

struct PasswordSource {
    bool fromStdin = false;
    std::optional<int> descriptor;    // --password-fd
    std::optional<std::string> file;  // --password-file
    bool allowEmpty = false;
};

// The password, or the reason there is none.
struct PasswordOutcome {
    std::optional<std::string> password;
    std::string problem;  // the line for standard error when there is no password
    int exitCode = 0;     // likewise: 1 for two typed passwords that differ, otherwise 2
};

// Reads the password from `source`; `confirm` asks twice on a terminal (encryption). A
// password file that its group or others may read or write is refused (on POSIX systems;
// Windows keeps access in lists this does not read), as is an empty password unless
// source.allowEmpty is set. Never throws for a missing or unreadable source.
PasswordOutcome obtainPassword(const PasswordSource& source, bool confirm);

}  // namespace kerfo::cli
