// The whole content transform of the encrypted file, a chunk at a time: plain bytes to
// body lines (keystream XOR, stretch, lines of 70 characters with CR LF) and body lines
// back to plain bytes (join the lines, shrink, keystream XOR). The bytes are exactly those
// of a Cipher doing DoXor and Stretch (or Shrink and DoXor) on the whole text, but the
// file never has to be in memory at once and each chunk is finished while in cache.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "cipher/keystream.h"

namespace kerfo::cipher {

// Characters per body line of the encrypted file.
inline constexpr std::size_t kBodyLineLength = 70;

// Encryption: construct with the state keyed by the header line; feed the plain file in
// chunks of any size with update(), then call finish() once.
class EncryptTransform {
public:
    // Draws the keystream from its own copy of `keyed`.
    explicit EncryptTransform(KeyedState keyed);

    // At most this many characters come out of update() for `plainSize` bytes.
    static constexpr std::size_t maxOutput(std::size_t plainSize) {
        const std::size_t chars = (plainSize + 2) / 3 * 4 + 4;
        return chars + 2 * (chars / kBodyLineLength + 1);
    }
    // At most this many come out of finish().
    static constexpr std::size_t kMaxFinishOutput = 8;

    // XORs and stretches `plain` and writes the body text it completes, CR LF after every
    // full line, to out (room for maxOutput(plain.size())); returns how much it wrote. Up
    // to two bytes wait for the next call.
    std::size_t update(std::string_view plain, char* out);
    // Writes the final partial group and the last line's CR LF (an empty line for an
    // empty file, as the format's writer always writes one body line); returns the count.
    std::size_t finish(char* out);

private:
    char* emit(const char* chars, std::size_t count, char* out);

    std::uint32_t m_seed;
    std::vector<unsigned char> m_xored;  // one piece after the XOR
    std::vector<char> m_stretched;       // the same piece stretched
    unsigned char m_carry[3] = {};       // XORed bytes of a group not yet complete
    std::size_t m_carrySize = 0;
    std::size_t m_column = 0;  // characters already in the current line
    bool m_anyCharacter = false;
};

// Which bodies a decryption accepts.
enum class BodyCheck {
    // Exactly what Cipher::Shrink accepts: only a data character below 59 (or an empty
    // body) is refused; other odd characters give wrong but valid bytes.
    kLikeShrink,
    // Only what the encryption writes: every character within 59..122, and never a single
    // character after the last whole group.
    kWrittenForm,
};

// Decryption: construct with the state keyed by the header line; feed everything after
// the header line in chunks of any size with update(), then call finish() once. Every CR
// and every LF ends a line and is dropped; the rest is the body.
class DecryptTransform {
public:
    // Draws the keystream from its own copy of `keyed`; refuses bodies as `check` says.
    DecryptTransform(KeyedState keyed, BodyCheck check);

    // At most this many bytes come out of update() for `inputSize` bytes of input.
    static constexpr std::size_t maxOutput(std::size_t inputSize) {
        return (inputSize + 3) / 4 * 3;
    }
    // At most this many come out of finish().
    static constexpr std::size_t kMaxFinishOutput = 3;

    // Joins, shrinks and XORs the whole groups that `input` completes into out (room for
    // maxOutput(input.size())); returns how many bytes it wrote. Throws
    // platform::RuntimeError (5, "Invalid procedure call or argument") at a character the
    // BodyCheck refuses; what was written before then must be discarded.
    std::size_t update(std::string_view input, char* out);
    // Writes the last partial group; returns the count. Throws platform::RuntimeError (5)
    // when the body was empty (no character besides line ends) or its last group is one
    // the BodyCheck refuses.
    std::size_t finish(char* out);

private:
    std::size_t shrinkAndXor(std::size_t groups, char* out);

    BodyCheck m_check;
    std::uint32_t m_seed;
    std::vector<unsigned char> m_joined;  // m_pending characters carried over, then a piece
    std::size_t m_pending = 0;
    bool m_anyCharacter = false;
};

}  // namespace kerfo::cipher
