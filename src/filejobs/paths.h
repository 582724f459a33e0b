// Path helpers: the file name for the window's caption and the output names of the jobs.
#pragma once

#include <string>
#include <string_view>

namespace kerfo::filejobs {

// The platform's path separator as the helpers see it: "/" here, "\" on Windows.
#ifdef _WIN32
inline constexpr std::string_view kPathSeparator = "\\";
#else
inline constexpr std::string_view kPathSeparator = "/";
#endif

// The part of `bron` after the last `vSlash`; the whole of `bron` when it holds none
// (a relative name typed in a terminal).
std::string GetFileName(std::string_view bron, std::string_view vSlash);

// `fileANDpath` without its last four characters, whatever they are, followed by
// `newExtension` (notes.txt -> notes.kfo, readme -> re.kfo). Throws
// platform::RuntimeError (5) for a path shorter than four characters.
std::string replaceExtension(std::string_view fileANDpath, std::string_view newExtension);

}  // namespace kerfo::filejobs
