// The view window's hand cursor: a 32 x 32 pointing hand drawn here, with its hot spot at the
// fingertip (12 pixels from the left, 1 from the top). It shows over a zoomed picture that can be
// dragged. UI thread only (it makes a pixmap).
#pragma once

#include <QCursor>
#include <QPoint>

namespace pellucor {

inline constexpr int kHandCursorSize = 32;
inline constexpr QPoint kHandCursorHotSpot{12, 1};

const QCursor& handCursor();

} // namespace pellucor
