// Motion alerts of one camera (frmMotionSetting) and where its e-mail alerts go (frmEMailSetting).
//
// The motion dialog returns sensitivity, alarm and e-mail switches; the engine stores them and
// hands the camera the motion mode (motionModeOf; a Kestra camera gets it through its viewer). The e-mail
// dialog checks every field before it returns anything: the interval is a number of seconds, rounded to a
// whole one (halves to the even number), 0 to 9999; the server is a name or address without a port (the
// alerts always go to port 25); each text must fit the control's 260-byte fields in UTF-8 (a
// longer text is refused, never cut). On OK the engine stores the edits and hands the e-mail
// settings of all four records to their controls; then the profile is saved.
#pragma once

#include "app/core/engine.h"
#include "app/setup/setup_dialog.h"

#include <array>
#include <cstdint>

class QCheckBox;
class QLineEdit;
class QSlider;

namespace pellucor {

struct SettingsContext;

// The longest text, in UTF-8 bytes, that the control's string fields hold (260 with the NUL).
inline constexpr int kControlTextBytes = 259;

struct EMailSettingsResult
{
    bool Cancelled = true;
    MailSettings edits; // what OK stored
};

class EMailSettingsDialog : public SetupDialog
{
    Q_OBJECT

public:
    EMailSettingsDialog(SettingsContext& context, int camera, EMailSettingsResult& result,
                        QWidget* parent = nullptr);

protected:
    void onActivate() override;

private:
    void ok();

    SettingsContext& m_ctx;
    int m_cam;
    EMailSettingsResult& m_result;
    // Server, from, to, subject, user name, password.
    std::array<QLineEdit*, 6> m_fields{};
    QLineEdit* m_interval = nullptr;
};

struct MotionSettingsResult
{
    bool Cancelled = true;
    MotionSettings edits; // what OK stored
};

class MotionSettingsDialog : public SetupDialog
{
    Q_OBJECT

public:
    MotionSettingsDialog(SettingsContext& context, int camera, MotionSettingsResult& result,
                         QWidget* parent = nullptr);

private:
    void ok();
    void eMailSettings();

    SettingsContext& m_ctx;
    int m_cam;
    MotionSettingsResult& m_result;
    QSlider* m_sensitivity = nullptr;
    QCheckBox* m_alarm = nullptr;
    QCheckBox* m_eMail = nullptr;
};

} // namespace pellucor
