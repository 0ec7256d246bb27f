// Adding a camera of the multipart family end to end, in a network of namespaces that the test
// makes itself (netns_lab.h; skipped with the reason when it cannot): a simulated camera of that
// family (its web server on port 80) answers the real controls of the search dialog and of the
// add-by-address dialog (created by ProgID, called late-bound). Both ways find it as a web-form
// camera, always ask for the credentials, take a refusal by the camera's login page and a retry,
// and hand back the camera with its web port and the credentials that the camera accepted.
#include "dialog_test_support.h"
#include "netns_lab.h"
#include "register_module.h"

#include "app/core/control_adapter.h"
#include "app/setup/add_cam_dialog.h"
#include "app/setup/browse_dialog.h"
#include "app/setup/dispatch_setup_control.h"
#include "app/skin/message_pump.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace pellucor;
using namespace dialogtest;

namespace {

constexpr const char* kCameraAddress = "198.18.0.11";
constexpr const char* kCameraMac = "0.13.136.4.5.6";

tessivor::testing::NetnsLab* g_lab = nullptr;
std::string g_cameraError;

// The lab is built before any thread exists: the process then lives in its host namespace.
class LabEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        g_lab = new tessivor::testing::NetnsLab();
        if (!g_lab->ready())
            return;
        try {
            g_lab->startCamera("a", TESSIVOR_CAMSIM_EXE, {"--address",  kCameraAddress,   "--any-address",
                                                          "--mac",      kCameraMac,       "--native-port",
                                                          "-1",         "--control-port", "-1",
                                                          "--family",   "multipart",      "--udp-any",
                                                          "--udp-port", "62976",          "--http-port",
                                                          "80",         "--web-port",     "80",
                                                          "--name",     "Hall",           "--model",
                                                          "MP-2",       "--serial",       "MP-0042",
                                                          "--user",     "admin",          "--password",
                                                          "s3cret"});
        } catch (const std::exception& e) {
            g_cameraError = e.what();
        }
    }
    void TearDown() override
    {
        delete g_lab;
        g_lab = nullptr;
    }
};

[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new LabEnvironment);

std::unique_ptr<SetupControl> makeControl()
{
    std::string why;
    return std::unique_ptr<SetupControl>(DispatchSetupControl::create(kControlProgId, &why));
}

// The search dialog's part that both ways share: its real control, a search that lists the
// camera, and the prompts it shows.
struct SearchRig
{
    SearchRig() : context(home.state)
    {
        context.prompts = &prompts;
        std::string error;
        control = DispatchSetupControl::create(kControlProgId, &error);
        EXPECT_TRUE(control) << error;
        dialog = std::make_unique<BrowseDialog>(context, *control, values, nullptr, makeControl);
        dialog->show(); // starts the search
    }
    bool listed()
    {
        auto& list = child<QTreeWidget>(*dialog, "ListViewSearch");
        return waitUntil([&] { return !dialog->isBusy() && list.topLevelItemCount() > 0; }, 60000);
    }
    void expectCamera(const char* typedUser, const char* typedPassword)
    {
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(values.IPAddress, kCameraAddress);
        EXPECT_EQ(values.MacAddress, kCameraMac);
        EXPECT_EQ(values.Protocol, 4);
        EXPECT_EQ(values.Port, 80);
        EXPECT_EQ(values.ServerModel, "MP-2");
        EXPECT_EQ(values.UserName, typedUser);
        EXPECT_EQ(values.Password, typedPassword);
    }

    TestHome home;
    MessagePump pump;
    ScriptedPrompts prompts;
    DialogContext context;
    std::unique_ptr<DispatchSetupControl> control;
    BrowseValues values;
    std::unique_ptr<BrowseDialog> dialog;
};

// Types a wrong password, then the right one.
void loginWrongThenRight(ModalDriver& driver, std::string* shownAgain)
{
    driver.then<LoginDialog>([](LoginDialog& d) {
        child<QLineEdit>(d, "txtUserName").setText("admin");
        child<QLineEdit>(d, "txtPassword").setText("wrong");
        clickLater(d, "cmdOK");
    });
    driver.then<LoginDialog>([shownAgain](LoginDialog& d) {
        *shownAgain = child<QLineEdit>(d, "txtPassword").text().toStdString();
        child<QLineEdit>(d, "txtPassword").setText("s3cret");
        clickLater(d, "cmdOK");
    });
}

class SetupMultipart : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!g_lab || !g_lab->ready())
            GTEST_SKIP() << "no network namespaces: " << (g_lab ? g_lab->error() : "no lab");
        ASSERT_EQ(g_cameraError, "");
        registerModule();
    }
};

TEST_F(SetupMultipart, SearchAndAddAsksForTheLoginAndRetriesARefusal)
{
    SearchRig rig;
    ASSERT_TRUE(rig.listed()) << "the search found nothing";
    auto& list = child<QTreeWidget>(*rig.dialog, "ListViewSearch");
    ASSERT_EQ(list.topLevelItemCount(), 1);
    EXPECT_EQ(list.topLevelItem(0)->text(0).toStdString(), "Hall");
    EXPECT_EQ(list.topLevelItem(0)->text(1).toStdString(), kCameraAddress);

    ModalDriver driver;
    std::string shownAgain;
    loginWrongThenRight(driver, &shownAgain);
    rig.dialog->add();
    ASSERT_TRUE(waitUntil([&] { return !rig.values.Cancelled; }, 60000))
        << "not logged in; messages: " << rig.prompts.boxes.size();
    EXPECT_TRUE(driver.done());
    EXPECT_EQ(shownAgain, "wrong");
    EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{rig.dialog->texts().message(4).toStdString()});
    rig.expectCamera("admin", "s3cret");
}

TEST_F(SetupMultipart, AddByAddressProbesItAsAWebFormCameraAndLogsIn)
{
    SearchRig rig;
    ASSERT_TRUE(rig.listed()) << "the search found nothing";

    ModalDriver driver;
    std::string refusedText;
    driver.then<AddCamDialog>([&](AddCamDialog& d) {
        refusedText = d.texts().message(3).toStdString();
        QTest::keyClicks(&child<QLineEdit>(d, "txtIPAddress"), kCameraAddress);
        QTest::mouseClick(&child<QPushButton>(d, "cmdAdd"), Qt::LeftButton);
    });
    std::string shownAgain;
    loginWrongThenRight(driver, &shownAgain);
    rig.dialog->inputIP(); // returns when the add dialog has ended
    EXPECT_TRUE(driver.done()) << driver.pending() << " steps left; messages: " << rig.prompts.boxes.size();
    EXPECT_EQ(shownAgain, "wrong");
    EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{refusedText});
    EXPECT_FALSE(rig.values.Cancelled);
    EXPECT_TRUE(rig.values.IsLocalCamera) << "the search had listed it";
    rig.expectCamera("admin", "s3cret");
}

} // namespace
