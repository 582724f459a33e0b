#include "settings/registry.h"

#include <array>
#include <utility>

#include "platform/error.h"
#include "texts/texts.h"

namespace kerfo::settings {

namespace {

struct RootEntry {
    std::string_view name;
    KeyHandle handle;
};

// Compared in this order; the first match wins.
constexpr std::array<RootEntry, 7> kRoots{{
    {"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
    {"HKEY_CURRENT_USER", kHkeyCurrentUser},
    {"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
    {"HKEY_USERS", kHkeyUsers},
    {"HKEY_PERFORMANCE_DATA", kHkeyPerformanceData},
    {"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig},
    {"HKEY_DYN_DATA", kHkeyDynData},
}};

constexpr std::string_view kRootPrefix = "HKEY_";
constexpr std::string_view kErrorText = "Error";

}  // namespace

std::string_view rootName(KeyHandle root) {
    for (const auto& entry : kRoots) {
        if (entry.handle == root) return entry.name;
    }
    return {};
}

Registry::Registry(StoreBackend& store, texts::MessageSink& messages)
    : m_store(store), m_messages(messages) {}

KeyHandle Registry::GetRootKey(std::string_view rootName) {
    for (const auto& entry : kRoots) {
        if (entry.name == rootName) return entry.handle;
    }
    return 0;
}

void Registry::SplitKeyPath(std::string& keyPath, KeyHandle& rootHandle) {
    const auto backslash = keyPath.find('\\');
    const bool malformed = keyPath.substr(0, kRootPrefix.size()) != kRootPrefix ||
                           (!keyPath.empty() && keyPath.back() == '\\');
    if (malformed) {
        std::string text(texts::kIncorrectFormat);
        text += "\n\n";
        text += keyPath;
        m_messages.show(texts::Message{std::move(text), texts::Icon::kNone, std::nullopt});
        rootHandle = 0;
        return;
    }
    if (backslash == std::string::npos) {
        rootHandle = GetRootKey(keyPath);
        keyPath.clear();
        return;
    }
    rootHandle = GetRootKey(std::string_view(keyPath).substr(0, backslash));
    keyPath.erase(0, backslash + 1);
}

std::optional<std::string> Registry::GetKeyValue(std::string keyPath, const std::string& valueName) {
    SplitKeyPath(keyPath, m_rootHandle);
    if (m_rootHandle == 0) return std::nullopt;

    m_lastResult = m_store.openKey(m_rootHandle, keyPath, kKeyRead, m_openKeyHandle);
    if (m_lastResult != kOk) return std::string(kErrorText);

    m_readBuffer.assign(kReadBufferSize, ' ');
    m_readLength = static_cast<std::uint32_t>(m_readBuffer.size());
    // Asked for a string, but whatever type the value has is read as it is.
    std::uint32_t type = kRegSz;
    m_lastResult = m_store.queryValue(m_openKeyHandle, valueName, type, m_readBuffer.data(), m_readLength);
    if (m_lastResult != kOk) {
        m_lastResult = m_store.closeKey(m_openKeyHandle);
        return std::string(kErrorText);
    }
    m_lastResult = m_store.closeKey(m_openKeyHandle);

    // The whole buffer, not the returned length: the spaces it was filled with fall away
    // in the trim, and the last character left is the string's terminator.
    const auto first = m_readBuffer.find_first_not_of(' ');
    if (first == std::string::npos) {
        throw platform::RuntimeError(platform::ErrorNumber::kInvalidCall);
    }
    const auto last = m_readBuffer.find_last_not_of(' ');
    return m_readBuffer.substr(first, last - first);
}

void Registry::CreateNewKey(std::string keyPath) {
    SplitKeyPath(keyPath, m_rootHandle);
    if (m_rootHandle == 0) return;
    m_lastResult = m_store.createKey(m_rootHandle, keyPath, m_openKeyHandle);
    if (m_lastResult == kOk) m_lastResult = m_store.closeKey(m_openKeyHandle);
}

void Registry::SetKeyValue(std::string keyPath, const std::string& valueName, const std::string& value) {
    SplitKeyPath(keyPath, m_rootHandle);
    if (m_rootHandle == 0) return;
    // Opened, not created: the key must exist already.
    m_lastResult = m_store.openKey(m_rootHandle, keyPath, kKeyWrite, m_openKeyHandle);
    if (m_lastResult != kOk) return;
    m_lastResult = m_store.setValue(m_openKeyHandle, valueName, kRegSz, value.data(),
                                    static_cast<std::uint32_t>(value.size()));
    m_lastResult = m_store.closeKey(m_openKeyHandle);
}

}  // namespace kerfo::settings
