// The file layer on Windows: wide-character calls on UTF-8 paths. A job's source is held
// with a share mode that lets no one write and a lock that other jobs test; its new file
// lives under a private temporary name until it is moved to a name that is free
// (MoveFileExW without MOVEFILE_REPLACE_EXISTING); files are told apart by volume serial
// number and file index, since one file may have several names (case, short names).
#include <windows.h>

#include <memory>
#include <string_view>

#include "platform/error.h"
#include "platform/file_system.h"

namespace kerfo::platform {
namespace {

// The path as Windows takes it; a name that is no UTF-8 fails with 52.
Result<std::wstring> widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                      nullptr, 0);
    if (n <= 0) return RuntimeError(ErrorNumber::kBadFileName);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

ErrorNumber fromWinError(DWORD err) {
    switch (err) {
        case ERROR_FILE_NOT_FOUND: return ErrorNumber::kFileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE: return ErrorNumber::kPathNotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return ErrorNumber::kPermissionDenied;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ErrorNumber::kDiskFull;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_INVALID_HANDLE: return ErrorNumber::kBadFileName;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return ErrorNumber::kFileAlreadyExists;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return ErrorNumber::kOutOfMemory;
        case ERROR_HANDLE_EOF: return ErrorNumber::kInputPastEnd;
        default: return ErrorNumber::kDeviceIo;
    }
}

// The failure of the call that just failed.
RuntimeError lastError() {
    return RuntimeError(fromWinError(GetLastError()));
}

FileIdentity identityOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// The identity of what `path` names, through a handle that asks for no access at all, so
// that no share mode stands in the way; nullopt when nothing is there.
std::optional<FileIdentity> identityOfPath(const std::wstring& path) {
    const HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!known) return std::nullopt;
    return identityOf(info);
}

class WinFile final : public SourceFile {
public:
    explicit WinFile(HANDLE handle) : m_handle(handle) {}
    ~WinFile() override {
        if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
    }
    WinFile(const WinFile&) = delete;
    WinFile& operator=(const WinFile&) = delete;

    Result<std::size_t> read(char* buffer, std::size_t size) override {
        DWORD got = 0;
        const DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        if (!ReadFile(m_handle, buffer, want, &got, nullptr)) return lastError();
        return std::size_t{got};
    }

    Status write(const char* data, std::size_t size) override {
        while (size > 0) {
            DWORD put = 0;
            const DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
            if (!WriteFile(m_handle, data, want, &put, nullptr)) return lastError();
            if (put == 0) return RuntimeError(ErrorNumber::kDiskFull);
            data += put;
            size -= put;
        }
        return {};
    }

    Status sync() override {
        if (!FlushFileBuffers(m_handle)) return lastError();
        return {};
    }

    // Windows keeps no permission bits; the new file gets the directory's inherited rights.
    Status setPermissions(unsigned) override { return {}; }

    Result<FileStamp> stamp() override {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(m_handle, &info)) return lastError();
        FileStamp stamp;
        stamp.identity = identityOf(info);
        stamp.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        stamp.links = info.nNumberOfLinks;
        stamp.modified = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                                   info.ftLastWriteTime.dwLowDateTime);
        FILE_BASIC_INFO basic{};
        if (GetFileInformationByHandleEx(m_handle, FileBasicInfo, &basic, sizeof basic)) {
            stamp.changed = basic.ChangeTime.QuadPart;
        }
        return stamp;
    }

    Result<FileAccess> access() override {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(m_handle, &info)) return lastError();
        FileAccess access;
        access.mode = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444u : 0666u;
        return access;
    }

    HANDLE handle() const { return m_handle; }

    // A source is opened with a share mode that lets no one write: a program that had it
    // open for writing kept the job out (55), and no one can open it so while it is held.
    Status checkNoWriter() override { return {}; }

    Status close() override {
        const HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        if (handle != INVALID_HANDLE_VALUE && !CloseHandle(handle)) return lastError();
        return {};
    }

private:
    HANDLE m_handle;
};

