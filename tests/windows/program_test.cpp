// The program as a user starts it: the start-up order and its failure messages, one instance per
// session, and the whole program (real control module, four simulated cameras on loopback)
// through to the profile it saves when its last window closes.
#include "../app_core/python_peer.h"
#include "../app_core/register_module.h"
#include "../app_skin/qt_test_support.h"
#include "camsim_process.h"

#include "app/core/engine.h"
#include "app/core/event_log.h"
#include "app/core/profile.h"
#include "app/skin/single_instance.h"
#include "app/skin/skin_form.h"
#include "app/windows/control_panel.h"
#include "app/windows/program.h"

#include "platform/com_module.h"

#include <QMessageBox>
#include <QTimer>

#include <dlfcn.h>

using namespace pellucor;

namespace {

// Answers every message box that opens while it lives, keeping its text.
class BoxAnswerer
{
public:
    BoxAnswerer()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts.push_back(box->text().toStdString());
                box->done(QMessageBox::Ok);
            }
        });
        m_timer.start(10);
    }
    std::vector<std::string> texts;

private:
    QTimer m_timer;
};

// An installed program: <root>/bin/pellucor with its data in <root>/share/pellucor, a copy of the
// shipped pack without the files named in `leaveOut`.
std::filesystem::path installCopy(const std::filesystem::path& root, const std::vector<std::string>& leaveOut)
{
    const auto lang = root / "share" / "pellucor" / "lang";
    std::filesystem::create_directories(lang);
    std::filesystem::create_directories(root / "bin");
    for (const auto& e : std::filesystem::directory_iterator(shippedLangFolder())) {
        const std::string name = e.path().filename().string();
        if (std::find(leaveOut.begin(), leaveOut.end(), name) != leaveOut.end())
            continue;
        std::filesystem::copy(e.path(), lang / name, std::filesystem::copy_options::recursive);
    }
    return root / "bin" / "pellucor";
}

TEST(ProgramStart, AMissingPackFileEndsTheStartWithItsName)
{
    testApp();
    struct Case
    {
        const char* missing;
        const char* named; // the path the message names, below the data folder
    };
    const Case cases[] = {
        {"language.ini", "lang/language.ini"},
        {"english_2.ini", "lang/english_2.ini"},
        {"english_3.ini", "lang/english_3.ini"},
        {"english_1.ini", "lang/english_1.ini"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.missing);
        TestFolder root("install");
        ProgramOptions options;
        options.exePath = installCopy(root.path(), {c.missing});
        options.home = root.path() / "home";
        options.lockPath = QString::fromStdString((root.path() / "lock").string());
        Program program(options);
        BoxAnswerer boxes;
        EXPECT_EQ(program.start(), Program::StartResult::Failed);
        const auto expected = root.path() / "share" / "pellucor" / c.named;
        EXPECT_EQ(boxes.texts, std::vector<std::string>{expected.string() + " is not exist !!"});
        EXPECT_EQ(program.engine(), nullptr);
        EXPECT_EQ(program.panel(), nullptr);
    }
}

TEST(ProgramStart, ASecondStartEndsAtOnceAndReadsNothing)
{
    testApp();
    TestFolder root("second");
    SingleInstance running(QString::fromStdString((root.path() / "lock").string()));
    ASSERT_TRUE(running.acquire());
    ProgramOptions options;
    options.home = root.path() / "home";
    options.lockPath = running.lockPath();
    Program second(options);
    BoxAnswerer boxes;
    EXPECT_EQ(second.start(), Program::StartResult::AlreadyRunning);
    EXPECT_TRUE(boxes.texts.empty());
    EXPECT_FALSE(std::filesystem::exists(root.path() / "home")); // not even the home was made
}

