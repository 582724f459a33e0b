// Showing an encrypted file. The output is plain text that must never be half a file
// the user takes for the whole: the first pass checks the whole body, the second emits
// it, and both stream through fixed buffers, so a note of any size needs a few hundred
// KiB of memory and no temporary file.
#include "filejobs/show.h"

#include <new>
#include <vector>

#include "cipher/digest.h"
#include "cipher/keystream.h"
#include "cipher/transform.h"
#include "filejobs/checksum.h"
#include "filejobs/gate.h"
#include "filejobs/jobs.h"
#include "platform/file_system.h"
#include "platform/secret.h"
#include "texts/texts.h"

namespace kerfo::filejobs {
namespace {

using platform::ErrorNumber;
using platform::File;
using platform::FileSystem;
using platform::RuntimeError;

constexpr std::size_t kReadBuffer = 256 * 1024;
// The header's fields: marker 1-8, salt 9-16, digest 17-24.
constexpr std::size_t kSaltOffset = 8;
constexpr std::size_t kDigestOffset = 16;
constexpr std::size_t kFieldLength = 8;

// The encrypted file as the decryption reads it: the first line, then the rest as it
// stands (the transform drops the line ends).
class LineReader {
public:
    explicit LineReader(File& file) : m_file(file), m_buffer(kReadBuffer) {}

    // The first line without its line end (CR, LF or CR LF); no further than `limit`
    // characters, `tooLong` telling whether it went on. Error 62 on an empty file.
    std::string firstLine(std::size_t limit, bool& tooLong) {
        tooLong = false;
        if (!fill()) throw RuntimeError(ErrorNumber::kInputPastEnd);
        std::string line;
        while (fill()) {
            const char ch = m_buffer[m_pos];
            if (ch == '\r' || ch == '\n') break;
            if (line.size() == limit) {
                tooLong = true;
                break;
            }
            line.push_back(ch);
            ++m_pos;
        }
        return line;
    }

    // What follows everything read so far, a buffer at a time; empty at the end.
    std::string_view rest() {
        if (!fill()) return {};
        const std::string_view chunk(m_buffer.data() + m_pos, m_length - m_pos);
        m_pos = m_length;
        return chunk;
    }

private:
    bool fill() {
        if (m_pos < m_length) return true;
        m_pos = 0;
        m_length = m_file.read(m_buffer.data(), m_buffer.size());
        return m_length > 0;
    }

    File& m_file;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_length = 0;
};

// Hash(salt + password bytes), with every copy of the password wiped afterwards.
std::string passwordDigest(const std::string& salt, std::string_view password) {
    std::string bytes = passwordBytes(password);
    platform::SecretString keyText(salt);
    keyText.append(bytes);
    platform::wipe(bytes);
    return cipher::Hash(keyText.str());
}

// One pass over the file: header, password test, then the whole body decrypted into
// `sink` and `sum`. Throws RuntimeError for a damaged file.
template <typename Sink>
ShowStatus readPass(FileSystem& files, const std::string& path, std::string_view password,
                    Checksum& sum, Sink&& sink) {
    const auto in = files.openRead(path);
    LineReader reader(*in);
    bool tooLong = false;
    const std::string header = reader.firstLine(cipher::kMaxKeyLength + 1, tooLong);
    if (header.compare(0, kMarker.size(), kMarker) != 0) return ShowStatus::kNotEncrypted;

    const std::string salt =
        header.size() > kSaltOffset ? header.substr(kSaltOffset, kFieldLength) : std::string();
    const std::string digest = passwordDigest(salt, password);
    if (header.size() < kDigestOffset + kFieldLength ||
        header.compare(kDigestOffset, kFieldLength, digest) != 0) {
        return ShowStatus::kWrongPassword;
    }
    // More than 24 characters pass the password test but key the content differently.
    if (tooLong || header.size() != kDigestOffset + kFieldLength) throw RuntimeError(ErrorNumber::kInvalidCall);

    cipher::DecryptTransform transform(cipher::keyState(header), cipher::BodyCheck::kWrittenForm);
    std::vector<char> plain(cipher::DecryptTransform::maxOutput(kReadBuffer));
    for (std::string_view raw = reader.rest(); !raw.empty(); raw = reader.rest()) {
        const std::size_t n = transform.update(raw, plain.data());
        sum.update(plain.data(), n);
        if (n > 0) sink(plain.data(), n);
    }
    const std::size_t n = transform.finish(plain.data());
    sum.update(plain.data(), n);
    if (n > 0) sink(plain.data(), n);
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
    } catch (const RuntimeError& error) {
        result.status = ShowStatus::kFailed;
        result.error = error;
    } catch (const std::bad_alloc&) {
        result.status = ShowStatus::kFailed;
        result.error = RuntimeError(ErrorNumber::kOutOfMemory);
    } catch (const std::exception&) {
        result.status = ShowStatus::kFailed;
        result.error = RuntimeError(ErrorNumber::kDeviceIo);
    }
    return result;
}

}  // namespace kerfo::filejobs
