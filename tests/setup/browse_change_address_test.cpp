// The search dialog's add by address and its change of a found camera's network settings by the
// four ways (configuration block, broadcast, multicast, web form), with the password checks
// they ask for; and a Kestra camera added from the list with its login cookie.
#include "dialog_test_support.h"
#include "fake_setup_control.h"

#include "app/core/text_codec.h"
#include "app/setup/add_cam_dialog.h"
#include "app/setup/browse_dialog.h"
#include "app/setup/change_ip_dialog.h"
#include "app/setup/password_check_dialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

using namespace pellucor;
using namespace dialogtest;

namespace {

struct Rig
{
    Rig() : context(home.state)
    {
        context.prompts = &prompts;
        context.pause = [this](std::uint32_t ms) { control.calls.push_back("wait " + std::to_string(ms)); };
    }
    BrowseDialog& open(std::vector<FoundDevice> devices)
    {
        control.devices = std::move(devices);
        dialog = std::make_unique<BrowseDialog>(context, control, values, nullptr, [this] {
            auto own = std::make_unique<FakeSetupControl>();
            own->probed = {"", "Yard &#0038; Co", "0.1.2.3.4.99", 1, 16};
            addControl = own.get();
            return own;
        });
        dialog->show();
        control.reportAll();
        control.calls.clear();
        return *dialog;
    }
    QTreeWidget& list() { return child<QTreeWidget>(*dialog, "ListViewSearch"); }
    void changeRow(int row)
    {
        list().setCurrentItem(list().topLevelItem(row));
        dialog->changeAddress();
    }
    std::string message(int k) { return dialog->texts().message(k).toStdString(); }

    TestHome home;
    DialogContext context;
    ScriptedPrompts prompts;
    FakeSetupControl control;
    FakeSetupControl* addControl = nullptr;
    BrowseValues values;
    std::unique_ptr<BrowseDialog> dialog;
};

// Fills the change dialog (fixed address unless `dhcp`) and presses OK; records what it showed.
struct ChangeStep
{
    bool shownDhcp = false;
    bool optionsShown = false;
    std::string shownMask, shownGateway;

