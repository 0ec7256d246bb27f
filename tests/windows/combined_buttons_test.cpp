// The combined window's colour panel and skin buttons, and the scan window's buttons, over the
// engine's recording fakes, offscreen: the panel reads the current camera's image settings and
// writes all seven back once per change, the buttons follow the current camera's state, and
// rotation, snapshot, sound, on top and wake-up reach the right camera. The shipped English pack
// provides the skins and the button table.
#include "../app_skin/qt_test_support.h"
#include "engine_fakes.h"
#include "views_only.h"

#include "app/skin/skin_form.h"
#include "app/skin/skin_label.h"
#include "app/skin/skin_object.h"
#include "app/windows/colour_panel.h"
#include "app/windows/combined_windows.h"
#include "app/windows/scan_window.h"

#include <QPointer>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace enginetest;

namespace {

using viewtest::linesWith;

class CombinedButtonsTest : public ::testing::Test
{
protected:
    CombinedButtonsTest() : home("combined-buttons")
    {
        testApp();
        EXPECT_TRUE(viewtest::fourCamerasState(state, home.path()));
        rig = std::make_unique<EngineRig>(state, 1700000000);
        CombinedServices sv;
        sv.state = &state;
        sv.engine = rig->engine.get();
        sv.messages = &rig->messages;
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
        combined = std::make_unique<CombinedWindows>(sv);
        viewtest::endImageReadsByEvent(*rig, &readEvents);
    }

    ~CombinedButtonsTest() override
    {
        combined.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    CombinedWindow& open(int current)
    {
        state.CurCam = current;
        combined->showCombined();
        CombinedWindow& w = *combined->window();
        if (w.FirstActivate)
            w.Form_Activate();
        return w;
    }
    SkinObject& object(CombinedWindow& w, const char* name) { return w.skin().RootObject().FindObject(name); }
    void click(CombinedWindow& w, const char* name) { w.SkinForm1_ObjectClick(&object(w, name)); }
    std::string bitmapOf(CombinedWindow& w, const char* name)
    {
        return object(w, name).BitmapName().toStdString();
    }
    const std::string& image(int row, int k) const
    {
        return state.HintTable[static_cast<std::size_t>(row)].BtnStr[static_cast<std::size_t>(k)];
    }
    bool panelShown(CombinedWindow& w, int slot) { return w.colourPanel(slot).isVisibleTo(&w); }

    TestFolder home;
    AppState state;
    std::unique_ptr<EngineRig> rig;
    std::unique_ptr<CombinedWindows> combined;
    std::function<void(int)> onPause;
    std::vector<SnapshotDialog> dialogs;
    std::optional<std::string> chosenFile;
    int wakeUps = 0;
    QObject readEvents; // the fakes' read completions arrive while it lives
};

TEST_F(CombinedButtonsTest, ColourPanelFillsFromTheCameraAndOneReleaseWritesAllSevenSettings)
{
    CombinedWindow& w = open(2);
    rig->cam(2).imageConfig = {2, 1, 30, 64, 32, -5, 60};
    std::size_t from = rig->trace.lines.size();
    click(w, "ColorCtl");
    EXPECT_TRUE(w.ColorPanelShown);
    EXPECT_TRUE(panelShown(w, 2));
    for (int other : {1, 3, 4})
        EXPECT_FALSE(panelShown(w, other)) << other;
    // The native camera is addressed by its MAC first; the read runs on the control's worker.
    EXPECT_EQ(rig->trace.find("Cam(2).MACAddress = \"0.1.2.3.4.2\"", from), from);
    EXPECT_EQ(linesWith(rig->trace, "Cam(2).GetImageConfig", from),
              std::vector<std::string>{"Cam(2).GetImageConfig(1, 0, 0, 0, 0, 0, 0, 0)"});
    EXPECT_NE(rig->trace.find("pause 1000", from), std::string::npos);
    ColourPanel& panel = w.colourPanel(2);
    EXPECT_EQ(panel.bar(0).value(), 64);
    EXPECT_EQ(panel.bar(1).value(), 32);
    EXPECT_EQ(panel.bar(2).value(), 0); // -5 is below the bar's range
    EXPECT_EQ(panel.valueLabel(0).Caption(), " 64");
    EXPECT_EQ(panel.valueLabel(2).Caption(), "-5");
    EXPECT_EQ(bitmapOf(w, "ColorCtl"), image(5, 2));
    EXPECT_TRUE(linesWith(rig->trace, "Cam(2).SetImageConfig", from).empty()); // filling writes nothing
    EXPECT_TRUE(linesWith(rig->trace, "Cam(2).Stop", from).empty());

    // Dragging the thumb writes nothing; letting it go writes the seven settings once, restarts
    // the camera, and then the window waits two seconds with its inputs off.
    QScrollBar& contrast = panel.bar(1);
    from = rig->trace.lines.size();
    bool disabledWhileWaiting = false;
    onPause = [&](int) { disabledWhileWaiting = !w.isEnabled(); };
    contrast.setSliderDown(true);
    for (int v : {40, 50, 77})
        contrast.setSliderPosition(v);
    EXPECT_TRUE(linesWith(rig->trace, "Cam(2).SetImageConfig", from).empty());
    contrast.setSliderDown(false);
    const auto sets = linesWith(rig->trace, "Cam(2).SetImageConfig", from);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0], "Cam(2).SetImageConfig(2, 1, 30, 64, 77, -5, 60)");
    const std::size_t set = rig->trace.find(sets[0], from);
    const std::size_t stop = rig->trace.find("Cam(2).Stop()", from);
    const std::size_t run = rig->trace.find("Cam(2).Run()", from);
    const std::size_t pause = rig->trace.find("pause 2000", from);
    EXPECT_LT(set, stop);
    EXPECT_LT(stop, run);
    EXPECT_LT(run, pause);
    EXPECT_NE(pause, std::string::npos);
    EXPECT_TRUE(disabledWhileWaiting);
    EXPECT_TRUE(w.isEnabled());
    EXPECT_EQ(panel.valueLabel(1).Caption(), " 77");
    EXPECT_TRUE(linesWith(rig->trace, "Cam(1).SetImageConfig", from).empty());

