#include "app/setup/browse_dialog.h"

#include "app/core/app_state.h"
#include "app/core/text_codec.h"
#include "app/setup/add_cam_dialog.h"
#include "app/setup/camera_login.h"
#include "app/setup/change_ip_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace pellucor {

namespace {

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

// The host part of an address that may carry ":port".
std::string hostPart(const std::string& address)
{
    return address.substr(0, address.find(':'));
}

} // namespace

std::string browseRowKey(int listIndex)
{
    return "S " + std::to_string(listIndex);
}

LoginDialog::LoginDialog(DialogContext& context, LoginValues& values, QWidget* parent)
    : SetupDialog(context, "frmLogin", parent), m_values(values)
{
    setWindowTitle(tr2("Caption", QStringLiteral("Login")));
    auto* userLabel = new QLabel(tr2("lblUserName", QStringLiteral("User Name")), this);
    userLabel->setObjectName("lblUserName");
    auto* passwordLabel = new QLabel(tr2("lblPassword", QStringLiteral("Password")), this);
    passwordLabel->setObjectName("lblPassword");
    m_user = new QLineEdit(this);
    m_user->setObjectName("txtUserName");
    m_password = new QLineEdit(this);
    m_password->setObjectName("txtPassword");
    m_password->setEchoMode(QLineEdit::Password);
    // A retried login shows what was typed last.
    m_user->setText(q(values.UserName));
    m_password->setText(q(values.Password));
    QPushButton* ok = makeButton("cmdOK", QStringLiteral("OK"));
    QPushButton* cancel = makeButton("cmdCancel", QStringLiteral("Cancel"));
    ok->setDefault(true);
    auto* grid = new QVBoxLayout(this);
    grid->addWidget(userLabel);
    grid->addWidget(m_user);
    grid->addWidget(passwordLabel);
    grid->addWidget(m_password);
    grid->addLayout(okCancelRow(ok, cancel));
    applyProgramFont();
    connect(ok, &QPushButton::clicked, this, [this] {
        m_values.Cancelled = false;
        m_values.UserName = m_user->text().toStdString();
        m_values.Password = m_password->text().toStdString();
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, [this] { onCancel(); });
}

void LoginDialog::onCancel()
{
    m_values.Cancelled = true;
    QDialog::reject();
}

BrowseDialog::BrowseDialog(DialogContext& context, SetupControl& control, BrowseValues& values,
                           QWidget* parent, SetupControlFactory makeControl)
    : SetupDialog(context, "frmBrowse", parent), m_control(control), m_values(values),
      m_makeControl(std::move(makeControl))
{
    setWindowTitle(tr2("Caption", QStringLiteral("Browse")));
    m_list = new QTreeWidget(this);
    m_list->setObjectName("ListViewSearch");
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({tr2("colName", QStringLiteral("Name")),
                             tr2("colIPAddress", QStringLiteral("IP Address")),
                             tr2("colMACAddress", QStringLiteral("MAC Address"))});
    m_list->header()->setStretchLastSection(true);
    m_list->setColumnWidth(0, 180);
    m_list->setColumnWidth(1, 120);
    m_inputIP = makeButton("cmdInputIP", QStringLiteral("&Input IP"));
    m_add = makeButton("cmdAdd", QStringLiteral("&Add"));
    m_changeIP = makeButton("cmdChangeIPAddress", QStringLiteral("Change I&P"));
    m_search = makeButton("cmdSearch", QStringLiteral("&ReSearch"));
    m_cancel = makeButton("cmdCancel", QStringLiteral("&Cancel"));
    m_search->setDefault(true);
    auto* row = new QHBoxLayout;
    for (QPushButton* b : {m_inputIP, m_add, m_changeIP, m_search, m_cancel})
        row->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(row);
    resize(560, 300);
    // In this edition the address change is not offered and Add takes its place.
    if (state().Language == "DravonetS")
        m_changeIP->hide();
    applyProgramFont();

    m_control.setRemotePort(kNativeCameraPort);
    m_control.setEvents(this);
    connect(m_search, &QPushButton::clicked, this, [this] { search(); });
    connect(m_add, &QPushButton::clicked, this, [this] { add(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { onCancel(); });
    connect(m_inputIP, &QPushButton::clicked, this, [this] { inputIP(); });
    connect(m_changeIP, &QPushButton::clicked, this, [this] { changeAddress(); });
    m_inputIP->setEnabled(static_cast<bool>(m_makeControl));
}

BrowseDialog::~BrowseDialog()
{
    m_control.setEvents(nullptr);
}

void BrowseDialog::onActivate()
{
    if (m_searchOnActivate) {
        m_searchOnActivate = false;
        search();
    }
}

void BrowseDialog::onCancel()
{
    m_values.Cancelled = true;
    QDialog::reject();
}

void BrowseDialog::enableButtons(bool on)
{
    for (QPushButton* b : {m_add, m_changeIP, m_search, m_cancel})
        b->setEnabled(on);
    m_inputIP->setEnabled(on && m_makeControl);
}

void BrowseDialog::setBusy(bool on)
{
    if (on && !m_busy)
        m_busy = std::make_unique<Busy>(*this);
    else if (!on)
        m_busy.reset();
    enableButtons(!on);
}

void BrowseDialog::clearList()
{
    m_list->clear();
    m_foundCount = 0;
}

void BrowseDialog::search()
{
    setBusy(true);
    clearList();
    m_control.searchDevice(1, {});
}

void BrowseDialog::onImageEvent(std::int32_t code)
{
    if (code != kEventDeviceFound)
        return;
    const std::int32_t k = m_foundCount++;
    m_control.setFoundIndex(k);
    auto* item = new QTreeWidgetItem(m_list);
    item->setData(0, Qt::UserRole, q(browseRowKey(k + 1)));
    item->setText(0, q(DecodeCharRefs(m_control.foundDeviceName())));
    item->setText(1, q(m_control.foundIPAddress()));
    item->setText(2, q(MacToHexText(m_control.foundMACAddress())));
    m_list->update();
}

void BrowseDialog::onEndSearchDevice(std::int32_t)
{
    if (!m_searchRepeated) {
        // A camera has moved: list the network once more before the dialog is free again.
        m_searchRepeated = true;
        clearList();
        m_control.searchDevice(1, {});
        return;
    }
    setBusy(false);
    if (m_list->topLevelItemCount() > 0)
        m_list->setCurrentItem(m_list->topLevelItem(0));
}

void BrowseDialog::finishIdle()
{
    setBusy(false);
}

void BrowseDialog::add()
{
    QTreeWidgetItem* row = m_list->currentItem();
    if (m_list->topLevelItemCount() == 0 || !row)
        return;
    m_selectedIndex = m_list->indexOfTopLevelItem(row) + 1;
    const std::string ip = row->text(1).toStdString();
    if (hostPart(ip).empty()) {
        showText(tr2("msgNoAddress", QStringLiteral("The camera has no IP address.")), MsgStyle::Exclamation);
        return;
    }
    bool conflict = false;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        conflict |= (i + 1 != m_selectedIndex && m_list->topLevelItem(i)->text(1).toStdString() == ip);
    // The camera is its address and the port that it is added with: another camera on the same
    // host may be added, the same camera not twice.
    m_control.setFoundIndex(m_selectedIndex - 1);
    const std::int32_t protocol = m_control.foundProtocol();
    std::int32_t port = kNativeCameraPort;
    if (protocol == kProtocolVideoCgi || protocol == kProtocolMjpegCgi)
        port = 80;
    else if (protocol == kProtocolKestra || protocol == kProtocolMultipart)
        port = m_control.remoteWebPort();
    if (slotHoldingCamera(state(), ip, {port}) != 0) {
        showMessage(7, MsgStyle::Plain);
        return;
    }
    if (conflict && state().Language != "DravonetS") {
        if (showMessage(5, MsgStyle::YesNoExclamation) != Answer::Yes)
            return;
    }

    // Nothing of an earlier add carries over to this camera.
    m_values.UserName.clear();
    m_values.Password.clear();
    m_values.PT = false;
    m_values.Port = port;

    m_control.setProtocol(kProtocolNative);
    m_control.setRemotePort(kNativeCameraPort);
    m_control.setRemoteHost(ip);
    m_values.IPAddress = ip;
    m_values.Protocol = protocol;
    m_values.MacAddress = m_control.foundMACAddress();
    m_control.setMACAddress(m_values.MacAddress);
    const std::int32_t prop = m_control.foundProp();
    if (protocol == kProtocolNative || protocol == kProtocolVideoCgi) {
        m_values.PT = (prop & 16) != 0;
    } else if (protocol == kProtocolKestra) {
        m_control.setRemotePort(m_control.remoteWebPort());
        // The port page and the status block come from the camera itself.
        m_values.PT = callCamera("browse-kestra", [this] {
            m_control.getKestraPort();
            m_control.getKestraValue(83);
            return m_control.ptSupport() == 1;
        });
    }
    if (conflict && state().Language != "DravonetS" && !moveCamera(ip, row->text(2).toStdString()))
        return;

    m_control.setRemoteHost(m_values.IPAddress);
    setBusy(true);
    if (protocol != kProtocolKestra && protocol != kProtocolMultipart &&
        callCamera("browse-config", [this] { return m_control.getConfig(0); }) != -1) {
        // Anything but -1 means the configuration was not read: no login on guessed values.
        finishIdle();
        showMessage(6, MsgStyle::Plain);
        return;
    }
    const std::string adminName = m_control.getConfigValueBSTR(configField::kAdminName);
    const std::string adminPassword = m_control.getConfigValueBSTR(configField::kAdminPassword);
    m_values.IsLocalCamera = true;
    m_values.ServerModel = m_control.foundServerModel();
    m_values.ServerName = DecodeCharRefs(m_control.foundDeviceName());
    m_values.FWVersion = m_control.foundFWVersion();
    m_values.HWVersion = m_control.foundHWVersion();
    m_values.ROMVersion = m_control.foundROMVersion();
    m_values.ServerLocation = m_control.foundLocation();
    m_control.setRemoteHost(m_values.IPAddress);
    m_control.setRemotePort(m_values.Port);
    m_control.setProtocol(protocol);

    if (adminName.empty() && adminPassword.empty() && protocol != kProtocolKestra &&
        protocol != kProtocolMultipart) {
        finishIdle();
        m_values.Cancelled = false;
        accept();
        return;
    }
    m_login = LoginValues{};
    enableButtons(false);
    if (!askAndLogin()) {
        finishIdle();
        m_values.Cancelled = true;
    }
}

bool BrowseDialog::moveCamera(const std::string& ip, const std::string& macText)
{
    ChangeIPValues in;
    in.IPAddress = ip;
    in.MacAddress = macText;
    in.SubnetMask = "255.255.255.0";
    in.DefaultGateway = "0.0.0.0";
    in.showOptions = false; // only a fixed address can be given
    ChangeIPValues change;
    {
        change = in;
        ChangeIPDialog dialog(
            context(), change, [this](const std::string& a) { return m_control.checkIP(a, 80) == -1; }, this);
        runChild(dialog);
    }
    if (change.Cancelled)
        return false;
    setBusy(true);
    m_foundCount = 0;
    m_searchRepeated = false; // the next search runs twice
    const std::int32_t r = callCamera("browse-move", [this, &change] {
        return m_control.setIPAddress(change.IPAddress, change.SubnetMask, change.DefaultGateway);
    });
    letEventsRun();
    pauseMs(15000);
    letEventsRun();
    if (r != -1) {
        finishIdle();
        showMessage(1, MsgStyle::Plain);
        return false;
    }
    m_control.setRemoteHost(change.IPAddress);
    m_values.IPAddress = change.IPAddress;
    setBusy(false);
    return true;
}

bool BrowseDialog::askAndLogin()
{
    // The login dialog is modal over this one, which stays without its buttons meanwhile.
    m_busy.reset();
    {
        LoginDialog login(context(), m_login, this);
        runChild(login);
    }
    if (m_login.Cancelled)
        return false;
    setBusy(true);
    m_values.UserName = m_login.UserName;
    m_values.Password = m_login.Password;
    m_cameraLogin.start(m_control, m_values.Protocol, m_values.UserName, m_values.Password);
    return true;
}

void BrowseDialog::onEndLoginCamera(std::int32_t status)
{
    if (status == -1) {
        m_values.SessionCookie = m_cameraLogin.acceptedCookie(m_values.Protocol);
        finishIdle();
        m_values.Cancelled = false;
        accept();
        return;
    }
    if (status == 1) {
        showMessage(4, MsgStyle::Critical);
        if (!askAndLogin()) {
            finishIdle();
            m_values.Cancelled = true;
        }
        return;
    }
    // Failed, or an end this window does not know: the dialog is free again.
    finishIdle();
    m_values.Cancelled = true;
    if (status == 0)
        showMessage(6, MsgStyle::Critical);
}

BrowseValues browseForCamera(DialogContext& context, SetupControl& control, QWidget* parent,
                             SetupControlFactory makeControl)
{
    BrowseValues values;
    {
        BrowseDialog dialog(context, control, values, parent, std::move(makeControl));
        dialog.runModal();
    }
    return values;
}

} // namespace pellucor
