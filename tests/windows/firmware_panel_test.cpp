// A firmware update as the user makes it from the control panel of the whole program (real
// control module, simulated cameras on loopback addresses of their own): the user picks the
// camera, turns on "Camera setup", presses "Firmware", types the file's path into the dialog and
// presses "Update". The camera takes the file by TFTP on the standard port, installs it and
// restarts; the countdown ends with its message, and the probe afterwards puts the camera's new
// identity into its record. All the while the panel's clock and the other camera's picture go on.
#include "../app_core/register_module.h"
#include "../app_skin/qt_test_support.h"
#include "camsim_process.h"

#include "app/core/app_state.h"
#include "app/core/event_log.h"
#include "app/core/profile.h"
#include "app/skin/picture_surface.h"
#include "app/skin/skin_form.h"
#include "app/skin/skin_object.h"
#include "app/windows/control_panel.h"
#include "app/windows/program.h"
#include "app/windows/view_window.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <fstream>
#include <set>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace pellucor;
using tessivor::testing::CamSim;

namespace {

const char* const kMac = "0.13.136.7.8.9";
constexpr int kTftpPort = 69; // the program sends firmware to the standard port only

std::filesystem::path screenshotFile(const std::string& name)
{
    const auto folder = std::filesystem::path(TESSIVOR_BINARY_DIR) / "test-output" / "windows";
    std::filesystem::create_directories(folder);
    return folder / name;
}

// Whether this process may listen on the TFTP port of `address` (a privileged port).
bool tftpPortFree(const std::string& address, std::string* why)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *why = "no datagram socket";
        return false;
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(kTftpPort);
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (!ok)
        *why = std::string("cannot listen on ") + address + ":69: " + std::strerror(errno);
    ::close(fd);
    return ok;
}

void clickObject(SkinForm& form, const char* name)
{
    const QPoint at = form.RootObject().FindObject(name).geometry().center();
    QTest::mouseMove(&form, at);
    QTest::mouseClick(&form, Qt::LeftButton, Qt::NoModifier, at);
}

ViewWindow* viewWindow(int slot)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* view = qobject_cast<ViewWindow*>(w); view && view->isVisible() && view->slot() == slot)
            return view;
    return nullptr;
}

QWidget* shownWindow(const char* objectName)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->objectName() == objectName)
            return w;
    return nullptr;
}

// The screen as the user sees it: the view windows, the panel the user works in over them, and
// the dialogs over the panel.
QImage screenPicture(ControlPanel& panel)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QImage image(screen.size(), QImage::Format_RGB32);
    image.fill(QColor(0x30, 0x30, 0x38));
    QPainter painter(&image);
    auto draw = [&](QWidget* w) {
        painter.drawPixmap(w->frameGeometry().topLeft() - screen.topLeft(), w->grab());
    };
    for (int n = 1; n <= 4; ++n)
        if (ViewWindow* v = viewWindow(n))
            draw(v);
    draw(&panel);
    for (const char* name : {"frmUpdateFW", "frmTFTPProgress", "frmProgress"})
        if (QWidget* w = shownWindow(name))
            draw(w);
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
        draw(box);
    return image;
}

int linesWith(EventLog& log, int slot, const std::string& text)
{
    const auto& lines = log.lines(slot);
    return static_cast<int>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }));
}

// What the user does inside the firmware dialog and its windows, and what the test sees there
// while the panel's click is still running them: it types the file's path and presses "Update",
// answers each message box with OK once the panel has shown that it goes on behind it, and,
// while the upload or the countdown window is up, notes the panel's clock texts and the versions
// of camera 1's picture.
class UpdateScript
{
public:
    UpdateScript(ControlPanel& panel, AppState& state, std::filesystem::path file)
        : m_panel(panel), m_state(state), m_file(std::move(file))
    {
        m_since.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { step(); });
        m_timer.start(10);
    }

    int dialogCamera = 0; // CurCam when the firmware dialog came up
    std::vector<std::string> boxes;
    std::set<QString> clockTexts;
    std::set<std::uint64_t> otherPictures;
    std::set<int> uploadBarValues;          // the upload window's bar as the test saw it
    std::set<bool> uploadBarDrawnEnabled;   // whether that bar was drawn enabled or greyed
    std::set<std::uint64_t> uploadPictures; // camera 1's pictures while the upload window was up
    bool sawUpload = false;
    bool sawCountdown = false;
    bool gaveUp = false;
    bool boxStoppedThePanel = false;