    void add(ModalDriver& driver, const char* address, bool dhcp = false)
    {
        driver.then<ChangeIPDialog>([this, address, dhcp](ChangeIPDialog& d) {
            shownDhcp = child<QRadioButton>(d, "optDHCP").isChecked();
            optionsShown = child<QRadioButton>(d, "optDHCP").isVisible();
            shownMask = child<QLineEdit>(d, "txtSubnetMask").text().toStdString();
            shownGateway = child<QLineEdit>(d, "txtDefaultGateway").text().toStdString();
            child<QRadioButton>(d, dhcp ? "optDHCP" : "optInputIP").setChecked(true);
            if (!dhcp)
                child<QLineEdit>(d, "txtIPAddress").setText(address);
            clickLater(d, "cmdOK");
        });
    }
};

void login(ModalDriver& driver, const char* user, const char* password, const char* button = "cmdOK")
{
    driver.then<LoginDialog>([=](LoginDialog& d) {
        child<QLineEdit>(d, "txtUserName").setText(user);
        child<QLineEdit>(d, "txtPassword").setText(password);
        clickLater(d, button);
    });
}

TEST(BrowseInputIP, TheCameraFromTheAddDialogBecomesTheResult)
{
    Rig rig;
    rig.open({{"10.0.0.5", "Door"}});
    ModalDriver driver;
    driver.then<AddCamDialog>([&](AddCamDialog& d) {
        child<QLineEdit>(d, "txtIPAddress").setText("10.0.0.5:8080");
        AddCamDialog* dialog = &d;
        later([&rig, dialog] {
            dialog->add();
            rig.addControl->events->onEndProbeDevice(-1);
        });
    });
    click(*rig.dialog, "cmdInputIP");
    EXPECT_TRUE(driver.done());
    EXPECT_FALSE(rig.values.Cancelled);
    EXPECT_FALSE(rig.dialog->isVisible());
    EXPECT_EQ(rig.values.IPAddress, "10.0.0.5");
    EXPECT_EQ(rig.values.Port, 8080);
    EXPECT_EQ(rig.control.port, 8080);
    EXPECT_EQ(rig.values.Protocol, 1);
    EXPECT_TRUE(rig.values.IsLocalCamera); // the host is a row of the list
    EXPECT_TRUE(rig.values.PT);
    EXPECT_EQ(rig.values.MacAddress, "0.1.2.3.4.99");
    EXPECT_EQ(rig.values.ServerName, "Yard & Co");

    // Cancelled: the search dialog stays with its own values.
    Rig again;
    again.open({{"10.0.0.5", "Door"}});
    ModalDriver cancel;
    cancel.then<AddCamDialog>([](AddCamDialog& d) { clickLater(d, "cmdCancel"); });
    click(*again.dialog, "cmdInputIP");
    EXPECT_TRUE(again.values.Cancelled);
    EXPECT_TRUE(again.dialog->isVisible());
    EXPECT_TRUE(child<QPushButton>(*again.dialog, "cmdInputIP").isEnabled());
}

TEST(BrowseChangeAddress, DhcpFlagsOpenTheDialogAndDhcpIsWrittenThroughTheConfiguration)
{
    struct Case
    {
        std::int32_t flags;
        bool shownDhcp;
    };
    for (const Case c : {Case{0x0402, true}, Case{0x0400, false}, Case{0x0002, false}, Case{0x0301, false}}) {
        Rig rig;
        rig.open({{"10.0.0.5", "Door", "0.1.2.3.4.5", 0}});
        rig.control.configValues[2] = c.flags;
        rig.control.configTexts[44] = "255.255.0.0";
        rig.control.configTexts[45] = "10.0.0.254";
        ModalDriver driver;
        ChangeStep step;
        step.add(driver, "", true);
        rig.changeRow(0);
        EXPECT_TRUE(driver.done());
        EXPECT_EQ(step.shownDhcp, c.shownDhcp) << c.flags;
        EXPECT_TRUE(step.optionsShown);
        EXPECT_EQ(step.shownMask, "255.255.0.0");
        EXPECT_EQ(step.shownGateway, "10.0.0.254");
        if (c.flags == 0x0301) {
            const std::vector<std::string> expected{
                "GetConfig", "SetConfigValue 2 1026", "SetConfig 1 0", "wait 3000", "Reset", "SearchDevice"};
            EXPECT_EQ(rig.control.calls, expected);
        }
        EXPECT_EQ(rig.control.configValues[2] & ~(1 | 2 | 256 | 512 | 1024 | 2048), c.flags & 0xF0F4);
        EXPECT_EQ(rig.control.host, "10.0.0.5");
        EXPECT_EQ(rig.control.protocol, 0);
        EXPECT_EQ(rig.control.port, 8481);
        // Busy until the aimed search and the full one after it have ended.
        EXPECT_TRUE(rig.dialog->isBusy());
        EXPECT_EQ(rig.list().topLevelItemCount(), 0);
        rig.control.reportAll();
        EXPECT_TRUE(rig.dialog->isBusy());
        rig.control.reportAll();
        EXPECT_FALSE(rig.dialog->isBusy());
        EXPECT_EQ(rig.list().topLevelItemCount(), 1);
    }
}

TEST(BrowseChangeAddress, FixedAddressAfterTheAdministratorCheckOrAFailureMessage)
{
    for (std::int32_t result : {-1, 0}) {
        Rig rig;
        rig.open({{"10.0.0.5", "Door", "0.1.2.3.4.5", 1}});
        rig.control.adminName = "admin";
        rig.control.adminPassword = "pw";
        rig.control.setIPAddressResult = result;
        rig.control.configTexts[44] = "255.255.255.0";
        rig.control.configTexts[45] = "10.0.0.1";
        ModalDriver driver;
        driver.then<PasswordCheckDialog>([](PasswordCheckDialog& d) {
            child<QLineEdit>(d, "txtAdminID").setText("admin");
            child<QLineEdit>(d, "txtPassword").setText("pw");
            clickLater(d, "cmdOK");
        });
        ChangeStep step;
        step.add(driver, "10.0.0.50");
        rig.changeRow(0);
        EXPECT_TRUE(driver.done());
        EXPECT_EQ(rig.control.count("SetIPAddress 10.0.0.50 255.255.255.0 10.0.0.1"), 1);
        EXPECT_EQ(rig.control.count("SetConfig 1 0"), 0);
        EXPECT_EQ(rig.control.count("Reset"), 1);
        if (result == -1) {
            EXPECT_EQ(rig.control.host, "10.0.0.50");
            EXPECT_EQ(rig.control.count("SearchDevice"), 1);
            EXPECT_TRUE(rig.dialog->isBusy());
        } else {
            EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{rig.message(1)});
            EXPECT_EQ(rig.prompts.boxes[0].style, MsgStyle::Critical);
            EXPECT_EQ(rig.control.count("SearchDevice"), 0);
            EXPECT_FALSE(rig.dialog->isBusy());
            EXPECT_TRUE(child<QPushButton>(*rig.dialog, "cmdChangeIPAddress").isEnabled());
        }
    }
}

