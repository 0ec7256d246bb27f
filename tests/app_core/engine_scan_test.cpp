// Scan mode: drawing targets move between the cameras in simulated time.
#include "engine_fakes.h"
#include "test_folder.h"

#include <gtest/gtest.h>

using namespace enginetest;

namespace {

class Scan : public ::testing::Test
{
protected:
    void SetUp() override
    {
        state.paths.homeDir = home.path();
        InitGlobals(state, 0);
        rig = std::make_unique<EngineRig>(state, 1709546400);
        for (int n = 1; n <= 4; ++n)
            rig->cam(n).traceGets = false;
    }
    // Which camera draws into the scan window now (the last one told to), 0 when none.
    int drawing()
    {
        int who = 0;
        for (int n = 1; n <= 4; ++n)
            if (rig->cam(n).props["PreviewhWnd"] == Variant::i4(5000) &&
                rig->cam(n).props["DrawImage"] == Variant::boolean(true))
                who = n;
        return who;
    }

    TestFolder home{"scan"};
    AppState state;
    std::unique_ptr<EngineRig> rig;
};

TEST_F(Scan, EnabledCamerasTakeTurnsEveryDelayPlusOneSeconds)
{
    state.cam(2).Enable = true;
    state.cam(4).Enable = true;
    state.settings.ScanDelay = 4;
    rig->windows.showView(2);
    rig->windows.showView(4);
    rig->engine->ScanMode();
    EXPECT_FALSE(state.WindowOpen[2]);
    EXPECT_FALSE(state.WindowOpen[4]);
    EXPECT_TRUE(state.WindowOpen[6]);
    EXPECT_EQ(state.ScanCam, 2);
    EXPECT_EQ(drawing(), 2);
    EXPECT_EQ(rig->cam(2).props["PreviewWidth"], Variant::i4(640));
    EXPECT_EQ(rig->cam(1).props["PreviewhWnd"], Variant::i4(rig->engine->hiddenPicture()));

    rig->clock.advance(4999);
    EXPECT_EQ(drawing(), 2);
    rig->clock.advance(1);
    EXPECT_EQ(drawing(), 4);
    rig->clock.advance(5000);
    EXPECT_EQ(drawing(), 2); // wrapped past 1 (not enabled)

    rig->engine->ScanModeToNormalMode();
    EXPECT_FALSE(rig->engine->tmrScan().enabled());
    EXPECT_FALSE(state.WindowOpen[6]);
    EXPECT_TRUE(state.WindowOpen[2]);
    EXPECT_TRUE(state.WindowOpen[4]);
    EXPECT_FALSE(state.WindowOpen[1]);
    EXPECT_EQ(rig->cam(4).props["PreviewhWnd"], Variant::i4(1004));
    EXPECT_EQ(rig->cam(4).props["DrawImage"], Variant::boolean(false));
}

TEST_F(Scan, WithNoCameraEnabledOnlyTheStatusBarIsRefreshed)
{
    rig->engine->ScanMode();
    EXPECT_EQ(state.ScanCam, 1);
    const auto shows = rig->trace.count("frmScan.RefrushStatusBar");
    rig->clock.advance(1000);
    EXPECT_EQ(rig->trace.count("frmScan.RefrushStatusBar"), shows + 1);
    EXPECT_EQ(rig->trace.count("frmScan.Refresh"), 0u);
    EXPECT_EQ(state.ScanCam, 1);
}

TEST_F(Scan, AKestraCameraIsShownAndParkedThroughItsViewer)
{
    state.cam(1).Enable = true;
    state.cam(1).Protocol = kProtocolKestra;
    state.cam(3).Enable = true;
    rig->engine->ScanMode();
    const std::string hidden = std::to_string(rig->engine->hiddenPicture());
    EXPECT_EQ(rig->trace.count("CamViewer1(1).attachWindow(5000, 640, 480)"), 1u);
    EXPECT_EQ(rig->cam(1).props["DrawImage"], Variant::boolean(true)); // told to draw all the same
    rig->clock.advance(1000);
    EXPECT_EQ(drawing(), 3);
    EXPECT_GE(rig->trace.count("CamViewer1(1).attachWindow(" + hidden + ", 1, 1)"), 2u);

    rig->engine->ScanModeToCombineMode();
    EXPECT_FALSE(state.WindowOpen[6]);
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(rig->cam(n).props["DrawImage"], Variant::boolean(false));
}

} // namespace
