// The engine end to end with the real control module: created by ProgID through the
// registration file, called late-bound, against two simulated cameras on loopback (the native
// protocol and the video CGI). Motion in the served clip starts motion recordings whose files
// ffprobe reads.
#include "camsim_process.h"
#include "jpeg_pictures.h"
#include "real_engine.h"
#include "test_folder.h"

#include "app/core/control_adapter.h"
#include "app/core/language_pack.h"

#include "platform/com_module.h"
#include "platform/control_window.h"
#include "platform/registration.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <fstream>
#include <sstream>

using namespace enginetest;
using namespace std::chrono_literals;

namespace {

// Lets the controls' events run while the engine waits between its stop attempts.
struct PumpingUi : UiServices
{
    void processEvents() override { tessivor::messageLoop::pump(); }
};

TEST(ControlAdapter, MembersMatchTheControlsTypeLibrary)
{
    registerModule();
    std::string error;
    auto cam = DispatchCamera::create(kControlProgId, 1, nullptr, &error);
    ASSERT_TRUE(cam) << error;
    const auto table = cam->object().typeInfo();
    for (const CameraMember& m : cameraMembers()) {
        SCOPED_TRACE(std::string(m.name) + " " + std::string(tessivor::invokeKindName(m.kind)));
        const tessivor::MemberInfo* found = nullptr;
        for (const auto& t : table)
            if (t.name == m.name && t.kind == m.kind)
                found = &t;
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->id, m.id);
        ASSERT_EQ(found->params.size(), m.params.size());
        for (std::size_t i = 0; i < m.params.size(); ++i)
            EXPECT_EQ(std::string(found->params[i].typeName) + (found->params[i].out ? "*" : ""),
                      m.params[i]);
    }
    // A round trip through the late-bound path.
    cam->put(TextProp::RemoteHost, "127.0.0.1");
    cam->put(IntProp::PreviewWidth, 123);
    cam->put(BoolProp::DrawImage, false);
    EXPECT_EQ(cam->get(IntProp::PreviewWidth), 123);
    EXPECT_FALSE(cam->get(BoolProp::DrawImage));
    EXPECT_FALSE(cam->get(BoolProp::HaveRecycleFunction));
    EXPECT_EQ(cam->get(IntProp::Status), 0);

    EXPECT_FALSE(DispatchCamera::create("Tessivor.Nothing", 1, nullptr, &error));
    EXPECT_NE(error.find("Tessivor.Nothing"), std::string::npos);
}

