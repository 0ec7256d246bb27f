// The engine's side of the settings dialogs: their edits stored in the records and handed to the
// cameras' controls and viewers.
#include "app/core/engine.h"

#include "app/core/profile.h"

#include <algorithm>

namespace pellucor {

std::int32_t motionModeOf(std::int32_t alarm, std::int32_t sendEmail, std::int32_t recordMode)
{
    return (alarm == 1 ? 1 : 0) + (sendEmail == 1 ? 4 : 0) + (recordMode == kRecordMotion ? 8 : 0);
}

std::string Engine::applyMailSettings(int n, const MailSettings& mail)
{
    CamInfo& c = m_state.cam(n);
    c.MailServer = mail.MailServer;
    c.MailFrom = mail.MailFrom;
    c.MailTo = mail.MailTo;
    c.MailSubject = mail.MailSubject;
    c.MailUserName = mail.MailUserName;
    c.MailPassword = mail.MailPassword;
    c.MailIntervalTime = mail.MailIntervalTime;
    // Every control gets its record's settings again, as at start-up.
    try {
        for (int k = 1; k <= kCameraCount; ++k) {
            const CamInfo& r = m_state.cam(k);
            CameraControl& cam = Cam(k);
            cam.SetEMailProperty(r.MailServer, r.MailTo, r.MailFrom, r.MailSubject);
            cam.put(IntProp::MailIntervalTime, r.MailIntervalTime);
            cam.put(TextProp::SendMailID, r.MailUserName);
            cam.put(TextProp::SendMailPWD, r.MailPassword);
        }
    } catch (const ControlError& e) {
        return e.what();
    }
    return {};
}

std::string Engine::applyMotionSettings(int n, const MotionSettings& motion)
{
    CamInfo& c = m_state.cam(n);
    c.Sensitivity = motion.Sensitivity;
    c.Alarm = motion.Alarm;
    c.SendEmail = motion.SendEmail;
    const std::int32_t mode = motionModeOf(c.Alarm, c.SendEmail, c.RecordMode);
    try {
        if (c.Protocol != kProtocolKestra) {
            Cam(n).put(IntProp::MotionSensitivity, c.Sensitivity);
            Cam(n).put(IntProp::MotionDetectMode, mode);
        } else {
            // The viewer takes the mode first.
            CamViewer1(n).setMotionMode(mode);
            CamViewer1(n).setMotionSensitivity(c.Sensitivity);
        }
    } catch (const ControlError& e) {
        return e.what();
    }
    return {};
}

std::string Engine::applySystemSettings(const SystemSettings& settings)
{
    m_state.settings = settings;
    const SystemSettings& s = m_state.settings;
    const std::int32_t splitMb = 10 * (s.FileSize + 1);
    std::string refused;
    try {
        for (int n = 1; n <= kCameraCount; ++n) {
            CameraControl& cam = Cam(n);
            cam.put(IntProp::MinReservedSpace, 500 + 50 * s.ReserveSpace - splitMb);
            cam.put(IntProp::SplitFileMode, s.SplitFileMode);
            cam.put(IntProp::SplitFileSpace, splitMb);
            cam.put(IntProp::SplitFileTime, 10 * (s.FileTimeLimited + 1));
            CamViewer1(n).setSplitSize(static_cast<std::int16_t>(splitMb));
        }
        for (int n = 1; n <= kCameraCount; ++n) {
            CameraControl& cam = Cam(n);
            cam.put(TextProp::ProxyServerAddress, s.ProxyServerAddress);
            cam.put(IntProp::ProxyPort, s.ProxyServerPort);
            cam.put(BoolProp::EnableProxy, s.EnableProxy);
            cam.put(BoolProp::BypassProxyServer, s.BypassProxyServer);
        }
    } catch (const ControlError& e) {
        refused = e.what();
    }
    // The scan delay holds whatever the controls did.
    tmrScan().setInterval((s.ScanDelay + 1) * 1000);
    return refused;
}

void Engine::applyScheduleEntries(int n, const std::vector<ScheduleEdit>& entries)
{
    CamInfo& cam = m_state.cam(n);
    if (cam.Recording && cam.RecordMode == kRecordSchedule)
        StopRecord(n);
    const std::array<ScheduleInfo, kScheduleCount> before = cam.schedules;
    const std::size_t count = std::min<std::size_t>(entries.size(), kScheduleCount);
    std::int32_t index = 0;
    for (std::size_t i = 0; i < count; ++i) {
        ScheduleInfo e = entries[i].entry;
        const int was = entries[i].was;
        if (was < 1 || was > kScheduleCount) {
            e.Started = false;
            e.Stopped = false;
        } else {
            e.Started = before.at(static_cast<std::size_t>(was - 1)).Started;
            e.Stopped = before.at(static_cast<std::size_t>(was - 1)).Stopped;
            if (was == cam.ScheduleIndex)
                index = static_cast<std::int32_t>(i + 1);
        }
        cam.Schedule(static_cast<int>(i + 1)) = e;
    }
    cam.ScheduleCount = static_cast<std::int32_t>(count);
    cam.ScheduleIndex = index;
}

std::optional<ProbedCamera> probeCamera(CameraControl& cam)
{
    if (cam.ProbeDevice(0, false) != -1)
        return std::nullopt;
    cam.put(IntProp::FoundIndex, -1);
    ProbedCamera f;
    f.FWVersion = cam.get(TextProp::FoundFWVersion);
    f.Protocol = cam.get(IntProp::FoundProtocol);
    f.Port = cam.get(IntProp::RemotePort);
    f.IsLocalCamera = cam.get(BoolProp::LocalCamera);
    f.MacAddress = cam.get(TextProp::FoundMACAddress);
    f.ServerModel = cam.get(TextProp::FoundServerModel);
    f.ServerName = cam.get(TextProp::FoundDeviceName);
    f.HWVersion = cam.get(TextProp::FoundHWVersion);
    f.ROMVersion = cam.get(TextProp::FoundROMVersion);
    return f;
}

void Engine::applyProbedCamera(int n, const ProbedCamera& found, bool start)
{
    CamInfo& ci = m_state.cam(n);
    ci.FWVersion = found.FWVersion;
    ci.Protocol = found.Protocol;
    ci.Port = found.Port;
    ci.IsLocalCamera = found.IsLocalCamera;
    ci.MacAddress = found.MacAddress;
    ci.ServerModel = found.ServerModel;
    ci.ServerName = found.ServerName;
    ci.HWVersion = found.HWVersion;
    ci.ROMVersion = found.ROMVersion;
    PutSettingToCam(n);
    if (start)
        CamStart(n);
}

void Engine::setProfilePath(const std::string& path)
{
    m_state.INIPath = path;
}

bool Engine::loadProfile(const std::string& path, std::string* error)
{
    m_state.INIPath = path;
    return LoadSetting(m_state, error);
}

void Engine::setCurrentCamera(int n)
{
    if (n >= 1 && n <= kCameraCount)
        m_state.CurCam = n;
}

void Engine::setCombineMode(std::int32_t mode)
{
    m_state.CombineMode = mode;
}

void Engine::setScanModeOn(bool on)
{
    m_state.ScanModeOn = on;
}

void Engine::clearAutoRestarted(int n)
{
    if (n >= 1 && n <= kCameraCount)
        m_state.AutoRestarted[static_cast<std::size_t>(n - 1)] = false;
}

void Engine::setPendingCookie(std::string cookie)
{
    m_state.PendingCookie = std::move(cookie);
}

} // namespace pellucor
