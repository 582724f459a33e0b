// The cipher's inner loops in several builds: a portable one and, on x86-64, ones for
// wider vector units. All of them give the same bytes as the one-step-at-a-time
// reference loops kept here too; which one runs is decided once from the CPU's features.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kerfo::cipher::detail {

struct Bounds {
    unsigned low;
    unsigned high;
};

struct Kernels {
    const char* name;
    // out[i] = in[i] XOR the keystream byte of step i + 1 after `seed` (in == out is
    // allowed); returns the seed `size` steps on.
    std::uint32_t (*xorStream)(const unsigned char* in, unsigned char* out, std::size_t size,
                               std::uint32_t seed);
    // Stretches `groups` whole groups: in[0..3 * groups) into out[0..4 * groups).
    void (*stretchGroups)(const unsigned char* in, std::size_t groups, char* out);
    // Shrinks whole groups in[0..4 * groups) into out[0..3 * groups) for as long as every
    // character is at least 59; returns how many groups it did (all of them when no
    // character lies below 59, otherwise some number up to the first such group).
    std::size_t (*shrinkGroups)(const unsigned char* in, std::size_t groups, unsigned char* out);
    // The lowest and highest byte values of data[0..size); {255, 0} when size is 0.
    Bounds (*bounds)(const unsigned char* data, std::size_t size);
};

// The kernels for this CPU, chosen on first use.
const Kernels& bestKernels();
// Every kernel set this CPU can run, the portable one first (tests compare them).
std::vector<const Kernels*> supportedKernels();

// The reference loops, one generator step and one character at a time.
std::uint32_t xorStreamReference(const unsigned char* in, unsigned char* out, std::size_t size,
                                 std::uint32_t seed);
void stretchReference(const unsigned char* in, std::size_t size, char* out);
bool shrinkReference(const unsigned char* in, std::size_t size, unsigned char* out);

// The generator's state `steps` steps after `seed`, by composing the step with itself.
std::uint32_t advanceSeed(std::uint32_t seed, std::uint64_t steps);

const Kernels& portableKernels();
#if defined(KERFO_CIPHER_X86_KERNELS)
const Kernels& avx2Kernels();
const Kernels& avx512Kernels();
#endif

}  // namespace kerfo::cipher::detail
