#include "filejobs/paths.h"

#include "platform/error.h"

namespace kerfo::filejobs {

std::string GetFileName(std::string_view bron, std::string_view vSlash) {
    if (vSlash.empty()) return std::string(bron);
    const auto last = bron.rfind(vSlash.front());
    if (last == std::string_view::npos) return std::string(bron);
    return std::string(bron.substr(last + 1));
}

std::string replaceExtension(std::string_view fileANDpath, std::string_view newExtension) {
#ifdef _WIN32
    const auto slash = fileANDpath.find_last_of("\\/");
#else
    const auto slash = fileANDpath.find_last_of('/');
#endif
    const std::string_view name =
        slash == std::string_view::npos ? fileANDpath : fileANDpath.substr(slash + 1);
    if (name.empty()) throw platform::RuntimeError(platform::ErrorNumber::kInvalidCall);
    // Only a real extension is replaced: cutting four characters off anything else would
    // reach into the folder's name, or leave a hidden or truncated name.
    const bool hasExtension = name.size() >= 5 && name[name.size() - 4] == '.';
    std::string result(fileANDpath.substr(0, fileANDpath.size() - (hasExtension ? 4 : 0)));
    result += newExtension;
    return result;
}

}  // namespace kerfo::filejobs
