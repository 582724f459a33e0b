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

// How far a failed job got, which decides what its message can say about the cause.
enum class JobStep {
    kOpening,   // looking at and opening the source; nothing written
    kReading,   // reading and decoding the source: the file itself may be at fault
    kWriting,   // making, writing, checking and naming the new file; the original untouched
    kRemoving,  // the new file stands under newPath; the original could not be removed
    kRemoved,   // the new file stands and the original is gone, but a program opened the
                // original for writing as it was removed
};

struct JobResult {
    JobStatus status = JobStatus::kFailed;
    std::string newPath;
    std::optional<platform::RuntimeError> error;
    JobStep step = JobStep::kOpening;  // where a failure happened
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
// replaceExtension(userFile, ".kfo"), through a checked temporary file beside it. A
// symbolic link, a file with other names (hard links) or anything but a regular file is
// refused (75), as is any entry already under the new name (58) unless it is the source's
// own entry spelled another way, which is replaced in place. Another process writing to
// the source (55) fails the job with the original kept. Never throws.
JobResult Encrypt(const std::string& userFile, std::string_view password,
                  const JobContext& context = defaultJobContext());

// Decrypts the encrypted file `userFile` with `password` (UTF-8) into
// replaceExtension(userFile, ".txt"), refusing as Encrypt does. A wrong password (characters 17..24
// of the header line differ from the digest) touches nothing; a body with a character
// outside 59..122, an empty body or one of length 4k+1 fails with error 5, a missing header line
// with 62. Never throws.
JobResult Decrypt(const std::string& userFile, std::string_view password,
                  const JobContext& context = defaultJobContext());

}  // namespace kerfo::filejobs
