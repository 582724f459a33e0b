#include "cipher/keystream.h"

#include "cipher/kernels.h"
#include "platform/random.h"

namespace kerfo::cipher {

void xorKeystream(unsigned char* data, std::size_t size) {
    platform::setRandomSeed(
        detail::bestKernels().xorStream(data, data, size, platform::randomSeed()));
}

}  // namespace kerfo::cipher
