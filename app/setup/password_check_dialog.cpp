#include "app/setup/password_check_dialog.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pellucor {

PasswordCheckDialog::PasswordCheckDialog(DialogContext& context, PasswordCheckValues& values, QWidget* parent)
    : SetupDialog(context, "frmCheckPassword", parent), m_values(values)
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
    QPushButton* okButton = makeButton("cmdOK", QStringLiteral("OK"));
    QPushButton* cancel = makeButton("cmdCancel", QStringLiteral("Cancel"));
    okButton->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(okCancelRow(okButton, cancel));
    applyProgramFont();
    m_values.Cancelled = false;
    m_values.PasswordOK = false;
    connect(okButton, &QPushButton::clicked, this, [this] { ok(); });
    connect(cancel, &QPushButton::clicked, this, [this] { onCancel(); });
}

void PasswordCheckDialog::ok()
{
    m_values.Cancelled = false;
    m_values.PasswordOK = false;
    // Exact comparison: a stray blank makes the value wrong.
    if (m_id->text().toStdString() != m_values.ExpectedID) {
        refuse(m_id, 2, MsgStyle::Plain);
        return;
    }
    if (m_password->text().toStdString() != m_values.ExpectedPassword) {
        refuse(m_password, 1, MsgStyle::Plain);
        return;
    }
    m_values.PasswordOK = true;
    accept();
}

void PasswordCheckDialog::onCancel()
{
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
