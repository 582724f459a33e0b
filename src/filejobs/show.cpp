// Showing an encrypted file. The output is plain text that must never be half a file
// the user takes for the whole: the first pass checks the whole body, the second emits
// it, and both stream through fixed buffers, so a note of any size needs a few hundred
// KiB of memory and no temporary file.
#include "filejobs/show.h"

#include <vector>

#include "cipher/keystream.h"
#include "cipher/transform.h"
#include "filejobs/checksum.h"
#include "filejobs/encrypted_file.h"
#include "filejobs/gate.h"
#include "filejobs/jobs.h"
#include "platform/file_system.h"
#include "texts/texts.h"

namespace kerfo::filejobs {
namespace {

using platform::FileSystem;
using platform::Result;

// One pass over the file: header, password test, then the whole body decrypted into
// `sink` and `sum`. Fails when the file cannot be read; the cipher raises its error for
// a damaged file.
template <typename Sink>
Result<ShowStatus> readPass(FileSystem& files, const std::string& path, std::string_view password,
                            Checksum& sum, Sink&& sink) {
    const auto in = files.openRead(path);
    if (!in) return in.error();
    // The second pass reads the same pages again: keep them cached.
    EncryptedReader reader(**in, false);
    const auto header = reader.headerLine();
    if (!header) return header.error();
    if (header->compare(0, kMarker.size(), kMarker) != 0) return ShowStatus::kNotEncrypted;
    if (!passwordOpens(reader, *header, password)) return ShowStatus::kWrongPassword;

    KERFO_TRY(
        decodeBody(reader, cipher::keyState(*header), [&](const char* data, std::size_t size) {
            sum.update(data, size);
            return sink(data, size);
        }));
    return ShowStatus::kDone;
}

// Both passes; the file's failure, or what the design's routines raise, is the caller's.
Result<ShowStatus> showChecked(const std::string& path, std::string_view password,
                               const ShowHooks& hooks, bool& outputStarted) {
    FileSystem& files = hooks.files != nullptr ? *hooks.files : platform::realFileSystem();
    const auto info = files.stat(path);
    if (!info) return RuntimeError(ErrorNumber::kFileNotFound);
    if (info->type != platform::FileType::kRegular)
        return RuntimeError(ErrorNumber::kPathFileAccess);
    if (info->size == 0) return ShowStatus::kNotEncrypted;

    Checksum checked;
    auto first =
        readPass(files, path, password, checked, [](const char*, std::size_t) { return Status(); });
    if (!first || *first != ShowStatus::kDone) return first;

    if (hooks.beforeOutput) hooks.beforeOutput();
    outputStarted = true;
    Checksum shown;
    const auto again =
        readPass(files, path, password, shown, [&](const char* data, std::size_t size) {
            return hooks.sink ? hooks.sink(data, size) : Status();
        });
    if (!again) return again.error();
    // What went out must be what was checked; anything else is a file changed under us.
    if (*again != ShowStatus::kDone || shown != checked) {
        return RuntimeError(ErrorNumber::kDeviceIo, std::string(texts::kShowChanged));
    }
    return ShowStatus::kDone;
}

}  // namespace

ShowResult Show(const std::string& path, std::string_view password, const ShowHooks& hooks) {
    ShowResult result;
    try {
        const auto shown = showChecked(path, password, hooks, result.outputStarted);
        if (shown) {
            result.status = *shown;
            return result;
        }
        result.error = shown.error();
    } catch (...) {
        result.error = platform::handledError();
    }
    result.status = ShowStatus::kFailed;
    return result;
}

}  // namespace kerfo::filejobs
