// Motion alerts of the current camera (frmMotionSetting) and where its e-mail alerts go
// (frmEMailSetting).
//
// The motion dialog stores sensitivity, alarm and e-mail switches and hands the camera's engine
// the motion mode: 1 beep, 4 e-mail, 8 motion recording (RecordMode 3), their sum; a Kestra
// camera (Protocol 3) gets it through its viewer, mode first. The e-mail dialog checks every
// field before it stores anything: the interval is a number of seconds, rounded to a whole one
// (halves to the even number), 0 to 9999; the server is a name or address without a port (the
// alerts always go to port 25); each text must fit the control's 260-byte fields in UTF-8 (a
// longer text is refused, never cut). On OK it hands the e-mail settings of all four records to
// their engines and saves the profile.
#pragma once

#include "app/setup/setup_dialog.h"

#include <array>
#include <cstdint>

class QCheckBox;
class QLineEdit;
class QSlider;

namespace pellucor {

struct SettingsContext;

// The motion mode that a record's switches give.
std::int32_t motionModeOf(std::int32_t alarm, std::int32_t sendEmail, std::int32_t recordMode);

// The longest text, in UTF-8 bytes, that the control's string fields hold (260 with the NUL).
inline constexpr int kControlTextBytes = 259;

struct EMailSettingsResult
{
    bool Cancelled = true;
};

class EMailSettingsDialog : public SetupDialog
{
    Q_OBJECT

public:
    EMailSettingsDialog(SettingsContext& context, EMailSettingsResult& result, QWidget* parent = nullptr);

protected:
    void onActivate() override;

private:
    void ok();

    SettingsContext& m_ctx;
    EMailSettingsResult& m_result;
    // Server, from, to, subject, user name, password.
    std::array<QLineEdit*, 6> m_fields{};
    QLineEdit* m_interval = nullptr;
};

struct MotionSettingsResult
{
    bool Cancelled = true;
};

class MotionSettingsDialog : public SetupDialog
{
    Q_OBJECT

public:
    MotionSettingsDialog(SettingsContext& context, MotionSettingsResult& result, QWidget* parent = nullptr);

private:
    void ok();
    void eMailSettings();

    SettingsContext& m_ctx;
    MotionSettingsResult& m_result;
    QSlider* m_sensitivity = nullptr;
    QCheckBox* m_alarm = nullptr;
    QCheckBox* m_eMail = nullptr;
};

} // namespace pellucor
