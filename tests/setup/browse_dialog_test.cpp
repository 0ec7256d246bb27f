// The network search dialog: rows from device-found reports, the repeated search, the busy
// window, and adding a found camera with its checks, its configuration read and its login.
#include "dialog_test_support.h"
#include "fake_setup_control.h"

#include "app/setup/browse_dialog.h"
#include "app/setup/change_ip_dialog.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

using namespace pellucor;
using namespace dialogtest;

namespace {

struct BrowseRig
{
    explicit BrowseRig(bool withPack = true) : home(withPack), context(home.state)
    {
        context.prompts = &prompts;
        context.pause = [](std::uint32_t) {};
    }
    // Builds and shows the dialog, which starts its first search; the devices answer it.
    BrowseDialog& open(bool answer = true)
    {
        dialog = std::make_unique<BrowseDialog>(context, control, values, nullptr);
        dialog->show();
        if (answer)
            control.reportAll();
        return *dialog;
    }
    QTreeWidget& list() { return child<QTreeWidget>(*dialog, "ListViewSearch"); }
    void select(int row) { list().setCurrentItem(list().topLevelItem(row)); }

    TestHome home;
    DialogContext context;
    ScriptedPrompts prompts;
    FakeSetupControl control;
    BrowseValues values;
    std::unique_ptr<BrowseDialog> dialog;
};

TEST(BrowseDialog, EachReportAddsARowWithKeyDecodedNameAddressAndHexMac)
{
    BrowseRig rig;
    rig.control.devices = {
        {"10.0.0.5", "Door"}, {"10.0.0.6", "Caf&#0233;"}, {"10.0.0.7", "Yard", "0.13.136.1.2.255"}};
    rig.open();
    ASSERT_EQ(rig.list().topLevelItemCount(), 3);
    QTreeWidgetItem* third = rig.list().topLevelItem(2);
    EXPECT_EQ(third->data(0, Qt::UserRole).toString().toStdString(), "S 3");
    EXPECT_EQ(third->text(1).toStdString(), "10.0.0.7");
    EXPECT_EQ(third->text(2).toStdString(), "00 0D 88 01 02 FF");
    EXPECT_EQ(rig.list().topLevelItem(1)->text(0).toStdString(), "Caf\u00e9");
    EXPECT_EQ(rig.list().currentItem(), rig.list().topLevelItem(0)); // row 1 chosen at the end
    EXPECT_EQ(rig.control.count("SearchDevice"), 1);
    EXPECT_FALSE(rig.dialog->isBusy());

    // Other event codes add nothing; ReSearch starts again with an empty list.
    rig.control.events->onImageEvent(5);
    EXPECT_EQ(rig.list().topLevelItemCount(), 3);
    click(*rig.dialog, "cmdSearch");
    EXPECT_EQ(rig.list().topLevelItemCount(), 0);
    EXPECT_EQ(rig.control.count("SearchDevice"), 2);
    rig.control.reportAll();
    EXPECT_EQ(rig.list().topLevelItemCount(), 3);
    EXPECT_TRUE(saveScreenshot(*rig.dialog, "browse_rows.png"));
}

TEST(BrowseDialog, EscAndCloseBoxDoNothingDuringASearchAndCancelAfterIt)
{
    BrowseRig rig;
    rig.control.devices = {{"10.0.0.5", "Door"}};
    rig.open(false);
    EXPECT_TRUE(rig.dialog->isBusy());
    EXPECT_FALSE(child<QPushButton>(*rig.dialog, "cmdCancel").isEnabled());
    rig.dialog->close();
    EXPECT_TRUE(rig.dialog->isVisible());
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(rig.dialog.get(), &esc);
    EXPECT_TRUE(rig.dialog->isVisible());
    rig.control.reportAll();
    EXPECT_FALSE(rig.dialog->isBusy());
    rig.values.Cancelled = false;
    rig.dialog->close();
    EXPECT_FALSE(rig.dialog->isVisible());
    EXPECT_TRUE(rig.values.Cancelled);
}

TEST(BrowseDialog, AddsAProtocol0CameraWithoutLoginAndNoCredentialsFromAnEarlierAdd)
{
    BrowseRig rig;
    rig.control.devices = {{"10.0.0.5", "Door", "0.13.136.1.2.3", 0, 16},
                           {"10.0.0.6", "Gate", "0.1.2.3.4.5", 1, 0}};
    rig.open();
    // An earlier use left credentials, pan/tilt and another port in the values.
    rig.values.UserName = "old";
    rig.values.Password = "secret";
    rig.values.Port = 1234;
    rig.values.PT = true;
    rig.select(0);
    rig.dialog->add();
    EXPECT_FALSE(rig.values.Cancelled);
    EXPECT_EQ(rig.values.Port, 8481);
    EXPECT_TRUE(rig.values.PT);
    EXPECT_EQ(rig.values.UserName, "");
    EXPECT_EQ(rig.values.Password, "");
    EXPECT_EQ(rig.values.IPAddress, "10.0.0.5");
    EXPECT_EQ(rig.values.MacAddress, "0.13.136.1.2.3");
    EXPECT_EQ(rig.values.ServerName, "Door");
    EXPECT_EQ(rig.control.count("LoginCamera"), 0);
    EXPECT_FALSE(rig.dialog->isVisible());

    // A Protocol 1 camera without bit 4: port 80, no pan/tilt.
    BrowseRig second;
    second.control.devices = rig.control.devices;
    second.open();
    second.values.PT = true;
    second.select(1);
    second.dialog->add();
    EXPECT_FALSE(second.values.Cancelled);
    EXPECT_EQ(second.values.Port, 80);
    EXPECT_FALSE(second.values.PT);
}

TEST(BrowseDialog, ConfigurationResultsOtherThanMinusOneStopTheAdd)
{
    for (std::int32_t result : {0, 5, 1}) {
        BrowseRig rig;
        rig.control.devices = {{"10.0.0.5", "Door"}};
        rig.control.configResult = result;
        rig.open();
        rig.dialog->add();
        EXPECT_TRUE(rig.values.Cancelled) << result;
        EXPECT_EQ(rig.prompts.texts(),
                  std::vector<std::string>{rig.dialog->texts().message(6).toStdString()});
        EXPECT_EQ(rig.control.count("LoginCamera"), 0);
        EXPECT_FALSE(rig.dialog->isBusy());
        EXPECT_TRUE(child<QPushButton>(*rig.dialog, "cmdAdd").isEnabled());
    }
}

TEST(BrowseDialog, SameAddressTwiceAsksAndNoDoesNothing)
{
    BrowseRig rig;
    rig.control.devices = {{"10.0.0.5", "Door"}, {"10.0.0.5", "Gate"}};
    rig.open();
    rig.prompts.answers = {Answer::No};
    const auto callsBefore = rig.control.calls.size();
    rig.select(1);
    rig.dialog->add();
    ASSERT_EQ(rig.prompts.boxes.size(), 1u);
    EXPECT_EQ(rig.prompts.boxes[0].text, rig.dialog->texts().message(5).toStdString());
    EXPECT_EQ(rig.prompts.boxes[0].style, MsgStyle::YesNoExclamation);
    EXPECT_EQ(rig.control.calls.size(), callsBefore);
    EXPECT_TRUE(rig.values.Cancelled);
    EXPECT_TRUE(rig.dialog->isVisible());
}

TEST(BrowseDialog, AddressOfAnySlotOrNoAddressIsRefused)
{
    struct Case
    {
        std::string slotAddress;
        std::string rowAddress;
        int message; // 0: the no-address text
    };
    const Case cases[] = {
        {"10.0.0.5", "10.0.0.5", 7},
        {"10.0.0.5:8481", "10.0.0.5", 7}, // the host part counts
        {"", "", 0},
    };
    for (const Case& c : cases) {
        BrowseRig rig;
        rig.home.state.cam(3).IPAddress = c.slotAddress; // slot 3 need not be assigned
        rig.control.devices = {{c.rowAddress, "Door"}};
        rig.open();
        rig.dialog->add();
        ASSERT_EQ(rig.prompts.boxes.size(), 1u) << c.rowAddress;
        if (c.message)
            EXPECT_EQ(rig.prompts.boxes[0].text, rig.dialog->texts().message(c.message).toStdString());
        else
            EXPECT_EQ(rig.prompts.boxes[0].text, "The camera has no IP address.");
        EXPECT_EQ(rig.control.count("GetConfig"), 0);
        EXPECT_TRUE(rig.values.Cancelled);
    }
}

// A camera is its host and its port, the port that the add gives it by its protocol: a found
// camera is refused only when a slot holds its host with that port.
TEST(BrowseDialog, OnlyAHostAndPortThatASlotHoldsAreRefused)
{
    struct Case
    {
        const char* slotAddress;
        std::int32_t slotPort;
        std::int32_t protocol;
        std::int32_t addedPort; // 0: refused with Message7
    };
    const Case cases[] = {
        {"10.0.0.5", 41943, 0, 8481}, {"10.0.0.5", 8481, 0, 0},    {"10.0.0.5", 8481, 1, 80},
        {"10.0.0.5", 80, 1, 0},       {"10.0.0.5", 8088, 3, 0}, // a Kestra camera on its web port
        {"10.0.0.5:8481", 80, 0, 0},  {"10.0.0.6", 8481, 0, 8481},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.slotAddress) + " " + std::to_string(c.slotPort) + " protocol " +
                     std::to_string(c.protocol));
        BrowseRig rig;
        rig.home.state.cam(2).IPAddress = c.slotAddress;
        rig.home.state.cam(2).Port = c.slotPort;
        rig.control.devices = {{"10.0.0.5", "Door"}};
        rig.control.devices[0].protocol = c.protocol;
        rig.control.devices[0].webPort = 8088;
        BrowseDialog& d = rig.open();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
        QTest::mouseClick(rig.list().viewport(), Qt::LeftButton, Qt::NoModifier,
                          rig.list().visualItemRect(rig.list().topLevelItem(0)).center());
        QTest::mouseClick(&child<QPushButton>(d, "cmdAdd"), Qt::LeftButton);
        if (c.addedPort == 0) {
            EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{d.texts().message(7).toStdString()});
            EXPECT_EQ(rig.control.count("GetConfig"), 0);
            EXPECT_EQ(rig.control.count("GetKestraPort"), 0); // nothing is asked of the camera
            EXPECT_EQ(rig.control.count("LoginCamera"), 0);
            EXPECT_TRUE(rig.values.Cancelled);
            EXPECT_TRUE(d.isVisible());
            EXPECT_TRUE(child<QPushButton>(d, "cmdAdd").isEnabled());
            continue;
        }
        EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{});
        EXPECT_FALSE(rig.values.Cancelled); // no administrator: added without a login
        EXPECT_EQ(rig.values.IPAddress, "10.0.0.5");
        EXPECT_EQ(rig.values.Port, c.addedPort);
    }
}

