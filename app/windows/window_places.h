// Where the program's windows open on the screen. The control panel stays where the user put it
// (top left at start-up); the camera windows open where they do not cover it, or where the user
// asked for them. Pure arithmetic on screen rectangles in pixels; no window is touched here.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace pellucor {

// The top-left corner of camera `slot`'s quarter of `desktop`: slots 2 and 4 at half its width,
// 3 and 4 at half its height (the halves rounded down), slot 1 at its corner.
QPoint quarterOfDesktop(int slot, const QRect& desktop);

// Where a window of `size` opens beside the control panel's frame `panel` within `area` (the
// screen's free area): at the panel's right, else below it, else at its left, else above it, each
// a small gap away and kept inside `area`. When none of these fits, the window's top-right corner
// goes to the area's; with no panel (an empty rectangle) its top-left corner goes to the area's.
QPoint besidePanel(const QRect& panel, const QSize& size, const QRect& area);

// The free area (without the desktop's own bars) of the screen that the panel's frame `panel` is
// on; of the primary screen when `panel` is empty or on no screen; empty without any screen.
QRect screenAreaFor(const QRect& panel);

} // namespace pellucor
