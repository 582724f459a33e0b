// The window on several files: which of the arguments are files, what the gate makes of a
// selection before the password (one mode for all, the refused files named, a selection
// of both kinds refused), and the box that lists how each file ended.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "filejobs/gate.h"
#include "texts/message.h"
#include "window/services.h"

namespace kerfo::window {

// The files a start names; `arguments` are what follows the program's name. Two or more
// are as many files when each names something that `exists` (a file manager hands over
// the paths of what is there); otherwise the whole command line, joined by single spaces,
// is one path, as it always was (a name with spaces typed without quotes). Never empty:
// no arguments give one empty path, which the gate answers with the usage box.
std::vector<std::string> targetFiles(const std::vector<std::string>& arguments,
                                     const std::function<bool(const std::string&)>& exists);

// What start-up makes of the files.
struct Selection {
    // The files to work on, in the order given, all of `mode`; empty when nothing may be
    // done (the program then ends after `box`).
    std::vector<std::string> files;
    filejobs::Mode mode = filejobs::Mode::kEncrypt;
    // "Kerfo / notes.txt" for one file, "Kerfo / 3 files" for several.
    std::string caption;
    // Shown before the window: the gate's box for one file; for several, one box naming
    // every refused file and why, or the files of the smaller kind of a selection that
    // holds both (nothing is done then).
    std::optional<texts::Message> box;
};

// Runs `gate` on each of `files` (at least one) and decides as above. A selection of both
// kinds names the kind with fewer files; with as many of each, the kind the first file
// is not. Never fails.
Selection selectFiles(const std::vector<std::string>& files, Gate& gate);

// One box naming each file the gate refused with its reason (`refusals`: the gate's texts,
// in order, at least one), and, when `othersGoOn`, that the other files go on.
texts::Message refusalsBox(const std::vector<std::string>& refusals, bool othersGoOn);

// "Kerfo / 3 files".
std::string filesCaption(std::size_t count);

// How one file of several ended.
struct FileOutcome {
    std::string file;
    bool done = false;
    // Done: the new file's path; otherwise why not (the box a single file would show).
    std::string text;
};

// The box at the end of several files: the new files, then every file left as it was and
// why; a warning when some were left, else information.
texts::Message batchSummary(const std::vector<FileOutcome>& outcomes);

}  // namespace kerfo::window
