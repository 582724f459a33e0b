// Colours the windows draw themselves, chosen against the palette in use so that they read on
// a light desktop and a dark one alike.
#pragma once

#include <QColor>
#include <QPalette>

namespace kerfo::ui {

// The blue of a focused password label and of the about box's link: 0x0000C0 (blue of
// intensity 192).
inline constexpr QRgb kDesignBlue = 0x0000C0;

// Contrast ratio of two colours as WCAG 2 defines it, from 1 (equal) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b);

// Text contrast WCAG asks for ordinary text.
inline constexpr double kMinTextContrast = 4.5;

// The design blue when it reaches kMinTextContrast against `background`; otherwise the
// darkest lighter blue of the same hue that does, or, if none does, the one of the same hue
// that comes closest.
QColor readableBlue(const QColor& background);

// The two lines of an etched rule: a dark line (the design's 0x400040 where it stands out
// against the window, else the palette's shadow) and below it a light line in the palette's
// 3-D highlight colour.
struct EtchColours {
    QColor dark;
    QColor light;
};
EtchColours etchColours(const QPalette& palette);

}  // namespace kerfo::ui
