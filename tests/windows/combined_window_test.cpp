// The combined 2 x 2 window over the engine's recording fakes, offscreen: the pane layout and the
// binding of every slot to its pane, the active pane's border and pane clicks, and the close that
// unbinds the panes. The shipped English pack provides the skins and texts.
#include "../app_skin/qt_test_support.h"
#include "engine_fakes.h"
#include "views_only.h"

#include "app/core/language_pack.h"
#include "app/core/profile.h"
#include "app/skin/picture_surface.h"
#include "app/skin/skin_form.h"
#include "app/skin/skin_object.h"
#include "app/windows/combined_windows.h"
#include "app/windows/scan_window.h"

#include <QListWidget>
#include <QMouseEvent>

#include <gtest/gtest.h>

using namespace enginetest;

namespace {

std::filesystem::path combinedScreenshots()
{
    const auto folder = std::filesystem::path(TESSIVOR_BINARY_DIR) / "test-output" / "combined_window";
    std::filesystem::create_directories(folder);
    return folder;
}

TEST(CombinedPaneLayout, HalvesRoundUpAndPanesGoRowByRow)
{
    struct Case
    {
        int w, h;
        std::array<QRect, 4> panes;
    };
    const Case cases[] = {
        {800,
         600,
         {QRect(0, 0, 400, 300), QRect(400, 0, 400, 300), QRect(0, 300, 400, 300),
          QRect(400, 300, 400, 300)}},
        {801,
         601,
         {QRect(0, 0, 401, 301), QRect(401, 0, 401, 301), QRect(0, 301, 401, 301),
          QRect(401, 301, 401, 301)}},
        {1, 1, {QRect(0, 0, 1, 1), QRect(1, 0, 1, 1), QRect(0, 1, 1, 1), QRect(1, 1, 1, 1)}},
        {0, 0, {QRect(0, 0, 0, 0), QRect(0, 0, 0, 0), QRect(0, 0, 0, 0), QRect(0, 0, 0, 0)}},
    };
    for (const Case& c : cases) {
        const auto panes = combinedPaneLayout(c.w, c.h);
        for (std::size_t k = 0; k < 4; ++k)
            EXPECT_EQ(panes[k], c.panes[k]) << c.w << " x " << c.h << " pane " << k + 1;
    }
}

class CombinedWindowTest : public ::testing::Test
{
protected:
    CombinedWindowTest() : home("combined")
    {
        testApp();
        EXPECT_TRUE(viewtest::fourCamerasState(state, home.path()));
        rig = std::make_unique<EngineRig>(state, 1700000000, &engineWindows);
        CombinedServices sv;
        sv.state = &state;
        sv.engine = rig->engine.get();
        sv.currentCameraLeaving = [this](int from, int to) {
            leaving.push_back(std::to_string(from) + ">" + std::to_string(to));
        };
        sv.currentCameraChanged = [this] { ++changed; };
        sv.lastWindowClosed = [this] { ++lastClosed; };
        sv.log = &rig->log;
        combined = std::make_unique<CombinedWindows>(sv);
        engineWindows.combined = combined.get();
        rig->log.setViews(&engineWindows);
        ScanServices ss;
        ss.state = &state;
        ss.engine = rig->engine.get();
        ss.lastWindowClosed = [this] { ++lastClosed; };
        scan = std::make_unique<ScanWindows>(ss);
        engineWindows.scan = scan.get();
    }

