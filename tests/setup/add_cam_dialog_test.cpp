// The add-by-address dialog: splitting the typed address, the slot check, the probe and its
// outcomes, the login with its retries and cancels, and the Kestra family's login cookie.
#include "dialog_test_support.h"
#include "fake_setup_control.h"

#include "app/core/text_codec.h"
#include "app/setup/add_cam_dialog.h"
#include "app/setup/camera_login.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <set>

using namespace pellucor;
using namespace dialogtest;

namespace {

TEST(TypedAddress, HostAndPortOnlyForDigitPortsFrom1To65535)
{
    struct Case
    {
        const char* text;
        const char* host;
        int port; // 0: none
        bool bad;
    };
    const Case cases[] = {
        {"10.0.0.5:8080", "10.0.0.5", 8080, false},
        {"10.0.0.5", "10.0.0.5", 0, false},
        {"cam.example:1", "cam.example", 1, false},
        {"10.0.0.5:65535", "10.0.0.5", 65535, false},
        {"10.0.0.5:8080:9", "10.0.0.5", 8080, false}, // text after a second ":" is ignored
        {":8080", ":8080", 0, false},                 // no host: the whole text is the host
        {"10.0.0.5:65536", "10.0.0.5:65536", 0, true},
        {"10.0.0.5:70000", "10.0.0.5:70000", 0, true},
        {"10.0.0.5:0", "10.0.0.5:0", 0, true},
        {"10.0.0.5:123456", "10.0.0.5:123456", 0, true},
        {"10.0.0.5:abc", "10.0.0.5:abc", 0, true},
        {"10.0.0.5:+80", "10.0.0.5:+80", 0, true},
        {"10.0.0.5:8e1", "10.0.0.5:8e1", 0, true},
        {"10.0.0.5: 80", "10.0.0.5: 80", 0, true},
        {"10.0.0.5:", "10.0.0.5:", 0, true},
    };
    for (const Case& c : cases) {
        const TypedAddress a = parseTypedAddress(c.text);
        EXPECT_EQ(a.host, c.host) << c.text;
        EXPECT_EQ(a.port.value_or(0), c.port) << c.text;
        EXPECT_EQ(a.badPort, c.bad) << c.text;
    }
}

TEST(LoginCookie, FourRoundedPiecesJoinedAndCutTo16Digits)
{
    EXPECT_EQ(loginCookieFrom({0.12345, 0.5, 0.99999, 0.0}), "1234500010000"
                                                             "0");
    // Each piece is rounded to the nearest whole number, without leading zeros.
    EXPECT_EQ(loginCookieFrom({0.00004, 0.00016, 0.0, 0.0}), "0200");
    EXPECT_EQ(loginCookieFrom({0.99995, 0.99995, 0.99995, 0.99995}), "1000010000100001");

    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        const std::string c = newLoginCookie();
        EXPECT_GE(c.size(), 4u);
        EXPECT_LE(c.size(), 16u);
        EXPECT_EQ(c.find_first_not_of("0123456789"), std::string::npos) << c;
        seen.insert(c);
    }
    EXPECT_GT(seen.size(), 45u); // drawn, not repeated
}

struct AddRig
{
    AddRig() : context(home.state)
    {
        context.prompts = &prompts;
        context.pause = [](std::uint32_t) {};
        control.probed = {"", "Caf&#0233;", "0.13.136.1.2.3", 0, 16};
        control.probed.webPort = 8088;
    }
    AddCamDialog& open(std::vector<std::string> listed = {})
    {
        dialog = std::make_unique<AddCamDialog>(context, control, values, std::move(listed), nullptr);
        dialog->show();
        return *dialog;
    }
    // Types the address and presses Add.
    void add(const char* text)
    {
        child<QLineEdit>(*dialog, "txtIPAddress").setText(text);
        dialog->add();
    }
    bool free() { return !dialog->isBusy() && child<QPushButton>(*dialog, "cmdAdd").isEnabled(); }

    TestHome home;
    DialogContext context;
    ScriptedPrompts prompts;
    FakeSetupControl control;
    AddCamValues values;
    std::unique_ptr<AddCamDialog> dialog;
};

