// The encrypt and decrypt jobs: replace the target file by its encrypted ".kfo" file or
// its plain ".txt" file, without ever losing the original.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "texts/message.h"

namespace kerfo::platform {
class FileSystem;
}

namespace kerfo::filejobs {

enum class JobStatus {
    kDone,           // the new file stands complete under newPath; the old one is gone
    kWrongPassword,  // decrypt only: nothing was touched
    kFailed,         // error is set; the original is untouched and nothing half-written stands
                     // (newPath is set only when the new file stands complete but the old
                     // one could not be removed afterwards)
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
// replaceExtension(userFile, ".kfo"), through a checked temporary file beside it; a
// symbolic link is followed and the file it leads to is replaced. Never throws.
JobResult Encrypt(const std::string& userFile, std::string_view password,
                  const JobContext& context = defaultJobContext());

// Decrypts the encrypted file `userFile` with `password` (UTF-8) into
// replaceExtension(userFile, ".txt"). A wrong password (characters 17..24 of the header
// line differ from the digest) touches nothing; a body with a character outside 59..122,
// an empty body or one of length 4k+1 fails with error 5, a missing header line with 62.
// Never throws.
JobResult Decrypt(const std::string& userFile, std::string_view password,
                  const JobContext& context = defaultJobContext());

}  // namespace kerfo::filejobs
