// Errors as the classic runtime numbers and describes them. The core raises and
// returns these; only the window and the command-line tool turn them into text.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace kerfo::platform {

enum class ErrorNumber : int {
    kNone = 0,
    kInvalidCall = 5,
    kOverflow = 6,
    kOutOfMemory = 7,
    kBadFileName = 52,
    kFileNotFound = 53,
    kFileAlreadyOpen = 55,
    kDeviceIo = 57,
    kFileAlreadyExists = 58,
    kDiskFull = 61,
    kInputPastEnd = 62,
    kPermissionDenied = 70,
    kPathFileAccess = 75,
    kPathNotFound = 76,
};

// The runtime's description of `number` ("Overflow", "Disk full", ...); an unknown
// number gives "Application-defined or object-defined error".
std::string_view describe(ErrorNumber number);

// Maps an errno value onto the runtime's numbering (ENOSPC -> 61, EACCES -> 70, ...);
// anything without a closer match is 57, "Device I/O error".
ErrorNumber fromErrno(int err);

// A runtime error: number plus description. Thrown inside the core where the design
// "raises" an error; the file jobs catch it and hand it back as a result.
class RuntimeError : public std::runtime_error {
public:
    explicit RuntimeError(ErrorNumber number);
    RuntimeError(ErrorNumber number, std::string description);

    ErrorNumber number() const { return m_number; }
    int code() const { return static_cast<int>(m_number); }
    const std::string& description() const { return m_description; }

    // Builds the error for an errno value (see fromErrno).
    static RuntimeError fromErrno(int err);

private:
    ErrorNumber m_number;
    std::string m_description;
};

}  // namespace kerfo::platform
