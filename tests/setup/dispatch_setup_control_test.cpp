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

} // namespace
