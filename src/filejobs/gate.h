// The target-file gate: what the program may do with the file it was started on.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "texts/message.h"

namespace kerfo::platform {
class FileSystem;
}

namespace kerfo::filejobs {

enum class Mode { kEncrypt, kDecrypt };

// The first eight bytes of every encrypted file.
inline constexpr std::string_view kMarker = "[Kerfod]";

struct GateResult {
    // Set when the file must not be processed: show it, then end the program.
    std::optional<texts::Message> refusal;
    // Otherwise: the mode (by the first eight bytes only) and the window's caption
    // ("Kerfo / " and the file name).
    Mode mode = Mode::kEncrypt;
    std::string caption;
};

// Decides what to do with `userFile`, the whole command-line tail: refuses an empty path,
// on Windows a name it does not take as written (a device's name, a part ending in a dot
// or a space), a missing, empty or unmeasurable file, a symbolic link (naming its target),
// a file with the read-only, hidden or system attribute, anything that is not a regular
// file, a file with other names (hard links), and anything already standing under the
// output name, each with its message; otherwise returns the mode and caption. First
// removes what killed jobs left in the file's folder (FileSystem::removeStaleTemps). Never
// throws; never opens anything but a regular file.
GateResult checkAll(const std::string& userFile);
// The same on the file layer `files` (tests pass fakes).
GateResult checkAll(const std::string& userFile, platform::FileSystem& files);

}  // namespace kerfo::filejobs
