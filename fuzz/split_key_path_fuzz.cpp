// SplitKeyPath on arbitrary paths, and a value written and read back under them.
// Input: the path, then optionally a NUL and a value.
//
// Holds when: a path is refused (one "Incorrect Format:" box with the path, root 0, path
// unchanged) exactly when it does not begin with "HKEY_" or ends in a backslash; otherwise
// the root is that of the text before the first backslash and the path becomes the rest;
// no key stays open; a value without leading spaces, without NULs and of 1..254
// characters reads back as written under a known root.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fakes/memory_store.h"
#include "fakes/recording_sink.h"
#include "platform/error.h"
#include "settings/registry.h"
#include "invariant.h"

namespace {

using kerfo::fuzz::broken;

enum Outcome { kReadBack, kNotReadable, kMalformed };
kerfo::fuzz::Outcomes<3>& outcomes() {
    static kerfo::fuzz::Outcomes<3> counts({"read back", "not readable", "malformed"});
    return counts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const auto nul = input.find('\0');
    const std::string path = input.substr(0, nul);
    const std::string value = nul == std::string::npos ? std::string() : input.substr(nul + 1);

    kerfo::test::MemoryStore store;
    kerfo::test::RecordingSink messages;
    kerfo::settings::Registry registry(store, messages);

    std::string keyPath = path;
    kerfo::settings::KeyHandle root = 12345;
    registry.SplitKeyPath(keyPath, root);
    const bool malformed = path.compare(0, 5, "HKEY_") != 0 || path.size() < 5 ||
                           (!path.empty() && path.back() == '\\');
    if (malformed) {
        outcomes().add(kMalformed);
        if (messages.messages.size() != 1 || messages.messages[0].text != "Incorrect Format:\n\n" + path) {
            broken("format message");
        }
        if (root != 0 || keyPath != path) broken("malformed path changed the results");
        return 0;
    }
    if (!messages.messages.empty()) broken("message for a well-formed path");
    const auto backslash = path.find('\\');
    const std::string rootName = path.substr(0, backslash);
    const std::string rest = backslash == std::string::npos ? std::string() : path.substr(backslash + 1);
    if (root != kerfo::settings::Registry::GetRootKey(rootName)) broken("root handle");
    if (keyPath != rest) broken("sub-key");

    // A round trip through the store under this path.
    registry.CreateNewKey(path);
    registry.SetKeyValue(path, "V", value);
    std::optional<std::string> back;
    bool threw = false;
    try {
        back = registry.GetKeyValue(path, "V");
    } catch (const kerfo::platform::RuntimeError&) {
        threw = true;
    }
    if (store.openCount() != 0) broken("a key left open");
    const bool readable = !value.empty() && value.size() <= 254 && value.front() != ' ' &&
                          value.find('\0') == std::string::npos;
    outcomes().add(back && *back == value ? kReadBack : kNotReadable);
    if (root == 0) {
        if (back || threw) broken("a read under no root gave something");
    } else if (readable && (threw || !back || *back != value)) {
        broken("value did not read back");
    }
    return 0;
}