    // The window filling its own bars writes nothing.
    from = rig->trace.lines.size();
    w.Updating[1] = true;
    panel.bar(0).setValue(10);
    w.Updating[1] = false;
    EXPECT_TRUE(linesWith(rig->trace, "Cam(2).SetImageConfig", from).empty());

    // A camera of another protocol needs no MAC address and is not restarted.
    state.cam(2).Protocol = kProtocolVideoCgi;
    state.cam(2).MacAddress.clear();
    click(w, "ColorCtl"); // hides: the pointer-over image, a one-second wait
    EXPECT_FALSE(panelShown(w, 2));
    EXPECT_EQ(bitmapOf(w, "ColorCtl"), image(5, 4));
    click(w, "ColorCtl");
    ASSERT_TRUE(w.ColorPanelShown);
    from = rig->trace.lines.size();
    panel.bar(2).triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(linesWith(rig->trace, "Cam(2).SetImageConfig", from),
              std::vector<std::string>{"Cam(2).SetImageConfig(2, 1, 30, 64, 32, 1, 60)"});
    EXPECT_TRUE(linesWith(rig->trace, "Cam(2).Stop", from).empty());

    // At 640 x 480 the panel sits at the bottom left of pane 2, inside its frame.
    const QSize size = QSize(640, 480) + (w.size() - w.clientSize());
    w.resize(size);
    QCoreApplication::processEvents();
    w.skin().setGeometry(QRect(QPoint(0, 0), size));
    QCoreApplication::processEvents();
    ASSERT_EQ(w.size(), size);
    ASSERT_EQ(w.clientSize(), QSize(640, 480));
    EXPECT_EQ(panel.geometry(),
              QRect(3, 240 - 3 - ColourPanel::kHeight, ColourPanel::kWidth, ColourPanel::kHeight));
    EXPECT_TRUE(panelShown(w, 2));
    EXPECT_TRUE(w.grab().toImage().save(
        QString::fromStdString((screenshotFolder() / "combined-colour-panel.png").string()), "PNG"));
}

