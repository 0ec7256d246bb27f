#include "app/setup/change_ip_dialog.h"

#include "app/core/regex_engine.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <charconv>

namespace pellucor {

namespace {

constexpr const char* kAddressPattern =
    "([1-2]?[0-9]{1,2}\\.[1-2]?[0-9]{1,2}\\.[1-2]?[0-9]{1,2}\\.[1-2]?[0-9]{1,2}|^$)";

std::string trimmed(const QString& s)
{
    return s.trimmed().toStdString();
}

} // namespace

bool CheckIPFormat(const std::string& text)
{
    if (text.empty())
        return false;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = text.find('.', start);
        const std::string part =
            text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        int value = -1;
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || ec != std::errc() || end != part.data() + part.size() || value < 0 || value > 255)
            return false;
        if (dot == std::string::npos)
            return true;
        start = dot + 1;
    }
}

ChangeIPDialog::ChangeIPDialog(DialogContext& context, ChangeIPValues& values, AddressInUse inUse,
                               QWidget* parent)
    : SetupDialog(context, "frmChangeIPAddress", parent), m_values(values), m_inUse(std::move(inUse))
{
    setWindowTitle(tr2("Caption", QStringLiteral("Change IP Address")));
    m_dhcp = new QRadioButton(tr2("optDHCP", QStringLiteral("Obtain an address automatically (DHCP)")), this);
    m_dhcp->setObjectName("optDHCP");
    m_fixed = new QRadioButton(tr2("optInputIP", QStringLiteral("Use this address")), this);
    m_fixed->setObjectName("optInputIP");
    m_ip = new QLineEdit(this);
    m_ip->setObjectName("txtIPAddress");
    m_mask = new QLineEdit(this);
    m_mask->setObjectName("txtSubnetMask");
    m_gateway = new QLineEdit(this);
    m_gateway->setObjectName("txtDefaultGateway");
    auto* form = new QFormLayout;
    form->addRow(tr2("lblIPAddress", QStringLiteral("IP address")), m_ip);
    form->addRow(tr2("lblSubnetMask", QStringLiteral("Subnet mask")), m_mask);
    form->addRow(tr2("lblDefaultGateway", QStringLiteral("Default gateway")), m_gateway);
    QPushButton* okButton = makeButton("cmdOK", QStringLiteral("OK"));
    QPushButton* cancel = makeButton("cmdCancel", QStringLiteral("Cancel"));
    okButton->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_dhcp);
    layout->addWidget(m_fixed);
    layout->addLayout(form);
    layout->addLayout(okCancelRow(okButton, cancel));
    applyProgramFont();

    m_dhcp->setChecked(values.dhcp);
    m_fixed->setChecked(!values.dhcp);
    m_dhcp->setVisible(values.showOptions);
    m_fixed->setVisible(values.showOptions);
    const auto follow = [this] {
        for (QLineEdit* e : {m_ip, m_mask, m_gateway})
            e->setEnabled(m_fixed->isChecked());
    };
    follow();
    connect(m_fixed, &QRadioButton::toggled, this, follow);
    connect(okButton, &QPushButton::clicked, this, [this] { ok(); });
    connect(cancel, &QPushButton::clicked, this, [this] { onCancel(); });
}

void ChangeIPDialog::onActivate()
{
    m_ip->setText(QString::fromStdString(m_values.IPAddress));
    m_mask->setText(QString::fromStdString(m_values.SubnetMask));
    m_gateway->setText(QString::fromStdString(m_values.DefaultGateway));
}

void ChangeIPDialog::onCancel()
{
    m_values.Cancelled = true;
    QDialog::reject();
}

bool ChangeIPDialog::checkField(QLineEdit* field, int emptyMessage, int badMessage)
{
    const std::string text = field->text().toStdString();
    if (text.empty()) {
        refuse(field, emptyMessage, MsgStyle::Exclamation);
        return false;
    }
    if (!RegExprTest(text, kAddressPattern) || !CheckIPFormat(text)) {
        refuse(field, badMessage, MsgStyle::Exclamation);
        return false;
    }
    return true;
}

void ChangeIPDialog::ok()
{
    if (m_fixed->isChecked()) {
        if (!checkField(m_ip, 1, 2) || !checkField(m_mask, 3, 4) || !checkField(m_gateway, 5, 6))
            return;
        // Asked twice: a device that was slow to answer the first time is still caught.
        const std::string address = trimmed(m_ip->text());
        // Each check waits for the connection's time-out when nothing is there.
        const bool inUse = m_inUse && callCamera("check-address", [this, &address] {
                               return m_inUse(address) || m_inUse(address);
                           });
        if (inUse) {
            refuse(m_ip, 7, MsgStyle::Exclamation);
            return;
        }
        m_values.IPAddress = m_ip->text().toStdString();
        m_values.SubnetMask = m_mask->text().toStdString();
        m_values.DefaultGateway = m_gateway->text().toStdString();
    }
    m_values.dhcp = m_dhcp->isChecked();
    m_values.Cancelled = false;
    accept();
}

ChangeIPValues changeIPAddress(DialogContext& context, const ChangeIPValues& in, AddressInUse inUse,
                               QWidget* parent)
{
    ChangeIPValues values = in;
    values.Cancelled = true;
    {
        ChangeIPDialog dialog(context, values, std::move(inUse), parent);
        dialog.runModal();
    }
    return values;
}

} // namespace pellucor
