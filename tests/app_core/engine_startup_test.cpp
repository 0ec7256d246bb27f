// Start-up and shutdown of the engine, settings into the controls, and camera start and stop,
// against recording fakes in simulated time.
#include "engine_fakes.h"
#include "test_folder.h"

#include "app/core/profile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>

using namespace enginetest;

namespace {

// 2024-03-04 (a Monday) 10:00:00 UTC; the tests run with TZ=UTC0.
constexpr std::time_t kMonday10 = 1709546400;

class EngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        state.paths.homeDir = home.path();
        state.paths.dataDir = std::filesystem::path(TESSIVOR_SOURCE_DIR) / "data";
        InitGlobals(state, kMonday10);
        state.settings.Storage(1).Path = (home.path() / "rec").string();
    }

    void assign(int n, int protocol, bool enable, const std::string& name)
    {
        CamInfo& c = state.cam(n);
        c.Assign = true;
        c.Enable = enable;
        c.Protocol = protocol;
        c.IPAddress = "192.0.2." + std::to_string(n);
        c.Port = 8480 + n;
        c.UserName = "user" + std::to_string(n);
        c.Password = "pw" + std::to_string(n);
        c.ServerName = name;
        c.MacAddress = "0.80.194.0.0." + std::to_string(n);
    }

    TestFolder home{"engine"};
    AppState state;
};

std::string goldenPath(const std::string& name)
{
    return std::string(TESSIVOR_SOURCE_DIR) + "/tests/fixtures/engine/" + name;
}

std::vector<std::string> readLines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

TEST_F(EngineTest, StartupAndShutdownFollowTheGoldenTrace)
{
    assign(1, 0, true, "Lobby");
    assign(2, 1, true, "Yard");
    assign(3, 0, false, "Gate");
    state.settings.FileSize = 2;
    state.settings.ReserveSpace = 2;
    state.cam(2).Alarm = 1;
    state.cam(2).SendEmail = 1;
    EngineRig rig(state, kMonday10);
    // The view windows come with their first Show; the panel opens after the engine.
    rig.engine->Load();
    rig.windows.showController();
    rig.engine->Unload();

    const std::string home = state.paths.homeDir.string();
    std::vector<std::string> actual;
    for (std::string line : rig.trace.lines) {
        for (std::size_t p; (p = line.find(home)) != std::string::npos;)
            line.replace(p, home.size(), "<home>");
        actual.push_back(line);
    }
    const std::string golden = goldenPath("startup_shutdown.trace");
    if (std::getenv("PELLUCOR_UPDATE_GOLDEN")) {
        std::ofstream out(golden);
        for (const auto& l : actual)
            out << l << "\n";
    }
    EXPECT_EQ(actual, readLines(golden));

    // Run only for the enabled slots; the profile is written before any camera stops.
    EXPECT_EQ(rig.trace.count("Cam(1).Run()"), 1u);
    EXPECT_EQ(rig.trace.count("Cam(2).Run()"), 1u);
    EXPECT_EQ(rig.trace.count("Cam(3).Run()"), 0u);
    const std::size_t unloadSave = rig.trace.find("SaveSetting", rig.trace.find("frmController.Show"));
    EXPECT_LT(unloadSave, rig.trace.find("Cam(1).Stop()", rig.trace.find("frmController.Show")));
    // The event lists went to the daily log files: started and stopped, per running camera.
    for (int n : {1, 2}) {
        const auto log = home + "/Log/Cam" + std::to_string(n) + "Log/20240304.Log";
        const std::string text = fileText(log);
        EXPECT_NE(text.find("Camera started."), std::string::npos) << log;
        EXPECT_NE(text.find("Camera stopped."), std::string::npos) << log;
    }
    // The empty slot is stopped too, but has no camera to log about.
    EXPECT_EQ(rig.log.lineCount(4), 0u);
    EXPECT_FALSE(std::filesystem::exists(home + "/Log/Cam4Log"));
}

