// The firmware update of a native camera end to end against the simulated camera (tools/camsim
// on a loopback address of its own): the real dialog is clicked, the engine's real control asks
// the camera to wait for a download, the program's TFTP client sends the file to the camera's
// TFTP port, the camera installs it and restarts, and the probe after the countdown records what
// the camera now reports.
#include "camsim_process.h"
#include "dialog_test_support.h"
#include "real_engine.h"
#include "register_module.h"

#include "app/core/control_adapter.h"
#include "app/setup/firmware_dialog.h"
#include "app/skin/message_pump.h"
#include "app/skin/ui_services.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <fstream>

using namespace pellucor;
using namespace dialogtest;

namespace {

const char* const kMac = "0.13.136.7.8.9";

std::string readAll(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct FirmwareCamsimRig
{
    FirmwareCamsimRig(std::vector<std::string> extra)
    {
        registerModule();
        std::vector<std::string> args{"--family",    "native", "--mac",         kMac,
                                      "--tftp-port", "0",      "--upload-file", received.string(),
                                      "--firmware",  "2.07b",  "--name",        "Gate"};
        args.insert(args.end(), extra.begin(), extra.end());
        cam = std::make_unique<tessivor::testing::CamSim>(args, true);
        std::string error;
        engine = enginetest::makeEngineWithRealControls(
            home.state, enginetest::realTimeServices(timers, ui, windows, messages, log), trace, error);
        EXPECT_TRUE(error.empty()) << error;
        engine->Load();
        CamInfo& c = home.state.cam(1);
        c.Assign = true;
        c.Enable = false; // nothing to restart but the camera itself
        c.IPAddress = cam->address();
        c.Port = cam->nativePort();
        c.Protocol = 0;
        c.MacAddress = kMac;
        c.FWVersion = "1.00a";
        c.ServerName = "old name";
        engine->PutSettingToCam(1);
        context = std::make_unique<FirmwareContext>(home.state, *engine);
        context->prompts = &prompts;
        context->tempFolder = home.path() / "tmp";
        std::filesystem::create_directories(context->tempFolder);
        context->tftpPort = static_cast<std::uint16_t>(cam->port("tftp"));
        context->tftpTimeoutMs = 30000;
        context->countdownMs = 300;
        context->countdownTickMs = 10;
    }
    ~FirmwareCamsimRig()
    {
        engine->Unload();
        QCoreApplication::processEvents();
    }

    // Chooses the file and clicks Update; returns when the dialog has done its work.
    void update(const std::string& bytes)
    {
        const auto file = home.path() / "new firmware.bin";
        std::ofstream(file, std::ios::binary) << bytes;
        FirmwareResult result;
        FirmwareDialog dialog(*context, 1, result, nullptr);
        dialog.show();
        child<QLineEdit>(dialog, "txtFirmwareFileName").setText(QString::fromStdString(file.string()));
        QTest::mouseClick(&child<QPushButton>(dialog, "cmdUpdateFirmware"), Qt::LeftButton);
    }

    TestHome home;
    std::filesystem::path received = home.path() / "camera-received.bin";
    MessagePump pump;
    ScriptedPrompts prompts;
    enginetest::Trace trace;
    QtUiServices ui;
    QtTimerFactory timers;
    enginetest::FakeWindows windows{home.state, trace};
    enginetest::FakeMessages messages{trace};
    EventLog log{home.state, tessivor::activeClock()};
    std::unique_ptr<tessivor::testing::CamSim> cam;
    std::unique_ptr<Engine> engine;
    std::unique_ptr<FirmwareContext> context;
};

TEST(FirmwareCamsim, NativeCameraTakesTheFileByTftpRestartsAndIsProbedAgain)
{
    FirmwareCamsimRig rig({});
    // Not a whole number of blocks, and more than a 16-bit count of bytes.
    std::string bytes(70 * 1024 + 77, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 512) & 0xFF);
    rig.update(bytes);

    EXPECT_EQ(rig.cam->command("firmware"),
              "ok requests=1 installs=1 name=TempFW.BIN bytes=" + std::to_string(bytes.size()));
    EXPECT_TRUE(readAll(rig.received) == bytes) << "the camera received other bytes";
    EXPECT_EQ(rig.cam->command("resets"), "ok reboots=1 factory=0") << "the camera restarted once";
    ASSERT_EQ(rig.prompts.boxes.size(), 1u);
    EXPECT_EQ(rig.prompts.boxes[0].text, "The firmware update is complete.");
    // The probe after the restart put what the camera reports into the record.
    const CamInfo& c = rig.home.state.cam(1);
    EXPECT_EQ(c.FWVersion, "2.07b");
    EXPECT_EQ(c.ServerName, "Gate");
    EXPECT_EQ(c.Protocol, 0);
}

TEST(FirmwareCamsim, CameraThatRefusesTheDownloadGetsNoFile)
{
    FirmwareCamsimRig rig({});
    ASSERT_EQ(rig.cam->command("download-answer 3"), "ok");
    rig.update(std::string(2000, 'x'));
    EXPECT_EQ(rig.cam->command("firmware"), "ok requests=1 installs=0 name= bytes=0");
    EXPECT_FALSE(std::filesystem::exists(rig.received));
    ASSERT_EQ(rig.prompts.boxes.size(), 1u);
    EXPECT_EQ(rig.home.state.cam(1).FWVersion, "1.00a") << "no probe without an upload";
}

} // namespace
