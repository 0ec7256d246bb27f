// Motion and e-mail alert settings: what reaches the record, the four engines and the profile.
#include "settings_test_support.h"

#include "app/core/ini_store.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

using namespace settingstest;

namespace {

TEST(MotionSettings, OkPushesModeAndSensitivityToTheCamerasEngine)
{
    struct Case
    {
        bool alarm, email;
        std::int32_t recordMode, mode;
    };
    const Case cases[] = {{false, false, 0, 0},
                          {false, false, 3, 8},
                          {true, true, 3, 13},
                          {true, false, 1, 1},
                          {false, true, 2, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        Rig rig;
        rig.state().CurCam = 2;
        rig.state().cam(2).RecordMode = c.recordMode;
        rig.state().cam(2).Alarm = 1;
        rig.state().cam(2).Sensitivity = 7;
        MotionSettingsResult result;
        MotionSettingsDialog d(rig.context, rig.state().CurCam, result);
        d.show();
        EXPECT_EQ(find<QSlider>(d, "sldSensitivity").value(), 7);
        EXPECT_TRUE(find<QCheckBox>(d, "chkAlarm").isChecked());
        find<QSlider>(d, "sldSensitivity").setValue(21);
        find<QCheckBox>(d, "chkAlarm").setChecked(c.alarm);
        find<QCheckBox>(d, "chkEMail").setChecked(c.email);
        const auto from = rig.mark();
        click(d, "cmdOK");
        EXPECT_FALSE(result.Cancelled);
        EXPECT_EQ(rig.lines("Cam(", from),
                  (std::vector<std::string>{"Cam(2).MotionSensitivity = 21",
                                            "Cam(2).MotionDetectMode = " + std::to_string(c.mode)}));
        const CamInfo& cam = rig.state().cam(2);
        EXPECT_EQ(cam.Sensitivity, 21);
        EXPECT_EQ(cam.Alarm, c.alarm ? 1 : 0);
        EXPECT_EQ(cam.SendEmail, c.email ? 1 : 0);
        IniStore ini;
        ini.SetFileName(rig.profile());
        ASSERT_TRUE(ini.Load());
        EXPECT_EQ(ini.ReadValue("Cam2", "Sensitivity").value_or(""), "21");
    }
}

TEST(MotionSettings, AKestraCameraGetsModeThenSensitivityThroughItsViewer)
{
    Rig rig;
    rig.state().cam(1).Protocol = kProtocolKestra;
    rig.state().cam(1).RecordMode = kRecordMotion;
    MotionSettingsResult result;
    MotionSettingsDialog d(rig.context, rig.state().CurCam, result);
    d.show();
    find<QCheckBox>(d, "chkAlarm").setChecked(true);
    find<QCheckBox>(d, "chkEMail").setChecked(true);
    find<QSlider>(d, "sldSensitivity").setValue(30);
    const auto from = rig.mark();
    click(d, "cmdOK");
    EXPECT_TRUE(rig.lines("Cam(", from).empty());
    EXPECT_EQ(rig.lines("CamViewer1(1).setMotion", from),
              (std::vector<std::string>{"CamViewer1(1).setMotionMode(13)",
                                        "CamViewer1(1).setMotionSensitivity(30)"}));
}

TEST(MotionSettings, CancelLeavesRecordEnginesAndProfileAsTheyWere)
{
    Rig rig;
    rig.state().cam(1).Sensitivity = 5;
    MotionSettingsResult result;
    MotionSettingsDialog d(rig.context, rig.state().CurCam, result);
    d.show();
    find<QSlider>(d, "sldSensitivity").setValue(25);
    const auto from = rig.mark();
    d.close();
    EXPECT_TRUE(result.Cancelled);
    EXPECT_EQ(rig.state().cam(1).Sensitivity, 5);
    EXPECT_TRUE(rig.lines("Cam(", from).empty());
    EXPECT_FALSE(std::filesystem::exists(rig.profile()));
}

TEST(MotionSettings, TheEMailButtonOpensTheEMailDialogForTheSameCamera)
{
    Rig rig;
    rig.state().CurCam = 3;
    rig.state().cam(3).MailServer = "mail.example.test";
    MotionSettingsResult result;
    MotionSettingsDialog d(rig.context, rig.state().CurCam, result);
    d.show();
    std::string shown;
    ModalDriver driver;
    driver.then<EMailSettingsDialog>([&](EMailSettingsDialog& e) {
        shown = find<QLineEdit>(e, "txtMailServer").text().toStdString();
        saveScreenshot(e, "email-settings.png");
        clickLater(e, "cmdCancel");
    });
    saveScreenshot(d, "motion-settings.png");
    click(d, "cmdEMailSetting");
    EXPECT_TRUE(driver.done());
    EXPECT_EQ(shown, "mail.example.test");
    EXPECT_TRUE(d.isVisible());
}

struct MailFields
{
    QString server, from, to, subject, user, password, interval;
};

void fill(EMailSettingsDialog& d, const MailFields& f)
{
    find<QLineEdit>(d, "txtMailServer").setText(f.server);
    find<QLineEdit>(d, "txtMailFrom").setText(f.from);
    find<QLineEdit>(d, "txtMailTo").setText(f.to);
    find<QLineEdit>(d, "txtMailSubject").setText(f.subject);
    find<QLineEdit>(d, "txtUserName").setText(f.user);
    find<QLineEdit>(d, "txtPassword").setText(f.password);
    find<QLineEdit>(d, "txtIntervalTime").setText(f.interval);
}

TEST(EMailSettings, OkStoresTheCameraAndHandsAllFourRecordsToTheirEngines)
{
    Rig rig;
    for (int n = 1; n <= 4; ++n) {
        CamInfo& c = rig.state().cam(n);
        c.MailServer = "smtp" + std::to_string(n);
        c.MailTo = "to" + std::to_string(n);
        c.MailFrom = "from" + std::to_string(n);
        c.MailSubject = "subject" + std::to_string(n);
        c.MailUserName = "user" + std::to_string(n);
        c.MailPassword = "pw" + std::to_string(n);
        c.MailIntervalTime = 10 * n;
    }
    rig.state().CurCam = 2;
    EMailSettingsResult result;
    EMailSettingsDialog d(rig.context, rig.state().CurCam, result);
    d.show();
    EXPECT_EQ(find<QLineEdit>(d, "txtMailServer").text(), "smtp2");
    EXPECT_EQ(find<QLineEdit>(d, "txtIntervalTime").text(), "20");
    EXPECT_EQ(find<QLineEdit>(d, "txtPassword").echoMode(), QLineEdit::Password);
    fill(d, {"mail.example.test", "Cam <cam@example.test>", "owner@example.test", "Motion caf\u00e9", "", "",
             "0"});
    const auto from = rig.mark();
    click(d, "cmdOK");
    EXPECT_FALSE(result.Cancelled);
    EXPECT_FALSE(d.isVisible());
    const std::vector<std::string> expected{
        "Cam(1).SetEMailProperty(\"smtp1\", \"to1\", \"from1\", \"subject1\")",
        "Cam(1).MailIntervalTime = 10",
        "Cam(1).SendMailID = \"user1\"",
        "Cam(1).SendMailPWD = \"pw1\"",
        "Cam(2).SetEMailProperty(\"mail.example.test\", \"owner@example.test\", \"Cam <cam@example.test>\", "
        "\"Motion caf\xc3\xa9\")",
        "Cam(2).MailIntervalTime = 0",
        "Cam(2).SendMailID = \"\"",
        "Cam(2).SendMailPWD = \"\"",
        "Cam(3).SetEMailProperty(\"smtp3\", \"to3\", \"from3\", \"subject3\")",
        "Cam(3).MailIntervalTime = 30",
        "Cam(3).SendMailID = \"user3\"",
        "Cam(3).SendMailPWD = \"pw3\"",
        "Cam(4).SetEMailProperty(\"smtp4\", \"to4\", \"from4\", \"subject4\")",
        "Cam(4).MailIntervalTime = 40",
        "Cam(4).SendMailID = \"user4\"",
        "Cam(4).SendMailPWD = \"pw4\"",
    };
    EXPECT_EQ(rig.lines("Cam(", from), expected);
    IniStore ini;
    ini.SetFileName(rig.profile());
    ASSERT_TRUE(ini.Load());
    EXPECT_EQ(ini.ReadValue("Cam2", "MailSubject").value_or(""), "Motion caf\xc3\xa9");
    EXPECT_EQ(ini.ReadValue("Cam2", "MailIntervalTime").value_or("absent"), "0");
}

TEST(EMailSettings, StoredTextsLongerThanTheTypingLimitSurviveOkWhole)
{
    Rig rig;
    CamInfo& c = rig.state().cam(1);
    c.MailTo = std::string(150, 'a') + "@example.test"; // a long recipient list from a profile
    c.MailIntervalTime = 60;
    EMailSettingsResult result;
    EMailSettingsDialog d(rig.context, rig.state().CurCam, result);
    d.show();
    EXPECT_EQ(find<QLineEdit>(d, "txtMailTo").text().toStdString(), c.MailTo);
    find<QLineEdit>(d, "txtMailTo").setText(find<QLineEdit>(d, "txtMailTo").text());
    click(d, "cmdOK");
    EXPECT_FALSE(result.Cancelled);
    EXPECT_EQ(c.MailTo, std::string(150, 'a') + "@example.test");
    EXPECT_EQ(find<QLineEdit>(d, "txtMailFrom").maxLength(), 100);
}

TEST(EMailSettings, BadIntervalsAndOverlongTextsAreRefusedBeforeAnythingIsStored)
{
    const QString euro(QChar(0x20AC)); // three bytes in UTF-8
    struct Case
    {
        const char* what;
        QString subject;
        QString interval;
        const char* field; // the field that gets the focus; nullptr: accepted
    };
    const Case cases[] = {
        {"empty interval", "s", "", "txtIntervalTime"},
        {"letters", "s", "abc", "txtIntervalTime"},
        {"negative", "s", "-1", "txtIntervalTime"},
        {"two points", "s", "1.5.", "txtIntervalTime"},
        {"blank", "s", " 5", "txtIntervalTime"},
        {"subject of 300 bytes", euro.repeated(100), "5", "txtMailSubject"},
        {"subject of 260 bytes", euro.repeated(86) + "ab", "5", "txtMailSubject"},
        {"subject of 259 bytes", euro.repeated(86) + "a", "5", nullptr},
        {"largest interval", "s", "9999", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        rig.state().cam(1).MailSubject = "old";
        rig.state().cam(1).MailIntervalTime = 60;
        EMailSettingsResult result;
        EMailSettingsDialog d(rig.context, rig.state().CurCam, result);
        d.show();
        d.activateWindow();
        fill(d, {"host", "a@b.test", "c@d.test", c.subject, "u", "p", c.interval});
        const auto from = rig.mark();
        click(d, "cmdOK");
        const CamInfo& cam = rig.state().cam(1);
        if (c.field) {
            ASSERT_EQ(rig.prompts.boxes.size(), 1u);
            EXPECT_EQ(rig.prompts.boxes[0].style, MsgStyle::Exclamation);
            EXPECT_EQ(rig.prompts.boxes[0].text,
                      std::string(c.field) == "txtIntervalTime"
                          ? "The interval must be a number of seconds from 0 to 9999."
                          : "This text is too long for the camera engine.");
            EXPECT_TRUE(d.isVisible());
            EXPECT_TRUE(result.Cancelled);
            EXPECT_EQ(cam.MailSubject, "old");
            EXPECT_EQ(cam.MailServer, "");
            EXPECT_EQ(cam.MailIntervalTime, 60);
            EXPECT_TRUE(rig.lines("Cam(", from).empty());
            EXPECT_EQ(find<QLineEdit>(d, c.field).selectedText(), find<QLineEdit>(d, c.field).text());
        } else {
            EXPECT_TRUE(rig.prompts.boxes.empty());
            EXPECT_EQ(cam.MailSubject, c.subject.toStdString()); // whole, never cut
            EXPECT_EQ(cam.MailIntervalTime, c.interval.toInt());
        }
    }
}

// What the user types into the server and interval boxes, then OK: a fractional interval is
// rounded (halves to the even number); a server with a port is refused, since the alerts always
// go to port 25 and would all fail.
TEST(EMailSettings, TypedIntervalIsRoundedAndAServerWithAPortIsRefused)
{
    struct Case
    {
        const char* server;
        const char* interval;
        std::int32_t stored;   // the interval stored on OK
        const char* refusedIn; // the field that gets the focus; nullptr: accepted
    };
    const Case cases[] = {
        {"mail.example.test", "2.5", 2, nullptr},
        {"mail.example.test", "3.5", 4, nullptr},
        {"mail.example.test", "0.5", 0, nullptr},
        {"mail.example.test", "2.51", 3, nullptr},
        {"mail.example.test", "99.5", 100, nullptr},
        {"mail.example.test", ".5", 0, nullptr},
        {"mail.example.test", "7.", 7, nullptr},
        {"10.0.0.25", "60", 60, nullptr},
        {"mail.example.test", ".", 0, "txtIntervalTime"},
        {"mail.example.test", "1e3", 0, "txtIntervalTime"},
        {"mail.example.test:587", "60", 0, "txtMailServer"},
        {"10.0.0.25:25", "60", 0, "txtMailServer"},
        {":25", "60", 0, "txtMailServer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.server) + " / " + c.interval);
        Rig rig;
        rig.state().cam(1).MailServer = "old.example.test";
        rig.state().cam(1).MailIntervalTime = 60;
        EMailSettingsResult result;
        EMailSettingsDialog d(rig.context, rig.state().CurCam, result);
        d.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
        for (const auto& [name, text] :
             {std::pair{"txtMailServer", c.server}, {"txtIntervalTime", c.interval}}) {
            QLineEdit& field = find<QLineEdit>(d, name);
            field.selectAll();
            QTest::keyClick(&field, Qt::Key_Backspace);
            QTest::keyClicks(&field, text);
        }
        const auto from = rig.mark();
        QTest::mouseClick(&find<QPushButton>(d, "cmdOK"), Qt::LeftButton);
        const CamInfo& cam = rig.state().cam(1);
        if (!c.refusedIn) {
            EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{});
            EXPECT_FALSE(result.Cancelled);
            EXPECT_EQ(cam.MailIntervalTime, c.stored);
            EXPECT_EQ(cam.MailServer, c.server);
            EXPECT_EQ(rig.lines("Cam(1).MailIntervalTime", from),
                      std::vector<std::string>{"Cam(1).MailIntervalTime = " + std::to_string(c.stored)});
            continue;
        }
        EXPECT_EQ(rig.prompts.boxes.size(), 1u);
        if (rig.prompts.boxes.size() != 1u)
            continue;
        EXPECT_EQ(rig.prompts.boxes[0].style, MsgStyle::Exclamation);
        EXPECT_EQ(rig.prompts.boxes[0].text,
                  std::string(c.refusedIn) == "txtMailServer"
                      ? "Enter the mail server's name or address without a port: alerts always go to port 25."
                      : "The interval must be a number of seconds from 0 to 9999.");
        EXPECT_TRUE(d.isVisible());
        EXPECT_TRUE(result.Cancelled);
        EXPECT_EQ(cam.MailServer, "old.example.test");
        EXPECT_EQ(cam.MailIntervalTime, 60);
        EXPECT_TRUE(rig.lines("Cam(", from).empty());
        QLineEdit& refused = find<QLineEdit>(d, c.refusedIn);
        EXPECT_TRUE(refused.hasFocus());
        EXPECT_EQ(refused.selectedText(), refused.text());
    }
}

} // namespace
