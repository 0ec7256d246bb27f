// The control panel's rules one at a time: what the text lines and buttons show, which clicks
// scan mode blocks, the recording switches, erase, connect, combine, the web page, and how its
// handlers treat a pack without an object and a failing control.
#include "panel_rig.h"

#include "app/skin/tool_set.h"

#include <QAction>
#include <QFontMetrics>
#include <QMenu>

using namespace paneltest;

namespace {

std::filesystem::path panelScreenshot(const std::string& name)
{
    const auto folder = std::filesystem::path(TESSIVOR_BINARY_DIR) / "test-output" / "windows";
    std::filesystem::create_directories(folder);
    return folder / name;
}

void cameraOne(AppState& s)
{
    assignCamera(s.cam(1), "127.0.0.11", "Gate", /*pt=*/true);
}

void camerasOneAndTwo(AppState& s)
{
    assignCamera(s.cam(1), "127.0.0.11", "Gate", /*pt=*/true);
    assignCamera(s.cam(2), "127.0.0.12", "Porch");
}

TEST(PanelText, AnEmptySlotShowsEmptyAndGreysItsButtons)
{
    PanelRig rig;
    EXPECT_EQ(rig.text("LineID"), "1");
    EXPECT_EQ(rig.text("Line1"), "EMPTY");
    for (const char* line : {"Line2", "Line3", "Line4", "Line5"})
        EXPECT_EQ(rig.text(line), "") << line;
    EXPECT_EQ(rig.bitmap("Assign"), "Main.bmp");
    for (const char* grey : {"MotionRec", "ScheduleRec", "ManualRec", "Connect", "Erase", "ExtInfo"})
        EXPECT_EQ(rig.bitmap(grey), "Gray.bmp") << grey;
    // The clock is written on every tick of its 500 ms timer.
    rig.obj("Time").SetText("");
    rig.clock.advance(500);
    EXPECT_TRUE(rig.text("Time").contains(QString::number(QDate::currentDate().year() % 100)))
        << rig.text("Time").toStdString();
    // The pad is dark without a camera.
    EXPECT_EQ(rig.bitmap("PT-L"), "Dark.bmp");
    EXPECT_EQ(rig.obj("PT-L").HintText(), "");
}

TEST(PanelText, StatusLineFollowsTheRecordingMode)
{
    struct Case
    {
        int mode;
        bool enable;
        const char* line5;
        int modeAfter;
    };
    const Case cases[] = {
        {0, true, "On line", 0},
        {1, true, "On line", 0}, // manual mode without a recording is no mode at all
        {2, false, "Off line  Schedule recording", 2},
        {3, true, "On line  Motion recording", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        PanelRig rig(cameraOne);
        rig.state.cam(1).RecordMode = c.mode;
        rig.state.cam(1).Enable = c.enable;
        rig.panel->RefreshPanelText();
        EXPECT_EQ(rig.text("Line5"), c.line5);
        EXPECT_EQ(rig.state.cam(1).RecordMode, c.modeAfter);
    }
}

TEST(PanelText, RefusedLoginIsToldOnTheStatusLineUntilTheCameraRunsAgain)
{
    PanelRig rig(cameraOne);
    ASSERT_TRUE(rig.state.cam(1).Enable);
    // The camera refuses the stored credentials on its first connection: it is stopped, and the
    // panel says why, not only the log written at exit.
    rig.engine->onImageEvent(1, 22);
    EXPECT_FALSE(rig.state.cam(1).Enable);
    EXPECT_EQ(rig.text("Line5"), "Off line  Login refused");
    rig.state.cam(1).RecordMode = 2;
    rig.panel->RefreshPanelText();
    EXPECT_EQ(rig.text("Line5"), "Off line  Login refused  Schedule recording");
    rig.state.cam(1).RecordMode = 0;
    // Started again (the credentials may have been put right), the reason is gone, also after a
    // plain stop.
    rig.click("Connect");
    EXPECT_TRUE(rig.state.cam(1).Enable);
    EXPECT_EQ(rig.text("Line5"), "On line");
    rig.click("Connect");
    EXPECT_EQ(rig.text("Line5"), "Off line");
}

TEST(PanelText, ExtendedInformationShowsTheChosenItems)
{
    PanelRig rig(cameraOne);
    rig.state.cam(1).ServerModel = "PX-10";
    rig.state.cam(1).HWVersion = "B2";
    rig.state.cam(1).FWVersion = "3.14.7";
    rig.state.cam(1).MacAddress = "0.1.2.10.171.255";
    rig.click("ExtInfo");
    EXPECT_TRUE(rig.state.ExtInfoOn[0]);
    EXPECT_EQ(rig.bitmap("ExtInfo"), "Down.bmp");
    // "Details" in the English pack: what identifies the camera.
    EXPECT_EQ(rig.text("Line1"), "Model:PX-10");
    EXPECT_EQ(rig.text("Line2"), "Hardware:B2");
    EXPECT_EQ(rig.text("Line3"), "Firmware:3.14.7");
    EXPECT_EQ(rig.text("Line4"), "MAC:00 01 02 0A AB FF");
    EXPECT_EQ(rig.text("Line5"), "IP address:127.0.0.11");
    // The longest address and a MAC address of the widest letters fit their lines whole.
    rig.state.cam(1).MacAddress = "221.221.221.221.221.221";
    rig.state.cam(1).IPAddress = "222.222.222.222";
    rig.panel->RefreshPanelText();
    for (const char* line : {"Line4", "Line5"}) {
        const SkinObject& o = rig.obj(line);
        EXPECT_LE(QFontMetrics(o.Font()).horizontalAdvance(o.Text()), o.Width() - 4)
            << o.Text().toStdString();
    }
    rig.state.cam(1).MacAddress = "0.1.2.10.171.255";
    rig.state.cam(1).IPAddress = "127.0.0.11";
    rig.panel->RefreshPanelText();
    QCoreApplication::processEvents();
    EXPECT_TRUE(rig.panel->grab().toImage().save(
        QString::fromStdString(panelScreenshot("panel-details.png").string()), "PNG"));
    // Any other choice of items, and kinds that name nothing.
    rig.state.ui.ExtraItem = {1, 5, 6, 7, 9};
    rig.panel->RefreshPanelText();
    EXPECT_EQ(rig.text("Line1"), "Model:PX-10");
    EXPECT_EQ(rig.text("Line2"), "MAC:00 01 02 0A AB FF");
    EXPECT_EQ(rig.text("Line3"), "IP address:127.0.0.11");
    EXPECT_EQ(rig.text("Line4"), "Name:Gate");
    EXPECT_EQ(rig.text("Line5"), "");
    rig.click("ExtInfo");
    EXPECT_FALSE(rig.state.ExtInfoOn[0]);
    EXPECT_EQ(rig.text("Line1"), "Gate");
}

TEST(PanelClicks, ScanModeBlocksTheCameraButtons)
{
    PanelRig rig(camerasOneAndTwo);
    rig.click("Scan");
    ASSERT_TRUE(rig.state.ScanModeOn);
    EXPECT_EQ(rig.bitmap("ManualRec"), "Gray.bmp");
    for (const char* name : {"ManualRec", "Assign", "Motion", "Connect", "Web", "Erase", "CamConf", "ExtInfo",
                             "ScheduleRec", "MotionRec", "Update", "PT-L"}) {
        SCOPED_TRACE(name);
        const std::size_t from = rig.mark();
        const QString before = rig.bitmap(name);
        rig.click(name);
        EXPECT_EQ(rig.traceSince(from), "");
        EXPECT_EQ(rig.bitmap(name), before);
        EXPECT_TRUE(rig.state.cam(1).Enable);
        EXPECT_EQ(rig.state.cam(1).RecordMode, 0);
    }
    // A camera button does not change the current camera either.
    rig.click("Cam2");
    EXPECT_EQ(rig.state.CurCam, 1);
}

TEST(PanelClicks, ScanNeedsTwoEnabledCameras)
{
    PanelRig rig(cameraOne);
    const std::size_t from = rig.mark();
    rig.click("Scan");
    EXPECT_FALSE(rig.state.ScanModeOn);
    EXPECT_EQ(rig.countSince(from, "frmScan.Show"), 0u);
}

TEST(PanelClicks, TheRightButtonChangesNothing)
{
    PanelRig rig(cameraOne);
    QTest::mouseMove(&rig.form(), rig.at("Erase"));
    const QString hover = rig.bitmap("Erase");
    const std::size_t from = rig.mark();
    QTest::mouseClick(&rig.form(), Qt::RightButton, Qt::NoModifier, rig.at("Erase"));
    EXPECT_EQ(rig.bitmap("Erase"), hover);
    EXPECT_EQ(rig.traceSince(from), "");
    EXPECT_TRUE(rig.state.cam(1).Assign);
}

TEST(PanelClicks, HoverShowsTheHoverPictureOnlyWhereTheButtonActs)
{
    PanelRig rig(cameraOne);
    QTest::mouseMove(&rig.form(), rig.at("Erase"));
    EXPECT_EQ(rig.bitmap("Erase"), "Over.bmp");
    QTest::mouseMove(&rig.form(), rig.at("Connect"));
    EXPECT_EQ(rig.bitmap("Erase"), "Main.bmp");
    // Connected: the pressed picture stays, but the pointer is known to be over it.
    EXPECT_EQ(rig.bitmap("Connect"), "Down.bmp");
    EXPECT_TRUE(rig.panel->connectHover());
    QTest::mouseMove(&rig.form(), rig.at("LineID"));
    EXPECT_FALSE(rig.panel->connectHover());
}

TEST(PanelActions, EraseEmptiesTheSlotButKeepsItsSchedules)
{
    PanelRig rig([](AppState& s) {
        cameraOne(s);
        s.cam(1).ScheduleCount = 1;
        s.cam(1).Schedule(1).CHECK = true;
        s.cam(1).MailTo = "guard@example.org";
        s.cam(1).Protocol = kProtocolVideoCgi;
        s.cam(1).Port = 80;
    });
    rig.click("ExtInfo");
    ASSERT_TRUE(rig.state.ExtInfoOn[0]);
    rig.dialogs.eraseAnswer = false;
    rig.click("Erase");
    EXPECT_TRUE(rig.state.cam(1).Assign);
    EXPECT_TRUE(rig.state.ExtInfoOn[0]); // a cancelled erase changes nothing

    rig.dialogs.eraseAnswer = true;
    const std::size_t from = rig.mark();
    rig.click("Erase");
    EXPECT_FALSE(rig.state.ExtInfoOn[0]);
    const CamInfo& c = rig.state.cam(1);
    EXPECT_FALSE(c.Assign);
    EXPECT_FALSE(c.Enable);
    EXPECT_EQ(c.IPAddress, "");
    EXPECT_EQ(c.Port, 8481);
    EXPECT_EQ(c.Protocol, 0);
    EXPECT_EQ(c.MacAddress, "0.0.0.0.0.0");
    EXPECT_FALSE(c.PT);
    EXPECT_EQ(c.ScheduleCount, 1);
    EXPECT_TRUE(c.Schedule(1).CHECK);
    EXPECT_EQ(c.MailTo, "guard@example.org");
    EXPECT_NE(rig.trace.find("Cam(1).Stop()", from), std::string::npos);
    EXPECT_NE(rig.trace.find("frmClient1.Unload", from), std::string::npos);
    EXPECT_FALSE(rig.state.WindowOpen[1]);
    EXPECT_EQ(rig.bitmap("Led1-3"), "LedOff.bmp");
    EXPECT_EQ(rig.text("Line1"), "EMPTY");
    EXPECT_EQ(rig.bitmap("PT-L"), "Dark.bmp");
}

TEST(PanelActions, ErasingAKestraCameraEndsItsSession)
{
    PanelRig rig([](AppState& s) {
        cameraOne(s);
        s.cam(1).Protocol = kProtocolKestra;
    });
    const std::string cookie = rig.state.CamCookie[0];
    ASSERT_FALSE(cookie.empty());
    const std::size_t from = rig.mark();
    rig.click("Erase");
    EXPECT_EQ(rig.countSince(from, "Cam(1).Kestra_Logout(\"" + cookie + "\")"), 1u) << rig.traceSince(from);
    EXPECT_TRUE(rig.state.CamCookie[0].empty());
    EXPECT_FALSE(rig.state.cam(1).Assign);
}

TEST(PanelClicks, ACancelledSearchLeavesTheSlotEmptyButCurrent)
{
    PanelRig rig(cameraOne);
    const std::size_t from = rig.mark();
    rig.click("Cam3");
    EXPECT_EQ(rig.countSince(from, "frmBrowse(3)"), 1u);
    EXPECT_EQ(rig.state.CurCam, 3);
    EXPECT_FALSE(rig.state.cam(3).Assign);
    EXPECT_FALSE(rig.state.WindowOpen[3]);
    EXPECT_EQ(rig.countSince(from, "frmClient3.Show"), 0u);
    EXPECT_EQ(rig.text("LineID"), "3");
    EXPECT_EQ(rig.text("Line1"), "EMPTY");
    EXPECT_EQ(rig.bitmap("PT-L"), "Dark.bmp");
}

TEST(PanelActions, AssignReplacesTheCameraAndResetsTheSlot)
{
    PanelRig rig([](AppState& s) {
        cameraOne(s);
        s.cam(1).Sensitivity = 9;
        s.cam(1).MailIntervalTime = 60;
        s.cam(1).ScheduleCount = 2;
        s.cam(1).Schedule(2).CHECK = true;
    });
    rig.dialogs.browseResult.Cancelled = false;
    rig.dialogs.browseResult.IPAddress = "127.0.0.21";
    rig.dialogs.browseResult.Protocol = kProtocolVideoCgi;
    rig.dialogs.browseResult.Port = 80;
    rig.dialogs.browseResult.ServerName = "Shed";
    const std::size_t from = rig.mark();
    rig.click("Assign");
    const CamInfo& c = rig.state.cam(1);
    EXPECT_EQ(c.IPAddress, "127.0.0.21");
    EXPECT_EQ(c.Sensitivity, 5);
    EXPECT_EQ(c.MailIntervalTime, 5);
    EXPECT_EQ(c.ScheduleCount, 0);
    EXPECT_FALSE(c.Schedule(2).CHECK);
    EXPECT_FALSE(c.PT);
    const std::size_t stop = rig.trace.find("Cam(1).Stop()", from);
    const std::size_t run = rig.trace.find("Cam(1).Run()", from);
    ASSERT_NE(stop, std::string::npos);
    ASSERT_NE(run, std::string::npos);
    EXPECT_LT(stop, run);
    EXPECT_EQ(rig.text("Line1"), "Shed");
}

TEST(PanelActions, AssignWaitsABoundedTimeForACameraThatDoesNotStop)
{
    PanelRig rig(cameraOne);
    rig.dialogs.browseResult.Cancelled = false;
    rig.dialogs.browseResult.IPAddress = "127.0.0.21";
    rig.dialogs.browseResult.ServerName = "Shed";
    // The stop fails: the engine reports it and the old camera stays enabled.
    rig.cam(1).failNext = true;
    const std::int64_t slept = rig.clock.slept();
    rig.click("Assign");
    EXPECT_EQ(rig.messages.shown, std::vector<std::string>{"Error CamStop function"});
    // The old camera's control is still running, so the new start stops it once more.
    EXPECT_EQ(rig.clock.slept() - slept, ControlPanel::kAssignStopPolls * 100 + Engine::kStopAttemptWaitMs);
    EXPECT_EQ(rig.state.cam(1).IPAddress, "127.0.0.21");
    EXPECT_TRUE(rig.state.cam(1).Enable);
}

TEST(PanelActions, ConnectSwitchesTheCameraAndItsPicture)
{
    PanelRig rig(cameraOne);
    std::size_t from = rig.mark();
    rig.click("Connect");
    EXPECT_FALSE(rig.state.cam(1).Enable);
    EXPECT_NE(rig.trace.find("Cam(1).Stop()", from), std::string::npos);
    EXPECT_EQ(rig.bitmap("Connect"), "Over.bmp"); // the pointer is still on it
    EXPECT_EQ(rig.bitmap("Led1-3"), "LedOff.bmp");
    EXPECT_EQ(rig.text("Line5"), "Off line");
    from = rig.mark();
    rig.click("Connect");
    EXPECT_TRUE(rig.state.cam(1).Enable);
    EXPECT_NE(rig.trace.find("Cam(1).Run()", from), std::string::npos);
    EXPECT_EQ(rig.bitmap("Connect"), "Down.bmp");
    EXPECT_EQ(rig.bitmap("Led1-3"), "LedOn.bmp");
}

TEST(PanelActions, RecordingSwitchesMoveBetweenModes)
{
    // Manual on a camera that records by schedule: the schedule's recording ends first.
    {
        PanelRig rig(cameraOne);
        rig.state.cam(1).RecordMode = kRecordSchedule;
        ASSERT_TRUE(rig.engine->StartRecord(1, kRecordSchedule));
        const std::size_t from = rig.mark();
        rig.click("ManualRec");
        const std::size_t stop = rig.trace.find("Cam(1).StopRecording()", from);
        const std::size_t start = rig.trace.find("Cam(1).StartRecording()", from);
        ASSERT_NE(stop, std::string::npos) << rig.traceSince(from);
        ASSERT_NE(start, std::string::npos);
        EXPECT_LT(stop, start);
        EXPECT_EQ(rig.state.cam(1).RecordMode, 1);
        EXPECT_EQ(rig.bitmap("ManualRec"), "Down.bmp");
        // A second click ends it.
        rig.click("ManualRec");
        EXPECT_EQ(rig.state.cam(1).RecordMode, 0);
        EXPECT_FALSE(rig.state.cam(1).Recording);
        EXPECT_EQ(rig.bitmap("Led1-1"), "LedOff.bmp");
    }
    // Schedule: the mode is taken only when the dialog left a checked entry.
    {
        PanelRig rig(cameraOne);
        rig.click("ScheduleRec");
        EXPECT_EQ(rig.state.cam(1).RecordMode, 0);
        rig.dialogs.onSchedule = [&](int n) {
            rig.state.cam(n).ScheduleCount = 1;
            rig.state.cam(n).Schedule(1).CHECK = true;
        };
        rig.click("ScheduleRec");
        EXPECT_EQ(rig.state.cam(1).RecordMode, 2);
        EXPECT_EQ(rig.text("Line5"), "On line  Schedule recording");
        rig.click("ScheduleRec");
        EXPECT_EQ(rig.state.cam(1).RecordMode, 0);
    }
    // Motion: on, then off again.
    {
        PanelRig rig(cameraOne);
        rig.click("MotionRec");
        EXPECT_EQ(rig.state.cam(1).RecordMode, 3);
        EXPECT_EQ(rig.cam(1).props["MotionDetectMode"].display(), "8");
        rig.click("MotionRec");
        EXPECT_EQ(rig.state.cam(1).RecordMode, 0);
        EXPECT_EQ(rig.cam(1).props["MotionDetectMode"].display(), "0");
    }
}

TEST(PanelActions, ARecordingThatCannotStartIsReported)
{
    PanelRig rig(cameraOne);
    rig.state.settings.Storage(1).Checked = false; // no storage folder at all
    for (int k = 1; k <= kStorageCount; ++k)
        rig.state.settings.Storage(k).Checked = false;
    const std::size_t from = rig.mark();
    rig.click("ManualRec");
    EXPECT_EQ(rig.state.cam(1).RecordMode, 0);
    EXPECT_FALSE(rig.state.cam(1).Recording);
    EXPECT_EQ(rig.countSince(from, "MsgBox " + rig.state.texts.PanelMessage[1] + " (48)"), 1u)
        << rig.traceSince(from);
}

TEST(PanelActions, CombineSwitchesBetweenViewWindowsAndTheCombinedWindow)
{
    PanelRig rig(camerasOneAndTwo);
    ASSERT_TRUE(rig.state.WindowOpen[1]);
    std::size_t from = rig.mark();
    rig.click("Combine");
    EXPECT_EQ(rig.state.CombineMode, 1);
    EXPECT_TRUE(rig.state.WindowOpen[5]);
    EXPECT_FALSE(rig.state.WindowOpen[1]);
    EXPECT_FALSE(rig.state.WindowOpen[2]);
    EXPECT_LT(rig.trace.find("frmClient2.Unload", from), rig.trace.find("frmCombineWindow.Show", from));
    EXPECT_EQ(rig.bitmap("Combine"), "Down.bmp");
    from = rig.mark();
    rig.click("Combine");
    EXPECT_EQ(rig.state.CombineMode, 0);
    EXPECT_FALSE(rig.state.WindowOpen[5]);
    EXPECT_TRUE(rig.state.WindowOpen[1]);
    EXPECT_TRUE(rig.state.WindowOpen[2]);
    // From scan mode straight into combined mode.
    rig.click("Scan");
    ASSERT_TRUE(rig.state.ScanModeOn);
    rig.click("Combine");
    EXPECT_FALSE(rig.state.ScanModeOn);
    EXPECT_FALSE(rig.state.WindowOpen[6]);
    EXPECT_EQ(rig.state.CombineMode, 1);
    EXPECT_TRUE(rig.state.WindowOpen[5]);
}

TEST(PanelActions, TheWebPageChangesTheCredentialsAndRestartsTheCamera)
{
    PanelRig rig(cameraOne);
    rig.state.cam(1).UserName = "pelko";
    rig.state.cam(1).Password = "old";
    auto& web = rig.dialogs.webResult;
    web.Cancelled = false;
    web.name = "Gate west";
    web.userName = "pelko";
    web.password = "new";
    web.address = "127.0.0.31";
    web.addressFlag = 1;
    web.portFlag = 1;
    web.port1 = 8481; // the camera's own port: the address is not taken
    const std::int64_t slept = rig.clock.slept();
    std::size_t from = rig.mark();
    rig.click("Web");
    EXPECT_EQ(rig.countSince(from, "frmWeb(1, True, 127.0.0.11)"), 1u) << rig.traceSince(from);
    EXPECT_EQ(rig.state.cam(1).Password, "new");
    EXPECT_EQ(rig.state.cam(1).IPAddress, "127.0.0.11");
    EXPECT_EQ(rig.state.cam(1).ServerName, "Gate west");
    // 300 ms after a change of credentials, then the start stops the running control once.
    EXPECT_EQ(rig.clock.slept() - slept, 300 + Engine::kStopAttemptWaitMs);
    EXPECT_NE(rig.trace.find("Cam(1).Run()", from), std::string::npos);

    // A recording camera asks first; Cancel leaves everything as it was.
    ASSERT_TRUE(rig.engine->StartRecord(1, kRecordManual));
    rig.state.cam(1).RecordMode = kRecordManual;
    rig.dialogs.answers = {kAnswerCancel};
    from = rig.mark();
    rig.click("Web");
    EXPECT_EQ(rig.countSince(from, "MsgBox " + rig.state.texts.PanelMessage[2] + " (1)"), 1u)
        << rig.traceSince(from);
    EXPECT_EQ(rig.trace.find("frmWeb(1, True, 127.0.0.11)", from), std::string::npos);
    EXPECT_TRUE(rig.state.cam(1).Recording);
}

TEST(PanelHandlers, APackWithoutAnObjectIsSkipped)
{
    PanelRig rig([](AppState& s) {
        cameraOne(s);
        s.ButtonTable[panelrow::kManualRec].BtnName = "NoSuchButton";
        s.ButtonTable[panelrow::kLed1 + 2].BtnName = "NoSuchLamp";
    });
    rig.click("ManualRec"); // its row names nothing: the click still records
    EXPECT_TRUE(rig.state.cam(1).Recording);
    rig.panel->LedControl(3, false);
    rig.panel->RefreshAllLeds();
    rig.click("Connect");
    EXPECT_FALSE(rig.state.cam(1).Enable);
    EXPECT_TRUE(rig.dialogs.answers.empty());
    EXPECT_EQ(rig.trace.find("MsgBox SkinForm1_ObjectClick (0)"), std::string::npos);
}

TEST(PanelHandlers, AFailingControlIsReportedByTheHandler)
{
    PanelRig rig(cameraOne);
    rig.cam(1).onMethod = [](std::string_view member) {
        if (member == "PT_CMD")
            throw ControlError("the camera went away");
    };
    const std::size_t from = rig.mark();
    rig.press("PT-U");
    EXPECT_EQ(rig.countSince(from, "MsgBox SkinForm1_MouseDown (0)"), 1u) << rig.traceSince(from);
    // The hold timer goes on; each of its failures is reported by the timer itself.
    rig.clock.advance(500);
    EXPECT_EQ(rig.countSince(from, "MsgBox tmrBtnHold_Timer (0)"), 1u);
    rig.release("PT-U");
    EXPECT_FALSE(rig.panel->tmrBtnHold().enabled());
}

TEST(PanelPad, PressesFollowTheCamera)
{
    struct Case
    {
        const char* button;
        bool pt;
        int protocol;
        bool scan;
        int sent; // commands sent by one press and release
    };
    const Case cases[] = {
        {"PT-D", true, 0, false, 2}, // down sends its command twice
        {"PT-H", true, 0, false, 1},  {"PT-S", true, 0, false, 1},
        {"PT-S", true, 3, false, 0}, // no swing for the Kestra family
        {"PT-L", false, 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.button) + " protocol " + std::to_string(c.protocol));
        PanelRig rig([&](AppState& s) {
            cameraOne(s);
            s.cam(1).PT = c.pt;
            s.cam(1).Protocol = c.protocol;
        });
        const std::size_t from = rig.mark();
        rig.press(c.button);
        rig.release(c.button);
        std::size_t sent = 0;
        for (std::size_t i = from; i < rig.trace.lines.size(); ++i)
            sent += rig.trace.lines[i].rfind("Cam(1).PT_CMD(", 0) == 0 ? 1 : 0;
        EXPECT_EQ(sent, static_cast<std::size_t>(c.sent));
        EXPECT_FALSE(rig.panel->tmrBtnHold().enabled());
        if (c.protocol == 3) {
            EXPECT_EQ(rig.bitmap("PT-S"), "Gray.bmp");
        }
    }
}

TEST(PanelClicks, APressOutsideTheButtonsPutsThePinnedViewWindowsBackOnTop)
{
    PanelRig rig(cameraOne);
    rig.state.OnTopFlags = {false, true, false, true, false, false};
    auto pins = [&](std::size_t from) {
        std::vector<std::string> out;
        for (std::size_t i = from; i < rig.trace.lines.size(); ++i)
            if (rig.trace.lines[i].find("SetTopMost") != std::string::npos)
                out.push_back(rig.trace.lines[i]);
        return out;
    };
    const std::vector<std::string> pinned = {"frmClient2.SetTopMost(True)", "frmClient4.SetTopMost(True)"};
    // A lamp, a text line, the clock, "Scan" and "Combine" are no buttons that the press acts on.
    for (const char* name : {"Led1-1", "Line3", "LineID", "Time", "Scan", "Combine"}) {
        SCOPED_TRACE(name);
        std::size_t from = rig.mark();
        rig.press(name);
        EXPECT_EQ(pins(from), pinned);
        from = rig.mark();
        rig.release(name);
        EXPECT_TRUE(pins(from).empty());
        // The right button does nothing.
        from = rig.mark();
        QTest::mousePress(&rig.form(), Qt::RightButton, Qt::NoModifier, rig.at(name));
        QTest::mouseRelease(&rig.form(), Qt::RightButton, Qt::NoModifier, rig.at(name));
        EXPECT_TRUE(pins(from).empty());
    }
    // A button that acts, and a lamp while no window is pinned: nothing is pinned again.
    std::size_t from = rig.mark();
    rig.press("Erase");
    rig.release("Erase");
    rig.state.OnTopFlags.fill(false);
    rig.press("Led1-2");
    rig.release("Led1-2");
    EXPECT_TRUE(pins(from).empty());
}

TEST(PanelClicks, CameraSetupWorksAgainOnceScanModeEnds)
{
    PanelRig rig(camerasOneAndTwo);
    EXPECT_EQ(rig.bitmap("CamConf"), "Main.bmp");
    // Left by the Scan button.
    rig.click("Scan");
    ASSERT_TRUE(rig.state.ScanModeOn);
    EXPECT_EQ(rig.bitmap("CamConf"), "Gray.bmp");
    rig.click("Scan");
    ASSERT_FALSE(rig.state.ScanModeOn);
    EXPECT_EQ(rig.bitmap("CamConf"), "Main.bmp");
    // Left for the combined window.
    rig.click("Scan");
    ASSERT_EQ(rig.bitmap("CamConf"), "Gray.bmp");
    rig.click("Combine");
    ASSERT_FALSE(rig.state.ScanModeOn);
    EXPECT_EQ(rig.bitmap("CamConf"), "Main.bmp");
}

TEST(PanelToolBar, HelpOpensTheShippedHelpPage)
{
    PanelRig rig;
    // "About" pops up the help menu; its "Help" opens the pack's help page with the desktop.
    rig.click("About");
    QMenu* menu = rig.panel->toolBar().menu("ID_HelpAbout");
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    QAction* help = rig.panel->toolBar().tool("ID_Help");
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->text().toStdString(), rig.state.texts.PopupText[1]);
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(help).center());
    const auto page = rig.state.paths.dataDir / "help" / "english" / "index.html";
    EXPECT_EQ(rig.opener.opened, std::vector<std::filesystem::path>{page});
    EXPECT_TRUE(rig.opener.messages.empty()) << rig.opener.messages.front();
    EXPECT_TRUE(std::filesystem::is_regular_file(page));
}

