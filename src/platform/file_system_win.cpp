// The file layer on Windows: wide-character calls on UTF-8 paths.
#include <windows.h>

#include <random>

#include "platform/error.h"
#include "platform/file_system.h"

namespace kerfo::platform {
namespace {

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                      nullptr, 0);
    if (n <= 0) throw RuntimeError(ErrorNumber::kBadFileName);
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
        case ERROR_ALREADY_EXISTS: return ErrorNumber::kPathFileAccess;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return ErrorNumber::kOutOfMemory;
        case ERROR_HANDLE_EOF: return ErrorNumber::kInputPastEnd;
        default: return ErrorNumber::kDeviceIo;
    }
}

[[noreturn]] void throwLastError() { throw RuntimeError(fromWinError(GetLastError())); }

class WinFile final : public File {
public:
    explicit WinFile(HANDLE handle) : m_handle(handle) {}
    ~WinFile() override {
        if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
    }
    WinFile(const WinFile&) = delete;
    WinFile& operator=(const WinFile&) = delete;

    std::size_t read(char* buffer, std::size_t size) override {
        DWORD got = 0;
        const DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        if (!ReadFile(m_handle, buffer, want, &got, nullptr)) throwLastError();
        return got;
    }

    void write(const char* data, std::size_t size) override {
        while (size > 0) {
            DWORD put = 0;
            const DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
            if (!WriteFile(m_handle, data, want, &put, nullptr)) throwLastError();
            if (put == 0) throw RuntimeError(ErrorNumber::kDiskFull);
            data += put;
            size -= put;
        }
    }

    void sync() override {
        if (!FlushFileBuffers(m_handle)) throwLastError();
    }

    // Windows keeps no permission bits; the new file gets the directory's inherited rights.
    void setPermissions(unsigned) override {}

    void close() override {
        const HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        if (handle != INVALID_HANDLE_VALUE && !CloseHandle(handle)) throwLastError();
    }

private:
    HANDLE m_handle;
};

class WinFileSystem final : public FileSystem {
public:
    std::optional<FileInfo> stat(const std::string& path) override {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data)) {
            return std::nullopt;
        }
        FileInfo info;
        info.type = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileType::kDirectory
                    : (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)  ? FileType::kOther
                                                                       : FileType::kRegular;
        info.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        info.permissions = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444u : 0666u;
        return info;
    }

    int attributes(const std::string& path) override {
        const DWORD value = GetFileAttributesW(widen(path).c_str());
        if (value == INVALID_FILE_ATTRIBUTES) throwLastError();
        // The classic value is a 16-bit signed integer; larger values do not fit.
        return value > 0x7FFF ? -1 : static_cast<int>(value);
    }

    std::string resolve(const std::string& path) override { return path; }

    std::unique_ptr<File> openRead(const std::string& path) override {
        const std::wstring wide = widen(path);
        // A directory cannot be opened as a file at all (access denied): refuse it as
        // anything else that is not a regular file.
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            throw RuntimeError(ErrorNumber::kPathFileAccess);
        }
        // Sharing delete as well, so that a job can rename its checked temporary file, or
        // replace the file it is reading, while its own handle is still open.
        const HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) throwLastError();
        auto file = std::make_unique<WinFile>(h);
        if (GetFileType(h) != FILE_TYPE_DISK) throw RuntimeError(ErrorNumber::kPathFileAccess);
        return file;
    }

    std::unique_ptr<File> createTemp(const std::string& directory,
                                     std::string& createdPath) override {
        std::random_device device;
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = directory;
            if (!name.empty() && name.back() != '\\' && name.back() != '/') name += '\\';
            name += ".kerfo-" + std::to_string(device()) + ".tmp";
            // CREATE_NEW never opens an existing file; others may only read it, as the
            // job itself does to check it before it is complete, and rename it.
            const HANDLE h = CreateFileW(widen(name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_DELETE,
                                         nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                createdPath = name;
                return std::make_unique<WinFile>(h);
            }
            if (GetLastError() != ERROR_FILE_EXISTS) throwLastError();
        }
        throw RuntimeError(ErrorNumber::kPathFileAccess);
    }

    void rename(const std::string& from, const std::string& to) override {
        if (!MoveFileExW(widen(from).c_str(), widen(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            throwLastError();
        }
    }

    void remove(const std::string& path) override {
        if (!DeleteFileW(widen(path).c_str())) throwLastError();
    }

    // MOVEFILE_WRITE_THROUGH already made the rename durable.
    void syncDirectory(const std::string&) noexcept override {}
};

}  // namespace

FileSystem& realFileSystem() {
    static WinFileSystem fileSystem;
    return fileSystem;
}

}  // namespace kerfo::platform
