#include "cipher/kernels.h"

#include <cstdlib>
#include <cstring>

#include "cipher/kernels_common.h"
#include "cipher/classic_random.h"

namespace kerfo::cipher::detail {
namespace {

#if defined(KERFO_CIPHER_X86_KERNELS)
bool hasAvx2() { return __builtin_cpu_supports("avx2"); }
// The 512-bit kernels need the byte permutes of VBMI as well as the 512-bit integer set.
bool hasAvx512() {
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi");
}
#endif

const Kernels& chooseKernels() {
    // Benchmarks compare the builds on one machine by naming one ("portable", "avx2", ...).
    if (const char* wanted = std::getenv("KERFO_CIPHER_KERNELS")) {
        for (const Kernels* k : supportedKernels()) {
            if (std::strcmp(k->name, wanted) == 0) return *k;
        }
    }
#if defined(KERFO_CIPHER_X86_KERNELS)
    __builtin_cpu_init();
    if (hasAvx512()) return avx512Kernels();
    if (hasAvx2()) return avx2Kernels();
#endif
    return portableKernels();
}

}  // namespace

const Kernels& bestKernels() {
    static const Kernels& chosen = chooseKernels();
    return chosen;
}

std::vector<const Kernels*> supportedKernels() {
    std::vector<const Kernels*> sets{&portableKernels()};
#if defined(KERFO_CIPHER_X86_KERNELS)
    __builtin_cpu_init();
    if (hasAvx2()) sets.push_back(&avx2Kernels());
    if (hasAvx512()) sets.push_back(&avx512Kernels());
#endif
    return sets;
}

std::uint32_t advanceSeed(std::uint32_t seed, std::uint64_t steps) {
    return apply(stepPower(steps), seed) & cipher::kSeedMask;
}

std::uint32_t xorStreamReference(const unsigned char* in, unsigned char* out, std::size_t size,
                                 std::uint32_t seed) {
    for (std::size_t i = 0; i < size; ++i) {
        seed = cipher::nextSeed(seed);
        out[i] = static_cast<unsigned char>(in[i] ^ (seed >> 16));
    }
    return seed;
}

void stretchReference(const unsigned char* src, std::size_t n, char* out) {
    std::size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        stretchGroup(src + i, out);
        out += 4;
    }
    // A final partial group: its low bits, then the high bits of what is present.
    const std::size_t rest = n - i;
    if (rest > 0) {
        unsigned high = 0;
        for (std::size_t k = 0; k < rest; ++k) {
            const unsigned c = src[i + k];
            out[k] = static_cast<char>((c & 63) + kOffset);
            high |= (c >> 6) << (4 - 2 * k);
        }
        out[rest] = static_cast<char>(high + kOffset);
    }
}

bool shrinkReference(const unsigned char* src, std::size_t size, unsigned char* out) {
    const auto length = static_cast<long long>(size);
    const long long l = length - 1;
    const long long m = l - l / 4;
    const int offset = static_cast<int>(kOffset);
    long long p = 0;  // read position, counted from 1
    long long q = 0;  // position of the current high-bits character
    int b = 0;
    for (long long k = 1; k <= m; ++k) {
        ++p;
        const int f = static_cast<int>(src[p - 1]) - offset;
        int t = 0;
        switch (k % 3) {
            case 1:
                q = q + 4 > length ? length : q + 4;
                // Integer division truncating toward zero, as the format's reader did, even
                // for a high-bits character below the range.
                b = static_cast<int>(src[q - 1]) - offset;
                t = ((b / 16) & 3) * 64;
                break;
            case 2:
                t = ((b / 4) & 3) * 64;
                break;
            default:
                t = (b & 3) * 64;
                ++p;
                break;
        }
        const int code = t | f;
        if (code < 0) {
            return false;
        }
        out[k - 1] = static_cast<unsigned char>(code);
    }
    return true;
}

}  // namespace kerfo::cipher::detail
