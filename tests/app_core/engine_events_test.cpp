// The engine's answers to control and viewer events, recording and the motion timers, in
// simulated time.
#include "engine_fakes.h"
#include "test_folder.h"

#include <gtest/gtest.h>

using namespace enginetest;

namespace {

constexpr std::time_t kMonday10 = 1709546400; // 2024-03-04 10:00:00 UTC

class EngineEvents : public ::testing::Test
{
protected:
    void SetUp() override
    {
        state.paths.homeDir = home.path();
        InitGlobals(state, kMonday10 - 3600);
        state.settings.Storage(1).Path = (home.path() / "rec").string();
        for (int k = 1; k <= 37; ++k)
            state.texts.EventText[static_cast<std::size_t>(k)] = "text " + std::to_string(k);
        for (int n = 1; n <= 4; ++n) {
            CamInfo& c = state.cam(n);
            c.Assign = true;
            c.Enable = true;
            c.IPAddress = "192.0.2." + std::to_string(n);
            c.ServerName = "Cam" + std::to_string(n);
        }
        rig = std::make_unique<EngineRig>(state, kMonday10);
        state.WindowOpen[0] = true; // the control panel
    }

    // The message lines of camera n's event list ("text k" for each logged event).
    std::vector<std::string> messages(int n)
    {
        std::vector<std::string> out;
        const auto& lines = rig->log.lines(n);
        for (std::size_t i = 1; i < lines.size(); i += 2)
            out.push_back(lines[i].substr(4));
        return out;
    }

    TestFolder home{"events"};
    AppState state;
    std::unique_ptr<EngineRig> rig;
};

TEST_F(EngineEvents, MotionBurstRecordsOnceAndStopsTenSecondsAfterTheLastEvent)
{
    state.cam(2).RecordMode = kRecordMotion;
    Engine& e = *rig->engine;
    e.tmrMotionLed().setEnabled(true);
    // 50 events within 2 s (the recording start blocks for 200 ms of them).
    for (int i = 0; i < 50; ++i) {
        e.onImageEvent(2, 6);
        rig->clock.advance(35);
    }
    const std::int64_t lastEvent = rig->clock.ms() - 35;
    ASSERT_LT(lastEvent, 2000);
    EXPECT_EQ(rig->trace.count("Cam(2).StartRecording()"), 1u);
    EXPECT_EQ(rig->trace.count("frmController.LedControl(5, True)"), 1u);
    EXPECT_EQ(messages(2), (std::vector<std::string>{"text 6", "text 15"}));

    // The motion timer was restarted by every event; it stops the recording 10 s after the last.
    std::int64_t stoppedAt = -1;
    rig->cam(2).onMethod = [&](std::string_view m) {
        if (m == "StopRecording")
            stoppedAt = rig->clock.ms();
    };
    rig->clock.advance(9000);
    EXPECT_EQ(stoppedAt, -1);
    rig->clock.advance(2000);
    EXPECT_EQ(stoppedAt, lastEvent + 10000);
    EXPECT_FALSE(state.cam(2).Recording);
    EXPECT_FALSE(e.tmrMotion(2).enabled());
    EXPECT_EQ(messages(2), (std::vector<std::string>{"text 6", "text 15", "text 16"}));
}

TEST_F(EngineEvents, ASingleMotionEventAlsoEndsItsRecording)
{
    state.cam(1).RecordMode = kRecordMotion;
    rig->engine->onImageEvent(1, 6);
    ASSERT_TRUE(state.cam(1).Recording);
    EXPECT_EQ(state.cam(1).RecordType, 3);
    rig->clock.advance(10000);
    EXPECT_FALSE(state.cam(1).Recording);
    EXPECT_EQ(rig->trace.count("Cam(1).StopRecording()"), 1u);
}

TEST_F(EngineEvents, MotionOutsideRecordOnMotionLightsAndLogsOnly)
{
    state.cam(1).RecordMode = kRecordManual;
    rig->windows.showView(1);
    Engine& e = *rig->engine;
    e.tmrMotionLed().setEnabled(true);
    e.onImageEvent(1, 6);
    EXPECT_EQ(rig->trace.count("Cam(1).StartRecording()"), 0u);
    EXPECT_EQ(rig->trace.count("frmClient1.ShowMotionText(True)"), 1u);
    // The lamp goes out 2 to 3 s after the first event of the burst, even while motion goes on.
    rig->clock.advance(1000);
    e.onImageEvent(1, 6);
    rig->clock.advance(999);
    EXPECT_EQ(rig->trace.count("frmController.LedControl(2, False)"), 0u);
    rig->clock.advance(1);
    EXPECT_EQ(rig->trace.count("frmController.LedControl(2, False)"), 1u);
    EXPECT_EQ(rig->trace.count("frmClient1.ShowMotionText(False)"), 1u);
    e.onImageEvent(1, 6); // a new burst, logged again
    EXPECT_EQ(messages(1), (std::vector<std::string>{"text 6", "text 6"}));
}

TEST_F(EngineEvents, SplitAndLowSpaceRestartOrStopByTheStorage)
{
    for (int code : {12, 14}) {
        SCOPED_TRACE(code);
        state.cam(1).Recording = true;
        rig->freeBytes = [](const auto&) { return 100e9; };
        const auto from = rig->trace.lines.size();
        const auto logged = messages(1).size();
        rig->engine->onImageEvent(1, code);
        EXPECT_EQ(rig->trace.find("Cam(1).StartRecording()", from) != std::string::npos, true);
        EXPECT_EQ(messages(1).size(), logged); // room left: nothing logged
        EXPECT_TRUE(state.cam(1).Recording);

        rig->freeBytes = [](const auto&) { return 1e6; }; // below the 500 MB reserve
        rig->engine->onImageEvent(1, code);
        EXPECT_FALSE(state.cam(1).Recording);
        EXPECT_EQ(messages(1).back(), "text 7");
        EXPECT_NE(rig->trace.find("Cam(1).StopRecording()", from), std::string::npos);
    }
}

TEST_F(EngineEvents, StatusCodesLogTheirTexts)
{
    struct Case
    {
        std::int32_t code;
        std::vector<std::string> logged;
    };
    const Case cases[] = {
        {1, {"text 3"}},
        {2, {"text 4"}},
        {11, {"text 8"}},
        {15, {"text 9"}},
        {17, {"text 10"}},
        {19, {"text 11"}},
        {20, {"text 12"}},
        {21, {"text 13"}},
        {41, {"text 21"}},
        {47, {"text 27"}},
        {57, {"text 37"}},
        {1000, {"text 17"}},
        {22, {"text 14", "text 2"}},
        // Ignored codes: nothing logged.
        {8, {}},
        {9, {}},
        {13, {}},
        {16, {}},
        {18, {}},
        {26, {}},
        {27, {}},
        {28, {}},
        {29, {}},
        {40, {}},
        {58, {}},
        {1001, {}},
        {-1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        state.cam(3).Enable = true;
        const auto before = messages(3).size();
        const auto traceBefore = rig->trace.lines.size();
        rig->engine->onImageEvent(3, c.code);
        const auto all = messages(3);
        EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end()),
                  c.logged);
        if (c.logged.empty()) {
            EXPECT_EQ(rig->trace.lines.size(), traceBefore); // and nothing else happens
        }
    }
}

