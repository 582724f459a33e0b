// The one reference decoder of the tests: the generator, the keying, the shrink and the XOR
// written out here from the format's definition, apart from everything in src/, so that a
// fault in the product's cipher or its streaming code cannot hide itself by reading its own
// output back. It reads a file a piece at a time, so a file of any size is checked in a few
// MiB of memory.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kerfo::test {

namespace reference {

// The classic runtime's generator: seed' = seed * kMul + kInc (mod 2^24); every value is
// seed / 2^24, and every keystream byte the seed's top eight bits.
inline constexpr std::uint32_t kMul = 0x43FD43FD;
inline constexpr std::uint32_t kInc = 0xC39EC3;
inline constexpr std::uint32_t kMask = 0xFFFFFF;

constexpr std::uint32_t step(std::uint32_t seed) {
    return (seed * kMul + kInc) & kMask;
}
inline float value(std::uint32_t seed) {
    return static_cast<float>(seed) / 16777216.0f;
}

// A draw with argument x: a negative x first resets the seed from x's bits; any x but
// zero then advances it.
inline std::uint32_t draw(std::uint32_t seed, float x) {
    if (x < 0.0f) {
        const auto bits = std::bit_cast<std::uint32_t>(x);
        seed = (bits + (bits >> 24)) & kMask;
    }
    return x != 0.0f ? step(seed) : seed;
}

// Reseeding from y replaces the seed's middle 16 bits with the two halves of the high
// word of y as a double, XORed.
inline std::uint32_t randomize(std::uint32_t seed, float y) {
    const auto high =
        static_cast<std::int32_t>(std::bit_cast<std::uint64_t>(static_cast<double>(y)) >> 32);
    const auto mixed = static_cast<std::uint32_t>((high & 0xFFFF) ^ (high >> 16));
    return ((seed & 0xFF0000FFu) | (mixed << 8)) & kMask;
}

// The seed after keying with `key`, whatever the generator held before.
inline std::uint32_t keyedSeed(std::string_view key) {
    std::uint32_t seed = draw(0, -1.0f);
    seed = randomize(seed, value(seed));
    for (const unsigned char c : key) {
        seed = step(seed);
        seed = draw(seed, -(value(seed) * static_cast<float>(c)));
        seed = randomize(seed, value(seed));
    }
    return seed;
}

// XORs data[0..size) with the keystream that follows `seed`, and moves `seed` on by size
// steps. Sixteen steps make one affine step again, so sixteen positions advance side by side
// instead of each waiting for the one before.
inline void xorStream(std::uint32_t& seed, unsigned char* data, std::size_t size) {
    constexpr std::size_t kLanes = 16;
    std::uint32_t mul = 1, inc = 0;  // kLanes steps at once
    for (std::size_t i = 0; i < kLanes; ++i) {
        inc = inc * kMul + kInc;
        mul *= kMul;
    }
    std::size_t at = 0;
    if (size >= kLanes) {
        std::uint32_t lane[kLanes];
        for (std::size_t i = 0; i < kLanes; ++i) lane[i] = seed = step(seed);
        for (;;) {
            for (std::size_t i = 0; i < kLanes; ++i)
                data[at + i] ^= static_cast<unsigned char>(lane[i] >> 16);
            at += kLanes;
            seed = lane[kLanes - 1] & kMask;
            if (at + kLanes > size) break;
            for (std::size_t i = 0; i < kLanes; ++i) lane[i] = lane[i] * mul + inc;
        }
    }
    for (; at < size; ++at) {
        seed = step(seed);
        data[at] ^= static_cast<unsigned char>(seed >> 16);
    }
}

}  // namespace reference

// Reads an encrypted file front to back in pieces of any size: line 1 is the header, the
// lines after it joined make the body; key with the header, shrink, XOR. Refuses for good
// anything the encryption never writes: a header that is not "[Kerfod]" and 16 characters
// in 59..122, a line end other than CR LF, an empty line, a body line longer than 70
// characters or a short one before the last, a byte after the last line's CR LF, a body
// character outside 59..122, an empty body, a single character after the last whole group,
// or a last group's high-bits character with bits set for characters it does not have.
class ReferenceDecoder {
public:
    static constexpr std::size_t kLineLength = 70;

