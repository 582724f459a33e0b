#include "cipher/keystream.h"

#include "cipher/kernels.h"
#include "platform/error.h"
#include "cipher/classic_random.h"

namespace kerfo::cipher {

std::uint32_t detail::keyedSeed(std::string_view key) {
    // Resetting from -1 puts the generator into the same state whatever it held before.
    std::uint32_t seed = cipher::kInitialSeed;
    cipher::randomize(seed, cipher::randomNext(seed, -1.0f));
    for (const char ch : key) {
        const auto a = static_cast<float>(static_cast<unsigned char>(ch));
        const float r = cipher::randomNext(seed);
        const float x = -(r * a);  // one single-precision rounding, as the runtime does
        cipher::randomize(seed, cipher::randomNext(seed, x));
    }
    return seed;
}

KeyedState keyState(std::string_view key) {
    if (key.size() > kMaxKeyLength) {
        throw platform::RuntimeError(platform::ErrorNumber::kOverflow);
    }
    return KeyedState{detail::keyedSeed(key)};
}

void xorKeystream(unsigned char* data, std::size_t size) {
    cipher::setRandomSeed(
        detail::bestKernels().xorStream(data, data, size, cipher::randomSeed()));
}

}  // namespace kerfo::cipher