TEST(BrowseDialog, LoginRefusedAsksAgainWithLastValuesThenSucceeds)
{
    BrowseRig rig;
    rig.control.devices = {{"10.0.0.5", "Door"}};
    rig.control.adminName = "admin";
    rig.control.adminPassword = "pw";
    rig.open();
    ModalDriver driver;
    driver.then<LoginDialog>([](LoginDialog& d) {
        child<QLineEdit>(d, "txtUserName").setText("admin");
        child<QLineEdit>(d, "txtPassword").setText("wrong");
        clickLater(d, "cmdOK");
    });
    rig.dialog->add();
    EXPECT_EQ(rig.control.count("LoginCamera"), 1);
    EXPECT_EQ(rig.control.user, "admin");
    EXPECT_EQ(rig.control.password, "wrong");
    EXPECT_TRUE(rig.dialog->isBusy());
    rig.dialog->close();
    EXPECT_TRUE(rig.dialog->isVisible());

    std::string shownAgain;
    driver.then<LoginDialog>([&](LoginDialog& d) {
        shownAgain = child<QLineEdit>(d, "txtPassword").text().toStdString();
        child<QLineEdit>(d, "txtPassword").setText("pw");
        clickLater(d, "cmdOK");
    });
    rig.control.events->onEndLoginCamera(1);
    EXPECT_EQ(shownAgain, "wrong");
    EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{rig.dialog->texts().message(4).toStdString()});
    EXPECT_EQ(rig.control.count("LoginCamera"), 2);
    rig.control.events->onEndLoginCamera(-1);
    EXPECT_FALSE(rig.values.Cancelled);
    EXPECT_EQ(rig.values.UserName, "admin");
    EXPECT_EQ(rig.values.Password, "pw");
    EXPECT_FALSE(rig.dialog->isVisible());
}

