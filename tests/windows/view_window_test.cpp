// The camera view window over the engine's recording fakes, offscreen: its lifecycle and status
// line, the event list, the colour panel and its bars, the skin buttons, the snapshot dialog, the
// zoom tools and drag-to-pan as the widgets see them. The shipped English pack provides the
// skins, the button rows and the texts.
#include "../app_skin/qt_test_support.h"
#include "engine_fakes.h"
#include "views_only.h"

#include "app/core/language_pack.h"
#include "app/core/profile.h"
#include "app/skin/picture_surface.h"
#include "app/skin/skin_form.h"
#include "app/skin/skin_object.h"
#include "app/skin/tool_set.h"
#include "app/windows/hand_cursor.h"
#include "app/windows/view_windows.h"

#include <QAction>
#include <QCursor>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>

#include <gtest/gtest.h>

#include <utility>

using namespace enginetest;

namespace {

std::filesystem::path viewScreenshots()
{
    const auto folder = std::filesystem::path(TESSIVOR_BINARY_DIR) / "test-output" / "view_windows";
    std::filesystem::create_directories(folder);
    return folder;
}

using viewtest::linesWith;

class ViewWindowTest : public ::testing::Test
{
protected:
    // How long the window waits for a read's end that never comes: far longer than an event
    // takes to go through the loop.
    static constexpr int kReadLimitMs = 3000;

    ViewWindowTest() : home("view")
    {
        testApp();
        EXPECT_TRUE(viewtest::fourCamerasState(state, home.path()));
        rig = std::make_unique<EngineRig>(state, 1700000000, &engineWindows);
        ViewServices sv;
        sv.state = &state;
        sv.engine = rig->engine.get();
        sv.log = &rig->log;
        sv.messages = &rig->messages;
        sv.ui = &rig->clock;
        sv.pause = [this](int ms) {
            rig->trace.add("pause " + std::to_string(ms));
            if (onPause)
                onPause(ms);
        };
        sv.saveDialog = [this](const SnapshotDialog& d) {
            dialogs.push_back(d);
            return chosenFile;
        };
        sv.wakeUp = [this] { ++wakeUps; };
        sv.lastWindowClosed = [this] { ++lastClosed; };
        sv.imageReadLimitMs = kReadLimitMs;
        views = std::make_unique<ViewWindows>(sv);
        engineWindows.views = views.get();
        rig->log.setViews(&engineWindows);
        viewtest::endImageReadsByEvent(*rig, &readEvents);
    }

