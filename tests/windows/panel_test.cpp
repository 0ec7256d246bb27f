// The control panel as a user drives it: clicks, presses and holds on the skin's objects, over
// the real engine with fake controls, scripted dialogs and simulated time.
#include "panel_rig.h"

#include <QImage>

using namespace paneltest;

namespace {

std::filesystem::path screenshotFile(const std::string& name)
{
    const auto folder = std::filesystem::path(TESSIVOR_BINARY_DIR) / "test-output" / "windows";
    std::filesystem::create_directories(folder);
    return folder / name;
}

void camerasOneAndThree(AppState& s)
{
    assignCamera(s.cam(1), "127.0.0.11", "Gate", /*pt=*/true);
    assignCamera(s.cam(3), "127.0.0.13", "Yard");
}

TEST(ControlPanel, AUserAssignsRecordsScansSteersAndCloses)
{
    PanelRig rig(camerasOneAndThree);
    auto& d = rig.dialogs;
    // Start-up: the lamps of the running cameras are lit, camera 1 is current.
    EXPECT_EQ(rig.bitmap("Led1-3"), "LedOn.bmp");
    EXPECT_EQ(rig.bitmap("Led2-3"), "LedOff.bmp");
    EXPECT_EQ(rig.text("LineID"), "1");
    EXPECT_EQ(rig.text("Line1"), "Gate");

    // "Cam2" on the empty slot: the search dialog's camera is assigned, configured and started.
    d.browseResult.Cancelled = false;
    d.browseResult.IPAddress = "127.0.0.12";
    d.browseResult.Port = 8481;
    d.browseResult.Protocol = kProtocolNative;
    d.browseResult.ServerName = "Porch";
    d.browseResult.ServerLocation = "Front door";
    d.browseResult.UserName = "pelko";
    d.browseResult.Password = "secret";
    std::size_t from = rig.mark();
    rig.click("Cam2");
    EXPECT_EQ(rig.countSince(from, "frmBrowse(2)"), 1u);
    const std::size_t host = rig.trace.find("Cam(2).RemoteHost = \"127.0.0.12\"", from);
    const std::size_t run = rig.trace.find("Cam(2).Run()", from);
    ASSERT_NE(host, std::string::npos) << rig.traceSince(from);
    ASSERT_NE(run, std::string::npos) << rig.traceSince(from);
    EXPECT_LT(host, run);
    EXPECT_NE(rig.trace.find("Cam(2).UserName = \"pelko\"", from), std::string::npos);
    EXPECT_NE(rig.trace.find("frmClient2.Show", run), std::string::npos);
    EXPECT_EQ(rig.state.CurCam, 2);
    EXPECT_EQ(rig.bitmap("Led2-3"), "LedOn.bmp");
    EXPECT_EQ(rig.text("LineID"), "2");
    EXPECT_EQ(rig.text("Line1"), "Porch");
    EXPECT_EQ(rig.text("Line2"), "127.0.0.12 : 8481");
    EXPECT_EQ(rig.text("Line3"), "Front door");
    EXPECT_EQ(rig.text("Line4"), "");
    EXPECT_EQ(rig.text("Line5"), "On line");
    EXPECT_EQ(rig.bitmap("Connect"), "Down.bmp");

    // "ManualRec": the recording starts and its lamp lights.
    from = rig.mark();
    rig.click("ManualRec");
    EXPECT_EQ(rig.countSince(from, "Cam(2).StartRecording()"), 1u) << rig.traceSince(from);
    EXPECT_TRUE(rig.state.cam(2).Recording);
    EXPECT_EQ(rig.state.cam(2).RecordMode, 1);
    EXPECT_EQ(rig.bitmap("Led2-1"), "LedOn.bmp");
    EXPECT_EQ(rig.bitmap("ManualRec"), "Down.bmp");
    EXPECT_EQ(rig.text("Line5"), "On line  Manual recording");

    // "Scan" with three enabled cameras: scan mode runs in the scan window; a second click ends it.
    from = rig.mark();
    rig.click("Scan");
    EXPECT_TRUE(rig.state.ScanModeOn);
    EXPECT_TRUE(rig.state.WindowOpen[6]);
    EXPECT_EQ(rig.countSince(from, "frmScan.Show"), 1u);
    EXPECT_TRUE(rig.engine->tmrScan().enabled());
    EXPECT_EQ(rig.bitmap("Scan"), "Down.bmp");
    EXPECT_EQ(rig.bitmap("PT-L"), "Dark.bmp");
    rig.click("Scan");
    EXPECT_FALSE(rig.state.ScanModeOn);
    EXPECT_FALSE(rig.engine->tmrScan().enabled());

    // Camera 1 has a pan/tilt head: holding "PT-L" for one second sends the left command at the
    // press, after 500 ms and then every 50 ms.
    rig.click("Cam1");
    ASSERT_EQ(rig.state.CurCam, 1);
    EXPECT_EQ(rig.bitmap("PT-L"), "Main.bmp");
    from = rig.mark();
    rig.press("PT-L");
    EXPECT_EQ(rig.bitmap("PT-L"), "Down.bmp");
    rig.clock.advance(1000);
    rig.release("PT-L");
    rig.clock.advance(1000);
    EXPECT_EQ(rig.countSince(from, "Cam(1).PT_CMD(3)"), 12u) << rig.traceSince(from);
    EXPECT_EQ(rig.countSince(from, "Cam(1).MotionDetectMode = 0"), 12u);
    EXPECT_FALSE(rig.panel->tmrBtnHold().enabled());
    EXPECT_EQ(rig.panel->padCommand(), 3);

    // Motion recording on: a pad press asks first. No: nothing is sent and the pad is reset.
    rig.click("MotionRec");
    ASSERT_EQ(rig.state.cam(1).RecordMode, 3);
    EXPECT_EQ(rig.text("Line5"), "On line  Motion recording");
    d.answers = {kAnswerNo};
    from = rig.mark();
    rig.press("PT-R");
    rig.release("PT-R");
    rig.clock.advance(1000);
    EXPECT_EQ(rig.countSince(from, "MsgBox " + rig.state.texts.PanelMessage[3] + " (52)"), 1u)
        << rig.traceSince(from);
    EXPECT_EQ(rig.countSince(from, "Cam(1).PT_CMD(5)"), 0u);
    EXPECT_EQ(rig.state.cam(1).RecordMode, 3);
    EXPECT_EQ(rig.bitmap("PT-R"), "Main.bmp");
    // Yes: the motion recording and alarm go off, then the head moves.
    d.answers = {kAnswerYes};
    from = rig.mark();
    rig.press("PT-H");
    rig.release("PT-H");
    EXPECT_EQ(rig.countSince(from, "Cam(1).PT_CMD(4)"), 1u) << rig.traceSince(from);
    EXPECT_EQ(rig.state.cam(1).RecordMode, 0);
    EXPECT_EQ(rig.state.cam(1).Alarm, 0);
    EXPECT_FALSE(rig.engine->tmrMotion(1).enabled());
    EXPECT_EQ(rig.text("Line5"), "On line");

    QCoreApplication::processEvents();
    const QImage shot = rig.panel->grab().toImage();
    EXPECT_EQ(shot.size(), QSize(560, 300));
    EXPECT_TRUE(
        shot.save(QString::fromStdString(screenshotFile("panel-after-scenario.png").string()), "PNG"));

    // Closing the view windows leaves the program running; closing the panel last saves the
    // profile, stops the recording and the cameras.
    for (int n = 1; n <= 4; ++n) {
        if (rig.state.WindowOpen[static_cast<std::size_t>(n)]) {
            rig.hosts.unloadView(n);
            rig.windows.mainWindowClosed();
        }
    }
    EXPECT_FALSE(rig.windows.shutDown());
    const auto profile = rig.home.path() / "main.ini";
    std::filesystem::remove(profile);
    from = rig.mark();
    EXPECT_TRUE(rig.panel->close());
    EXPECT_FALSE(rig.panel->isVisible());
    EXPECT_FALSE(rig.state.WindowOpen[0]);
    ASSERT_TRUE(rig.windows.shutDown());
    ASSERT_TRUE(std::filesystem::exists(profile));
    const std::string saved = fileText(profile);
    EXPECT_NE(saved.find("127.0.0.12"), std::string::npos);
    EXPECT_NE(saved.find("Porch"), std::string::npos);
    EXPECT_LT(rig.trace.find("shutdown", from), rig.trace.find("Cam(2).StopRecording()", from));
    EXPECT_NE(rig.trace.find("Cam(2).Stop()", from), std::string::npos);
    EXPECT_TRUE(rig.messages.shown.empty()) << rig.messages.shown.front();
}

} // namespace
