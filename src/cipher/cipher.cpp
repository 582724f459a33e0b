#include "cipher/cipher.h"

#include "cipher/keystream.h"
#include "cipher/stretch.h"
#include "platform/error.h"
#include "platform/random.h"

namespace kerfo::cipher {

using platform::ErrorNumber;
using platform::RuntimeError;

void Cipher::KeyString(std::string_view key) {
    sKeyString.assign(key);
    ApplyKey();
}

void Cipher::ApplyKey() {
    // The loop bound is a 16-bit integer: a longer key overflows before the loop.
    constexpr std::size_t kInt16Max = 32767;
    if (sKeyString.size() > kInt16Max) {
        throw RuntimeError(ErrorNumber::kOverflow);
    }
    platform::rtcRandomize(platform::rtcRandomNext(-1.0f));
    for (const char ch : sKeyString) {
        const auto a = static_cast<float>(static_cast<unsigned char>(ch));
        const float r = platform::rtcRandomNext();
        const float x = -(r * a);  // one single-precision rounding, as the runtime does
        platform::rtcRandomize(platform::rtcRandomNext(x));
    }
    // ...and a key of exactly 32767 overflows when the 16-bit index steps past it.
    if (sKeyString.size() == kInt16Max) {
        throw RuntimeError(ErrorNumber::kOverflow);
    }
}

void Cipher::DoXor() {
    xorKeystream(reinterpret_cast<unsigned char*>(sText.data()), sText.size());
}

void Cipher::Stretch() {
    std::string out(stretchedLength(sText.size()), ' ');
    stretchInto(sText, out.data());
    sText = std::move(out);
}

void Cipher::Shrink() {
    const long long m = shrunkLength(sText.size());
    if (m < 0) {
        throw RuntimeError(ErrorNumber::kInvalidCall);
    }
    std::string out(static_cast<std::size_t>(m), ' ');
    if (!shrinkInto(sText, out.data())) {
        throw RuntimeError(ErrorNumber::kInvalidCall);
    }
    sText = std::move(out);
}

}  // namespace kerfo::cipher
