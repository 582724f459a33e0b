// The about box `frmabout` without any toolkit: its texts and its fixed layout in twips.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace kerfo::window {

// "Version " and the three numbers, each in plain decimal digits ("Version 1.0.2").
std::string versionLine(int major, int minor, int revision);

// The copyright lead-in followed by `year` in four digits.
std::string copyrightLine(int year);

// The client area, in twips.
inline constexpr int kAboutWidth = 3300;
inline constexpr int kAboutHeight = 4395;
// The margin left of every control; a box that has to widen for a longer text keeps it on
// the right too.
inline constexpr int kAboutMargin = 360;

// The design's sizes of the title's and the version line's fonts, in points; every other
// text takes the platform's dialog font.
inline constexpr double kAboutTitlePoints = 13.5;
inline constexpr double kAboutVersionPoints = 9.75;

enum class AboutFont { kDialog, kTitle, kVersion };

// One label of the box, in twips within the client area. `autoSize` labels take the width
// of their text. An empty `text` is filled in when the box loads.
struct AboutLabel {
    const char* name;
    std::string_view text;
    int left, top, width, height;
    bool autoSize;
    AboutFont font;
};

// Top to bottom; the last one is the link.
extern const std::array<AboutLabel, 10> kAboutLabels;

// The etched rules: a dark line at `top` and, 15 twips below, a light one twice as high;
// together they take kAboutRuleHeight.
struct AboutRule {
    int left, right, top;
};
inline constexpr std::array<AboutRule, 2> kAboutRules{{{360, 2985, 1545}, {360, 2985, 2415}}};
inline constexpr int kAboutRuleHeight = 45;

// The Ok button.
inline constexpr int kOkLeft = 360, kOkTop = 3600, kOkWidth = 1590, kOkHeight = 390;

// The dark line of a rule, in red, green, blue.
inline constexpr unsigned kRuleDarkRgb = 0x400040;
// The link's and the focused labels' text colour: pure blue of intensity 192.
inline constexpr unsigned kFocusBlueRgb = 0x0000C0;

// Twips to pixels at `dpi` dots per inch, rounded to the nearest pixel.
int twipsToPixelsAt(int twips, int dpi);

}  // namespace kerfo::window
