// The per-user settings store as the key-path layer sees it: five operations in the
// shape of the platform's registry calls, each returning 0 for success and a non-zero
// code for its failure. On Windows the store is the registry itself; elsewhere it is a
// text file in the user's configuration folder (see file_store.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kerfo::settings {

// A key handle. The predefined roots have fixed values; an opened key gets a handle
// from the store that stays valid until it is closed. 0 means "no key".
using KeyHandle = std::uint32_t;

inline constexpr KeyHandle kHkeyClassesRoot = 0x80000000;
inline constexpr KeyHandle kHkeyCurrentUser = 0x80000001;
inline constexpr KeyHandle kHkeyLocalMachine = 0x80000002;
inline constexpr KeyHandle kHkeyUsers = 0x80000003;
inline constexpr KeyHandle kHkeyPerformanceData = 0x80000004;
inline constexpr KeyHandle kHkeyCurrentConfig = 0x80000005;
inline constexpr KeyHandle kHkeyDynData = 0x80000006;

// The root name of a predefined handle ("HKEY_CURRENT_USER"), or empty for any other value.
std::string_view rootName(KeyHandle root);

// Access masks for openKey.
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;

// Value types. Only strings are written by this program; reads do not look at the type.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegBinary = 3;

// Result codes, numbered as the platform numbers them so that the Windows store can pass
// its own results through unchanged.
inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kNotFound = 2;          // no such key or value
inline constexpr std::int32_t kAccessDenied = 5;      // the store may not be written
inline constexpr std::int32_t kInvalidHandle = 6;     // not an open key nor a root
inline constexpr std::int32_t kDiskFull = 112;
inline constexpr std::int32_t kInvalidParameter = 87; // a name the store cannot hold
inline constexpr std::int32_t kBadPathname = 161;     // empty part in a sub-key path
inline constexpr std::int32_t kMoreData = 234;        // the value does not fit the buffer
inline constexpr std::int32_t kCantRead = 1012;       // the store could not be read
inline constexpr std::int32_t kCantWrite = 1013;      // the store could not be written
inline constexpr std::int32_t kKeyDeleted = 1018;     // the open key no longer exists

// Names (sub-keys and value names) are C strings: anything from a NUL on is ignored.
// Key and value names match without regard to letter case; a sub-key may hold several
// levels separated by backslashes.
class StoreBackend {
public:
    virtual ~StoreBackend() = default;

    // Opens `subKey` below `parent` (a root or an open key); an empty sub-key opens the
    // parent itself. On success sets `key` to a new handle; on failure sets it to 0.
    // Fails with kNotFound when the key does not exist.
    virtual std::int32_t openKey(KeyHandle parent, const std::string& subKey,
                                 std::uint32_t access, KeyHandle& key) = 0;

    // Opens `subKey` below `parent`, first creating it and every missing key above it.
    // An existing key is opened unchanged. Sets `key` as openKey does.
    virtual std::int32_t createKey(KeyHandle parent, const std::string& subKey, KeyHandle& key) = 0;

    // Reads value `valueName` of the open `key`. `length` is the size of `data` on entry and
    // the value's size in bytes on return; a string value comes back with its terminating
    // NUL. On success the value's bytes are written over the start of `data` (the rest is
    // untouched) and `type` is set to the value's type. A value larger than `length` fails
    // with kMoreData, a missing one with kNotFound; `data` may be null to ask for the size.
    virtual std::int32_t queryValue(KeyHandle key, const std::string& valueName,
                                    std::uint32_t& type, char* data, std::uint32_t& length) = 0;

    // Writes value `valueName` of the open `key`: `length` bytes of `data` as type `type`,
    // replacing any value of that name. A string needs no terminator in `length`.
    virtual std::int32_t setValue(KeyHandle key, const std::string& valueName, std::uint32_t type,
                                  const char* data, std::uint32_t length) = 0;

    // Releases an open key; closing a root succeeds and does nothing.
    virtual std::int32_t closeKey(KeyHandle key) = 0;
};

// The current user's store on this platform: the registry on Windows, the settings file
// in the user's configuration folder elsewhere. Never fails; a store that cannot be
// reached answers every call with a failure code.
std::unique_ptr<StoreBackend> openUserStore();

}  // namespace kerfo::settings
