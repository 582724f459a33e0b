// The settings file on POSIX systems. Built everywhere but Windows, whose store is the
// registry (win_store.cpp).
#include "settings/file_store.h"

#include <cstring>
#include <functional>
#include <utility>

#include "platform/config_files.h"

namespace kerfo::settings {

namespace {

constexpr std::string_view kLockFileName = "settings.lock";
constexpr std::string_view kTempFileName = "settings.ini.tmp";
constexpr std::size_t kMaxNameLength = 255;

// The one place where a failed file call of the store becomes the registry's code.
std::int32_t codeFor(const platform::Status& status) {
    if (status) return kOk;
    switch (status.error().number()) {
        case platform::ErrorNumber::kPermissionDenied:
            return kAccessDenied;
        case platform::ErrorNumber::kDiskFull:
            return kDiskFull;
        default: return kCantWrite;
    }
}

// A name as the store sees it: the text up to its first NUL.
std::string_view cString(const std::string& text) {
    return std::string_view(text.c_str());
}

}  // namespace

FileStore::FileStore(std::filesystem::path directory) : m_directory(std::move(directory)) {}

std::filesystem::path FileStore::defaultDirectory() {
    const auto home = platform::userConfigHome();
    return home.empty() ? home : home / "kerfo";
}

std::filesystem::path FileStore::filePath() const {
    return m_directory.empty() ? std::filesystem::path() : m_directory / kStoreFileName;
}

FileStore::Loaded FileStore::load() const {
    Loaded loaded;
    if (m_directory.empty()) return loaded;
    const auto text = platform::readSmallFile(filePath(), kMaxStoreFileSize);
    if (!text) {
        loaded.replaceable = false;
    } else if (*text) {
        if (auto tree = KeyTree::parse(**text)) loaded.tree = std::move(*tree);
    }
    return loaded;
}

std::int32_t FileStore::save(const KeyTree& tree) const {
    return codeFor(platform::replaceFile(filePath(), m_directory / kTempFileName, tree.format()));
}

std::int32_t FileStore::lockAndLoad(const std::function<std::int32_t(Loaded&)>& change) const {
    if (m_directory.empty()) return kAccessDenied;
    if (const auto made = platform::makePrivateDirectories(m_directory); !made)
        return codeFor(made);
    const platform::ExclusiveFileLock lock(m_directory / kLockFileName);
    if (!lock.status()) return codeFor(lock.status());
    auto loaded = load();
    return change(loaded);
}

std::int32_t FileStore::keyPath(KeyHandle key, std::string& path) const {
    if (const auto root = rootName(key); !root.empty()) {
        path = root;
        return kOk;
    }
    const auto it = m_open.find(key);
    if (it == m_open.end()) return kInvalidHandle;
    path = it->second;
    return kOk;
}

std::int32_t FileStore::resolve(KeyHandle parent, const std::string& subKey, std::string& path) const {
    if (const auto root = rootName(parent); !root.empty()) {
        path = root;
    } else if (const auto it = m_open.find(parent); it != m_open.end()) {
        path = it->second;
    } else {
        return kInvalidHandle;
    }
    const auto sub = cString(subKey);
    if (sub.empty()) return kOk;
    std::size_t start = 0;
    for (;;) {
        const auto end = sub.find('\\', start);
        const auto part = sub.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (part.empty()) return kBadPathname;
        if (part.size() > kMaxNameLength) return kInvalidParameter;
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    path += '\\';
    path += sub;
    return kOk;
}

KeyHandle FileStore::remember(std::string path) {
    // Handles stay below the roots' range and never repeat one still open.
    while (m_nextHandle == 0 || m_nextHandle >= kHkeyClassesRoot || m_open.count(m_nextHandle) != 0) {
        m_nextHandle = m_nextHandle >= kHkeyClassesRoot ? 1 : m_nextHandle + 1;
    }
    const KeyHandle handle = m_nextHandle++;
    m_open.emplace(handle, std::move(path));
    return handle;
}

std::int32_t FileStore::openKey(KeyHandle parent, const std::string& subKey, std::uint32_t /*access*/,
                                KeyHandle& key) {
    key = 0;
    std::string path;
    if (const auto code = resolve(parent, subKey, path); code != kOk) return code;
    // A root always exists; any other key only once it has been created.
    if (path.find('\\') != std::string::npos && load().tree.find(path) == nullptr) return kNotFound;
    key = remember(std::move(path));
    return kOk;
}

std::int32_t FileStore::createKey(KeyHandle parent, const std::string& subKey, KeyHandle& key) {
    key = 0;
    std::string path;
    if (const auto code = resolve(parent, subKey, path); code != kOk) return code;
    const auto code = lockAndLoad([&](Loaded& loaded) {
        bool changed = false;
        loaded.tree.create(path, &changed);
        if (!changed) return kOk;
        if (!loaded.replaceable) return kCantRead;
        return save(loaded.tree);
    });
    if (code != kOk) return code;
    key = remember(std::move(path));
    return kOk;
}

std::int32_t FileStore::queryValue(KeyHandle key, const std::string& valueName, std::uint32_t& type,
                                   char* data, std::uint32_t& length) {
    std::string path;
    if (const auto code = keyPath(key, path); code != kOk) return code;
    const auto loaded = load();
    const StoredKey* stored = loaded.tree.find(path);
    if (stored == nullptr) return path.find('\\') == std::string::npos ? kNotFound : kKeyDeleted;
    const StoredValue* value = stored->findValue(cString(valueName));
    if (value == nullptr) return kNotFound;

    std::string bytes = value->data;
    // Strings are kept without their terminator and always handed back with it.
    if (value->type == kRegSz) bytes += '\0';
    type = value->type;
    const auto needed = static_cast<std::uint32_t>(bytes.size());
    if (data == nullptr) {
        length = needed;
        return kOk;
    }
    if (needed > length) {
        length = needed;
        return kMoreData;
    }
    // A value's bytes and their count, its terminator (for a string) already among them.
    std::memcpy(data, bytes.data(), bytes.size());  // NOLINT(bugprone-not-null-terminated-result)
    length = needed;
    return kOk;
}

std::int32_t FileStore::setValue(KeyHandle key, const std::string& valueName, std::uint32_t type,
                                 const char* data, std::uint32_t length) {
    std::string path;
    if (const auto code = keyPath(key, path); code != kOk) return code;
    if (data == nullptr && length != 0) return kInvalidParameter;
    std::string bytes = length == 0 ? std::string() : std::string(data, length);
    // A caller that counted the terminator gets the same value as one that did not.
    if (type == kRegSz && !bytes.empty() && bytes.back() == '\0') bytes.pop_back();

    return lockAndLoad([&](Loaded& loaded) {
        if (!loaded.replaceable) return kCantRead;
        StoredKey* stored = loaded.tree.find(path);
        if (stored == nullptr) {
            if (path.find('\\') != std::string::npos) return kKeyDeleted;
            stored = &loaded.tree.create(path);
        }
        stored->setValue(cString(valueName), type, std::move(bytes));
        return save(loaded.tree);
    });
}

std::int32_t FileStore::closeKey(KeyHandle key) {
    if (!rootName(key).empty()) return kOk;
    return m_open.erase(key) != 0 ? kOk : kInvalidHandle;
}

std::unique_ptr<StoreBackend> openUserStore() {
    return std::make_unique<FileStore>(FileStore::defaultDirectory());
}

}  // namespace kerfo::settings
