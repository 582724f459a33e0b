// The file layer on Windows: wide-character calls on UTF-8 paths, passed in the \\?\ form
// so that a name reaches exactly its own file and no path stops at 260 characters. A job's
// source is held with the access its removal needs, a share mode that lets no one write,
// and a lock that other jobs test; its new file lives under a private temporary name,
// marked for deletion until the commit so that it goes with a killed process, until it is
// moved to a name that is free (MoveFileExW without MOVEFILE_REPLACE_EXISTING); files are
// told apart by volume serial number and file index, since one file may have several
// names (case, short names).
#include <windows.h>

#include <aclapi.h>

#include <memory>
#include <string_view>

#include "platform/error.h"
#include "platform/file_system.h"

namespace kerfo::platform {
namespace {

// The name under which access() hands the original's owner and DACL (a self-relative
// security descriptor) to applyAccess().
constexpr std::string_view kSecurityAttribute = "windows.security-descriptor";

// UTF-16 of `utf8`; a name that is no UTF-8 fails with 52.
Result<std::wstring> widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                      static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) return RuntimeError(ErrorNumber::kBadFileName);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        wide.data(), n);
    return wide;
}

// UTF-8 of a name the system gave; empty when it holds no valid UTF-16.
std::string narrow(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(),
                                      static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), static_cast<int>(wide.size()),
                        utf8.data(), n, nullptr, nullptr);
    return utf8;
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

bool isSeparator(wchar_t ch) {
    return ch == L'\\' || ch == L'/';
}

// True when a part of `path` other than "." and ".." ends in a dot or a space: the plain
// Win32 form drops those characters, and the call would reach the file named without them.
bool hasTrimmedPart(std::wstring_view path) {
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !isSeparator(path[i])) continue;
        const std::wstring_view part = path.substr(start, i - start);
        start = i + 1;
        if (part.empty() || part == L"." || part == L"..") continue;
        if (part.back() == L'.' || part.back() == L' ') return true;
    }
    return false;
}

// `utf8` as the wide calls take it: the full path in the \\?\ form, which Windows hands to
// the file system as it is (no 260-character limit, no name changed on the way). Fails
// with 52 for a name that is no UTF-8, that has a part ending in a dot or a space, or that
// Windows takes for a device (con.txt, \\.\COM1): such names would reach another file or
// a device. A path already in the \\?\ form is taken as it is.
Result<std::wstring> winPath(const std::string& utf8) {
    auto wide = widen(utf8);
    if (!wide) return wide.error();
    if (wide->empty() || wide->starts_with(L"\\\\?\\")) return wide;
    if (hasTrimmedPart(*wide)) return RuntimeError(ErrorNumber::kBadFileName);
    const DWORD size = GetFullPathNameW(wide->c_str(), 0, nullptr, nullptr);
    if (size == 0) return lastError();
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(wide->c_str(), size, full.data(), nullptr);
    if (length == 0) return lastError();
    if (length >= size)
        return RuntimeError(ErrorNumber::kBadFileName);  // the folder changed meanwhile
    full.resize(length);
    if (full.starts_with(L"\\\\.\\")) return RuntimeError(ErrorNumber::kBadFileName);
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
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

// Marks the open file `handle` for deletion when its last handle closes, or takes the mark
// away again.
bool markForDeletion(HANDLE handle, bool deleted) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleted ? TRUE : FALSE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

// True when the file system of the open file `handle` keeps access lists (NTFS, ReFS; not
// FAT or exFAT, where every file is open to everyone and there is nothing to keep).
bool keepsAccessLists(HANDLE handle) {
    DWORD flags = 0;
    return GetVolumeInformationByHandleW(handle, nullptr, 0, nullptr, nullptr, &flags, nullptr,
                                         0) &&
           (flags & FILE_PERSISTENT_ACLS) != 0;
}

OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(offset);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return overlapped;
}