TEST(EngineEndToEnd, TwoSimulatedCamerasStartAndRecordOnMotion)
{
    registerModule();
    TestFolder home("camsim");
    const auto clipDir = home.path() / "clip";
    std::filesystem::create_directories(clipDir);
    ASSERT_GT(pictures::stripes(clipDir / "a.jpg", 0).size(), 1000u) << "cjpeg is missing";
    pictures::stripes(clipDir / "b.jpg", 8);
    std::ofstream(clipDir / "clip.txt") << "a.jpg\nb.jpg\n";
    const std::vector<std::string> args{"--clip", (clipDir / "clip.txt").string(), "--clip-play", "--rate",
                                        "10"};
    tessivor::testing::CamSim native(args);
    tessivor::testing::CamSim http(args);

    AppState state;
    state.paths.homeDir = home.path();
    state.paths.dataDir = std::filesystem::path(TESSIVOR_SOURCE_DIR) / "data";
    InitGlobals(state, std::time(nullptr));
    ASSERT_TRUE(LoadLanguageText(state));
    state.settings.Storage(1).Path = (home.path() / "storage").string();
    struct Slot
    {
        int protocol;
        const tessivor::testing::CamSim* camera;
        int port;
        const char* name;
    };
    const Slot slots[] = {{0, &native, native.nativePort(), "Front"}, {1, &http, http.httpPort(), "Back"}};
    for (int n = 1; n <= 2; ++n) {
        CamInfo& c = state.cam(n);
        const Slot& s = slots[n - 1];
        c.Assign = c.Enable = true;
        c.Protocol = s.protocol;
        c.IPAddress = s.camera->address();
        c.Port = s.port;
        c.UserName = c.Password = "pelko";
        c.ServerName = s.name;
        c.RecordMode = kRecordMotion;
    }

    Trace trace;
    FakeClock timers(0); // the motion timers are not run here: the shutdown ends the recordings
    PumpingUi ui;
    FakeWindows windows(state, trace);
    FakeMessages messages(trace);
    EventLog log(state, tessivor::activeClock());
    std::string error;
    auto enginePtr =
        makeEngineWithRealControls(state, realTimeServices(timers, ui, windows, messages, log), trace, error);
    Engine& engine = *enginePtr;
    ASSERT_TRUE(error.empty()) << error;

    engine.Load();
    for (int n = 1; n <= 2; ++n)
        engine.Start_MotionStart(n); // the panel's motion-recording switch
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    auto recordedFrames = [&](int n) {
        std::uintmax_t bytes = 0;
        const auto folder = home.path() / "storage" / ("CAM" + std::to_string(n) + "_" + slots[n - 1].name);
        std::error_code ec;
        for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            bytes += it->file_size();
        return bytes;
    };
    while (std::chrono::steady_clock::now() < deadline &&
           !(state.cam(1).Recording && state.cam(2).Recording && recordedFrames(1) > 50000 &&
             recordedFrames(2) > 50000))
        tessivor::messageLoop::waitAndPump(50ms);
    EXPECT_TRUE(messages.shown.empty()) << messages.shown.front();
    ASSERT_TRUE(state.cam(1).Recording);
    ASSERT_TRUE(state.cam(2).Recording);
    engine.Unload();
    tessivor::messageLoop::pump();

    for (int n = 1; n <= 2; ++n) {
        SCOPED_TRACE(n);
        const auto folder = home.path() / "storage" / ("CAM" + std::to_string(n) + "_" + slots[n - 1].name);
        int files = 0;
        for (const auto& e : std::filesystem::directory_iterator(folder)) {
            ++files;
            EXPECT_EQ(e.path().extension(), ".avi");
            const std::string probe = pictures::run(
                "ffprobe -v error -show_entries stream=codec_name -of csv=p=0 '" + e.path().string() + "'");
            EXPECT_EQ(probe, "mjpeg\n") << e.path();
        }
        EXPECT_GE(files, 1);
        // The event list holds the pack's texts: started, connected, motion, recording.
        std::string lines;
        for (const auto& l : log.lines(n))
            lines += l + "\n";
        for (const char* text : {"    Camera started.", "    Camera connected.", "    Motion detected.",
                                 "    Recording started.", "    Recording stopped.", "    Camera stopped."})
            EXPECT_NE(lines.find(text), std::string::npos) << text << "\n" << lines;
        EXPECT_NE(lines.find(slots[n - 1].camera->address() + "   " + slots[n - 1].name), std::string::npos);
    }
}

// A Kestra camera that answers its name in Latin-1 bytes ("B\xFCro"): the engine takes it as the
// camera's model read in Windows-1252, and the profile is saved with it at start-up, as UTF-8.
TEST(EngineEndToEnd, ACameraNameInLatin1IsReadAsWindows1252AndSaved)
{
    registerModule();
    TestFolder home("camsim-latin1");
    std::vector<std::string> args;
    std::istringstream lines(fileText(hostileFixture("latin1_camera.args")));
    for (std::string line; std::getline(lines, line);)
        args.push_back(line);
    ASSERT_EQ(args.size(), 6u);
    tessivor::testing::CamSim camera(args);

    AppState state;
    state.paths.homeDir = home.path();
    state.paths.dataDir = std::filesystem::path(TESSIVOR_SOURCE_DIR) / "data";
    InitGlobals(state, std::time(nullptr));
    ASSERT_TRUE(LoadLanguageText(state));
    state.settings.Storage(1).Path = (home.path() / "storage").string();
    CamInfo& c = state.cam(1);
    c.Assign = c.Enable = true;
    c.Protocol = kProtocolKestra;
    c.IPAddress = camera.address();
    c.Port = camera.httpPort();
    c.UserName = c.Password = "pelko";
    c.ServerName = "Front";

    Trace trace;
    FakeClock timers(0);
    PumpingUi ui;
    FakeWindows windows(state, trace);
    FakeMessages messages(trace);
    EventLog log(state, tessivor::activeClock());
    std::string error;
    EngineServices services = realTimeServices(timers, ui, windows, messages, log);
    services.saveSetting = nullptr; // the profile is written, into the test's home
    auto engine = makeEngineWithRealControls(state, std::move(services), trace, error);
    ASSERT_TRUE(error.empty()) << error;
    engine->Load();
    EXPECT_EQ(messages.shown, std::vector<std::string>{});
    EXPECT_EQ(state.cam(1).ServerModel, "B\xC3\xBCro");
    const std::string profile = fileText(state.paths.defaultProfile());
    EXPECT_NE(profile.find("\nServerModel=B\xC3\xBCro\n"), std::string::npos) << profile;
    engine->Unload();
    tessivor::messageLoop::pump();
}

} // namespace
