#include "app/setup/add_cam_dialog.h"

#include "app/core/app_state.h"
#include "app/core/text_codec.h"
#include "app/setup/camera_login.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>

namespace pellucor {

namespace {

// The port of the native frame protocol, handed back for a Protocol 0 camera typed without one
// (the probe and the login ran on the web port, 80; the pictures come on this one).
constexpr std::int32_t kWebPort = 80;

std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

} // namespace

TypedAddress parseTypedAddress(const std::string& text)
{
    TypedAddress out;
    out.host = text;
    const auto colon = text.find(':');
    if (colon == std::string::npos || colon == 0)
        return out;
    const auto end = text.find(':', colon + 1);
    const std::string port =
        text.substr(colon + 1, end == std::string::npos ? std::string::npos : end - colon - 1);
    std::int32_t value = 0;
    const bool digits = !port.empty() && port.size() <= 5 &&
                        std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits)
        std::from_chars(port.data(), port.data() + port.size(), value);
    if (!digits || value < 1 || value > 65535) {
        out.badPort = true;
        return out;
    }
    out.host = text.substr(0, colon);
    out.port = value;
    return out;
}

int slotHoldingCamera(const AppState& state, const std::string& host, const std::vector<std::int32_t>& ports)
{
    for (int slot = 1; slot <= kCameraCount; ++slot) {
        const CamInfo& cam = state.cam(slot);
        const TypedAddress held = parseTypedAddress(cam.IPAddress);
        if (held.host == host &&
            std::find(ports.begin(), ports.end(), held.port.value_or(cam.Port)) != ports.end())
            return slot;
    }
    return 0;
}