TEST_F(EngineTest, ShutdownWaitsAtMostFourAndAHalfSecondsForAControlThatNeverStops)
{
    assign(1, 0, true, "Lobby");
    assign(2, 0, true, "Yard");
    EngineRig rig(state, kMonday10);
    rig.engine->Load();
    rig.cam(1).stuck = true;
    const auto before = rig.clock.slept();
    rig.engine->Unload();
    // Camera 1 never reaches Status 0: 500 + 1500 + 2500 ms; camera 2 stopped at once.
    EXPECT_EQ(rig.clock.slept() - before, 4500);
    EXPECT_EQ(rig.trace.count("Cam(1).Status -> 2"), 3u);
}

TEST_F(EngineTest, ShutdownStopsARecordingBeforeItsCameraAndAfterSavingTheProfile)
{
    assign(1, 0, true, "Lobby");
    EngineRig rig(state, kMonday10);
    rig.engine->Load();
    ASSERT_TRUE(rig.engine->StartRecord(1, kRecordManual));
    const std::size_t from = rig.trace.lines.size();
    rig.engine->Unload();
    const auto save = rig.trace.find("SaveSetting", from);
    const auto stopRec = rig.trace.find("Cam(1).StopRecording()", from);
    const auto stop = rig.trace.find("Cam(1).Stop()", from);
    ASSERT_NE(stop, std::string::npos);
    EXPECT_LT(save, stopRec);
    EXPECT_LT(stopRec, stop);
    EXPECT_FALSE(state.cam(1).Recording);
}

TEST_F(EngineTest, SettingsTurnIntoSplitReserveAndMotionValues)
{
    struct Case
    {
        std::int16_t fileSize, timeLimit, reserve;
        std::int32_t alarm, mail;
        std::int32_t space, minutes, reserved, mode;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 0, 10, 10, 500, 0},
        {2, 5, 2, 1, 0, 30, 60, 600, 1},
        {9, 9, 9, 1, 1, 100, 100, 950, 5},
        {0, 0, 0, 0, 1, 10, 10, 500, 4},
    };
    for (const Case& c : cases) {
        AppState s = state;
        s.cam(1).Assign = true;
        s.settings.FileSize = c.fileSize;
        s.settings.FileTimeLimited = c.timeLimit;
        s.settings.ReserveSpace = c.reserve;
        s.cam(1).Alarm = c.alarm;
        s.cam(1).SendEmail = c.mail;
        EngineRig rig(s, kMonday10);
        rig.engine->PutSettingToCam(1);
        SCOPED_TRACE(c.space);
        EXPECT_EQ(rig.trace.count("Cam(1).SplitFileSpace = " + std::to_string(c.space)), 1u);
        EXPECT_EQ(rig.trace.count("Cam(1).SplitFileTime = " + std::to_string(c.minutes)), 1u);
        EXPECT_EQ(rig.trace.count("Cam(1).MinReservedSpace = " + std::to_string(c.reserved)), 1u);
        EXPECT_EQ(rig.trace.count("Cam(1).MotionDetectMode = " + std::to_string(c.mode)), 1u);
        EXPECT_EQ(rig.trace.lines.back(), "SaveSetting");
    }
}

TEST_F(EngineTest, AnEnabledCameraIsBoundOnlyToAViewWindowThatExists)
{
    assign(1, 0, true, "Lobby");
    EngineRig rig(state, kMonday10);
    rig.engine->PutSettingToCam(1); // no view window yet: nothing is bound, none is made
    EXPECT_EQ(rig.trace.count("Cam(1).PreviewhWnd = 1001"), 0u);
    EXPECT_FALSE(rig.windows.exists[0]);

    rig.windows.showView(1);
    rig.engine->PutSettingToCam(1);
    EXPECT_EQ(rig.trace.count("Cam(1).PreviewhWnd = 1001"), 1u);
    EXPECT_EQ(rig.trace.count("Cam(1).PreviewDC = 2001"), 1u);

    state.CombineMode = 1;
    rig.engine->PutSettingToCam(1);
    EXPECT_EQ(rig.trace.count("Cam(1).PreviewhWnd = 3001"), 1u); // the combined window's pane
}

