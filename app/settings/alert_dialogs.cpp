#include "app/settings/alert_dialogs.h"

#include "app/core/engine.h"
#include "app/settings/settings_context.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <charconv>
#include <optional>

namespace pellucor {

namespace {

// Typing limits of the fields, in characters.
constexpr int kMailTextChars = 100;
constexpr int kIntervalChars = 4;

// A number of seconds as typed: decimal digits with at most one decimal point, rounded to a whole
// number (halves to the even number) and then 0 to 9999; nothing for any other text. The rounding
// works on the digits, so a typed half is a half exactly.
std::optional<std::int32_t> intervalSeconds(const QString& text)
{
    const std::string s = text.toStdString();
    const auto point = s.find('.');
    const std::string whole = s.substr(0, point);
    const std::string fraction = point == std::string::npos ? std::string() : s.substr(point + 1);
    const auto digitsOnly = [](const std::string& t) {
        return t.find_first_not_of("0123456789") == std::string::npos;
    };
    if ((whole.empty() && fraction.empty()) || !digitsOnly(whole) || !digitsOnly(fraction) ||
        whole.size() > 9)
        return std::nullopt;
    std::int32_t v = 0;
    std::from_chars(whole.data(), whole.data() + whole.size(), v);
    if (!fraction.empty() && fraction[0] >= '5') {
        const bool half = fraction[0] == '5' && fraction.find_first_not_of('0', 1) == std::string::npos;
        if (!half || v % 2 == 1)
            ++v;
    }
    if (v > 9999)
        return std::nullopt;
    return v;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// E-mail settings

EMailSettingsDialog::EMailSettingsDialog(SettingsContext& context, int camera, EMailSettingsResult& result,
                                         QWidget* parent)
    : SetupDialog(context, "frmEMailSetting", parent), m_ctx(context), m_cam(camera), m_result(result)
{
    setObjectName("frmEMailSetting");
    setWindowTitle(tr2("Caption", "E-Mail Setting"));
    struct Field
    {
        const char* label;
        const char* builtIn;
        const char* name;
    };
    static const Field fields[] = {
        {"lblMailServer", "&Mail Server:", "txtMailServer"},
        {"lblMailFrom", "&From:", "txtMailFrom"},
        {"lblMailTo", "&To:", "txtMailTo"},
        {"lblSubject", "&Subject:", "txtMailSubject"},
        {"lblUserName", "User Name:", "txtUserName"},
        {"lblPassword", "Password:", "txtPassword"},
    };
    auto* form = new QFormLayout;
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(fields[i].name);
        edit->setMinimumWidth(280);
        auto* label = new QLabel(tr2(fields[i].label, fields[i].builtIn), this);
        label->setBuddy(edit);
        form->addRow(label, edit);
        m_fields[i] = edit;
    }
    m_fields[5]->setEchoMode(QLineEdit::Password);
    m_interval = new QLineEdit(this);
    m_interval->setObjectName("txtIntervalTime");
    m_interval->setMaximumWidth(80);
    auto* intervalRow = new QHBoxLayout;
    intervalRow->addWidget(m_interval);
    intervalRow->addWidget(new QLabel(tr2("lblSecond", "Second"), this));
    intervalRow->addStretch();
    auto* intervalLabel = new QLabel(tr2("lblIntervalTime", "&Interval Time:"), this);
    intervalLabel->setBuddy(m_interval);
    form->addRow(intervalLabel, intervalRow);

    auto* ok = makeButton("cmdOK", "&OK");
    auto* cancel = makeButton("cmdCancel", "&Cancel");
    ok->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(okCancelRow(ok, cancel));
    applyProgramFont();

    connect(ok, &QPushButton::clicked, this, &EMailSettingsDialog::ok);
    connect(cancel, &QPushButton::clicked, this, &EMailSettingsDialog::reject);
}

void EMailSettingsDialog::onActivate()
{
    const CamInfo& c = state().cam(m_cam);
    const std::string* values[] = {&c.MailServer,  &c.MailFrom,     &c.MailTo,
                                   &c.MailSubject, &c.MailUserName, &c.MailPassword};
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        setWholeText(m_fields[i], QString::fromStdString(*values[i]), kMailTextChars);
    setWholeText(m_interval, QString::number(c.MailIntervalTime), kIntervalChars);
}

void EMailSettingsDialog::ok()
{
    // Everything is checked before anything is stored.
    for (QLineEdit* field : m_fields) {
        if (field->text().toUtf8().size() > kControlTextBytes) {
            refuse(field, 2, MsgStyle::Exclamation);
            return;
        }
    }
    // The alerts always go to the server's port 25: a server typed with a port is never reached.
    if (m_fields[0]->text().contains(':')) {
        refuse(m_fields[0], 3, MsgStyle::Exclamation);
        return;
    }
    const auto interval = intervalSeconds(m_interval->text());
    if (!interval) {
        refuse(m_interval, 1, MsgStyle::Exclamation);
        return;
    }
    MailSettings& edits = m_result.edits;
    std::string* targets[] = {&edits.MailServer,  &edits.MailFrom,     &edits.MailTo,
                              &edits.MailSubject, &edits.MailUserName, &edits.MailPassword};
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        *targets[i] = m_fields[i]->text().toStdString();
    edits.MailIntervalTime = *interval;
    const std::string refused = m_ctx.engine.applyMailSettings(m_cam, edits);
    if (!refused.empty())
        showText(QString("The camera engine refused the e-mail settings: ") + QString::fromStdString(refused),
                 MsgStyle::Critical);
    m_ctx.save(this);
    m_result.Cancelled = false;
    done(Accepted);
    letEventsRun();
}

// ---------------------------------------------------------------------------------------------
// Motion settings

MotionSettingsDialog::MotionSettingsDialog(SettingsContext& context, int camera, MotionSettingsResult& result,
                                           QWidget* parent)
    : SetupDialog(context, "frmMotionSetting", parent), m_ctx(context), m_cam(camera), m_result(result)
{
    setObjectName("frmMotionSetting");
    setWindowTitle(tr2("Caption", "Motion Setting"));

    auto* options = new QGroupBox(tr2("frameMotionOption", "Motion Options"), this);
    m_alarm = new QCheckBox(tr2("chkAlarm", "Invoke Alarm "), options);
    m_alarm->setObjectName("chkAlarm");
    m_eMail = new QCheckBox(tr2("chkEMail", "Send E-Mail"), options);
    m_eMail->setObjectName("chkEMail");
    auto* mailSettings = makeButton("cmdEMailSetting", "&E-Mail Setting", options);
    auto* optionsLayout = new QGridLayout(options);
    optionsLayout->addWidget(m_alarm, 0, 0);
    optionsLayout->addWidget(m_eMail, 1, 0);
    optionsLayout->addWidget(mailSettings, 1, 1);
    // The output-trigger controls carry no behaviour and are not shown.

    auto* level = new QGroupBox(tr2("frameSensitivityLevel", "Sensitivity Level"), this);
    m_sensitivity = new QSlider(Qt::Horizontal, level);
    m_sensitivity->setObjectName("sldSensitivity");
    m_sensitivity->setRange(1, 30);
    m_sensitivity->setTickPosition(QSlider::TicksBelow);
    auto* levelLayout = new QHBoxLayout(level);
    levelLayout->addWidget(new QLabel(tr2("lblSenLow", "Low"), level));
    levelLayout->addWidget(m_sensitivity, 1);
    levelLayout->addWidget(new QLabel(tr2("lblSenHigh", "High"), level));

    auto* ok = makeButton("cmdOK", "&OK");
    auto* cancel = makeButton("cmdCancel", "&Cancel");
    ok->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(options);
    layout->addWidget(level);
    layout->addLayout(okCancelRow(ok, cancel));
    applyProgramFont();

    const CamInfo& c = state().cam(m_cam);
    m_sensitivity->setValue(c.Sensitivity);
    m_alarm->setChecked(c.Alarm == 1);
    m_eMail->setChecked(c.SendEmail == 1);

    connect(ok, &QPushButton::clicked, this, &MotionSettingsDialog::ok);
    connect(cancel, &QPushButton::clicked, this, &MotionSettingsDialog::reject);
    connect(mailSettings, &QPushButton::clicked, this, &MotionSettingsDialog::eMailSettings);
}

void MotionSettingsDialog::eMailSettings()
{
    EMailSettingsResult result;
    EMailSettingsDialog dialog(m_ctx, m_cam, result, this);
    runChild(dialog);
}

void MotionSettingsDialog::ok()
{
    MotionSettings& edits = m_result.edits;
    edits.Sensitivity = m_sensitivity->value();
    edits.Alarm = m_alarm->isChecked() ? 1 : 0;
    edits.SendEmail = m_eMail->isChecked() ? 1 : 0;
    const std::string refused = m_ctx.engine.applyMotionSettings(m_cam, edits);
    if (!refused.empty())
        showText(QString("The camera engine refused the motion settings: ") + QString::fromStdString(refused),
                 MsgStyle::Critical);
    m_ctx.save(this);
    m_result.Cancelled = false;
    done(Accepted);
}

} // namespace pellucor
