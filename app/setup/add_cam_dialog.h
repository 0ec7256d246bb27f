// The add-camera-by-address dialog (frmAddCam): the user types an address ("host" or
// "host:port") of a camera that the search did not list; the dialog probes it with its own
// control, learns its protocol and identity, asks for a user name and password when the camera
// needs them, logs in and hands the camera back to the search dialog. It never writes a camera
// record itself. UI thread only.
#pragma once

#include "app/setup/browse_dialog.h"
#include "app/setup/camera_login.h"
#include "app/setup/setup_control.h"
#include "app/setup/setup_dialog.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLineEdit;
class QPushButton;

namespace pellucor {

struct AddCamValues : ChosenCamera
{
    bool Cancelled = true;
    bool InSearchList = false;
};

// A typed address split into its host and the port typed with it.
struct TypedAddress
{
    std::string host;
    std::optional<std::int32_t> port; // none: no port was typed
    bool badPort = false;             // a ":" with a port that is not 1 to 65535 in digits only
};

// "10.0.0.5:8080" -> host "10.0.0.5", port 8080. Text after a second ":" is ignored. A port is
// digits only, 1 to 65535; an empty host before the ":" leaves the whole text the host.
TypedAddress parseTypedAddress(const std::string& text);

// The camera slot (1 to 4) that holds the camera at `host` on one of `ports`, or 0. A camera is
// its host and its port: several cameras behind one router's forwarded ports, or on one test
// host, share the host. A slot's address that carries ":port" counts with that port.
int slotHoldingCamera(const AppState& state, const std::string& host, const std::vector<std::int32_t>& ports);

class AddCamDialog : public SetupDialog, private SetupControlEvents
{
    Q_OBJECT

public:
    // `listed`: the addresses of the search dialog's rows, in order.
    AddCamDialog(DialogContext& context, SetupControl& control, AddCamValues& values,
                 std::vector<std::string> listed, QWidget* parent);
    ~AddCamDialog() override;

    // The Add button.
    void add();

protected:
    void onCancel() override;

private:
    void onImageEvent(std::int32_t) override {}
    void onEndSearchDevice(std::int32_t) override {}
    void onEndProbeDevice(std::int32_t status) override;
    void onEndLoginCamera(std::int32_t status) override;

    void setBusy(bool on);
    // Back to waiting for an address, with the typed text selected.
    void retype();
    // Shows the login dialog and starts the login; false when the user cancelled it.
    bool askAndLogin();
    void finish();

    SetupControl& m_control;
    AddCamValues& m_values;
    std::vector<std::string> m_listed;
    QLineEdit* m_address = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_cancel = nullptr;
    LoginValues m_login;
    CameraLogin m_cameraLogin;
    std::unique_ptr<Busy> m_busy;
};

} // namespace pellucor
