#include "app/windows/program_dialogs.h"

#include "app/core/app_state.h"
#include "app/core/control_adapter.h"
#include "app/settings/settings_context.h"
#include "app/settings/settings_dialogs.h"
#include "app/setup/browse_dialog.h"
#include "app/setup/dispatch_setup_control.h"
#include "app/setup/erase_dialog.h"
#include "app/setup/firmware_dialog.h"
#include "app/setup/password_check_dialog.h"
#include "app/setup/web_page_window.h"
#include "app/skin/ui_services.h"
#include "app/skin/worker_call.h"
#include "app/windows/control_panel.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

#include <algorithm>
#include <cstdint>

namespace pellucor {

int ProgramDialogs::messageBox(const std::string& text, int style, const std::string& title)
{
    return m_ui.messageBox(m_owner, QString::fromStdString(text), style, QString::fromStdString(title));
}

void ProgramDialogs::notAvailable(const char* dialog)
{
    messageBox(std::string("The ") + dialog + " is not available in this version yet.", 64);
}

BrowseResult ProgramDialogs::browse(int)
{
    if (!m_settings) {
        notAvailable("camera search");
        return {};
    }
    // The search dialog's own control, never shown.
    std::string why;
    auto control = DispatchSetupControl::create(kControlProgId, &why);
    if (!control) {
        messageBox("The camera search cannot start: " + why, kStyleExclamation);
        return {};
    }
    // The add-by-address dialog hosts a control of its own.
    const SetupControlFactory makeControl = [this]() -> std::unique_ptr<SetupControl> {
        std::string reason;
        auto own = DispatchSetupControl::create(kControlProgId, &reason);
        if (!own)
            messageBox("The camera cannot be added by address: " + reason, kStyleExclamation);
        return own;
    };
    const BrowseValues v = browseForCamera(*m_settings, *control, m_owner, makeControl);
    // The session that the dialog's login opened goes to the next Kestra camera put in.
    if (!v.SessionCookie.empty())
        m_settings->engine.setPendingCookie(v.SessionCookie);
    BrowseResult r;
    r.Cancelled = v.Cancelled;
    r.IPAddress = v.IPAddress;
    r.MacAddress = v.MacAddress;
    r.Port = v.Port;
    r.IsLocalCamera = v.IsLocalCamera;
    r.Protocol = v.Protocol;
    r.ServerName = v.ServerName;
    r.ServerModel = v.ServerModel;
    r.FWVersion = v.FWVersion;
    r.HWVersion = v.HWVersion;
    r.ROMVersion = v.ROMVersion;
    r.UserName = v.UserName;
    r.Password = v.Password;
    r.ServerLocation = v.ServerLocation;
    r.PT = v.PT;
    return r;
}

bool ProgramDialogs::confirmErase(int camera)
{
    if (!m_settings)
        return messageBox("Remove camera " + std::to_string(camera) + " from its slot?",
                          kStyleYesNoExclamation) == kAnswerYes;
    return confirmEraseSlot(*m_settings, m_owner);
}

// Whether camera n wants an administrator password, asked with the password dialog's control:
// a Protocol 0 camera is probed inside the call and its configuration's administrator fields
// read; any other is asked for its clock without credentials.
AdminProbeResult ProgramDialogs::probeAdminPassword(int n)
{
    AdminProbeResult result;
    if (!m_settings) {
        notAvailable("administrator password check");
        return result;
    }
    std::string why;
    auto control = DispatchSetupControl::create(kControlProgId, &why);
    if (!control) {
        messageBox("The administrator password cannot be checked: " + why, kStyleExclamation);
        return result;
    }
    const CamInfo& cam = m_settings->state.cam(n);
    const SystemSettings& s = m_settings->state.settings;
    control->setRemoteHost(cam.IPAddress);
    control->setRemotePort(cam.Port);
    control->setLocalCamera(cam.IsLocalCamera);
    control->setProxy(s.ProxyServerAddress, s.ProxyServerPort, s.EnableProxy, s.BypassProxyServer);
    const int protocol = cam.Protocol;
    // The probe, the configuration read and the clock query wait for the camera: on a worker,
    // while the owner waits with its inputs off and pictures and clock go on.
    SetupControl& c = *control;
    return callOnWorker(m_owner, "admin-probe", [&c, protocol] {
        AdminProbeResult result;
        if (protocol == kProtocolNative) {
            result.CheckMode = 0;
            c.setProtocol(kProtocolNative);
            if (c.probeDevice(0, true) == -1) {
                c.setFoundIndex(-1);
                c.setMACAddress(c.foundMACAddress());
                if (c.getConfig(0) == -1) {
                    result.AdminID = c.getConfigValueBSTR(configField::kAdminName);
                    result.AdminPassword = c.getConfigValueBSTR(configField::kAdminPassword);
                    const bool open = result.AdminID.empty() && result.AdminPassword.empty();
                    result.outcome =
                        open ? AdminProbeResult::Outcome::Open : AdminProbeResult::Outcome::Closed;
                }
            }
        } else {
            result.CheckMode = 1;
            c.setProtocol(kProtocolVideoCgi);
            c.setUserName({});
            c.setPassword({});
            result.outcome =
                c.getTime() == -1 ? AdminProbeResult::Outcome::Open : AdminProbeResult::Outcome::Closed;
        }
        return result;
    });
}

bool ProgramDialogs::checkPassword(const PasswordCheckRequest& request)
{
    if (!m_settings) {
        notAvailable("administrator password check");
        return false;
    }
    if (request.CheckMode == 0)
        return checkKnownPassword(*m_settings, request.AdminID, request.AdminPassword, m_owner);
    // Checked by the camera itself, through the dialog's own control.
    std::string why;
    auto control = DispatchSetupControl::create(kControlProgId, &why);
    if (!control) {
        messageBox("The administrator password cannot be checked: " + why, kStyleExclamation);
        return false;
    }
    PasswordCheckValues values;
    values.CheckMode = request.CheckMode;
    values.Camera = request.camera;
    {
        PasswordCheckDialog dialog(*m_settings, values, m_owner, control.get());
        dialog.runModal();
    }
    return values.PasswordOK && !values.Cancelled;
}

namespace {

// A dialog's context takes the program's boxes, event pump and waits from the settings' one.
void shareServices(DialogContext& to, const DialogContext& from)
{
    to.prompts = from.prompts;
    to.processEvents = from.processEvents;
    to.pause = from.pause;
}

std::int16_t flag(std::int32_t v)
{
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, INT16_MIN, INT16_MAX));
}

} // namespace