// A file being written under a private temporary name beside its target, removed unless
// it is committed.
class WinNewFile final : public FileForwarder<NewFile> {
public:
    WinNewFile(HANDLE handle, std::wstring path) : m_file(handle), m_path(std::move(path)) {}
    ~WinNewFile() override {
        if (m_path.empty()) return;
        (void)m_file.close();  // a failed close: removed all the same
        DeleteFileW(m_path.c_str());
    }
    WinNewFile(const WinNewFile&) = delete;
    WinNewFile& operator=(const WinNewFile&) = delete;

    Result<std::unique_ptr<File>> openReadBack() override {
        const HANDLE h = CreateFileW(m_path.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return lastError();
        return std::make_unique<WinFile>(h);
    }

    // Windows keeps the folder's inherited rights for the new file; the read-only bit is
    // never set on a file the gate accepted.
    Status applyAccess(const FileAccess&) override { return {}; }

    Status commit(const std::string& path) override {
        const auto target = widen(path);
        if (!target) return target.error();
        // Without MOVEFILE_REPLACE_EXISTING a name that is taken stays as it is.
        if (!MoveFileExW(m_path.c_str(), target->c_str(), MOVEFILE_WRITE_THROUGH))
            return lastError();
        m_path.clear();
        return {};
    }

    Status commitOver(const std::string& path, SourceFile& original) override {
        const auto target = widen(path);
        if (!target) return target.error();
        const auto stamp = original.stamp();
        if (!stamp) return stamp.error();
        // Windows replaces no file that is open.
        KERFO_TRY(original.close());
        if (identityOfPath(*target) != stamp->identity)
            return RuntimeError(ErrorNumber::kFileAlreadyOpen);
        if (!MoveFileExW(m_path.c_str(), target->c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return lastError();
        }
        m_path.clear();
        return {};
    }

    Status removeBeside(const std::string& path, const FileIdentity& expected) override {
        const auto wide = widen(path);
        if (!wide) return wide.error();
        // Removes the file this handle has open, whatever the name leads to a moment later.
        const HANDLE h = CreateFileW(wide->c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE) return lastError();
        const std::unique_ptr<void, decltype(&CloseHandle)> guard(h, &CloseHandle);
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(h, &info)) return lastError();
        if (identityOf(info) != expected) return RuntimeError(ErrorNumber::kFileAlreadyOpen);
        FILE_DISPOSITION_INFO disposition{};
        disposition.DeleteFile = TRUE;
        if (!SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition)) {
            return lastError();
        }
        return {};
    }

protected:
    File& target() override { return m_file; }

private:
    WinFile m_file;
    std::wstring m_path;  // empty once committed
};

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char ch) {
            return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
        };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