    // The plain bytes that `piece`, the next bytes of the file, completes; the view holds
    // until the next call. nullopt once the file has shown something the encryption never
    // writes (and from then on).
    std::optional<std::string_view> feed(std::string_view piece) {
        if (m_refused) return std::nullopt;
        std::size_t at = 0;
        while (at < piece.size() && m_header.size() < kHeaderLength + 2)
            m_header.push_back(piece[at++]);
        if (m_header.size() == kHeaderLength + 2 && !m_keyed && !takeHeader()) return refuse();
        while (at < piece.size()) {
            const char c = piece[at];
            if (m_column == 0 && !m_crSeen && !m_lastLine && piece.size() - at >= kLineLength + 2 &&
                piece.substr(at + kLineLength, 2) == "\r\n") {
                // A whole line at once; decodeGroups checks its characters, a CR or LF among
                // them included.
                m_carry.append(piece.substr(at, kLineLength));
                at += kLineLength + 2;
                continue;
            }
            if (m_crSeen) {
                if (c != '\n') return refuse();
                m_crSeen = false;
                m_lastLine = m_column < kLineLength;
                m_column = 0;
                ++at;
            } else if (m_lastLine) {
                return refuse();
            } else if (c == '\r') {
                if (m_column == 0) return refuse();
                m_crSeen = true;
                ++at;
            } else {
                // A run of body characters up to the end of the line or of the piece.
                const std::size_t run = std::min(kLineLength - m_column, piece.size() - at);
                std::size_t n = 0;
                while (n < run && isBodyCharacter(piece[at + n])) ++n;
                if (n == 0) return refuse();  // a character outside 59..122, or a line too long
                m_carry.append(piece.substr(at, n));
                m_column += n;
                at += n;
            }
        }
        return decodeGroups(false);
    }

    // The last plain bytes; nullopt when the file was refused or ends where the encryption
    // never ends one.
    std::optional<std::string_view> finish() {
        if (m_refused || !m_keyed || m_crSeen || m_column != 0 ||
            (m_decoded == 0 && m_carry.empty())) {
            return refuse();
        }
        return decodeGroups(true);
    }

private:
    static constexpr std::size_t kHeaderLength = 24;
    static constexpr std::string_view kMarker = "[Kerfod]";

    static bool isBodyCharacter(char c) {
        const auto code = static_cast<unsigned char>(c);
        return code >= 59 && code <= 122;
    }

    bool takeHeader() {
        const std::string_view header(m_header);
        if (!header.starts_with(kMarker) || !header.ends_with("\r\n")) return false;
        const auto saltAndDigest = header.substr(kMarker.size(), kHeaderLength - kMarker.size());
        if (!std::all_of(saltAndDigest.begin(), saltAndDigest.end(), isBodyCharacter)) return false;
        m_seed = reference::keyedSeed(header.substr(0, kHeaderLength));
        m_keyed = true;
        return true;
    }

    std::nullopt_t refuse() {
        m_refused = true;
        return std::nullopt;
    }

