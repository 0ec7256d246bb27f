#include "app/setup/password_check_dialog.h"

#include "app/core/app_state.h"

#include <QApplication>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pellucor {

namespace {

// CheckPasswordBroadcast's answer for accepted values.
constexpr std::int32_t kBroadcastAccepted = 3;

std::string trimmed(const QLineEdit* e)
{
    return e->text().trimmed().toStdString();
}

} // namespace

PasswordCheckDialog::PasswordCheckDialog(DialogContext& context, PasswordCheckValues& values, QWidget* parent,
                                         SetupControl* control)
    : SetupDialog(context, "frmCheckPassword", parent), m_values(values), m_control(control)
{
    setWindowTitle(tr2("Caption", QStringLiteral("Administrator Password")));
    m_id = new QLineEdit(this);
    m_id->setObjectName("txtAdminID");
    m_password = new QLineEdit(this);
    m_password->setObjectName("txtPassword");
    m_password->setEchoMode(QLineEdit::Password);
    auto* form = new QFormLayout;
    form->addRow(tr2("lblAdminID", QStringLiteral("Administrator ID")), m_id);
    form->addRow(tr2("lblPassword", QStringLiteral("Password")), m_password);
    m_ok = makeButton("cmdOK", QStringLiteral("OK"));
    m_cancel = makeButton("cmdCancel", QStringLiteral("Cancel"));
    m_ok->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(okCancelRow(m_ok, m_cancel));
    applyProgramFont();
    m_values.Cancelled = false;
    m_values.PasswordOK = false;
    // Only the dialog's own control reports to it; the search dialog's keeps its events.
    if (m_control && m_values.CheckMode == 1)
        m_control->setEvents(this);
    connect(m_ok, &QPushButton::clicked, this, [this] { ok(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { onCancel(); });
}

PasswordCheckDialog::~PasswordCheckDialog()
{
    setProbing(false);
    if (m_control && m_values.CheckMode == 1)
        m_control->setEvents(nullptr);
}

void PasswordCheckDialog::accepted()
{
    m_values.PasswordOK = true;
    accept();
}

void PasswordCheckDialog::ok()
{
    m_values.Cancelled = false;
    m_values.PasswordOK = false;
    if (m_values.CheckMode == 1)
        return checkCurrentCamera();
    if (m_values.CheckMode != 0)
        return checkFoundCamera();
    // Exact comparison: a stray blank makes the value wrong.
    if (m_id->text().toStdString() != m_values.ExpectedID) {
        refuse(m_id, 2, MsgStyle::Plain);
        return;
    }
    if (m_password->text().toStdString() != m_values.ExpectedPassword) {
        refuse(m_password, 1, MsgStyle::Plain);
        return;
    }
    accepted();
}

void PasswordCheckDialog::setProbing(bool on)
{
    if (on == m_probing)
        return;
    m_probing = on;
    // The close box still cancels while the probe runs; only the buttons wait for it.
    m_ok->setEnabled(!on);
    m_cancel->setEnabled(!on);
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void PasswordCheckDialog::checkCurrentCamera()
{
    if (!m_control)
        return unreachable();
    const CamInfo& cam = state().cam(m_values.Camera);
    if (cam.Protocol != kProtocolVideoCgi) {
        m_control->setRemoteHost(cam.IPAddress);
        setProbing(true);
        m_control->probeDevice(1, true);
        return;
    }
    const SystemSettings& s = state().settings;
    m_control->setRemoteHost(cam.IPAddress);
    m_control->setProtocol(kProtocolVideoCgi);
    m_control->setRemotePort(cam.Port);
    m_control->setLocalCamera(cam.IsLocalCamera);
    m_control->setUserName(trimmed(m_id));
    m_control->setPassword(trimmed(m_password));
    m_control->setProxy(s.ProxyServerAddress, s.ProxyServerPort, s.EnableProxy, s.BypassProxyServer);
    const std::int32_t r = callCamera("password-config", [this] { return m_control->getConfig(0); });
    if (r == -1)
        return accepted();
    refuse(m_password, 3, MsgStyle::Plain);
}

void PasswordCheckDialog::onEndProbeDevice(std::int32_t status)
{
    if (!m_probing)
        return;
    setProbing(false);
    if (status != -1)
        return unreachable();
    m_control->setFoundIndex(-1);
    m_control->setProtocol(m_control->foundProtocol());
    m_control->setMACAddress(m_control->foundMACAddress());
    m_control->setRemotePort(state().cam(m_values.Camera).Port);
    const std::int32_t r = callCamera("password-config", [this] { return m_control->getConfig(0); });
    if (r != -1)
        return unreachable();
    const std::string id = m_control->getConfigValueBSTR(configField::kAdminName);
    const std::string password = m_control->getConfigValueBSTR(configField::kAdminPassword);
    // A camera without an administrator password takes any typed values.
    if ((id.empty() && password.empty()) || (trimmed(m_id) == id && trimmed(m_password) == password))
        return accepted();
    refuse(m_password, 3, MsgStyle::Plain);
}

void PasswordCheckDialog::unreachable()
{
    showMessage(4, MsgStyle::Critical);
    m_values.Cancelled = true;
    m_values.PasswordOK = false;
    QDialog::reject();
}

void PasswordCheckDialog::checkFoundCamera()
{
    if (!m_control)
        return unreachable();
    const std::string id = trimmed(m_id);
    const std::string password = trimmed(m_password);
    m_control->setRemoteHost(m_values.IPAddress);
    m_control->setRemotePort(kNativeCameraPort);
    m_control->setProtocol(kProtocolNative);
    m_control->setMACAddress(m_values.MacAddress);
    m_control->setUserName(id);
    m_control->setPassword(password);
    const std::int32_t r = callCamera(
        "password-check", [this, &id, &password] { return m_control->checkPasswordBroadcast(id, password); });
    // Only "accepted" counts: no answer is a refusal.
    if (r == kBroadcastAccepted)
        return accepted();
    refuse(m_password, 3, MsgStyle::Plain);
}

void PasswordCheckDialog::onCancel()
{
    setProbing(false);
    m_values.Cancelled = true;
    m_values.PasswordOK = false;
    QDialog::reject();
}

bool checkKnownPassword(DialogContext& context, const std::string& id, const std::string& password,
                        QWidget* parent)
{
    PasswordCheckValues values;
    values.ExpectedID = id;
    values.ExpectedPassword = password;
    {
        PasswordCheckDialog dialog(context, values, parent);
        dialog.runModal();
    }
    return values.PasswordOK;
}

} // namespace pellucor
