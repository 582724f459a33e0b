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

// One pass over the file: header, password test, then the whole body decrypted into
// `sink` and `sum`. Throws RuntimeError for a damaged file.
template <typename Sink>
ShowStatus readPass(FileSystem& files, const std::string& path, std::string_view password,
                    Checksum& sum, Sink&& sink) {
    const auto in = files.openRead(path);
    // The second pass reads the same pages again: keep them cached.
    EncryptedReader reader(*in, false);
    const std::string header = reader.headerLine();
    if (header.compare(0, kMarker.size(), kMarker) != 0) return ShowStatus::kNotEncrypted;
    if (!passwordOpens(reader, header, password)) return ShowStatus::kWrongPassword;

    decodeBody(reader, cipher::keyState(header), [&](const char* data, std::size_t size) {
        sum.update(data, size);
        sink(data, size);
    });
    return ShowStatus::kDone;
}

}  // namespace

ShowResult Show(const std::string& path, std::string_view password, const ShowHooks& hooks) {
    ShowResult result;
    try {
        FileSystem& files = hooks.files != nullptr ? *hooks.files : platform::realFileSystem();
        const auto info = files.stat(path);
        if (!info) throw RuntimeError(ErrorNumber::kFileNotFound);
        if (info->type != platform::FileType::kRegular) {
            throw RuntimeError(ErrorNumber::kPathFileAccess);
        }
        if (info->size == 0) {
            result.status = ShowStatus::kNotEncrypted;
            return result;
        }

        Checksum checked;
        result.status = readPass(files, path, password, checked, [](const char*, std::size_t) {});
        if (result.status != ShowStatus::kDone) return result;

        if (hooks.beforeOutput) hooks.beforeOutput();
        result.outputStarted = true;
        Checksum shown;
        const auto again = readPass(files, path, password, shown, [&](const char* data, std::size_t size) {
            if (hooks.sink) hooks.sink(data, size);
        });
        // What went out must be what was checked; anything else is a file changed under us.
        if (again != ShowStatus::kDone || shown != checked) {
            throw RuntimeError(ErrorNumber::kDeviceIo, std::string(texts::kShowChanged));
        }
        return result;
    } catch (...) {
        result.status = ShowStatus::kFailed;
        result.error = platform::handledError();
    }
    return result;
}

}  // namespace kerfo::filejobs