// The panel fits inside its pane's frame whatever the pane's size: in a small pane the bars get
// shorter, every caption, bar and value stays whole and in sight, and a click on a bar still
// writes the settings.
TEST_F(CombinedButtonsTest, TheColourPanelFitsInsideSmallPanes)
{
    CombinedWindow& w = open(1);
    click(w, "ColorCtl");
    ASSERT_TRUE(w.ColorPanelShown);
    ColourPanel& panel = w.colourPanel(1);
    for (const QSize client : {QSize(640, 480), QSize(320, 240), QSize(400, 240)}) {
        const QSize size = client + (w.size() - w.clientSize());
        w.resize(size);
        QCoreApplication::processEvents();
        w.skin().setGeometry(QRect(QPoint(0, 0), size));
        QCoreApplication::processEvents();
        ASSERT_EQ(w.clientSize(), client);
        const QWidget& pane = *panel.parentWidget();
        ASSERT_EQ(pane.size(), client / 2);
        const QRect inside = pane.rect().adjusted(3, 3, -3, -3);
        EXPECT_TRUE(inside.contains(panel.geometry()))
            << client.width() << "x" << client.height() << ": " << panel.geometry().x() << ","
            << panel.geometry().y() << " " << panel.width() << "x" << panel.height();
        EXPECT_EQ(panel.geometry().bottomLeft(), inside.bottomLeft());
        EXPECT_EQ(panel.width(), std::min(ColourPanel::kWidth, inside.width()));
        for (int i = 0; i < 3; ++i) {
            for (const QWidget* part : {static_cast<const QWidget*>(&panel.bar(i)),
                                        static_cast<const QWidget*>(&panel.valueLabel(i))}) {
                const QRect r(part->mapTo(&panel, QPoint(0, 0)), part->size());
                EXPECT_TRUE(panel.rect().contains(r)) << client.width() << " row " << i;
            }
            EXPECT_GE(panel.bar(i).width(), 40) << client.width();
        }
        // Captions and values show their whole texts (drawn 3 pixels inside the label's sides).
        for (const SkinLabel* label : panel.findChildren<SkinLabel*>())
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->Caption()), label->width() - 6)
                << client.width() << " " << label->Caption().toStdString();
        EXPECT_TRUE(w.grab().toImage().save(
            QString::fromStdString(
                (screenshotFolder() / ("combined-colour-panel-" + std::to_string(client.width()) + "x" +
                                       std::to_string(client.height()) + ".png"))
                    .string()),
            "PNG"));
    }
    // A click on the short bar's right end steps the brightness and writes the settings.
    const int before = panel.bar(0).value();
    const std::size_t from = rig->trace.lines.size();
    QScrollBar& bar = panel.bar(0);
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(bar.width() - 3, bar.height() / 2));
    EXPECT_GT(bar.value(), before);
    EXPECT_EQ(linesWith(rig->trace, "Cam(1).SetImageConfig", from).size(), 1u);
}

