// The administrator password check (frmCheckPassword). Its caller chooses how the typed ID and
// password are checked (CheckMode):
//   0  against values the caller already knows: exact comparison, no trimming;
//   1  against the camera of slot Camera through the dialog's own control: a Protocol 1
//      camera is asked for its configuration with the typed values; any other camera is probed
//      and its configuration's administrator fields are compared with the trimmed values;
//   2  (and any other value) against a found camera over the broadcast setup protocol, through
//      the search dialog's control.
// The dialog reports only whether the password was accepted. UI thread only.
#pragma once

#include "app/setup/setup_control.h"
#include "app/setup/setup_dialog.h"

#include <cstdint>
#include <string>

class QLineEdit;
class QPushButton;

namespace pellucor {

struct PasswordCheckValues
{
    bool Cancelled = false;
    bool PasswordOK = false;
    std::int32_t CheckMode = 0;
    std::int32_t Camera = 1;      // mode 1: the camera's slot, 1 to 4
    std::string ExpectedID;       // mode 0
    std::string ExpectedPassword; // mode 0
    std::string MacAddress;       // mode 2: the found camera
    std::string IPAddress;        // mode 2
};

class PasswordCheckDialog : public SetupDialog, private SetupControlEvents
{
    Q_OBJECT

public:
    // `control` is the dialog's own control in mode 1 and the search dialog's in mode 2; mode 0
    // needs none (null).
    PasswordCheckDialog(DialogContext& context, PasswordCheckValues& values, QWidget* parent,
                        SetupControl* control = nullptr);
    ~PasswordCheckDialog() override;

protected:
    void onCancel() override;

private:
    void ok();
    void checkCurrentCamera();
    void checkFoundCamera();
    void accepted();
    // The camera could not be reached: the dialog ends as cancelled.
    void unreachable();
    void setProbing(bool on);

    void onImageEvent(std::int32_t) override {}
    void onEndSearchDevice(std::int32_t) override {}
    void onEndLoginCamera(std::int32_t) override {}
    void onEndProbeDevice(std::int32_t status) override;

    PasswordCheckValues& m_values;
    SetupControl* m_control;
    QLineEdit* m_id = nullptr;
    QLineEdit* m_password = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    bool m_probing = false;
};

// True when the typed ID and password equal the expected ones.
bool checkKnownPassword(DialogContext& context, const std::string& id, const std::string& password,
                        QWidget* parent);

} // namespace pellucor
