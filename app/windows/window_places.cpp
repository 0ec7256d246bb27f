#include "app/windows/window_places.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace pellucor {

namespace {

// Pixels between the panel and a window opened beside it.
constexpr int kGap = 8;

// `at` moved the least that keeps a window of `size` inside `area` (its top-left corner wins
// when the window is larger than the area).
QPoint keptInside(QPoint at, const QSize& size, const QRect& area)
{
    const int x = std::max(area.left(), std::min(at.x(), area.left() + area.width() - size.width()));
    const int y = std::max(area.top(), std::min(at.y(), area.top() + area.height() - size.height()));
    return {x, y};
}

} // namespace

QPoint quarterOfDesktop(int slot, const QRect& desktop)
{
    const int halfWidth = desktop.width() / 2;
    const int halfHeight = desktop.height() / 2;
    return desktop.topLeft() +
           QPoint(slot == 2 || slot == 4 ? halfWidth : 0, slot == 3 || slot == 4 ? halfHeight : 0);
}

QPoint besidePanel(const QRect& panel, const QSize& size, const QRect& area)
{
    if (panel.isEmpty())
        return area.topLeft();
    const int areaRight = area.left() + area.width();  // one past the last column
    const int areaBottom = area.top() + area.height(); // one past the last row
    const int panelRight = panel.left() + panel.width();
    const int panelBottom = panel.top() + panel.height();
    if (panelRight + kGap + size.width() <= areaRight)
        return keptInside({panelRight + kGap, panel.top()}, size, area);
    if (panelBottom + kGap + size.height() <= areaBottom)
        return keptInside({panel.left(), panelBottom + kGap}, size, area);
    if (panel.left() - kGap - size.width() >= area.left())
        return keptInside({panel.left() - kGap - size.width(), panel.top()}, size, area);
    if (panel.top() - kGap - size.height() >= area.top())
        return keptInside({panel.left(), panel.top() - kGap - size.height()}, size, area);
    return keptInside({areaRight - size.width(), area.top()}, size, area);
}

QRect screenAreaFor(const QRect& panel)
{
    QScreen* screen = panel.isEmpty() ? nullptr : QGuiApplication::screenAt(panel.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace pellucor