TEST(PanelToolBar, OnlyHelpAndAboutAct)
{
    PanelRig rig;
    const std::size_t from = rig.mark();
    rig.panel->tbr_ToolClick("ID_VERSION");
    EXPECT_EQ(rig.traceSince(from), "");
    rig.panel->tbr_ToolClick("ID_About");
    EXPECT_EQ(rig.traceSince(from), "frmAbout\n");
}

} // namespace

namespace {

TEST(PanelActions, TheCombinedWindowFollowsTheCameraSelectionAndTheErase)
{
    PanelRig rig(camerasOneAndTwo);
    auto linesWith = [&](const Trace& trace, const std::string& prefix, std::size_t from) {
        std::vector<std::string> out;
        std::copy_if(trace.lines.begin() + static_cast<std::ptrdiff_t>(from), trace.lines.end(),
                     std::back_inserter(out), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
        return out;
    };
    // Without the combined window nothing is asked of it.
    std::size_t from = rig.mark();
    rig.click("Cam2");
    EXPECT_TRUE(linesWith(rig.trace, "frmCombineWindow.", from).empty());

    rig.click("Combine");
    ASSERT_TRUE(rig.state.WindowOpen[5]);
    rig.click("Cam1");
    from = rig.mark();
    rig.click("Cam2");
    // Before the camera changes: the old pane's colour panel and event list go, then the border
    // moves.
    EXPECT_EQ(linesWith(rig.trace, "frmCombineWindow.", from),
              (std::vector<std::string>{"frmCombineWindow.RefrushShowClrCtl(2)",
                                        "frmCombineWindow.RefrushListCtl(2)",
                                        "frmCombineWindow.PutActiveBorder(2)"}));
    EXPECT_EQ(rig.state.CurCam, 2);

    from = rig.mark();
    rig.click("Erase");
    EXPECT_FALSE(rig.state.cam(2).Assign);
    EXPECT_EQ(linesWith(rig.trace, "frmCombineWindow.PutActiveBorder", from),
              std::vector<std::string>{"frmCombineWindow.PutActiveBorder(2)"});
}

} // namespace
