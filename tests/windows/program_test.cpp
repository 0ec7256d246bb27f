// The program as a user starts it: the start-up order and its failure messages, one instance per
// session, and the whole program (real control module, four simulated cameras on loopback)
// through to the profile it saves when its last window closes, or when the system asks it to end
// (SIGTERM), wherever the request finds it.
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

#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <functional>
#include <optional>
#include <thread>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// The built program in a process of its own, started as a user would; its standard error goes
// to a file.
class ProgramProcess
{
public:
    // `env` holds NAME=VALUE texts that replace or add to the test's own environment.
    ProgramProcess(const std::vector<std::string>& args, const std::vector<std::string>& env,
                   const std::filesystem::path& errorFile)
    {
        std::vector<std::string> argv{
            (std::filesystem::path(TESSIVOR_BINARY_DIR) / "app/windows/pellucor").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> envp = env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('=') + 1);
            if (std::none_of(env.begin(), env.end(),
                             [&](const std::string& o) { return o.rfind(name, 0) == 0; }))
                envp.push_back(entry);
        }
        // Everything the child uses is made before fork (the test process has threads).
        std::vector<char*> a, e;
        for (auto& x : argv)
            a.push_back(x.data());
        a.push_back(nullptr);
        for (auto& x : envp)
            e.push_back(x.data());
        e.push_back(nullptr);
        const std::string err = errorFile.string();
        m_pid = ::fork();
        if (m_pid == 0) {
            const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (fd >= 0)
                ::dup2(fd, 2);
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::execve(a[0], a.data(), e.data());
            ::_exit(127);
        }
    }
    ~ProgramProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    bool started() const { return m_pid > 0; }
    void signal(int s) { ::kill(m_pid, s); }
    // The wait status once the program has ended, or nothing when it still runs after `limit`.
    std::optional<int> waitForEnd(std::chrono::milliseconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        do {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } while (std::chrono::steady_clock::now() < end);
        return std::nullopt;
    }

private:
    pid_t m_pid = -1;
};

// Polls `done` (which reads files another process writes) until it holds or `limit` passes.
bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// A session's runtime folder, as the system makes it (only its owner may enter).
std::filesystem::path runtimeFolder(const std::filesystem::path& root)
{
    const auto run = root / "run";
    std::filesystem::create_directories(run);
    ::chmod(run.c_str(), 0700);
    return run;
}

