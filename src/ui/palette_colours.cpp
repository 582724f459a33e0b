#include "ui/palette_colours.h"

#include <algorithm>
#include <cmath>

namespace kerfo::ui {

namespace {

// The design's dark line of an etched rule: blue 64, green 0, red 64.
constexpr QRgb kDesignEtch = 0x400040;

// Contrast a rule's dark line needs to be seen at all (WCAG's figure for non-text parts).
constexpr double kMinRuleContrast = 3.0;

double linear(int channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.red()) + 0.7152 * linear(rgb.green()) + 0.0722 * linear(rgb.blue());
}

}  // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableBlue(const QColor& background) {
    const QColor design = QColor::fromRgb(kDesignBlue);
    QColor best = design;
    double bestContrast = contrastRatio(design, background);
    if (bestContrast >= kMinTextContrast) {
        return design;
    }
    const QColor hsl = design.toHsl();
    for (int lightness = hsl.lightness() + 1; lightness <= 255; ++lightness) {
        const QColor lighter = QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation(), lightness).toRgb();
        const double contrast = contrastRatio(lighter, background);
        if (contrast >= kMinTextContrast) {
            return lighter;
        }
        if (contrast > bestContrast) {
            best = lighter;
            bestContrast = contrast;
        }
    }
    return best;
}

EtchColours etchColours(const QPalette& palette) {
    const QColor window = palette.color(QPalette::Window);
    const QColor design = QColor::fromRgb(kDesignEtch);
    const QColor dark = contrastRatio(design, window) >= kMinRuleContrast ? design : palette.color(QPalette::Shadow);
    return {dark, palette.color(QPalette::Light)};
}

}  // namespace kerfo::ui