TEST_F(EngineTest, KestraCameraLogsInAndKeepsItsOwnSessionCookie)
{
    assign(1, 3, false, "Door"); // assigned, not enabled: the session is still its own
    assign(2, 3, true, "Hall");
    EngineRig rig(state, kMonday10);
    rig.cam(1).login = 0; // camera 1 refuses every login
    rig.cam(1).props["FoundFWVersion"] = Variant::str("0.00");
    rig.cam(1).props["FoundHWVersion"] = Variant::str("");
    rig.cam(1).props["FoundROMVersion"] = Variant::str("1.2");
    rig.engine->PutSettingToCam(1);
    EXPECT_EQ(rig.trace.count("Cam(1).LoginCamera(False)"), 4u);
    EXPECT_EQ(rig.trace.count("Cam(1).UserName = \"admin+user\""), 4u);
    EXPECT_EQ(state.cam(1).FWVersion, "N/A");
    EXPECT_EQ(state.cam(1).HWVersion, "N/A");
    EXPECT_EQ(state.cam(1).ROMVersion, "1.2");
    const std::string cookie1 = state.CamCookie[0];
    EXPECT_FALSE(cookie1.empty());
    EXPECT_TRUE(state.PendingCookie.empty());

    rig.windows.showView(2);
    rig.engine->PutSettingToCam(2);
    EXPECT_EQ(rig.trace.count("Cam(2).LoginCamera(False)"), 1u);
    const std::string cookie2 = state.CamCookie[1];
    EXPECT_FALSE(cookie2.empty());
    EXPECT_NE(cookie1, cookie2);
    EXPECT_EQ(rig.viewerOf(2).cookie, cookie2); // bound with its own session
    EXPECT_EQ(rig.trace.count("CamViewer1(2).startShowing()"), 1u);

    // Only Kestra slots with a session are logged out.
    rig.engine->Unload();
    EXPECT_EQ(rig.trace.count("Cam(1).Kestra_Logout(\"" + cookie1 + "\")"), 1u);
    EXPECT_EQ(rig.trace.count("Cam(2).Kestra_Logout(\"" + cookie2 + "\")"), 1u);
    EXPECT_EQ(rig.trace.count("Cam(3).Kestra_Logout(\"\")"), 0u);
}

// A setup dialog's login opened the session already: the camera takes it over, once.
TEST_F(EngineTest, KestraCameraTakesOverTheSessionOfASetupLogin)
{
    assign(1, 3, true, "Door");
    assign(2, 3, true, "Hall");
    EngineRig rig(state, kMonday10);
    rig.engine->setPendingCookie("4242");
    rig.engine->PutSettingToCam(1);
    EXPECT_EQ(rig.trace.count("Cam(1).LoginCamera(False)"), 0u);
    EXPECT_EQ(state.CamCookie[0], "4242");
    rig.engine->PutSettingToCam(2);
    EXPECT_EQ(rig.trace.count("Cam(2).LoginCamera(False)"), 1u);
    EXPECT_NE(state.CamCookie[1], "4242");
}

TEST_F(EngineTest, CookiesAreShortDecimalTextsThatDiffer)
{
    EngineRig rig(state, kMonday10);
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        const std::string c = rig.engine->newCookie();
        EXPECT_GE(c.size(), 4u);
        EXPECT_LE(c.size(), 16u);
        EXPECT_EQ(c.find_first_not_of("0123456789"), std::string::npos) << c;
        seen.insert(c);
    }
    EXPECT_GT(seen.size(), 45u);
}

TEST_F(EngineTest, AlertPicturesArePerSlotInTheHome)
{
    assign(1, 0, true, "Same/Name");
    assign(2, 0, true, "Same/Name");
    EngineRig rig(state, kMonday10);
    EXPECT_NE(rig.engine->alertPictureFile(1), rig.engine->alertPictureFile(2));
    EXPECT_EQ(rig.engine->alertPictureFile(1), state.paths.homeDir / "CAM1_SameName.jpg");
    EXPECT_EQ(cameraFolderName(2, "  a:b  "), "CAM2_ab");
    EXPECT_EQ(cameraFolderName(3, " x * "), "CAM3_x");
}