private:
    void shoot(const char* name)
    {
        screenPicture(m_panel).save(QString::fromStdString(screenshotFile(name).string()), "PNG");
    }

    void step()
    {
        if (m_since.elapsed() > 240000) {
            // A stuck update: close whatever is open so that the test ends and reports it.
            gaveUp = true;
            if (auto* modal = QApplication::activeModalWidget())
                modal->close();
            return;
        }
        QWidget* upload = shownWindow("frmTFTPProgress");
        QWidget* countdown = shownWindow("frmProgress");
        if (upload || countdown) {
            clockTexts.insert(m_panel.skin().RootObject().FindObject("Time").Text());
            if (ViewWindow* one = viewWindow(1))
                otherPictures.insert(one->picture().shownVersion());
        }
        if (upload) {
            if (auto* bar = upload->findChild<QProgressBar*>("progressbar")) {
                uploadBarValues.insert(bar->value());
                uploadBarDrawnEnabled.insert(bar->isEnabled());
            }
            if (ViewWindow* one = viewWindow(1))
                uploadPictures.insert(one->picture().shownVersion());
        }
        if (upload && !sawUpload) {
            sawUpload = true;
            shoot("firmware-upload.png");
        }
        // Once again with part of the file sent, when the upload lasts long enough to be seen so.
        if (upload && !m_uploadShot) {
            auto* bar = upload->findChild<QProgressBar*>("progressbar");
            if (bar && bar->value() > 0 && bar->value() < bar->maximum()) {
                m_uploadShot = true;
                shoot("firmware-upload.png");
            }
        }
        if (countdown && !sawCountdown) {
            sawCountdown = true;
            m_countdownSince.start();
        }
        // Half-way through the countdown: the screen while the camera installs.
        if (countdown && m_countdownSince.isValid() && !m_countdownShot &&
            m_countdownSince.elapsed() > 5000) {
            m_countdownShot = true;
            shoot("firmware-countdown.png");
        }
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            // Each box stays up until the panel's clock has moved on and camera 1 has sent a new
            // picture (or long enough to tell that they do not): a box must not stop them.
            const QString clock = m_panel.skin().RootObject().FindObject("Time").Text();
            const std::uint64_t picture = viewWindow(1) ? viewWindow(1)->picture().shownVersion() : 0;
            if (box != m_box) {
                m_box = box;
                m_boxSince.start();
                m_clockAtBox = clock;
                m_pictureAtBox = picture;
                boxes.push_back(box->text().toStdString());
                shoot("firmware-message.png");
            }
            const bool wentOn = clock != m_clockAtBox && picture != m_pictureAtBox;
            if (!wentOn && m_boxSince.elapsed() < 20000)
                return;
            if (!wentOn)
                boxStoppedThePanel = true;
            if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                QTest::mouseClick(ok, Qt::LeftButton);
            else
                box->done(QMessageBox::Ok);
            return;
        }
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!m_typed && dialog && dialog->objectName() == "frmUpdateFW") {
            m_typed = true;
            dialogCamera = m_state.CurCam;
            auto* field = dialog->findChild<QLineEdit*>("txtFirmwareFileName");
            auto* update = dialog->findChild<QPushButton*>("cmdUpdateFirmware");
            if (!field || !update)
                return;
            QTest::mouseClick(field, Qt::LeftButton);
            QTest::keyClicks(field, QString::fromStdString(m_file.string()));
            // Pressed from the event loop: the update runs its own waits, and this timer must
            // keep firing inside them.
            QMetaObject::invokeMethod(
                update, [update] { QTest::mouseClick(update, Qt::LeftButton); }, Qt::QueuedConnection);
        }
    }

    ControlPanel& m_panel;
    AppState& m_state;
    std::filesystem::path m_file;
    QTimer m_timer;
    QElapsedTimer m_since;
    QElapsedTimer m_countdownSince;
    bool m_typed = false;
    bool m_uploadShot = false;
    bool m_countdownShot = false;
    QPointer<QMessageBox> m_box;
    QElapsedTimer m_boxSince;
    QString m_clockAtBox;
    std::uint64_t m_pictureAtBox = 0;
};

