// The password check against known values: exact comparison, ID first, retries without limit.
#include "dialog_test_support.h"
#include "fake_setup_control.h"

#include "app/setup/password_check_dialog.h"

#include <QLineEdit>
#include <QPushButton>

using namespace pellucor;
using namespace dialogtest;

namespace {

TEST(PasswordCheckDialog, ExactValuesPassOthersGetTheirMessageAndAnotherTry)
{
    TestHome home;
    ScriptedPrompts prompts;
    DialogContext ctx(home.state);
    ctx.prompts = &prompts;
    PasswordCheckValues v;
    v.ExpectedID = "admin";
    v.ExpectedPassword = "pw";
    PasswordCheckDialog d(ctx, v, nullptr);
    d.show();
    struct Try
    {
        const char* id;
        const char* password;
        int message; // 0: accepted
    };
    const Try tries[] = {{"admin ", "pw", 2}, {"admin", "pw ", 1}, {"Admin", "x", 2}, {"admin", "pw", 0}};
    for (const Try& t : tries) {
        prompts.boxes.clear();
        child<QLineEdit>(d, "txtAdminID").setText(t.id);
        child<QLineEdit>(d, "txtPassword").setText(t.password);
        click(d, "cmdOK");
        if (t.message) {
            ASSERT_EQ(prompts.boxes.size(), 1u) << t.id;
            EXPECT_EQ(prompts.boxes[0].text, d.texts().message(t.message).toStdString());
            EXPECT_TRUE(d.isVisible());
            EXPECT_FALSE(v.PasswordOK);
        } else {
            EXPECT_TRUE(prompts.boxes.empty());
            EXPECT_TRUE(v.PasswordOK);
            EXPECT_FALSE(v.Cancelled);
            EXPECT_FALSE(d.isVisible());
        }
    }
}

TEST(PasswordCheckDialog, CloseBoxCancels)
{
    TestHome home;
    DialogContext ctx(home.state);
    ModalDriver driver;
    driver.then<PasswordCheckDialog>([](PasswordCheckDialog& d) { later([&d] { d.close(); }); });
    EXPECT_FALSE(checkKnownPassword(ctx, "", "", nullptr));
    EXPECT_TRUE(driver.done());
}

// Checks by the camera: mode 1 against the current camera with the dialog's own control, mode 2
// against a found camera over the broadcast setup protocol.
struct CameraCheckRig
{
    explicit CameraCheckRig(std::int32_t mode, std::int32_t protocol = 0) : ctx(home.state)
    {
        ctx.prompts = &prompts;
        CamInfo& cam = home.state.cam(2);
        cam.IPAddress = "10.0.0.5";
        cam.Port = 8088;
        cam.Protocol = protocol;
        cam.IsLocalCamera = false;
        home.state.settings.ProxyServerAddress = "proxy.lan";
        home.state.settings.ProxyServerPort = 3128;
        control.probed = {"10.0.0.5", "Door", "0.1.2.3.4.5", 0};
        values.CheckMode = mode;
        values.Camera = 2;
        values.IPAddress = "10.0.0.9";
        values.MacAddress = "0.1.2.3.4.9";
        dialog = std::make_unique<PasswordCheckDialog>(ctx, values, nullptr, &control);
        dialog->show();
    }
    void type(const char* id, const char* password)
    {
        prompts.boxes.clear();
        child<QLineEdit>(*dialog, "txtAdminID").setText(id);
        child<QLineEdit>(*dialog, "txtPassword").setText(password);
        click(*dialog, "cmdOK");
    }
    std::string message(int k) { return dialog->texts().message(k).toStdString(); }

    TestHome home;
    ScriptedPrompts prompts;
    DialogContext ctx;
    FakeSetupControl control;
    PasswordCheckValues values;
    std::unique_ptr<PasswordCheckDialog> dialog;
};

TEST(PasswordCheckByCamera, Protocol1CameraIsAskedForItsConfigurationWithTheTrimmedValues)
{
    CameraCheckRig rig(1, 1);
    rig.control.configResult = 0;
    rig.type(" admin ", " bad");
    EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{rig.message(3)});
    EXPECT_TRUE(rig.dialog->isVisible());
    EXPECT_EQ(rig.control.user, "admin");
    EXPECT_EQ(rig.control.password, "bad");
    EXPECT_EQ(rig.control.host, "10.0.0.5");
    EXPECT_EQ(rig.control.port, 8088);
    EXPECT_EQ(rig.control.protocol, 1);
    EXPECT_FALSE(rig.control.localCamera);
    EXPECT_EQ(rig.control.proxyAddress, "proxy.lan");
    EXPECT_EQ(rig.control.proxyPort, 3128);
    rig.control.configResult = -1;
    rig.type("admin", "good");
    EXPECT_TRUE(rig.values.PasswordOK);
    EXPECT_FALSE(rig.dialog->isVisible());
    EXPECT_EQ(rig.control.count("ProbeDevice 1"), 0);
}

