// Dialogs that wait for a camera which does not answer: the add-by-address dialog's configuration
// read, the search dialog's change of a found camera's address and the password check by the
// current camera. The silent camera is a loopback TCP peer that takes the connection and never
// answers, reached through the real control; the user-interface thread must go on meanwhile (a
// timer of it keeps ticking), with the waiting dialog's inputs off and the busy pointer, and the
// dialog must end the way it did when the call held the thread.
#include "../app_core/register_module.h"
#include "dialog_test_support.h"
#include "fake_setup_control.h"

#include "app/core/control_adapter.h"
#include "app/setup/add_cam_dialog.h"
#include "app/setup/browse_dialog.h"
#include "app/setup/dispatch_setup_control.h"
#include "app/setup/password_check_dialog.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>

using namespace pellucor;
using namespace dialogtest;

namespace {

// A camera that takes TCP connections on loopback and never says a word: the kernel completes
// the connections in the listening queue, nobody reads or writes.
class SilentTcpPeer
{
public:
    SilentTcpPeer()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(m_fd, 16) != 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &size) != 0)
            return;
        m_port = ntohs(a.sin_port);
    }
    ~SilentTcpPeer()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    SilentTcpPeer(const SilentTcpPeer&) = delete;
    SilentTcpPeer& operator=(const SilentTcpPeer&) = delete;

    int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

// A timer of the user-interface thread that watches a waiting window. While `inCall` is set (by
// the camera call, on whatever thread it runs) each tick is counted, with whether the window's
// inputs were on and whether the pointer was anything but the busy one.
class UiWatch
{
public:
    explicit UiWatch(QWidget* window) : m_window(window)
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (!inCall.load())
                return;
            ++ticksInCall;
            enabledInCall |= m_window->isEnabled();
            const QCursor* cursor = QGuiApplication::overrideCursor();
            otherCursorInCall |= !cursor || cursor->shape() != Qt::WaitCursor;
        });
        m_timer.start();
    }

    std::atomic<bool> inCall{false};
    int ticksInCall = 0;
    bool enabledInCall = false;
    bool otherCursorInCall = false;

private:
    QWidget* m_window;
    QTimer m_timer;
};

// The real control aimed at the silent peer over the web protocol.
std::unique_ptr<DispatchSetupControl> silentControl(const SilentTcpPeer& peer)
{
    std::string error;
    auto real = DispatchSetupControl::create(kControlProgId, &error);
    EXPECT_TRUE(real) << error;
    if (!real)
        return real;
    real->setRemoteHost("127.0.0.1");
    real->setRemotePort(peer.port());
    real->setProtocol(1);
    return real;
}

// The scripted control of the dialog tests, whose configuration read goes to the silent camera
// through the real control, with the watch told when it starts and ends.
class SilentConfigControl : public FakeSetupControl
{
public:
    SilentConfigControl(const SilentTcpPeer& peer) : m_real(silentControl(peer)) {}
    void watch(UiWatch* w) { m_watch = w; }

    std::int32_t getConfig(std::int32_t mode) override
    {
        calls.push_back("GetConfig");
        if (m_watch)
            m_watch->inCall.store(true);
        const std::int32_t r = m_real ? m_real->getConfig(mode) : -1;
        if (m_watch)
            m_watch->inCall.store(false);
        return r;
    }

private:
    std::unique_ptr<DispatchSetupControl> m_real;
    UiWatch* m_watch = nullptr;
};

class CameraWait : public ::testing::Test
{
protected:
    void SetUp() override
    {
        registerModule();
        ASSERT_NE(peer.port(), 0) << "no loopback listening socket";
        context.prompts = &prompts;
        context.pause = [](std::uint32_t) {};
    }

    TestHome home;
    DialogContext context{home.state};
    ScriptedPrompts prompts;
    SilentTcpPeer peer;
};