TEST_F(EngineTest, ImageIntervalFollowsRunningAndRecordingCameras)
{
    for (int n : {1, 2, 3})
        assign(n, 0, true, "C" + std::to_string(n));
    state.cam(1).Recording = true;
    state.cam(2).Recording = true;
    EngineRig rig(state, kMonday10);
    rig.engine->ApplyImageInterval(); // level 6, three running, two recording
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(rig.trace.count("Cam(" + std::to_string(n) + ").ImageInterval = 120"), 1u);
    state.ui.ImageIntervalOn = false;
    const auto before = rig.trace.lines.size();
    rig.engine->ApplyImageInterval();
    EXPECT_EQ(rig.trace.lines.size(), before);
}

TEST_F(EngineTest, CamStartStopsFirstWithinFiveAttempts)
{
    assign(1, 0, true, "Lobby");
    EngineRig rig(state, kMonday10);
    // Stopped already: no wait, Run at once.
    rig.engine->CamStart(1);
    EXPECT_EQ(rig.clock.slept(), 0);
    EXPECT_EQ(rig.trace.count("Cam(1).Run()"), 1u);

    // A control that never stops: five Stops, five 500 ms waits, then Run anyway.
    rig.cam(1).stuck = true;
    rig.engine->CamStart(1);
    EXPECT_EQ(rig.trace.count("Cam(1).Stop()"), 5u);
    EXPECT_EQ(rig.clock.slept(), 2500);
    EXPECT_EQ(rig.clock.processed(), 5);
    EXPECT_EQ(rig.trace.count("Cam(1).Run()"), 2u);
    EXPECT_TRUE(state.cam(1).Enable);
}

TEST_F(EngineTest, ASecondStartOrStopOfTheSameSlotWhileOneRunsIsRefused)
{
    assign(1, 0, true, "Lobby");
    EngineRig rig(state, kMonday10);
    rig.cam(1).setStatus(2);
    int nested = 0;
    rig.clock.onProcessEvents = [&] {
        if (nested++ == 0) {
            rig.engine->CamStart(1); // an event handler tries again while the first one waits
            rig.engine->CamStop(1);
        }
    };
    rig.engine->CamStart(1);
    EXPECT_EQ(rig.trace.count("Cam(1).Run()"), 1u);
    EXPECT_EQ(rig.trace.count("Cam(1).Stop()"), 1u);
    EXPECT_TRUE(state.cam(1).Enable);
}

TEST_F(EngineTest, StoppingByProtocol)
{
    assign(1, 4, true, "Audio");
    assign(2, 3, true, "Kestra");
    assign(3, 0, true, "Plain");
    state.cam(3).Recording = true;
    EngineRig rig(state, kMonday10);
    for (int n : {1, 2, 3})
        rig.windows.showView(n);
    state.WindowOpen[0] = true;
    for (int n : {1, 2, 3})
        rig.engine->CamStop(n);
    EXPECT_EQ(rig.trace.count("Cam(1).PlayMode = 0"), 1u);
    EXPECT_EQ(rig.trace.count("Cam(1).Stop()"), 0u);
    EXPECT_LT(rig.trace.find("CamViewer1(2).audioOff()"), rig.trace.find("CamViewer1(2).stopShowing()"));
    EXPECT_LT(rig.trace.find("Cam(3).StopRecording()"), rig.trace.find("Cam(3).Stop()"));
    EXPECT_EQ(rig.trace.count("frmClient3.ShowColorCtl_Fun"), 1u);
    for (int lamp : {3, 6, 9})
        EXPECT_EQ(rig.trace.count("frmController.LedControl(" + std::to_string(lamp) + ", False)"), 1u);
    for (int n : {1, 2, 3})
        EXPECT_FALSE(state.cam(n).Enable);
}

