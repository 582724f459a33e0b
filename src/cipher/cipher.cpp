#include "cipher/cipher.h"

#include <algorithm>
#include <cstring>

#include "cipher/keystream.h"
#include "cipher/stretch.h"
#include "platform/error.h"
#include "cipher/classic_random.h"

namespace kerfo::cipher {

using platform::ErrorNumber;
using platform::RuntimeError;

void Cipher::KeyString(std::string_view key) {
    sKeyString.assign(key);
    ApplyKey();
}

void Cipher::ApplyKey() {
    // The loop bound is a 16-bit integer: a longer key overflows before the loop...
    constexpr std::size_t kInt16Max = 32767;
    if (sKeyString.size() > kInt16Max) {
        throw RuntimeError(ErrorNumber::kOverflow);
    }
    cipher::setRandomSeed(detail::keyedSeed(sKeyString));
    // ...and a key of exactly 32767 overflows when the 16-bit index steps past it.
    if (sKeyString.size() == kInt16Max) {
        throw RuntimeError(ErrorNumber::kOverflow);
    }
}

void Cipher::DoXor() {
    xorKeystream(reinterpret_cast<unsigned char*>(sText.data()), sText.size());
}

namespace {

// Texts are transformed within their own storage a chunk at a time; each chunk's input is
// first copied aside because the chunk's output overlaps it. The chunk stays in cache.
constexpr std::size_t kGroupsPerChunk = 16384;

}  // namespace

void Cipher::Stretch() {
    const std::size_t n = sText.size();
    if (n == 0) {
        return;
    }
    sText.resize(stretchedLength(n));
    char* base = sText.data();
    // Back to front: a group's four characters land at or after its own three input
    // characters, so they only ever cover input that has already been read.
    constexpr std::size_t kChunk = 3 * kGroupsPerChunk;
    std::string scratch(std::min(n, kChunk), '\0');
    std::size_t end = n;
    std::size_t start = (n - 1) / kChunk * kChunk;
    for (;;) {
        const std::size_t size = end - start;
        std::memcpy(scratch.data(), base + start, size);
        stretchInto(std::string_view(scratch.data(), size), base + stretchedLength(start));
        if (start == 0) {
            break;
        }
        end = start;
        start -= kChunk;
    }
}

void Cipher::Shrink() {
    const long long m = shrunkLength(sText.size());
    if (m < 0) {
        throw RuntimeError(ErrorNumber::kInvalidCall);
    }
    if (lowestCode(sText) < kStretchOffset) {
        // Possibly a refused text: shrink into a copy so that the text survives the error.
        std::string out(static_cast<std::size_t>(m), ' ');
        if (!shrinkInto(sText, out.data())) {
            throw RuntimeError(ErrorNumber::kInvalidCall);
        }
        sText = std::move(out);
        return;
    }
    // Front to back: a group's three bytes land at or before its own four characters.
    const std::size_t length = sText.size();
    constexpr std::size_t kChunk = 4 * kGroupsPerChunk;
    std::string scratch(std::min(length, kChunk), '\0');
    char* base = sText.data();
    for (std::size_t start = 0; start < length; start += kChunk) {
        const std::size_t size = std::min(kChunk, length - start);
        std::memcpy(scratch.data(), base + start, size);
        shrinkInto(std::string_view(scratch.data(), size), base + start / 4 * 3);
    }
    sText.resize(static_cast<std::size_t>(m));
}

}  // namespace kerfo::cipher
