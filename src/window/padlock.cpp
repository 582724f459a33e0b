#include "window/padlock.h"

#include <algorithm>
#include <cmath>

namespace kerfo::window {

namespace {

struct Colour {
    double r, g, b, a;
};

// Straight-alpha "over" compositing.
Colour over(const Colour& top, const Colour& below) {
    const double a = top.a + below.a * (1.0 - top.a);
    if (a <= 0.0) {
        return {0, 0, 0, 0};
    }
    auto mix = [&](double t, double b) { return (t * top.a + b * below.a * (1.0 - top.a)) / a; };
    return {mix(top.r, below.r), mix(top.g, below.g), mix(top.b, below.b), a};
}

double segmentDistance(double px, double py, double x, double y0, double y1) {
    const double cy = std::clamp(py, std::min(y0, y1), std::max(y0, y1));
    return std::hypot(px - x, py - cy);
}

// The shackle's centre line: two legs joined by the upper half of a circle.
double shackleDistance(Padlock kind, double x, double y) {
    const double centreY = kind == Padlock::kClosed ? 10.5 : 7.5;
    const double rightEnd = kind == Padlock::kClosed ? 15.0 : 10.0;
    double d = std::min(segmentDistance(x, y, 9.5, centreY, 15.0), segmentDistance(x, y, 22.5, centreY, rightEnd));
    if (y <= centreY) {
        d = std::min(d, std::fabs(std::hypot(x - 16.0, y - centreY) - 6.5));
    }
    return d;
}

// Inside a rectangle with rounded corners.
bool inRoundedRect(double x, double y, double left, double top, double right, double bottom, double radius) {
    if (x < left || x > right || y < top || y > bottom) {
        return false;
    }
    const double cx = std::clamp(x, left + radius, right - radius);
    const double cy = std::clamp(y, top + radius, bottom - radius);
    return std::hypot(x - cx, y - cy) <= radius;
}

Colour sample(Padlock kind, double x, double y) {
    Colour c{0, 0, 0, 0};
    if (shackleDistance(kind, x, y) <= 1.6) {
        c = over({0x6e, 0x6e, 0x6e, 1}, c);
    }
    constexpr double kLeft = 5.5, kTop = 14.5, kRight = 26.5, kBottom = 29.5;
    if (inRoundedRect(x, y, kLeft, kTop, kRight, kBottom, 2.5)) {
        const bool rim = !inRoundedRect(x, y, kLeft + 1, kTop + 1, kRight - 1, kBottom - 1, 1.5);
        const double t = (y - kTop) / (kBottom - kTop);
        const double shade = 0xb4 + (0x78 - 0xb4) * t;
        c = rim ? Colour{0x4a, 0x4a, 0x4a, 1} : Colour{shade, shade, shade, 1};
        const bool keyhole = std::hypot(x - 16.0, y - 20.5) <= 2.2 || (std::fabs(x - 16.0) <= 1.0 && y >= 20.5 && y <= 26.0);
        if (keyhole) {
            c = {0x33, 0x33, 0x33, 1};
        }
    }
    return c;
}

}  // namespace

std::array<std::uint32_t, kPadlockSize * kPadlockSize> padlockPixels(Padlock kind) {
    constexpr int kGrid = 4;  // samples per pixel and axis
    std::array<std::uint32_t, kPadlockSize * kPadlockSize> pixels{};
    for (int py = 0; py < kPadlockSize; ++py) {
        for (int px = 0; px < kPadlockSize; ++px) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < kGrid; ++sy) {
                for (int sx = 0; sx < kGrid; ++sx) {
                    const Colour s = sample(kind, px + (sx + 0.5) / kGrid, py + (sy + 0.5) / kGrid);
                    r += s.r * s.a;
                    g += s.g * s.a;
                    b += s.b * s.a;
                    a += s.a;
                }
            }
            std::uint32_t value = 0;
            if (a > 0) {
                const auto channel = [](double v) { return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 255.0))); };
                value = channel(a * 255.0 / (kGrid * kGrid)) << 24 | channel(r / a) << 16 | channel(g / a) << 8 |
                        channel(b / a);
            }
            pixels[static_cast<std::size_t>(py) * kPadlockSize + static_cast<std::size_t>(px)] = value;
        }
    }
    return pixels;
}

}  // namespace kerfo::window