    ~CombinedWindowTest() override
    {
        engineWindows.combined = nullptr;
        scan.reset();
        combined.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    CombinedWindow& open()
    {
        combined->showCombined();
        CombinedWindow& w = *combined->window();
        if (w.FirstActivate)
            w.Form_Activate();
        return w;
    }
    void resizeClient(CombinedWindow& w, QSize client)
    {
        const QSize size = client + (w.size() - w.clientSize());
        w.resize(size);
        QCoreApplication::processEvents();
        w.skin().setGeometry(QRect(QPoint(0, 0), size));
        QCoreApplication::processEvents();
        ASSERT_EQ(w.clientSize(), client);
    }
    std::int32_t prop(int slot, IntProp p) { return rig->engine->Cam(slot).get(p); }
    QString edge(CombinedWindow& w, int slot, const char* name)
    {
        return w.paneFrame(slot).RootObject().FindObject(name).BitmapName();
    }
    SkinObject& object(CombinedWindow& w, const char* name) { return w.skin().RootObject().FindObject(name); }
    std::string text(CombinedWindow& w, const char* name) { return object(w, name).Text().toStdString(); }
    const std::string& hint(int row, int k) const
    {
        return state.HintTable[static_cast<std::size_t>(row)].BtnStr[static_cast<std::size_t>(k)];
    }

    TestFolder home;
    AppState state;
    // The engine's scan and combined-window calls reach those windows; the rest do nothing.
    struct ScanOnly : viewtest::ViewsAndCombined
    {
        ScanWindows* scan = nullptr;
        void showScan() override { scan->showScan(); }
        void unloadScan() override { scan->unloadScan(); }
        DrawTarget scanTarget() override { return scan->scanTarget(); }
        void scanRefresh() override { scan->scanRefresh(); }
        void scanRefrushStatusBar() override { scan->scanRefrushStatusBar(); }
        void unloadView(int) override {}
    } engineWindows;
    std::unique_ptr<EngineRig> rig;
    std::unique_ptr<CombinedWindows> combined;
    std::vector<std::string> leaving;
    std::unique_ptr<ScanWindows> scan;
    int changed = 0;
    int lastClosed = 0;
};

TEST_F(CombinedWindowTest, EveryLayoutBindsEachSlotToItsPaneAtThePaneSize)
{
    state.cam(2).Protocol = kProtocolKestra; // a viewer-family slot
    CombinedWindow& w = open();
    EXPECT_TRUE(state.WindowOpen[5]);
    for (const QSize client : {QSize(800, 600), QSize(801, 601)}) {
        const std::size_t from = rig->trace.lines.size();
        resizeClient(w, client);
        const auto rects = combinedPaneLayout(client.width(), client.height());
        for (int n = 1; n <= 4; ++n) {
            const QWidget& pane = *w.pane(n).parentWidget()->parentWidget();
            EXPECT_EQ(pane.geometry(), rects[static_cast<std::size_t>(n - 1)]) << "pane " << n;
            if (n == 2)
                continue;
            EXPECT_EQ(prop(n, IntProp::PreviewhWnd), w.pane(n).handle()) << n;
            EXPECT_EQ(prop(n, IntProp::PreviewDC), w.pane(n).handle()) << n;
            EXPECT_EQ(prop(n, IntProp::PreviewWidth), rects[0].width()) << n;
            EXPECT_EQ(prop(n, IntProp::PreviewHeight), rects[0].height()) << n;
        }
        // The viewer gets its pane 6 pixels smaller each way.
        const std::string attach = "CamViewer1(2).attachWindow(" + std::to_string(w.pane(2).handle()) + ", " +
                                   std::to_string(rects[1].width() - 6) + ", " +
                                   std::to_string(rects[1].height() - 6) + ")";
        bool seen = false;
        for (std::size_t i = from; i < rig->trace.lines.size(); ++i)
            seen = seen || rig->trace.lines[i] == attach;
        EXPECT_TRUE(seen) << attach;
    }
    // Minimized, a resize changes nothing.
    w.showMinimized();
    rig->engine->Cam(1).put(IntProp::PreviewWidth, 7);
    w.Form_Resize();
    EXPECT_EQ(prop(1, IntProp::PreviewWidth), 7);
    w.showNormal();
    w.Form_Resize();
    EXPECT_EQ(prop(1, IntProp::PreviewWidth), 401);
}

TEST_F(CombinedWindowTest, APaneClickMakesItsCameraCurrentAndMovesTheBorder)
{
    state.CurCam = 1;
    CombinedWindow& w = open();
    resizeClient(w, QSize(640, 480));
    EXPECT_EQ(edge(w, 1, "Top"), "BgColor 255 -");
    EXPECT_EQ(edge(w, 3, "Left"), "BgColor 0 -");
    EXPECT_EQ(w.windowTitle(), "1.  Gate1");

    state.CamConfOn = true;
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&w.pane(3), &press);
    EXPECT_EQ(state.CurCam, 3);
    EXPECT_FALSE(state.CamConfOn);
    EXPECT_EQ(leaving, std::vector<std::string>{"1>3"});
    EXPECT_EQ(changed, 1);
    for (const char* e : {"Top", "Bottom", "Left", "Right"}) {
        EXPECT_EQ(edge(w, 3, e), "BgColor 255 -") << e;
        EXPECT_EQ(edge(w, 1, e), "BgColor 0 -") << e;
    }
    EXPECT_EQ(w.windowTitle(), "3.  Gate3");
    EXPECT_EQ(w.skin().RootObject().FindObject("ServerName").Text(), "3.  Gate3");
    EXPECT_TRUE(w.grab().toImage().save(
        QString::fromStdString((combinedScreenshots() / "pane3_active.png").string()), "PNG"));

