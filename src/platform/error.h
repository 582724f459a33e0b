// Errors as the classic runtime numbers and describes them.
//
// How the core fails, everywhere below the window and kerfo-cli: a failure is a
// RuntimeError carrying the runtime's number. Inside the core it is raised (thrown), as
// the routines of the original design raise theirs, so that a job's steps read as the
// steps they are; a streaming job has a few dozen calls that can fail. Where the core
// meets its callers, each entry point catches it in one place and hands it back in its
// result: the jobs and `show` (JobResult, ShowResult, through `guarded`), the gate (its
// refusal, or a mode the job then reports on), the preferences (which keep what they
// had), and the settings store, which answers in the registry's result codes because on
// Windows it is the registry. Nothing below the entry points returns errno values, result
// codes or empty optionals for a failure: an empty std::optional answers "nothing is
// there", never "it went wrong". Only the window and kerfo-cli turn errors into text.
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

// The failure being handled, called in a catch block: a RuntimeError as it is, a failed
// allocation as 7 ("Out of memory"), anything else as 57 ("Device I/O error"). The one
// conversion the entry points use to put a raised failure into their result.
RuntimeError handledError() noexcept;

}  // namespace kerfo::platform