TEST_F(EngineEvents, LoopClosedClearsRecordingAndItsLamp)
{
    state.cam(1).Recording = true;
    rig->engine->onImageEvent(1, 0);
    EXPECT_FALSE(state.cam(1).Recording);
    EXPECT_EQ(rig->trace.count("frmController.LedControl(1, False)"), 1u);
    EXPECT_TRUE(messages(1).empty());
}

TEST_F(EngineEvents, ConnectedAfterAnAutomaticRestartIsNotLoggedOnce)
{
    state.AutoRestarted[1] = true;
    rig->engine->onImageEvent(2, 2);
    EXPECT_TRUE(messages(2).empty());
    EXPECT_EQ(rig->trace.count("frmController.LedControl(6, True)"), 1u);
    EXPECT_FALSE(state.AutoRestarted[1]);
    rig->engine->onImageEvent(2, 2); // a later reconnection is logged again
    EXPECT_EQ(messages(2), (std::vector<std::string>{"text 4"}));
}

TEST_F(EngineEvents, MailSentDeletesTheAlertPicture)
{
    const auto file = rig->engine->alertPictureFile(1);
    writeText(file, "jpeg");
    state.MailPending[0] = true;
    rig->engine->onImageEvent(1, 19);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(state.MailPending[0]);
    EXPECT_EQ(rig->trace.count("CamViewer1(1).setAlertPicture(False)"), 1u);
}

