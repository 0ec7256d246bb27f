// The firmware update dialog (frmUpdateFW): the user picks a firmware file; the dialog stops its
// camera, asks it to wait for a download, sends a private temporary copy of the file
// through the upload window, then probes the camera, copies its new identity into its record,
// puts the record back into the engine and restarts the camera when it was enabled.
//
// The download request and the probe can each take many seconds when the camera does not
// answer: they run on a worker thread while the dialog waits busy (worker_call.h), so pictures
// and the panel clock go on and the dialog cannot be closed under them. UI thread only.
#pragma once

#include "app/setup/firmware_tftp_window.h"
#include "app/setup/setup_dialog.h"

#include <cstdint>
#include <filesystem>
#include <functional>

class QLineEdit;

namespace pellucor {

class Engine;

struct FirmwareContext : DialogContext
{
    FirmwareContext(AppState& s, Engine& e) : DialogContext(s), engine(e) {}

    Engine& engine;
    // Redraws the control panel's configuration buttons (RefrushCamCfgBtn); nothing when not set.
    std::function<void()> refreshConfigButtons;
    // Where the private folder of the temporary copy is made; the system's temporary folder when
    // empty.
    std::filesystem::path tempFolder;
    // The upload's port, time-out and countdown; the program's values by default.
    std::uint16_t tftpPort = tessivor::camproto::kTftpPort;
    std::int32_t tftpTimeoutMs = 30000;
    std::int32_t countdownMs = 50000;
    std::int32_t countdownTickMs = 100;
};

struct FirmwareResult
{
    bool Cancelled = true;
};

class FirmwareDialog : public SetupDialog
{
    Q_OBJECT

public:
    // Updates camera `camera` (1 to 4).
    FirmwareDialog(FirmwareContext& context, int camera, FirmwareResult& result, QWidget* parent);

    // The "Update" button's work.
    void updateFirmware();

private:
    void browse();
    void runUpdate();
    void probeAndRecord(int c, bool wasEnabled);

    FirmwareContext& m_ctx;
    int m_cam;
    FirmwareResult& m_result;
    QLineEdit* m_file = nullptr;
};

// Opens the dialog modally over `owner` for camera `camera`.
void runFirmwareDialog(FirmwareContext& context, int camera, QWidget* owner);

} // namespace pellucor