TEST_F(CombinedButtonsTest, AWindowClosedDuringItsWaitEndsTheProcedureSafely)
{
    CombinedWindow& w = open(1);
    click(w, "ColorCtl");
    ASSERT_TRUE(w.ColorPanelShown);
    QPointer<CombinedWindow> window(&w);
    QScrollBar& bar = w.colourPanel(1).bar(0);
    // The user closes the window while it waits after writing the settings.
    onPause = [this](int) {
        combined->unloadCombined();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    const std::size_t from = rig->trace.lines.size();
    bar.triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(linesWith(rig->trace, "Cam(1).SetImageConfig", from).size(), 1u);
    EXPECT_FALSE(state.WindowOpen[5]);
    EXPECT_TRUE(window); // not destroyed under its own handler
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    onPause = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(window);
    EXPECT_EQ(combined->window(), nullptr);
}

TEST_F(CombinedButtonsTest, TheColourPanelStaysClosedWhenRefusedOrUnreadable)
{
    struct Case
    {
        const char* what;
        std::function<void()> arrange;
        bool reads;
        int message; // ViewMessage index of the box shown, -1 for none
    };
    const Case cases[] = {
        {"the camera refuses the read", [this] { rig->cam(1).imageConfigResult = 0; }, true, 2},
        {"the read fails",
         [this] {
             state.cam(1).Protocol = kProtocolVideoCgi; // no MAC address call before the read
             rig->cam(1).failNext = true;
         },
         false, 2},
        {"a native camera without a MAC address", [this] { state.cam(1).MacAddress.clear(); }, false, 1},
        {"a recording mode is on", [this] { state.cam(1).RecordMode = kRecordSchedule; }, false, -1},
        {"a Kestra camera", [this] { state.cam(1).Protocol = kProtocolKestra; }, false, -1},
        {"a multipart camera", [this] { state.cam(1).Protocol = kProtocolMultipart; }, false, -1},
        {"the camera is not enabled", [this] { state.cam(1).Enable = false; }, false, -1},
        {"the edition asks for the password first", [this] { state.Language = "DravonetTC"; }, false, -1},
    };
    CombinedWindow& w = open(1);
    const CamInfo saved = state.cam(1);
    const std::string language = state.Language;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange();
        rig->messages.shown.clear();
        const std::size_t from = rig->trace.lines.size();
        click(w, "ColorCtl");
        EXPECT_FALSE(w.ColorPanelShown);
        EXPECT_FALSE(panelShown(w, 1));
        EXPECT_EQ(rig->messages.shown.size(), c.message >= 0 ? 1u : 0u);
        if (c.message >= 0 && !rig->messages.shown.empty()) {
            EXPECT_EQ(rig->messages.shown[0], state.texts.ViewMessage[static_cast<std::size_t>(c.message)]);
        }
        EXPECT_EQ(rig->trace.find("Cam(1).GetImageConfig(1, 0, 0, 0, 0, 0, 0, 0)", from) != std::string::npos,
                  c.reads);
        EXPECT_TRUE(linesWith(rig->trace, "Cam(1).SetImageConfig", from).empty());
        state.cam(1) = saved;
        state.Language = language;
        rig->cam(1).imageConfigResult = -1;
        rig->cam(1).failNext = false;
    }
    // The edition's colour button works once the camera's password was checked.
    state.Language = "DravonetTC";
    w.RefrushClrCtlBtn(1);
    EXPECT_EQ(object(w, "ColorCtl").Transparency(), 255);
    EXPECT_EQ(object(w, "LBtnSet").Span(), 62);
    state.cam(1).PasswordChecked = true;
    w.RefrushClrCtlBtn(1);
    EXPECT_EQ(object(w, "ColorCtl").Transparency(), 0);
    EXPECT_EQ(object(w, "LBtnSet").Span(), 84);
    click(w, "ColorCtl");
    EXPECT_TRUE(w.ColorPanelShown);
}

TEST_F(CombinedButtonsTest, AnotherCurrentCameraClosesThePanelOfTheOldPane)
{
    CombinedWindow& w = open(1);
    click(w, "ColorCtl");
    ASSERT_TRUE(panelShown(w, 1));
    w.selectPane(3);
    EXPECT_EQ(state.CurCam, 3);
    EXPECT_FALSE(w.ColorPanelShown);
    for (int n = 1; n <= 4; ++n)
        EXPECT_FALSE(panelShown(w, n)) << n;

    // The control panel's call before it changes the camera: only a different camera closes it.
    click(w, "ColorCtl");
    ASSERT_TRUE(panelShown(w, 3));
    w.RefrushShowClrCtl(3);
    EXPECT_TRUE(panelShown(w, 3));
    w.RefrushShowClrCtl(4);
    EXPECT_FALSE(panelShown(w, 3));
    EXPECT_FALSE(w.ColorPanelShown);

    // A panel left open on a pane that stopped being current unseen goes with the next hide.
    click(w, "ColorCtl");
    ASSERT_TRUE(panelShown(w, 3));
    state.CurCam = 2;
    click(w, "ColorCtl");
    EXPECT_FALSE(panelShown(w, 3));
}

