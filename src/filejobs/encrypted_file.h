// Reading an encrypted file, shared by decryption and by showing a file: the header line,
// the password test against it, and the body decoded as it streams past. Internal to the
// file jobs.
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
using platform::RuntimeError;

inline constexpr std::size_t kReadBuffer = 256 * 1024;
// The header's fields: marker 1-8, salt 9-16, digest 17-24.
inline constexpr std::size_t kSaltOffset = 8;
inline constexpr std::size_t kDigestOffset = 16;
inline constexpr std::size_t kFieldLength = 8;

// The digest of `salt` and the password's bytes; the text they make is wiped afterwards.
std::string passwordDigest(const std::string& salt, std::string_view password);

// Reads until `size` bytes are in or the file ends; returns the count.
std::size_t readFull(File& file, char* buffer, std::size_t size);

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
    // file is error 62; a line longer than any key can be is read no further than one
    // character past the longest key, and tooLong() then tells.
    std::string headerLine() {
        constexpr std::size_t kLimit = cipher::kMaxKeyLength + 1;
        m_tooLong = false;
        if (!fill()) throw RuntimeError(ErrorNumber::kInputPastEnd);
        std::string line;
        while (fill()) {
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
// `sink` piece by piece, from the state keyed by the header line. Line ends are dropped;
// a character that no encryption writes (outside 59..122), an empty body, or one that
// leaves one character over (length mod 4 = 1) is error 5.
template <typename Sink>
void decodeBody(EncryptedReader& reader, cipher::KeyedState keyed, Sink&& sink) {
    cipher::DecryptTransform transform(keyed, cipher::BodyCheck::kWrittenForm);
    std::vector<char> plain(cipher::DecryptTransform::maxOutput(kReadBuffer));
    for (std::string_view raw = reader.rest(); !raw.empty(); raw = reader.rest()) {
        const std::size_t n = transform.update(raw, plain.data());
        if (n > 0) sink(plain.data(), n);
    }
    const std::size_t n = transform.finish(plain.data());
    if (n > 0) sink(plain.data(), n);
}

// Whether `password` opens the file whose header line `reader` has just read: the digest
// stands at characters 17..24. A header that passes but is not exactly 24 characters is
// error 5: no build writes one, and the longer key would decode the body to garbage.
bool passwordOpens(const EncryptedReader& reader, const std::string& header, std::string_view password);

}  // namespace kerfo::filejobs