    ~ViewWindowTest() override
    {
        views.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Shows the slot's window and runs its first activation.
    ViewWindow& open(int slot)
    {
        views->showView(slot);
        ViewWindow& w = *views->window(slot);
        if (w.FirstActivate)
            w.Form_Activate();
        return w;
    }

    SkinObject& object(ViewWindow& w, const char* name) { return w.skin().RootObject().FindObject(name); }
    void click(ViewWindow& w, const char* name) { w.SkinForm1_ObjectClick(&object(w, name)); }
    const std::string& hint(int row, int k) const
    {
        return state.HintTable[static_cast<std::size_t>(row)].BtnStr[static_cast<std::size_t>(k)];
    }
    // Gives the window a client area of `client` pixels.
    void resizeClient(ViewWindow& w, QSize client)
    {
        const QSize size = client + (w.size() - w.clientSize());
        w.resize(size);
        QCoreApplication::processEvents();
        w.skin().setGeometry(QRect(QPoint(0, 0), size));
        ASSERT_EQ(w.clientSize(), client);
    }
    QString bitmapOf(ViewWindow& w, const char* name) { return object(w, name).BitmapName(); }
    void saveShot(ViewWindow& w, const std::string& name)
    {
        EXPECT_TRUE(
            w.grab().toImage().save(QString::fromStdString((viewScreenshots() / name).string()), "PNG"));
    }

    TestFolder home;
    AppState state;
    viewtest::ViewsOnly engineWindows;
    std::unique_ptr<EngineRig> rig;
    std::unique_ptr<ViewWindows> views;
    std::function<void(int)> onPause;
    std::vector<SnapshotDialog> dialogs;
    std::optional<std::string> chosenFile;
    int wakeUps = 0;
    int lastClosed = 0;
    QObject readEvents; // the fakes' read completions arrive while it lives
};

TEST_F(ViewWindowTest, FirstActivationGivesA320x240ClientAreaAndBindsThePicture)
{
    const std::size_t from = rig->trace.lines.size();
    ViewWindow& w = open(3);
    EXPECT_TRUE(state.WindowOpen[3]);
    EXPECT_EQ(w.clientSize(), QSize(320, 240));
    EXPECT_EQ(w.picture().geometry(), QRect(0, 0, 320, 240)); // Fit Window is the pressed tool
    const std::string handle = std::to_string(w.pictureHandle());
    EXPECT_NE(rig->trace.find("Cam(3).PreviewhWnd = " + handle, from), std::string::npos);
    EXPECT_NE(rig->trace.find("Cam(3).PreviewDC = " + handle, from), std::string::npos);
    EXPECT_NE(rig->trace.find("Cam(3).DrawImage = True", from), std::string::npos);
    EXPECT_EQ(linesWith(rig->trace, "Cam(3).PreviewWidth = ", from).back(), "Cam(3).PreviewWidth = 320");
    EXPECT_EQ(linesWith(rig->trace, "Cam(3).PreviewHeight = ", from).back(), "Cam(3).PreviewHeight = 240");

    // The caption and the status line.
    EXPECT_EQ(w.windowTitle().toStdString(), "3.  Gate3");
    EXPECT_EQ(object(w, "ServerName").Text().toStdString(), "3.  Gate3");
    EXPECT_EQ(object(w, "IPAddress").Text().toStdString(), "127.0.0.3");
    EXPECT_EQ(object(w, "Line").Text().toStdString(), state.texts.strOnLine);
    EXPECT_TRUE(object(w, "Recording").Text().isEmpty());
    // Slot 3 keeps the built-in tools, with the pack's Fit Window text.
    EXPECT_EQ(w.toolBar().tool("ID_FitWindow")->text().toStdString(), state.texts.PopupText[2]);
    saveShot(w, "view-first-activation.png");

    // Later activations do not resize.
    resizeClient(w, QSize(492, 348));
    w.Form_Activate();
    EXPECT_EQ(w.clientSize(), QSize(492, 348));
    EXPECT_EQ(linesWith(rig->trace, "Cam(3).PreviewWidth = ").back(),
              "Cam(3).PreviewWidth = " + std::to_string(w.clientSize().width()));

    // A recording camera that goes off line shows it.
    state.cam(3).Recording = true;
    state.cam(3).Enable = false;
    w.RefrushStatusBar();
    EXPECT_EQ(object(w, "Recording").Text().toStdString(), state.texts.RecText[0]);
    EXPECT_EQ(object(w, "Line").Text().toStdString(), state.texts.strOffLine);
    w.ShowMotionText(true);
    EXPECT_EQ(object(w, "MotionDetect").Text(), "MOTION");
    w.ShowMotionText(false);
    EXPECT_TRUE(object(w, "MotionDetect").Text().isEmpty());
}

TEST_F(ViewWindowTest, TheEventListShowsTheEnginesLinesAndFollowsThem)
{
    rig->log.AddEvent(2, "Camera started.");
    rig->log.AddEvent(2, "Camera connected.");
    ViewWindow& w = open(2);
    QListWidget& list = w.eventList();
    ASSERT_EQ(list.count(), 4);
    EXPECT_EQ(list.item(0)->text().toStdString(), rig->log.lines(2)[0]);
    EXPECT_EQ(list.item(3)->text().toStdString(), "    Camera connected.");
    EXPECT_EQ(list.currentRow(), 2); // the first line of the last event

    // "Event" shows the list over the whole client area.
    click(w, "Event");
    EXPECT_TRUE(w.eventListShown());
    EXPECT_EQ(list.geometry(), QRect(QPoint(0, 0), w.clientSize()));
    EXPECT_EQ(bitmapOf(w, "Event").toStdString(), hint(6, 2));

    // A new event's lines join the list and its newest line comes into sight.
    rig->log.AddEvent(2, "Motion detected.");
    ASSERT_EQ(list.count(), 6);
    EXPECT_EQ(list.item(5)->text().toStdString(), "    Motion detected.");
    EXPECT_NE(list.item(4)->text().toStdString().find("127.0.0.2   Gate2"), std::string::npos);
    EXPECT_TRUE(viewtest::lastLineSelectedInSight(list)) << list.currentRow();

    // The window's own list keeps its bound: at 500 lines the oldest 100 go; the newest line is
    // still the one in sight.
    for (int i = 0; i < 247; ++i)
        rig->log.AddEvent(2, "Line " + std::to_string(i));
    EXPECT_EQ(list.count(), 400);
    EXPECT_EQ(list.item(399)->text().toStdString(), "    Line 246");
    rig->log.AddEvent(2, "The camera refused the password.");
    ASSERT_EQ(list.count(), 402);
    EXPECT_EQ(list.item(401)->text().toStdString(), "    The camera refused the password.");
    EXPECT_TRUE(viewtest::lastLineSelectedInSight(list)) << list.currentRow();
    saveShot(w, "view-event-list.png");

    // "Event" hides it again.
    click(w, "Event");
    EXPECT_FALSE(w.eventListShown());
    EXPECT_EQ(bitmapOf(w, "Event").toStdString(), hint(6, 4));

    // A camera with no lines: an empty list and no selection.
    ViewWindow& other = open(4);
    EXPECT_EQ(other.eventList().count(), 0);
    EXPECT_EQ(other.eventList().currentRow(), -1);
}

TEST_F(ViewWindowTest, ColourBarsSendTheSevenSettingsOnceOnReleaseThenRestartTheCamera)
{
    ViewWindow& w = open(1);
    std::size_t from = rig->trace.lines.size();
    click(w, "ColorCtl");
    EXPECT_TRUE(w.ColorCtlOn);
    EXPECT_TRUE(w.colourPanel().isVisibleTo(&w));
    EXPECT_EQ(rig->trace.find("Cam(1).MACAddress = \"0.1.2.3.4.1\"", from), from);
    EXPECT_NE(rig->trace.find("Cam(1).GetImageConfig(1, 0, 0, 0, 0, 0, 0, 0)", from), std::string::npos);
    EXPECT_NE(rig->trace.find("pause 1000", from), std::string::npos);
    EXPECT_EQ(w.colourBar(0).value(), 64);
    EXPECT_EQ(w.colourBar(1).value(), 32);
    EXPECT_EQ(w.colourBar(2).value(), 8);
    EXPECT_EQ(bitmapOf(w, "ColorCtl").toStdString(), hint(5, 2));
    EXPECT_TRUE(linesWith(rig->trace, "Cam(1).SetImageConfig").empty()); // showing the values sends nothing
    saveShot(w, "view-colour-panel.png");

    // Dragging the thumb sends nothing; letting it go sends all seven values once.
    QScrollBar& contrast = w.colourBar(1);
    EXPECT_FALSE(contrast.hasTracking());
    from = rig->trace.lines.size();
    bool disabledWhileWaiting = false;
    onPause = [&](int) { disabledWhileWaiting = !w.isEnabled(); };
    contrast.setSliderDown(true);
    for (int v : {40, 50, 77})
        contrast.setSliderPosition(v);
    EXPECT_TRUE(linesWith(rig->trace, "Cam(1).SetImageConfig", from).empty());
    contrast.setSliderDown(false);
    const auto sets = linesWith(rig->trace, "Cam(1).SetImageConfig", from);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0], "Cam(1).SetImageConfig(2, 1, 30, 64, 77, 8, 60)");
    // In order: the settings, the two-second wait with the window's inputs off, the restart.
    const std::size_t set = rig->trace.find(sets[0], from);
    const std::size_t pause = rig->trace.find("pause 2000", from);
    const std::size_t stop = rig->trace.find("Cam(1).Stop()", from);
    const std::size_t run = rig->trace.find("Cam(1).Run()", from);
    EXPECT_LT(set, pause);
    EXPECT_LT(pause, stop);
    EXPECT_LT(stop, run);
    EXPECT_NE(run, std::string::npos);
    EXPECT_TRUE(disabledWhileWaiting);
    EXPECT_TRUE(w.isEnabled());
    EXPECT_EQ(w.ImgConfig[4], 77);

