// Reading an encrypted file without changing anything on disk: the plain bytes go to a
// caller's sink, never into a file, and the encrypted file is only read.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace kerfo::platform {
class FileSystem;
}

namespace kerfo::filejobs {

enum class ShowStatus {
    kDone,           // every plain byte went to the sink
    kWrongPassword,  // nothing went to the sink
    kNotEncrypted,   // the file does not begin with the marker; nothing went to the sink
    kFailed,         // error is set; see outputStarted for whether the sink got anything
};

struct ShowResult {
    ShowStatus status = ShowStatus::kFailed;
    std::optional<platform::RuntimeError> error;
    // False when the failure came before the first byte reached the sink (a damaged body
    // always does); true only when the file changed between the check and the output.
    bool outputStarted = false;
};

struct ShowHooks {
    // Receives the plain bytes in order, a piece at a time; a failure it returns ends the
    // showing with that error.
    std::function<platform::Status(const char* data, std::size_t size)> sink;
    // Called once the body has been checked, right before the first byte goes to the sink.
    std::function<void()> beforeOutput;
    // File access; null means the real file system.
    platform::FileSystem* files = nullptr;
};

// Decrypts `path` with `password` (UTF-8) into hooks.sink. The body's structure is checked
// in a first pass over the whole file (bounded memory), so a damaged body (a character
// outside 59..122, an empty body or one of length 4k+1: error 5), a missing header line
// (62) or one of any length but 24 (5) fails before anything is output; a second pass
// outputs.
// A file that changes between the passes fails with error 57 after partial output.
// Opens the file only for reading; never throws: every failure is in the result.
ShowResult Show(const std::string& path, std::string_view password, const ShowHooks& hooks);

}  // namespace kerfo::filejobs