    // Shrinks the whole groups of the carried body characters (and at the end the partial
    // group too) and XORs them with the keystream. A group's four characters less 59 each
    // are taken as one word: a character outside 59..122 leaves one of the top two bits of
    // its byte set (the lowest such byte has no borrow from below), which the OR of all the
    // words shows.
    std::optional<std::string_view> decodeGroups(bool last) {
        const std::size_t whole = m_carry.size() / 4;
        const std::size_t rest = m_carry.size() % 4;
        if (last && rest == 1) return refuse();
        m_plain.resize(whole * 3 + (last && rest > 0 ? rest - 1 : 0));
        const auto* in = reinterpret_cast<const unsigned char*>(m_carry.data());
        unsigned char* out = m_plain.data();
        std::uint32_t all = 0;
        for (std::size_t g = 0; g < whole; ++g, in += 4, out += 3) {
            const std::uint32_t word =
                (in[0] | in[1] << 8 | in[2] << 16 | std::uint32_t{in[3]} << 24) - 0x3B3B3B3Bu;
            all |= word;
            const std::uint32_t high = word >> 24;
            out[0] = static_cast<unsigned char>((word & 0x3F) | (high >> 4 & 3) << 6);
            out[1] = static_cast<unsigned char>((word >> 8 & 0x3F) | (high >> 2 & 3) << 6);
            out[2] = static_cast<unsigned char>((word >> 16 & 0x3F) | (high & 3) << 6);
        }
        if (last && rest > 1) {
            const std::size_t data = rest - 1;
            const unsigned high = in[data] - 59u;
            // The encryption leaves the high bits of absent characters zero.
            if (high > 63 || (high & (data == 1 ? 0x0F : 0x03)) != 0) return refuse();
            for (std::size_t i = 0; i < data; ++i) {
                const unsigned low = in[i] - 59u;
                if (low > 63) return refuse();
                out[i] = static_cast<unsigned char>(low | (high >> (4 - 2 * i) & 3) << 6);
            }
        }
        if ((all & 0xC0C0C0C0u) != 0) return refuse();
        m_carry.erase(0, last ? m_carry.size() : whole * 4);
        reference::xorStream(m_seed, m_plain.data(), m_plain.size());
        m_decoded += m_plain.size();
        return std::string_view(reinterpret_cast<const char*>(m_plain.data()), m_plain.size());
    }

    std::string m_header;  // the header line with its CR LF, as far as read
    bool m_keyed = false;
    std::uint32_t m_seed = 0;
    std::size_t m_column = 0;  // body characters in the current line
    bool m_crSeen = false;     // a CR that must be followed by LF
    bool m_lastLine = false;   // a short line ended the body
    bool m_refused = false;
    std::string m_carry;  // body characters not yet decoded
    std::vector<unsigned char> m_plain;
    std::size_t m_decoded = 0;
};

// Runs a ReferenceDecoder over the pieces `read` gives (it fills a buffer and returns how
// much, 0 at the end) and hands each decoded run to `take` (false stops). True when the
// whole input was in the written form and `take` took all of it.
template <class Read, class Take>
bool decodeStream(Read read, Take take) {
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    std::vector<char> buffer(kPiece);
    ReferenceDecoder decoder;
    for (;;) {
        const std::size_t got = read(buffer.data(), buffer.size());
        const auto plain =
            got == 0 ? decoder.finish() : decoder.feed(std::string_view(buffer.data(), got));
        if (!plain || !take(*plain)) return false;
        if (got == 0) return true;
    }
}

// The plain bytes of an encrypted file's bytes `file`; nullopt for anything the encryption
// does not write (see ReferenceDecoder).
inline std::optional<std::string> decodeWhole(std::string_view file) {
    std::string plain;
    const bool ok = decodeStream(
        [&](char* out, std::size_t room) {
            const std::size_t n = file.copy(out, room);
            file.remove_prefix(n);
            return n;
        },
        [&](std::string_view run) {
            plain.append(run);
            return true;
        });
    if (!ok) return std::nullopt;
    return plain;
}

// Whether the file at `path` holds exactly what encrypting `plain` writes; false for a
// file that cannot be read or is not in the written form. Reads and decodes it a piece at a
// time, stopping at the first byte that differs.
inline bool decryptsTo(const std::filesystem::path& path, std::string_view plain) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::size_t at = 0;
    const bool ok = decodeStream(
        [&](char* out, std::size_t room) {
            in.read(out, static_cast<std::streamsize>(room));
            return static_cast<std::size_t>(in.gcount());
        },
        [&](std::string_view run) {
            if (plain.substr(at, run.size()) != run) return false;
            at += run.size();
            return true;
        });
    return ok && !in.bad() && at == plain.size();
}

}  // namespace kerfo::test
