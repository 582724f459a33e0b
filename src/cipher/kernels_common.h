// Building blocks shared by every kernel build. Everything here has internal linkage:
// each kernel file is compiled for a different instruction set, and one copy of an inline
// function must never stand in for another's.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cipher/classic_random.h"

namespace kerfo::cipher::detail {
namespace {

// x -> a * x + c (mod 2^32); the generator's 24 bits are the low bits of this map.
struct Affine {
    std::uint32_t a;
    std::uint32_t c;
};

// g after f.
constexpr Affine then(Affine f, Affine g) { return {g.a * f.a, g.a * f.c + g.c}; }

constexpr Affine stepPower(std::uint64_t k) {
    Affine result{1, 0};
    Affine base{cipher::kMultiplier, cipher::kIncrement};
    while (k != 0) {
        if ((k & 1) != 0) result = then(result, base);
        base = then(base, base);
        k >>= 1;
    }
    return result;
}

constexpr std::uint32_t apply(Affine f, std::uint32_t x) { return f.a * x + f.c; }

// The keystream in lanes: lane (k, i) serves byte 4 * i + k of every block of 4 * kWords
// bytes, and steps 4 * kWords generator steps at a time with the composed map. The four
// bytes a word needs then sit in the same position of four lane arrays, so the loop is
// plain 32-bit arithmetic that the compiler turns into vector code.
template <std::size_t kWords>
std::uint32_t xorStreamLanes(const unsigned char* in, unsigned char* out, std::size_t size,
                             std::uint32_t seed) {
    constexpr std::size_t kBlock = 4 * kWords;
    const std::size_t blocks = size / kBlock;
    if constexpr (std::endian::native == std::endian::little) {
        if (blocks > 0) {
            constexpr Affine kStep = stepPower(kBlock);
            std::uint32_t s0[kWords], s1[kWords], s2[kWords], s3[kWords];
            for (std::size_t i = 0; i < kWords; ++i) {
                s0[i] = apply(stepPower(4 * i + 1), seed);
                s1[i] = apply(stepPower(4 * i + 2), seed);
                s2[i] = apply(stepPower(4 * i + 3), seed);
                s3[i] = apply(stepPower(4 * i + 4), seed);
            }
            for (std::size_t b = 0; b < blocks; ++b) {
                for (std::size_t i = 0; i < kWords; ++i) {
                    const std::uint32_t key = ((s0[i] >> 16) & 0xFFu) | ((s1[i] >> 8) & 0xFF00u) |
                                              (s2[i] & 0xFF0000u) | ((s3[i] << 8) & 0xFF000000u);
                    std::uint32_t word;
                    std::memcpy(&word, in + 4 * i, 4);
                    word ^= key;
                    std::memcpy(out + 4 * i, &word, 4);
                    s0[i] = apply(kStep, s0[i]);
                    s1[i] = apply(kStep, s1[i]);
                    s2[i] = apply(kStep, s2[i]);
                    s3[i] = apply(kStep, s3[i]);
                }
                in += kBlock;
                out += kBlock;
            }
            seed = apply(stepPower(blocks * kBlock), seed) & cipher::kSeedMask;
            size -= blocks * kBlock;
        }
    }
    for (std::size_t i = 0; i < size; ++i) {
        seed = cipher::nextSeed(seed);
        out[i] = static_cast<unsigned char>(in[i] ^ (seed >> 16));
    }
    return seed;
}

#if defined(__GNUC__)
// The same lanes held in vector registers (GCC and Clang vector types, as wide as the
// instruction set the including file is built for): two vectors per byte position, so a
// block is 2 * kVectorBytes bytes, eight independent multiplies, all in registers.
template <std::size_t kVectorBytes>
std::uint32_t xorStreamVectors(const unsigned char* in, unsigned char* out, std::size_t size,
                               std::uint32_t seed) {
    typedef std::uint32_t V __attribute__((vector_size(kVectorBytes)));
    constexpr std::size_t kLanes = kVectorBytes / 4;
    constexpr std::size_t kBlock = 2 * kVectorBytes;
    const std::size_t blocks = size / kBlock;
    if (blocks > 0) {
        // Lane i of vector (k, r) serves byte 4 * (r * kLanes + i) + k of every block.
        V s[4][2];
        for (std::size_t k = 0; k < 4; ++k) {
            for (std::size_t r = 0; r < 2; ++r) {
                std::uint32_t start[kLanes];
                for (std::size_t i = 0; i < kLanes; ++i) {
                    start[i] = apply(stepPower(4 * (r * kLanes + i) + k + 1), seed);
                }
                std::memcpy(&s[k][r], start, kVectorBytes);
            }
        }
        V a0 = s[0][0], a1 = s[0][1], b0 = s[1][0], b1 = s[1][1];
        V c0 = s[2][0], c1 = s[2][1], d0 = s[3][0], d1 = s[3][1];
        constexpr Affine kStep = stepPower(kBlock);
        for (std::size_t b = 0; b < blocks; ++b) {
            const V key0 = ((a0 >> 16) & 0xFFu) | ((b0 >> 8) & 0xFF00u) | (c0 & 0xFF0000u) |
                           ((d0 << 8) & 0xFF000000u);
            const V key1 = ((a1 >> 16) & 0xFFu) | ((b1 >> 8) & 0xFF00u) | (c1 & 0xFF0000u) |
                           ((d1 << 8) & 0xFF000000u);
            V x0, x1;
            std::memcpy(&x0, in, kVectorBytes);
            std::memcpy(&x1, in + kVectorBytes, kVectorBytes);
            x0 ^= key0;
            x1 ^= key1;
            std::memcpy(out, &x0, kVectorBytes);
            std::memcpy(out + kVectorBytes, &x1, kVectorBytes);
            a0 = a0 * kStep.a + kStep.c;
            a1 = a1 * kStep.a + kStep.c;
            b0 = b0 * kStep.a + kStep.c;
            b1 = b1 * kStep.a + kStep.c;
            c0 = c0 * kStep.a + kStep.c;
            c1 = c1 * kStep.a + kStep.c;
            d0 = d0 * kStep.a + kStep.c;
            d1 = d1 * kStep.a + kStep.c;
            in += kBlock;
            out += kBlock;
        }
        seed = apply(stepPower(blocks * kBlock), seed) & cipher::kSeedMask;
        size -= blocks * kBlock;
    }
    return xorStreamLanes<16>(in, out, size, seed);
}
#endif

constexpr unsigned kOffset = 59;

inline void stretchGroup(const unsigned char* in, char* out) {
    const unsigned c1 = in[0], c2 = in[1], c3 = in[2];
    out[0] = static_cast<char>((c1 & 63) + kOffset);
    out[1] = static_cast<char>((c2 & 63) + kOffset);
    out[2] = static_cast<char>((c3 & 63) + kOffset);
    out[3] = static_cast<char>((((c1 >> 6) << 4) | ((c2 >> 6) << 2) | (c3 >> 6)) + kOffset);
}

// One whole group whose four characters are all at least 59; the data characters are
// not masked, so codes above 122 give the same bytes as the reference loop.
inline void shrinkGroup(const unsigned char* in, unsigned char* out) {
    const unsigned b = in[3] - kOffset;
    out[0] = static_cast<unsigned char>((in[0] - kOffset) | (((b >> 4) & 3) << 6));
    out[1] = static_cast<unsigned char>((in[1] - kOffset) | (((b >> 2) & 3) << 6));
    out[2] = static_cast<unsigned char>((in[2] - kOffset) | ((b & 3) << 6));
}

inline bool groupInRange(const unsigned char* in) {
    return in[0] >= kOffset && in[1] >= kOffset && in[2] >= kOffset && in[3] >= kOffset;
}

inline void stretchGroupsScalar(const unsigned char* in, std::size_t groups, char* out) {
    for (std::size_t g = 0; g < groups; ++g) stretchGroup(in + 3 * g, out + 4 * g);
}

inline std::size_t shrinkGroupsScalar(const unsigned char* in, std::size_t groups,
                                      unsigned char* out) {
    for (std::size_t g = 0; g < groups; ++g) {
        if (!groupInRange(in + 4 * g)) return g;
        shrinkGroup(in + 4 * g, out + 3 * g);
    }
    return groups;
}

inline Bounds boundsScalar(const unsigned char* data, std::size_t size) {
    unsigned char low = 255;
    unsigned char high = 0;
    for (std::size_t i = 0; i < size; ++i) {
        low = data[i] < low ? data[i] : low;
        high = data[i] > high ? data[i] : high;
    }
    return {low, high};
}

inline Bounds merge(Bounds a, Bounds b) {
    return {a.low < b.low ? a.low : b.low, a.high > b.high ? a.high : b.high};
}

}  // namespace
}  // namespace kerfo::cipher::detail