TEST_F(CombinedButtonsTest, RotateStepsTheCurrentCameraAndIsRefusedWhereItCannotRotate)
{
    CombinedWindow& w = open(3);
    std::size_t from = rig->trace.lines.size();
    std::vector<int> angles;
    for (int i = 0; i < 5; ++i) {
        click(w, "Rotate");
        angles.push_back(state.cam(3).RotateAngle);
    }
    EXPECT_EQ(angles, (std::vector<int>{90, 180, 270, 0, 90}));
    EXPECT_EQ(linesWith(rig->trace, "Cam(3).RotateAngle = ", from),
              (std::vector<std::string>{"Cam(3).RotateAngle = 90", "Cam(3).RotateAngle = 180",
                                        "Cam(3).RotateAngle = 270", "Cam(3).RotateAngle = 0",
                                        "Cam(3).RotateAngle = 90"}));
    EXPECT_TRUE(linesWith(rig->trace, "Cam(1).RotateAngle", from).empty());
    state.cam(3).RotateAngle = 450; // any stored value of 270 or more starts again at 0
    click(w, "Rotate");
    EXPECT_EQ(state.cam(3).RotateAngle, 0);

    struct Case
    {
        const char* what;
        std::function<void(CamInfo&)> arrange;
    };
    const Case refused[] = {
        {"recording mode on", [](CamInfo& c) { c.RecordMode = kRecordManual; }},
        {"Kestra camera", [](CamInfo& c) { c.Protocol = kProtocolKestra; }},
        {"not enabled", [](CamInfo& c) { c.Enable = false; }},
        {"not assigned", [](CamInfo& c) { c.Assign = false; }},
    };
    const CamInfo saved = state.cam(3);
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        c.arrange(state.cam(3));
        from = rig->trace.lines.size();
        click(w, "Rotate");
        EXPECT_EQ(state.cam(3).RotateAngle, 0);
        EXPECT_TRUE(linesWith(rig->trace, "Cam(3).RotateAngle", from).empty());
        state.cam(3) = saved;
    }
}

// The dialog and the Kestra camera's picture are the view window's own snapshot (shared, tested
// there); here: which camera writes, and when the button works.
TEST_F(CombinedButtonsTest, SnapshotAsksForANameAndTheCurrentCameraWritesIt)
{
    CombinedWindow& w = open(4);
    const std::string file = (home.path() / "pane4.jpg").string();
    chosenFile = file;
    std::size_t from = rig->trace.lines.size();
    click(w, "Snapshot");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].proposedName, "Temp.jpg");
    EXPECT_EQ(linesWith(rig->trace, "Cam(", from),
              std::vector<std::string>{"Cam(4).Capture(\"" + file + "\", 0)"});

    // A recording mode does not stop a snapshot; a camera that is not enabled gets no dialog.
    state.cam(4).RecordMode = kRecordMotion;
    from = rig->trace.lines.size();
    click(w, "Snapshot");
    EXPECT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(linesWith(rig->trace, "Cam(4).Capture", from).size(), 1u);
    state.cam(4).RecordMode = kRecordNone;
    state.cam(4).Enable = false;
    from = rig->trace.lines.size();
    click(w, "Snapshot");
    EXPECT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(rig->trace.lines.size(), from);
}

TEST_F(CombinedButtonsTest, AudioSwitchesTheCurrentCamerasSoundWhereItHasSound)
{
    CombinedWindow& w = open(2);
    state.cam(2).Protocol = kProtocolMultipart;
    std::size_t from = rig->trace.lines.size();
    click(w, "Audio");
    EXPECT_TRUE(state.AudioOn[1]);
    click(w, "Audio");
    EXPECT_FALSE(state.AudioOn[1]);
    EXPECT_EQ(linesWith(rig->trace, "Cam(2).", from),
              (std::vector<std::string>{"Cam(2).PlayMode = 3", "Cam(2).RunAudio()", "Cam(2).PlayMode = 1",
                                        "Cam(2).RunAudio()"}));

    state.cam(2).Protocol = kProtocolKestra;
    state.CamCookie[1] = "77";
    from = rig->trace.lines.size();
    click(w, "Audio");
    click(w, "Audio");
    const std::size_t on = rig->trace.find("Cam(2).KestraAudioON(\"77\")", from);
    EXPECT_NE(on, std::string::npos);
    EXPECT_LT(on, rig->trace.find("CamViewer1(2).audioOn()", from));
    EXPECT_NE(rig->trace.find("CamViewer1(2).audioOff()", from), std::string::npos);

    struct Case
    {
        const char* what;
        std::function<void(CamInfo&)> arrange;
    };
    const Case refused[] = {
        {"a camera without sound", [](CamInfo& c) { c.Protocol = kProtocolNative; }},
        {"recording mode on", [](CamInfo& c) { c.RecordMode = kRecordManual; }},
        {"not enabled", [](CamInfo& c) { c.Enable = false; }},
    };
    const CamInfo saved = state.cam(2);
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        c.arrange(state.cam(2));
        from = rig->trace.lines.size();
        click(w, "Audio");
        EXPECT_FALSE(state.AudioOn[1]);
        EXPECT_EQ(rig->trace.lines.size(), from);
        state.cam(2) = saved;
    }
}

