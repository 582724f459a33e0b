#include "window/placement.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace kerfo::window {

namespace {

// The overlap of `a` and `b`; empty (width or height 0) when they do not meet.
Rect intersect(const Rect& a, const Rect& b) {
    const int left = std::max(a.left, b.left);
    const int top = std::max(a.top, b.top);
    const int right = std::min(a.left + a.width, b.left + b.width);
    const int bottom = std::min(a.top + a.height, b.top + b.height);
    return {left, top, std::max(0, right - left), std::max(0, bottom - top)};
}

bool reachableOn(const Rect& titleBar, const Rect& screen) {
    const Rect on = intersect(titleBar, screen);
    return on.width > 0 && on.height > 0 && on.height == titleBar.height &&
           on.width >= std::min(kMinReachableWidth, titleBar.width);
}

// Squared distance between two rectangles: 0 when they touch or overlap.
std::int64_t distance2(const Rect& a, const Rect& b) {
    const std::int64_t dx =
        std::max<std::int64_t>({0, std::int64_t{b.left} - (a.left + a.width - 1),
                                std::int64_t{a.left} - (b.left + b.width - 1)});
    const std::int64_t dy = std::max<std::int64_t>({0, std::int64_t{b.top} - (a.top + a.height - 1),
                                                    std::int64_t{a.top} - (b.top + b.height - 1)});
    return dx * dx + dy * dy;
}

// The nearest start that puts as much of `size` inside the area as fits, its start first.
int clampInto(int at, int size, int areaStart, int areaSize) {
    return std::max(areaStart, std::min(at, areaStart + areaSize - size));
}

}  // namespace

Point reachablePosition(const Frame& frame, const std::vector<Rect>& screens) {
    const Rect& outer = frame.outer;
    if (screens.empty()) {
        return outer.corner();
    }
    const Rect titleBar{outer.left, outer.top, outer.width, std::min(frame.titleBar, outer.height)};
    for (const Rect& screen : screens) {
        if (reachableOn(titleBar, screen)) {
            return outer.corner();
        }
    }
    const Rect* nearest = &screens.front();
    std::int64_t best = std::numeric_limits<std::int64_t>::max();
    for (const Rect& screen : screens) {
        const std::int64_t d = distance2(outer, screen);
        if (d < best) {
            best = d;
            nearest = &screen;
        }
    }
    return {clampInto(outer.left, outer.width, nearest->left, nearest->width),
            clampInto(outer.top, outer.height, nearest->top, nearest->height)};
}

}  // namespace kerfo::window
