// Errors as the classic runtime numbers and describes them, and how the core fails.
//
// How the core fails, everywhere below the window and kerfo-cli: a failure is a
// RuntimeError carrying the runtime's number.
// - A function that can fail returns a Result<T> (the value or the error) or a Status
//   (success or the error): the file layer, the background sync and the job steps above
//   them. KERFO_TRY hands a failure on to the caller.
// - The routines kept from the original design raise (throw) their error: the cipher, its
//   transforms, digest and keystream (5 and 6 on a call outside their contract or on
//   damaged input), replaceExtension, the registry's GetKeyValue (5), and the helpers that
//   decode through the cipher. Each entry point catches what they raise in one place and
//   hands it back in its result: the jobs and `show` (JobResult, ShowResult), the gate
//   (its refusal, or a mode the job then reports on), the preferences (which keep what
//   they had).
// - The settings store answers in the registry's result codes, because on Windows it is
//   the registry; elsewhere its file calls (config_files.h) return Status or Result like
//   any other, and the store turns a failure into its code at its edge, in one place.
// - An empty std::optional answers "nothing is there" (no file under that name, no value),
//   never "it went wrong".
// Nothing returns errno values for a failure. Only the window and kerfo-cli turn errors
// into text.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

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

// A runtime error: number plus description. Carried by a failed Result or Status, or
// raised by the design's routines (see the rule above).
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

// Raises `error` (throws a copy): where a failure has no result to go into.
[[noreturn]] void raiseError(const RuntimeError& error);

// The value of a call that can fail, or the RuntimeError it failed with. value(), * and
// -> on a failed result raise the error, as std::expected raises its own: for a caller
// that has no result of its own to put it in (a test, a fuzz target).
template <typename T>
class [[nodiscard]] Result {
public:
    // Anything T is made from, but never an error or another result.
    template <typename U = T,
              typename = std::enable_if_t<std::is_constructible_v<T, U&&> &&
                                          !std::is_same_v<std::remove_cvref_t<U>, RuntimeError> &&
                                          !std::is_same_v<std::remove_cvref_t<U>, Result>>>
    Result(U&& value) : m_state(std::in_place_index<0>, std::forward<U>(value)) {}
    Result(RuntimeError error) : m_state(std::in_place_index<1>, std::move(error)) {}

    explicit operator bool() const noexcept { return m_state.index() == 0; }

    T& value() & {
        checked();
        return std::get<0>(m_state);
    }
    const T& value() const& {
        checked();
        return std::get<0>(m_state);
    }
    T&& value() && {
        checked();
        return std::get<0>(std::move(m_state));
    }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    // The failure; only for a failed result.
    const RuntimeError& error() const { return std::get<1>(m_state); }

private:
    void checked() const {
        if (m_state.index() != 0) raiseError(std::get<1>(m_state));
    }

    std::variant<T, RuntimeError> m_state;
};

// The outcome of a call that can fail and has no value to give: success (`{}`), or the
// RuntimeError it failed with.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(RuntimeError error) : m_error(std::move(error)) {}

    explicit operator bool() const noexcept { return !m_error; }
    // The failure; only for a failed status.
    const RuntimeError& error() const { return *m_error; }

private:
    std::optional<RuntimeError> m_error;
};

}  // namespace kerfo::platform

// Returns the failure of `expr` (a Status or a Result) from the enclosing function, which
// returns a Status or a Result itself; on success goes on.
#define KERFO_TRY(expr)                              \
    do {                                             \
        if (auto kerfoTried = (expr); !kerfoTried) { \
            return kerfoTried.error();               \
        }                                            \
    } while (false)
