// The firmware update dialog with a camera engine over recording fakes and real TFTP servers on
// loopback: Debian's tftpd-hpa for the good upload, a scripted server for refusals and silence.
#include "../app_core/engine_fakes.h"
#include "../camproto/tftp_peers.h"
#include "dialog_test_support.h"

#include "app/setup/firmware_dialog.h"
#include "app/setup/progress_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <thread>

namespace {

using namespace pellucor;
using namespace dialogtest;
using enginetest::EngineRig;
using enginetest::FakeControl;
using enginetest::Trace;
using tessivor::InvokeKind;
using tessivor::Variant;
namespace tt = tessivor::testing;

// A camera that answers the download request and the probe as the test says. The members in
// `slow` keep their caller waiting, as a camera that does not answer does, until release() (or a
// limit that only a call on the user-interface thread reaches, where nothing can release it).
class FirmwareCamera : public FakeControl
{
public:
    using FakeControl::FakeControl;
    std::int32_t downloadAnswer = 0;
    std::int32_t probeAnswer = -1;
    std::set<std::string, std::less<>> slow;

    struct SlowCall
    {
        std::string member;
        std::thread::id thread;
        bool released = false;
    };
    // The slow call waiting now (number from 1), or 0.
    int waiting()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_waiting;
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_release = true;
        m_changed.notify_all();
    }
    std::vector<SlowCall> slowCalls()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }

protected:
    Variant call(std::string_view member, InvokeKind kind, std::vector<Variant> declared) override
    {
        if (slow.count(member))
            waitForRelease(member);
        Variant r = FakeControl::call(member, kind, declared);
        if (member == "RequestDownload")
            return Variant::i4(downloadAnswer);
        if (member == "ProbeDevice")
            return Variant::i4(probeAnswer);
        return r;
    }

private:
    void waitForRelease(std::string_view member)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_calls.push_back({std::string(member), std::this_thread::get_id()});
        m_waiting = static_cast<int>(m_calls.size());
        m_calls.back().released =
            m_changed.wait_for(lock, std::chrono::seconds(5), [this] { return m_release; });
        m_release = false;
        m_waiting = 0;
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<SlowCall> m_calls;
    int m_waiting = 0;
    bool m_release = false;
};

std::array<std::unique_ptr<CameraControl>, kCameraCount> firstCamera(Trace& trace, FirmwareCamera*& out)
{
    std::array<std::unique_ptr<CameraControl>, kCameraCount> own;
    auto cam = std::make_unique<FirmwareCamera>(1, trace);
    out = cam.get();
    own[0] = std::move(cam);
    return own;
}

struct Rig
{
    Rig()
        : engine(home.state, 1000, nullptr, firstCamera(cameraTrace, camera)),
          context(home.state, *engine.engine)
    {
        context.prompts = &prompts;
        context.pause = [](std::uint32_t) {};
        context.tempFolder = home.path() / "tmp";
        std::filesystem::create_directories(context.tempFolder);
        context.countdownMs = 300;
        context.countdownTickMs = 10;
        context.tftpTimeoutMs = 1500;
        context.refreshConfigButtons = [this] { refreshed++; };
        CamInfo& ci = home.state.cam(1);
        ci.IPAddress = "127.0.0.1";
        ci.Enable = true;
        ci.ServerName = "old name";
        ci.FWVersion = "1.0";
        camera->props["RemoteHost"] = Variant::str("127.0.0.1");
        camera->props["FoundFWVersion"] = Variant::str("2.5");
        camera->props["FoundProtocol"] = Variant::i4(1);
        camera->props["RemotePort"] = Variant::i4(8484);
        camera->props["LocalCamera"] = Variant::boolean(true);
        camera->props["FoundMACAddress"] = Variant::str("0.80.194.1.2.3");
        camera->props["FoundServerModel"] = Variant::str("KX-10");
        camera->props["FoundDeviceName"] = Variant::str("new name");
        camera->props["FoundHWVersion"] = Variant::str("H2");
        camera->props["FoundROMVersion"] = Variant::str("R3");
    }

    std::filesystem::path writeFirmware(std::size_t size)
    {
        bytes = tt::randomFileBytes(size, 26);
        const auto p = home.path() / "camera firmware.bin";
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return p;
    }

