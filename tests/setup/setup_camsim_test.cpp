// Finding, adding and logging in to a camera end to end, in a network of namespaces that the test
// makes itself (netns_lab.h; skipped with the reason when it cannot): a simulated native camera
// that wants a password answers the search dialog's real control (created by ProgID, called
// late-bound); the dialog lists it, reads its configuration, asks for the credentials, takes a
// refusal and a retry, and hands the camera back; put into slot 1, the engine's real control
// streams its pictures into the slot's picture; the password check dialog then checks the
// camera's administrator password by the camera.
#include "dialog_test_support.h"
#include "netns_lab.h"
#include "real_engine.h"

#include "app/core/control_adapter.h"
#include "app/setup/browse_dialog.h"
#include "app/setup/dispatch_setup_control.h"
#include "app/setup/password_check_dialog.h"
#include "app/skin/message_pump.h"
#include "app/skin/ui_services.h"

#include "platform/frame_target.h"

#include <QImage>
#include <QLineEdit>
#include <QTreeWidget>

using namespace pellucor;
using namespace dialogtest;

namespace {

constexpr const char* kCameraAddress = "198.18.0.11";
constexpr const char* kCameraMac = "0.13.136.1.2.255";

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
            g_lab->startCamera("a", TESSIVOR_CAMSIM_EXE,
                               {"--address",  kCameraAddress,   "--any-address",
                                "--mac",      kCameraMac,       "--native-port",
                                "8481",       "--control-port", "-1",
                                "--family",   "native",         "--udp-any",
                                "--udp-port", "62976",          "--http-port",
                                "-1",         "--name",         "Front &#0038; back",
                                "--model",    "NT-1",           "--firmware",
                                "1.19",       "--login-needed", "--challenge",
                                "--user",     "admin",          "--password",
                                "s3cret",     "--rate",         "10"});
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

// Gives the camera an administrator, as its owner would: its configuration block is read,
// the name and password fields are set and the block is written back, through a control.
void setAdministrator(const std::string& name, const std::string& password)
{
    using tessivor::InvokeKind;
    using tessivor::Variant;
    std::string error;
    auto object = createControlObject(kControlProgId, &error);
    ASSERT_TRUE(object) << error;
    auto call = [&](const char* member, InvokeKind kind, std::vector<Variant> args) {
        tessivor::DispId id = 0;
        EXPECT_EQ(object->getIdOfName(member, &id), tessivor::S_OK) << member;
        tessivor::DispParams params = tessivor::DispParams::fromDeclared(std::move(args));
        Variant result;
        EXPECT_EQ(object->invoke(id, kind, params, kind == InvokeKind::PropertyPut ? nullptr : &result),
                  tessivor::S_OK)
            << member;
        std::int32_t n = 0;
        return tessivor::failed(result.toI4(&n)) ? 0 : n;
    };
    call("RemoteHost", InvokeKind::PropertyPut, {Variant::str(kCameraAddress)});
    call("RemotePort", InvokeKind::PropertyPut, {Variant::i4(8481)});
    call("Protocol", InvokeKind::PropertyPut, {Variant::i4(0)});
    call("MACAddress", InvokeKind::PropertyPut, {Variant::str(kCameraMac)});
    ASSERT_EQ(call("GetConfig", InvokeKind::Method, {Variant::i4(0)}), -1);
    call("SetConfigValue", InvokeKind::Method, {Variant::i4(40), Variant::str(name)});
    call("SetConfigValue", InvokeKind::Method, {Variant::i4(41), Variant::str(password)});
    ASSERT_EQ(call("SetConfig", InvokeKind::Method, {Variant::i4(1), Variant::i4(0)}), -1);
}

// The engine's windows with a real picture for slot 1.
class SlotWindows : public enginetest::FakeWindows
{
public:
    using FakeWindows::FakeWindows;
    tessivor::Handle picture = tessivor::frameTargets::create(320, 240);
    ~SlotWindows() override { tessivor::frameTargets::destroy(picture); }
    DrawTarget viewPicture(int) override
    {
        const auto h = static_cast<std::int32_t>(picture);
        return {h, h, 320, 240};
    }
};

TEST(SetupCamsim, SearchAddAndLogInACameraWithAPasswordThenItStreamsInItsSlot)
{
    if (!g_lab || !g_lab->ready())
        GTEST_SKIP() << "no network namespaces: " << (g_lab ? g_lab->error() : "no lab");
    ASSERT_EQ(g_cameraError, "");
    registerModule();
    setAdministrator("admin", "s3cret");
    TestHome home;
    MessagePump pump;
    ScriptedPrompts prompts;
    DialogContext context(home.state);
    context.prompts = &prompts;

    std::string error;
    auto control = DispatchSetupControl::create(kControlProgId, &error);
    ASSERT_TRUE(control) << error;
    BrowseValues values;
    BrowseDialog dialog(context, *control, values, nullptr, [] {
        std::string why;
        return std::unique_ptr<SetupControl>(DispatchSetupControl::create(kControlProgId, &why));
    });
    dialog.show(); // starts the search
    auto& list = child<QTreeWidget>(dialog, "ListViewSearch");
    ASSERT_TRUE(waitUntil([&] { return !dialog.isBusy() && list.topLevelItemCount() > 0; }, 60000))
        << "the search found nothing";
    ASSERT_EQ(list.topLevelItemCount(), 1);
    EXPECT_EQ(list.topLevelItem(0)->text(0).toStdString(), "Front & back");
    EXPECT_EQ(list.topLevelItem(0)->text(1).toStdString(), kCameraAddress);
    EXPECT_EQ(list.topLevelItem(0)->text(2).toStdString(), "00 0D 88 01 02 FF");
    EXPECT_EQ(list.currentItem(), list.topLevelItem(0));
    EXPECT_TRUE(saveScreenshot(dialog, "browse_camsim.png"));

    // The camera's configuration names an administrator: the login dialog opens; a wrong
    // password is refused by the camera and the dialog asks again with what was typed.
    ModalDriver driver;
    driver.then<LoginDialog>([](LoginDialog& d) {
        child<QLineEdit>(d, "txtUserName").setText("admin");
        child<QLineEdit>(d, "txtPassword").setText("wrong");
        clickLater(d, "cmdOK");
    });
    std::string shownAgain;
    driver.then<LoginDialog>([&](LoginDialog& d) {
        shownAgain = child<QLineEdit>(d, "txtPassword").text().toStdString();
        child<QLineEdit>(d, "txtPassword").setText("s3cret");
        clickLater(d, "cmdOK");
    });
    dialog.add();
    ASSERT_TRUE(waitUntil([&] { return !values.Cancelled; }, 60000))
        << "not logged in; messages: " << prompts.boxes.size();
    EXPECT_TRUE(driver.done());
    EXPECT_EQ(shownAgain, "wrong");
    EXPECT_EQ(prompts.texts(), std::vector<std::string>{dialog.texts().message(4).toStdString()});
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(values.IPAddress, kCameraAddress);
    EXPECT_EQ(values.MacAddress, kCameraMac);
    EXPECT_EQ(values.Protocol, 0);
    EXPECT_EQ(values.Port, 8481);
    EXPECT_EQ(values.ServerName, "Front & back");
    EXPECT_EQ(values.ServerModel, "NT-1");
    EXPECT_EQ(values.UserName, "admin");
    EXPECT_EQ(values.Password, "s3cret");

    home.state.settings.Storage(1).Path = (home.path() / "storage").string();
    enginetest::Trace trace;
    QtUiServices ui;
    QtTimerFactory timers;
    SlotWindows windows(home.state, trace);
    enginetest::FakeMessages messages(trace);
    EventLog log(home.state, tessivor::activeClock());
    auto engine = enginetest::makeEngineWithRealControls(
        home.state, enginetest::realTimeServices(timers, ui, windows, messages, log), trace, error);
    ASSERT_TRUE(error.empty()) << error;
    engine->Load(); // four empty slots

    // Into slot 1 as the control panel takes the dialog's values: the slot's view is shown, the
    // settings go into the engine's control and the camera starts.
    CamInfo& c = home.state.cam(1);
    c.Assign = c.Enable = true;
    c.IPAddress = values.IPAddress;
    c.MacAddress = values.MacAddress;
    c.Port = values.Port;
    c.Protocol = values.Protocol;
    c.IsLocalCamera = values.IsLocalCamera;
    c.ServerName = values.ServerName;
    c.UserName = values.UserName;
    c.Password = values.Password;
    windows.showView(1);
    engine->PutSettingToCam(1);
    // What the slot's view window does when it lays out and activates its picture.
    engine->Cam(1).put(IntProp::PreviewWidth, 320);
    engine->Cam(1).put(IntProp::PreviewHeight, 240);
    engine->Cam(1).put(BoolProp::DrawImage, true);
    engine->CamStart(1);
    const auto target = tessivor::frameTargets::find(windows.picture);
    ASSERT_TRUE(target);
    // Frames keep coming and draw a picture: many lit pixels, and the picture changes.
    auto lit = [&] {
        const tessivor::TargetPicture p = target->snapshot();
        int n = 0;
        for (int y = 4; y < p.height; y += 8)
            for (int x = 4; x < p.width; x += 8) {
                const tessivor::Rgb px = p.pixel(x, y);
                n += px.r + px.g + px.b > 60;
            }
        return n;
    };
    const bool shown = waitUntil([&] { return lit() > 200; }, 30000);
    std::string lines;
    for (const auto& l : log.lines(1))
        lines += l + "\n";
    EXPECT_TRUE(shown) << "lit samples " << lit() << " of 1200, version " << target->version() << ", window "
                       << engine->Cam(1).get(IntProp::PreviewhWnd) << " of " << windows.picture << ", status "
                       << engine->Cam(1).get(IntProp::Status) << "\n"
                       << lines;
    const std::uint64_t version = target->version();
    EXPECT_TRUE(waitUntil([&] { return target->version() > version + 3; }, 30000));
    const auto shots = std::filesystem::path(TESSIVOR_BINARY_DIR) / "test-output" / "dialogs";
    ASSERT_TRUE(target->savePpm(shots / "slot1_camsim.ppm"));
    EXPECT_TRUE(QImage(QString::fromStdString((shots / "slot1_camsim.ppm").string()))
                    .save(QString::fromStdString((shots / "slot1_camsim.png").string())));
    EXPECT_EQ(engine->Cam(1).get(IntProp::Status), 2);
    engine->Unload();
    QCoreApplication::processEvents();

    // The administrator check of the slot's camera by the camera itself: probed through the
    // check dialog's own control, its configuration's administrator compared with what is typed.
    for (const char* typed : {"wrong", " s3cret "}) {
        auto own = DispatchSetupControl::create(kControlProgId, &error);
        ASSERT_TRUE(own) << error;
        PasswordCheckValues check;
        check.CheckMode = 1;
        check.Camera = 1;
        prompts.boxes.clear();
        PasswordCheckDialog checkDialog(context, check, nullptr, own.get());
        checkDialog.show();
        child<QLineEdit>(checkDialog, "txtAdminID").setText("admin");
        child<QLineEdit>(checkDialog, "txtPassword").setText(typed);
        click(checkDialog, "cmdOK");
        ASSERT_TRUE(waitUntil([&] { return check.PasswordOK || !prompts.boxes.empty(); }, 60000)) << typed;
        EXPECT_EQ(check.PasswordOK, std::string(typed) != "wrong") << typed;
        if (!check.PasswordOK) {
            EXPECT_EQ(prompts.texts(),
                      std::vector<std::string>{checkDialog.texts().message(3).toStdString()});
        }
    }
}

} // namespace
