// The kernels for x86-64 CPUs with AVX-512 (F, BW, VL and VBMI); this file alone is
// compiled for them and only runs after the CPU has said it can.
#include <immintrin.h>

#include "cipher/kernels.h"
#include "cipher/kernels_common.h"

namespace kerfo::cipher::detail {
namespace {

std::uint32_t xorStreamAvx512(const unsigned char* in, unsigned char* out, std::size_t size,
                              std::uint32_t seed) {
    return xorStreamVectors<64>(in, out, size, seed);
}

constexpr __mmask64 k48 = 0xFFFFFFFFFFFFull;

// Sixteen groups: 48 bytes to 64 characters (see the AVX2 kernel for the lane layout).
void stretchGroupsAvx512(const unsigned char* in, std::size_t groups, char* out) {
    unsigned char spreadIndex[64];
    for (int j = 0; j < 16; ++j) {
        for (int r = 0; r < 4; ++r) spreadIndex[4 * j + r] = static_cast<unsigned char>(3 * j + (r < 3 ? r : 0));
    }
    const __m512i spread = _mm512_loadu_si512(spreadIndex);
    const __m512i lowMask = _mm512_set1_epi32(0x003F3F3F);
    const __m512i topMask = _mm512_set1_epi32(0x00C0C0C0);
    const __m512i highMask = _mm512_set1_epi32(0x3F000000);
    const __m512i offset = _mm512_set1_epi8(59);
    std::size_t g = 0;
    for (; g + 16 <= groups; g += 16) {
        __m512i x = _mm512_maskz_loadu_epi8(k48, in + 3 * g);
        x = _mm512_permutexvar_epi8(spread, x);
        const __m512i top = _mm512_and_si512(x, topMask);
        // (a | b | c) & mask in one ternary-logic step.
        __m512i high = _mm512_ternarylogic_epi32(_mm512_slli_epi32(top, 22),
                                                 _mm512_slli_epi32(top, 12),
                                                 _mm512_slli_epi32(top, 2), 0xFE);
        high = _mm512_and_si512(high, highMask);
        // (x & lowMask) | high
        const __m512i r = _mm512_ternarylogic_epi32(x, lowMask, high, 0xEA);
        _mm512_storeu_si512(out + 4 * g, _mm512_add_epi8(r, offset));
    }
    stretchGroupsScalar(in + 3 * g, groups - g, out + 4 * g);
}

// Sixteen groups: 64 characters to 48 bytes.
std::size_t shrinkGroupsAvx512(const unsigned char* in, std::size_t groups, unsigned char* out) {
    unsigned char packIndex[64];
    for (int j = 0; j < 64; ++j) packIndex[j] = static_cast<unsigned char>(j < 48 ? (j / 3) * 4 + j % 3 : 0);
    const __m512i pack = _mm512_loadu_si512(packIndex);
    const __m512i offset = _mm512_set1_epi8(59);
    const __m512i dataMask = _mm512_set1_epi32(0x00FFFFFF);
    std::size_t g = 0;
    for (; g + 16 <= groups; g += 16) {
        const __m512i x = _mm512_loadu_si512(in + 4 * g);
        if (_mm512_cmplt_epu8_mask(x, offset) != 0) return g;
        const __m512i v = _mm512_sub_epi8(x, offset);
        const __m512i h = _mm512_srli_epi32(v, 24);
        __m512i top = _mm512_ternarylogic_epi32(
            _mm512_and_si512(_mm512_slli_epi32(h, 2), _mm512_set1_epi32(0xC0)),
            _mm512_and_si512(_mm512_slli_epi32(h, 12), _mm512_set1_epi32(0xC000)),
            _mm512_and_si512(_mm512_slli_epi32(h, 22), _mm512_set1_epi32(0xC00000)), 0xFE);
        const __m512i y = _mm512_ternarylogic_epi32(v, dataMask, top, 0xEA);
        _mm512_mask_storeu_epi8(out + 3 * g, k48, _mm512_permutexvar_epi8(pack, y));
    }
    return g + shrinkGroupsScalar(in + 4 * g, groups - g, out + 3 * g);
}

Bounds boundsAvx512(const unsigned char* data, std::size_t size) {
    std::size_t i = 0;
    __m512i low = _mm512_set1_epi8(-1);
    __m512i high = _mm512_setzero_si512();
    for (; i + 64 <= size; i += 64) {
        const __m512i x = _mm512_loadu_si512(data + i);
        low = _mm512_min_epu8(low, x);
        high = _mm512_max_epu8(high, x);
    }
    unsigned char lanes[128];
    _mm512_storeu_si512(lanes, low);
    _mm512_storeu_si512(lanes + 64, high);
    const Bounds vector{boundsScalar(lanes, 64).low, boundsScalar(lanes + 64, 64).high};
    return merge(vector, boundsScalar(data + i, size - i));
}

}  // namespace

const Kernels& avx512Kernels() {
    static constexpr Kernels kSet{"avx512", xorStreamAvx512, stretchGroupsAvx512,
                                  shrinkGroupsAvx512, boundsAvx512};
    return kSet;
}

}  // namespace kerfo::cipher::detail
