// The search dialog's two other ways to a camera: adding one by its typed address (the add
// dialog with its own control), and giving a found camera new network settings before it is
// added. The change goes one of four ways by the protocol the search found: the configuration
// block over TCP (protocols 0 and 1), the broadcast setup protocol when that block cannot be
// read, the multicast protocol of the Kestra family (3), and the web-form family (4), whose
// discovery reply carries its credentials: those are compared with what the user types and
// never kept.
#include "app/setup/add_cam_dialog.h"
#include "app/setup/browse_dialog.h"
#include "app/setup/change_ip_dialog.h"
#include "app/setup/password_check_dialog.h"

#include "app/core/app_state.h"
#include "app/core/bits.h"

#include <QTreeWidget>

namespace pellucor {

namespace {

using namespace configField;
// IsRequireAuthenticationBroadcast and CheckPasswordBroadcast answers.
constexpr std::int32_t kPasswordRequired = 2;
constexpr std::int32_t kNoPassword = 3;
constexpr std::int32_t kBroadcastAccepted = 3;
// How long the camera gets to take a new address before it is restarted, and before the
// search after a multicast change.
constexpr std::uint32_t kRestartWaitMs = 3000;
constexpr std::uint32_t kMulticastWaitMs = 1000;

// Bits 1 and 10 both set: the camera takes its address from a DHCP server.
bool usesDhcp(std::int32_t flags)
{
    const std::int16_t word = LongToInt(flags);
    return BitTestInteger(word, 1) && BitTestInteger(word, 10);
}

// The flags word switched to DHCP: bit 0 off, bit 1 on, bits 8 and 9 off, bit 10 on, bit 11 off;
// the other bits stay.
std::int16_t dhcpFlags(std::int32_t flags)
{
    std::int16_t word = LongToInt(flags);
    BitClearInteger(word, 0);
    BitSetInteger(word, 1);
    BitClearInteger(word, 8);
    BitClearInteger(word, 9);
    BitSetInteger(word, 10);
    BitClearInteger(word, 11);
    return word;
}

} // namespace

void BrowseDialog::inputIP()
{
    if (!m_makeControl)
        return;
    std::unique_ptr<SetupControl> control = m_makeControl();
    if (!control)
        return;
    std::vector<std::string> listed;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        listed.push_back(m_list->topLevelItem(i)->text(1).toStdString());
    AddCamValues typed;
    typed.Cancelled = false;
    {
        AddCamDialog dialog(context(), *control, typed, std::move(listed), this);
        runChild(dialog);
    }
    if (typed.Cancelled)
        return;
    // The name decoded as the add dialog made it, like the names of found cameras.
    static_cast<ChosenCamera&>(m_values) = typed;
    m_control.setRemotePort(typed.Port);
    m_values.IsLocalCamera = typed.InSearchList;
    m_values.Cancelled = false;
    accept();
}

void BrowseDialog::changeAddress()
{
    QTreeWidgetItem* row = m_list->currentItem();
    if (m_list->topLevelItemCount() == 0 || !row)
        return;
    const int index = m_list->indexOfTopLevelItem(row) + 1;
    const std::string ip = row->text(1).toStdString();
    const std::string macText = row->text(2).toStdString();
    m_control.setFoundIndex(index - 1);
    m_control.setRemoteHost(ip);
    m_control.setMACAddress(m_control.foundMACAddress());
    switch (m_control.foundProtocol()) {
    case kProtocolNative:
    case kProtocolVideoCgi:
        changeByConfig(index, ip, macText);
        break;
    case kProtocolKestra:
        changeByMulticast(ip, macText);
        break;
    case kProtocolMultipart:
        changeByWebForm(ip, macText);
        break;
    default:
        break;
    }
}

ChangeIPValues BrowseDialog::foundAddress(const std::string& ip, const std::string& macText, bool showOptions)
{
    ChangeIPValues change;
    change.IPAddress = ip;
    change.MacAddress = macText;
    change.SubnetMask = m_control.foundSubMask();
    change.DefaultGateway = m_control.foundDefGateway();
    change.showOptions = showOptions;
    change.dhcp = false;
    return change;
}

bool BrowseDialog::askNewAddress(ChangeIPValues& change)
{
    change.Cancelled = true;
    {
        ChangeIPDialog dialog(
            context(), change, [this](const std::string& a) { return m_control.checkIP(a, 80) == -1; }, this);
        runChild(dialog);
    }
    return !change.Cancelled;
}

bool BrowseDialog::loginUntil(const std::function<bool(const LoginValues&)>& accept)
{
    while (true) {
        LoginValues login;
        {
            LoginDialog dialog(context(), login, this);
            runChild(dialog);
        }
        if (login.Cancelled)
            return false;
        if (accept(login))
            return true;
        showMessage(4, MsgStyle::Exclamation);
    }
}

void BrowseDialog::startAddressChange()
{
    setBusy(true);
    clearList();
    m_searchRepeated = false;
}

void BrowseDialog::endAddressChange(std::int32_t result, const std::string& newAddress)
{
    pauseMs(kRestartWaitMs);
    callCamera("browse-reset", [this] { return m_control.reset(); });
    if (result == -1) {
        m_control.setRemoteHost(newAddress);
        m_control.searchDevice(1, newAddress);
        return;
    }
    // Nothing was changed: the dialog is free again, and its next search runs twice.
    showMessage(1, MsgStyle::Critical);
    setBusy(false);
}

void BrowseDialog::changeByConfig(int index, const std::string& ip, const std::string& macText)
{
    m_control.setFoundIndex(index - 1);
    m_control.setRemoteHost(ip);
    m_control.setMACAddress(m_control.foundMACAddress());
    m_control.setProtocol(kProtocolNative);
    m_control.setRemotePort(kNativeCameraPort);
    const std::int32_t r = callCamera("browse-config", [this] { return m_control.getConfig(0); });
    if (r != -1)
        return changeByBroadcast(index, ip, macText);

    const std::string adminName = m_control.getConfigValueBSTR(kAdminName);
    const std::string adminPassword = m_control.getConfigValueBSTR(kAdminPassword);
    if (!adminName.empty() || !adminPassword.empty()) {
        PasswordCheckValues check;
        check.CheckMode = 0;
        check.ExpectedID = adminName;
        check.ExpectedPassword = adminPassword;
        {
            PasswordCheckDialog dialog(context(), check, this);
            runChild(dialog);
        }
        if (check.Cancelled || !check.PasswordOK)
            return;
    }
    ChangeIPValues change;
    change.IPAddress = ip;
    change.MacAddress = macText;
    change.SubnetMask = m_control.getConfigValueBSTR(kSubnetMask);
    change.DefaultGateway = m_control.getConfigValueBSTR(kGateway);
    change.showOptions = true;
    const std::int32_t flags = m_control.getConfigValue(kNetworkFlags);
    change.dhcp = usesDhcp(flags);
    if (!askNewAddress(change))
        return;
    startAddressChange();
    if (change.dhcp)
        m_control.setConfigValue(kNetworkFlags, static_cast<std::uint16_t>(dhcpFlags(flags)));
    const std::int32_t r2 = callCamera("browse-change", [this, &change] {
        return change.dhcp
                   ? m_control.setConfig(1, 0)
                   : m_control.setIPAddress(change.IPAddress, change.SubnetMask, change.DefaultGateway);
    });
    endAddressChange(r2, change.IPAddress);
}

void BrowseDialog::changeByBroadcast(int index, const std::string& ip, const std::string& macText)
{
    const std::string mac = m_control.foundMACAddress();
    m_control.setRemoteHost(ip);
    m_control.setRemotePort(kNativeCameraPort);
    m_control.setProtocol(kProtocolNative);
    m_control.setMACAddress(mac);
    const std::int32_t needed =
        callCamera("browse-auth", [this] { return m_control.isRequireAuthenticationBroadcast(); });
    if (needed == kPasswordRequired) {
        m_control.setUserName({});
        m_control.setPassword({});
        const std::int32_t empty =
            callCamera("browse-check", [this] { return m_control.checkPasswordBroadcast({}, {}); });
        // Only a camera that takes the empty password goes on without the check; one that did
        // not answer is asked like one that refused.
        if (empty != kBroadcastAccepted) {
            PasswordCheckValues check;
            check.CheckMode = 2;
            check.IPAddress = ip;
            check.MacAddress = mac;
            {
                PasswordCheckDialog dialog(context(), check, this, &m_control);
                runChild(dialog);
            }
            if (check.Cancelled || !check.PasswordOK)
                return;
        }
    } else if (needed != kNoPassword) {
        showMessage(3, MsgStyle::Critical);
        return;
    }
    m_control.setFoundIndex(index - 1);
    ChangeIPValues change = foundAddress(ip, macText, false); // only a fixed address can be given
    if (!askNewAddress(change))
        return;
    startAddressChange();
    const std::int32_t r = callCamera("browse-change", [this, &change] {
        return m_control.setIPAddress(change.IPAddress, change.SubnetMask, change.DefaultGateway);
    });
    endAddressChange(r, change.IPAddress);
}

void BrowseDialog::changeByMulticast(const std::string& ip, const std::string& macText)
{
    // The local adapter under which the camera answered the search.
    const std::string localId = m_control.getLocalUUID(m_control.foundDevServerStatus());
    const bool loggedIn = loginUntil([&](const LoginValues& login) {
        return callCamera("browse-check", [&] {
            m_control.setLocalUUID(0, localId);
            return m_control.checkPasswordMulticast(login.UserName, login.Password) == -1;
        });
    });
    if (!loggedIn)
        return;
    ChangeIPValues change = foundAddress(ip, macText, true);
    if (!askNewAddress(change))
        return;
    callCamera("browse-change", [&] {
        m_control.setLocalUUID(0, localId);
        // The new search shows where the camera is; the answer is not needed.
        m_control.setIPAddressMulticast(change.IPAddress, change.SubnetMask, change.DefaultGateway,
                                        change.dhcp ? 2 : 1);
    });
    pauseMs(kMulticastWaitMs);
    search();
}

void BrowseDialog::changeByWebForm(const std::string& ip, const std::string& macText)
{
    m_control.setProtocol(kProtocolMultipart);
    m_control.setRemotePort(m_control.remoteWebPort());
    // The camera's own credentials are read for the comparison only.
    const bool loggedIn = loginUntil([this](const LoginValues& login) {
        return login.UserName == m_control.foundString(0) && login.Password == m_control.foundString(1);
    });
    if (!loggedIn)
        return;
    ChangeIPValues change = foundAddress(ip, macText, false);
    if (!askNewAddress(change))
        return;
    callCamera("browse-change", [this, &change] {
        return m_control.setIPAddress(change.IPAddress, change.SubnetMask, change.DefaultGateway);
    });
    pauseMs(kRestartWaitMs);
    callCamera("browse-reset", [this] { return m_control.reset(); });
    search();
}

} // namespace pellucor
