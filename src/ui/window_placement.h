// Where a top-level window goes on the desktop. Positions are the frame's outer top-left
// corner (title bar and border included) in logical pixels, the point the settings keep:
// saving and restoring the same point is what keeps a window from creeping run after run.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

class QWidget;

namespace kerfo::ui {

// The frame's top-left corner of `window`: where it is on screen, or where it will open
// when it has not been shown yet.
QPoint framePosition(const QWidget& window);

// Puts the frame's top-left corner of `window` at `topLeft`, shown or not. A window not yet
// shown is created natively first so that the window manager is asked to place its frame,
// not its client area, at that point. Never fails; the point is applied as it is.
void moveFrameTo(QWidget& window, QPoint topLeft);

// Frame assumed while a window has no frame yet (the window manager reports it only once
// the window is on screen): a little more than the usual themes draw.
inline constexpr int kAssumedTitleBarHeight = 24;
inline constexpr int kAssumedBorder = 8;

// The title bar counts as reachable on a screen when it lies within the screen's height
// and this much of its width (or all of it, if narrower) lies on the screen.
inline constexpr int kMinReachableWidth = 48;

// Where a frame at `frame`, whose top `titleBarHeight` pixels are its title bar, must go so
// that the user can reach it: `frame`'s own corner when the title bar is reachable on one
// of `screens` (available areas, logical pixels); otherwise the corner that moves the
// frame the least onto the nearest screen, as much of it inside as fits. With no screens,
// the corner is returned unchanged.
QPoint reachablePosition(const QRect& frame, int titleBarHeight, const QList<QRect>& screens);

// Moves `window` by reachablePosition over the available areas of the connected screens.
// Nothing happens when its title bar is reachable already.
void keepTitleBarOnScreen(QWidget& window);

}  // namespace kerfo::ui
