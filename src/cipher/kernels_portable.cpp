// The kernels for any CPU: the lane keystream in whatever vectors the baseline target has,
// the groups one at a time.
#include "cipher/kernels.h"
#include "cipher/kernels_common.h"

namespace kerfo::cipher::detail {
namespace {

std::uint32_t xorStreamPortable(const unsigned char* in, unsigned char* out, std::size_t size,
                                std::uint32_t seed) {
    return xorStreamLanes<16>(in, out, size, seed);
}

}  // namespace

const Kernels& portableKernels() {
    static constexpr Kernels kSet{"portable", xorStreamPortable, stretchGroupsScalar,
                                  shrinkGroupsScalar, boundsScalar};
    return kSet;
}

}  // namespace kerfo::cipher::detail