std::filesystem::path lockFixture(const char* name)
{
    return std::filesystem::path(TESSIVOR_SOURCE_DIR) / "tests" / "fixtures" / "lock" / name;
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

TEST(ProgramStart, ALockFileThatNamesNoHolderIsTakenOverAndARunningProgramRefusesTheNext)
{
    registerModule();
    TestFolder root("lock");
    const auto run = runtimeFolder(root.path());
    const auto lock = run / "pellucor.lock";
    const std::vector<std::string> env{"XDG_RUNTIME_DIR=" + run.string()};

    // A lock file that an earlier program left as garbage: the program starts all the same, and
    // ends by itself, with the profile saved and the lock gone.
    std::filesystem::copy_file(lockFixture("garbage.lock"), lock);
    const auto home = root.path() / "home";
    {
        ProgramProcess program({"--home", home.string(), "--close-after", "1"}, env,
                               root.path() / "first.err");
        ASSERT_TRUE(program.started());
        const auto status = program.waitForEnd(std::chrono::seconds(120));
        ASSERT_TRUE(status.has_value()) << fileText(root.path() / "first.err");
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
    }
    EXPECT_TRUE(std::filesystem::exists(home / "main.ini")) << fileText(root.path() / "first.err");
    EXPECT_FALSE(std::filesystem::exists(lock));

    // While a program holds the lock, the next start ends at once, says why, and reads nothing.
    SingleInstance running(QString::fromStdString(lock.string()));
    ASSERT_TRUE(running.acquire());
    const auto otherHome = root.path() / "other";
    ProgramProcess second({"--home", otherHome.string()}, env, root.path() / "second.err");
    const auto status = second.waitForEnd(std::chrono::seconds(60));
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
    const std::string said = fileText(root.path() / "second.err");
    EXPECT_NE(said.find("pellucor: Pellucor SE is already running in this session as process " +
                        std::to_string(::getpid()) + " (lock file " + lock.string() + ")"),
              std::string::npos)
        << said;
    EXPECT_FALSE(std::filesystem::exists(otherHome));
}

// Four simulated cameras, one per protocol the program streams, and a home whose profile (written
// by the program's own writer) assigns and enables them.
class FourCameras
{
public:
    struct Slot
    {
        int protocol;
        const tessivor::testing::CamSim* camera;
        int port;
        const char* name;
    };

    FourCameras()
        : m_slots{{{0, &m_native, m_native.nativePort(), "Gate"},
                   {1, &m_videoCgi, m_videoCgi.httpPort(), "Yard"},
                   {2, &m_mjpegCgi, m_mjpegCgi.httpPort(), "Porch"},
                   {4, &m_repeated, m_repeated.httpPort(), "Shed"}}}
    {
    }
    const Slot& slot(int n) const { return m_slots.at(static_cast<std::size_t>(n - 1)); }

    // `record`: each camera records by a schedule entry that began a minute ago and lasts hours.
    void writeProfile(const std::filesystem::path& home, bool record) const
    {
        AppState s;
        s.paths.homeDir = home;
        s.paths.dataDir = std::filesystem::path(TESSIVOR_SOURCE_DIR) / "data";
        const std::time_t now = std::time(nullptr);
        InitGlobals(s, now);
        std::filesystem::create_directories(home / "recordings");
        s.settings.Storage(1).Path = (home / "recordings").string();
        for (int n = 1; n <= 4; ++n) {
            const Slot& slot = m_slots[static_cast<std::size_t>(n - 1)];
            CamInfo& c = s.cam(n);
            c.Assign = c.Enable = true;
            c.Protocol = slot.protocol;
            c.IPAddress = slot.camera->address();
            c.Port = slot.port;
            c.UserName = c.Password = "pelko";
            c.ServerName = slot.name;
            if (record) {
                c.RecordMode = kRecordSchedule;
                c.ScheduleCount = 1;
                ScheduleInfo& e = c.Schedule(1);
                e.CHECK = true;
                e.MODE = 1;
                e.DateStart = localText("%Y-%m-%d", now - 60);
                e.TimeStart = localText("%H:%M:%S", now - 60);
                e.DateStop = localText("%Y-%m-%d", now + 4 * 3600);
                e.TimeStop = localText("%H:%M:%S", now + 4 * 3600);
            }
        }
        ASSERT_TRUE(SaveSetting(s));
    }

    // The cameras' records of the saved profile, read back by Python's configparser, against what
    // writeProfile wrote with every camera enabled. The caller has checked for Debian's python3.
    void expectProfileKeepsTheCameras(const std::filesystem::path& profile) const
    {
        const auto parsed =
            runCapture(std::string(kPython) +
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
        for (const Slot& s : m_slots)
            expected += std::string(s.name) + " " + std::to_string(s.protocol) + " " +
                        std::to_string(s.port) + " -1\n";
        EXPECT_EQ(*parsed, expected);
    }

private:
    static std::string localText(const char* format, std::time_t t)
    {
        std::tm tm{};
        ::localtime_r(&t, &tm);
        char buf[32];
        std::strftime(buf, sizeof buf, format, &tm);
        return buf;
    }

    tessivor::testing::CamSim m_native{{"--rate", "10"}};
    tessivor::testing::CamSim m_videoCgi{{"--rate", "10"}};
    tessivor::testing::CamSim m_mjpegCgi{{"--rate", "10"}};
    tessivor::testing::CamSim m_repeated{{"--rate", "5"}};
    std::array<Slot, 4> m_slots;
};

TEST(ProgramEndToEnd, FourSimulatedCamerasConnectAndTheProfileIsSavedAtTheEnd)
{
    testApp();
    registerModule();
    FourCameras cams;
    TestFolder root("e2e");
    const auto home = root.path() / "home";
    cams.writeProfile(home, false);

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
    cams.expectProfileKeepsTheCameras(profile);
}

TEST(ProgramEnd, SigtermWhileFourCamerasStreamAndRecordClosesTheProgramAsItsLastWindowWould)
{
    registerModule();
    FourCameras cams;
    TestFolder root("sigterm");
    const auto home = root.path() / "home";
    cams.writeProfile(home, true);
    const auto run = runtimeFolder(root.path());
    const auto errors = root.path() / "pellucor.err";
    ProgramProcess program({"--home", home.string()}, {"XDG_RUNTIME_DIR=" + run.string()}, errors);
    ASSERT_TRUE(program.started());

    const auto recordings = [&](int n) {
        return home / "recordings" / ("CAM" + std::to_string(n) + "_" + cams.slot(n).name);
    };
    // The camera's daily log files (two when the test runs across midnight).
    const auto logText = [&](int n) {
        std::string text;
        std::error_code ec;
        const auto folder = home / "Log" / ("Cam" + std::to_string(n) + "Log");
        for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            text += fileText(it->path());
        return text;
    };
    const auto recordedBytes = [&](int n) {
        std::uintmax_t bytes = 0;
        std::error_code ec;
        for (std::filesystem::directory_iterator it(recordings(n), ec), end; !ec && it != end;
             it.increment(ec))
            bytes += it->file_size(ec);
        return bytes;
    };
    // Every camera streams (its log says so) and records (its folder grows).
    const bool running = waitFor(
        [&] {
            for (int n = 1; n <= 4; ++n)
                if (logText(n).find("    Camera connected.") == std::string::npos ||
                    recordedBytes(n) < 100000)
                    return false;
            return true;
        },
        std::chrono::seconds(90));
    ASSERT_TRUE(running) << fileText(errors);

    const auto profile = home / "main.ini";
    std::filesystem::remove(profile);
    program.signal(SIGTERM);
    const auto status = program.waitForEnd(std::chrono::seconds(5));
    ASSERT_TRUE(status.has_value()) << "still running 5 s after SIGTERM";
    // It ends by the signal, as whoever sent it expects, after its own close.
    EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGTERM) << *status;
    EXPECT_FALSE(std::filesystem::exists(run / "pellucor.lock"));

    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE(n);
        // The session's lines and those of the close: the recording and the camera stopped.
        const std::string log = logText(n);
        for (const char* line : {"    Camera started.", "    Camera connected.", "    Recording started.",
                                 "    Recording stopped.", "    Camera stopped."})
            EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log << fileText(errors);
        // Every recording is a whole file that ffprobe reads to its end.
        int files = 0;
        for (const auto& e : std::filesystem::directory_iterator(recordings(n))) {
            ++files;
            EXPECT_EQ(e.path().extension(), ".avi");
            const auto probe = runCapture("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                          "stream=codec_name,nb_read_frames -of csv=p=0 '" +
                                          e.path().string() + "' 2>&1");
            ASSERT_TRUE(probe.has_value()) << e.path();
            EXPECT_EQ(probe->rfind("mjpeg,", 0), 0u) << *probe;
            EXPECT_GT(std::atoi(probe->c_str() + 6), 0) << *probe;
        }
        EXPECT_GE(files, 1);
    }
    if (!pythonAvailable())
        GTEST_SKIP() << "Debian's python3 is missing: the saved profile is not read back";
    cams.expectProfileKeepsTheCameras(profile);
}

