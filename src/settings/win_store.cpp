// The settings store on Windows: the registry itself. Built only for Windows. Registry
// key handles are pointer-sized there, so open keys are handed out as small numbers and
// translated back on each call.
#ifdef _WIN32

#include <map>
#include <memory>
#include <string>

#include "platform/registry_win.h"
#include "settings/store.h"

namespace kerfo::settings {

namespace {

namespace registry = platform::registry;
constexpr std::int32_t kSuccess = 0;

class WindowsStore final : public StoreBackend {
public:
    ~WindowsStore() override {
        for (const auto& [handle, hkey] : m_open) registry::closeKey(hkey);
    }

    std::int32_t openKey(KeyHandle parent, const std::string& subKey, std::uint32_t access,
                         KeyHandle& key) override {
        key = 0;
        registry::Key base = toHkey(parent);
        if (base == nullptr) return kInvalidHandle;
        registry::Key opened = nullptr;
        const std::int32_t result = registry::openKey(base, subKey.c_str(), access, opened);
        if (result == kSuccess) key = remember(opened);
        return result;
    }

    std::int32_t createKey(KeyHandle parent, const std::string& subKey, KeyHandle& key) override {
        key = 0;
        registry::Key base = toHkey(parent);
        if (base == nullptr) return kInvalidHandle;
        registry::Key created = nullptr;
        const std::int32_t result = registry::createKey(base, subKey.c_str(), created);
        if (result == kSuccess) key = remember(created);
        return result;
    }

    std::int32_t queryValue(KeyHandle key, const std::string& valueName, std::uint32_t& type, char* data,
                            std::uint32_t& length) override {
        registry::Key hkey = toHkey(key);
        if (hkey == nullptr) return kInvalidHandle;
        return registry::queryValue(hkey, valueName.c_str(), type, data, length);
    }

    std::int32_t setValue(KeyHandle key, const std::string& valueName, std::uint32_t type, const char* data,
                          std::uint32_t length) override {
        registry::Key hkey = toHkey(key);
        if (hkey == nullptr) return kInvalidHandle;
        // A string is handed over without its terminator, but must read back with it (the
        // reader drops the last byte it gets): store it with one.
        std::string text;
        if (type == kRegSz && (length == 0 || data[length - 1] != '\0')) {
            text.assign(data, length);
            text.push_back('\0');
            data = text.data();
            length = static_cast<std::uint32_t>(text.size());
        }
        return registry::setValue(hkey, valueName.c_str(), type, data, length);
    }

    std::int32_t closeKey(KeyHandle key) override {
        if (key >= kHkeyClassesRoot && key <= kHkeyDynData) return kOk;
        const auto it = m_open.find(key);
        if (it == m_open.end()) return kInvalidHandle;
        const std::int32_t result = registry::closeKey(it->second);
        m_open.erase(it);
        return result;
    }

private:
    registry::Key toHkey(KeyHandle handle) const {
        if (handle >= kHkeyClassesRoot && handle <= kHkeyDynData) return registry::predefinedKey(handle);
        const auto it = m_open.find(handle);
        return it == m_open.end() ? nullptr : it->second;
    }

    KeyHandle remember(registry::Key hkey) {
        while (m_next == 0 || m_next >= kHkeyClassesRoot || m_open.count(m_next) != 0) {
            m_next = m_next >= kHkeyClassesRoot ? 1 : m_next + 1;
        }
        const KeyHandle handle = m_next++;
        m_open.emplace(handle, hkey);
        return handle;
    }

    std::map<KeyHandle, registry::Key> m_open;
    KeyHandle m_next = 1;
};

}  // namespace

std::unique_ptr<StoreBackend> openUserStore() { return std::make_unique<WindowsStore>(); }

}  // namespace kerfo::settings

#endif  // _WIN32
