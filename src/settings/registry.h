// Access to keys of the settings store by one text path: root name, backslash, sub-key
// ("HKEY_CURRENT_USER\Software\Tarnwick\Kerfo"). Every operation splits the path afresh,
// opens or creates the key, does its one access and closes the key again.
//
// Store failures are silent: they only change the last result code, which nobody needs to
// read. The one thing shown to the user is the "Incorrect Format:" box for a malformed path.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "texts/message.h"
#include "settings/store.h"

namespace kerfo::settings {

// The size of the buffer a value is read into: values of up to 254 characters plus their
// terminator can be read.
inline constexpr std::uint32_t kReadBufferSize = 255;

class Registry {
public:
    // `store` and `messages` must outlive the object.
    Registry(StoreBackend& store, texts::MessageSink& messages);

    // The handle of one of the seven predefined root names (exact, case-sensitive match of
    // the whole text), else 0.
    static KeyHandle GetRootKey(std::string_view rootName);

    // Validates `keyPath`: it must begin with exactly "HKEY_" and must not end in a
    // backslash. Malformed: shows "Incorrect Format:", two line feeds and the path (no icon,
    // no title), sets `rootHandle` to 0 and leaves `keyPath` alone. Otherwise sets
    // `rootHandle` to the root of the text before the first backslash (0 for an unknown
    // name, silently) and replaces `keyPath` with everything after that backslash (empty
    // when there is none).
    void SplitKeyPath(std::string& keyPath, KeyHandle& rootHandle);

    // Reads string value `valueName` of the key at `keyPath`. Result: std::nullopt (the
    // empty result, which converts to 0) when the path yields no root; "Error" when the key
    // cannot be opened or the value cannot be read (missing, or 255 bytes or more with its
    // terminator); otherwise the value with leading spaces removed. Throws
    // platform::RuntimeError 5 when the stored bytes are empty or only spaces.
    std::optional<std::string> GetKeyValue(std::string keyPath, const std::string& valueName);

    // Creates the key at `keyPath` and every missing key above it; an existing key is left
    // as it is. No result; failures only set the last result code.
    void CreateNewKey(std::string keyPath);

    // Writes `value` as string value `valueName` of the existing key at `keyPath`. A missing
    // key is not created: nothing is written. No result; failures only set the last result code.
    void SetKeyValue(std::string keyPath, const std::string& valueName, const std::string& value);

    // The module state, for diagnosis and tests.
    KeyHandle rootHandle() const { return m_rootHandle; }
    KeyHandle openKeyHandle() const { return m_openKeyHandle; }
    std::int32_t lastResult() const { return m_lastResult; }

private:
    StoreBackend& m_store;
    texts::MessageSink& m_messages;

    KeyHandle m_rootHandle = 0;
    KeyHandle m_openKeyHandle = 0;
    std::int32_t m_lastResult = 0;
    std::string m_readBuffer;
    std::uint32_t m_readLength = 0;
};

}  // namespace kerfo::settings
