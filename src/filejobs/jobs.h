// The encrypt and decrypt jobs: replace the target file by its encrypted ".kfo" file or
// its plain ".txt" file, without ever losing the original.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/message.h"

namespace kerfo::platform {
class FileSystem;
}

namespace kerfo::filejobs {

enum class JobStatus {
    kDone,           // the new file stands complete under newPath; the old one is gone
    kWrongPassword,  // decrypt only: nothing was touched
    kFailed,         // error is set; the original is untouched and nothing half-written stands
};

struct JobResult {
    JobStatus status = JobStatus::kFailed;
    std::string newPath;
    std::optional<platform::RuntimeError> error;
};

// Where a job gets its time and file access; tests pass fakes.
struct JobContext {
    // Text that changes with date and time, for the salt ("date" + seconds since midnight).
    std::function<std::string()> saltSource;
    // File access; null means the real file system.
    platform::FileSystem* files = nullptr;
};

// The context of a real run: the local clock and the real file system.
JobContext defaultJobContext();

// The password's bytes: Windows-1252 when every character of the UTF-8 text has a code
// there (so files of earlier builds open), otherwise the UTF-8 bytes unchanged.
std::string passwordBytes(std::string_view utf8Password);

// Encrypts the plain file `userFile` under `password` (UTF-8) into
// replaceExtension(userFile, ".kfo"). Never throws.
JobResult Encrypt(const std::string& userFile, std::string_view password,
                  const JobContext& context = defaultJobContext());

// Decrypts the encrypted file `userFile` with `password` (UTF-8) into
// replaceExtension(userFile, ".txt"). Never throws.
JobResult Decrypt(const std::string& userFile, std::string_view password,
                  const JobContext& context = defaultJobContext());

// The boxes for a job's outcome, with the exact texts, icons and titles:
// the wrong-password warning, decryption's error report ("An error #..."), and the
// unhandled-error box that ends the program after a failed encryption ("Run-time error '...").
platform::Message wrongPasswordMessage();
platform::Message decryptErrorReport(const platform::RuntimeError& error);
platform::Message encryptFailureMessage(const platform::RuntimeError& error);

}  // namespace kerfo::filejobs