    // The window writing the bars itself sends nothing.
    from = rig->trace.lines.size();
    w.UpdatingColor = true;
    w.colourBar(0).setValue(10);
    w.UpdatingColor = false;
    EXPECT_TRUE(linesWith(rig->trace, "Cam(1).SetImageConfig", from).empty());

    // A camera of another protocol gets its settings but no restart.
    state.cam(1).Protocol = kProtocolVideoCgi;
    from = rig->trace.lines.size();
    w.colourBar(2).triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(linesWith(rig->trace, "Cam(1).SetImageConfig", from).size(), 1u);
    EXPECT_TRUE(linesWith(rig->trace, "Cam(1).Stop", from).empty());

    // Values a camera should not report are shown as they came and sent back unchanged: nothing
    // the user did not touch is altered.
    rig->cam(1).imageConfig = {2, 1, 30, 300, -5, 8, 60};
    click(w, "ColorCtl"); // hides
    click(w, "ColorCtl"); // reads again
    ASSERT_TRUE(w.ColorCtlOn);
    EXPECT_EQ(w.colourBar(0).value(), 128);
    EXPECT_EQ(w.colourBar(1).value(), 0);
    from = rig->trace.lines.size();
    w.colourBar(2).setValue(9);
    EXPECT_EQ(linesWith(rig->trace, "Cam(1).SetImageConfig", from),
              (std::vector<std::string>{"Cam(1).SetImageConfig(2, 1, 30, 300, -5, 9, 60)"}));

    // Clicking again hides the panel.
    click(w, "ColorCtl");
    EXPECT_FALSE(w.ColorCtlOn);
    EXPECT_FALSE(w.colourPanel().isVisibleTo(&w));
    EXPECT_EQ(bitmapOf(w, "ColorCtl").toStdString(), hint(5, 1));
}

