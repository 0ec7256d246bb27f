// The setup dialogs' control over the real module, called late-bound by name: arguments go in
// and results come back (CheckIP on loopback, a configuration read that nothing answers).
#include "../app_core/register_module.h"

#include "camsim_process.h"

#include "app/core/control_adapter.h"
#include "app/setup/dispatch_setup_control.h"

#include <QHostAddress>
#include <QTcpServer>

#include <gtest/gtest.h>

using namespace pellucor;

namespace {

TEST(DispatchSetupControl, CallsReachTheControlAndResultsComeBack)
{
    registerModule();
    std::string error;
    auto control = DispatchSetupControl::create(kControlProgId, &error);
    ASSERT_TRUE(control) << error;

    QTcpServer listening;
    ASSERT_TRUE(listening.listen(QHostAddress::LocalHost, 0));
    const auto open = static_cast<std::int32_t>(listening.serverPort());
    EXPECT_EQ(control->checkIP("127.0.0.1", open), -1);
    listening.close();
    EXPECT_NE(control->checkIP("127.0.0.1", open), -1);

    // Nothing answers on the closed port: the configuration is not read.
    control->setRemoteHost("127.0.0.1");
    control->setRemotePort(open);
    control->setProtocol(0);
    EXPECT_NE(control->getConfig(0), -1);
    EXPECT_EQ(control->foundIPAddress(), "");
}

// The members with out arguments and text results over the late-bound path, against a simulated
// web camera: the clock answers without credentials only when the camera asks for none.
TEST(DispatchSetupControl, ClockQueryTellsAnOpenCameraFromAClosedOne)
{
    registerModule();
    for (bool open : {true, false}) {
        std::vector<std::string> args{"--user", "admin", "--password", "pw"};
        if (open)
            args.push_back("--no-auth");
        tessivor::testing::CamSim camera(args);
        std::string error;
        auto control = DispatchSetupControl::create(kControlProgId, &error);
        ASSERT_TRUE(control) << error;
        control->setRemoteHost(camera.address());
        control->setRemotePort(camera.httpPort());
        control->setProtocol(1);
        control->setUserName({});
        control->setPassword({});
        EXPECT_EQ(control->getTime() == -1, open) << open;
        EXPECT_EQ(control->remoteHost(), camera.address());
        EXPECT_EQ(control->remotePort(), camera.httpPort());
        EXPECT_EQ(control->foundString(0), ""); // nothing selected
    }
}

// A camera's name arrives as its raw bytes; a Latin-1 name reaches the dialogs read as
// Windows-1252, never as bytes that are not UTF-8.
TEST(DispatchSetupControl, ACameraNameInLatin1ReachesTheDialogsAsText)
{
    registerModule();
    tessivor::testing::CamSim camera({"--family", "kestra", "--kestra-port", "0", "--name", "B\xFCro"});
    std::string error;
    auto control = DispatchSetupControl::create(kControlProgId, &error);
    ASSERT_TRUE(control) << error;
    control->setRemoteHost(camera.address());
    control->setRemotePort(camera.httpPort());
    control->setProtocol(3);
    control->setUserName("pelko");
    control->setPassword("pelko");
    ASSERT_EQ(control->getKestraPort(), -1);
    const std::string status = control->getKestraValue(83);
    EXPECT_NE(status.find("B\xC3\xBCro"), std::string::npos);
    control->setFoundIndex(-1);
    EXPECT_EQ(control->foundDeviceName(), "B\xC3\xBCro");
    EXPECT_EQ(control->foundServerModel(), "B\xC3\xBCro");
}

} // namespace