    // The active pane again: borders and the panel refresh, but nothing is left behind.
    state.CamConfOn = true;
    w.selectPane(3);
    EXPECT_TRUE(state.CamConfOn);
    EXPECT_EQ(leaving.size(), 1u);
    EXPECT_EQ(changed, 2);
}

TEST_F(CombinedWindowTest, ClosingUnbindsItsPanesAndLeavesOtherTargetsAlone)
{
    CombinedWindow& w = open();
    resizeClient(w, QSize(400, 300));
    state.CombineMode = 1;
    rig->engine->Cam(4).put(IntProp::PreviewhWnd, 999); // bound elsewhere since
    w.close();
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(prop(n, IntProp::PreviewhWnd), 0) << n;
        EXPECT_EQ(prop(n, IntProp::PreviewDC), 0) << n;
    }
    EXPECT_EQ(prop(4, IntProp::PreviewhWnd), 999);
    EXPECT_FALSE(state.WindowOpen[5]);
    EXPECT_EQ(state.CombineMode, 0); // the panel is still open
    EXPECT_EQ(lastClosed, 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(combined->window(), nullptr);

    // Reopened, then closed as the last main window: the program's end is asked for.
    state.WindowOpen[0] = false;
    state.OnTopFlags.fill(true);
    CombinedWindow& again = open();
    for (bool f : state.OnTopFlags)
        EXPECT_FALSE(f);
    state.CombineMode = 1;
    again.close();
    EXPECT_EQ(lastClosed, 1);
    EXPECT_EQ(state.CombineMode, 1);
}

TEST_F(CombinedWindowTest, StatusLinesAndMotionTextDescribeTheCurrentCamera)
{
    state.CurCam = 1;
    state.CombineMode = 1;
    state.cam(2).Enable = false;
    state.cam(2).Recording = true;
    CombinedWindow& w = open();
    EXPECT_EQ(text(w, "IPAddress"), "127.0.0.1");
    EXPECT_EQ(text(w, "Line"), state.texts.strOnLine);
    EXPECT_EQ(text(w, "Recording"), "");

    // Motion of the current camera shows; of another camera it does not.
    rig->engine->onImageEvent(3, 6);
    EXPECT_EQ(text(w, "MotionDetect"), "");
    rig->engine->onImageEvent(1, 6);
    EXPECT_EQ(text(w, "MotionDetect"), "MOTION");
    // The motion lamp's timer takes it away once the motion is over a second old.
    rig->engine->tmrMotionLed().setEnabled(true);
    rig->clock.advance(3000);
    QCoreApplication::processEvents();
    EXPECT_EQ(text(w, "MotionDetect"), "");

    // Another pane: its camera's lines, and no motion text left over from the last one.
    w.ShowMotionText(true);
    w.selectPane(2);
    EXPECT_EQ(text(w, "IPAddress"), "127.0.0.2");
    EXPECT_EQ(text(w, "Line"), state.texts.strOffLine);
    EXPECT_EQ(text(w, "Recording"), state.texts.RecText[0]);
    EXPECT_EQ(text(w, "MotionDetect"), "");

    // A recording that starts on the current camera shows at once.
    w.selectPane(4);
    EXPECT_EQ(text(w, "Recording"), "");
    EXPECT_TRUE(rig->engine->StartRecord(4, kRecordManual));
    EXPECT_EQ(text(w, "Recording"), state.texts.RecText[0]);

    // The edition that asks for the camera's password first shows the colour button only after it.
    state.Language = "DravonetTC";
    w.RefrushStatusBar(4);
    EXPECT_EQ(object(w, "ColorCtl").Transparency(), 255);
    EXPECT_EQ(object(w, "LBtnSet").Span(), 62);
    state.cam(4).PasswordChecked = true;
    w.RefrushStatusBar(4);
    EXPECT_EQ(object(w, "ColorCtl").Transparency(), 0);
    EXPECT_EQ(object(w, "LBtnSet").Span(), 84);
}

TEST_F(CombinedWindowTest, TheEventListShowsTheCurrentCamerasLinesAndEveryNewEvent)
{
    rig->log.AddEvent(2, "Camera started.");
    rig->log.AddEvent(1, "Not this camera.");
    rig->log.AddEvent(2, "Camera connected.");
    state.CurCam = 2;
    CombinedWindow& w = open();
    resizeClient(w, QSize(640, 480));
    EXPECT_FALSE(combined->combinedEventListShown());
    EXPECT_FALSE(w.eventListVisible());

    w.EventListShown = true;
    w.ToggleEventList();
    QListWidget& list = w.eventList();
    ASSERT_EQ(list.count(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(list.item(i)->text().toStdString(), rig->log.lines(2)[static_cast<std::size_t>(i)]) << i;
    EXPECT_EQ(list.currentRow(), 3); // the last line
    EXPECT_TRUE(w.eventListVisible());
    EXPECT_TRUE(combined->combinedEventListShown());
    EXPECT_EQ(list.geometry(), QRect(0, 0, 640, 480));
    EXPECT_EQ(object(w, "Event").BitmapName().toStdString(), hint(6, 2));

    // New events of any camera join the list, the last line selected.
    rig->log.AddEvent(3, "Motion detected.");
    ASSERT_EQ(list.count(), 6);
    EXPECT_NE(list.item(4)->text().toStdString().find("127.0.0.3   Gate3"), std::string::npos);
    EXPECT_EQ(list.item(5)->text().toStdString(), "    Motion detected.");
    EXPECT_EQ(list.currentRow(), 5);
    EXPECT_TRUE(w.grab().toImage().save(
        QString::fromStdString((combinedScreenshots() / "event_list.png").string()), "PNG"));

    // A resize keeps it over the whole client area.
    resizeClient(w, QSize(801, 601));
    EXPECT_EQ(list.geometry(), QRect(0, 0, 801, 601));
    EXPECT_EQ(list.parentWidget()->geometry(), QRect(0, 0, 801, 601));

    // Its own bound: at 500 lines the oldest 100 go.
    for (int i = 0; i < 247; ++i)
        rig->log.AddEvent(1 + i % 3, "Line " + std::to_string(i));
    EXPECT_EQ(list.count(), 400);
    EXPECT_EQ(list.item(399)->text().toStdString(), "    Line 246");
    EXPECT_TRUE(viewtest::lastLineSelectedInSight(list)) << list.currentRow();

    // The panel keeps the current camera: the list stays; another camera: it is hidden.
    w.RefrushListCtl(2);
    EXPECT_TRUE(w.eventListVisible());
    w.RefrushListCtl(4);
    EXPECT_FALSE(w.EventListShown);
    EXPECT_FALSE(w.eventListVisible());
    EXPECT_EQ(object(w, "Event").BitmapName().toStdString(), hint(6, 4));
    rig->log.AddEvent(2, "After hiding.");
    EXPECT_EQ(list.count(), 400);

    // A camera with no lines: an empty list and no selection.
    state.CurCam = 4;
    w.EventListShown = true;
    w.ToggleEventList();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.currentRow(), -1);
    EXPECT_TRUE(w.eventListVisible());

    // Reopened, the window starts with its list hidden.
    w.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    CombinedWindow& again = open();
    EXPECT_FALSE(again.EventListShown);
    EXPECT_FALSE(again.eventListVisible());
}

TEST_F(CombinedWindowTest, TheEventButtonOpensAndClosesTheListOfAnEnabledCurrentCamera)
{
    rig->log.AddEvent(2, "Camera started.");
    state.CurCam = 2;
    CombinedWindow& w = open();
    resizeClient(w, QSize(640, 480));
    SkinObject& button = object(w, "Event");

    w.SkinForm1_ObjectClick(&button);
    EXPECT_TRUE(w.EventListShown);
    EXPECT_TRUE(w.eventListVisible());
    EXPECT_EQ(w.eventList().count(), 2);
    EXPECT_EQ(button.BitmapName().toStdString(), hint(6, 2));
    // The pointer over the button keeps the switched-on image while the list is shown.
    w.SkinForm1_MouseIn(&button);
    EXPECT_EQ(button.BitmapName().toStdString(), hint(6, 2));

    w.SkinForm1_ObjectClick(&button);
    EXPECT_FALSE(w.EventListShown);
    EXPECT_FALSE(w.eventListVisible());
    EXPECT_EQ(button.BitmapName().toStdString(), hint(6, 4));

    // A disabled current camera: the click changes nothing.
    state.cam(2).Enable = false;
    w.SkinForm1_ObjectClick(&button);
    EXPECT_FALSE(w.EventListShown);
    EXPECT_FALSE(w.eventListVisible());
}

TEST_F(CombinedWindowTest, TheScanWindowNamesTheCameraItShowsByEdition)
{
    state.ScanModeOn = true;
    rig->engine->ScanMode();
    ScanWindow& w = *scan->window();
    struct Case
    {
        const char* language;
        const char* title;
    };
    const Case cases[] = {{"english", "3.  Gate3"},
                          {"Dravonet", "3 Gate3"},
                          {"DravonetS", "3 Gate3"},
                          {"DRAVONET", "3.  Gate3"}};
    state.ScanCam = 3;
    for (const Case& c : cases) {
        state.Language = c.language;
        w.RefrushStatusBar();
        EXPECT_EQ(w.windowTitle().toStdString(), c.title) << c.language;
        EXPECT_EQ(w.skin().RootObject().FindObject("ServerName").Text().toStdString(), c.title) << c.language;
        EXPECT_EQ(w.skin().RootObject().FindObject("IPAddress").Text().toStdString(), "127.0.0.3")
            << c.language;
    }
    w.close();
}

TEST_F(CombinedWindowTest, ScanShowsEachEnabledCameraInTurnAndItsSizeReachesAllControls)
{
    state.cam(3).Enable = false;
    state.settings.ScanDelay = 2;
    state.ScanModeOn = true;
    rig->engine->ScanMode();
    ScanWindow& w = *scan->window();
    EXPECT_TRUE(state.WindowOpen[6]);
    EXPECT_EQ(w.clientSize(), QSize(320, 240));
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(prop(n, IntProp::PreviewWidth), 320) << n;
        EXPECT_EQ(prop(n, IntProp::PreviewHeight), 240) << n;
    }

    // Every (ScanDelay + 1) s the next enabled camera draws into the window; 3 is skipped.
    std::vector<int> shown;
    for (int step = 0; step < 4; ++step) {
        int drawing = 0;
        for (int n = 1; n <= 4; ++n)
            if (prop(n, IntProp::PreviewhWnd) == w.picture().handle())
                drawing = drawing == 0 ? n : -1;
        shown.push_back(drawing);
        EXPECT_EQ(w.windowTitle(), QString("%1.  Gate%1").arg(drawing));
        rig->clock.advance(2999);
        QCoreApplication::processEvents();
        rig->clock.advance(1);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(shown, (std::vector<int>{1, 2, 4, 1}));

    // A new size reaches all four controls.
    const QSize size = QSize(500, 400) + (w.size() - w.clientSize());
    w.resize(size);
    w.skin().setGeometry(QRect(QPoint(0, 0), size));
    QCoreApplication::processEvents();
    ASSERT_EQ(w.clientSize(), QSize(500, 400));
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(prop(n, IntProp::PreviewWidth), 500) << n;
        EXPECT_EQ(prop(n, IntProp::PreviewHeight), 400) << n;
    }

    // Closed while the panel stays: scan and combined mode end, the timer stops, nothing keeps
    // the window's picture.
    state.CombineMode = 1;
    const std::int32_t handle = w.picture().handle();
    w.close();
    EXPECT_FALSE(state.ScanModeOn);
    EXPECT_EQ(state.CombineMode, 0);
    EXPECT_FALSE(rig->engine->tmrScan().enabled());
    for (int n = 1; n <= 4; ++n)
        EXPECT_NE(prop(n, IntProp::PreviewhWnd), handle) << n;
    EXPECT_EQ(lastClosed, 0);
}

} // namespace
