// The registry calls of Windows, for the settings store there. Keys are the system's own
// handles, passed as opaque pointers so that callers need not include <windows.h>; every
// call returns the system's result code (0 for success) unchanged. Windows only.
#pragma once

#include <cstdint>

namespace kerfo::platform::registry {

using Key = void*;

// The predefined key numbered `root` (0x80000000 for HKEY_CLASSES_ROOT up to 0x80000006
// for HKEY_DYN_DATA), or nullptr for any other number.
Key predefinedKey(std::uint32_t root);

// Opens `subKey` below `base`; on success `opened` must be closed with closeKey.
std::int32_t openKey(Key base, const char* subKey, std::uint32_t access, Key& opened);
// Opens `subKey` below `base`, creating it and every missing key above it first.
std::int32_t createKey(Key base, const char* subKey, Key& created);
// Reads a value: `length` is the room in `data` on entry and the value's size on return;
// `data` may be null to ask for the size.
std::int32_t queryValue(Key key, const char* name, std::uint32_t& type, char* data,
                        std::uint32_t& length);
std::int32_t setValue(Key key, const char* name, std::uint32_t type, const char* data,
                      std::uint32_t length);
std::int32_t closeKey(Key key);

}  // namespace kerfo::platform::registry
