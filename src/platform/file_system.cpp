#include "platform/file_system.h"

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

}  // namespace kerfo::platform