TEST(AddCamDialog, ProbesTheTypedHostAndPortAndAddsACameraWithoutAdministrator)
{
    struct Case
    {
        const char* typed;
        std::int32_t protocol;
        std::int32_t probePort;
        std::int32_t handedPort;
        bool pt;
    };
    const Case cases[] = {
        {"10.0.0.5:8080", 0, 8080, 8080, true},
        {"10.0.0.5", 0, 80, 8481, true}, // the native protocol's port when none was typed
        {"10.0.0.5", 1, 80, 80, true},
        {"10.0.0.5", 2, 80, 80, false},
    };
    for (const Case& c : cases) {
        AddRig rig;
        rig.control.probed.protocol = c.protocol;
        rig.open({"10.0.0.9", "10.0.0.5"});
        rig.add(c.typed);
        EXPECT_EQ(rig.control.calls, std::vector<std::string>{"ProbeDevice 1"}) << c.typed;
        EXPECT_EQ(rig.control.host, "10.0.0.5");
        EXPECT_EQ(rig.control.port, c.probePort);
        EXPECT_TRUE(rig.dialog->isBusy());
        rig.dialog->close(); // the close box does nothing while the probe runs
        EXPECT_TRUE(rig.dialog->isVisible());

        rig.control.events->onEndProbeDevice(-1);
        EXPECT_FALSE(rig.values.Cancelled) << c.typed;
        EXPECT_FALSE(rig.dialog->isVisible());
        EXPECT_EQ(rig.values.IPAddress, "10.0.0.5");
        EXPECT_EQ(rig.values.Port, c.handedPort) << c.typed << " " << c.protocol;
        EXPECT_EQ(rig.values.Protocol, c.protocol);
        EXPECT_EQ(rig.control.protocol, c.protocol);
        EXPECT_TRUE(rig.values.InSearchList);
        EXPECT_EQ(rig.values.PT, c.pt);
        EXPECT_EQ(rig.values.MacAddress, "0.13.136.1.2.3");
        EXPECT_EQ(rig.control.mac, "0.13.136.1.2.3");
        EXPECT_EQ(rig.values.ServerName, "Caf\u00e9");
        EXPECT_EQ(rig.values.UserName, "");
        EXPECT_EQ(rig.control.count("LoginCamera"), 0);
        EXPECT_EQ(rig.control.index, -1);
    }
}

TEST(AddCamDialog, RefusesBadInputAndSlotAddressesWithoutProbing)
{
    struct Case
    {
        const char* typed;
        const char* slotAddress;
        std::string message; // key of the frmAddCam section
    };
    const Case cases[] = {
        {"10.0.0.5", "10.0.0.5", "Message4"},
        {"10.0.0.5", "10.0.0.5:8481", "Message4"},
        {"", "", "msgNoAddress"},
        {"   ", "", "msgNoAddress"},
        {"10.0.0.5:70000", "", "msgBadPort"},
        {"10.0.0.5:x", "", "msgBadPort"},
    };
    for (const Case& c : cases) {
        AddRig rig;
        rig.home.state.cam(2).IPAddress = c.slotAddress; // not assigned: still checked
        rig.open();
        rig.add(c.typed);
        ASSERT_EQ(rig.prompts.boxes.size(), 1u) << c.typed;
        const QString expected = c.message == "Message4" ? rig.dialog->texts().message(4)
                                                         : rig.dialog->texts().text(c.message, {});
        EXPECT_FALSE(expected.isEmpty());
        EXPECT_EQ(rig.prompts.boxes[0].text, expected.toStdString()) << c.typed;
        EXPECT_EQ(rig.control.count("ProbeDevice 1"), 0) << c.typed;
        EXPECT_TRUE(rig.free()) << c.typed;
        EXPECT_EQ(child<QLineEdit>(*rig.dialog, "txtIPAddress").text(), QString(c.typed));
        EXPECT_TRUE(rig.values.Cancelled);
    }
}

