// The change IP address dialog: field checks in order with their messages, the address-in-use
// check, DHCP without checks, and the boxes refilled on activation.
#include "dialog_test_support.h"

#include "app/setup/change_ip_dialog.h"

#include <QLineEdit>
#include <QRadioButton>

#include <set>

using namespace pellucor;
using namespace dialogtest;

namespace {

struct ChangeRig
{
    ChangeRig() : context(home.state)
    {
        context.prompts = &prompts;
        values.IPAddress = "10.0.0.5";
        values.SubnetMask = "255.255.255.0";
        values.DefaultGateway = "10.0.0.1";
    }
    ChangeIPDialog& open()
    {
        dialog = std::make_unique<ChangeIPDialog>(
            context, values,
            [this](const std::string& a) {
                asked.push_back(a);
                return inUse.count(a) > 0;
            },
            nullptr);
        dialog->show();
        return *dialog;
    }
    QLineEdit& box(const char* name) { return child<QLineEdit>(*dialog, name); }

    TestHome home;
    DialogContext context;
    ScriptedPrompts prompts;
    ChangeIPValues values;
    std::set<std::string> inUse;
    std::vector<std::string> asked;
    std::unique_ptr<ChangeIPDialog> dialog;
};

TEST(CheckIPFormat, PartsFrom0To255)
{
    EXPECT_TRUE(CheckIPFormat("192.168.0.1"));
    EXPECT_TRUE(CheckIPFormat("7"));
    EXPECT_FALSE(CheckIPFormat(""));
    EXPECT_FALSE(CheckIPFormat("192.168.0.300"));
    EXPECT_FALSE(CheckIPFormat("1..2"));
    EXPECT_FALSE(CheckIPFormat("1.a.2.3"));
}

TEST(ChangeIPDialog, EachBadFieldShowsItsMessageSelectsItAndKeepsTheText)
{
    struct Case
    {
        const char* field;
        const char* typed;
        int message;
    };
    const Case cases[] = {
        {"txtIPAddress", "", 1},
        {"txtIPAddress", "192.168.0.300", 2},
        {"txtIPAddress", "10.0.0", 2},
        {"txtSubnetMask", "", 3},
        {"txtSubnetMask", "255.255.256.0", 4},
        {"txtDefaultGateway", "", 5},
        {"txtDefaultGateway", "1.2.3", 6},
    };
    for (const Case& c : cases) {
        ChangeRig rig;
        rig.open();
        rig.box(c.field).setText(c.typed);
        click(*rig.dialog, "cmdOK");
        ASSERT_EQ(rig.prompts.boxes.size(), 1u) << c.typed;
        EXPECT_EQ(rig.prompts.boxes[0].text, rig.dialog->texts().message(c.message).toStdString()) << c.typed;
        EXPECT_EQ(rig.prompts.boxes[0].style, MsgStyle::Exclamation);
        EXPECT_EQ(rig.box(c.field).text().toStdString(), c.typed);
        EXPECT_EQ(rig.box(c.field).selectedText().toStdString(), c.typed);
        EXPECT_TRUE(rig.dialog->isVisible());
        EXPECT_TRUE(rig.values.Cancelled);
        EXPECT_EQ(rig.values.IPAddress, "10.0.0.5");
        EXPECT_TRUE(rig.asked.empty());
    }
}

TEST(ChangeIPDialog, AnAddressThatAnswersIsRefusedAFreeOneIsHandedBack)
{
    ChangeRig rig;
    rig.inUse = {"10.0.0.5"};
    rig.open();
    click(*rig.dialog, "cmdOK"); // the current address, unchanged, answers
    EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{rig.dialog->texts().message(7).toStdString()});
    EXPECT_TRUE(rig.dialog->isVisible());
    rig.box("txtIPAddress").setText("10.0.0.9");
    click(*rig.dialog, "cmdOK");
    EXPECT_EQ(rig.asked, (std::vector<std::string>{"10.0.0.5", "10.0.0.9", "10.0.0.9"}));
    EXPECT_FALSE(rig.values.Cancelled);
    EXPECT_EQ(rig.values.IPAddress, "10.0.0.9");
    EXPECT_FALSE(rig.values.dhcp);
    EXPECT_FALSE(rig.dialog->isVisible());
}

TEST(ChangeIPDialog, DhcpChecksNothingAndKeepsTheValues)
{
    ChangeRig rig;
    rig.values.dhcp = true;
    rig.open();
    EXPECT_FALSE(rig.box("txtIPAddress").isEnabled());
    rig.box("txtIPAddress").setText("");
    click(*rig.dialog, "cmdOK");
    EXPECT_TRUE(rig.prompts.boxes.empty());
    EXPECT_FALSE(rig.values.Cancelled);
    EXPECT_TRUE(rig.values.dhcp);
    EXPECT_EQ(rig.values.IPAddress, "10.0.0.5");
    EXPECT_TRUE(rig.asked.empty());
}

TEST(ChangeIPDialog, CloseBoxCancels)
{
    ChangeRig rig;
    rig.open();
    rig.values.Cancelled = false;
    rig.dialog->close();
    EXPECT_TRUE(rig.values.Cancelled);
}

} // namespace
