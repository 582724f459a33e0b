// The stretch encoding: three bytes of any value become four printable characters
// (codes 59..122), so XORed text can be stored as ordinary text lines.
#pragma once

#include <cstddef>
#include <string_view>

namespace kerfo::cipher {

// The first code of the printable range; every output character is six data bits plus it.
inline constexpr int kStretchOffset = 59;

// Length of the stretched form of n bytes: n + (n + 2) / 3.
constexpr std::size_t stretchedLength(std::size_t n) { return n + (n + 2) / 3; }

// Stretches `in` into out[0..stretchedLength(in.size())). Whole groups of three are
// independent, so a long text may be stretched piecewise in multiples of three.
void stretchInto(std::string_view in, char* out);

// Length of the shrunk form of a text of `length` characters: (L-1) - (L-1)/4.
// Negative (-1) for the empty text, which cannot be shrunk.
constexpr long long shrunkLength(std::size_t length) {
    const auto l = static_cast<long long>(length) - 1;
    return l - l / 4;
}

// The lowest character code in `text` (255 for the empty text): a text whose lowest
// code is at least kStretchOffset shrinks without error.
int lowestCode(std::string_view text);

// Shrinks `in` (non-empty) into out[0..shrunkLength(in.size())). Returns false, having
// written an unspecified prefix, when a data character lies below code 59; characters
// above 122 are not refused and give wrong but valid bytes. In multiples of four a long
// text may be shrunk piecewise.
bool shrinkInto(std::string_view in, char* out);

}  // namespace kerfo::cipher
