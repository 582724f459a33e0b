// The settings file's parser on arbitrary text.
//
// Holds when: parsing never crashes; a text that parses formats to a text that parses
// again into the same keys and values (so saving what was read never loses anything),
// and formatting is stable from then on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/key_tree.h"
#include "invariant.h"

namespace {

using kerfo::fuzz::broken;

enum Outcome { kParsed, kRefused };
kerfo::fuzz::Outcomes<2>& outcomes() {
    static kerfo::fuzz::Outcomes<2> counts({"parsed", "refused"});
    return counts;
}

bool sameContent(const kerfo::settings::KeyTree& a, const kerfo::settings::KeyTree& b) {
    if (a.keys().size() != b.keys().size()) return false;
    for (const auto& [folded, key] : a.keys()) {
        const auto* other = b.find(key.path);
        if (other == nullptr || other->path != key.path || other->values.size() != key.values.size()) {
            return false;
        }
        for (std::size_t i = 0; i < key.values.size(); ++i) {
            const auto& x = key.values[i];
            const auto& y = other->values[i];
            if (x.name != y.name || x.type != y.type || x.data != y.data) return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto tree = kerfo::settings::KeyTree::parse(text);
    outcomes().add(tree ? kParsed : kRefused);
    if (!tree) return 0;
    const std::string formatted = tree->format();
    const auto again = kerfo::settings::KeyTree::parse(formatted);
    if (!again) broken("a formatted tree does not parse");
    if (!sameContent(*tree, *again)) broken("keys or values changed through format and parse");
    if (again->format() != formatted) broken("formatting is not stable");
    return 0;
}
