// The program's windows as a user meets them, with the real control module and four simulated
// cameras: the control panel brought back by a camera window's "WakeUp", and where the camera
// windows open when the user switches between the view windows, the combined window and scan
// mode. Every step is a click on the real windows.
#include "../app_core/register_module.h"
#include "../app_skin/qt_test_support.h"
#include "camsim_process.h"

#include "app/core/profile.h"
#include "app/skin/picture_surface.h"
#include "app/skin/skin_form.h"
#include "app/skin/skin_object.h"
#include "app/windows/combined_window.h"
#include "app/windows/control_panel.h"
#include "app/windows/program.h"
#include "app/windows/scan_window.h"
#include "app/windows/view_window.h"

#include <QDialog>
#include <QGuiApplication>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace pellucor;

namespace {

std::filesystem::path screenshotFile(const std::string& name)
{
    const auto folder = std::filesystem::path(TESSIVOR_BINARY_DIR) / "test-output" / "windows";
    std::filesystem::create_directories(folder);
    return folder / name;
}

// Clicks the button `name` of every modal dialog that opens while it lives.
class DialogClicker
{
public:
    explicit DialogClicker(const char* name)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this, name] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            if (auto* button = dialog->findChild<QPushButton*>(name)) {
                ++clicks;
                QTest::mouseClick(button, Qt::LeftButton);
            }
        });
        m_timer.start(10);
    }
    int clicks = 0;

private:
    QTimer m_timer;
};

// A left click on a skin object as a user makes it: the pointer moves there, presses, releases.
void clickObject(SkinForm& form, const char* name)
{
    const QPoint at = form.RootObject().FindObject(name).geometry().center();
    QTest::mouseMove(&form, at);
    QTest::mouseClick(&form, Qt::LeftButton, Qt::NoModifier, at);
}

std::string bitmapOf(SkinForm& form, const char* name)
{
    return form.RootObject().FindObject(name).BitmapName().toStdString();
}

template <class Window> Window* shownWindow(const std::function<bool(Window&)>& which = {})
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<Window*>(w);
            window && window->isVisible() && (!which || which(*window)))
            return window;
    return nullptr;
}

ViewWindow* viewWindow(int slot)
{
    return shownWindow<ViewWindow>([slot](ViewWindow& w) { return w.slot() == slot; });
}