TEST(FirmwareFromPanel, TheChosenCameraTakesTheFileRestartsAndIsProbedWhileThePanelGoesOn)
{
    testApp();
    registerModule();
    const std::string address = tessivor::testing::uniqueLoopbackAddress();
    std::string why;
    if (!tftpPortFree(address, &why))
        GTEST_SKIP() << why;

    TestFolder root("fw-panel");
    const auto received = root.path() / "camera-received.bin";
    // Camera 1 streams on; camera 2 is the native camera that takes the firmware.
    CamSim other({"--rate", "10"});
    CamSim target({"--family", "native", "--mac", kMac, "--tftp-port", std::to_string(kTftpPort),
                   "--upload-file", received.string(), "--firmware", "2.07b", "--name", "Gate", "--rate",
                   "10"},
                  true, address);

    const auto home = root.path() / "home";
    {
        AppState s;
        s.paths.homeDir = home;
        s.paths.dataDir = std::filesystem::path(TESSIVOR_SOURCE_DIR) / "data";
        InitGlobals(s, std::time(nullptr));
        std::filesystem::create_directories(home / "recordings");
        s.settings.Storage(1).Path = (home / "recordings").string();
        const CamSim* cams[] = {&other, &target};
        const char* names[] = {"Yard", "old name"};
        for (int n = 1; n <= 2; ++n) {
            CamInfo& c = s.cam(n);
            c.Assign = c.Enable = true;
            c.Protocol = kProtocolNative;
            c.IPAddress = cams[n - 1]->address();
            c.Port = cams[n - 1]->nativePort();
            c.UserName = c.Password = "pelko";
            c.ServerName = names[n - 1];
            c.FWVersion = "1.00a";
        }
        s.cam(2).MacAddress = kMac;
        ASSERT_TRUE(SaveSetting(s));
    }
    // Not a whole number of blocks, and long enough for the upload to last a while on loopback.
    std::string bytes(8 * 1024 * 1024 + 77, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 512) & 0xFF);
    const auto file = root.path() / "new firmware.bin";
    std::ofstream(file, std::ios::binary) << bytes;

    ProgramOptions options;
    options.home = home;
    options.exePath = std::filesystem::path(TESSIVOR_BINARY_DIR) / "app" / "windows" / "pellucor";
    options.lockPath = QString::fromStdString((root.path() / "lock").string());
    Program program(options);
    ASSERT_EQ(program.start(), Program::StartResult::Running);
    ControlPanel& panel = *program.panel();
    SkinForm& form = panel.skin();
    AppState& state = program.state();
    EventLog& log = *program.log();
    ASSERT_TRUE(waitUntil(
        [&] {
            return linesWith(log, 1, "Camera connected.") >= 1 && linesWith(log, 2, "Camera connected.") >= 1;
        },
        60000));

    // Camera 2, "Camera setup", then "Firmware".
    clickObject(form, "Cam2");
    ASSERT_EQ(state.CurCam, 2);
    clickObject(form, "CamConf");
    ASSERT_TRUE(state.CamConfOn);
    EXPECT_NE(form.RootObject().FindObject("Update").BitmapName(), "Gray.bmp");
    {
        UpdateScript script(panel, state, file);
        clickObject(form, "Update"); // returns when the dialog has closed
        EXPECT_FALSE(script.gaveUp) << "the update did not end by itself";
        EXPECT_EQ(script.dialogCamera, 2);
        EXPECT_TRUE(script.sawUpload);
        EXPECT_TRUE(script.sawCountdown);
        EXPECT_EQ(script.boxes, std::vector<std::string>{"The firmware update is complete."});
        // The panel's clock ticked and camera 1's pictures kept coming during the upload and
        // the countdown.
        EXPECT_GE(script.clockTexts.size(), 3u);
        EXPECT_GE(script.otherPictures.size(), 3u);
        EXPECT_FALSE(script.boxStoppedThePanel);
        // The upload itself let the panel work: its bar moved and camera 1's pictures came.
        EXPECT_GE(script.uploadBarValues.size(), 3u);
        EXPECT_GE(script.uploadPictures.size(), 3u);
        // The upload window reads plainly while it works: nothing in it is greyed.
        EXPECT_EQ(script.uploadBarDrawnEnabled, std::set<bool>{true});
    }

    // The camera got the whole file under the name the program gives it, and restarted once.
    EXPECT_EQ(target.command("firmware"),
              "ok requests=1 installs=1 name=TempFW.BIN bytes=" + std::to_string(bytes.size()));
    EXPECT_TRUE(fileText(received) == bytes) << "the camera received other bytes";
    EXPECT_EQ(target.command("resets"), "ok reboots=1 factory=0");
    EXPECT_EQ(other.command("firmware").rfind("ok requests=0 installs=0", 0), 0u) << "not the chosen camera";

    // The probe's answer is in camera 2's record; camera 1's record is as it was.
    EXPECT_TRUE(waitUntil([&] { return state.cam(2).FWVersion == "2.07b"; }, 60000))
        << state.cam(2).FWVersion;
    EXPECT_EQ(state.cam(2).ServerName, "Gate");
    EXPECT_EQ(state.cam(2).Protocol, kProtocolNative);
    EXPECT_EQ(state.cam(1).ServerName, "Yard");
    EXPECT_EQ(state.cam(1).FWVersion, "1.00a");
    // Camera 2 was enabled: it streams again after the update.
    EXPECT_TRUE(state.cam(2).Enable);
    EXPECT_TRUE(waitUntil([&] { return linesWith(log, 2, "Camera connected.") >= 2; }, 60000));
    // The panel shows camera 2 under the name the camera now reports.
    EXPECT_TRUE(waitUntil([&] { return form.RootObject().FindObject("Line1").Text() == "Gate"; }, 20000))
        << form.RootObject().FindObject("Line1").Text().toStdString();
    QCoreApplication::processEvents();
    EXPECT_TRUE(screenPicture(panel).save(
        QString::fromStdString(screenshotFile("firmware-done.png").string()), "PNG"));

    QApplication::closeAllWindows();
    EXPECT_TRUE(program.windows().shutDown());
}

} // namespace
