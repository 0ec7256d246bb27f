// The control panel's clicks: the dispatcher and camera selection, the assign, erase, connect and
// camera-configuration actions, the recording, play, scan and combine switches, the pan/tilt pad
// and the tool bar.
#include "app/windows/control_panel.h"

#include "app/core/app_state.h"
#include "app/core/engine.h"
#include "app/core/open_file.h"
#include "app/skin/skin_form.h"
#include "app/skin/tool_set.h"
#include "app/skin/ui_services.h"
#include "app/skin/worker_call.h"
#include "app/windows/skin_buttons.h"
#include "app/windows/window_places.h"
#include "app/windows/window_set.h"

#include "platform/clock.h"

#include <QCursor>
#include <QScreen>

namespace pellucor {

namespace {

// Pan/tilt command codes of the pad rows 34 to 39.
constexpr std::int16_t kPadCodes[] = {3, 5, 1, 7, 4, 52};

} // namespace

// ---- dispatcher ----

void ControlPanel::tail()
{
    RefrushCamCfgBtn();
    m_sv.engine->RefreshStatus();
}

const ControlPanel::ClickRow ControlPanel::kClickRows[] = {
    {"Cam1", false, &ControlPanel::clickCam},
    {"Cam2", false, &ControlPanel::clickCam},
    {"Cam3", false, &ControlPanel::clickCam},
    {"Cam4", false, &ControlPanel::clickCam},
    {"SysConf", false, &ControlPanel::clickSysConf},
    {"ManualRec", true, &ControlPanel::clickManualRec},
    {"Assign", true, &ControlPanel::clickAssign},
    {"Motion", true, &ControlPanel::clickMotion},
    {"Combine", false, &ControlPanel::clickCombine},
    {"Play", false, &ControlPanel::clickPlay},
    {"About", false, &ControlPanel::clickAbout},
    {"Connect", true, &ControlPanel::clickConnect},
    {"Web", true, &ControlPanel::clickWeb},
    {"Scan", false, &ControlPanel::clickScan},
    {"Min", false, &ControlPanel::clickMin},
    {"Erase", true, &ControlPanel::clickErase},
    {"CamConf", true, &ControlPanel::clickCamConf},
    {"ExtInfo", true, &ControlPanel::clickExtInfo},
    {"ScheduleRec", true, &ControlPanel::clickScheduleRec},
    {"MotionRec", true, &ControlPanel::clickMotionRec},
    {"Update", true, &ControlPanel::clickUpdate},
};

void ControlPanel::SkinForm1_ObjectClick(SkinObject* obj)
{
    if (!obj)
        return;
    guarded("SkinForm1_ObjectClick", [&] {
        const QString name = obj->Name();
        const ClickRow* row = nullptr;
        for (const ClickRow& r : kClickRows)
            if (name == QLatin1String(r.name))
                row = &r;
        if (row) {
            if (row->blockedInScan && m_state.ScanModeOn)
                return;
            if (!(this->*row->handler)(*obj))
                return;
        } else if (rowOf(name) >= panelrow::kPadFirst && rowOf(name) <= panelrow::kPadLast) {
            // The pad acts on press and release.
        } else {
            obj->SetStyleCode(2);
        }
        tail();
    });
}

void ControlPanel::extInfoOff()
{
    m_state.ExtInfoOn[static_cast<std::size_t>(m_state.CurCam - 1)] = false;
}

// The common end of most clicks: extended information off, configuration mode off, texts again.
void ControlPanel::leaveModes()
{
    extInfoOff();
    m_state.CamConfOn = false;
    RefreshPanelText();
}

bool ControlPanel::clickCam(SkinObject& obj)
{
    const int n = obj.Name()[3].digitValue();
    if (m_state.CurCam != n)
        m_state.CamConfOn = false;
    SelectCam(n);
    extInfoOff();
    RefreshPanelText();
    return true;
}

bool ControlPanel::clickSysConf(SkinObject&)
{
    m_sv.dialogs->systemSettings();
    return true;
}

bool ControlPanel::clickManualRec(SkinObject& obj)
{
    if (assigned()) {
        const bool result = ManualRec_Fun();
        leaveModes();
        if (result && !m_state.cam(m_state.CurCam).Recording)
            obj.SetBitmap(QString::fromStdString(btnStr(panelrow::kManualRec, btnstate::kHover)));
    }
    return true;
}

bool ControlPanel::clickAssign(SkinObject&)
{
    Assign_Fun();
    leaveModes();
    return true;
}

bool ControlPanel::clickMotion(SkinObject&)
{
    const bool ok = (editionS() || editionTC()) ? assigned() : assigned() && m_state.CamConfOn;
    if (ok) {
        Motion_Fun();
        RefreshPanelText();
    }
    return true;
}

bool ControlPanel::clickCombine(SkinObject&)
{
    Combine_Fun();
    leaveModes();
    return true;
}

bool ControlPanel::clickPlay(SkinObject&)
{
    Play_Fun();
    leaveModes();
    return true;
}

bool ControlPanel::clickAbout(SkinObject&)
{
    if (editionTC() || editionEng())
        m_sv.dialogs->about();
    else
        m_tbr->PopupMenu("ID_HelpAbout", QCursor::pos());
    leaveModes();
    return true;
}

bool ControlPanel::clickConnect(SkinObject&)
{
    if (assigned()) {
        Connect_Fun(m_state.CurCam);
        extInfoOff();
        m_state.CamConfOn = false;
        if (m_state.CombineMode == 1)
            m_sv.windows->combinedRefrushStatusBar(m_state.CurCam);
        else
            RefreshPanelText();
    }
    return true;
}

bool ControlPanel::clickWeb(SkinObject&)
{
    if (assigned() && m_state.CamConfOn) {
        Web_Fun();
        extInfoOff();
        RefreshPanelText();
    }
    return true;
}

bool ControlPanel::clickScan(SkinObject&)
{
    Scan_Fun();
    extInfoOff();
    RefreshPanelText();
    return true;
}

bool ControlPanel::clickMin(SkinObject&)
{
    leaveModes();
    return true;
}

bool ControlPanel::clickErase(SkinObject&)
{
    if (assigned() && m_sv.dialogs->confirmErase(m_state.CurCam)) {
        // The confirmation's own steps.
        Erase_Fun();
        leaveModes();
        RefrushCamCfgBtn();
    }
    return true;
}

bool ControlPanel::clickCamConf(SkinObject&)
{
    if (assigned()) {
        if (editionTC() && !m_state.cam(m_state.CurCam).PasswordChecked) {
            configurationGate();
            return false; // the gate ends the click itself
        }
        CamConf_Fun();
    }
    extInfoOff();
    RefreshPanelText();
    return true;
}

bool ControlPanel::clickExtInfo(SkinObject& obj)
{
    if (assigned()) {
        const std::size_t cur = static_cast<std::size_t>(m_state.CurCam - 1);
        const bool on = !m_state.ExtInfoOn[cur];
        m_state.ExtInfoOn[cur] = on;
        m_state.CamConfOn = false;
        RefreshPanelText();
        obj.SetBitmap(
            QString::fromStdString(btnStr(panelrow::kExtInfo, on ? btnstate::kPressed : btnstate::kHover)));
    }
    return true;
}

bool ControlPanel::clickScheduleRec(SkinObject& obj)
{
    if (assigned()) {
        m_state.CamConfOn = false;
        const bool result = ScheduleRec_Fun();
        RefreshPanelText();
        if (!m_state.cam(m_state.CurCam).Recording)
            obj.SetBitmap(QString::fromStdString(
                btnStr(panelrow::kScheduleRec, result ? btnstate::kHover : btnstate::kNormal)));
    }
    return true;
}

bool ControlPanel::clickMotionRec(SkinObject& obj)
{
    if (assigned()) {
        m_state.CamConfOn = false;
        MotionRec_Fun();
        RefreshPanelText();
        if (!m_state.cam(m_state.CurCam).Recording)
            obj.SetBitmap(QString::fromStdString(btnStr(panelrow::kMotionRec, btnstate::kHover)));
    }
    return true;
}

bool ControlPanel::clickUpdate(SkinObject&)
{
    const CamInfo& r = m_state.cam(m_state.CurCam);
    if (r.Protocol != kProtocolKestra && r.Protocol != kProtocolMultipart && r.Assign && m_state.CamConfOn)
        Update_Fun();
    return true;
}

void ControlPanel::configurationGate()
{
    const int n = m_state.CurCam;
    CamInfo& r = m_state.cam(n);
    const AdminProbeResult probe = m_sv.dialogs->probeAdminPassword(n);
    if (probe.outcome == AdminProbeResult::Outcome::Failed)
        return;
    if (probe.outcome == AdminProbeResult::Outcome::Open) {
        r.PasswordChecked = true;
        CamConf_Fun();
    } else {
        PasswordCheckRequest request;
        request.camera = n;
        request.CheckMode = probe.CheckMode;
        if (probe.CheckMode == 0) {
            request.AdminID = probe.AdminID;
            request.AdminPassword = probe.AdminPassword;
        }
        if (m_sv.dialogs->checkPassword(request)) {
            r.PasswordChecked = true;
            CamConf_Fun();
        }
    }
    if (r.PasswordChecked) {
        for (int v = 1; v <= kCameraCount; ++v)
            if (m_state.WindowOpen[static_cast<std::size_t>(v)])
                m_sv.windows->viewRefrushStatusBar(v);
        m_sv.windows->combinedRefrushClrCtlBtn(m_state.CurCam);
    }
    m_state.ExtInfoOn[static_cast<std::size_t>(n - 1)] = false;
    RefreshPanelText();
    tail();
}

void ControlPanel::SelectCam(int n)
{
    if (m_state.ScanModeOn)
        return;
    // The combined window follows before the camera changes: the old pane's colour panel and
    // event list go.
    m_sv.windows->combinedRefrushShowClrCtl(n);
    m_sv.windows->combinedRefrushListCtl(n);
    m_sv.windows->combinedPutActiveBorder(n);
    if (n != m_state.CurCam)
        m_tmrBtnHold->setEnabled(false);
    m_sv.engine->setCurrentCamera(n);
    RefreshPanelText();
    RefrushCamCfgBtn();
    if (m_state.cam(n).Assign) {
        ShowBtnBitmap(panelrow::kCam1 + n - 1, btnstate::kHover);
    } else {
        const BrowseResult chosen = m_sv.dialogs->browse(n);
        if (!chosen.Cancelled) {
            AssignCamFromBrowse(n, chosen);
            m_sv.engine->PutSettingToCam(n);
            m_sv.engine->CamStart(n);
            RefreshPanelText();
        }
        ShowBtnBitmap(panelrow::kCam1 + n - 1, btnstate::kNormal);
    }
    ShowClient(n);
    RefreshPanelText();
    RefrushCamCfgBtn();
    RefreshPTPanel();
}

void ControlPanel::ShowClient(int n)
{
    if (m_state.CombineMode == 0 && m_state.cam(n).Assign)
        m_sv.windows->showView(n);
    m_sv.engine->setCurrentCamera(n);
    if (!m_state.ScanModeOn && m_state.WindowOpen[static_cast<std::size_t>(n)] && m_state.cam(n).Assign)
        m_sv.windows->viewRefrushStatusBar(n);
}

// ---- assign, erase, connect, configuration ----

void ControlPanel::ImageServer1_EndProbeDevice(const ProbeReport& report)
{
    if (report.result != -1) {
        m_sv.dialogs->messageBox(panelMessage(1), kStyleOk);
        return;
    }
    const int n = m_state.CurCam;
    CamInfo& r = m_state.cam(n);
    r.Port = report.RemotePort;
    r.IsLocalCamera = report.LocalCamera;
    r.Protocol = report.FoundProtocol;
    if (r.Protocol == kProtocolNative)
        r.Port = kNativeCameraPort;
    else if (r.Protocol == kProtocolVideoCgi)
        r.Port = 80;
    r.MacAddress = report.FoundMACAddress;
    r.ServerModel = report.FoundServerModel;
    r.ServerName = report.FoundDeviceName;
    r.FWVersion = report.FoundFWVersion;
    r.HWVersion = report.FoundHWVersion;
    r.ROMVersion = report.FoundROMVersion;
    m_sv.engine->PutSettingToCam(n);
    m_sv.engine->CamStart(n);
}

void ControlPanel::Erase_Fun()
{
    const int n = m_state.CurCam;
    Engine& engine = *m_sv.engine;
    engine.CamStop(n);
    CamInfo& r = m_state.cam(n);
    // Only a Kestra session that was opened is ended (as at the program's end); it is then gone.
    std::string& cookie = m_state.CamCookie[static_cast<std::size_t>(n - 1)];
    if (r.Protocol == kProtocolKestra && !cookie.empty()) {
        try {
            // The logout waits for the camera's answer: on a worker while the panel waits.
            CameraControl& camera = engine.Cam(n);
            callOnWorker(this, "kestra-logout", [&camera, &cookie] { camera.Kestra_Logout(cookie); });
        } catch (const std::exception&) {
            // The camera may be gone already; the slot is emptied all the same.
        }
        cookie.clear();
    }
    if (r.Recording)
        engine.StopRecord(n);
    m_state.CamConfOn = false;
    r.Enable = false;
    r.Assign = false;
    r.UserName.clear();
    r.Password.clear();
    r.IPAddress.clear();
    r.MacAddress = "0.0.0.0.0.0";
    r.Port = kNativeCameraPort;
    r.Protocol = kProtocolNative;
    r.IsLocalCamera = true;
    r.FWVersion.clear();
    r.HWVersion.clear();
    r.ROMVersion.clear();
    r.ServerName.clear();
    r.ServerLocation.clear();
    r.ServerModel.clear();
    r.Recording = false;
    r.RecordType = kRecordManual;
    r.PT = false;
    RefreshPTPanel();
    if (m_state.WindowOpen[static_cast<std::size_t>(n)])
        m_sv.windows->unloadView(n);
    RefreshPanelText();
    if (m_state.CurCam == n)
        m_sv.windows->combinedPutActiveBorder(n);
}

void ControlPanel::Assign_Fun()
{
    const int n = m_state.CurCam;
    const BrowseResult chosen = m_sv.dialogs->browse(n);
    if (chosen.Cancelled)
        return;
    Engine& engine = *m_sv.engine;
    engine.CamStop(n);
    // CamStop clears Enable; a stop that failed must not hold the panel for ever.
    for (int poll = 0; poll < kAssignStopPolls && m_state.cam(n).Enable; ++poll)
        m_sv.clock->sleepMs(100);
    AssignCamFromBrowse(n, chosen);
    engine.PutSettingToCam(n);
    engine.CamStart(n);
    ShowClient(n);
    // The new camera's picture fills its window, whatever zoom the old one had.
    if (m_state.WindowOpen[static_cast<std::size_t>(n)])
        m_sv.windows->viewFitWindow(n);
    RefreshPTPanel();
    RefreshPanelText();
}

void ControlPanel::AssignCamFromBrowse(int n, const BrowseResult& chosen)
{
    CamInfo& r = m_state.cam(n);
    m_sv.engine->clearAutoRestarted(n);
    r.Assign = true;
    r.PasswordChecked = false;
    r.Recording = false;
    r.IPAddress = chosen.IPAddress;
    r.MacAddress = chosen.MacAddress;
    r.Port = chosen.Port;
    r.IsLocalCamera = chosen.IsLocalCamera;
    r.Protocol = chosen.Protocol;
    r.ServerName = chosen.ServerName;
    r.ServerModel = chosen.ServerModel;
    r.FWVersion = chosen.FWVersion;
    r.HWVersion = chosen.HWVersion;
    r.ROMVersion = chosen.ROMVersion;
    r.UserName = chosen.UserName;
    r.Password = chosen.Password;
    r.ServerLocation = chosen.ServerLocation;
    r.PT = chosen.PT;
    r.RecordType = kRecordManual;
    r.Enable = true;
    r.RotateAngle = 0;
    r.RecordMode = kRecordNone;
    r.LastMotion = m_sv.clock->now();
    r.MotionLedOn = false;
    r.MailIntervalTime = 5;
    r.MailServer.clear();
    r.MailFrom.clear();
    r.MailTo.clear();
    r.MailSubject.clear();
    r.MailUserName.clear();
    r.MailPassword.clear();
    r.Sensitivity = 5;
    r.Alarm = r.SendEmail = r.Trig1 = r.Trig2 = 0;
    r.ImageConfig = {64, 64, 64};
    r.ScheduleCount = 0;
    r.ScheduleIndex = 0;
    for (ScheduleInfo& s : r.schedules)
        s = ScheduleInfo{};
    m_sv.windows->combinedPutActiveBorder(n);
}

void ControlPanel::Connect_Fun(int n)
{
    CamInfo& r = m_state.cam(n);
    if (r.Enable) {
        ShowBtnBitmap(panelrow::kConnect, btnstate::kHover);
        r.RecordMode = kRecordNone;
        m_sv.engine->Stop_MotionStart(n);
        m_sv.engine->CamStop(n);
        // The stop ended the sound: the sound button of a camera that has one shows it off.
        if (r.Protocol == kProtocolKestra || r.Protocol == kProtocolMultipart) {
            if (m_state.WindowOpen[static_cast<std::size_t>(n)])
                m_sv.windows->viewShowButton(n, buttonrow::kAudio, BtnState::kNormal);
            if (m_state.WindowOpen[5] && m_state.CombineMode == 1)
                m_sv.windows->combinedShowButton(buttonrow::kAudio, BtnState::kNormal);
        }
    } else {
        ShowBtnBitmap(panelrow::kConnect, btnstate::kPressed);
        m_sv.engine->CamStart(n);
    }
    m_sv.engine->clearAutoRestarted(n);
}

void ControlPanel::CamConf_Fun()
{
    if (m_state.ScanModeOn) {
        ShowBtnBitmap(panelrow::kCamConf, btnstate::kGray);
    } else if (!m_state.CamConfOn) {
        m_state.CamConfOn = true;
        ShowBtnBitmap(panelrow::kCamConf, btnstate::kPressed);
    } else {
        m_state.CamConfOn = false;
        ShowBtnBitmap(panelrow::kCamConf, btnstate::kHover);
    }
    RefrushCamCfgBtn();
}

void ControlPanel::Update_Fun()
{
    if (m_state.CamConfOn && !m_state.ScanModeOn && assigned())
        m_sv.dialogs->updateFirmware(m_state.CurCam);
}

void ControlPanel::Motion_Fun()
{
    const bool ok =
        (editionS() || editionTC()) ? !m_state.ScanModeOn : m_state.CamConfOn && !m_state.ScanModeOn;
    if (!ok)
        return;
    m_sv.dialogs->motionSettings(m_state.CurCam);
    m_state.ExtInfoOn[static_cast<std::size_t>(m_state.CurCam - 1)] = false;
    RefreshPanelText();
}

void ControlPanel::StopAllRecording()
{
    if (m_state.ScanModeOn || !assigned())
        return;
    const int n = m_state.CurCam;
    CamInfo& r = m_state.cam(n);
    Engine& engine = *m_sv.engine;
    switch (r.RecordMode) {
    case kRecordManual:
        r.RecordMode = kRecordNone;
        engine.StopRecord(n);
        break;
    case kRecordSchedule:
        stopIfRecording(n);
        r.RecordMode = kRecordNone;
        break;
    case kRecordMotion:
        stopMotionRecording(n);
        r.RecordMode = kRecordNone;
        break;
    default:
        break;
    }
}

void ControlPanel::Web_Fun()
{
    if (!m_state.CamConfOn || m_state.ScanModeOn || !assigned())
        return;
    const int n = m_state.CurCam;
    CamInfo& r = m_state.cam(n);
    const bool connected = r.Enable;
    if (r.Recording && m_sv.dialogs->messageBox(panelMessage(3), kStyleOkCancel) == kAnswerCancel)
        return;
    StopAllRecording();
    WebRequest request;
    request.camera = n;
    request.connected = connected;
    request.address = r.IPAddress;
    const WebResult page = m_sv.dialogs->web(request);
    if (!page.Cancelled) {
        std::uint32_t wait = 400;
        if (page.userName != r.UserName || page.password != r.Password || page.address != r.IPAddress) {
            if (page.addressFlag == 1 &&
                (page.portFlag == 0 || (r.Port != page.port1 && r.Port != page.port2)))
                r.IPAddress = page.address;
            r.UserName = page.userName;
            r.Password = page.password;
            r.ServerName = page.name;
            // The control gets the new address and credentials (and the profile keeps them):
            // without it the restart below would reconnect to the old address.
            m_sv.engine->PutSettingToCam(n);
            wait = 300;
        } else {
            r.ServerName = page.name;
        }
        if (connected) {
            m_sv.ui->processEvents();
            m_sv.clock->sleepMs(wait);
            m_sv.engine->CamStart(n);
        }
    }
    m_state.ExtInfoOn[static_cast<std::size_t>(n - 1)] = false;
    RefreshPanelText();
}

// ---- recording, play, scan, combine ----

void ControlPanel::stopIfRecording(int n)
{
    if (m_state.cam(n).Recording)
        m_sv.engine->StopRecord(n);
}

void ControlPanel::stopMotionRecording(int n)
{
    m_sv.engine->Stop_MotionStart(n);
    stopIfRecording(n);
}

bool ControlPanel::HasCheckedSchedule(int n) const
{
    const CamInfo& r = m_state.cam(n);
    if (r.ScheduleCount < 1)
        return false;
    for (int k = 1; k <= std::min(r.ScheduleCount, kScheduleCount); ++k)
        if (r.Schedule(k).CHECK)
            return true;
    return false;
}

bool ControlPanel::recordSwitch(const std::function<bool(int, CamInfo&)>& body)
{
    if (m_state.ScanModeOn || !assigned())
        return true;
    const int n = m_state.CurCam;
    const bool result = body(n, m_state.cam(n));
    // The record buttons of the windows that show the camera follow the switch.
    if (m_state.WindowOpen[static_cast<std::size_t>(n)])
        m_sv.windows->viewRecordGrayBTN(n);
    if (m_state.WindowOpen[5])
        m_sv.windows->combinedRecordGrayBTN(n);
    return result;
}

bool ControlPanel::ManualRec_Fun()
{
    return recordSwitch([&](int n, CamInfo& r) {
        bool result = true;
        Engine& engine = *m_sv.engine;
        auto start = [&](int message) {
            if (engine.StartRecord(n, kRecordManual)) {
                r.RecordMode = kRecordManual;
            } else {
                m_sv.dialogs->messageBox(panelMessage(message), kStyleExclamation);
                r.RecordMode = kRecordNone;
            }
        };
        switch (r.RecordMode) {
        case kRecordNone:
            start(2);
            result = false;
            break;
        case kRecordManual:
            r.RecordMode = kRecordNone;
            engine.StopRecord(n);
            break;
        case kRecordSchedule:
            stopIfRecording(n);
            start(2);
            break;
        case kRecordMotion:
            stopMotionRecording(n);
            start(3);
            break;
        default:
            break;
        }
        return result;
    });
}

bool ControlPanel::ScheduleRec_Fun()
{
    return recordSwitch([&](int n, CamInfo& r) {
        bool result = true;
        Engine& engine = *m_sv.engine;
        // The schedule dialog, then the storage check when an entry is checked.
        auto pick = [&](bool resetOnFailure) {
            m_sv.dialogs->schedule(n);
            if (HasCheckedSchedule(n)) {
                if (engine.CheckStorage(n)) {
                    r.RecordMode = kRecordSchedule;
                } else {
                    m_sv.dialogs->messageBox(panelMessage(2), kStyleOk);
                    if (resetOnFailure)
                        r.RecordMode = kRecordNone;
                }
            } else if (resetOnFailure) {
                r.RecordMode = kRecordNone;
            }
        };
        switch (r.RecordMode) {
        case kRecordNone:
            pick(false);
            result = false;
            break;
        case kRecordManual:
            stopIfRecording(n);
            pick(true);
            break;
        case kRecordSchedule:
            stopIfRecording(n);
            r.RecordMode = kRecordNone;
            break;
        case kRecordMotion:
            stopMotionRecording(n);
            pick(true);
            break;
        default:
            break;
        }
        return result;
    });
}

bool ControlPanel::MotionRec_Fun()
{
    return recordSwitch([&](int n, CamInfo& r) {
        bool result = true;
        Engine& engine = *m_sv.engine;
        auto start = [&] {
            if (engine.CheckStorage(n)) {
                r.RecordMode = kRecordMotion;
                engine.Start_MotionStart(n);
            } else {
                m_sv.dialogs->messageBox(panelMessage(2), kStyleOk);
                r.RecordMode = kRecordNone;
            }
        };
        switch (r.RecordMode) {
        case kRecordNone:
            start();
            result = false;
            break;
        case kRecordManual:
        case kRecordSchedule:
            stopIfRecording(n);
            start();
            break;
        case kRecordMotion:
            stopMotionRecording(n);
            r.RecordMode = kRecordNone;
            break;
        default:
            break;
        }
        return result;
    });
}

void ControlPanel::Play_Fun()
{
    const SystemSettings& s = m_state.settings;
    const std::string folder = s.StorageCount > 0 ? s.Storage(1).Path : m_state.paths.homeDir.string();
    const PlayResult chosen = m_sv.dialogs->play(folder);
    if (chosen.Cancelled || chosen.file.empty())
        return;
    if (s.PlayerMode != 0) {
        if (m_sv.starter && m_sv.openMessages)
            OpenWithPlayer(m_state, chosen.file, *m_sv.starter, *m_sv.openMessages);
    } else if (m_sv.opener && m_sv.openMessages) {
        OpenWithAssociatedProgram(m_state, chosen.file, *m_sv.opener, *m_sv.openMessages);
    }
}

void ControlPanel::Scan_Fun()
{
    int enabled = 0;
    for (const CamInfo& c : m_state.cams)
        enabled += c.Enable ? 1 : 0;
    if (enabled < 2)
        return;
    if (m_state.CombineMode == 1) {
        m_sv.engine->setCombineMode(0);
        ShowBtnBitmap(panelrow::kCombine, btnstate::kNormal);
    }
    if (!m_state.ScanModeOn) {
        m_sv.engine->setScanModeOn(true);
        RefreshPTPanel();
        ShowBtnBitmap(panelrow::kScan, btnstate::kPressed);
        m_sv.engine->ScanMode();
    } else {
        m_sv.engine->setScanModeOn(false);
        ShowBtnBitmap(panelrow::kScan, btnstate::kHover);
        m_sv.engine->ScanModeToNormalMode();
        RefreshPTPanel();
    }
}

void ControlPanel::Combine_Fun()
{
    if (m_state.ScanModeOn) {
        m_sv.engine->setScanModeOn(false);
        RefreshPTPanel();
        ShowBtnBitmap(panelrow::kScan, btnstate::kNormal);
        m_sv.engine->ScanModeToCombineMode();
        // The scan window's unload leaves combined mode off: enter it below.
        m_sv.engine->setCombineMode(0);
    }
    if (m_state.CombineMode == 1) {
        ShowBtnBitmap(panelrow::kCombine, btnstate::kHover);
        m_sv.engine->setCombineMode(0);
        m_sv.windows->unloadCombined();
        // Each view window at its quarter of the screen.
        const QScreen* desktop = screen();
        const QRect area = desktop ? desktop->geometry() : QRect();
        for (int n = 1; n <= kCameraCount; ++n) {
            if (m_state.cam(n).Enable && m_state.cam(n).Assign) {
                const QPoint at = quarterOfDesktop(n, area);
                m_sv.windows->placeView(n, at.x(), at.y());
                m_sv.windows->showView(n);
            }
        }
    } else if (m_state.CombineMode == 0) {
        m_sv.engine->setCombineMode(1);
        for (int n = 1; n <= kCameraCount; ++n)
            if (m_state.WindowOpen[static_cast<std::size_t>(n)])
                m_sv.windows->unloadView(n);
        ShowBtnBitmap(panelrow::kCombine, btnstate::kPressed);
        m_sv.windows->showCombined();
    }
}

// ---- pan/tilt pad and tool bar ----

void ControlPanel::padPress(int row)
{
    const int n = m_state.CurCam;
    const bool direction = row <= panelrow::kPadFirst + 3;
    m_tmrBtnHold->setEnabled(direction);
    if (SkinObject* o = rowObject(row))
        o->SetBitmap(QString::fromStdString(btnStr(row, btnstate::kPressed)));
    if (PTButtonDown(n)) {
        if (direction)
            m_tmrBtnHold->setInterval(500);
        const std::int16_t code = kPadCodes[row - panelrow::kPadFirst];
        m_padCommand = code;
        SendPTCommand(n, code);
        if (rowName(row) == "PT-D")
            SendPTCommand(n, code);
    } else {
        RefrushCamCfgBtn();
        m_sv.engine->RefreshStatus();
    }
}

bool ControlPanel::PTButtonDown(int n)
{
    const CamInfo& r = m_state.cam(n);
    if (r.Alarm != 1 && r.SendEmail != 1 && r.RecordMode != kRecordMotion)
        return true;
    m_tmrBtnHold->setEnabled(false);
    for (int row = panelrow::kPadFirst; row <= panelrow::kPadLast; ++row) {
        SkinObject* o = rowObject(row);
        if (o && o->BitmapName() != "Main.bmp")
            o->SetBitmapName("Main.bmp");
    }
    return m_sv.dialogs->messageBox(panelMessage(4), kStyleYesNoExclamation, m_state.texts.AppTitle) !=
           kAnswerNo;
}

void ControlPanel::SendPTCommand(int n, std::int16_t code)
{
    if (!assigned() || m_state.ScanModeOn)
        return;
    CamInfo& r = m_state.cam(m_state.CurCam);
    Engine& engine = *m_sv.engine;
    r.Alarm = 0;
    r.SendEmail = 0;
    engine.Cam(m_state.CurCam).put(IntProp::MotionDetectMode, 0);
    engine.CamViewer1(m_state.CurCam).setMotionMode(0);
    if (r.RecordMode == kRecordMotion) {
        engine.tmrMotion(m_state.CurCam).setEnabled(false);
        if (r.Recording)
            engine.StopRecord(m_state.CurCam);
        r.RecordMode = kRecordNone;
    }
    RefreshPanelText();
    engine.Cam(n).PT_CMD(code);
}

void ControlPanel::tmrBtnHold_Timer()
{
    guarded("tmrBtnHold_Timer", [&] {
        m_tmrBtnHold->setInterval(50);
        SendPTCommand(m_state.CurCam, m_padCommand);
    });
}

void ControlPanel::tbr_ToolClick(const QString& id)
{
    guarded("tbr_ToolClick", [&] {
        if (id == "ID_Help") {
            if (m_sv.opener && m_sv.openMessages)
                OpenWithAssociatedProgram(m_state, m_state.paths.dataDir / m_state.ui.HelpFileName,
                                          *m_sv.opener, *m_sv.openMessages);
        } else if (id == "ID_About") {
            m_sv.dialogs->about();
        }
    });
}

} // namespace pellucor
