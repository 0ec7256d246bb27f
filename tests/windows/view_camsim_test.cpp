// The view window end to end, offscreen: the real control module (created by ProgID, called
// late-bound) streams from a simulated camera into the window's picture, whose pixels are
// compared with the frame the camera sent as djpeg decodes it; the colour panel reads the
// camera's image settings through the control and a new value restarts the stream; a snapshot is decoded by
// djpeg; and the window is closed while frames arrive.
#include "../app_skin/qt_test_support.h"
#include "camsim_process.h"
#include "jpeg_pictures.h"
#include "real_engine.h"
#include "views_only.h"

#include "app/core/language_pack.h"
#include "app/skin/message_pump.h"
#include "app/skin/picture_surface.h"
#include "app/skin/skin_form.h"
#include "app/skin/skin_object.h"
#include "app/skin/tool_set.h"
#include "app/skin/ui_services.h"
#include "app/windows/view_windows.h"

#include "platform/clock.h"

#include <QAction>
#include <QCursor>
#include <QListWidget>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using namespace enginetest;
using tessivor::testing::statsField;
using viewtest::ViewsOnly;

namespace {

// A P6 picture as djpeg writes it.
struct Ppm
{
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
    const std::uint8_t* at(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

// Decodes a JPEG file with djpeg (libjpeg-turbo's own tool); an empty picture when it fails.
Ppm djpeg(const std::filesystem::path& jpeg, const std::filesystem::path& scratch)
{
    Ppm out;
    const auto ppm = scratch / "decoded.ppm";
    std::filesystem::remove(ppm);
    pictures::run("djpeg -pnm -outfile '" + ppm.string() + "' '" + jpeg.string() + "'");
    const std::vector<std::uint8_t> bytes = pictures::readBytes(ppm);
    // "P6", whitespace, width, height, maximum, one whitespace byte, the pixels.
    std::size_t pos = 0;
    auto token = [&]() -> std::string {
        while (pos < bytes.size() && std::isspace(bytes[pos]))
            ++pos;
        std::string t;
        while (pos < bytes.size() && !std::isspace(bytes[pos]))
            t += static_cast<char>(bytes[pos++]);
        return t;
    };
    if (token() != "P6")
        return out;
    const int w = std::atoi(token().c_str());
    const int h = std::atoi(token().c_str());
    if (token() != "255" || w <= 0 || h <= 0)
        return out;
    ++pos;
    if (bytes.size() - pos < static_cast<std::size_t>(w) * h * 3)
        return out;
    out.width = w;
    out.height = h;
    out.rgb.assign(bytes.begin() + static_cast<std::ptrdiff_t>(pos), bytes.end());
    return out;
}

TEST(ViewCamsim, TheWindowShowsTheCamerasPictureTakesSnapshotsAndClosesWhileStreaming)
{
    testApp();
    registerModule();
    TestFolder home("viewcamsim");
    const auto clipDir = home.path() / "clip";
    std::filesystem::create_directories(clipDir);
    ASSERT_GT(pictures::stripes(clipDir / "a.jpg", 0, false, 352, 240).size(), 1000u) << "cjpeg is missing";
    std::ofstream(clipDir / "clip.txt") << "a.jpg\n";
    const Ppm sent = djpeg(clipDir / "a.jpg", home.path());
    ASSERT_EQ(sent.width, 352) << "djpeg is missing";
    tessivor::testing::CamSim camera({"--clip", (clipDir / "clip.txt").string(), "--rate", "10"}, true);

    AppState state;
    state.paths.homeDir = home.path();
    state.paths.dataDir = std::filesystem::path(TESSIVOR_SOURCE_DIR) / "data";
    InitGlobals(state, std::time(nullptr));
    ASSERT_TRUE(LoadUISetting(state));
    ASSERT_TRUE(LoadHintText(state));
    state.settings.Storage(1).Path = (home.path() / "storage").string();
    CamInfo& c = state.cam(1);
    c.Assign = c.Enable = true;
    c.Protocol = kProtocolNative;
    c.IPAddress = camera.address();
    c.Port = camera.nativePort();
    c.UserName = c.Password = "pelko";
    c.ServerName = "Front";
    c.MacAddress = "0.1.2.3.4.5";
    state.WindowOpen[0] = true; // the control panel is open

    QtUiServices ui;
    MessagePump pump;
    QtTimerFactory timers;
    Trace trace;
    FakeMessages messages(trace);
    EventLog log(state, tessivor::activeClock());
    ViewsOnly windows;
    std::string error;
    auto enginePtr =
        makeEngineWithRealControls(state, realTimeServices(timers, ui, windows, messages, log), trace, error);
    Engine& engine = *enginePtr;
    ASSERT_TRUE(error.empty()) << error;

    std::optional<std::string> chosenFile;
    ViewServices vs;
    vs.state = &state;
    vs.engine = &engine;
    vs.log = &log;
    vs.messages = &messages;
    vs.ui = &ui;
    vs.saveDialog = [&](const SnapshotDialog&) { return chosenFile; };
    ViewWindows views(vs);
    windows.views = &views;
    log.setViews(&windows);

    engine.Load(); // shows the window, binds its picture and starts the camera
    QPointer<ViewWindow> w = views.window(1);
    ASSERT_TRUE(w);
    if (w->FirstActivate)
        w->Form_Activate();
    EXPECT_EQ(w->clientSize(), QSize(320, 240));
    // The engine's event lines reach the window as they are logged.
    auto listed = [&](const std::string& line) {
        return !w->eventList().findItems(QString::fromStdString(line), Qt::MatchExactly).isEmpty();
    };
    EXPECT_TRUE(waitUntil([&] { return listed("    Camera connected."); }));
    EXPECT_TRUE(listed("    Camera started."));

    // The picture: the 352 x 240 frame drawn into the 320 x 240 area.
    auto target = w->picture().target();
    auto centreLit = [&](int width, int height) {
        const tessivor::TargetPicture p = target->snapshot();
        if (p.width != width || p.height != height)
            return false;
        const tessivor::Rgb px = p.pixel(width / 2, height / 2);
        return px.r + px.g + px.b > 100;
    };
    const auto shots = std::filesystem::path(TESSIVOR_BINARY_DIR) / "test-output" / "view_windows";
    std::filesystem::create_directories(shots);
    ASSERT_TRUE(waitUntil([&] { return centreLit(320, 240); })) << "no picture arrived";
    ASSERT_TRUE(waitUntil([&] { return w->picture().shownVersion() > 0; })) << "the window never painted";
    const tessivor::TargetPicture shown = target->snapshot();
    int compared = 0, mismatched = 0;
    for (int ty = 2; ty < 238; ty += 5)
        for (int tx = 2; tx < 318; tx += 5) {
            const int sx = tx * 352 / 320, sy = ty;
            // Only where the frame is even around the source pixel: the exact pixel a scaler
            // picks may differ by one at the stripes' edges.
            bool even = true;
            const std::uint8_t* ref = sent.at(sx, sy);
            for (int dy = -2; dy <= 2 && even; ++dy)
                for (int dx = -2; dx <= 2 && even; ++dx) {
                    const std::uint8_t* p = sent.at(std::clamp(sx + dx, 0, 351), std::clamp(sy + dy, 0, 239));
                    for (int k = 0; k < 3; ++k)
                        even = even && std::abs(p[k] - ref[k]) <= 12;
                }
            if (!even)
                continue;
            ++compared;
            const tessivor::Rgb got = shown.pixel(tx, ty);
            if (std::abs(got.r - ref[0]) > 16 || std::abs(got.g - ref[1]) > 16 ||
                std::abs(got.b - ref[2]) > 16)
                ++mismatched;
        }
    EXPECT_GT(compared, 300);
    EXPECT_EQ(mismatched, 0) << "of " << compared;
    w->grab().toImage().save(QString::fromStdString((shots / "view-camsim.png").string()));

    // x1.5: the control draws the frame at 528 x 360 into the centred, overhanging picture.
    w->toolBar().tool("ID_x1.5")->trigger();
    EXPECT_EQ(w->picture().geometry(), QRect(-104, -60, 528, 360));
    EXPECT_TRUE(waitUntil([&] { return centreLit(528, 360); }));
    w->grab().toImage().save(QString::fromStdString((shots / "view-camsim-zoomed.png").string()));
    w->toolBar().tool("ID_FitWindow")->trigger();
    EXPECT_TRUE(waitUntil([&] { return centreLit(320, 240); }));

    // The colour panel reads the camera's settings through the real control and writes them back.
    w->SkinForm1_ObjectClick(&w->skin().RootObject().FindObject("ColorCtl"));
    ASSERT_TRUE(w->ColorCtlOn) << (messages.shown.empty() ? "" : messages.shown.front());
    EXPECT_EQ(w->ImgConfig, (ImageSettings{2, 1, 30, 64, 32, 8, 60}));
    EXPECT_EQ(w->colourBar(1).value(), 32);
    const long connectionsBefore = statsField(camera.command("stats"), "connections");
    w->colourBar(1).setValue(40); // as a release of the thumb
    ASSERT_TRUE(w);
    // The native camera was restarted (a new connection) and streams again.
    EXPECT_TRUE(
        waitUntil([&] { return statsField(camera.command("stats"), "connections") > connectionsBefore; }));
    ASSERT_TRUE(waitUntil([&] { return engine.Cam(1).get(IntProp::Status) == 2; }));
    EXPECT_EQ(w->ImgConfig, (ImageSettings{2, 1, 30, 64, 40, 8, 60}));

    // A snapshot under a name the user picked: a JPEG at the frame's size.
    const auto shot = home.path() / "snap.jpg";
    chosenFile = shot.string();
    w->SkinForm1_ObjectClick(&w->skin().RootObject().FindObject("Snapshot"));
    ASSERT_TRUE(waitUntil([&] { return djpeg(shot, home.path()).width > 0; })) << "no snapshot";
    const Ppm snap = djpeg(shot, home.path());
    EXPECT_EQ(snap.width, 352);
    EXPECT_EQ(snap.height, 240);

    // Closed while frames arrive: the picture is unbound, the window goes, frames go on.
    const std::int32_t handle = w->pictureHandle();
    w->close();
    EXPECT_EQ(engine.Cam(1).get(IntProp::PreviewhWnd), 0);
    EXPECT_FALSE(state.WindowOpen[1]);
    ASSERT_TRUE(waitUntil([&] { return w.isNull(); }, 5000));
    EXPECT_EQ(tessivor::frameTargets::find(handle), nullptr);
    const auto before = camera.command("stats");
    QElapsedTimer streaming;
    streaming.start();
    while (streaming.elapsed() < 1500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(engine.Cam(1).get(IntProp::Status), 2);
    EXPECT_NE(camera.command("stats"), before) << "the camera stopped sending";

    // Shown again, the window binds a new picture and the pictures come back.
    views.showView(1);
    w = views.window(1);
    ASSERT_TRUE(w);
    if (w->FirstActivate)
        w->Form_Activate();
    EXPECT_EQ(engine.Cam(1).get(IntProp::PreviewhWnd), w->pictureHandle());
    target = w->picture().target();
    EXPECT_TRUE(waitUntil([&] { return centreLit(320, 240); }));

    engine.Unload();
    QCoreApplication::processEvents();
}

// The program around one view window of a real control streaming from a simulated camera.
struct OneCameraProgram
{
    OneCameraProgram(const std::string& name, const tessivor::testing::CamSim& camera, int protocol)
        : home(name), log(state, tessivor::activeClock()), messages(trace)
    {
        const int port = protocol == 0 ? camera.nativePort() : camera.httpPort();
        EXPECT_TRUE(viewtest::camsimState(state, home.path(), {{camera.address(), port}}, protocol, "Yard"));
        state.cam(1).MacAddress = "0.1.2.3.4.5"; // camsim's own
        std::string error;
        engine = makeEngineWithRealControls(state, realTimeServices(timers, ui, windows, messages, log),
                                            trace, error);
        EXPECT_TRUE(error.empty()) << error;
        ViewServices vs;
        vs.state = &state;
        vs.engine = engine.get();
        vs.log = &log;
        vs.messages = &messages;
        vs.ui = &ui;
        views = std::make_unique<ViewWindows>(vs);
        windows.views = views.get();
        log.setViews(&windows);
    }
    ~OneCameraProgram()
    {
        if (engine)
            engine->Unload();
        QCoreApplication::processEvents();
    }

    // Loads the engine (which shows the window and starts the camera) and waits for the stream.
    ViewWindow* start()
    {
        engine->Load();
        ViewWindow* w = views->window(1);
        if (!w)
            return nullptr;
        if (w->FirstActivate)
            w->Form_Activate();
        return waitUntil([&] { return engine->Cam(1).get(IntProp::Status) == 2; }) ? w : nullptr;
    }

    static bool prepare()
    {
        testApp();
        registerModule();
        return true;
    }

    bool ready = prepare(); // the application and the module before anything that needs them
    TestFolder home;
    AppState state;
    QtUiServices ui;
    MessagePump pump;
    QtTimerFactory timers;
    Trace trace;
    EventLog log;
    FakeMessages messages;
    ViewsOnly windows;
    std::unique_ptr<Engine> engine;
    std::unique_ptr<ViewWindows> views;
};

// A left click on a skin button of the window, as a user makes it.
void clickButton(ViewWindow& w, const char* name)
{
    const QPoint at = w.skin().RootObject().FindObject(name).geometry().center();
    QTest::mouseMove(&w.skin(), at);
    QTest::mouseClick(&w.skin(), Qt::LeftButton, Qt::NoModifier, at);
}

// Where the bar draws its thumb.
QRect thumbOf(QScrollBar& bar)
{
    QStyleOptionSlider opt;
    opt.initFrom(&bar);
    opt.orientation = bar.orientation();
    opt.minimum = bar.minimum();
    opt.maximum = bar.maximum();
    opt.sliderPosition = bar.sliderPosition();
    opt.sliderValue = bar.value();
    opt.singleStep = bar.singleStep();
    opt.pageStep = bar.pageStep();
    opt.subControls = QStyle::SC_All;
    return bar.style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, &bar);
}

// The camera's image-settings body of its last write, as text ("" when none came).
std::string lastSettingsBody(tessivor::testing::CamSim& camera)
{
    const std::string answer = camera.command("last-body");
    std::string text;
    for (std::size_t i = 3; i + 1 < answer.size(); i += 2)
        text += static_cast<char>(std::stoi(answer.substr(i, 2), nullptr, 16));
    return text;
}

// A "/VIDEO.CGI" camera's colour bars: the user drags the brightness thumb; the thumb follows
// the pointer, nothing goes to the camera while it is held, and once it is let go the camera
// receives the seven settings with the new brightness, one settings request.
TEST(ViewCamsim, AVideoCgiCameraReceivesTheDraggedValueWhenTheThumbIsLetGo)
{
    tessivor::testing::CamSim camera({"--rate", "10"});
    OneCameraProgram program("viewcamsim-drag", camera, 1);
    QPointer<ViewWindow> w = program.start();
    ASSERT_TRUE(w) << "the camera did not stream";
    clickButton(*w, "ColorCtl");
    ASSERT_TRUE(w->ColorCtlOn) << (program.messages.shown.empty() ? "" : program.messages.shown.front());
    QScrollBar& brightness = w->colourBar(0);
    ASSERT_TRUE(brightness.isVisible());
    EXPECT_EQ(brightness.value(), 64);
    const long requestsBefore = camera.stat("settings-requests");
    EXPECT_GE(requestsBefore, 1) << "the read of the settings was not counted";

    const QRect thumb = thumbOf(brightness);
    const QPoint grab = thumb.center();
    QTest::mouseMove(&brightness, grab);
    QTest::mousePress(&brightness, Qt::LeftButton, Qt::NoModifier, grab);
    ASSERT_TRUE(brightness.isSliderDown()) << "the press missed the thumb";
    for (int dx = -2; dx >= -8; dx -= 2)
        QTest::mouseMove(&brightness, grab + QPoint(dx, 0));
    const int held = brightness.sliderPosition();
    EXPECT_LT(held, 64) << "the thumb did not follow the pointer";
    EXPECT_LT(thumbOf(brightness).center().x(), grab.x());
    EXPECT_EQ(camera.stat("settings-requests"), requestsBefore); // nothing while it is held
    w->grab().toImage().save(QString::fromStdString(
        (std::filesystem::path(TESSIVOR_BINARY_DIR) / "test-output" / "view_windows" / "view-camsim-drag.png")
            .string()));
    QTest::mouseRelease(&brightness, Qt::LeftButton, Qt::NoModifier, grab + QPoint(-8, 0));
    ASSERT_TRUE(w);
    EXPECT_EQ(brightness.value(), held);
    EXPECT_EQ(w->ImgConfig[3], held);
    EXPECT_TRUE(waitUntil([&] { return camera.stat("settings-requests") == requestsBefore + 1; }));
    EXPECT_EQ(lastSettingsBody(camera),
              "Video_Mode=2&Compress=1&Frame_Rate=30&Bright_cntl=" + std::to_string(held) +
                  "&Contrast_cntl=32&Hue_cntl=8&Light_Fraq=60\r\n\r\n");
}

// A native camera whose image-settings datagram is not answered: the read takes the control's
// two attempts, and meanwhile the program goes on (the picture keeps coming, timers run) while the
// window waits with its inputs off and the hourglass; then the read failure's own message.
TEST(ViewCamsim, AnUnansweredReadLetsTheProgramGoOnAndSaysTheSettingsCouldNotBeRead)
{
    tessivor::testing::CamSim camera({"--rate", "10"}, false); // no image-settings datagrams
    OneCameraProgram program("viewcamsim-noread", camera, 0);
    QPointer<ViewWindow> w = program.start();
    ASSERT_TRUE(w) << "the camera did not stream";
    ASSERT_TRUE(waitUntil([&] { return w->picture().shownVersion() > 0; })) << "the window never painted";

    struct Seen
    {
        int ticks = 0;
        int enabled = 0;
        int otherPointer = 0;
        std::uint64_t firstPicture = 0;
        std::uint64_t lastPicture = 0;
    } seen;
    bool clicked = false;
    QTimer clock; // stands for every timer of the program
    clock.setInterval(50);
    QObject::connect(&clock, &QTimer::timeout, [&] {
        if (!clicked || !w || !program.messages.shown.empty())
            return;
        ++seen.ticks;
        seen.enabled += w->isEnabled() ? 1 : 0;
        const QCursor* pointer = QApplication::overrideCursor();
        seen.otherPointer += pointer && pointer->shape() == Qt::WaitCursor ? 0 : 1;
        if (seen.firstPicture == 0)
            seen.firstPicture = w->picture().shownVersion();
        seen.lastPicture = w->picture().shownVersion();
    });
    clock.start();
    clicked = true;
    clickButton(*w, "ColorCtl");
    clock.stop();
    ASSERT_TRUE(w);
    EXPECT_GT(seen.ticks, 10) << "the program stood still during the read";
    EXPECT_EQ(seen.enabled, 0);
    EXPECT_EQ(seen.otherPointer, 0);
    EXPECT_GT(seen.lastPicture, seen.firstPicture) << "no picture was drawn during the read";
    ASSERT_EQ(program.messages.shown.size(), 1u);
    EXPECT_EQ(program.messages.shown[0], program.state.texts.ViewMessage[2]);
    EXPECT_FALSE(w->ColorCtlOn);
    EXPECT_FALSE(w->colourPanel().isVisibleTo(w));
    EXPECT_TRUE(w->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
