// The dialogs and message boxes that the control panel opens, as one seam: the panel calls these,
// the program answers with its real dialogs (or, for one not built yet, tells the user so), and
// tests answer with scripted results. Each dialog is modal unless said otherwise and returns its
// result as a struct; the caller unloads nothing.
//
// User-interface thread only.
#pragma once

#include "app/core/app_state.h"

#include <cstdint>
#include <string>

namespace pellucor {

// The camera chosen in the search dialog (frmBrowse).
struct BrowseResult
{
    bool Cancelled = true;
    std::string IPAddress;
    std::string MacAddress = "0.0.0.0.0.0";
    std::int32_t Port = kNativeCameraPort;
    bool IsLocalCamera = true;
    std::int32_t Protocol = kProtocolNative;
    std::string ServerName;
    std::string ServerModel;
    std::string FWVersion;
    std::string HWVersion;
    std::string ROMVersion;
    std::string UserName;
    std::string Password;
    std::string ServerLocation;
    bool PT = false;
};

// What the configuration access gate learns of a camera before it asks for the administrator
// password (the password dialog's own control probes the camera).
struct AdminProbeResult
{
    enum class Outcome
    {
        Failed, // the probe or the configuration read failed: the click ends silently
        Open,   // the camera wants no password
        Closed, // the camera wants a password
    };
    Outcome outcome = Outcome::Failed;
    std::int16_t CheckMode = 0; // 0 compare with AdminID/AdminPassword, 1 check by a login
    std::string AdminID;
    std::string AdminPassword;
};

// The administrator-password dialog (frmCheckPassword).
struct PasswordCheckRequest
{
    int camera = 1;
    std::int16_t CheckMode = 0;
    std::string AdminID;
    std::string AdminPassword;
};

// The camera's web configuration page (frmWeb).
struct WebRequest
{
    int camera = 1;
    bool connected = false;
    std::string address;
};

struct WebResult
{
    bool Cancelled = true;
    std::string name;
    std::string userName;
    std::string password;
    std::string address;
    std::int16_t addressFlag = 0; // 1: the address may be taken
    std::int16_t portFlag = 0;    // 0: the address is taken without comparing ports
    std::int32_t port1 = 0;
    std::int32_t port2 = 0;
};

// The recording picker (frmPlayMenu).
struct PlayResult
{
    bool Cancelled = true;
    std::string file;
};

class PanelDialogs
{
public:
    virtual ~PanelDialogs() = default;

    // A message box with a style number as ui_services.h lists them (0 OK, 48 exclamation with
    // OK, 1 OK/Cancel, 52 Yes/No with the exclamation icon); the answer code (1 OK, 2 Cancel,
    // 6 Yes, 7 No). An empty title is the application's title.
    virtual int messageBox(const std::string& text, int style, const std::string& title = {}) = 0;

    virtual BrowseResult browse(int camera) = 0;
    // True when the user confirmed erasing the camera's slot.
    virtual bool confirmErase(int camera) = 0;
    virtual AdminProbeResult probeAdminPassword(int camera) = 0;
    // True when the password was accepted.
    virtual bool checkPassword(const PasswordCheckRequest& request) = 0;
    virtual WebResult web(const WebRequest& request) = 0;
    virtual void updateFirmware(int camera) = 0;
    virtual void schedule(int camera) = 0;
    virtual void motionSettings(int camera) = 0;
    // Modeless.
    virtual void systemSettings() = 0;
    virtual PlayResult play(const std::string& startFolder) = 0;
    virtual void about() = 0;
};

inline constexpr int kStyleOk = 0;
inline constexpr int kStyleOkCancel = 1;
inline constexpr int kStyleExclamation = 48;
inline constexpr int kStyleYesNoExclamation = 52;

} // namespace pellucor