TEST(ProgramEnd, ASignalThatFindsAMessageBoxOrAWaitClosesTheProgramThereAndEndsIt)
{
    testApp();
    registerModule();
    enum class Where
    {
        EventLoop,  // nothing else runs: the close, then the event loop ends
        MessageBox, // a question waits for its answer
        Wait,       // a wait that lets events run (the engine's while a camera starts)
    };
    struct Case
    {
        Where where;
        int signal;
        const char* name;
    };
    const Case cases[] = {{Where::EventLoop, SIGTERM, "loop"},
                          {Where::MessageBox, SIGHUP, "box"},
                          {Where::Wait, SIGINT, "wait"}};
    for (const auto& [where, signal, name] : cases) {
        SCOPED_TRACE(name);
        TestFolder root(std::string("signal-") + name);
        const auto home = root.path() / "home";
        {
            // One camera, assigned and left stopped: the close logs its stop.
            AppState s;
            s.paths.homeDir = home;
            InitGlobals(s, std::time(nullptr));
            s.cam(1).Assign = true;
            s.cam(1).IPAddress = "192.0.2.1";
            s.cam(1).ServerName = "Gate";
            ASSERT_TRUE(SaveSetting(s));
        }
        const auto lock = root.path() / "lock";
        ProgramOptions options;
        options.home = home;
        options.exePath = std::filesystem::path(TESSIVOR_BINARY_DIR) / "app" / "windows" / "pellucor";
        options.lockPath = QString::fromStdString(lock.string());
        int endedInPlace = 0;
        options.endInPlace = [&](int s) { endedInPlace = s; };
        {
            Program program(options);
            ASSERT_EQ(program.start(), Program::StartResult::Running);
            const auto profile = home / "main.ini";
            std::filesystem::remove(profile);
            QTimer::singleShot(100, [signal] { ::kill(::getpid(), signal); });
            QElapsedTimer waited;
            waited.start();
            switch (where) {
            case Where::EventLoop:
                waitUntil([&] { return program.windows().shutDown(); });
                break;
            case Where::MessageBox: {
                // Answered only once the program has ended (or a stuck test has waited long enough).
                QTimer answer;
                QObject::connect(&answer, &QTimer::timeout, [&] {
                    if (endedInPlace != 0 || waited.elapsed() > 20000)
                        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                            box->done(QMessageBox::No);
                });
                answer.start(10);
                program.ui().messageBox(program.panel(), "Erase the camera?", 52);
                break;
            }
            case Where::Wait:
                while (!program.windows().shutDown() && waited.elapsed() < 20000) {
                    program.ui().processEvents();
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
                break;
            }
            EXPECT_TRUE(program.windows().shutDown());
            EXPECT_EQ(program.endSignal(), signal);
            // Only inside the box or the wait does the process end where the close ran, and
            // has let the lock go first.
            EXPECT_EQ(endedInPlace, where == Where::EventLoop ? 0 : signal);
            EXPECT_EQ(std::filesystem::exists(lock), where == Where::EventLoop);
            EXPECT_TRUE(std::filesystem::exists(profile)); // saved by the close
            const auto logs = home / "Log" / "Cam1Log";
            std::string log;
            std::error_code ec;
            for (std::filesystem::directory_iterator it(logs, ec), end; !ec && it != end; it.increment(ec))
                log += fileText(it->path());
            EXPECT_NE(log.find("   192.0.2.1   Gate\r\n    Camera stopped.\r\n"), std::string::npos) << log;
        }
        EXPECT_FALSE(std::filesystem::exists(lock));
    }
}

} // namespace