TEST_F(CombinedButtonsTest, OnTopAndWakeUp)
{
    CombinedWindow& w = open(1);
    click(w, "OnTop");
    EXPECT_TRUE(state.OnTopFlags[5]);
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(bitmapOf(w, "OnTop"), image(3, 2));
    w.SkinForm1_MouseOut(&object(w, "OnTop"));
    EXPECT_EQ(bitmapOf(w, "OnTop"), image(3, 2)); // latched
    for (int k = 0; k < 5; ++k)
        EXPECT_FALSE(state.OnTopFlags[static_cast<std::size_t>(k)]);
    click(w, "OnTop");
    EXPECT_FALSE(state.OnTopFlags[5]);
    EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(bitmapOf(w, "OnTop"), image(3, 4));
    w.SkinForm1_MouseOut(&object(w, "OnTop"));
    EXPECT_EQ(bitmapOf(w, "OnTop"), image(3, 3));

    click(w, "WakeUp");
    EXPECT_EQ(wakeUps, 1);
    EXPECT_EQ(bitmapOf(w, "WakeUp"), image(4, 4));

    // Closing takes the window off the top.
    click(w, "OnTop");
    w.close();
    EXPECT_FALSE(state.OnTopFlags[5]);
}

TEST_F(CombinedButtonsTest, RecordGreyingFollowsTheCurrentCamerasModeAndProtocol)
{
    CombinedWindow& w = open(1);
    const CamInfo saved = state.cam(1);
    struct Case
    {
        int recordMode;
        bool enabled;
        int protocol;
        bool audioOn;
        // Images of ColorCtl, Event, Snapshot, Rotate, Zoom (entry 9; 0 left as it was), Audio.
        std::array<int, 6> images;
    };
    const Case cases[] = {
        {1, true, 0, false, {5, 1, 1, 5, 0, 6}},  {2, true, 4, true, {5, 1, 1, 5, 0, 5}},
        {3, false, 3, false, {5, 1, 1, 5, 0, 5}}, {0, false, 0, false, {5, 5, 5, 5, 5, 6}},
        {0, false, 4, true, {5, 5, 5, 5, 5, 6}},  {0, true, 0, false, {1, 1, 1, 1, 0, 6}},
        {0, true, 2, true, {1, 1, 1, 1, 0, 6}},   {0, true, 4, false, {5, 1, 1, 1, 0, 3}},
        {0, true, 4, true, {5, 1, 1, 1, 0, 2}},   {0, true, 3, false, {5, 1, 1, 5, 0, 3}},
        {0, true, 3, true, {5, 1, 1, 5, 0, 2}},
    };
    const char* names[6] = {"ColorCtl", "Event", "Snapshot", "Rotate", "Zoom", "Audio"};
    const int rows[6] = {5, 6, 7, 8, 9, 10};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.recordMode) + "/" + std::to_string(c.enabled) + "/" +
                     std::to_string(c.protocol) + "/" + std::to_string(c.audioOn));
        CamInfo& ci = state.cam(1);
        ci.RecordMode = c.recordMode;
        ci.Enable = c.enabled;
        ci.Protocol = c.protocol;
        state.AudioOn[0] = c.audioOn;
        object(w, "Zoom").SetBitmap("Unchanged");
        w.RecordGrayBTN(1);
        for (std::size_t i = 0; i < 6; ++i)
            EXPECT_EQ(bitmapOf(w, names[i]), c.images[i] == 0 ? "Unchanged" : image(rows[i], c.images[i]))
                << names[i];
    }

    // A recording mode closes an open colour panel first.
    state.cam(1) = saved;
    click(w, "ColorCtl");
    ASSERT_TRUE(panelShown(w, 1));
    state.cam(1).RecordMode = kRecordManual;
    w.RecordGrayBTN(1);
    EXPECT_FALSE(w.ColorPanelShown);
    EXPECT_FALSE(panelShown(w, 1));
    EXPECT_EQ(bitmapOf(w, "ColorCtl"), image(5, 5));

    // The engine's call for another camera leaves the buttons of the current one alone.
    state.cam(2).RecordMode = kRecordNone;
    state.cam(2).Enable = false;
    combined->combinedRecordGrayBTN(2);
    EXPECT_EQ(bitmapOf(w, "Snapshot"), image(7, 1));
    combined->combinedRecordGrayBTN(1);
    EXPECT_EQ(bitmapOf(w, "Rotate"), image(8, 5));
}