TEST(BrowseDialog, CancelledOrFailedLoginLeavesTheDialogFree)
{
    for (int failure : {0, 1, 2}) { // 0: login dialog cancelled; 1: login failed; 2: unknown end
        BrowseRig rig;
        rig.control.devices = {{"10.0.0.5", "Door", "0.1.2.3.4.5", 4}};
        rig.open();
        ModalDriver driver;
        driver.then<LoginDialog>(
            [failure](LoginDialog& d) { clickLater(d, failure == 0 ? "cmdCancel" : "cmdOK"); });
        rig.dialog->add(); // Protocol 4 always asks
        EXPECT_TRUE(driver.done());
        if (failure == 1)
            rig.control.events->onEndLoginCamera(0);
        if (failure == 2)
            rig.control.events->onEndLoginCamera(7);
        EXPECT_TRUE(rig.values.Cancelled) << failure;
        EXPECT_FALSE(rig.dialog->isBusy()) << failure;
        EXPECT_TRUE(rig.dialog->isVisible()) << failure;
        EXPECT_TRUE(child<QPushButton>(*rig.dialog, "cmdAdd").isEnabled()) << failure;
        EXPECT_EQ(rig.control.count("LoginCamera"), failure == 0 ? 0 : 1);
        EXPECT_EQ(rig.control.count("GetConfig"), 0);
    }
}

} // namespace