AddCamDialog::AddCamDialog(DialogContext& context, SetupControl& control, AddCamValues& values,
                           std::vector<std::string> listed, QWidget* parent)
    : SetupDialog(context, "frmAddCam", parent), m_control(control), m_values(values),
      m_listed(std::move(listed))
{
    setWindowTitle(tr2("Caption", QStringLiteral("Add Camera")));
    auto* label = new QLabel(tr2("lblIPAddress", QStringLiteral("IP address")), this);
    label->setObjectName("lblIPAddress");
    m_address = new QLineEdit(this);
    m_address->setObjectName("txtIPAddress");
    m_add = makeButton("cmdAdd", QStringLiteral("&Add"));
    m_cancel = makeButton("cmdCancel", QStringLiteral("&Cancel"));
    m_add->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_address);
    layout->addLayout(okCancelRow(m_add, m_cancel));
    resize(360, 120);
    applyProgramFont();
    m_control.setEvents(this);
    connect(m_add, &QPushButton::clicked, this, [this] { add(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { onCancel(); });
}

AddCamDialog::~AddCamDialog()
{
    m_control.setEvents(nullptr);
}

void AddCamDialog::onCancel()
{
    m_values.Cancelled = true;
    QDialog::reject();
}

void AddCamDialog::setBusy(bool on)
{
    if (on && !m_busy)
        m_busy = std::make_unique<Busy>(*this);
    else if (!on)
        m_busy.reset();
}

void AddCamDialog::retype()
{
    setBusy(false);
    m_address->setFocus(Qt::OtherFocusReason);
    m_address->selectAll();
}

void AddCamDialog::finish()
{
    setBusy(false);
    m_values.Cancelled = false;
    accept();
}

void AddCamDialog::add()
{
    // Nothing of an earlier camera carries over to this one.
    m_values.UserName.clear();
    m_values.Password.clear();
    m_values.PT = false;
    m_values.Port = 0;
    m_values.SessionCookie.clear();
    m_login = LoginValues{};

    const std::string typed = trimmed(m_address->text().toStdString());
    if (typed.empty()) {
        refuseText(m_address, tr2("msgNoAddress", QStringLiteral("Please enter the camera's address.")),
                   MsgStyle::Exclamation);
        return;
    }
    const TypedAddress address = parseTypedAddress(typed);
    if (address.badPort) {
        refuseText(
            m_address,
            tr2("msgBadPort", QStringLiteral("The port after \":\" must be a number from 1 to 65535.")),
            MsgStyle::Exclamation);
        return;
    }
    m_control.setRemotePort(address.port.value_or(kWebPort));
    if (address.port)
        m_values.Port = *address.port;
    m_control.setRemoteHost(address.host);
    setBusy(true);

    m_values.InSearchList = std::find(m_listed.begin(), m_listed.end(), address.host) != m_listed.end();
    // Without a typed port the camera comes back on the web port, or on the native port when it
    // turns out to be a native camera.
    const std::vector<std::int32_t> ports = address.port
                                                ? std::vector<std::int32_t>{*address.port}
                                                : std::vector<std::int32_t>{kWebPort, kNativeCameraPort};
    if (slotHoldingCamera(state(), address.host, ports) != 0) {
        showMessage(4, MsgStyle::Plain);
        retype();
        return;
    }
    m_control.probeDevice(1, true);
}

void AddCamDialog::onEndProbeDevice(std::int32_t status)
{
    if (status != -1) {
        showMessage(2, MsgStyle::Critical);
        retype();
        return;
    }
    m_control.setFoundIndex(-1);
    const std::int32_t protocol = m_control.foundProtocol();
    m_values.Protocol = protocol;
    m_control.setProtocol(protocol);
    m_values.MacAddress = m_control.foundMACAddress();
    m_control.setMACAddress(m_values.MacAddress);
    m_values.ServerModel = m_control.foundServerModel();
    m_values.ServerName = DecodeCharRefs(m_control.foundDeviceName());
    m_values.FWVersion = m_control.foundFWVersion();
    m_values.HWVersion = m_control.foundHWVersion();
    m_values.ROMVersion = m_control.foundROMVersion();
    m_values.ServerLocation = m_control.foundLocation();
    const std::int32_t prop = m_control.foundProp();
    if (protocol == kProtocolNative || protocol == kProtocolVideoCgi) {
        m_values.PT = (prop & 16) != 0;
    } else if (protocol == kProtocolKestra) {
        // The port page and the status block come from the camera itself.
        m_values.PT = callCamera("add-kestra", [this] {
            m_control.getKestraPort();
            m_control.getKestraValue(83);
            return m_control.ptSupport() == 1;
        });
    }
    m_control.setMACAddress(m_values.MacAddress);

    const bool portTyped = m_values.Port != 0;
    m_values.IPAddress = m_control.remoteHost();
    m_values.Port = m_control.remotePort();
    if (protocol == kProtocolNative && !portTyped)
        m_values.Port = kNativeCameraPort;
    const bool configRead = protocol != kProtocolKestra &&
                            callCamera("add-config", [this] { return m_control.getConfig(0); }) == -1;
    if (configRead && protocol != kProtocolMultipart &&
        m_control.getConfigValueBSTR(configField::kAdminName).empty() &&
        m_control.getConfigValueBSTR(configField::kAdminPassword).empty()) {
        // The camera has no administrator name or password: no login.
        finish();
        return;
    }
    // A configuration that cannot be read without credentials asks for them.
    askAndLogin();
}

bool AddCamDialog::askAndLogin()
{
    // The login dialog is modal over this one: a busy (disabled) owner would disable it too.
    setBusy(false);
    {
        LoginDialog login(context(), m_login, this);
        runChild(login);
    }
    if (m_login.Cancelled) {
        m_values.Cancelled = true;
        retype();
        return false;
    }
    m_values.UserName = m_login.UserName;
    m_values.Password = m_login.Password;
    setBusy(true);
    m_cameraLogin.start(m_control, m_values.Protocol, m_values.UserName, m_values.Password);
    return true;
}

void AddCamDialog::onEndLoginCamera(std::int32_t status)
{
    if (status == -1) {
        m_values.SessionCookie = m_cameraLogin.acceptedCookie(m_values.Protocol);
        finish();
        return;
    }
    if (status == 1) {
        setBusy(false);
        showMessage(3, MsgStyle::Plain);
        askAndLogin();
        return;
    }
    // Failed (0), or an end this dialog does not know: the login did not happen.
    setBusy(false);
    m_values.Cancelled = true;
    showMessage(1, MsgStyle::Critical);
    if (status == 0)
        QDialog::reject();
    else
        retype();
}

} // namespace pellucor
