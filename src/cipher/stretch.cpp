#include "cipher/stretch.h"

#include <algorithm>

namespace kerfo::cipher {

void stretchInto(std::string_view in, char* out) {
    const auto* src = reinterpret_cast<const unsigned char*>(in.data());
    const std::size_t n = in.size();
    std::size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const unsigned c1 = src[i], c2 = src[i + 1], c3 = src[i + 2];
        out[0] = static_cast<char>((c1 & 63) + kStretchOffset);
        out[1] = static_cast<char>((c2 & 63) + kStretchOffset);
        out[2] = static_cast<char>((c3 & 63) + kStretchOffset);
        out[3] = static_cast<char>((((c1 >> 6) << 4) | ((c2 >> 6) << 2) | (c3 >> 6)) +
                                   kStretchOffset);
        out += 4;
    }
    // A final partial group: its low bits, then the high bits of what is present.
    const std::size_t rest = n - i;
    if (rest > 0) {
        unsigned high = 0;
        for (std::size_t k = 0; k < rest; ++k) {
            const unsigned c = src[i + k];
            out[k] = static_cast<char>((c & 63) + kStretchOffset);
            high |= (c >> 6) << (4 - 2 * k);
        }
        out[rest] = static_cast<char>(high + kStretchOffset);
    }
}

int lowestCode(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    unsigned char low = 255;
    for (std::size_t i = 0; i < text.size(); ++i) {
        low = std::min(low, p[i]);
    }
    return low;
}

bool shrinkInto(std::string_view in, char* out) {
    const auto* src = reinterpret_cast<const unsigned char*>(in.data());
    const auto length = static_cast<long long>(in.size());
    const long long m = shrunkLength(in.size());
    long long p = 0;  // read position, counted from 1
    long long q = 0;  // position of the current high-bits character
    int b = 0;
    for (long long k = 1; k <= m; ++k) {
        ++p;
        const int f = static_cast<int>(src[p - 1]) - kStretchOffset;
        int t = 0;
        switch (k % 3) {
            case 1:
                q = q + 4 > length ? length : q + 4;
                b = static_cast<int>(src[q - 1]) - kStretchOffset;
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
        out[k - 1] = static_cast<char>(code);
    }
    return true;
}

}  // namespace kerfo::cipher
