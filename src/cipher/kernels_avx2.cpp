// The kernels for x86-64 CPUs with AVX2; this file alone is compiled with -mavx2 and only
// runs after the CPU has said it can.
#include <immintrin.h>

#include "cipher/kernels.h"
#include "cipher/kernels_common.h"

namespace kerfo::cipher::detail {
namespace {

std::uint32_t xorStreamAvx2(const unsigned char* in, unsigned char* out, std::size_t size,
                            std::uint32_t seed) {
    return xorStreamVectors<32>(in, out, size, seed);
}

// Eight groups: 24 bytes (read as two 16-byte halves, 28 bytes in all) to 32 characters.
// Each 32-bit lane holds c1 c2 c3 and gets their low six bits in its first three bytes
// and the three top-bit pairs gathered into its fourth.
inline __m256i stretch8(const unsigned char* in) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 12));
    __m256i x = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
    const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,
                                            0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    x = _mm256_shuffle_epi8(x, spread);
    const __m256i low = _mm256_and_si256(x, _mm256_set1_epi32(0x003F3F3F));
    const __m256i top = _mm256_and_si256(x, _mm256_set1_epi32(0x00C0C0C0));
    __m256i high = _mm256_or_si256(_mm256_slli_epi32(top, 22),
                                   _mm256_or_si256(_mm256_slli_epi32(top, 12),
                                                   _mm256_slli_epi32(top, 2)));
    high = _mm256_and_si256(high, _mm256_set1_epi32(0x3F000000));
    return _mm256_add_epi8(_mm256_or_si256(low, high), _mm256_set1_epi8(59));
}

void stretchGroupsAvx2(const unsigned char* in, std::size_t groups, char* out) {
    std::size_t g = 0;
    // The loads reach four bytes past each block's input.
    for (; g + 10 <= groups; g += 8) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * g), stretch8(in + 3 * g));
    }
    stretchGroupsScalar(in + 3 * g, groups - g, out + 4 * g);
}

// Eight groups: 32 characters to 24 bytes, written as two 16-byte stores (28 bytes).
inline void shrink8(__m256i x, unsigned char* out) {
    const __m256i v = _mm256_sub_epi8(x, _mm256_set1_epi8(59));
    const __m256i h = _mm256_srli_epi32(v, 24);
    __m256i top = _mm256_or_si256(
        _mm256_and_si256(_mm256_slli_epi32(h, 2), _mm256_set1_epi32(0xC0)),
        _mm256_and_si256(_mm256_slli_epi32(h, 12), _mm256_set1_epi32(0xC000)));
    top = _mm256_or_si256(top, _mm256_and_si256(_mm256_slli_epi32(h, 22),
                                                _mm256_set1_epi32(0xC00000)));
    __m256i y = _mm256_or_si256(_mm256_and_si256(v, _mm256_set1_epi32(0x00FFFFFF)), top);
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,
                                          0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    y = _mm256_shuffle_epi8(y, pack);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(y));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), _mm256_extracti128_si256(y, 1));
}

std::size_t shrinkGroupsAvx2(const unsigned char* in, std::size_t groups, unsigned char* out) {
    std::size_t g = 0;
    const __m256i below = _mm256_set1_epi8(58);
    // The stores reach four bytes past each block's output.
    for (; g + 10 <= groups; g += 8) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * g));
        // max(x, 58) == 58 exactly where a character is 58 or lower.
        const __m256i low = _mm256_cmpeq_epi8(_mm256_max_epu8(x, below), below);
        if (!_mm256_testz_si256(low, low)) return g;
        shrink8(x, out + 3 * g);
    }
    return g + shrinkGroupsScalar(in + 4 * g, groups - g, out + 3 * g);
}

Bounds boundsAvx2(const unsigned char* data, std::size_t size) {
    std::size_t i = 0;
    __m256i low = _mm256_set1_epi8(-1);
    __m256i high = _mm256_setzero_si256();
    for (; i + 32 <= size; i += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
        low = _mm256_min_epu8(low, x);
        high = _mm256_max_epu8(high, x);
    }
    unsigned char lanes[64];
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes), low);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes + 32), high);
    const Bounds vector{boundsScalar(lanes, 32).low, boundsScalar(lanes + 32, 32).high};
    return merge(vector, boundsScalar(data + i, size - i));
}

}  // namespace

const Kernels& avx2Kernels() {
    static constexpr Kernels kSet{"avx2", xorStreamAvx2, stretchGroupsAvx2, shrinkGroupsAvx2,
                                  boundsAvx2};
    return kSet;
}

}  // namespace kerfo::cipher::detail
