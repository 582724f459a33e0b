#include "window/about_model.h"

#include <cstdio>

#include "texts/texts.h"

namespace kerfo::window {

std::string versionLine(int major, int minor, int revision) {
    return std::string(texts::kVersionLead) + std::to_string(major) + '.' + std::to_string(minor) + '.' +
           std::to_string(revision);
}

std::string copyrightLine(int year) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04d", year);
    return std::string(texts::kCopyrightLead) + digits;
}

const std::array<AboutLabel, 10> kAboutLabels{{
    {"lblprogtitle", "", 360, 345, 3675, 330, false, AboutFont::kTitle},
    {"lblversion", "", 360, 675, 3675, 195, false, AboutFont::kVersion},
    {"lblcopyright", "", 360, 930, 795, 195, true, AboutFont::kDialog},
    {"lblcopyright2", texts::kCopyrightHolder, 360, 1140, 2580, 240, false, AboutFont::kDialog},
    {"lbltext1", texts::kFreeUseLine1, 360, 1695, 3675, 195, false, AboutFont::kDialog},
    {"lbltext2", texts::kFreeUseLine2, 360, 1890, 2460, 195, true, AboutFont::kDialog},
    {"lbltext3", texts::kPlayAndEnjoy, 360, 2085, 1110, 195, true, AboutFont::kDialog},
    {"lbltext4", texts::kForUpdates, 360, 2700, 2265, 195, true, AboutFont::kDialog},
    {"lbltext5", texts::kVisitHomepage, 360, 2895, 1545, 195, true, AboutFont::kDialog},
    {"lblurl", texts::kHomePage, 360, 3105, 1740, 195, true, AboutFont::kDialog},
}};

int twipsToPixelsAt(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    const long long half = 720;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / 1440 : -((-scaled + half) / 1440));
}

}  // namespace kerfo::window
