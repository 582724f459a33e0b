// The contents of the settings file: every key by its full path, root name first
// ("HKEY_CURRENT_USER\Software\Tarnwick\Kerfo"), with its values. Keys and value names
// match without regard to ASCII letter case, as the platform store does; the spelling
// used when a key or value was first made is kept.
//
// Text form, one item a line, lines ending in LF:
//
//   # Kerfo settings store, format 1            <- required first line
//   # any other line starting with '#' or ';' is a comment; blank lines are ignored
//   [HKEY_CURRENT_USER\Software]                <- a key, which exists even with no values
//   [HKEY_CURRENT_USER\Software\Tarnwick\Kerfo]
//   Left=1200                                   <- a string value of the key above
//   Raw:3=%00%FF                                <- a value of another type (3 = binary)
//
// Every field is written byte for byte except these, which are written as %HH (two hex
// digits): '%', control characters and bytes from 127 up, a space at either end of a field,
// '=' and ':' in value names, '[' ']' in key paths, and '#' ';' '[' at the start of a value
// name. So any byte string, newlines and non-UTF-8 included, round-trips. A string value is
// kept without its terminator. The keys above a key always exist: reading adds any missing.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/store.h"

namespace kerfo::settings {

// The first line of every settings file.
inline constexpr std::string_view kStoreHeader = "# Kerfo settings store, format 1";

struct StoredValue {
    std::string name;
    std::uint32_t type = kRegSz;
    std::string data;
};

struct StoredKey {
    std::string path;
    std::vector<StoredValue> values;  // in the order they were first written

    // The value named `name` (any letter case), or null.
    const StoredValue* findValue(std::string_view name) const;
    // Adds or replaces value `name`; a replaced value keeps its spelling and place.
    void setValue(std::string_view name, std::uint32_t type, std::string data);
};

// `text` with ASCII letters in lower case: the form names are compared in.
std::string foldCase(std::string_view text);

class KeyTree {
public:
    // The key at `path` (any letter case), or null.
    const StoredKey* find(std::string_view path) const;
    StoredKey* find(std::string_view path);

    // Records the key at `path` and every key above it. Returns the key and whether
    // anything new was recorded.
    StoredKey& create(std::string_view path, bool* changed = nullptr);

    const std::map<std::string, StoredKey>& keys() const { return m_keys; }

    // The text form described above.
    std::string format() const;
    // Reads the text form; std::nullopt when the text is not a well-formed settings file
    // (wrong first line, a line that is no key, value, comment or blank, a value before the
    // first key, a bad %HH, a bad type, or a last line without its line feed).
    static std::optional<KeyTree> parse(std::string_view text);

private:
    std::map<std::string, StoredKey> m_keys;  // by folded path
};

}  // namespace kerfo::settings