TEST(BrowseChangeAddress, ACancelAnywhereSendsNothing)
{
    for (const char* cancelled : {"check", "change"}) {
        Rig rig;
        rig.open({{"10.0.0.5", "Door", "0.1.2.3.4.5", 0}});
        rig.control.adminName = "admin";
        ModalDriver driver;
        const bool atCheck = std::string(cancelled) == "check";
        driver.then<PasswordCheckDialog>([atCheck](PasswordCheckDialog& d) {
            child<QLineEdit>(d, "txtAdminID").setText("admin");
            clickLater(d, atCheck ? "cmdCancel" : "cmdOK");
        });
        if (!atCheck)
            driver.then<ChangeIPDialog>([](ChangeIPDialog& d) { clickLater(d, "cmdCancel"); });
        rig.changeRow(0);
        EXPECT_TRUE(driver.done()) << cancelled;
        EXPECT_EQ(rig.control.calls, std::vector<std::string>{"GetConfig"}) << cancelled;
        EXPECT_FALSE(rig.dialog->isBusy());
        EXPECT_EQ(rig.list().topLevelItemCount(), 1);
    }
}

TEST(BrowseChangeAddress, BroadcastWayWhenTheConfigurationCannotBeRead)
{
    // needed: IsRequireAuthenticationBroadcast; empty: CheckPasswordBroadcast with empty values.
    struct Case
    {
        std::int32_t needed;
        std::int32_t empty;
        bool checkDialog;
        bool changed;
    };
    const Case cases[] = {
        {3, 0, false, true},  // no password
        {2, 3, false, true},  // the empty password is taken
        {2, 2, true, true},   // refused: the administrator is asked
        {2, 0, true, true},   // no answer: asked as well
        {0, 0, false, false}, // no answer to the query: "Message3"
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.open({{"10.0.0.5", "Door", "0.1.2.3.4.5", 0}});
        rig.control.devices[0].mask = "255.0.0.0";
        rig.control.configResult = 0;
        rig.control.authNeeded = c.needed;
        rig.control.checkBroadcastResult = c.empty;
        ModalDriver driver;
        if (c.checkDialog) {
            driver.then<PasswordCheckDialog>([&rig](PasswordCheckDialog& d) {
                rig.control.checkBroadcastResult = 3;
                child<QLineEdit>(d, "txtAdminID").setText(" admin ");
                child<QLineEdit>(d, "txtPassword").setText("pw ");
                clickLater(d, "cmdOK");
            });
        }
        ChangeStep step;
        if (c.changed)
            step.add(driver, "10.0.0.60");
        rig.changeRow(0);
        EXPECT_TRUE(driver.done()) << c.needed << c.empty;
        if (!c.changed) {
            EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{rig.message(3)});
            EXPECT_EQ(rig.control.count("SetIPAddress 10.0.0.60 255.0.0.0 10.0.0.1"), 0);
            continue;
        }
        EXPECT_FALSE(step.optionsShown);
        EXPECT_EQ(step.shownMask, "255.0.0.0");
        EXPECT_EQ(rig.control.count("SetIPAddress 10.0.0.60 255.0.0.0 10.0.0.1"), 1) << c.needed << c.empty;
        if (c.needed == 2) {
            EXPECT_EQ(rig.control.checkedCredentials.front(), "/");
        }
        if (c.checkDialog) {
            EXPECT_EQ(rig.control.checkedCredentials.back(), "admin/pw"); // trimmed
            EXPECT_EQ(rig.control.mac, "0.1.2.3.4.5");
        }
    }
}

