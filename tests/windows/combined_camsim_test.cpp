// The combined window end to end, offscreen: four real controls (the control module created by
// ProgID, called late-bound) stream from four simulated cameras into the window's four panes. A
// screenshot of the window shows four pictures and the red border around the current camera's
// pane; closing the window while the cameras keep sending frames leaves nothing drawing into it.
#include "../app_skin/qt_test_support.h"
#include "camsim_process.h"
#include "real_engine.h"
#include "views_only.h"

#include "app/core/language_pack.h"
#include "app/skin/message_pump.h"
#include "app/skin/picture_surface.h"
#include "app/skin/skin_form.h"
#include "app/skin/ui_services.h"
#include "app/windows/combined_windows.h"

#include "platform/clock.h"

#include <QElapsedTimer>
#include <QImage>

#include <gtest/gtest.h>

#include <set>

using namespace enginetest;

namespace {

// What a screenshot shows inside `area`, sampled on a grid: the share of pixels that are not
// black and the number of distinct colours.
struct Sampled
{
    double lit = 0;
    std::size_t colours = 0;
};

Sampled sample(const QImage& image, const QRect& area)
{
    int lit = 0, total = 0;
    std::set<QRgb> colours;
    for (int y = area.top(); y <= area.bottom(); y += 4)
        for (int x = area.left(); x <= area.right(); x += 4) {
            const QRgb p = image.pixel(x, y);
            ++total;
            lit += qRed(p) + qGreen(p) + qBlue(p) > 60 ? 1 : 0;
            colours.insert(p);
        }
    return {total > 0 ? double(lit) / total : 0, colours.size()};
}

bool isRed(QRgb p)
{
    return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60;
}

bool isBlack(QRgb p)
{
    return qRed(p) < 30 && qGreen(p) < 30 && qBlue(p) < 30;
}

TEST(CombinedCamsim, FourPicturesTheActiveBorderAndACloseWhileStreaming)
{
    testApp();
    registerModule();
    TestFolder home("combinedcamsim");
    std::vector<std::unique_ptr<tessivor::testing::CamSim>> cameras;
    for (int n = 1; n <= 4; ++n)
        cameras.push_back(std::make_unique<tessivor::testing::CamSim>(
            std::vector<std::string>{"--rate", "10", "--first-frame", std::to_string(n * 100)}));

    AppState state;
    std::vector<std::pair<std::string, int>> addresses;
    for (const auto& c : cameras)
        addresses.emplace_back(c->address(), c->nativePort());
    ASSERT_TRUE(viewtest::camsimState(state, home.path(), addresses, 0, "Yard"));
    state.CombineMode = 1;
    state.CurCam = 3;

    QtUiServices ui;
    MessagePump pump;
    QtTimerFactory timers;
    Trace trace;
    FakeMessages messages(trace);
    EventLog log(state, tessivor::activeClock());
    viewtest::CombinedOnly windows;
    std::string error;
    auto enginePtr =
        makeEngineWithRealControls(state, realTimeServices(timers, ui, windows, messages, log), trace, error);
    Engine& engine = *enginePtr;
    ASSERT_TRUE(error.empty()) << error;

    CombinedServices cs;
    cs.state = &state;
    cs.engine = &engine;
    cs.log = &log;
    CombinedWindows combined(cs);
    windows.combined = &combined;
    log.setViews(&windows);

    engine.Load(); // in combined mode: every camera is bound to its pane and started
    combined.showCombined();
    QPointer<CombinedWindow> w = combined.window();
    ASSERT_TRUE(w);
    if (w->FirstActivate)
        w->Form_Activate();
    const QSize size = QSize(800, 600) + (w->size() - w->clientSize());
    w->resize(size);
    w->skin().setGeometry(QRect(QPoint(0, 0), size));
    QCoreApplication::processEvents();
    ASSERT_EQ(w->clientSize(), QSize(800, 600));

    // Every pane receives its camera's pictures at the pane's size and paints them.
    for (int n = 1; n <= 4; ++n) {
        auto target = w->pane(n).target();
        ASSERT_TRUE(waitUntil([&] {
            const tessivor::TargetPicture p = target->snapshot();
            if (p.width != w->pane(n).width() || p.height != w->pane(n).height())
                return false;
            const tessivor::Rgb centre = p.pixel(p.width / 2, p.height / 2);
            return centre.r + centre.g + centre.b > 60 && w->pane(n).shownVersion() >= p.version;
        })) << "no picture in pane "
            << n << ": " << cameras[static_cast<std::size_t>(n - 1)]->command("stats");
        EXPECT_EQ(engine.Cam(n).get(IntProp::PreviewhWnd), w->pane(n).handle()) << n;
    }

    const QImage shot = w->grab().toImage();
    const auto folder = std::filesystem::path(TESSIVOR_BINARY_DIR) / "test-output" / "combined_window";
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(shot.save(QString::fromStdString((folder / "combined-camsim.png").string()), "PNG"));

    for (int n = 1; n <= 4; ++n) {
        // The picture inside the pane's frame.
        const QRect picture(w->pane(n).mapTo(w.data(), QPoint(0, 0)), w->pane(n).size());
        const Sampled s = sample(shot, picture.adjusted(4, 4, -4, -4));
        EXPECT_GT(s.lit, 0.3) << "pane " << n << " looks blank";
        EXPECT_GT(s.colours, 8u) << "pane " << n << " is a plain fill";
        // The frame's edges: red around the current camera's pane, black around the others.
        const QRect frame(w->paneFrame(n).mapTo(w.data(), QPoint(0, 0)), w->paneFrame(n).size());
        const QPoint edges[] = {{frame.center().x(), frame.top() + 1},
                                {frame.center().x(), frame.bottom() - 1},
                                {frame.left() + 1, frame.center().y()},
                                {frame.right() - 1, frame.center().y()}};
        for (const QPoint& e : edges) {
            const QRgb p = shot.pixel(e);
            if (n == state.CurCam)
                EXPECT_TRUE(isRed(p))
                    << "pane " << n << " at " << e.x() << "," << e.y() << ": " << std::hex << p;
            else
                EXPECT_TRUE(isBlack(p))
                    << "pane " << n << " at " << e.x() << "," << e.y() << ": " << std::hex << p;
        }
    }

    // Closed while all four keep sending: nothing keeps the panes, the window goes, the streams
    // go on.
    std::array<std::int32_t, 4> handles{};
    for (int n = 1; n <= 4; ++n)
        handles[static_cast<std::size_t>(n - 1)] = w->pane(n).handle();
    w->close();
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(engine.Cam(n).get(IntProp::PreviewhWnd), 0) << n;
    EXPECT_FALSE(state.WindowOpen[5]);
    ASSERT_TRUE(waitUntil([&] { return w.isNull(); }, 5000));
    for (std::int32_t h : handles)
        EXPECT_EQ(tessivor::frameTargets::find(h), nullptr);
    std::vector<std::string> before;
    for (auto& c : cameras)
        before.push_back(c->command("stats"));
    QElapsedTimer streaming;
    streaming.start();
    while (streaming.elapsed() < 1500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(engine.Cam(n).get(IntProp::Status), 2) << n;
        EXPECT_NE(cameras[static_cast<std::size_t>(n - 1)]->command("stats"),
                  before[static_cast<std::size_t>(n - 1)])
            << "camera " << n << " stopped sending";
    }

    windows.combined = nullptr;
    engine.Unload();
    QCoreApplication::processEvents();
}

} // namespace