// Four simulated cameras (native, /VIDEO.CGI, /mjpeg.cgi, repeated requests) in the four slots of
// a home written by the program's own profile writer, and the program started on that home.
class FourCameraProgram
{
public:
    explicit FourCameraProgram(const std::string& name) : m_root(name)
    {
        testApp();
        registerModule();
        using tessivor::testing::CamSim;
        for (const char* rate : {"10", "10", "10", "5"})
            m_cameras.push_back(std::make_unique<CamSim>(std::vector<std::string>{"--rate", rate}));
        const int protocols[] = {0, 1, 2, 4};
        const char* names[] = {"Gate", "Yard", "Porch", "Shed"};
        const auto home = m_root.path() / "home";
        AppState s;
        s.paths.homeDir = home;
        s.paths.dataDir = std::filesystem::path(TESSIVOR_SOURCE_DIR) / "data";
        InitGlobals(s, std::time(nullptr));
        std::filesystem::create_directories(home / "recordings");
        s.settings.Storage(1).Path = (home / "recordings").string();
        for (int n = 1; n <= 4; ++n) {
            const CamSim& camera = *m_cameras[static_cast<std::size_t>(n - 1)];
            CamInfo& c = s.cam(n);
            c.Assign = c.Enable = true;
            c.Protocol = protocols[n - 1];
            c.IPAddress = camera.address();
            c.Port = c.Protocol == kProtocolNative ? camera.nativePort() : camera.httpPort();
            c.UserName = c.Password = "pelko";
            c.ServerName = names[n - 1];
        }
        EXPECT_TRUE(SaveSetting(s));

        ProgramOptions options;
        options.home = home;
        options.exePath = std::filesystem::path(TESSIVOR_BINARY_DIR) / "app" / "windows" / "pellucor";
        options.lockPath = QString::fromStdString((m_root.path() / "lock").string());
        program = std::make_unique<Program>(options);
    }
    ~FourCameraProgram()
    {
        QApplication::closeAllWindows();
        program.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Starts the program and waits until the four view windows are on screen.
    bool start()
    {
        if (program->start() != Program::StartResult::Running)
            return false;
        return waitUntil([] {
            for (int n = 1; n <= 4; ++n)
                if (!viewWindow(n))
                    return false;
            return true;
        });
    }

    ControlPanel& panel() { return *program->panel(); }
    AppState& state() { return program->state(); }

    std::unique_ptr<Program> program;

private:
    TestFolder m_root;
    std::vector<std::unique_ptr<tessivor::testing::CamSim>> m_cameras;
};

TEST(ProgramWindows, WakeUpBringsThePanelBackAsALoadedWindow)
{
    FourCameraProgram p("wakeup");
    ASSERT_TRUE(p.start());
    ControlPanel& panel = p.panel();
    SkinForm& form = panel.skin();
    ASSERT_TRUE(waitUntil([&] { return bitmapOf(form, "Led4-3") == "LedOn.bmp"; }));

    // The panel's close button: the view windows keep the program running.
    clickObject(form, "Exit");
    EXPECT_FALSE(panel.isVisible());
    EXPECT_FALSE(p.state().WindowOpen[0]);
    ASSERT_FALSE(p.program->windows().shutDown());

    // "WakeUp" in the window of camera 1 shows the panel again, open as after its load.
    ViewWindow* one = viewWindow(1);
    ASSERT_NE(one, nullptr);
    clickObject(one->skin(), "WakeUp");
    EXPECT_TRUE(panel.isVisible());
    EXPECT_TRUE(p.state().WindowOpen[0]);

    // Its buttons and lamps follow the cameras again: erasing camera 4 greys its buttons and puts
    // out its lamp.
    clickObject(form, "Cam4");
    ASSERT_EQ(p.state().CurCam, 4);
    {
        DialogClicker confirm("cmdConfirm");
        clickObject(form, "Erase");
        EXPECT_EQ(confirm.clicks, 1);
    }
    ASSERT_FALSE(p.state().cam(4).Assign);
    for (const char* grey : {"ManualRec", "Connect", "Erase", "ExtInfo"})
        EXPECT_EQ(bitmapOf(form, grey), "Gray.bmp") << grey;
    EXPECT_EQ(bitmapOf(form, "Led4-3"), "LedOff.bmp");
    EXPECT_EQ(form.RootObject().FindObject("Line1").Text().toStdString(), p.state().EmptyText);
    QCoreApplication::processEvents();
    EXPECT_TRUE(panel.grab().toImage().save(
        QString::fromStdString(screenshotFile("panel-after-wakeup-and-erase.png").string()), "PNG"));

    // Closing the last view window leaves the program running while the panel is on screen.
    for (int n = 1; n <= 3; ++n) {
        ViewWindow* view = viewWindow(n);
        ASSERT_NE(view, nullptr) << n;
        clickObject(view->skin(), "Close");
    }
    EXPECT_TRUE(waitUntil([] { return !viewWindow(1) && !viewWindow(2) && !viewWindow(3); }));
    EXPECT_FALSE(p.program->windows().shutDown());
    EXPECT_TRUE(panel.isVisible());
    // The panel closed last ends it.
    clickObject(form, "Exit");
    EXPECT_TRUE(p.program->windows().shutDown());
}

// The top-left corner of camera n's quarter of the screen.
QPoint quarterOf(int n, const QRect& screen)
{
    return screen.topLeft() +
           QPoint(n == 2 || n == 4 ? screen.width() / 2 : 0, n == 3 || n == 4 ? screen.height() / 2 : 0);
}

// The control panel and the view windows as they lie on the screen, the views over the panel,
// drawn from their own pictures.
QImage screenPicture(const QRect& screen, ControlPanel& panel)
{
    QImage image(screen.size(), QImage::Format_RGB32);
    image.fill(QColor(0x30, 0x30, 0x38));
    QPainter painter(&image);
    painter.drawPixmap(panel.frameGeometry().topLeft() - screen.topLeft(), panel.grab());
    for (int n = 1; n <= 4; ++n)
        if (ViewWindow* w = viewWindow(n))
            painter.drawPixmap(w->frameGeometry().topLeft() - screen.topLeft(), w->grab());
    return image;
}

// The camera's picture has reached the view window of slot n and is painted there.
bool pictureShown(int n)
{
    ViewWindow* w = viewWindow(n);
    if (!w)
        return false;
    const tessivor::TargetPicture p = w->picture().target()->snapshot();
    if (p.width <= 0 || p.height <= 0)
        return false;
    const tessivor::Rgb centre = p.pixel(p.width / 2, p.height / 2);
    return centre.r + centre.g + centre.b > 60 && w->picture().shownVersion() >= p.version;
}

TEST(ProgramWindows, CombinedAndScanOpenBesideThePanelAndTheViewWindowsComeBackToTheirQuarters)
{
    FourCameraProgram p("places");
    ASSERT_TRUE(p.start());
    ControlPanel& panel = p.panel();
    SkinForm& form = panel.skin();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    auto panelFrame = [&] { return panel.frameGeometry(); };

    // Combined mode: the combined window opens beside the panel, leaving its buttons free.
    clickObject(form, "Combine");
    CombinedWindow* combined = shownWindow<CombinedWindow>();
    ASSERT_NE(combined, nullptr);
    EXPECT_FALSE(combined->frameGeometry().intersects(panelFrame()))
        << combined->frameGeometry().x() << "," << combined->frameGeometry().y();
    EXPECT_TRUE(screen.contains(combined->frameGeometry()));

    // Leaving it puts view window n at its quarter of the screen.
    clickObject(form, "Combine");
    ASSERT_TRUE(waitUntil([] { return !shownWindow<CombinedWindow>(); }));
    for (int n = 1; n <= 4; ++n) {
        ViewWindow* view = viewWindow(n);
        ASSERT_NE(view, nullptr) << n;
        EXPECT_EQ(view->frameGeometry().topLeft(), quarterOf(n, screen)) << n;
    }
    EXPECT_TRUE(
        waitUntil([] { return pictureShown(1) && pictureShown(2) && pictureShown(3) && pictureShown(4); }));
    EXPECT_TRUE(screenPicture(screen, panel)
                    .save(QString::fromStdString(screenshotFile("views-at-quarters.png").string()), "PNG"));

    // Scan mode: the scan window opens beside the panel too; leaving it by the Scan button brings
    // every view window back where it was.
    clickObject(form, "Scan");
    ScanWindow* scan = shownWindow<ScanWindow>();
    ASSERT_NE(scan, nullptr);
    ASSERT_TRUE(p.state().ScanModeOn);
    EXPECT_FALSE(scan->frameGeometry().intersects(panelFrame()))
        << scan->frameGeometry().x() << "," << scan->frameGeometry().y();
    EXPECT_TRUE(screen.contains(scan->frameGeometry()));
    clickObject(form, "Scan");
    ASSERT_FALSE(p.state().ScanModeOn);
    for (int n = 1; n <= 4; ++n) {
        ViewWindow* view = viewWindow(n);
        ASSERT_NE(view, nullptr) << n;
        EXPECT_EQ(view->frameGeometry().topLeft(), quarterOf(n, screen)) << n;
    }
}

} // namespace
