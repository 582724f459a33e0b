// Where a start goes when Kerfo is running already. Explorer starts one Kerfo per selected
// file, all at the same moment; they must end up in one window. The rule: the start that
// holds the one-instance place opens the window; every other start offers its file to that
// window, and waits while the window is still loading (it takes no offers yet, and may yet
// be refused at start-up and leave its place to a waiting start). A window still waiting
// for its password takes a file of its own kind, and one the gate refuses, to name it with
// the selection's other refused files in one box; any other answer is today's "already
// running" box. How the place is held and the file carried is the window's (a named mutex
// and a message on Windows).
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "texts/message.h"
#include "window/services.h"

namespace kerfo::window {

// A running window's answer to a file offered to it.
enum class HandOver {
    // It works on the file with its others, or names it among the refused ones; the
    // offering start ends silently.
    kTaken,
    // A job has started, or its files are of the other kind.
    kBusy,
};

// How long a window waits after a refused file was handed over, for the rest of the
// selection's starts, before it shows their box.
inline constexpr std::chrono::milliseconds kRefusalsSettle{500};

// How long a start waits for a loading window between two looks, and in all.
inline constexpr std::chrono::milliseconds kHandOverPause{50};
inline constexpr std::chrono::milliseconds kHandOverWait{30000};

// What a start can do about another Kerfo; the window supplies it.
class Instances {
public:
    virtual ~Instances() = default;
    // Takes the one-instance place for this process until it ends; true when no living
    // Kerfo holds it (one that ended, even by a crash, has left it).
    virtual bool claim() = 0;
    // Offers `file` to the running window. Nothing when no window takes offers (yet).
    virtual std::optional<HandOver> offer(const std::string& file) = 0;
    // Waits kHandOverPause.
    virtual void pause() = 0;
};

// What a start does.
struct Start {
    // This start opens the window on its file.
    bool openWindow = false;
    // Otherwise the box to show before the program ends (with 1); none when the file went
    // to the running window (the program ends with 0).
    std::optional<texts::Message> box;
};

// Decides the start for `userFile` (the whole command-line tail): claims the place, or
// offers the file, looking again after each pause until `tries` looks have been made. An
// empty path is never offered.
Start startUp(Instances& instances, const std::string& userFile,
              int tries = static_cast<int>(kHandOverWait / kHandOverPause));

}  // namespace kerfo::window