TEST(PasswordCheckByCamera, OtherCamerasAreProbedAndTheirAdministratorFieldsCompared)
{
    struct Case
    {
        const char* adminName;
        const char* adminPassword;
        const char* id;
        const char* password;
        bool ok;
    };
    const Case cases[] = {
        {"", "", "anyone", "anything", true}, // no administrator password: any values pass
        {"admin", "pw", " admin", "pw ", true},
        {"admin", "pw", "admin", "PW", false},
        {"admin", "", "admin", "", true},
    };
    for (const Case& c : cases) {
        CameraCheckRig rig(1, 0);
        rig.control.adminName = c.adminName;
        rig.control.adminPassword = c.adminPassword;
        rig.control.probed.protocol = 4;
        rig.type(c.id, c.password);
        EXPECT_EQ(rig.control.calls, std::vector<std::string>{"ProbeDevice 1"});
        // The buttons wait for the probe.
        EXPECT_FALSE(child<QPushButton>(*rig.dialog, "cmdOK").isEnabled());
        EXPECT_FALSE(child<QPushButton>(*rig.dialog, "cmdCancel").isEnabled());
        rig.control.events->onEndProbeDevice(-1);
        EXPECT_EQ(rig.control.index, -1);
        EXPECT_EQ(rig.control.protocol, 4);
        EXPECT_EQ(rig.control.mac, "0.1.2.3.4.5");
        EXPECT_EQ(rig.control.port, 8088);
        EXPECT_EQ(rig.values.PasswordOK, c.ok) << c.id;
        EXPECT_EQ(rig.dialog->isVisible(), !c.ok);
        EXPECT_TRUE(child<QPushButton>(*rig.dialog, "cmdOK").isEnabled());
        if (!c.ok) {
            EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{rig.message(3)});
        }
    }
}

TEST(PasswordCheckByCamera, UnreachableCameraEndsCancelledAndTheCloseBoxCancelsAProbe)
{
    for (const char* failure : {"probe", "config"}) {
        CameraCheckRig rig(1, 0);
        rig.control.configResult = 0;
        rig.type("admin", "pw");
        rig.control.events->onEndProbeDevice(std::string(failure) == "probe" ? 0 : -1);
        EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{rig.message(4)}) << failure;
        EXPECT_EQ(rig.prompts.boxes[0].style, MsgStyle::Critical);
        EXPECT_TRUE(rig.values.Cancelled);
        EXPECT_FALSE(rig.values.PasswordOK);
        EXPECT_FALSE(rig.dialog->isVisible());
    }
    CameraCheckRig rig(1, 0);
    rig.type("admin", "pw");
    rig.dialog->close();
    EXPECT_FALSE(rig.dialog->isVisible());
    EXPECT_TRUE(rig.values.Cancelled);
    rig.control.events->onEndProbeDevice(-1); // late: changes nothing
    EXPECT_FALSE(rig.values.PasswordOK);
    EXPECT_TRUE(rig.prompts.boxes.empty());
}

TEST(PasswordCheckByCamera, FoundCameraAcceptsOnlyTheBroadcastAnswer3)
{
    for (std::int32_t answer : {3, 2, 0}) {
        CameraCheckRig rig(2);
        rig.control.checkBroadcastResult = answer;
        rig.type(" admin", "pw ");
        EXPECT_EQ(rig.control.checkedCredentials, std::vector<std::string>{"admin/pw"});
        EXPECT_EQ(rig.control.host, "10.0.0.9");
        EXPECT_EQ(rig.control.mac, "0.1.2.3.4.9");
        EXPECT_EQ(rig.control.port, 8481);
        EXPECT_EQ(rig.control.protocol, 0);
        EXPECT_EQ(rig.values.PasswordOK, answer == 3) << answer;
        EXPECT_EQ(rig.dialog->isVisible(), answer != 3);
        // The search dialog's control keeps its own events.
        EXPECT_EQ(rig.control.events, nullptr);
    }
}

} // namespace
