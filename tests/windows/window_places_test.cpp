// Where the program's windows open: the view windows' quarters of the screen and the place of a
// window opened beside the control panel, on the arithmetic alone.
#include "app/windows/window_places.h"

#include <gtest/gtest.h>

using namespace pellucor;

namespace {

TEST(WindowPlaces, EachViewWindowTakesItsQuarterOfTheDesktop)
{
    const struct
    {
        QRect desktop;
        QPoint corners[4];
    } cases[] = {
        {QRect(0, 0, 1024, 768), {{0, 0}, {512, 0}, {0, 384}, {512, 384}}},
        {QRect(0, 0, 1025, 769), {{0, 0}, {512, 0}, {0, 384}, {512, 384}}}, // halves rounded down
        {QRect(1920, 0, 1280, 800), {{1920, 0}, {2560, 0}, {1920, 400}, {2560, 400}}},
    };
    for (const auto& c : cases)
        for (int slot = 1; slot <= 4; ++slot)
            EXPECT_EQ(quarterOfDesktop(slot, c.desktop), c.corners[slot - 1])
                << c.desktop.width() << "x" << c.desktop.height() << " slot " << slot;
}

TEST(WindowPlaces, AWindowBesideThePanelLeavesThePanelFree)
{
    const QRect area(0, 0, 1280, 800);
    const QSize window(328, 292);
    const struct
    {
        const char* what;
        QRect panel;
        QSize size;
        QPoint expected;
    } cases[] = {
        {"at its right", QRect(0, 0, 560, 300), window, {568, 0}},
        {"at its right, kept on screen", QRect(100, 700, 560, 300), window, {668, 508}},
        {"below it", QRect(0, 0, 1000, 300), window, {0, 308}},
        {"at its left", QRect(900, 0, 380, 600), window, {564, 0}},
        {"above it", QRect(0, 400, 1280, 400), window, {0, 100}},
        {"nowhere free: the top-right corner", QRect(0, 0, 1280, 800), window, {952, 0}},
        {"no panel: the top-left corner", QRect(), window, {0, 0}},
        {"larger than the screen", QRect(0, 0, 560, 300), QSize(1400, 900), {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QPoint at = besidePanel(c.panel, c.size, area);
        EXPECT_EQ(at, c.expected) << at.x() << "," << at.y();
        if (c.panel.isValid() && c.panel != area && c.size.width() < area.width()) {
            EXPECT_FALSE(QRect(at, c.size).intersects(c.panel));
        }
    }
}

} // namespace
