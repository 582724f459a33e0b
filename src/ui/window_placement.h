// Where a top-level window goes on the desktop. Positions are the frame's outer top-left
// corner (title bar and border included) in logical pixels, the point the settings keep:
// saving and restoring the same point is what keeps a window from creeping run after run.
#pragma once

#include <QPoint>

#include <vector>

#include "window/placement.h"

class QWidget;

namespace kerfo::ui {

// The frame's top-left corner of `window`: where it is on screen, or where it will open
// when it has not been shown yet.
QPoint framePosition(const QWidget& window);

// Puts the frame's top-left corner of `window` at `topLeft`, shown or not. A window not yet
// shown opens with its client area there and is moved once more as soon as the window
// manager has said how big its frame is (some say so only after the window shows), so
// that the frame's corner lands on the point. Never fails; the point is applied as it is.
void moveFrameTo(QWidget& window, QPoint topLeft);

// Frame assumed while a window has no frame yet (the window manager reports it only once
// the window is on screen): a little more than the usual themes draw.
inline constexpr int kAssumedTitleBarHeight = 24;
inline constexpr int kAssumedBorder = 8;

// The frame of `window` in logical pixels, as the window model places it: where it is on
// screen with its title bar's height, or, before the window manager has framed it, where
// it will open with the frame assumed above.
window::Frame frameOf(QWidget& window);

// The available areas of the connected screens, in logical pixels.
std::vector<window::Rect> screenAreas();

}  // namespace kerfo::ui