    // Runs the update on the dialog as the Update button does.
    void update(const std::filesystem::path& file)
    {
        FirmwareResult result;
        FirmwareDialog dialog(context, 1, result, nullptr);
        child<QLineEdit>(dialog, "txtFirmwareFileName").setText(QString::fromStdString(file.string()));
        click(dialog, "cmdUpdateFirmware");
    }

    // Lines of the camera's calls that start with `prefix`.
    std::size_t count(const std::string& prefix) const
    {
        return static_cast<std::size_t>(
            std::count_if(cameraTrace.lines.begin(), cameraTrace.lines.end(),
                          [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
    }
    bool tempLeft() const { return !std::filesystem::is_empty(context.tempFolder); }

    TestHome home;
    Trace cameraTrace; // camera 1's calls
    FirmwareCamera* camera = nullptr;
    EngineRig engine;
    ScriptedPrompts prompts;
    FirmwareContext context;
    int refreshed = 0;
    tt::Bytes bytes;
};

tt::Bytes readAll(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(FirmwareDialog, UploadsThroughTftpdHpaThenProbesAndRestarts)
{
    if (const std::string why = tt::TftpdHpa::unavailableReason(); !why.empty())
        GTEST_SKIP() << why;
    Rig rig;
    const auto served = rig.home.path() / "served";
    std::filesystem::create_directories(served);
    tt::TftpdHpa server(served);
    rig.context.tftpPort = server.port();
    const auto file = rig.writeFirmware(1024 * 1024);

    std::vector<std::string> progressAtCountdownEnd;
    rig.prompts.onMessage = [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "frmTFTPProgress")
                progressAtCountdownEnd.push_back(child<QLabel>(*w, "lblProgress").text().toStdString());
    };
    rig.update(file);

    // One box: the countdown's completion message, shown while the upload window showed 100%.
    ASSERT_EQ(rig.prompts.boxes.size(), 1u) << rig.prompts.boxes.front().text;
    EXPECT_EQ(rig.prompts.boxes[0].text, "The firmware update is complete.");
    EXPECT_EQ(progressAtCountdownEnd, std::vector<std::string>{"100%"});
    EXPECT_EQ(readAll(served / "TempFW.BIN"), rig.bytes);
    EXPECT_FALSE(rig.tempLeft());
    EXPECT_TRUE(std::filesystem::exists(file)); // the user's file is untouched

    EXPECT_EQ(rig.count("Cam(1).Stop("), 1u);
    EXPECT_EQ(rig.count("Cam(1).RequestDownload("), 1u);
    EXPECT_EQ(rig.count("Cam(1).ProbeDevice(0, False)"), 1u);
    EXPECT_EQ(rig.count("Cam(1).FoundIndex = -1"), 1u);
    const CamInfo& ci = rig.home.state.cam(1);
    EXPECT_EQ(ci.FWVersion, "2.5");
    EXPECT_EQ(ci.Protocol, 1);
    EXPECT_EQ(ci.Port, 8484);
    EXPECT_EQ(ci.MacAddress, "0.80.194.1.2.3");
    EXPECT_EQ(ci.ServerModel, "KX-10");
    EXPECT_EQ(ci.ServerName, "new name");
    EXPECT_EQ(ci.HWVersion, "H2");
    EXPECT_EQ(ci.ROMVersion, "R3");
    EXPECT_EQ(rig.camera->status(), 2); // running again
}

TEST(FirmwareDialog, RefusedDownloadRequestTellsAndRestartsTheCamera)
{
    Rig rig;
    rig.camera->downloadAnswer = 14;
    rig.update(rig.writeFirmware(4096));
    ASSERT_EQ(rig.prompts.boxes.size(), 1u);
    EXPECT_EQ(rig.prompts.boxes[0].text, "The camera refused the firmware download request.");
    EXPECT_EQ(rig.prompts.boxes[0].style, MsgStyle::Exclamation);
    EXPECT_EQ(rig.count("Cam(1).Stop("), 1u);
    EXPECT_EQ(rig.count("Cam(1).ProbeDevice"), 0u);
    EXPECT_EQ(rig.home.state.cam(1).FWVersion, "1.0");
    EXPECT_EQ(rig.camera->status(), 2);
    EXPECT_FALSE(rig.tempLeft());
}

// Files that cannot be sent: nothing is stopped or asked of the camera.
TEST(FirmwareDialog, MissingOrEmptyFileIsRefused)
{
    for (std::size_t size : {std::size_t{0}, std::size_t{1}}) {
        Rig rig;
        const auto file = size == 0 ? rig.writeFirmware(0) : rig.home.path() / "no such.bin";
        rig.update(file);
        ASSERT_EQ(rig.prompts.boxes.size(), 1u) << size;
        EXPECT_EQ(rig.prompts.boxes[0].text, "The firmware file does not exist or is empty.");
        EXPECT_EQ(rig.count("Cam(1).Stop("), 0u);
        EXPECT_EQ(rig.count("Cam(1).RequestDownload"), 0u);
    }
}

TEST(FirmwareDialog, RecordingCameraAndTheAnswerNoTouchesNothing)
{
    Rig rig;
    rig.home.state.cam(1).Recording = true;
    rig.prompts.answers.push_back(Answer::No);
    rig.update(rig.writeFirmware(4096));
    ASSERT_EQ(rig.prompts.boxes.size(), 1u);
    EXPECT_EQ(rig.prompts.boxes[0].style, MsgStyle::YesNoExclamation);
    EXPECT_EQ(rig.refreshed, 1);
    EXPECT_EQ(rig.count("Cam(1).Stop("), 0u);
    EXPECT_EQ(rig.count("Cam(1).RequestDownload"), 0u);
}

// A server that refuses or never answers: one error box, no countdown, the camera is probed
// and runs again, and the temporary copy is gone.
TEST(FirmwareDialog, FailingServerGivesOneErrorAndNoCountdown)
{
    struct Case
    {
        const char* name;
        tt::ScriptedTftpServer::Script script;
    };
    std::vector<Case> cases;
    cases.push_back({"refused", {}});
    cases.back().script.refuseRequest = true;
    cases.push_back({"error mid-way", {}});
    cases.back().script.errorAfterBlock = 3;
    cases.push_back({"silent", {}});
    cases.back().script.silent = true;
    for (auto& c : cases) {
        Rig rig;
        tt::ScriptedTftpServer server(c.script);
        rig.context.tftpPort = server.port();
        bool countdownSeen = false;
        rig.prompts.onMessage = [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == "frmProgress")
                    countdownSeen = true;
        };
        rig.update(rig.writeFirmware(8 * 512 + 100));
        ASSERT_EQ(rig.prompts.boxes.size(), 1u) << c.name;
        EXPECT_EQ(rig.prompts.boxes[0].text, "The firmware transfer failed.") << c.name;
        EXPECT_FALSE(countdownSeen) << c.name;
        EXPECT_EQ(rig.count("Cam(1).ProbeDevice"), 1u) << c.name;
        EXPECT_EQ(rig.camera->status(), 2) << c.name;
        EXPECT_FALSE(rig.tempLeft()) << c.name;
    }
}

// A camera that does not answer keeps the download request, and the probe after the upload, for
// many seconds. The user clicks Update: each call waits on a worker thread while the dialog takes
// no input, shows the busy pointer and refuses its close box and Esc, and the program's timers
// (pictures, the panel clock) go on; then the update goes on with the call's answer.
TEST(FirmwareDialog, SlowCameraCallsWaitOffTheUserInterfaceThread)
{
    struct Case
    {
        const char* name;
        std::int32_t downloadAnswer;
        std::vector<std::string> slow; // the calls seen waiting, in order
        const char* message;
        const char* fwVersion; // in the record afterwards
    };
    const Case cases[] = {
        {"refused request",
         14,
         {"RequestDownload"},
         "The camera refused the firmware download request.",
         "1.0"},
        {"request and probe", 0, {"RequestDownload", "ProbeDevice"}, "The firmware transfer failed.", "2.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.camera->downloadAnswer = c.downloadAnswer;
        rig.camera->slow = {"RequestDownload", "ProbeDevice"};
        tt::ScriptedTftpServer::Script script;
        script.refuseRequest = true; // the upload ends at once
        tt::ScriptedTftpServer server(script);
        rig.context.tftpPort = server.port();
        FirmwareResult result;
        FirmwareDialog dialog(rig.context, 1, result, nullptr);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClicks(&child<QLineEdit>(dialog, "txtFirmwareFileName"),
                         QString::fromStdString(rig.writeFirmware(4096).string()));

        struct Seen
        {
            bool enabled, busy, visibleAfterClose;
            int cursor;
        };
        std::vector<Seen> seen;
        int handled = 0, ticks = 0;
        QTimer clock;
        QObject::connect(&clock, &QTimer::timeout, [&] {
            const int waiting = rig.camera->waiting();
            if (waiting == 0 || waiting == handled)
                return;
            if (++ticks < 3) // the clock goes on while the call waits
                return;
            ticks = 0;
            handled = waiting;
            dialog.close();
            QTest::keyClick(&dialog, Qt::Key_Escape);
            const QCursor* cursor = QApplication::overrideCursor();
            seen.push_back(
                {dialog.isEnabled(), dialog.isBusy(), dialog.isVisible(), cursor ? cursor->shape() : -1});
            rig.camera->release();
        });
        clock.start(5);
        QTest::mouseClick(&child<QPushButton>(dialog, "cmdUpdateFirmware"), Qt::LeftButton);

        const auto calls = rig.camera->slowCalls();
        EXPECT_EQ(calls.size(), c.slow.size());
        EXPECT_EQ(seen.size(), c.slow.size());
        for (std::size_t i = 0; i < std::min({calls.size(), seen.size(), c.slow.size()}); ++i) {
            SCOPED_TRACE(calls[i].member);
            EXPECT_EQ(calls[i].member, c.slow[i]);
            EXPECT_TRUE(calls[i].released);
            EXPECT_NE(calls[i].thread, std::this_thread::get_id());
            EXPECT_FALSE(seen[i].enabled);
            EXPECT_TRUE(seen[i].busy);
            EXPECT_TRUE(seen[i].visibleAfterClose);
            EXPECT_EQ(seen[i].cursor, Qt::WaitCursor);
        }
        // The update went on with the answers.
        EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{c.message});
        EXPECT_EQ(rig.home.state.cam(1).FWVersion, c.fwVersion);
        EXPECT_EQ(rig.camera->status(), 2);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_FALSE(rig.tempLeft());
    }
}

TEST(ProgressWindow, StepAndPercentText)
{
    struct Case
    {
        std::int32_t opTime, interval, step;
    } cases[] = {
        {50000, 100, 2},                   // the program's countdown
        {100000, 100, 1},                  // 1000 / 1000
        {400000, 100, 1},                  // would round to 0: at least 1
        {0, 100, 1000},                    // below one tick: one tick
        {-5, 100, 1000},  {250, 100, 400}, // 1000 / 2.5
        {300, 0, 3},                       // an interval of 0 counts as 1 ms
    };
    for (const Case& c : cases)
        EXPECT_EQ(progressStep(c.opTime, c.interval), c.step) << c.opTime << "/" << c.interval;
    EXPECT_EQ(percentText(5, 1000).toStdString(), "0%");  // 0.5 to even
    EXPECT_EQ(percentText(15, 1000).toStdString(), "2%"); // 1.5 to even
    EXPECT_EQ(percentText(1000, 1000).toStdString(), "100%");
    EXPECT_EQ(percentText(3, 0).toStdString(), "0%");
    EXPECT_EQ(percentText(512, 1048576).toStdString(), "0%");
}

TEST(ProgressWindow, CountsToFullThenHidesAndTells)
{
    TestHome home;
    ScriptedPrompts prompts;
    DialogContext context(home.state);
    context.prompts = &prompts;
    ProgressWindow window(context, 100, nullptr, 10);
    std::string atMessage;
    bool visibleAtMessage = true;
    prompts.onMessage = [&] {
        atMessage = child<QLabel>(window, "lblProgress").text().toStdString();
        visibleAtMessage = window.isVisible();
    };
    EXPECT_EQ(window.runModal(), QDialog::Accepted);
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_EQ(prompts.boxes[0].style, MsgStyle::Information);
    EXPECT_EQ(atMessage, "100%");
    EXPECT_FALSE(visibleAtMessage);
}

TEST(ProgressWindow, PercentTextIsNeverClipped)
{
    TestHome home;
    ScriptedPrompts prompts;
    DialogContext context(home.state);
    context.prompts = &prompts;
    ProgressWindow window(context, 1000000, nullptr, 100000);
    window.show();
    auto& percent = child<QLabel>(window, "lblProgress");
    // The layout has settled on a narrow text; the next text is shown before it settles again.
    percent.setText("0%");
    QApplication::processEvents();
    percent.setText("100%");
    EXPECT_GE(percent.contentsRect().width(), percent.fontMetrics().horizontalAdvance("100%"));
    EXPECT_TRUE(saveScreenshot(window, "progress_100.png"));
    window.hide();
}