WebResult webResultFrom(const WebPageValues& values)
{
    WebResult r;
    r.Cancelled = values.cancelled;
    r.name = values.serverName;
    r.userName = values.userName;
    r.password = values.password;
    r.address = values.ipAddress;
    r.addressFlag = flag(values.ipAssign);
    r.portFlag = flag(values.secondPort);
    r.port1 = values.webSecond;
    r.port2 = values.imageSecond;
    return r;
}

WebResult ProgramDialogs::web(const WebRequest& request)
{
    if (!m_settings) {
        notAvailable("camera web page");
        return {};
    }
    WebPageContext context(m_settings->state, m_settings->engine);
    shareServices(context, *m_settings);
    context.run = request.connected;
    context.oldIPAddress = request.address;
    return webResultFrom(runWebPage(context, request.camera, m_owner));
}

void ProgramDialogs::updateFirmware(int n)
{
    if (!m_settings)
        return notAvailable("firmware update");
    FirmwareContext context(m_settings->state, m_settings->engine);
    shareServices(context, *m_settings);
    QPointer<QWidget> owner = m_owner;
    context.refreshConfigButtons = [owner] {
        if (auto* panel = qobject_cast<ControlPanel*>(owner.data()))
            panel->RefrushCamCfgBtn();
    };
    runFirmwareDialog(context, n, m_owner);
}

void ProgramDialogs::schedule(int n)
{
    if (!m_settings)
        return notAvailable("recording schedule");
    runScheduleDialog(*m_settings, n, m_owner);
}

void ProgramDialogs::motionSettings(int n)
{
    if (!m_settings)
        return notAvailable("motion and alert settings");
    runMotionSettings(*m_settings, n, m_owner);
}

void ProgramDialogs::systemSettings()
{
    if (!m_settings)
        return notAvailable("system settings");
    showSystemSettings(*m_settings, m_owner);
}

PlayResult ProgramDialogs::play(const std::string& startFolder)
{
    if (!m_settings) {
        notAvailable("recording picker");
        return {};
    }
    const PlayMenuResult picked = runPlayMenu(*m_settings, startFolder, m_owner);
    PlayResult result;
    result.Cancelled = picked.Cancelled;
    if (!picked.Cancelled)
        result.file = picked.PlayPath.string();
    return result;
}

void ProgramDialogs::about()
{
    if (!m_settings)
        return notAvailable("about box");
    runAbout(*m_settings, m_owner);
}

void ProgramDialogs::show(const std::string& text, Icon icon)
{
    messageBox(text, icon == Icon::Critical ? 16 : kStyleOk);
}

bool QtDesktopOpener::openWithAssociatedProgram(const std::filesystem::path& file)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.string())));
}

} // namespace pellucor