// The settings are read on the control's worker (mode 1) and the window waits for the read's end
// in a local event loop: the clock and the other windows go on, this window's inputs are off and
// the pointer is the hourglass. A panel closed, or a window closed, while the read runs stays so.
TEST_F(ViewWindowTest, TheSettingsAreReadOnTheControlsWorkerWhileTheWindowWaits)
{
    QPointer<ViewWindow> w = &open(1);
    bool reading = false;
    rig->cam(1).onMethod = [&](std::string_view member) { reading = reading || member == "GetImageConfig"; };
    // The camera answers a while after the call, as a real one does.
    rig->cam(1).endImageConfig = [this, &reading](std::int32_t status, const ImageSettings& values) {
        QTimer::singleShot(200, &readEvents, [this, &reading, status, values] {
            reading = false;
            rig->engine->onEndGetImageConfig(1, status, values.data());
        });
    };
    struct Seen
    {
        int ticks = 0;
        int enabled = 0;
        int otherPointer = 0;
    } seen;
    std::function<void()> duringRead;
    QTimer clock; // stands for every timer of the program
    clock.setInterval(10);
    QObject::connect(&clock, &QTimer::timeout, [&] {
        if (!reading || !w)
            return;
        ++seen.ticks;
        seen.enabled += w->isEnabled() ? 1 : 0;
        const QCursor* pointer = QApplication::overrideCursor();
        seen.otherPointer += pointer && pointer->shape() == Qt::WaitCursor ? 0 : 1;
        if (duringRead)
            std::exchange(duringRead, nullptr)();
    });
    clock.start();

    std::size_t from = rig->trace.lines.size();
    click(*w, "ColorCtl");
    EXPECT_GT(seen.ticks, 0) << "the program stood still during the read";
    EXPECT_EQ(seen.enabled, 0);
    EXPECT_EQ(seen.otherPointer, 0);
    EXPECT_EQ(linesWith(rig->trace, "Cam(1).GetImageConfig", from),
              std::vector<std::string>{"Cam(1).GetImageConfig(1, 0, 0, 0, 0, 0, 0, 0)"});
    EXPECT_TRUE(w->ColorCtlOn);
    EXPECT_TRUE(w->colourPanel().isVisibleTo(w));
    EXPECT_EQ(w->colourBar(1).value(), 32);
    EXPECT_TRUE(w->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(rig->messages.shown.empty());
    click(*w, "ColorCtl"); // hides

    // The camera is stopped while the read runs (the engine clears the flag and hides the panel):
    // the read's end shows nothing.
    duringRead = [&] {
        w->ColorCtlOn = false;
        w->ShowColorCtl_Fun();
    };
    click(*w, "ColorCtl");
    EXPECT_FALSE(w->ColorCtlOn);
    EXPECT_FALSE(w->colourPanel().isVisibleTo(w));
    EXPECT_TRUE(w->isEnabled());
    EXPECT_TRUE(rig->messages.shown.empty());

    // The window is closed while the read runs: it goes once the read's wait has returned.
    duringRead = [&] { w->close(); };
    click(*w, "ColorCtl");
    EXPECT_TRUE(rig->messages.shown.empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
    EXPECT_FALSE(state.WindowOpen[1]);
}

TEST_F(ViewWindowTest, TheColourPanelStaysHiddenWhenTheSettingsCannotBeRead)
{
    struct Case
    {
        const char* what;
        std::function<void()> arrange;
        bool reads;
        std::size_t message; // the ViewMessage shown
    };
    const Case cases[] = {
        {"the camera refuses the read", [this] { rig->cam(2).imageConfigResult = 0; }, true, 2},
        {"another read of the camera still runs", [this] { rig->cam(2).imageConfigStart = 0; }, true, 2},
        {"the read's end never comes", [this] { rig->cam(2).endImageConfig = nullptr; }, true, 2},
        {"a native camera without a MAC address", [this] { state.cam(2).MacAddress.clear(); }, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ViewWindow& w = open(2);
        c.arrange();
        rig->messages.shown.clear();
        const std::size_t from = rig->trace.lines.size();
        click(w, "ColorCtl");
        EXPECT_FALSE(w.ColorCtlOn);
        EXPECT_FALSE(w.colourPanel().isVisibleTo(&w));
        EXPECT_TRUE(w.isEnabled());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        ASSERT_EQ(rig->messages.shown.size(), 1u);
        EXPECT_EQ(rig->messages.shown[0], state.texts.ViewMessage[c.message]);
        EXPECT_EQ(linesWith(rig->trace, "Cam(2).GetImageConfig", from).size(), c.reads ? 1u : 0u);
        views->unloadView(2);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        rig->cam(2).imageConfigResult = -1;
        rig->cam(2).imageConfigStart = -1;
        viewtest::endImageReadsByEvent(*rig, &readEvents);
        state.cam(2).MacAddress = "0.1.2.3.4.2";
    }
    // The read failure has a text of its own: it is no refused setting.
    EXPECT_FALSE(state.texts.ViewMessage[2].empty());
    EXPECT_NE(state.texts.ViewMessage[2], state.texts.ViewMessage[1]);
}

TEST_F(ViewWindowTest, ButtonsRefusedByRecordingModeProtocolOrState)
{
    ViewWindow& w = open(1);
    struct Case
    {
        const char* what;
        int recordMode;
        int protocol;
        bool enabled;
        bool scan;
        bool rotates;
        bool colourOpens;
    };
    const Case cases[] = {
        {"plain native camera", 0, 0, true, false, true, true},
        {"recording mode on", 3, 0, true, false, false, false},
        {"Kestra camera", 0, 3, true, false, false, false},
        {"multipart camera", 0, 4, true, false, true, false},
        {"camera not enabled", 0, 0, false, false, false, false},
        {"slot 1 in scan mode", 0, 0, true, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CamInfo& ci = state.cam(1);
        ci.RecordMode = c.recordMode;
        ci.Protocol = c.protocol;
        ci.Enable = c.enabled;
        ci.RotateAngle = 0;
        state.ScanModeOn = c.scan;
        w.ColorCtlOn = false;
        click(w, "Rotate");
        EXPECT_EQ(ci.RotateAngle, c.rotates ? 90 : 0);
        const std::size_t mark = rig->trace.lines.size();
        click(w, "ColorCtl");
        EXPECT_EQ(w.ColorCtlOn, c.colourOpens);
        if (!c.enabled) { // the hide path, with its one-second pause
            EXPECT_NE(rig->trace.find("pause 1000", mark), std::string::npos);
        }
        // The refused buttons do not react to the mouse either.
        object(w, "Rotate").SetBitmap("Unchanged");
        w.SkinForm1_MouseIn(&object(w, "Rotate"));
        EXPECT_EQ(bitmapOf(w, "Rotate") == "Unchanged", c.recordMode != 0 || c.protocol == 3);
    }
    state.ScanModeOn = false;
    // Slot 2 does not look at scan mode.
    ViewWindow& two = open(2);
    state.ScanModeOn = true;
    click(two, "Rotate");
    EXPECT_EQ(state.cam(2).RotateAngle, 90);
}

TEST_F(ViewWindowTest, RotateFourTimesReturnsToZeroAndIsSavedInTheProfile)
{
    ViewWindow& w = open(2);
    const std::size_t from = rig->trace.lines.size();
    std::vector<int> angles;
    for (int i = 0; i < 4; ++i) {
        click(w, "Rotate");
        angles.push_back(state.cam(2).RotateAngle);
        EXPECT_EQ(bitmapOf(w, "Rotate").toStdString(), hint(8, 4));
    }
    EXPECT_EQ(angles, (std::vector<int>{90, 180, 270, 0}));
    EXPECT_EQ(linesWith(rig->trace, "Cam(2).RotateAngle = ", from),
              (std::vector<std::string>{"Cam(2).RotateAngle = 90", "Cam(2).RotateAngle = 180",
                                        "Cam(2).RotateAngle = 270", "Cam(2).RotateAngle = 0"}));
    // Any stored value of 270 or more becomes 0.
    state.cam(2).RotateAngle = 450;
    click(w, "Rotate");
    EXPECT_EQ(state.cam(2).RotateAngle, 0);

    // The angle goes into the profile with the rest of the camera record.
    click(w, "Rotate");
    click(w, "Rotate");
    click(w, "Rotate");
    std::string error;
    ASSERT_TRUE(SaveSetting(state, &error)) << error;
    AppState reread;
    reread.paths = state.paths;
    InitGlobals(reread, 1700000000);
    ASSERT_TRUE(LoadSetting(reread, &error)) << error;
    EXPECT_EQ(reread.cam(2).RotateAngle, 270);
}

TEST_F(ViewWindowTest, SnapshotAsksForANameAndHandsItToTheControlOrTheViewer)
{
    ViewWindow& w = open(1);
    const std::string file = (home.path() / "shot.jpg").string();
    chosenFile = file;
    std::size_t from = rig->trace.lines.size();
    click(w, "Snapshot");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].title, "Save Image");
    EXPECT_EQ(dialogs[0].folder, home.path().string());
    EXPECT_EQ(dialogs[0].filter, "JPEG Image (*.jpg)");
    EXPECT_EQ(dialogs[0].proposedName, "Temp.jpg");
    EXPECT_EQ(linesWith(rig->trace, "Cam(1).Capture", from),
              (std::vector<std::string>{"Cam(1).Capture(\"" + file + "\", 0)"}));

    // Cancel: nothing is asked of the control.
    chosenFile.reset();
    from = rig->trace.lines.size();
    click(w, "Snapshot");
    EXPECT_TRUE(linesWith(rig->trace, "Cam(1).Capture", from).empty());
    EXPECT_TRUE(rig->messages.shown.empty());

    // A Kestra camera: the viewer writes a BMP.
    state.cam(1).Protocol = kProtocolKestra;
    chosenFile = (home.path() / "shot.bmp").string();
    from = rig->trace.lines.size();
    click(w, "Snapshot");
    EXPECT_EQ(dialogs.back().filter, "BMP Image (*.bmp)");
    EXPECT_EQ(dialogs.back().proposedName, "Temp.bmp");
    EXPECT_NE(rig->trace.find("CamViewer1(1).snapshotToFile(" + *chosenFile + ")", from), std::string::npos);
    EXPECT_TRUE(linesWith(rig->trace, "Cam(1).Capture", from).empty());
}

TEST_F(ViewWindowTest, AudioSwitchesTheStreamOrTheViewer)
{
    ViewWindow& w = open(1);
    state.cam(1).Protocol = kProtocolMultipart;
    std::size_t from = rig->trace.lines.size();
    click(w, "Audio");
    EXPECT_TRUE(state.AudioOn[0]);
    click(w, "Audio");
    EXPECT_FALSE(state.AudioOn[0]);
    std::vector<std::string> calls = linesWith(rig->trace, "Cam(1).PlayMode", from);
    EXPECT_EQ(calls, (std::vector<std::string>{"Cam(1).PlayMode = 3", "Cam(1).PlayMode = 1"}));
    EXPECT_EQ(linesWith(rig->trace, "Cam(1).RunAudio()", from).size(), 2u);

    state.cam(1).Protocol = kProtocolKestra;
    state.CamCookie[0] = "1234";
    from = rig->trace.lines.size();
    click(w, "Audio");
    click(w, "Audio");
    EXPECT_NE(rig->trace.find("Cam(1).KestraAudioON(\"1234\")", from), std::string::npos);
    EXPECT_LT(rig->trace.find("Cam(1).KestraAudioON(\"1234\")", from),
              rig->trace.find("CamViewer1(1).audioOn()", from));
    EXPECT_NE(rig->trace.find("CamViewer1(1).audioOff()", from), std::string::npos);

    // Other protocols have no sound: the button does nothing and shows the absent image.
    state.cam(1).Protocol = kProtocolMjpegCgi;
    from = rig->trace.lines.size();
    click(w, "Audio");
    EXPECT_FALSE(state.AudioOn[0]);
    EXPECT_EQ(rig->trace.lines.size(), from);
    w.SkinForm1_MouseIn(&object(w, "Audio"));
    EXPECT_EQ(bitmapOf(w, "Audio").toStdString(), hint(10, 6));
    w.Form_Activate();
    EXPECT_TRUE(object(w, "Audio").HintText().isEmpty());
    EXPECT_EQ(object(w, "Snapshot").HintText().toStdString(), hint(7, 7));
}

TEST_F(ViewWindowTest, RecordGreyingFollowsTheModeAndProtocol)
{
    ViewWindow& w = open(1);
    struct Case
    {
        int recordMode;
        int protocol;
        bool audioOn;
        int colour, rotate, audio; // BtnStr index each object shows
    };
    const Case cases[] = {
        {0, 0, false, 1, 1, 6}, {0, 2, true, 1, 1, 6},  {0, 4, false, 5, 1, 3}, {0, 4, true, 5, 1, 2},
        {0, 3, false, 5, 5, 3}, {0, 3, true, 5, 5, 2},  {1, 3, false, 5, 5, 5}, {2, 4, true, 5, 5, 5},
        {3, 0, false, 5, 5, 6}, {1, 1, false, 5, 5, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.recordMode) + "/" + std::to_string(c.protocol) + "/" +
                     std::to_string(c.audioOn));
        state.cam(1).RecordMode = c.recordMode;
        state.cam(1).Protocol = c.protocol;
        state.AudioOn[0] = c.audioOn;
        w.RecordGrayBTN();
        EXPECT_EQ(bitmapOf(w, "ColorCtl").toStdString(), hint(5, c.colour));
        EXPECT_EQ(bitmapOf(w, "Rotate").toStdString(), hint(8, c.rotate));
        EXPECT_EQ(bitmapOf(w, "Audio").toStdString(), hint(10, c.audio));
    }

    // A recording mode closes an open colour panel first.
    state.cam(1).RecordMode = kRecordNone;
    state.cam(1).Protocol = kProtocolNative;
    click(w, "ColorCtl");
    ASSERT_TRUE(w.colourPanel().isVisibleTo(&w));
    state.cam(1).RecordMode = kRecordManual;
    w.RecordGrayBTN();
    EXPECT_FALSE(w.ColorCtlOn);
    EXPECT_FALSE(w.colourPanel().isVisibleTo(&w));
    EXPECT_EQ(bitmapOf(w, "ColorCtl").toStdString(), hint(5, 5));
}

TEST_F(ViewWindowTest, OnTopWakeUpAndTheEditionsStatusButtons)
{
    ViewWindow& w = open(2);
    click(w, "OnTop");
    EXPECT_TRUE(state.OnTopFlags[1]);
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(bitmapOf(w, "OnTop").toStdString(), hint(3, 2));
    w.SkinForm1_MouseOut(&object(w, "OnTop"));
    EXPECT_EQ(bitmapOf(w, "OnTop").toStdString(), hint(3, 2)); // latched
    click(w, "OnTop");
    EXPECT_FALSE(state.OnTopFlags[1]);
    EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(bitmapOf(w, "OnTop").toStdString(), hint(3, 4));

    click(w, "WakeUp");
    EXPECT_EQ(wakeUps, 1);
    EXPECT_EQ(bitmapOf(w, "WakeUp").toStdString(), hint(4, 4));

    // The edition that asks for the camera's password shows the colour button only after it.
    state.Language = "DravonetTC";
    w.RefrushStatusBar();
    EXPECT_EQ(object(w, "ColorCtl").Transparency(), 255);
    EXPECT_EQ(object(w, "LBtnSet").Span(), 62);
    click(w, "ColorCtl");
    EXPECT_FALSE(w.ColorCtlOn);
    state.cam(2).PasswordChecked = true;
    w.RefrushStatusBar();
    EXPECT_EQ(object(w, "ColorCtl").Transparency(), 0);
    EXPECT_EQ(object(w, "LBtnSet").Span(), 84);
}

// x2.5 on a 352 x 240 frame in a 640 x 480 client area, then a drag with the mouse.
TEST_F(ViewWindowTest, ZoomToolsSizeAndCentreThePictureAndADragIsClamped)
{
    ViewWindow& w = open(1);
    resizeClient(w, QSize(640, 480));
    EXPECT_EQ(w.picture().geometry(), QRect(0, 0, 640, 480)); // Fit Window follows the resize
    // Before the first frame the control knows no size: the picture shrinks to the centre.
    w.ApplyZoomTool("ID_x2", 1);
    EXPECT_EQ(w.picture().geometry(), QRect(320, 240, 0, 0));
    rig->cam(1).props["ImageWidth"] = Variant::i4(352);
    rig->cam(1).props["ImageHeight"] = Variant::i4(240);

    QAction* x25 = w.toolBar().tool("ID_x2.5");
    ASSERT_NE(x25, nullptr);
    x25->trigger(); // pressing it releases Fit Window
    EXPECT_EQ(w.toolBar().ToolState("ID_FitWindow"), 0);
    EXPECT_EQ(w.zoom().picture(), (PictureRect{-120, -60, 880, 600}));
    EXPECT_EQ(w.picture().geometry(), QRect(-120, -60, 880, 600));
    EXPECT_EQ(rig->cam(1).get(IntProp::PreviewWidth), 880);
    EXPECT_EQ(rig->cam(1).get(IntProp::PreviewHeight), 600);

    // The mouse: the hand over a picture that can be dragged, the four-headed arrow while dragging.
    auto send = [&](QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent e(type, pos, w.picture().mapToGlobal(pos), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(&w.picture(), &e);
    };
    send(QEvent::MouseMove, {300, 300}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(w.picture().cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(w.picture().cursor().hotSpot(), kHandCursorHotSpot);
    EXPECT_EQ(w.picture().cursor().pixmap().size(), QSize(kHandCursorSize, kHandCursorSize));
    EXPECT_TRUE(w.picture().cursor().pixmap().save(
        QString::fromStdString((viewScreenshots() / "hand-cursor.png").string())));
    send(QEvent::MouseButtonPress, {300, 300}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(w.picture().cursor().shape(), Qt::SizeAllCursor);
    send(QEvent::MouseMove, {350, 330}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(w.picture().geometry().topLeft(), QPoint(-70, -30));
    send(QEvent::MouseMove, {1000, 1000}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(w.picture().geometry().topLeft(), QPoint(0, 0));
    send(QEvent::MouseMove, {-1000, -1000}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(w.picture().geometry().topLeft(), QPoint(-240, -120));
    // Left and right held together: the picture stays.
    send(QEvent::MouseMove, {400, 400}, Qt::NoButton, Qt::LeftButton | Qt::RightButton);
    EXPECT_EQ(w.picture().geometry().topLeft(), QPoint(-240, -120));
    send(QEvent::MouseButtonRelease, {400, 400}, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(w.picture().cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(w.zoom().panActive());
    saveShot(w, "view-zoomed.png");

    // A resize re-centres the zoomed picture; the pan is not kept.
    resizeClient(w, QSize(500, 400));
    EXPECT_EQ(w.picture().geometry(), QRect(-190, -100, 880, 600));

    // "Zoom" opens the zoom menu.
    click(w, "Zoom");
    ASSERT_NE(w.toolBar().menu("ID_ZoomMenu"), nullptr);
    EXPECT_TRUE(w.toolBar().menu("ID_ZoomMenu")->isVisible());
    w.toolBar().menu("ID_ZoomMenu")->hide();

    // Every zoom tool's size, from frames with an odd height.
    const struct
    {
        const char* tool;
        int frameHeight;
        int height;
    } cases[] = {{"ID_x1", 241, 241},   {"ID_x1.5", 241, 362}, {"ID_x1.5", 243, 364}, {"ID_x2", 241, 482},
                 {"ID_x2.5", 241, 602}, {"ID_x3", 241, 723},   {"ID_x3.5", 241, 844}, {"ID_x4", 243, 972}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tool);
        rig->cam(1).props["ImageHeight"] = Variant::i4(c.frameHeight);
        w.ApplyZoomTool(c.tool, 1);
        EXPECT_EQ(rig->cam(1).get(IntProp::PreviewHeight), c.height);
        EXPECT_EQ(w.picture().height(), c.height);
    }
    // A tool released by the click changes nothing.
    const QRect before = w.picture().geometry();
    w.ApplyZoomTool("ID_x4", 0);
    w.ApplyZoomTool("ID_FitWindow", 0);
    EXPECT_EQ(w.picture().geometry(), before);
    // Fit Window: the client area, no drag.
    w.ApplyZoomTool("ID_FitWindow", 1);
    EXPECT_EQ(w.picture().geometry(), QRect(QPoint(0, 0), w.clientSize()));
}

TEST_F(ViewWindowTest, AKestraCameraZoomsOnTheViewersPictureSize)
{
    state.cam(1).Protocol = kProtocolKestra;
    ViewWindow& w = open(1);
    const std::size_t from = rig->trace.lines.size();
    w.ApplyZoomTool("ID_x1.5", 1); // the fake viewer's picture is 640 x 480
    const std::string handle = std::to_string(w.pictureHandle());
    const std::size_t prepare = rig->trace.find("CamViewer1(1).prepare(SIZE, 12)", from);
    const std::size_t attach = rig->trace.find("CamViewer1(1).attachWindow(" + handle + ", 960, 720)", from);
    EXPECT_NE(prepare, std::string::npos);
    EXPECT_NE(attach, std::string::npos);
    EXPECT_LT(prepare, attach);
    EXPECT_EQ(w.picture().geometry(), QRect(-320, -240, 960, 720));
    w.ApplyZoomTool("ID_FitWindow", 1);
    EXPECT_NE(rig->trace.find("CamViewer1(1).attachWindow(" + handle + ", 320, 240)", attach),
              std::string::npos);
}

TEST_F(ViewWindowTest, ClosingUnbindsThePictureAndTheLastWindowEndsTheProgram)
{
    ViewWindow& w = open(2);
    const std::int32_t handle = w.pictureHandle();
    rig->cam(2).props["PreviewhWnd"] = Variant::i4(handle);
    click(w, "OnTop");
    const std::size_t from = rig->trace.lines.size();
    views->unloadView(2);
    EXPECT_FALSE(state.WindowOpen[2]);
    EXPECT_FALSE(state.OnTopFlags[1]);
    EXPECT_NE(rig->trace.find("Cam(2).DrawImage = False", from), std::string::npos);
    EXPECT_NE(rig->trace.find("Cam(2).PreviewhWnd = 0", from), std::string::npos);
    EXPECT_NE(rig->trace.find("Cam(2).PreviewDC = 0", from), std::string::npos);
    EXPECT_EQ(lastClosed, 0); // the control panel is still open
    EXPECT_FALSE(views->viewExists(2));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // A window whose control has been given another target leaves that target alone.
    ViewWindow& again = open(2);
    EXPECT_NE(again.pictureHandle(), handle);
    rig->cam(2).props["PreviewhWnd"] = Variant::i4(5000);
    state.WindowOpen[0] = false;
    std::size_t mark = rig->trace.lines.size();
    again.close();
    EXPECT_EQ(rig->trace.find("Cam(2).PreviewhWnd = 0", mark), std::string::npos);
    EXPECT_EQ(lastClosed, 1); // no main window is open any more
}

TEST_F(ViewWindowTest, AWindowClosedDuringItsWaitEndsTheProcedureSafely)
{
    QPointer<ViewWindow> w = &open(1);
    click(*w, "ColorCtl");
    ASSERT_TRUE(w->ColorCtlOn);
    const std::size_t from = rig->trace.lines.size();
    onPause = [&](int ms) {
        if (ms != 2000 || !w)
            return;
        w->close(); // the user closes the window while it waits
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(w) << "destroyed under the waiting handler";
    };
    w->colourBar(0).triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(linesWith(rig->trace, "Cam(1).SetImageConfig", from).size(), 1u);
    EXPECT_TRUE(linesWith(rig->trace, "Cam(1).Run", from).empty());
    onPause = nullptr;
    ASSERT_TRUE(w) << "destroyed under the scroll bar's signal";
    // The test body runs outside any event: the deferred deletion is run by hand here.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
    EXPECT_FALSE(state.WindowOpen[1]);
}

// Scan mode unloads the view windows and takes their pictures; leaving it loads the windows of
// the enabled cameras again, which bind new pictures and draw once activated.
TEST_F(ViewWindowTest, ScanModeTakesThePicturesAndGivesThemBack)
{
    const std::int32_t before = open(1).pictureHandle();
    open(2);
    state.cam(3).Enable = false;
    state.cam(4).Enable = false;
    rig->engine->ScanMode();
    EXPECT_FALSE(views->viewExists(1));
    EXPECT_FALSE(views->viewExists(2));
    EXPECT_FALSE(state.WindowOpen[1]);
    EXPECT_FALSE(rig->cam(1).get(BoolProp::DrawImage));
    EXPECT_EQ(rig->cam(1).get(IntProp::PreviewhWnd), rig->engine->hiddenPicture()); // parked
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    rig->engine->ScanModeToNormalMode();
    EXPECT_FALSE(views->viewExists(3));
    EXPECT_FALSE(views->viewExists(4));
    for (int n = 1; n <= 2; ++n) {
        SCOPED_TRACE(n);
        ViewWindow* w = views->window(n);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(state.WindowOpen[static_cast<std::size_t>(n)]);
        EXPECT_EQ(rig->cam(n).get(IntProp::PreviewhWnd), w->pictureHandle());
        EXPECT_EQ(rig->cam(n).get(IntProp::PreviewWidth), w->clientSize().width());
        if (w->FirstActivate)
            w->Form_Activate();
        EXPECT_TRUE(rig->cam(n).get(BoolProp::DrawImage));
    }
    EXPECT_NE(views->window(1)->pictureHandle(), before);
}

} // namespace
