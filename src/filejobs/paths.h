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

// The output name for `fileANDpath`, always in the same folder: when the file's own name
// ends in a dot and three characters with at least one character before them, those four
// are replaced by `newExtension` (notes.txt -> notes.kfo, x.bin -> x.txt); otherwise
// `newExtension` is appended (todo -> todo.kfo, notes.md -> notes.md.kfo, .txt ->
// .txt.kfo). Throws platform::RuntimeError (5) for a path whose file name is empty.
std::string replaceExtension(std::string_view fileANDpath, std::string_view newExtension);

// Names that Windows does not take as they are written (elsewhere they are ordinary
// names). isDeviceName: the last part of `path` is a device's name, with or without an
// extension (CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9 and COM/LPT with a superscript
// digit, in any case: con.txt opens the console). hasTrimmedPart: a part of `path` other
// than "." and ".." ends in a dot or a space, which Windows drops, so that the name leads
// to the file named without them.
bool isDeviceName(std::string_view path);
bool hasTrimmedPart(std::string_view path);

}  // namespace kerfo::filejobs
