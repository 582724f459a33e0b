// Shrink of arbitrary text, against a plain reading of the encoding's rules; and
// Stretch then Shrink of the same bytes, which must give them back.
//
// Holds when: Shrink fails exactly when the rules fail (an empty text, a data character
// below 59), leaves the text unchanged then, and otherwise gives the rules' bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "cipher/cipher.h"
#include "platform/error.h"
#include "invariant.h"

namespace {

using kerfo::fuzz::broken;

enum Outcome { kShrunk, kRefused };
kerfo::fuzz::Outcomes<2>& outcomes() {
    static kerfo::fuzz::Outcomes<2> counts({"shrunk", "refused"});
    return counts;
}

// The shrink rules, one character at a time, as written for the encoding.
std::optional<std::string> shrinkByTheRules(const std::string& in) {
    const long long length = static_cast<long long>(in.size());
    const long long m = (length - 1) - (length - 1) / 4;
    if (m < 0) return std::nullopt;
    std::string out(static_cast<std::size_t>(m), ' ');
    long long p = 0, q = 0;
    int b = 0;
    for (long long k = 1; k <= m; ++k) {
        ++p;
        const int f = static_cast<unsigned char>(in[static_cast<std::size_t>(p - 1)]) - 59;
        int t = 0;
        if (k % 3 == 1) {
            q = std::min(q + 4, length);
            b = static_cast<unsigned char>(in[static_cast<std::size_t>(q - 1)]) - 59;
            t = ((b / 16) & 3) * 64;
        } else if (k % 3 == 2) {
            t = ((b / 4) & 3) * 64;
        } else {
            t = (b & 3) * 64;
            ++p;
        }
        const int code = t | f;
        if (f < 0) return std::nullopt;
        out[static_cast<std::size_t>(k - 1)] = static_cast<char>(code);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    kerfo::cipher::Cipher c;
    c.Text(text);
    bool failed = false;
    try {
        c.Shrink();
    } catch (const kerfo::platform::RuntimeError& error) {
        if (error.code() != 5) broken("Shrink failed with another error than 5");
        failed = true;
    }
    outcomes().add(failed ? kRefused : kShrunk);
    const auto expected = shrinkByTheRules(text);
    if (failed != !expected) broken("Shrink and the rules disagree on failing");
    if (failed && c.Text() != text) broken("a failed Shrink changed the text");
    if (!failed && c.Text() != *expected) broken("Shrink differs from the rules");

    kerfo::cipher::Cipher round;
    round.Text(text);
    round.Stretch();
    if (round.Text().size() != text.size() + (text.size() + 2) / 3) broken("stretched length");
    for (const char ch : round.Text()) {
        if (ch < 59 || ch > 122) broken("stretched character outside 59..122");
    }
    if (!text.empty()) {
        round.Shrink();
        if (round.Text() != text) broken("Stretch then Shrink does not give the text back");
    }
    return 0;
}