TEST_F(CombinedButtonsTest, ButtonImagesFollowTheMouseAndTheCurrentCamera)
{
    CombinedWindow& w = open(1);
    const CamInfo saved = state.cam(1);
    // Every activation greys entry 9; the hints come from the table, "Audio" has none without
    // sound.
    EXPECT_EQ(bitmapOf(w, "Zoom"), image(9, 5));
    EXPECT_EQ(object(w, "Snapshot").HintText().toStdString(), image(7, 7));
    EXPECT_TRUE(object(w, "Audio").HintText().isEmpty());
    state.cam(3).Protocol = kProtocolMultipart;
    w.selectPane(3);
    EXPECT_EQ(object(w, "Audio").HintText().toStdString(), image(10, 7));
    w.selectPane(1);

    struct Case
    {
        const char* what;
        int recordMode;
        bool enabled;
        int protocol;
        const char* name;
        int row;
        // Images after In, Out, Down, Up (0: unchanged).
        std::array<int, 4> images;
    };
    const Case cases[] = {
        {"snapshot", 0, true, 0, "Snapshot", 7, {4, 3, 2, 1}},
        {"snapshot while recording", 2, true, 0, "Snapshot", 7, {4, 3, 2, 1}},
        {"snapshot, not enabled", 0, false, 0, "Snapshot", 7, {0, 0, 0, 0}},
        {"rotate", 0, true, 4, "Rotate", 8, {4, 3, 2, 4}},
        {"rotate a Kestra camera", 0, true, 3, "Rotate", 8, {0, 0, 0, 0}},
        {"rotate while recording", 1, true, 0, "Rotate", 8, {0, 0, 0, 0}},
        {"colour", 0, true, 0, "ColorCtl", 5, {4, 3, 0, 0}},
        {"colour, multipart", 0, true, 4, "ColorCtl", 5, {0, 0, 0, 0}},
        {"colour, not enabled", 0, false, 0, "ColorCtl", 5, {0, 0, 0, 0}},
        {"event list", 1, true, 0, "Event", 6, {4, 3, 0, 0}},
        {"event list, not enabled", 0, false, 0, "Event", 6, {0, 0, 0, 0}},
        {"sound, multipart, off", 0, true, 4, "Audio", 10, {4, 3, 2, 0}},
        {"sound, no sound", 0, true, 1, "Audio", 10, {6, 6, 6, 0}},
        {"sound while recording", 3, true, 4, "Audio", 10, {0, 0, 0, 0}},
        {"entry 9", 0, true, 0, "Zoom", 9, {0, 0, 0, 0}},
        {"minimise", 2, false, 3, "Min", 0, {4, 3, 2, 1}},
        {"wake up", 0, true, 0, "WakeUp", 4, {4, 3, 2, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CamInfo& ci = state.cam(1);
        ci.RecordMode = c.recordMode;
        ci.Enable = c.enabled;
        ci.Protocol = c.protocol;
        SkinObject& o = object(w, c.name);
        const std::function<void()> steps[4] = {
            [&] { w.SkinForm1_MouseIn(&o); }, [&] { w.SkinForm1_MouseOut(&o); },
            [&] { w.SkinForm1_MouseDown(&o, 1); }, [&] { w.SkinForm1_MouseUp(&o, 1); }};
        for (std::size_t s = 0; s < 4; ++s) {
            o.SetBitmap("Unchanged");
            steps[s]();
            EXPECT_EQ(o.BitmapName().toStdString(),
                      c.images[s] == 0 ? "Unchanged" : image(c.row, c.images[s]))
                << "step " << s;
        }
        // Another mouse button changes nothing.
        o.SetBitmap("Unchanged");
        w.SkinForm1_MouseDown(&o, 2);
        w.SkinForm1_MouseUp(&o, 2);
        EXPECT_EQ(o.BitmapName(), "Unchanged");
    }
    // The sound button shows the camera's sound state; the maximise button's hint the window's.
    state.cam(1) = saved;
    state.cam(1).Protocol = kProtocolKestra;
    state.AudioOn[0] = true;
    w.SkinForm1_MouseIn(&object(w, "Audio"));
    EXPECT_EQ(bitmapOf(w, "Audio"), image(10, 2));
    w.SkinForm1_MouseDown(&object(w, "Audio"), 1);
    EXPECT_EQ(bitmapOf(w, "Audio"), image(10, 4));
    w.SkinForm1_MouseIn(&object(w, "Max"));
    EXPECT_EQ(object(w, "Max").HintText().toStdString(), state.MaxHint);
}

TEST_F(CombinedButtonsTest, ScanWindowServesOnTopWakeUpAndShowsTheOtherButtonsDisabled)
{
    ScanServices ss;
    ss.state = &state;
    ss.engine = rig->engine.get();
    int scanWakeUps = 0;
    ss.wakeUp = [&] { ++scanWakeUps; };
    ScanWindows scans(ss);
    state.ScanCam = 2;
    scans.showScan();
    ScanWindow& w = *scans.window();
    if (w.FirstActivate)
        w.Form_Activate();
    SkinObject& root = w.skin().RootObject();
    for (int row = 5; row <= 9; ++row) {
        const std::string& name = state.HintTable[static_cast<std::size_t>(row)].BtnName;
        EXPECT_EQ(root.FindObject(QString::fromStdString(name)).BitmapName().toStdString(), image(row, 5))
            << name;
    }
    EXPECT_EQ(root.FindObject("Audio").BitmapName().toStdString(), image(10, 6));
    EXPECT_EQ(root.FindObject("Audio").HintText().toStdString(), image(10, 7));
    EXPECT_EQ(root.FindObject("OnTop").HintText().toStdString(), image(3, 7));

    SkinObject& onTop = root.FindObject("OnTop");
    w.SkinForm1_ObjectClick(&onTop);
    EXPECT_TRUE(state.OnTopFlags[4]);
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(onTop.BitmapName().toStdString(), image(3, 2));
    w.SkinForm1_MouseIn(&onTop);
    EXPECT_EQ(onTop.BitmapName().toStdString(), image(3, 2));
    w.SkinForm1_ObjectClick(&onTop);
    EXPECT_FALSE(state.OnTopFlags[4]);
    EXPECT_EQ(onTop.BitmapName().toStdString(), image(3, 4));

    SkinObject& wake = root.FindObject("WakeUp");
    w.SkinForm1_ObjectClick(&wake);
    EXPECT_EQ(scanWakeUps, 1);
    EXPECT_EQ(wake.BitmapName().toStdString(), image(4, 4));
    w.SkinForm1_MouseDown(&wake, 1);
    EXPECT_EQ(wake.BitmapName().toStdString(), image(4, 2));
    w.SkinForm1_MouseUp(&wake, 1);
    EXPECT_EQ(wake.BitmapName().toStdString(), image(4, 2)); // "WakeUp" has no release image
    w.SkinForm1_MouseOut(&wake);
    EXPECT_EQ(wake.BitmapName().toStdString(), image(4, 3));

    // Another mouse button changes nothing.
    SkinObject& close = root.FindObject("Close");
    close.SetBitmap("Unchanged");
    w.SkinForm1_MouseDown(&close, 2);
    w.SkinForm1_MouseUp(&close, 2);
    EXPECT_EQ(close.BitmapName(), "Unchanged");

    // A view-window button does nothing here, under the mouse or on a click.
    const std::size_t from = rig->trace.lines.size();
    SkinObject& rotate = root.FindObject("Rotate");
    w.SkinForm1_MouseIn(&rotate);
    w.SkinForm1_ObjectClick(&rotate);
    EXPECT_EQ(rotate.BitmapName().toStdString(), image(8, 5));
    EXPECT_EQ(rig->trace.lines.size(), from);

    // The maximise button's hint follows the window state when the mouse enters it.
    SkinObject& max = root.FindObject("Max");
    w.showMaximized();
    w.SkinForm1_MouseIn(&max);
    EXPECT_EQ(max.HintText().toStdString(), state.MaxHint2);
    w.showNormal();
    w.SkinForm1_MouseIn(&max);
    EXPECT_EQ(max.HintText().toStdString(), state.MaxHint);
    w.close();
}

} // namespace
