// The settings file on POSIX systems. Built everywhere but Windows, whose store is the
// registry (win_store.cpp).
#include "settings/file_store.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kerfo::settings {

namespace {

constexpr std::string_view kLockFileName = "settings.lock";
constexpr std::string_view kTempFileName = "settings.ini.tmp";
constexpr std::size_t kMaxNameLength = 255;

// Closes a descriptor on every way out of a scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now, reporting the result: a failed close can mean lost data.
    int close() {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result;
    }

private:
    int m_fd;
};

std::int32_t codeForErrno(int err) {
    switch (err) {
        case EACCES:
        case EPERM:
        case EROFS: return kAccessDenied;
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            return kDiskFull;
        default: return kCantWrite;
    }
}

// A name as the store sees it: the text up to its first NUL.
std::string_view cString(const std::string& text) {
    return std::string_view(text.c_str());
}

// Makes `directory` and any missing folder above it, private to the user.
int makeDirectories(const std::filesystem::path& directory) {
    std::filesystem::path partial;
    for (const auto& part : directory) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    }
    struct stat info {};
    if (::stat(directory.c_str(), &info) != 0) return errno;
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Holds the store's exclusive lock for as long as it lives.
class StoreLock {
public:
    explicit StoreLock(const std::filesystem::path& directory)
        : m_fd(::open((directory / kLockFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (!m_fd.valid()) {
            m_error = errno;
            return;
        }
        while (::flock(m_fd.get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                m_error = errno;
                return;
            }
        }
    }
    // 0 when the lock is held, else the errno of the failure.
    int error() const { return m_error; }

private:
    FileDescriptor m_fd;
    int m_error = 0;
};

}  // namespace

FileStore::FileStore(std::filesystem::path directory) : m_directory(std::move(directory)) {}

std::filesystem::path FileStore::defaultDirectory() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') return std::filesystem::path(config) / "kerfo";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return std::filesystem::path(home) / ".config" / "kerfo";
    if (const passwd* account = ::getpwuid(::getuid()); account != nullptr && account->pw_dir != nullptr &&
                                                        account->pw_dir[0] != '\0') {
        return std::filesystem::path(account->pw_dir) / ".config" / "kerfo";
    }
    return {};
}

std::filesystem::path FileStore::filePath() const {
    return m_directory.empty() ? std::filesystem::path() : m_directory / kStoreFileName;
}

FileStore::Loaded FileStore::load() const {
    Loaded loaded;
    if (m_directory.empty()) return loaded;
    // Non-blocking so that a FIFO in the file's place cannot hang the program.
    FileDescriptor fd(::open(filePath().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid()) {
        switch (errno) {
            case ENOENT:
            case ENOTDIR:
            case EACCES:
            case EPERM:
            case ELOOP:
            case EISDIR:
            case ENXIO: return loaded;
            default: loaded.replaceable = false; return loaded;
        }
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        loaded.replaceable = false;
        return loaded;
    }
    if (!S_ISREG(info.st_mode) || static_cast<std::uintmax_t>(info.st_size) > kMaxStoreFileSize) {
        return loaded;
    }
    std::string text;
    text.resize(kMaxStoreFileSize + 1);
    std::size_t total = 0;
    while (total < text.size()) {
        const auto got = ::read(fd.get(), text.data() + total, text.size() - total);
        if (got < 0) {
            if (errno == EINTR) continue;
            loaded.replaceable = false;
            return loaded;
        }
        if (got == 0) break;
        total += static_cast<std::size_t>(got);
    }
    if (total > kMaxStoreFileSize) return loaded;
    text.resize(total);
    if (auto tree = KeyTree::parse(text)) loaded.tree = std::move(*tree);
    return loaded;
}

std::int32_t FileStore::save(const KeyTree& tree) const {
    const auto temp = m_directory / kTempFileName;
    const std::string text = tree.format();
    FileDescriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd.valid()) return codeForErrno(errno);
    if (!writeAll(fd.get(), text) || ::fsync(fd.get()) != 0 || fd.close() != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return codeForErrno(err);
    }
    if (::rename(temp.c_str(), filePath().c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return codeForErrno(err);
    }
    // The rename itself must reach the disk before the change counts as made.
    FileDescriptor folder(::open(m_directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid()) ::fsync(folder.get());
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
    if (m_directory.empty()) return kAccessDenied;
    if (const int err = makeDirectories(m_directory); err != 0) return codeForErrno(err);
    StoreLock lock(m_directory);
    if (lock.error() != 0) return codeForErrno(lock.error());
    auto loaded = load();
    bool changed = false;
    loaded.tree.create(path, &changed);
    if (changed) {
        if (!loaded.replaceable) return kCantRead;
        if (const auto code = save(loaded.tree); code != kOk) return code;
    }
    key = remember(std::move(path));
    return kOk;
}

std::int32_t FileStore::queryValue(KeyHandle key, const std::string& valueName, std::uint32_t& type,
                                   char* data, std::uint32_t& length) {
    const auto it = m_open.find(key);
    const bool isRoot = !rootName(key).empty();
    if (it == m_open.end() && !isRoot) return kInvalidHandle;
    const std::string path = isRoot ? std::string(rootName(key)) : it->second;
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
    const auto it = m_open.find(key);
    const bool isRoot = !rootName(key).empty();
    if (it == m_open.end() && !isRoot) return kInvalidHandle;
    if (data == nullptr && length != 0) return kInvalidParameter;
    const std::string path = isRoot ? std::string(rootName(key)) : it->second;
    std::string bytes = length == 0 ? std::string() : std::string(data, length);
    // A caller that counted the terminator gets the same value as one that did not.
    if (type == kRegSz && !bytes.empty() && bytes.back() == '\0') bytes.pop_back();

    if (m_directory.empty()) return kAccessDenied;
    if (const int err = makeDirectories(m_directory); err != 0) return codeForErrno(err);
    StoreLock lock(m_directory);
    if (lock.error() != 0) return codeForErrno(lock.error());
    auto loaded = load();
    if (!loaded.replaceable) return kCantRead;
    StoredKey* stored = loaded.tree.find(path);
    if (stored == nullptr) {
        if (path.find('\\') != std::string::npos) return kKeyDeleted;
        stored = &loaded.tree.create(path);
    }
    stored->setValue(cString(valueName), type, std::move(bytes));
    return save(loaded.tree);
}

std::int32_t FileStore::closeKey(KeyHandle key) {
    if (!rootName(key).empty()) return kOk;
    return m_open.erase(key) != 0 ? kOk : kInvalidHandle;
}

std::unique_ptr<StoreBackend> openUserStore() {
    return std::make_unique<FileStore>(FileStore::defaultDirectory());
}

}  // namespace kerfo::settings
