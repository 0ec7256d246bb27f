// The administrator password check (frmCheckPassword) against values the caller already knows:
// the typed ID and password must equal them exactly. UI thread only.
#pragma once

#include "app/setup/setup_dialog.h"

#include <string>

class QLineEdit;

namespace pellucor {

struct PasswordCheckValues
{
    bool Cancelled = false;
    bool PasswordOK = false;
    std::string ExpectedID;
    std::string ExpectedPassword;
};

class PasswordCheckDialog : public SetupDialog
{
    Q_OBJECT

public:
    PasswordCheckDialog(DialogContext& context, PasswordCheckValues& values, QWidget* parent);

protected:
    void onCancel() override;

private:
    void ok();

    PasswordCheckValues& m_values;
    QLineEdit* m_id = nullptr;
    QLineEdit* m_password = nullptr;
};

// True when the typed ID and password equal the expected ones.
bool checkKnownPassword(DialogContext& context, const std::string& id, const std::string& password,
                        QWidget* parent);

} // namespace pellucor
