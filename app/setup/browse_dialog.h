// The network search dialog (frmBrowse) and the login dialog (frmLogin) that its add asks for
// credentials with.
//
// The search dialog searches with its own control, lists every camera that answers (name, IP
// address, MAC address) and turns the chosen one into a BrowseValues for the current camera
// slot; it never writes a camera record itself. A camera that the search did not list comes from
// the add-by-address dialog (Input IP); a listed camera can first be given new network settings
// (Change IP, in browse_change_address.cpp). UI thread only.
#pragma once

#include "app/core/app_state.h"
#include "app/setup/camera_login.h"
#include "app/setup/setup_control.h"
#include "app/setup/setup_dialog.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace pellucor {

struct ChangeIPValues;

struct LoginValues
{
    bool Cancelled = true;
    std::string UserName;
    std::string Password;
};

class LoginDialog : public SetupDialog
{
    Q_OBJECT

public:
    LoginDialog(DialogContext& context, LoginValues& values, QWidget* parent);

protected:
    void onCancel() override;

private:
    LoginValues& m_values;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
};

// A camera as a setup dialog hands it back: address, identity and the credentials of its login.
struct ChosenCamera
{
    std::string IPAddress;
    std::string MacAddress;
    std::int32_t Protocol = kProtocolNative;
    std::int32_t Port = 0;
    std::string ServerName;
    std::string ServerModel;
    std::string ServerLocation;
    std::string FWVersion;
    std::string HWVersion;
    std::string ROMVersion;
    std::string UserName;
    std::string Password;
    bool PT = false;
    // A Kestra camera's session cookie of the accepted login, for the engine; empty otherwise.
    std::string SessionCookie;
};

// The camera chosen in the search dialog.
struct BrowseValues : ChosenCamera
{
    BrowseValues() { Port = kNativeCameraPort; }
    bool Cancelled = true;
    bool IsLocalCamera = false;
};

// Makes a control of the add-by-address dialog's own; null when it cannot be made.
using SetupControlFactory = std::function<std::unique_ptr<SetupControl>()>;

class BrowseDialog : public SetupDialog, private SetupControlEvents
{
    Q_OBJECT

public:
    // Without `makeControl` the Input IP button is not offered.
    BrowseDialog(DialogContext& context, SetupControl& control, BrowseValues& values, QWidget* parent,
                 SetupControlFactory makeControl = {});
    ~BrowseDialog() override;

    // Starts a search with an empty list (the ReSearch button).
    void search();
    // Adds the selected row (the Add button).
    void add();
    // Adds a camera by its typed address (the Input IP button).
    void inputIP();
    // Gives the selected row's camera new network settings (the Change IP button).
    void changeAddress();

protected:
    void onActivate() override;
    void onCancel() override;

private:
    void onImageEvent(std::int32_t code) override;
    void onEndSearchDevice(std::int32_t status) override;
    void onEndLoginCamera(std::int32_t status) override;

    void enableButtons(bool on);
    void setBusy(bool on);
    void clearList();
    // Asks for credentials and starts the login; false when the user cancelled.
    bool askAndLogin();
    // Gives the camera another fixed address before it is added; false when cancelled or refused.
    bool moveCamera(const std::string& ip, const std::string& macText);
    void finishIdle();

    // The four ways of changeAddress, by the camera's protocol as the search found it.
    void changeByConfig(int index, const std::string& ip, const std::string& macText);
    void changeByBroadcast(int index, const std::string& ip, const std::string& macText);
    void changeByMulticast(const std::string& ip, const std::string& macText);
    void changeByWebForm(const std::string& ip, const std::string& macText);
    // The change dialog's values for a found camera: its address, MAC text, mask and gateway.
    ChangeIPValues foundAddress(const std::string& ip, const std::string& macText, bool showOptions);
    // Shows the change dialog over this one; false when it was cancelled.
    bool askNewAddress(ChangeIPValues& change);
    // Shows the login dialog until `accept` takes the typed values ("Message4" between tries);
    // false when it was cancelled.
    bool loginUntil(const std::function<bool(const LoginValues&)>& accept);
    // Busy with an empty list; the next search (aimed at the moved camera) runs twice.
    void startAddressChange();
    // The end of a configuration or broadcast change: on success a search for the new address.
    void endAddressChange(std::int32_t result, const std::string& newAddress);

    SetupControl& m_control;
    BrowseValues& m_values;
    SetupControlFactory m_makeControl;
    CameraLogin m_cameraLogin;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_inputIP = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_changeIP = nullptr;
    QPushButton* m_search = nullptr;
    QPushButton* m_cancel = nullptr;
    LoginValues m_login;
    bool m_searchOnActivate = true;
    bool m_searchRepeated = true;
    std::int32_t m_foundCount = 0;
    int m_selectedIndex = 0;
    std::unique_ptr<Busy> m_busy;
};

// Shows the search dialog for one slot and returns what was chosen.
BrowseValues browseForCamera(DialogContext& context, SetupControl& control, QWidget* parent,
                             SetupControlFactory makeControl = {});

// "S 3" for list index 3: the letter S, a blank and the number.
std::string browseRowKey(int listIndex);

} // namespace pellucor
