// The settings store on Windows: the registry itself, through advapi32. Built only for
// Windows. Registry key handles are pointer-sized there, so open keys are handed out as
// small numbers and translated back on each call.
#ifdef _WIN32

#include <map>
#include <memory>
#include <string>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "settings/store.h"

namespace kerfo::settings {

namespace {

class WindowsStore final : public StoreBackend {
public:
    ~WindowsStore() override {
        for (const auto& [handle, hkey] : m_open) ::RegCloseKey(hkey);
    }

    std::int32_t openKey(KeyHandle parent, const std::string& subKey, std::uint32_t access,
                         KeyHandle& key) override {
        key = 0;
        HKEY base = toHkey(parent);
        if (base == nullptr) return kInvalidHandle;
        HKEY opened = nullptr;
        const LONG result = ::RegOpenKeyExA(base, subKey.c_str(), 0, access, &opened);
        if (result == ERROR_SUCCESS) key = remember(opened);
        return static_cast<std::int32_t>(result);
    }

    std::int32_t createKey(KeyHandle parent, const std::string& subKey, KeyHandle& key) override {
        key = 0;
        HKEY base = toHkey(parent);
        if (base == nullptr) return kInvalidHandle;
        HKEY created = nullptr;
        const LONG result = ::RegCreateKeyA(base, subKey.c_str(), &created);
        if (result == ERROR_SUCCESS) key = remember(created);
        return static_cast<std::int32_t>(result);
    }

    std::int32_t queryValue(KeyHandle key, const std::string& valueName, std::uint32_t& type, char* data,
                            std::uint32_t& length) override {
        HKEY hkey = toHkey(key);
        if (hkey == nullptr) return kInvalidHandle;
        DWORD valueType = type;
        DWORD size = length;
        const LONG result = ::RegQueryValueExA(hkey, valueName.c_str(), nullptr, &valueType,
                                               reinterpret_cast<BYTE*>(data), &size);
        type = valueType;
        length = size;
        return static_cast<std::int32_t>(result);
    }

    std::int32_t setValue(KeyHandle key, const std::string& valueName, std::uint32_t type, const char* data,
                          std::uint32_t length) override {
        HKEY hkey = toHkey(key);
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
        return static_cast<std::int32_t>(::RegSetValueExA(hkey, valueName.c_str(), 0, type,
                                                          reinterpret_cast<const BYTE*>(data), length));
    }

    std::int32_t closeKey(KeyHandle key) override {
        if (key >= kHkeyClassesRoot && key <= kHkeyDynData) return kOk;
        const auto it = m_open.find(key);
        if (it == m_open.end()) return kInvalidHandle;
        const LONG result = ::RegCloseKey(it->second);
        m_open.erase(it);
        return static_cast<std::int32_t>(result);
    }

private:
    HKEY toHkey(KeyHandle handle) const {
        switch (handle) {
            case kHkeyClassesRoot: return HKEY_CLASSES_ROOT;
            case kHkeyCurrentUser: return HKEY_CURRENT_USER;
            case kHkeyLocalMachine: return HKEY_LOCAL_MACHINE;
            case kHkeyUsers: return HKEY_USERS;
            case kHkeyPerformanceData: return HKEY_PERFORMANCE_DATA;
            case kHkeyCurrentConfig: return HKEY_CURRENT_CONFIG;
            case kHkeyDynData: return HKEY_DYN_DATA;
            default: break;
        }
        const auto it = m_open.find(handle);
        return it == m_open.end() ? nullptr : it->second;
    }

    KeyHandle remember(HKEY hkey) {
        while (m_next == 0 || m_next >= kHkeyClassesRoot || m_open.count(m_next) != 0) {
            m_next = m_next >= kHkeyClassesRoot ? 1 : m_next + 1;
        }
        const KeyHandle handle = m_next++;
        m_open.emplace(handle, hkey);
        return handle;
    }

    std::map<KeyHandle, HKEY> m_open;
    KeyHandle m_next = 1;
};

}  // namespace

std::unique_ptr<StoreBackend> openUserStore() { return std::make_unique<WindowsStore>(); }

}  // namespace kerfo::settings

#endif  // _WIN32