TEST_F(EngineEvents, ViewerMailAlarmKeepsTheIntervalAcrossMidnight)
{
    CamInfo& c = state.cam(1);
    c.Protocol = kProtocolKestra;
    c.SendEmail = 1;
    c.MailIntervalTime = 60;
    rig->viewerOf(1).mailFile = rig->engine->alertPictureFile(1).string();
    // The last mail at 23:59:30; the first alarm of the new day comes 60 s later and is sent.
    c.LastMailTime = kMonday10 + 14 * 3600 - 30;
    rig->clock.runUntil(kMonday10 + 14 * 3600 + 30);
    rig->engine->onViewerMailAlarm(1);
    EXPECT_EQ(rig->trace.count("Cam(1).SendEmail()"), 1u);
    EXPECT_TRUE(state.MailPending[0]);

    rig->engine->onViewerMailAlarm(1); // a job runs: ignored
    rig->engine->onImageEvent(1, 17);
    rig->clock.advance(30000);
    rig->engine->onViewerMailAlarm(1); // 30 s after the last mail: too soon
    EXPECT_EQ(rig->trace.count("Cam(1).SendEmail()"), 1u);
    rig->clock.advance(30000);
    rig->engine->onViewerMailAlarm(1);
    EXPECT_EQ(rig->trace.count("Cam(1).SendEmail()"), 2u);

    // No picture written: no mail, the flag goes back.
    rig->engine->onImageEvent(1, 19);
    rig->viewerOf(1).writesAlertPicture = false;
    rig->clock.advance(61000);
    rig->engine->onViewerMailAlarm(1);
    EXPECT_EQ(rig->trace.count("Cam(1).SendEmail()"), 2u);
    EXPECT_FALSE(state.MailPending[0]);
    EXPECT_EQ(rig->trace.lines.back(), "CamViewer1(1).setAlertPicture(False)");
}

TEST_F(EngineEvents, StartAndStopRecordEdgeCases)
{
    Engine& e = *rig->engine;
    state.WindowOpen[0] = false; // the kind is kept with no panel open
    ASSERT_TRUE(e.StartRecord(1, kRecordSchedule));
    EXPECT_EQ(state.cam(1).RecordType, 2);
    EXPECT_FALSE(e.StartRecord(1, kRecordManual)); // already recording
    EXPECT_EQ(state.cam(1).RecordType, 2);
    EXPECT_EQ(rig->trace.count("Cam(1).StartRecording()"), 1u);
    EXPECT_EQ(rig->clock.slept(), 200);

    e.StopRecord(2); // not recording: the control is told, nothing is logged
    EXPECT_EQ(rig->trace.count("Cam(2).StopRecording()"), 1u);
    EXPECT_TRUE(messages(2).empty());

    state.cam(3).Assign = false;
    EXPECT_FALSE(e.StartRecord(3, kRecordManual));
    state.cam(4).Enable = false;
    EXPECT_TRUE(e.StartRecord(4, kRecordManual)); // a stopped camera is started first
    EXPECT_LT(rig->trace.find("Cam(4).Run()"), rig->trace.find("Cam(4).StartRecording()"));

    rig->freeBytes = [](const auto&) { return 0.0; };
    EXPECT_FALSE(e.StartRecord(2, kRecordManual));
    EXPECT_EQ(messages(2), (std::vector<std::string>{"text 7"}));
}

TEST_F(EngineEvents, MotionSwitchSetsAndClearsOnlyItsBit)
{
    Engine& e = *rig->engine;
    rig->cam(1).props["MotionDetectMode"] = Variant::i4(5);
    e.Start_MotionStart(1);
    e.Start_MotionStart(1);
    EXPECT_EQ(rig->trace.count("Cam(1).MotionDetectMode = 13"), 2u);
    e.Stop_MotionStart(1);
    e.Stop_MotionStart(1);
    EXPECT_EQ(rig->trace.count("Cam(1).MotionDetectMode = 5"), 2u);

    state.cam(2).Protocol = kProtocolKestra;
    e.Start_MotionStart(2);
    EXPECT_EQ(rig->viewerOf(2).mode, 8);
}

TEST_F(EngineEvents, ViewerRecordStopRestartsOrEndsTheRecording)
{
    state.cam(1).Protocol = kProtocolKestra;
    state.cam(1).Recording = true;
    rig->engine->onViewerRecordStop(1);
    EXPECT_LT(rig->trace.find("CamViewer1(1).stopRecording()"),
              rig->trace.find("CamViewer1(1).startRecording()"));
    EXPECT_TRUE(state.cam(1).Recording);
    rig->freeBytes = [](const auto&) { return 0.0; };
    rig->engine->onViewerRecordStop(1);
    EXPECT_FALSE(state.cam(1).Recording);
    EXPECT_EQ(messages(1), (std::vector<std::string>{"text 7"}));
}

TEST_F(EngineEvents, EndGetImageConfigKeepsBrightnessContrastAndHue)
{
    const std::int16_t values[7] = {1, 2, 3, 40, 50, 60, 7};
    rig->engine->onEndGetImageConfig(2, -1, values);
    EXPECT_EQ(state.cam(2).ImageConfig, (std::array<std::int32_t, 3>{40, 50, 60}));
}

} // namespace