// An open file with a position of its own: every read and write names its offset, so two
// handles on one open file (the new file and its read-back) never move each other.
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
        OVERLAPPED from = at(m_position);
        if (!ReadFile(m_handle, buffer, want, &got, &from)) {
            if (GetLastError() == ERROR_HANDLE_EOF) return std::size_t{0};
            return lastError();
        }
        m_position += got;
        return std::size_t{got};
    }

    Status write(const char* data, std::size_t size) override {
        while (size > 0) {
            DWORD put = 0;
            const DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
            OVERLAPPED to = at(m_position);
            if (!WriteFile(m_handle, data, want, &put, &to)) return lastError();
            if (put == 0) return RuntimeError(ErrorNumber::kDiskFull);
            m_position += put;
            data += put;
            size -= put;
        }
        return {};
    }

    Status sync() override {
        if (!FlushFileBuffers(m_handle)) return lastError();
        return {};
    }

    // Windows keeps no permission bits; the rights are in the security descriptor.
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

    // The read-only bit as the mode, and the owner and DACL as one attribute; a file system
    // that keeps no access lists (FAT, exFAT) has none to hand on.
    Result<FileAccess> access() override {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(m_handle, &info)) return lastError();
        FileAccess access;
        access.mode = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444u : 0666u;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (keepsAccessLists(m_handle) &&
            GetSecurityInfo(m_handle, SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, nullptr, nullptr, &descriptor) == ERROR_SUCCESS) {
            const std::unique_ptr<void, decltype(&LocalFree)> owned(descriptor, &LocalFree);
            const DWORD length = GetSecurityDescriptorLength(descriptor);
            access.attributes.emplace_back(
                std::string(kSecurityAttribute),
                std::string(static_cast<const char*>(descriptor), length));
        }
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
    std::uint64_t m_position = 0;
};

// Gives the open file `handle` the owner and the DACL of the self-relative security
// descriptor `bytes`: the owner only where this user may set it, the DACL as it is (its
// protection from the folder's inheritance included), or the call fails.
Status applySecurity(HANDLE handle, const std::string& bytes) {
    const auto descriptor = reinterpret_cast<PSECURITY_DESCRIPTOR>(const_cast<char*>(bytes.data()));
    if (bytes.size() < sizeof(SECURITY_DESCRIPTOR_RELATIVE) ||
        !IsValidSecurityDescriptor(descriptor)) {
        return RuntimeError(ErrorNumber::kDeviceIo);
    }
    // Another user's or a group's ownership needs a privilege most users lack: the new
    // file then stays this user's, with the original's DACL deciding who else gets in.
    (void)SetKernelObjectSecurity(handle, OWNER_SECURITY_INFORMATION, descriptor);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present) return {};
    if (!SetKernelObjectSecurity(handle, DACL_SECURITY_INFORMATION, descriptor)) return lastError();
    return {};
}

// A file being written under a private temporary name beside its target. Until the commit
// it is marked for deletion, so the system removes it when its last handle closes, also
// when the process is killed; its handle stays open (and keeps other Kerfo processes'
// sweeps away) until the commit or the end of the object.
class WinNewFile final : public FileForwarder<NewFile> {
public:
    WinNewFile(HANDLE handle, std::wstring path, bool marked, bool securable)
        : m_file(handle), m_path(std::move(path)), m_marked(marked), m_securable(securable) {}
    ~WinNewFile() override {
        if (m_path.empty()) return;
        if (m_marked || markForDeletion(m_file.handle(), true)) return;  // gone with the handle
        (void)m_file.close();  // a failed close: removed all the same
        DeleteFileW(m_path.c_str());
    }
    WinNewFile(const WinNewFile&) = delete;
    WinNewFile& operator=(const WinNewFile&) = delete;

    // The handle stays open until the commit: closing it would delete the file. Windows
    // reports no write errors at the close, and sync() has flushed everything.
    Status close() override { return {}; }

