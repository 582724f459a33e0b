#include "platform/file_system.h"

#include <cstdio>
#include <mutex>
#include <random>

namespace kerfo::platform {

std::string directoryOf(const std::string& path) {
#ifdef _WIN32
    const auto slash = path.find_last_of("\\/");
#else
    const auto slash = path.find_last_of('/');
#endif
    if (slash == std::string::npos) return ".";
    if (slash == 0) return path.substr(0, 1);
#ifdef _WIN32
    if (slash == 2 && path[1] == ':') return path.substr(0, 3);  // "C:\x" lives in "C:\"
#endif
    return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
#ifdef _WIN32
    const auto slash = path.find_last_of("\\/");
#else
    const auto slash = path.find_last_of('/');
#endif
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

constexpr std::string_view kTempPrefix = ".kerfo-";
constexpr std::string_view kTempSuffix = ".tmp";
constexpr std::size_t kRandomDigits = 16;
constexpr std::size_t kTagDigits = 8;

// The tag that ties a name's random part to Kerfo (FNV-1a over a fixed text and the part).
std::uint32_t tagOf(std::string_view randomPart) {
    std::uint32_t hash = 2166136261u;
    for (const char ch : std::string_view("kerfo temporary file ")) hash = (hash ^ static_cast<unsigned char>(ch)) * 16777619u;
    for (const char ch : randomPart) hash = (hash ^ static_cast<unsigned char>(ch)) * 16777619u;
    return hash;
}

bool isLowerHex(std::string_view text) {
    for (const char ch : text) {
        if (!((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f'))) return false;
    }
    return true;
}

}  // namespace

std::string temporaryName() {
    static std::mutex mutex;
    static std::mt19937_64 generator{[] {
        std::random_device device;
        return (static_cast<std::uint64_t>(device()) << 32) ^ device();
    }()};
    std::uint64_t value = 0;
    {
        const std::lock_guard lock(mutex);
        value = generator();
    }
    char random[kRandomDigits + 1];
    std::snprintf(random, sizeof random, "%016llx", static_cast<unsigned long long>(value));
    char tag[kTagDigits + 1];
    std::snprintf(tag, sizeof tag, "%08lx", static_cast<unsigned long>(tagOf(random)));
    std::string name(kTempPrefix);
    name += random;
    name += '-';
    name += tag;
    name += kTempSuffix;
    return name;
}

bool isTemporaryName(std::string_view name) {
    if (name.size() != kTempPrefix.size() + kRandomDigits + 1 + kTagDigits + kTempSuffix.size()) return false;
    if (name.substr(0, kTempPrefix.size()) != kTempPrefix) return false;
    if (name.substr(name.size() - kTempSuffix.size()) != kTempSuffix) return false;
    const std::string_view random = name.substr(kTempPrefix.size(), kRandomDigits);
    const std::string_view tag = name.substr(kTempPrefix.size() + kRandomDigits + 1, kTagDigits);
    if (name[kTempPrefix.size() + kRandomDigits] != '-' || !isLowerHex(random) || !isLowerHex(tag)) return false;
    char expected[kTagDigits + 1];
    std::snprintf(expected, sizeof expected, "%08lx", static_cast<unsigned long>(tagOf(random)));
    return tag == expected;
}

}  // namespace kerfo::platform
