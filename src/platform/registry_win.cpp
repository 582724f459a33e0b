#include "platform/registry_win.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace kerfo::platform::registry {
namespace {

HKEY hkey(Key key) { return static_cast<HKEY>(key); }

}  // namespace

Key predefinedKey(std::uint32_t root) {
    switch (root) {
        case 0x80000000u: return HKEY_CLASSES_ROOT;
        case 0x80000001u: return HKEY_CURRENT_USER;
        case 0x80000002u: return HKEY_LOCAL_MACHINE;
        case 0x80000003u: return HKEY_USERS;
        case 0x80000004u: return HKEY_PERFORMANCE_DATA;
        case 0x80000005u: return HKEY_CURRENT_CONFIG;
        case 0x80000006u: return HKEY_DYN_DATA;
        default: return nullptr;
    }
}

std::int32_t openKey(Key base, const char* subKey, std::uint32_t access, Key& opened) {
    HKEY result = nullptr;
    const LONG code = ::RegOpenKeyExA(hkey(base), subKey, 0, access, &result);
    opened = result;
    return static_cast<std::int32_t>(code);
}

std::int32_t createKey(Key base, const char* subKey, Key& created) {
    HKEY result = nullptr;
    const LONG code = ::RegCreateKeyA(hkey(base), subKey, &result);
    created = result;
    return static_cast<std::int32_t>(code);
}

std::int32_t queryValue(Key key, const char* name, std::uint32_t& type, char* data,
                        std::uint32_t& length) {
    DWORD valueType = type;
    DWORD size = length;
    const LONG code = ::RegQueryValueExA(hkey(key), name, nullptr, &valueType,
                                         reinterpret_cast<BYTE*>(data), &size);
    type = valueType;
    length = size;
    return static_cast<std::int32_t>(code);
}

std::int32_t setValue(Key key, const char* name, std::uint32_t type, const char* data,
                      std::uint32_t length) {
    return static_cast<std::int32_t>(
        ::RegSetValueExA(hkey(key), name, 0, type, reinterpret_cast<const BYTE*>(data), length));
}

std::int32_t closeKey(Key key) { return static_cast<std::int32_t>(::RegCloseKey(hkey(key))); }

}  // namespace kerfo::platform::registry
