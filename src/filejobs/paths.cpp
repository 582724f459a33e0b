#include "filejobs/paths.h"

#include <array>
#include <cctype>

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

namespace {

bool isSeparator(char ch) {
    return ch == '/' || ch == '\\';
}

bool sameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool isDeviceName(std::string_view path) {
    std::size_t start = path.size();
    while (start > 0 && !isSeparator(path[start - 1]) && path[start - 1] != ':') --start;
    std::string_view base = path.substr(start);
    base = base.substr(0, base.find('.'));
    // Windows also ignores the spaces before the extension ("nul .txt").
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    for (const std::string_view name : {"CON", "PRN", "AUX", "NUL"}) {
        if (sameLetters(base, name)) return true;
    }
    if (base.size() < 4 ||
        !(sameLetters(base.substr(0, 3), "COM") || sameLetters(base.substr(0, 3), "LPT"))) {
        return false;
    }
    const std::string_view number = base.substr(3);
    // A digit, or the superscripts one, two and three in UTF-8.
    constexpr std::array<std::string_view, 3> kSuperscripts{"\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};
    if (number.size() == 1) return number[0] >= '0' && number[0] <= '9';
    for (const auto superscript : kSuperscripts) {
        if (number == superscript) return true;
    }
    return false;
}

bool hasTrimmedPart(std::string_view path) {
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !isSeparator(path[i])) continue;
        const std::string_view part = path.substr(start, i - start);
        start = i + 1;
        if (part.empty() || part == "." || part == "..") continue;
        if (part.back() == '.' || part.back() == ' ') return true;
    }
    return false;
}

}  // namespace kerfo::filejobs
