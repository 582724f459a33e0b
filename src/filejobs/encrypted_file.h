// Reading an encrypted file, shared by decryption and by showing a file: the header line,
// the password test against it, and the body decoded as it streams past. Internal to the
// file jobs. A file that cannot be read fails the call; a damaged file makes the cipher
// raise its error (5), as the design's routines do, for the job to catch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cipher/keystream.h"
#include "cipher/transform.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace kerfo::filejobs {

using platform::ErrorNumber;
using platform::File;
using platform::Result;
using platform::RuntimeError;
using platform::Status;

inline constexpr std::size_t kReadBuffer = 256 * 1024;
// The header's fields: marker 1-8, salt 9-16, digest 17-24.
inline constexpr std::size_t kSaltOffset = 8;
inline constexpr std::size_t kDigestOffset = 16;
inline constexpr std::size_t kFieldLength = 8;

// The digest of `salt` and the password's bytes; the text they make is wiped afterwards.
std::string passwordDigest(const std::string& salt, std::string_view password);

// Reads until `size` bytes are in or the file ends; gives the count, or the read's failure.
Result<std::size_t> readFull(File& file, char* buffer, std::size_t size);

// Lets the system drop the source's cached pages as the job moves past them. The source
// is removed at the end, and dropping a large file's pages then costs time in which the
// disk sits idle; while the job writes, it waits for the disk anyway.
class CacheRelease {
public:
    explicit CacheRelease(File& file) : m_file(file) {}

    void passed(std::size_t size) {
        m_passed += size;
        if (m_passed - m_released >= kStep) {
            m_file.dropCached(m_released, m_passed - m_released);
            m_released = m_passed;
        }
    }

private:
    static constexpr std::uint64_t kStep = 8u << 20;

    File& m_file;
    std::uint64_t m_passed = 0;
    std::uint64_t m_released = 0;
};

// Reads an encrypted file: its header line, then its body with the line breaks dropped.
class EncryptedReader {
public:
    // `dropPassed`: let the system drop the pages read (a job that reads the file once);
    // a reader that comes back for a second pass keeps them.
    explicit EncryptedReader(File& file, bool dropPassed = true)
        : m_file(file), m_release(file), m_dropPassed(dropPassed), m_buffer(kReadBuffer) {}

    // The first line without its line end (CR LF, CR or LF). Reading at the end of the
    // file fails with 62; a line longer than any key can be is read no further than one
    // character past the longest key, and tooLong() then tells.
    Result<std::string> headerLine() {
        constexpr std::size_t kLimit = cipher::kMaxKeyLength + 1;
        m_tooLong = false;
        auto more = fill();
        if (!more) return more.error();
        if (!*more) return RuntimeError(ErrorNumber::kInputPastEnd);
        std::string line;
        for (;;) {
            more = fill();
            if (!more) return more.error();
            if (!*more) break;
            const char ch = m_buffer[m_pos];
            if (ch == '\r' || ch == '\n') return line;  // the body drops the line end
            if (line.size() == kLimit) {
                m_tooLong = true;
                return line;
            }
            line.push_back(ch);
            ++m_pos;
        }
        return line;
    }
    bool tooLong() const { return m_tooLong; }

    // The next stretch of the file as it stands, line ends included, after everything
    // read so far; empty at the end of the file.
    Result<std::string_view> rest() {
        const auto more = fill();
        if (!more) return more.error();
        if (!*more) return std::string_view();
        const std::string_view chunk(m_buffer.data() + m_pos, m_length - m_pos);
        m_pos = m_length;
        return chunk;
    }

private:
    // Whether bytes are buffered, reading more when none are; false at the end of the file.
    Result<bool> fill() {
        if (m_pos < m_length) return true;
        m_pos = 0;
        m_length = 0;
        const auto got = m_file.read(m_buffer.data(), m_buffer.size());
        if (!got) return got.error();
        m_length = *got;
        if (m_dropPassed) m_release.passed(m_length);
        return m_length > 0;
    }

    File& m_file;
    CacheRelease m_release;
    bool m_dropPassed;
    bool m_tooLong = false;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_length = 0;
};

// Shrinks and XORs the body that follows the header into plain bytes, handing them to
// `sink` (which gives a Status) piece by piece, from the state keyed by the header line.
// Line ends are dropped. Fails with the first failure of a read or of `sink`; a character
// that no encryption writes (outside 59..122), an empty body, or one that leaves one
// character over (length mod 4 = 1) makes the cipher raise error 5.
template <typename Sink>
Status decodeBody(EncryptedReader& reader, cipher::KeyedState keyed, Sink&& sink) {
    cipher::DecryptTransform transform(keyed, cipher::BodyCheck::kWrittenForm);
    std::vector<char> plain(cipher::DecryptTransform::maxOutput(kReadBuffer));
    for (;;) {
        const auto raw = reader.rest();
        if (!raw) return raw.error();
        if (raw->empty()) break;
        const std::size_t n = transform.update(*raw, plain.data());
        if (n > 0) KERFO_TRY(sink(plain.data(), n));
    }
    const std::size_t n = transform.finish(plain.data());
    if (n > 0) KERFO_TRY(sink(plain.data(), n));
    return {};
}

// Whether `password` opens the file whose header line `reader` has just read: the digest
// stands at characters 17..24. A header that passes but is not exactly 24 characters
// raises error 5: no build writes one, and the longer key would decode the body to
// garbage.
bool passwordOpens(const EncryptedReader& reader, const std::string& header, std::string_view password);

}  // namespace kerfo::filejobs