TEST(BrowseChangeAddress, MulticastWayRetriesTheLoginAndSendsTheMode)
{
    for (bool dhcp : {true, false}) {
        Rig rig;
        FoundDevice kestra{"10.0.0.7", "Kestra", "2.0.0.0.0.11", 3};
        kestra.serverStatus = 2;
        rig.open({kestra});
        rig.control.checkMulticastResult = 0;
        ModalDriver driver;
        login(driver, "admin", "wrong");
        driver.then<LoginDialog>([&rig](LoginDialog& d) {
            rig.control.checkMulticastResult = -1;
            child<QLineEdit>(d, "txtUserName").setText("admin");
            child<QLineEdit>(d, "txtPassword").setText("right");
            clickLater(d, "cmdOK");
        });
        ChangeStep step;
        step.add(driver, "10.0.0.70", dhcp);
        rig.changeRow(0);
        EXPECT_TRUE(driver.done());
        EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{rig.message(4)});
        EXPECT_EQ(rig.prompts.boxes[0].style, MsgStyle::Exclamation);
        EXPECT_EQ(rig.control.checkedCredentials, (std::vector<std::string>{"admin/wrong", "admin/right"}));
        EXPECT_TRUE(step.optionsShown);
        const std::string sent = dhcp ? "SetIPAddressMulticast 10.0.0.7 255.255.255.0 10.0.0.1 2"
                                      : "SetIPAddressMulticast 10.0.0.70 255.255.255.0 10.0.0.1 1";
        const std::vector<std::string> tail{"SetLocalUUID 0 uuid2", sent, "wait 1000", "SearchDevice"};
        ASSERT_GE(rig.control.calls.size(), tail.size());
        EXPECT_EQ(std::vector<std::string>(rig.control.calls.end() - 4, rig.control.calls.end()), tail);
    }
}

TEST(BrowseChangeAddress, WebFormWayComparesWithTheBroadcastCredentialsAndKeepsNone)
{
    Rig rig;
    FoundDevice web{"10.0.0.8", "Web", "0.1.2.3.4.8", 4};
    web.strings = {"camuser", "campass"};
    web.webPort = 8090;
    rig.open({web});
    ModalDriver driver;
    login(driver, "camuser", "nope");
    login(driver, "camuser", "campass");
    ChangeStep step;
    step.add(driver, "10.0.0.80");
    rig.changeRow(0);
    EXPECT_TRUE(driver.done());
    EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{rig.message(4)});
    EXPECT_FALSE(step.optionsShown);
    EXPECT_EQ(rig.control.port, 8090);
    EXPECT_EQ(rig.control.protocol, 4);
    const std::vector<std::string> tail{"SetIPAddress 10.0.0.80 255.255.255.0 10.0.0.1", "wait 3000", "Reset",
                                        "SearchDevice"};
    EXPECT_EQ(std::vector<std::string>(rig.control.calls.end() - 4, rig.control.calls.end()), tail);
    // Neither the dialog's values nor the control took the camera's own credentials.
    EXPECT_EQ(rig.values.UserName, "");
    EXPECT_EQ(rig.values.Password, "");
    EXPECT_EQ(rig.control.user, "");
    EXPECT_EQ(rig.control.password, "");
}

TEST(BrowseChangeAddress, OtherProtocolsDoNothing)
{
    Rig rig;
    rig.open({{"10.0.0.9", "Odd", "0.1.2.3.4.9", 2}});
    rig.changeRow(0);
    EXPECT_TRUE(rig.prompts.boxes.empty());
    EXPECT_EQ(rig.control.calls, std::vector<std::string>{});
}

TEST(BrowseAdd, KestraCameraFromTheListLogsInWithACookie)
{
    Rig rig;
    FoundDevice kestra{"10.0.0.7", "Kestra", "2.0.0.0.0.11", 3};
    kestra.webPort = 8088;
    rig.open({kestra});
    rig.control.ptSupportValue = 1;
    ModalDriver driver;
    login(driver, "a b", "typed");
    rig.list().setCurrentItem(rig.list().topLevelItem(0));
    rig.dialog->add();
    EXPECT_TRUE(driver.done());
    EXPECT_EQ(rig.control.count("GetConfig"), 0);
    EXPECT_EQ(rig.control.port, 8088);
    EXPECT_EQ(rig.values.Port, 8088);
    EXPECT_TRUE(rig.values.PT);
    EXPECT_EQ(rig.control.user, URLEncode("a b"));
    EXPECT_NE(rig.control.password, "typed");
    EXPECT_LE(rig.control.password.size(), 16u);
    EXPECT_EQ(rig.control.password.find_first_not_of("0123456789"), std::string::npos);
    rig.control.events->onEndLoginCamera(-1);
    EXPECT_FALSE(rig.values.Cancelled);
    EXPECT_EQ(rig.values.Password, "typed");
    EXPECT_EQ(rig.values.SessionCookie, rig.control.password);
}

} // namespace
