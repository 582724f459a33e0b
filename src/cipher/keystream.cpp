#include "cipher/keystream.h"

#include "platform/random.h"

namespace kerfo::cipher {

void xorKeystream(unsigned char* data, std::size_t size) {
    std::uint32_t seed = platform::randomSeed();
    for (std::size_t i = 0; i < size; ++i) {
        seed = platform::nextSeed(seed);
        data[i] ^= static_cast<unsigned char>(seed >> 16);
    }
    platform::setRandomSeed(seed);
}

}  // namespace kerfo::cipher