namespace {

TEST(BrowseDialog, SameAddressYesMovesTheCameraOrReportsTheRefusal)
{
    for (std::int32_t setResult : {-1, 0}) {
        BrowseRig rig;
        rig.control.devices = {{"10.0.0.5", "Door", "0.13.136.1.2.3"}, {"10.0.0.5", "Gate"}};
        rig.control.setIPAddressResult = setResult;
        rig.open();
        rig.prompts.answers = {Answer::Yes};
        ModalDriver driver;
        std::string shownMask, shownMac;
        bool optionsShown = true;
        driver.then<ChangeIPDialog>([&](ChangeIPDialog& d) {
            shownMask = child<QLineEdit>(d, "txtSubnetMask").text().toStdString();
            optionsShown = child<QRadioButton>(d, "optDHCP").isVisible();
            child<QLineEdit>(d, "txtIPAddress").setText("10.0.0.50");
            clickLater(d, "cmdOK");
        });
        rig.select(0);
        rig.dialog->add();
        EXPECT_TRUE(driver.done());
        EXPECT_EQ(shownMask, "255.255.255.0");
        EXPECT_FALSE(optionsShown);
        EXPECT_EQ(rig.control.count("SetIPAddress 10.0.0.50 255.255.255.0 0.0.0.0"), 1) << setResult;
        EXPECT_FALSE(rig.dialog->isBusy());
        if (setResult == -1) {
            EXPECT_FALSE(rig.values.Cancelled);
            EXPECT_EQ(rig.values.IPAddress, "10.0.0.50");
            EXPECT_EQ(rig.control.host, "10.0.0.50");
        } else {
            EXPECT_TRUE(rig.values.Cancelled);
            EXPECT_EQ(rig.prompts.texts().back(), rig.dialog->texts().message(1).toStdString());
            EXPECT_EQ(rig.control.count("GetConfig"), 0);
            // The next search runs twice: the end of the first starts the second.
            click(*rig.dialog, "cmdSearch");
            rig.control.reportAll();
            EXPECT_TRUE(rig.dialog->isBusy());
            EXPECT_EQ(rig.control.count("SearchDevice"), 3);
            rig.control.reportAll();
            EXPECT_FALSE(rig.dialog->isBusy());
            EXPECT_EQ(rig.list().topLevelItemCount(), 2);
        }
    }
}

} // namespace
