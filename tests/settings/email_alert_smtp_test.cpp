// The e-mail settings dialog end to end: its OK hands the settings to a real control (created by
// ProgID), whose alert job then mails a picture to a real SMTP server (aiosmtpd) with the
// dialog's sender, recipient, subject and login.
//
// The control sends to port 25. The program runs in a network namespace of its own, made in
// main() before any thread starts, so the server can take port 25 on a loopback nobody else
// uses. Without a namespace (or without aiosmtpd) the test reports itself skipped.
#include "settings_test_support.h"

#include "../app_core/jpeg_pictures.h"

#include "app/core/control_adapter.h"
#include "platform/com_module.h"
#include "platform/control_window.h"
#include "platform/registration.h"

#include <QLineEdit>
#include <QProcess>

#include <dlfcn.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

using namespace settingstest;
namespace fs = std::filesystem;

namespace {

std::string g_namespaceError;

// A network namespace of this process with its loopback up; the reason when there is none.
std::string enterOwnNetwork()
{
    if (::unshare(CLONE_NEWNET) != 0)
        return std::string("unshare: ") + std::strerror(errno);
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0)
        return std::string("socket: ") + std::strerror(errno);
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    std::string error;
    if (::ioctl(s, SIOCGIFFLAGS, &ifr) != 0) {
        error = std::string("SIOCGIFFLAGS: ") + std::strerror(errno);
    } else {
        ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
        if (::ioctl(s, SIOCSIFFLAGS, &ifr) != 0)
            error = std::string("SIOCSIFFLAGS: ") + std::strerror(errno);
    }
    ::close(s);
    return error;
}

bool registerModule(std::string& error)
{
    void* module = ::dlopen(TESSIVOR_MODULE_FILE, RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        error = ::dlerror();
        return false;
    }
    auto reg = reinterpret_cast<tessivor::DllRegisterServerFn>(::dlsym(module, "DllRegisterServer"));
    return reg && reg() == tessivor::S_OK;
}

struct NoEvents : CameraEvents
{
    std::vector<std::int32_t> codes;
    void onImageEvent(int, std::int32_t code) override { codes.push_back(code); }
    void onEndGetImageConfig(int, std::int32_t, const std::int16_t[7]) override {}
};

TEST(EMailAlert, TheDialogsSettingsSendATestAlertThroughARealServer)
{
    if (!g_namespaceError.empty())
        GTEST_SKIP() << "no network namespace of our own: " << g_namespaceError;
    if (QProcess::execute("/usr/bin/python3", {"-c", "import aiosmtpd"}) != 0)
        GTEST_SKIP() << "python3-aiosmtpd is not installed";

    TestHome home;
    std::string error;
    ASSERT_TRUE(registerModule(error)) << error;
    NoEvents events;
    auto real = DispatchCamera::create(kControlProgId, 1, &events, &error);
    ASSERT_TRUE(real) << error;
    DispatchCamera& control = *real;

    // The engine with the real control in slot 1 and recording fakes elsewhere.
    std::array<std::unique_ptr<CameraControl>, kCameraCount> own;
    own[0] = std::move(real);
    enginetest::EngineRig rig(home.state, 1000, nullptr, std::move(own));
    Engine& engine = *rig.engine;
    const auto& trace = rig.trace;

    const fs::path store = home.path() / "store";
    fs::create_directories(store);
    QProcess server;
    server.start("/usr/bin/python3",
                 {QString(TESSIVOR_SOURCE_DIR) + "/tests/mail/peers/smtp_server.py",
                  QString::fromStdString(store.string()), "alarm-user", "s3cret pass", "25"});
    ASSERT_TRUE(server.waitForStarted(30000));
    ASSERT_TRUE(
        waitUntil([&] { return server.canReadLine() || server.state() == QProcess::NotRunning; }, 60000));
    ASSERT_EQ(server.readLine().trimmed(), "PORT 25") << server.readAllStandardError().toStdString();

    SettingsContext context(home.state, engine);
    ScriptedPrompts prompts;
    context.prompts = &prompts;
    EMailSettingsResult result;
    {
        EMailSettingsDialog d(context, home.state.CurCam, result);
        d.show();
        find<QLineEdit>(d, "txtMailServer").setText("127.0.0.1");
        find<QLineEdit>(d, "txtMailFrom").setText("Door camera <cam@example.test>");
        find<QLineEdit>(d, "txtMailTo").setText("owner@example.test");
        find<QLineEdit>(d, "txtMailSubject").setText("Motion at the door");
        find<QLineEdit>(d, "txtUserName").setText("alarm-user");
        find<QLineEdit>(d, "txtPassword").setText("s3cret pass");
        find<QLineEdit>(d, "txtIntervalTime").setText("0");
        click(d, "cmdOK");
    }
    ASSERT_FALSE(result.Cancelled);
    ASSERT_TRUE(prompts.boxes.empty());
    EXPECT_EQ(trace.count("Cam(4).SendMailID = \"\""), 1u);

    // The test alert: the control's own mail job with a picture.
    const fs::path picture = home.path() / "alert.jpg";
    ASSERT_GT(pictures::stripes(picture, 3).size(), 1000u) << "cjpeg is missing";
    control.put(TextProp::EMailFileName, picture.string());
    EXPECT_EQ(control.SendEmail(), -1);
    const fs::path message = store / "msg-1.eml";
    const bool arrived = waitUntil(
        [&] {
            tessivor::messageLoop::pump();
            return fs::exists(store / "msg-1.env");
        },
        120000);
    server.closeWriteChannel();
    server.waitForFinished(10000);
    ASSERT_TRUE(arrived) << "no message; control events:" << ::testing::PrintToString(events.codes);
    const std::string envelope = fileText(store / "msg-1.env");
    EXPECT_NE(envelope.find("from cam@example.test\n"), std::string::npos) << envelope;
    EXPECT_NE(envelope.find("to owner@example.test\n"), std::string::npos) << envelope;
    EXPECT_NE(envelope.find("auth alarm-user\n"), std::string::npos) << envelope;
    EXPECT_NE(fileText(message).find("Subject: Motion at the door"), std::string::npos);
}

} // namespace

int main(int argc, char** argv)
{
    g_namespaceError = enterOwnNetwork();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
