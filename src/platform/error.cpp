#include "platform/error.h"

#include <cerrno>
#include <new>

namespace kerfo::platform {

std::string_view describe(ErrorNumber number) {
    switch (number) {
        case ErrorNumber::kNone: return "";
        case ErrorNumber::kInvalidCall: return "Invalid procedure call or argument";
        case ErrorNumber::kOverflow: return "Overflow";
        case ErrorNumber::kOutOfMemory: return "Out of memory";
        case ErrorNumber::kBadFileName: return "Bad file name or number";
        case ErrorNumber::kFileNotFound: return "File not found";
        case ErrorNumber::kFileAlreadyOpen: return "File already open";
        case ErrorNumber::kDeviceIo: return "Device I/O error";
        case ErrorNumber::kFileAlreadyExists: return "File already exists";
        case ErrorNumber::kDiskFull: return "Disk full";
        case ErrorNumber::kInputPastEnd: return "Input past end of file";
        case ErrorNumber::kPermissionDenied: return "Permission denied";
        case ErrorNumber::kPathFileAccess: return "Path/File access error";
        case ErrorNumber::kPathNotFound: return "Path not found";
    }
    return "Application-defined or object-defined error";
}

ErrorNumber fromErrno(int err) {
    switch (err) {
        case ENOENT: return ErrorNumber::kFileNotFound;
        case ENOTDIR: return ErrorNumber::kPathNotFound;
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
        case EFBIG: return ErrorNumber::kDiskFull;
        case EACCES:
        case EPERM:
        case EROFS:
        case ETXTBSY: return ErrorNumber::kPermissionDenied;
        case EEXIST: return ErrorNumber::kFileAlreadyExists;
        case EISDIR:
        case EBUSY:
        case ELOOP: return ErrorNumber::kPathFileAccess;
        case ENAMETOOLONG:
        case EINVAL:
        case EBADF: return ErrorNumber::kBadFileName;
        case ENOMEM: return ErrorNumber::kOutOfMemory;
        default: return ErrorNumber::kDeviceIo;
    }
}

RuntimeError::RuntimeError(ErrorNumber number)
    : RuntimeError(number, std::string(describe(number))) {}

RuntimeError::RuntimeError(ErrorNumber number, std::string description)
    : std::runtime_error(description), m_number(number), m_description(std::move(description)) {}

RuntimeError RuntimeError::fromErrno(int err) { return RuntimeError(platform::fromErrno(err)); }

void raiseError(const RuntimeError& error) {
    throw RuntimeError(error);
}

RuntimeError handledError() noexcept {
    try {
        throw;
    } catch (const RuntimeError& error) {
        return error;
    } catch (const std::bad_alloc&) {
        return RuntimeError(ErrorNumber::kOutOfMemory);
    } catch (...) {
        return RuntimeError(ErrorNumber::kDeviceIo);
    }
}

}  // namespace kerfo::platform
