// Where the main window may open: a stored corner is kept while the user can reach the
// title bar on some screen, and otherwise moved onto the nearest one (a monitor unplugged
// since the window last closed). Both windows ask this; it is plain geometry, in whatever
// pixels the window's toolkit places frames in.
#pragma once

#include <vector>

namespace kerfo::window {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// A rectangle from its top-left corner; `width` and `height` are >= 0.
struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    Point corner() const { return {left, top}; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// A window's frame: its outer rectangle, title bar and border included, and how many
// pixels at its top are the title bar.
struct Frame {
    Rect outer;
    int titleBar = 0;
};

// The title bar counts as reachable on a screen when all of its height lies on the screen
// and this much of its width (or all of it, if narrower).
inline constexpr int kMinReachableWidth = 48;

// Where `frame` must go so that the user can reach it: its own corner when the title bar
// is reachable on one of `screens` (their work areas); otherwise the corner that moves it
// the least onto the nearest screen, as much of it inside as fits, the top-left corner
// first. With no screens, the corner unchanged.
Point reachablePosition(const Frame& frame, const std::vector<Rect>& screens);

}  // namespace kerfo::window
