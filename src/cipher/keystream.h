// The keystream: one byte per generator step. A key decides where it starts.
//
// Why two ways to hold the generator. The format is defined by the classic runtime's
// single process-wide generator: Cipher keys that shared state and DoXor draws from it,
// exactly as the original design did, and the digest (and with it every file any earlier
// build wrote) is computed that way. Everything else - the streaming transforms of the
// jobs, the read-back - takes the keyed state as a value from keyState() and advances its
// own copy, so no caller depends on what happened to the shared generator in between.
// Both give the same bytes for the same key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kerfo::cipher {

// Keys of this many characters or more overflow the 16-bit loop of the keying.
inline constexpr std::size_t kMaxKeyLength = 32766;

// Where a key's keystream starts: the generator's state right after keying with the key.
struct KeyedState {
    std::uint32_t seed = 0;
};

// The state that keying with `key` leads to, whatever the generator held before; the
// process-wide generator is untouched. Throws platform::RuntimeError (6, "Overflow") for a
// key longer than kMaxKeyLength.
KeyedState keyState(std::string_view key);

// XORs data[0..size) with the next `size` keystream bytes of the process-wide generator
// (byte = seed >> 16 after each step, which is floor(rtcRandomNext() * 256) exactly) and
// leaves it `size` steps further on, as that many rtcRandomNext() calls would.
void xorKeystream(unsigned char* data, std::size_t size);

namespace detail {
// The keying loop alone, on a private state, without the length checks.
std::uint32_t keyedSeed(std::string_view key);
}  // namespace detail

}  // namespace kerfo::cipher