// A camera is its host and its port: several cameras behind one router's forwarded ports, or on
// one test host, share the host. Only the host and port of a camera in a slot are refused; an
// address typed without a port names the camera on the web port or, for a native camera, on the
// native port.
TEST(AddCamDialog, OnlyAHostAndPortThatASlotHoldsAreRefused)
{
    struct Slot
    {
        const char* address;
        std::int32_t port;
    };
    struct Case
    {
        const char* typed;
        Slot slot;
        std::int32_t probePort; // 0: refused with Message4, no probe
    };
    const Case cases[] = {
        {"127.0.0.1:41943", {"127.0.0.1", 41943}, 0},
        {"127.0.0.1:41944", {"127.0.0.1", 41943}, 41944},
        {"127.0.0.1:41943", {"127.0.0.1", 8481}, 41943},
        {"127.0.0.1", {"127.0.0.1", 41943}, 80},
        {"127.0.0.1", {"127.0.0.1", 8481}, 0},
        {"127.0.0.1", {"127.0.0.1", 80}, 0},
        {"127.0.0.1:80", {"127.0.0.1", 80}, 0},
        {"127.0.0.1:41943", {"127.0.0.1:41943", 8481}, 0}, // a port in the slot's address counts
        {"127.0.0.1", {"127.0.0.1:41943", 8481}, 80},
        {"127.0.0.2:41943", {"127.0.0.1", 41943}, 41943},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + " with " + c.slot.address + " " + std::to_string(c.slot.port));
        AddRig rig;
        rig.home.state.cam(1).IPAddress = "10.0.0.9";
        rig.home.state.cam(3).IPAddress = c.slot.address;
        rig.home.state.cam(3).Port = c.slot.port;
        AddCamDialog& d = rig.open();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
        QTest::keyClicks(&child<QLineEdit>(d, "txtIPAddress"), c.typed);
        QTest::mouseClick(&child<QPushButton>(d, "cmdAdd"), Qt::LeftButton);
        if (c.probePort == 0) {
            EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{d.texts().message(4).toStdString()});
            EXPECT_EQ(rig.control.count("ProbeDevice 1"), 0);
            EXPECT_TRUE(rig.free());
            continue;
        }
        EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{});
        EXPECT_EQ(rig.control.calls, std::vector<std::string>{"ProbeDevice 1"});
        EXPECT_EQ(rig.control.host, std::string(c.typed).substr(0, 9));
        EXPECT_EQ(rig.control.port, c.probePort);
        rig.control.events->onEndProbeDevice(-1);
        EXPECT_FALSE(rig.values.Cancelled);
        EXPECT_EQ(rig.values.Port, c.probePort == 80 ? 8481 : c.probePort); // a native camera
    }
}

TEST(AddCamDialog, FailedProbeSelectsTheAddressForRetyping)
{
    AddRig rig;
    rig.open();
    rig.add("10.0.0.77");
    rig.control.events->onEndProbeDevice(0);
    EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{rig.dialog->texts().message(2).toStdString()});
    EXPECT_EQ(rig.prompts.boxes[0].style, MsgStyle::Critical);
    EXPECT_TRUE(rig.free());
    EXPECT_EQ(child<QLineEdit>(*rig.dialog, "txtIPAddress").selectedText(), "10.0.0.77");
    EXPECT_TRUE(rig.dialog->isVisible());
    EXPECT_EQ(rig.control.count("GetConfig"), 0);
}

TEST(AddCamDialog, LoginRetriesAfterARefusalAndAnyCancelLeavesTheDialogFree)
{
    // 0: the first login dialog cancelled; 1: refused, then the retry cancelled;
    // 2: refused, then accepted; 3: the configuration unreadable, then logged in.
    for (int path : {0, 1, 2, 3}) {
        AddRig rig;
        rig.control.adminName = "admin";
        rig.control.adminPassword = "pw";
        if (path == 3)
            rig.control.configResult = 5; // not read: the camera is asked for credentials
        rig.open();
        rig.add("10.0.0.5");
        ModalDriver driver;
        driver.then<LoginDialog>([path](LoginDialog& d) {
            child<QLineEdit>(d, "txtUserName").setText("admin");
            child<QLineEdit>(d, "txtPassword").setText("bad");
            clickLater(d, path == 0 ? "cmdCancel" : "cmdOK");
        });
        rig.control.events->onEndProbeDevice(-1);
        EXPECT_TRUE(driver.done());
        if (path == 0) {
            EXPECT_TRUE(rig.free());
            EXPECT_TRUE(rig.values.Cancelled);
            EXPECT_TRUE(rig.dialog->isVisible());
            EXPECT_EQ(rig.control.count("LoginCamera"), 0);
            continue;
        }
        EXPECT_EQ(rig.control.user, "admin");
        EXPECT_EQ(rig.control.password, "bad");
        EXPECT_EQ(rig.control.serial, "");
        EXPECT_TRUE(rig.dialog->isBusy());
        if (path == 3) {
            rig.control.events->onEndLoginCamera(-1);
            EXPECT_FALSE(rig.values.Cancelled);
            EXPECT_EQ(rig.values.Password, "bad");
            continue;
        }
        std::string shownAgain;
        driver.then<LoginDialog>([&](LoginDialog& d) {
            shownAgain = child<QLineEdit>(d, "txtPassword").text().toStdString();
            child<QLineEdit>(d, "txtPassword").setText("pw");
            clickLater(d, path == 1 ? "cmdCancel" : "cmdOK");
        });
        rig.control.events->onEndLoginCamera(1);
        EXPECT_EQ(shownAgain, "bad");
        EXPECT_EQ(rig.prompts.texts(),
                  std::vector<std::string>{rig.dialog->texts().message(3).toStdString()});
        if (path == 1) {
            EXPECT_TRUE(rig.free());
            EXPECT_TRUE(rig.dialog->isVisible());
            EXPECT_EQ(rig.control.count("LoginCamera"), 1);
            continue;
        }
        EXPECT_EQ(rig.control.count("LoginCamera"), 2);
        rig.control.events->onEndLoginCamera(-1);
        EXPECT_FALSE(rig.values.Cancelled);
        EXPECT_EQ(rig.values.UserName, "admin");
        EXPECT_EQ(rig.values.Password, "pw");
        EXPECT_FALSE(rig.dialog->isVisible());
    }
}