class WinFileSystem final : public FileSystem {
public:
    std::optional<FileInfo> stat(const std::string& path) override {
        // No file can be there under a name that is no UTF-8.
        const auto wide = widen(path);
        if (!wide) return std::nullopt;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(wide->c_str(), GetFileExInfoStandard, &data)) {
            return std::nullopt;
        }
        FileInfo info;
        info.type = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileType::kDirectory
                    : (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)  ? FileType::kOther
                                                                       : FileType::kRegular;
        info.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        info.permissions = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444u : 0666u;
        info.links = linksOf(*wide);
        return info;
    }

    std::optional<FileInfo> entry(const std::string& path) override {
        const auto wide = widen(path);
        if (!wide) return std::nullopt;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(wide->c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return stat(path);
        FileInfo info;
        info.type = FileType::kSymbolicLink;
        return info;
    }

    // A case-insensitive folder holds one entry for every spelling of a name.
    bool sameEntry(const std::string& a, const std::string& b) override {
        if (!entry(a) || !entry(b)) return false;
        return a == b ||
               (directoryOf(a) == directoryOf(b) && equalIgnoringCase(nameOf(a), nameOf(b)));
    }

    Result<int> attributes(const std::string& path) override {
        const auto wide = widen(path);
        if (!wide) return wide.error();
        const DWORD value = GetFileAttributesW(wide->c_str());
        if (value == INVALID_FILE_ATTRIBUTES) return lastError();
        // The classic value is a 16-bit signed integer; larger values do not fit.
        return value > 0x7FFF ? -1 : static_cast<int>(value);
    }

    std::string resolve(const std::string& path) override { return path; }

    Result<std::unique_ptr<File>> openRead(const std::string& path) override {
        const auto wide = widen(path);
        if (!wide) return wide.error();
        // A directory cannot be opened as a file at all (access denied): refuse it as
        // anything else that is not a regular file.
        const DWORD attributes = GetFileAttributesW(wide->c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return RuntimeError(ErrorNumber::kPathFileAccess);
        }
        // Sharing delete as well, so that a job can rename its checked temporary file, or
        // replace the file it is reading, while its own handle is still open.
        const HANDLE h = CreateFileW(wide->c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return lastError();
        auto file = std::make_unique<WinFile>(h);
        if (GetFileType(h) != FILE_TYPE_DISK) return RuntimeError(ErrorNumber::kPathFileAccess);
        return file;
    }

    std::optional<FileIdentity> identity(const std::string& path) override {
        const auto wide = widen(path);
        if (!wide) return std::nullopt;
        return identityOfPath(*wide);
    }

    Result<std::unique_ptr<SourceFile>> openSource(const std::string& path) override {
        const auto wide = widen(path);
        if (!wide) return wide.error();
        const DWORD attributes = GetFileAttributesW(wide->c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return RuntimeError(ErrorNumber::kPathFileAccess);
        }
        // No one may write while the job reads (a program that has it open for writing
        // keeps the job out: 55); deleting stays shared, for the job's own removal.
        const HANDLE h =
            CreateFileW(wide->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_SHARING_VIOLATION)
                return RuntimeError(ErrorNumber::kFileAlreadyOpen);
            return lastError();
        }
        auto file = std::make_unique<WinFile>(h);
        if (GetFileType(h) != FILE_TYPE_DISK) return RuntimeError(ErrorNumber::kPathFileAccess);
        // Readers share freely, so jobs also take a lock far past any file's end, where it
        // keeps no one from reading the content; the handle's end releases it.
        OVERLAPPED at{};
        at.Offset = 0xFFFFFFFEu;
        at.OffsetHigh = 0x7FFFFFFFu;
        if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
            const DWORD err = GetLastError();
            if (err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING)
                return RuntimeError(ErrorNumber::kFileAlreadyOpen);
        }
        return file;
    }

    Result<std::unique_ptr<NewFile>> createNew(const std::string& directory) override {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = directory;
            if (!name.empty() && name.back() != '\\' && name.back() != '/') name += '\\';
            name += temporaryName();
            // CREATE_NEW never opens an existing file; others may only read it, as the
            // job itself does to check it before it is complete, and rename it.
            auto wide = widen(name);
            if (!wide) return wide.error();
            const HANDLE h = CreateFileW(wide->c_str(), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) return std::make_unique<WinNewFile>(h, std::move(*wide));
            if (GetLastError() != ERROR_FILE_EXISTS) return lastError();
        }
        return RuntimeError(ErrorNumber::kPathFileAccess);
    }

    void removeStaleTemps(const std::string& directory) noexcept override {
        std::string pattern = directory;
        if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
        const auto wide = widen(pattern + ".kerfo-*.tmp");
        if (!wide) return;
        WIN32_FIND_DATAW found{};
        const HANDLE search = FindFirstFileW(wide->c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return;
        do {
            const std::wstring name = found.cFileName;
            std::string narrow(name.begin(), name.end());
            if (!isTemporaryName(narrow) ||
                (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                continue;
            const auto full = widen(pattern + narrow);
            if (!full) continue;
            // Opened with no sharing at all: a live job's handle keeps it out.
            const HANDLE h = CreateFileW(full->c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
            if (h == INVALID_HANDLE_VALUE) continue;
            FILE_DISPOSITION_INFO disposition{};
            disposition.DeleteFile = TRUE;
            SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition);
            CloseHandle(h);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }

private:
    // How many names the file at `path` has; 1 when it cannot be told.
    static std::uint64_t linksOf(const std::wstring& path) {
        const HANDLE h =
            CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return 1;
        BY_HANDLE_FILE_INFORMATION info{};
        const bool known = GetFileInformationByHandle(h, &info) != 0;
        CloseHandle(h);
        return known ? info.nNumberOfLinks : 1;
    }
};

}  // namespace

FileSystem& realFileSystem() {
    static WinFileSystem fileSystem;
    return fileSystem;
}

}  // namespace kerfo::platform
