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
    if (fileANDpath.size() < 4) {
        throw platform::RuntimeError(platform::ErrorNumber::kInvalidCall);
    }
    std::string result(fileANDpath.substr(0, fileANDpath.size() - 4));
    result += newExtension;
    return result;
}

}  // namespace kerfo::filejobs
