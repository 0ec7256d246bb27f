// The view window's zoom and pan arithmetic, on the model alone.
#include "app/windows/zoom_model.h"

#include <gtest/gtest.h>

#include <string>

using namespace pellucor;

namespace {

TEST(ZoomFactor, EveryToolOfTheGroup)
{
    const struct
    {
        const char* id;
        std::optional<double> factor;
    } cases[] = {
        {"ID_x1", 1.0},          {"ID_x1.5", 1.5},   {"ID_x2", 2.0},          {"ID_x2.5", 2.5},
        {"ID_x3", 3.0},          {"ID_x3.5", 3.5},   {"ID_x4", 4.0},          {"ID_FitWindow", std::nullopt},
        {"ID_x5", std::nullopt}, {"", std::nullopt}, {"id_x2", std::nullopt}, {"ID_ZoomMenu", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(zoomFactor(c.id), c.factor) << c.id;
}

TEST(ZoomedSide, WholeFactorsMultiplyHalfFactorsRoundHalvesToEven)
{
    const struct
    {
        std::int32_t side;
        double factor;
        std::int32_t expected;
    } cases[] = {
        {241, 1.5, 362}, // 361.5 -> 362
        {243, 1.5, 364}, // 364.5 -> 364
        {240, 1.5, 360},
        {352, 2.5, 880},
        {240, 2.5, 600},
        {241, 2.5, 602}, // 602.5 -> 602
        {243, 2.5, 608}, // 607.5 -> 608
        {241, 3.5, 844}, // 843.5 -> 844
        {239, 3.5, 836}, // 836.5 -> 836
        {352, 1.0, 352},
        {352, 2.0, 704},
        {352, 3.0, 1056},
        {352, 4.0, 1408},
        {0, 2.5, 0},
        {0, 4.0, 0},
        {1, 1.5, 2},
        {3, 1.5, 4},                   // 1.5 -> 2, 4.5 -> 4
        {0x7fffffff, 4.0, 0x7fffffff}, // held in range, not wrapped
    };
    for (const auto& c : cases)
        EXPECT_EQ(zoomedSide(c.side, c.factor), c.expected) << c.side << " x " << c.factor;
}

TEST(ZoomPanModel, CentresOnHalfPixelsAndOverhangs)
{
    const struct
    {
        double W, H, w, h;
        PictureRect expected;
    } cases[] = {
        {640, 480, 880, 600, {-120, -60, 880, 600}}, // x2.5 of a 352 x 240 frame
        {501, 240, 352, 240, {74.5, 0, 352, 240}},   // an odd difference: half a pixel
        {320, 240, 0, 0, {160, 120, 0, 0}},          // zoom before the first frame
        {320, 240, 321, 241, {-0.5, -0.5, 321, 241}},
    };
    for (const auto& c : cases) {
        ZoomPanModel m;
        m.centre(c.W, c.H, c.w, c.h);
        EXPECT_EQ(m.picture(), c.expected);
    }
    ZoomPanModel fit;
    fit.fit(641, 479); // nothing is halved
    EXPECT_EQ(fit.picture(), (PictureRect{0, 0, 641, 479}));
}

// x2.5 on a 352 x 240 frame in a 640 x 480 client area, then drags that would overshoot.
TEST(ZoomPanModel, DragIsClampedToTheClientArea)
{
    ZoomPanModel m;
    m.centre(640, 480, 880, 600);
    ASSERT_EQ(m.picture(), (PictureRect{-120, -60, 880, 600}));

    EXPECT_EQ(m.mouseDown(1, 400, 300, 640, 480, false), PanCursor::SizeAll);
    EXPECT_TRUE(m.panActive());
    // 100 right and 30 down: inside the bounds.
    EXPECT_EQ(m.mouseMove(1, 500, 330, 640, 480, false), PanCursor::SizeAll);
    EXPECT_EQ(m.picture().left, -20);
    EXPECT_EQ(m.picture().top, -30);
    // The grab point stays: another 100 right would put the left edge at +80: it stops at 0.
    m.mouseMove(1, 500, 330, 640, 480, false);
    EXPECT_EQ(m.picture().left, 0);
    EXPECT_EQ(m.picture().top, 0);
    // Far to the left and up: the right and bottom edges stop on the client's edges.
    m.mouseMove(1, 400 - 1000, 300 - 1000, 640, 480, false);
    EXPECT_EQ(m.picture().left, -240);
    EXPECT_EQ(m.picture().top, -120);
    // Within -240..0 / -120..0 whatever the movement.
    for (double dx : {-700.0, -3.0, 0.0, 15.0, 999.0}) {
        m.mouseMove(1, 400 + dx, 300 - dx, 640, 480, false);
        EXPECT_GE(m.picture().left, -240);
        EXPECT_LE(m.picture().left, 0);
        EXPECT_GE(m.picture().top, -120);
        EXPECT_LE(m.picture().top, 0);
    }
    EXPECT_EQ(m.mouseUp(), PanCursor::Default);
    EXPECT_FALSE(m.panActive());
    const PictureRect after = m.picture();
    EXPECT_EQ(m.mouseMove(1, 0, 0, 640, 480, false), PanCursor::Hand); // no drag after the button-up
    EXPECT_EQ(m.picture(), after);
}

TEST(ZoomPanModel, PansOnlyAlongTheAxisThatOverhangs)
{
    ZoomPanModel m;
    m.centre(320, 240, 480, 240); // wider, not taller
    m.mouseDown(1, 100, 100, 320, 240, false);
    m.mouseMove(1, 110, 150, 320, 240, false);
    EXPECT_EQ(m.picture().left, -70);
    EXPECT_EQ(m.picture().top, 0);

    ZoomPanModel v;
    v.centre(320, 240, 320, 400); // taller, not wider
    v.mouseDown(1, 100, 100, 320, 240, false);
    v.mouseMove(1, 150, 90, 320, 240, false);
    EXPECT_EQ(v.picture().left, 0);
    EXPECT_EQ(v.picture().top, -90);
    // No horizontal offset from the grab point: the vertical part still runs.
    v.mouseMove(1, 100, 60, 320, 240, false);
    EXPECT_EQ(v.picture().top, -130);
}

TEST(ZoomPanModel, DragNeedsTheLeftButtonAloneAndAPictureLargerThanTheClient)
{
    struct Case
    {
        const char* what;
        int downButton;
        bool fit;
        double w, h;
        bool drags;
        PanCursor cursor;
    };
    const Case cases[] = {
        {"left on an overhanging picture", 1, false, 880, 600, true, PanCursor::SizeAll},
        {"right button", 2, false, 880, 600, false, PanCursor::Default},
        {"middle button", 4, false, 880, 600, false, PanCursor::Default},
        {"Fit Window pressed", 1, true, 880, 600, false, PanCursor::Default},
        {"picture fits", 1, false, 640, 480, false, PanCursor::Default},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ZoomPanModel m;
        m.centre(640, 480, c.w, c.h);
        EXPECT_EQ(m.mouseDown(c.downButton, 10, 10, 640, 480, c.fit), c.cursor);
        EXPECT_EQ(m.panActive(), c.drags);
        const PictureRect before = m.picture();
        m.mouseMove(1, 60, 60, 640, 480, c.fit);
        EXPECT_EQ(m.picture() == before, !c.drags);
    }

    // Left and right together: the picture stays; with the left alone again it follows.
    ZoomPanModel m;
    m.centre(640, 480, 880, 600);
    m.mouseDown(1, 10, 10, 640, 480, false);
    m.mouseMove(1 | 2, 60, 60, 640, 480, false);
    EXPECT_EQ(m.picture(), (PictureRect{-120, -60, 880, 600}));
    m.mouseMove(1, 60, 60, 640, 480, false);
    EXPECT_EQ(m.picture(), (PictureRect{-70, -10, 880, 600}));
}

TEST(ZoomPanModel, CursorBySituation)
{
    ZoomPanModel m;
    m.centre(640, 480, 880, 600);
    EXPECT_EQ(m.mouseMove(0, 5, 5, 640, 480, false), PanCursor::Hand);   // can be dragged
    EXPECT_EQ(m.mouseMove(0, 5, 5, 640, 480, true), PanCursor::Default); // Fit Window pressed
    m.mouseDown(1, 5, 5, 640, 480, false);
    EXPECT_EQ(m.mouseMove(0, 5, 5, 640, 480, false), PanCursor::SizeAll); // dragging, no button on this move
    EXPECT_EQ(m.mouseUp(), PanCursor::Default);
    m.centre(640, 480, 640, 480);
    EXPECT_EQ(m.mouseMove(0, 5, 5, 640, 480, false), PanCursor::Default); // fits
}

TEST(ZoomPanModel, GrabPointRoundsHalvesToEvenAndDragsKeepHalfPixels)
{
    ZoomPanModel m;
    m.centre(501, 240, 881, 240); // left -190
    m.mouseDown(1, 10.5, 3.5, 501, 240, false);
    EXPECT_EQ(m.panStartX(), 10);
    EXPECT_EQ(m.panStartY(), 4);
    m.mouseDown(1, 11.5, 2.5, 501, 240, false);
    EXPECT_EQ(m.panStartX(), 12);
    EXPECT_EQ(m.panStartY(), 2);

    ZoomPanModel h;
    h.centre(500, 240, 881, 240); // -190.5
    h.mouseDown(1, 100, 0, 500, 240, false);
    h.mouseMove(1, 110, 0, 500, 240, false);
    EXPECT_EQ(h.picture().left, -180.5);
    EXPECT_EQ(roundHalfEven(-180.5), -180);
    EXPECT_EQ(roundHalfEven(74.5), 74);
    EXPECT_EQ(roundHalfEven(75.5), 76);
}

} // namespace