    // A second handle on the same open file (a file marked for deletion cannot be opened
    // again by name), reading from its own position.
    Result<std::unique_ptr<File>> openReadBack() override {
        HANDLE copy = nullptr;
        if (!DuplicateHandle(GetCurrentProcess(), m_file.handle(), GetCurrentProcess(), &copy, 0,
                             FALSE, DUPLICATE_SAME_ACCESS)) {
            return lastError();
        }
        return std::make_unique<WinFile>(copy);
    }

    // The owner and the DACL of the original, as far as this user may set them; the
    // read-only bit is never set on a file the gate accepted.
    Status applyAccess(const FileAccess& original) override {
        for (const auto& [name, value] : original.attributes) {
            if (name != kSecurityAttribute || !keepsAccessLists(m_file.handle())) continue;
            // Without the right to change it, the new file would keep the folder's rights,
            // which may let in more people than the original did.
            if (!m_securable) return RuntimeError(ErrorNumber::kPermissionDenied);
            return applySecurity(m_file.handle(), value);
        }
        return {};
    }

    Status commit(const std::string& path) override {
        const auto target = winPath(path);
        if (!target) return target.error();
        // Without MOVEFILE_REPLACE_EXISTING a name that is taken stays as it is.
        return moveTo(*target, MOVEFILE_WRITE_THROUGH);
    }