TEST_F(CameraWait, AddByAddressReadsTheConfigurationWhileTheProgramRuns)
{
    SilentConfigControl control(peer);
    AddCamValues values;
    AddCamDialog dialog(context, control, values, {}, nullptr);
    dialog.show();
    UiWatch watch(&dialog);
    control.watch(&watch);
    control.probed = {"", "Door", "0.13.136.1.2.3", 1, 0};

    QLineEdit& address = child<QLineEdit>(dialog, "txtIPAddress");
    QTest::keyClicks(&address, "127.0.0.1");
    QTest::mouseClick(&child<QPushButton>(dialog, "cmdAdd"), Qt::LeftButton);
    ASSERT_EQ(control.calls, std::vector<std::string>{"ProbeDevice 1"});

    // The camera answered the probe; its configuration does not come: after the read has given up
    // the dialog asks for credentials, as for a camera that wants them.
    ModalDriver driver;
    bool loginShown = false;
    driver.then<LoginDialog>([&](LoginDialog& d) {
        loginShown = true;
        clickLater(d, "cmdCancel");
    });
    control.events->onEndProbeDevice(-1);
    ASSERT_TRUE(waitUntil([&] { return driver.done(); }, 60000));

    EXPECT_GT(watch.ticksInCall, 0) << "the user-interface thread stood still during the read";
    EXPECT_FALSE(watch.enabledInCall);
    EXPECT_FALSE(watch.otherCursorInCall);
    EXPECT_TRUE(loginShown);
    EXPECT_EQ(control.count("GetConfig"), 1);
    EXPECT_TRUE(prompts.boxes.empty());
    // Cancelled at the login: the address is there to be typed again.
    EXPECT_TRUE(values.Cancelled);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.isEnabled());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(CameraWait, ChangeAddressReadsTheConfigurationWhileTheProgramRuns)
{
    SilentConfigControl control(peer);
    control.devices = {{"127.0.0.1", "Door", "0.1.2.3.4.5", 0}};
    control.authNeeded = 0; // the broadcast query after the failed read gets no answer either
    BrowseValues values;
    BrowseDialog dialog(context, control, values, nullptr);
    dialog.show();
    control.reportAll();
    ASSERT_FALSE(dialog.isBusy());
    ASSERT_EQ(child<QTreeWidget>(dialog, "ListViewSearch").topLevelItemCount(), 1);
    control.calls.clear();
    UiWatch watch(&dialog);
    control.watch(&watch);

    QTest::mouseClick(&child<QPushButton>(dialog, "cmdChangeIPAddress"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !prompts.boxes.empty(); }, 60000));

    EXPECT_GT(watch.ticksInCall, 0) << "the user-interface thread stood still during the read";
    EXPECT_FALSE(watch.enabledInCall);
    EXPECT_FALSE(watch.otherCursorInCall);
    // The configuration was not read: the broadcast way was asked, and its silence is reported.
    const std::vector<std::string> expected{"GetConfig", "IsRequireAuthenticationBroadcast"};
    EXPECT_EQ(control.calls, expected);
    EXPECT_EQ(prompts.texts(), std::vector<std::string>{dialog.texts().message(3).toStdString()});
    EXPECT_FALSE(dialog.isBusy());
    EXPECT_TRUE(dialog.isEnabled());
    EXPECT_TRUE(child<QPushButton>(dialog, "cmdChangeIPAddress").isEnabled());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// The current camera checks the typed password itself (its configuration read with them): the
// dialog's own real control, the camera silent.
TEST_F(CameraWait, PasswordCheckByTheCameraWaitsWhileTheProgramRuns)
{
    std::string error;
    auto control = DispatchSetupControl::create(kControlProgId, &error);
    ASSERT_TRUE(control) << error;
    CamInfo& cam = home.state.cam(1);
    cam.Protocol = 1;
    cam.IPAddress = "127.0.0.1";
    cam.Port = peer.port();
    PasswordCheckValues values;
    values.CheckMode = 1;
    values.Camera = 1;
    PasswordCheckDialog dialog(context, values, nullptr, control.get());
    dialog.show();
    // Here the dialog is disabled only while it waits for the camera.
    int disabledTicks = 0;
    QTimer count;
    QObject::connect(&count, &QTimer::timeout, [&] { disabledTicks += !dialog.isEnabled(); });
    count.start(5);

    QTest::keyClicks(&child<QLineEdit>(dialog, "txtAdminID"), "admin");
    QTest::keyClicks(&child<QLineEdit>(dialog, "txtPassword"), "secret");
    QTest::mouseClick(&child<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !prompts.boxes.empty(); }, 60000));

    EXPECT_GT(disabledTicks, 0) << "the user-interface thread stood still during the check";
    // Refused as a wrong password, the password selected for retyping.
    EXPECT_EQ(prompts.texts(), std::vector<std::string>{dialog.texts().message(3).toStdString()});
    EXPECT_FALSE(values.PasswordOK);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.isEnabled());
    EXPECT_EQ(child<QLineEdit>(dialog, "txtPassword").selectedText(), "secret");
}

} // namespace