TEST_F(EngineTest, RestartCamIsForRunningNativeCamerasAndIsBounded)
{
    assign(1, 0, true, "Native");
    assign(2, 1, true, "Http");
    assign(3, 0, false, "Stopped");
    EngineRig rig(state, kMonday10);
    rig.engine->RestartCam(2);
    rig.engine->RestartCam(3);
    EXPECT_TRUE(rig.trace.lines.empty());

    rig.cam(1).setStatus(2);
    rig.cam(1).stuck = true;
    rig.engine->RestartCam(1);
    EXPECT_EQ(rig.clock.slept(), Engine::kRestartPolls * 200);
    EXPECT_EQ(rig.trace.count("Cam(1).Run()"), 1u);
    EXPECT_TRUE(state.AutoRestarted[0]);
}

TEST_F(EngineTest, AFailingControlCallIsReportedByTheProcedure)
{
    assign(1, 0, true, "Lobby");
    EngineRig rig(state, kMonday10);
    rig.cam(1).failNext = true;
    rig.engine->CamStart(1);
    rig.cam(1).failNext = true;
    rig.engine->PutSettingToCam(1);
    EXPECT_EQ(rig.messages.shown,
              (std::vector<std::string>{"Error CamStart function", "Error PutSettingToCam function"}));
    EXPECT_EQ(rig.trace.count("SaveSetting"), 0u); // the rest of PutSettingToCam was skipped
}

TEST_F(EngineTest, MissingPackFilesEndTheStartWithTheirPath)
{
    Trace trace;
    FakeMessages messages(trace);
    state.paths.dataDir = home.path() / "nodata";
    EXPECT_FALSE(LoadStartupFiles(state, messages, kMonday10));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], (home.path() / "nodata/lang/language.ini").string() + " is not exist !!");

    messages.shown.clear();
    state.paths.dataDir = std::filesystem::path(TESSIVOR_SOURCE_DIR) / "data";
    EXPECT_TRUE(LoadStartupFiles(state, messages, kMonday10));
    EXPECT_TRUE(messages.shown.empty());
}

// A pack file that is there but holds a value of the wrong kind ends the start naming that value;
// only a missing file is reported as missing. DisableIntelval takes any value.
TEST_F(EngineTest, APackFileThatCannotBeReadEndsTheStartWithItsCause)
{
    const auto data = home.path() / "data";
    std::filesystem::create_directories(data);
    std::filesystem::copy(std::filesystem::path(TESSIVOR_SOURCE_DIR) / "data" / "lang", data / "lang",
                          std::filesystem::copy_options::recursive);
    state.paths.dataDir = data;
    const std::string ui = fileText(data / "lang" / "english_1.ini");
    struct Case
    {
        const char* file;
        std::string text; // empty: the file is removed
        std::string message;
    };
    const std::string lang = (data / "lang").string() + "/";
    const Case cases[] = {
        {"english_1.ini", ui + "DisableIntelval=yes\n", ""},
        {"english_1.ini", ui + "FontWeight=bold\n",
         "The language pack cannot be read: " + lang +
             "english_1.ini: [General] FontWeight: \"bold\" is not a valid value"},
        {"english_2.ini", std::string("[BtnName]\n0=Play\n[Play]\nEnableGray=x") + '\0' + "\n",
         "The language pack cannot be read: file is not text (it holds a NUL byte): " + lang +
             "english_2.ini line 4"},
        {"english_3.ini", "", lang + "english_3.ini is not exist !!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file + (" " + c.text));
        const std::string before = fileText(data / "lang" / c.file);
        if (c.text.empty())
            std::filesystem::remove(data / "lang" / c.file);
        else
            writeText(data / "lang" / c.file, c.text);
        Trace trace;
        FakeMessages messages(trace);
        EXPECT_EQ(LoadStartupFiles(state, messages, kMonday10), c.message.empty());
        EXPECT_EQ(messages.shown,
                  c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message});
        if (c.message.empty()) {
            EXPECT_FALSE(state.ui.ImageIntervalOn);
        }
        writeText(data / "lang" / c.file, before);
    }
}

} // namespace