    Status commitOver(const std::string& path, SourceFile& original) override {
        const auto target = winPath(path);
        if (!target) return target.error();
        const auto stamp = original.stamp();
        if (!stamp) return stamp.error();
        // Windows replaces no file that is open.
        KERFO_TRY(original.close());
        if (identityOfPath(*target) != stamp->identity)
            return RuntimeError(ErrorNumber::kFileAlreadyOpen);
        return moveTo(*target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }

    Status removeBeside(const std::string& path, const FileIdentity& expected) override {
        const auto wide = winPath(path);
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
        if (!markForDeletion(h, true)) return lastError();
        return {};
    }

protected:
    File& target() override { return m_file; }

private:
    // Takes the deletion mark away and gives the file its name; puts the mark back when the
    // name cannot be given, so that the file still goes with the process.
    Status moveTo(const std::wstring& target, DWORD flags) {
        if (m_marked && !markForDeletion(m_file.handle(), false)) return lastError();
        if (!MoveFileExW(m_path.c_str(), target.c_str(), flags)) {
            const RuntimeError failed = lastError();
            // Unmarked, the destructor removes it by name instead.
            if (m_marked) m_marked = markForDeletion(m_file.handle(), true);
            return failed;
        }
        m_path.clear();
        // Named, the file is the user's: no handle of the job's stands in anyone's way. The
        // rename has taken effect, so a failing close changes nothing about the commit.
        (void)m_file.close();
        return {};
    }

    WinFile m_file;
    std::wstring m_path;  // empty once committed
    bool m_marked;        // marked for deletion until the commit
    bool m_securable;     // the handle may set the owner and the DACL
};

// Removes `path`, a Kerfo temporary, unless a process holds it: a live job keeps its
// temporary open for writing without sharing that, so this open fails (or it is marked
// for deletion already). Files with other names (hard links) and links are left alone.
void removeIfUnheld(const std::wstring& path) {
    const HANDLE h = CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    const std::unique_ptr<void, decltype(&CloseHandle)> guard(h, &CloseHandle);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info) || info.nNumberOfLinks != 1 ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return;
    }
    (void)markForDeletion(h, true);
}

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
        const auto wide = winPath(path);
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
        const auto wide = winPath(path);
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
        const auto wide = winPath(path);
        if (!wide) return wide.error();
        const DWORD value = GetFileAttributesW(wide->c_str());
        if (value == INVALID_FILE_ATTRIBUTES) return lastError();
        // The classic value is a 16-bit signed integer: the bits above it (states of cloud
        // files, pinned, recalled on access) are left out, the read-only, hidden and system
        // bits are kept whatever else is set.
        return static_cast<int>(value & 0x7FFFu);
    }

    std::string resolve(const std::string& path) override { return path; }

    Result<std::unique_ptr<File>> openRead(const std::string& path) override {
        const auto wide = winPath(path);
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
        const auto wide = winPath(path);
        if (!wide) return std::nullopt;
        return identityOfPath(*wide);
    }

    Result<std::unique_ptr<SourceFile>> openSource(const std::string& path) override {
        const auto wide = winPath(path);
        if (!wide) return wide.error();
        const DWORD attributes = GetFileAttributesW(wide->c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return RuntimeError(ErrorNumber::kPathFileAccess);
        }
        // Opened with the access the job needs to remove it at the end: a program that
        // holds the file without sharing its deletion (most viewers and editors) keeps the
        // job out before anything is written (55), and while the job holds it, no program
        // can open it without sharing its deletion. No one may write while the job reads;
        // deleting stays shared, for the job's own removal through a handle of its own.
        const HANDLE h =
            CreateFileW(wide->c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_SHARING_VIOLATION)
                return RuntimeError(ErrorNumber::kFileAlreadyOpen);
            return lastError();
        }
        auto file = std::make_unique<WinFile>(h);
        if (GetFileType(h) != FILE_TYPE_DISK) return RuntimeError(ErrorNumber::kPathFileAccess);
        // Readers share freely, so jobs also take a lock far past any file's end, where it
        // keeps no one from reading the content; the handle's end releases it.
        OVERLAPPED lockAt{};
        lockAt.Offset = 0xFFFFFFFEu;
        lockAt.OffsetHigh = 0x7FFFFFFFu;
        if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &lockAt)) {
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
            auto wide = winPath(name);
            if (!wide) return wide.error();
            // CREATE_NEW never opens an existing file; others may only read it, and no
            // process may open it for writing, which tells other Kerfo processes that it is
            // in use. The security rights let the job give it the original's owner and DACL.
            constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_DELETE;
            constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE | DELETE;
            bool securable = true;
            HANDLE h = CreateFileW(wide->c_str(), kAccess | WRITE_DAC | WRITE_OWNER, kShare,
                                   nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
                securable = false;
                h = CreateFileW(wide->c_str(), kAccess, kShare, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
            }
            if (h != INVALID_HANDLE_VALUE) {
                // Marked for deletion from the start: a killed job leaves nothing behind.
                const bool marked = markForDeletion(h, true);
                return std::make_unique<WinNewFile>(h, std::move(*wide), marked, securable);
            }
            if (GetLastError() != ERROR_FILE_EXISTS) return lastError();
        }
        return RuntimeError(ErrorNumber::kPathFileAccess);
    }

    // Kerfo's own temporaries that no live process holds, whatever their age: a job marks
    // its temporary for deletion, so only a power cut (the mark lives in memory), a job
    // that ended between taking the mark away and the rename, or an earlier build leaves
    // one.
    void removeStaleTemps(const std::string& directory) noexcept override {
        try {
            auto folder = winPath(directory);
            if (!folder) return;
            if (!folder->empty() && !isSeparator(folder->back())) *folder += L'\\';
            WIN32_FIND_DATAW found{};
            const HANDLE search =
                FindFirstFileExW((*folder + L".kerfo-*.tmp").c_str(), FindExInfoBasic, &found,
                                 FindExSearchNameMatch, nullptr, 0);
            if (search == INVALID_HANDLE_VALUE) return;
            const std::unique_ptr<void, decltype(&FindClose)> guard(search, &FindClose);
            do {
                if ((found.dwFileAttributes &
                     (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
                    continue;
                if (!isTemporaryName(narrow(found.cFileName))) continue;
                removeIfUnheld(*folder + found.cFileName);
            } while (FindNextFileW(search, &found));
        } catch (...) {
            // Best effort: a sweep that cannot run leaves the folder as it was.
        }
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