TEST(AddCamDialog, FailedOrUnknownLoginEndsFreeAndAddStartsWithoutOldCredentials)
{
    for (std::int32_t end : {0, 9}) {
        AddRig rig;
        rig.control.probed.protocol = 4; // always asks
        rig.open();
        rig.add("10.0.0.5");
        ModalDriver driver;
        driver.then<LoginDialog>([](LoginDialog& d) {
            child<QLineEdit>(d, "txtUserName").setText("someone");
            child<QLineEdit>(d, "txtPassword").setText("secret");
            clickLater(d, "cmdOK");
        });
        rig.control.events->onEndProbeDevice(-1);
        rig.control.events->onEndLoginCamera(end);
        EXPECT_TRUE(rig.values.Cancelled) << end;
        EXPECT_FALSE(rig.dialog->isBusy()) << end;
        EXPECT_EQ(rig.prompts.texts(),
                  std::vector<std::string>{rig.dialog->texts().message(1).toStdString()});
        EXPECT_EQ(rig.dialog->isVisible(), end != 0) << end; // a plain failure ends the dialog

        if (end == 0)
            continue;
        // The next add finds a camera without administrator: nothing of the last one stays.
        rig.control.probed.protocol = 0;
        rig.add("10.0.0.6");
        rig.control.events->onEndProbeDevice(-1);
        EXPECT_FALSE(rig.values.Cancelled);
        EXPECT_EQ(rig.values.UserName, "");
        EXPECT_EQ(rig.values.Password, "");
    }
}

TEST(AddCamDialog, KestraCameraLogsInWithTheViewerNameAndAFreshCookie)
{
    AddRig rig;
    rig.control.probed.protocol = 3;
    rig.control.ptSupportValue = 1;
    rig.open();
    rig.add("10.0.0.5");
    ModalDriver driver;
    for (const char* password : {"typed pw", "typed pw 2"}) {
        driver.then<LoginDialog>([password](LoginDialog& d) {
            child<QLineEdit>(d, "txtUserName").setText("the user");
            child<QLineEdit>(d, "txtPassword").setText(password);
            clickLater(d, "cmdOK");
        });
    }
    rig.control.events->onEndProbeDevice(-1);
    EXPECT_EQ(rig.control.count("GetConfig"), 0);
    EXPECT_EQ(rig.control.count("GetKestraPort"), 1);
    EXPECT_EQ(rig.control.count("GetKestraValue 83"), 1);
    EXPECT_TRUE(rig.values.PT);
    EXPECT_EQ(rig.control.user, URLEncode("the user"));
    const std::string first = rig.control.password;
    EXPECT_NE(first, "typed pw");
    EXPECT_LE(first.size(), 16u);
    EXPECT_EQ(first.find_first_not_of("0123456789"), std::string::npos);
    // A refused login is retried with a new cookie; only the accepted one names the session.
    rig.control.events->onEndLoginCamera(1);
    EXPECT_EQ(rig.control.count("LoginCamera"), 2);
    EXPECT_NE(rig.control.password, first);
    EXPECT_EQ(rig.values.SessionCookie, "");
    rig.control.events->onEndLoginCamera(-1);
    EXPECT_EQ(rig.values.SessionCookie, rig.control.password);
    EXPECT_FALSE(rig.values.Cancelled);
    EXPECT_EQ(rig.values.Password, "typed pw 2");
}

} // namespace