TEST(ProgramEndToEnd, FourSimulatedCamerasConnectAndTheProfileIsSavedAtTheEnd)
{
    testApp();
    registerModule();
    using tessivor::testing::CamSim;
    CamSim native({"--rate", "10"});
    CamSim videoCgi({"--rate", "10"});
    CamSim mjpegCgi({"--rate", "10"});
    CamSim repeated({"--rate", "5"});
    struct Slot
    {
        int protocol;
        const CamSim* camera;
        int port;
        const char* name;
    };
    const Slot cams[] = {{0, &native, native.nativePort(), "Gate"},
                         {1, &videoCgi, videoCgi.httpPort(), "Yard"},
                         {2, &mjpegCgi, mjpegCgi.httpPort(), "Porch"},
                         {4, &repeated, repeated.httpPort(), "Shed"}};

    // The demo home, written by the program's own profile writer.
    TestFolder root("e2e");
    const auto home = root.path() / "home";
    {
        AppState s;
        s.paths.homeDir = home;
        s.paths.dataDir = std::filesystem::path(TESSIVOR_SOURCE_DIR) / "data";
        InitGlobals(s, std::time(nullptr));
        std::filesystem::create_directories(home / "recordings");
        s.settings.Storage(1).Path = (home / "recordings").string();
        for (int n = 1; n <= 4; ++n) {
            const Slot& slot = cams[n - 1];
            CamInfo& c = s.cam(n);
            c.Assign = c.Enable = true;
            c.Protocol = slot.protocol;
            c.IPAddress = slot.camera->address();
            c.Port = slot.port;
            c.UserName = c.Password = "pelko";
            c.ServerName = slot.name;
        }
        ASSERT_TRUE(SaveSetting(s));
    }

    ProgramOptions options;
    options.home = home;
    options.exePath = std::filesystem::path(TESSIVOR_BINARY_DIR) / "app" / "windows" / "pellucor";
    options.lockPath = QString::fromStdString((root.path() / "lock").string());
    Program program(options);
    BoxAnswerer boxes;
    ASSERT_EQ(program.start(), Program::StartResult::Running);
    ControlPanel& panel = *program.panel();
    auto lampsOn = [&] {
        for (int n = 1; n <= 4; ++n)
            if (panel.skin().RootObject().FindObject(QString("Led%1-3").arg(n)).BitmapName() != "LedOn.bmp")
                return false;
        return true;
    };
    EXPECT_TRUE(waitUntil(lampsOn, 10000));
    // Each camera's event list tells that its pictures arrived.
    auto connected = [&] {
        for (int n = 1; n <= 4; ++n) {
            const auto& lines = program.log()->lines(n);
            if (std::none_of(lines.begin(), lines.end(), [](const std::string& l) {
                    return l.find("Camera connected.") != std::string::npos;
                }))
                return false;
        }
        return true;
    };
    EXPECT_TRUE(waitUntil(connected, 30000));
    EXPECT_TRUE(lampsOn());
    const QImage shot = panel.grab().toImage();
    const auto folder = std::filesystem::path(TESSIVOR_BINARY_DIR) / "test-output" / "windows";
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(shot.save(QString::fromStdString((folder / "panel-four-cameras.png").string()), "PNG"));

    // The user closes every window: the profile is saved and the cameras stop.
    const auto profile = home / "main.ini";
    std::filesystem::remove(profile);
    QApplication::closeAllWindows();
    ASSERT_TRUE(program.windows().shutDown());
    for (int n = 1; n <= 4; ++n)
        EXPECT_FALSE(program.state().cam(n).Enable) << n;
    EXPECT_TRUE(boxes.texts.empty()) << boxes.texts.front();

    if (!pythonAvailable())
        GTEST_SKIP() << "Debian's python3 is missing: the saved profile is not read back";
    const auto parsed = runCapture(std::string(kPython) +
                                   " -c 'import configparser,sys\n"
                                   "ini=configparser.ConfigParser(interpolation=None)\n"
                                   "ini.optionxform=str\n"
                                   "ini.read_file(open(sys.argv[1],encoding=\"utf-8\"))\n"
                                   "for n in range(1,5):\n"
                                   " c=ini[\"Cam%d\"%n]\n"
                                   " print(c[\"ServerName\"],c[\"Protocol\"],c[\"Port\"],c[\"Enable\"])' '" +
                                   profile.string() + "'");
    ASSERT_TRUE(parsed.has_value()) << "configparser could not read " << profile;
    std::string expected;
    for (const Slot& s : cams)
        expected +=
            std::string(s.name) + " " + std::to_string(s.protocol) + " " + std::to_string(s.port) + " -1\n";
    EXPECT_EQ(*parsed, expected);
}

} // namespace
