#include "cipher/stretch.h"

#include "cipher/kernels.h"

namespace kerfo::cipher {

namespace {

const unsigned char* bytes(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

}  // namespace

void stretchInto(std::string_view in, char* out) {
    const std::size_t groups = in.size() / 3;
    detail::bestKernels().stretchGroups(bytes(in), groups, out);
    detail::stretchReference(bytes(in) + 3 * groups, in.size() - 3 * groups, out + 4 * groups);
}

int lowestCode(std::string_view text) {
    return static_cast<int>(detail::bestKernels().bounds(bytes(text), text.size()).low);
}

bool shrinkInto(std::string_view in, char* out) {
    // Whole groups go the fast way while they are in range; from the first group that is
    // not (and for the final partial group) the reference loop decides, error included.
    auto* dest = reinterpret_cast<unsigned char*>(out);
    const std::size_t done = detail::bestKernels().shrinkGroups(bytes(in), in.size() / 4, dest);
    return detail::shrinkReference(bytes(in) + 4 * done, in.size() - 4 * done, dest + 3 * done);
}

}  // namespace kerfo::cipher
