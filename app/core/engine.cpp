// The engine's life (load and unload), settings into the controls, and camera start and stop.
#include "app/core/engine.h"

#include "app/core/disks.h"
#include "app/core/event_log.h"
#include "app/core/language_pack.h"
#include "app/core/login_cookie.h"
#include "app/core/profile.h"
#include "app/core/text_codec.h"
#include "app/core/text_util.h"

#include "platform/clock.h"
#include "platform/frame_target.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <stdexcept>

namespace pellucor {

namespace {

// Base image interval by number of running cameras (rows) and processor level (columns).
constexpr std::int32_t kIntervalBase[5][4] = {
    {0, 0, 0, 0}, {40, 20, 0, 0}, {60, 30, 10, 0}, {100, 50, 30, 0}, {150, 80, 50, 0},
};

std::string versionOrNA(const std::string& v)
{
    return v.empty() || v == "0.00" ? "N/A" : v;
}

} // namespace

std::int16_t processorFamilyLevel()
{
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("cpu family", 0) != 0)
            continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos)
            break;
        const std::string_view v = trimBlanks(std::string_view(line).substr(colon + 1));
        int level = 0;
        auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), level);
        if (ec == std::errc() && level >= 0 && level < 1000)
            return static_cast<std::int16_t>(level);
        break;
    }
    return 0;
}

std::string cameraFolderName(int n, const std::string& serverName)
{
    const std::string cleaned = MakeValidFileName(std::string(trimBlanks(serverName)));
    return "CAM" + std::to_string(n) + "_" + std::string(trimBlanks(cleaned));
}

Engine::Engine(AppState& state, EngineServices services,
               std::array<std::unique_ptr<CameraControl>, kCameraCount> cams,
               std::array<std::unique_ptr<CameraViewer>, kCameraCount> viewers)
    : m_state(state), m_sv(std::move(services)), m_cams(std::move(cams)), m_viewers(std::move(viewers))
{
    makeTimers();
}

Engine::Engine(AppState& state, EngineServices services, const ControlFactory& makeControl,
               const ViewerFactory& makeViewer)
    : m_state(state), m_sv(std::move(services))
{
    for (int n = 1; n <= kCameraCount; ++n) {
        auto& cam = m_cams[static_cast<std::size_t>(n - 1)];
        auto& viewer = m_viewers[static_cast<std::size_t>(n - 1)];
        cam = makeControl(n, *this);
        viewer = makeViewer(n, *this);
        if (!cam || !viewer)
            throw std::runtime_error("camera " + std::to_string(n) +
                                     ": its control or viewer cannot be made");
    }
    makeTimers();
}

void Engine::makeTimers()
{
    for (int n = 1; n <= kCameraCount; ++n)
        m_tmrMotion[static_cast<std::size_t>(n - 1)] =
            m_sv.timers->create(kMotionHoldMs, false, [this, n] { tmrMotion_Timer(n); });
    m_tmrMotionLed = m_sv.timers->create(1000, false, [this] { tmrMotionLed_Timer(); });
    m_tmrSchedule = m_sv.timers->create(250, false, [this] { tmrSchedule_Timer(); });
    m_tmrScan = m_sv.timers->create(1000, false, [this] { tmrScan_Timer(); });
    m_hiddenPicture = static_cast<std::int32_t>(tessivor::frameTargets::create(1, 1));
}

Engine::~Engine()
{
    tessivor::frameTargets::destroy(static_cast<tessivor::Handle>(m_hiddenPicture));
}

std::string Engine::newCookie()
{
    return newLoginCookie();
}

std::filesystem::path Engine::alertPictureFile(int n) const
{
    return m_state.paths.homeDir / (cameraFolderName(n, m_state.cam(n).ServerName) + ".jpg");
}

bool Engine::saveSetting()
{
    return m_sv.saveSetting ? m_sv.saveSetting() : SaveSetting(m_state);
}

double Engine::freeSpace(const std::filesystem::path& path)
{
    return m_sv.freeSpace ? m_sv.freeSpace(path) : CAPIDisks().DiskFreeSpace(path);
}

void Engine::logText(int n, int k)
{
    m_sv.log->AddEvent(n, m_state.texts.EventText.at(static_cast<std::size_t>(k)));
}

void Engine::RefreshStatus()
{
    for (int n = 1; n <= kCameraCount; ++n)
        if (m_state.WindowOpen[static_cast<std::size_t>(n)])
            m_sv.windows->viewRefrushStatusBar(n);
}

void Engine::refresh()
{
    if (m_state.WindowOpen[0])
        m_sv.windows->RefreshPanelText();
    RefreshStatus();
}

// ---- load and unload ----

void Engine::Load()
{
    m_state.ProcessorLevel = m_sv.processorLevel ? m_sv.processorLevel() : processorFamilyLevel();
    m_state.PendingCookie.clear();
    m_state.AutoRestarted = {};
    LoadLanguageText(m_state);
    m_tmrMotionLed->setEnabled(true);
    m_tmrSchedule->setEnabled(true);
    InitialCamSetting();
    for (int n = 1; n <= kCameraCount; ++n) {
        if (!m_state.cam(n).Assign)
            continue;
        if (!m_state.cam(n).Enable) {
            PutSettingToCam(n); // configured, but no window and no stream
            continue;
        }
        // The view window loads first, so that the settings bind the camera to its picture.
        m_sv.windows->showView(n);
        PutSettingToCam(n);
        m_sv.windows->viewRefrushStatusBar(n);
        CamStart(n);
    }
}

void Engine::Unload()
{
    for (auto& t : m_tmrMotion)
        t->setEnabled(false);
    m_tmrMotionLed->setEnabled(false);
    m_tmrSchedule->setEnabled(false);
    m_tmrScan->setEnabled(false);

    // The profile first, so that it keeps the cameras that were running.
    if (!saveSetting())
        m_sv.messages->show("Error SaveSetting function");
    for (int n = 1; n <= kCameraCount; ++n) {
        try {
            if (m_state.cam(n).Recording)
                StopRecord(n);
        } catch (const std::exception&) {
        }
        CamStop(n);
        // Only a Kestra session that was opened is ended.
        const std::string& cookie = m_state.CamCookie[static_cast<std::size_t>(n - 1)];
        if (m_state.cam(n).Protocol == kProtocolKestra && !cookie.empty()) {
            try {
                Cam(n).Kestra_Logout(cookie);
            } catch (const std::exception&) {
            }
        }
        m_sv.log->SaveLog(n, m_sv.log->lineCount(n));
    }
    // Give each control up to 4.5 s to end its loop; the waits block (no events run).
    for (int n = 1; n <= kCameraCount; ++n) {
        try {
            for (std::uint32_t wait : {500u, 1500u, 2500u}) {
                if (Cam(n).get(IntProp::Status) == 0)
                    break;
                m_sv.clock->sleepMs(wait);
            }
        } catch (const std::exception&) {
        }
    }
}

// ---- settings into the controls ----

void Engine::putConnection(int n, bool withRotation)
{
    const CamInfo& ci = m_state.cam(n);
    const SystemSettings& s = m_state.settings;
    CameraControl& c = Cam(n);
    c.put(TextProp::DeviceSerialNo, "");
    c.put(TextProp::UserName, ci.UserName);
    c.put(TextProp::Password, ci.Password);
    c.put(TextProp::RemoteHost, ci.IPAddress);
    c.put(IntProp::RemotePort, ci.Port);
    c.put(IntProp::Protocol, ci.Protocol);
    c.put(BoolProp::LocalCamera, ci.IsLocalCamera);
    if (withRotation)
        c.put(IntProp::RotateAngle, ci.RotateAngle);
    c.put(TextProp::ProxyServerAddress, s.ProxyServerAddress);
    c.put(IntProp::ProxyPort, s.ProxyServerPort);
    c.put(BoolProp::EnableProxy, s.EnableProxy);
    c.put(BoolProp::BypassProxyServer, s.BypassProxyServer);
}

void Engine::InitialCamSetting()
{
    for (int n = 1; n <= kCameraCount; ++n) {
        CameraControl& c = Cam(n);
        putConnection(n, false);
        c.put(BoolProp::DrawImage, false);
        c.put(BoolProp::OtherDC, true);
        c.put(IntProp::PreviewLeft, 0);
        c.put(IntProp::PreviewTop, 0);
        c.put(IntProp::MotionDetectMode, 0);
        c.put(IntProp::MotionBlockCount, 0);
        c.put(TextProp::EMailFileName,
              (m_state.paths.homeDir / ("Temp" + std::to_string(n) + ".jpg")).string());
        c.put(IntProp::MotionSensitivity, 5);
        c.put(IntProp::ImageInterval, 0);
        c.put(IntProp::PreviewhWnd, 0);
        c.put(IntProp::PreviewDC, 0);
        c.put(IntProp::PreviewWidth, 0);
        c.put(IntProp::PreviewHeight, 0);
    }
}

void Engine::bindTarget(int n, const DrawTarget& target)
{
    CamInfo& ci = m_state.cam(n);
    if (ci.Protocol == kProtocolKestra) {
        CameraViewer& v = CamViewer1(n);
        v.setDrawingWindow(target.handle);
        v.setCameraAddress(ci.IPAddress);
        std::string& cookie = m_state.CamCookie[static_cast<std::size_t>(n - 1)];
        if (cookie.empty())
            cookie = newCookie();
        v.setCookie(cookie);
        v.startShowing();
    } else {
        Cam(n).put(IntProp::PreviewhWnd, target.handle);
        Cam(n).put(IntProp::PreviewDC, target.dc);
    }
}

void Engine::PutSettingToCam(int n)
{
    try {
        CamInfo& ci = m_state.cam(n);
        const SystemSettings& s = m_state.settings;
        CameraControl& c = Cam(n);
        putConnection(n, true);

        if (ci.Protocol == kProtocolKestra) {
            CameraViewer& v = CamViewer1(n);
            c.GetKestraPort();
            v.setControlPort(std::to_string(c.get(IntProp::KestraCPort)));
            v.setStreamPort(std::to_string(c.get(IntProp::KestraSPort)));
            v.setFirmwareVersion(c.get(TextProp::KestraFWVERSION));
            if (m_state.PendingCookie.empty()) {
                v.setUserName(c.get(TextProp::UserName));
                v.setPassword(c.get(TextProp::Password));
                const std::string login = URLEncode(v.loginName());
                for (int attempt = 0; attempt < 4; ++attempt) {
                    m_state.PendingCookie = newCookie();
                    c.put(TextProp::UserName, login);
                    c.put(TextProp::Password, m_state.PendingCookie);
                    if (c.LoginCamera(false) == -1)
                        break;
                }
            }
            // The session just opened belongs to this camera, whether or not it is bound now:
            // leaving it pending would bind the next Kestra camera with this camera's session.
            m_state.CamCookie[static_cast<std::size_t>(n - 1)] = m_state.PendingCookie;
            m_state.PendingCookie.clear();
            c.GetKestraValue(83);
            c.put(IntProp::FoundIndex, -1);
            ci.ServerModel = c.get(TextProp::FoundDeviceName);
            ci.MacAddress = c.get(TextProp::FoundMACAddress);
            ci.FWVersion = versionOrNA(c.get(TextProp::FoundFWVersion));
            ci.HWVersion = versionOrNA(c.get(TextProp::FoundHWVersion));
            ci.ROMVersion = versionOrNA(c.get(TextProp::FoundROMVersion));
        }

        if (ci.Protocol != kProtocolKestra) {
            c.put(IntProp::SplitFileMode, s.SplitFileMode);
            c.put(IntProp::SplitFileSpace, (s.FileSize + 1) * 10);
            c.put(IntProp::SplitFileTime, (s.FileTimeLimited + 1) * 10);
        } else {
            CamViewer1(n).setSplitSize(static_cast<std::int16_t>((s.FileSize + 1) * 10));
        }
        c.put(IntProp::MinReservedSpace, s.ReserveSpace * 50 + 500);

        c.put(TextProp::MACAddress, ci.MacAddress);
        c.put(BoolProp::OtherDC, true);
        c.put(IntProp::PreviewLeft, 0);
        c.put(IntProp::PreviewTop, 0);

        if (ci.Enable) {
            if (m_state.CombineMode == 0) {
                // Only a view window that exists is bound: none is made here, hidden or not.
                if (m_sv.windows->viewExists(n)) {
                    m_sv.windows->setViewFirstActivate(n, true);
                    bindTarget(n, m_sv.windows->viewPicture(n));
                    m_sv.windows->viewFormResize(n);
                }
            } else if (m_state.CombineMode == 1) {
                bindTarget(n, m_sv.windows->combinedPane(n));
                m_sv.windows->combinedFormResize();
            }
            if (m_state.WindowOpen[static_cast<std::size_t>(n)])
                m_sv.windows->viewRefrushStatusBar(n);
        }

        std::int32_t mode = 0;
        if (ci.Alarm == 1)
            mode |= 1;
        if (ci.SendEmail == 1)
            mode |= 4;
        const std::string alertFile = alertPictureFile(n).string();
        if (ci.Protocol != kProtocolKestra) {
            c.put(IntProp::MotionSensitivity, ci.Sensitivity);
            c.put(IntProp::MotionDetectMode, mode);
            c.put(TextProp::EMailFileName, alertFile);
        } else {
            CameraViewer& v = CamViewer1(n);
            v.setMotionMode(mode);
            v.setMotionSensitivity(ci.Sensitivity);
            v.setMailPictureFile(alertFile);
            c.put(TextProp::EMailFileName, alertFile);
            ci.LastMailTime = m_sv.clock->now();
        }

        c.SetEMailProperty(ci.MailServer, ci.MailTo, ci.MailFrom, ci.MailSubject);
        c.put(TextProp::SendMailID, ci.MailUserName);
        c.put(TextProp::SendMailPWD, ci.MailPassword);
        c.put(IntProp::MailIntervalTime, ci.MailIntervalTime);

        if (!saveSetting())
            m_sv.messages->show("Error PutSettingToCam function");
    } catch (const std::exception&) {
        m_sv.messages->show("Error PutSettingToCam function");
    }
}

void Engine::ApplyImageInterval()
{
    if (!m_state.ui.ImageIntervalOn)
        return;
    int running = 0, recording = 0;
    for (const CamInfo& ci : m_state.cams) {
        if (ci.Assign && ci.Enable) {
            ++running;
            if (ci.Recording)
                ++recording;
        }
    }
    const int level = m_state.ProcessorLevel;
    const int column = level < 7 ? 0 : level < 15 ? 1 : level < 17 ? 2 : 3;
    const std::int32_t value = recording * 10 + kIntervalBase[running][column];
    for (int n = 1; n <= kCameraCount; ++n)
        Cam(n).put(IntProp::ImageInterval, value);
}

// ---- start, stop, restart ----

namespace {

// Marks a slot's start or stop as running for the length of a scope.
class SwitchGuard
{
public:
    explicit SwitchGuard(bool& flag) : m_flag(flag), m_owned(!flag) { m_flag = true; }
    ~SwitchGuard()
    {
        if (m_owned)
            m_flag = false;
    }
    bool owned() const { return m_owned; }

private:
    bool& m_flag;
    bool m_owned;
};

} // namespace

void Engine::CamStart(int n)
{
    SwitchGuard guard(m_switching.at(static_cast<std::size_t>(n - 1)));
    if (!guard.owned())
        return; // a start or stop of this camera is already running further up the stack
    try {
        CamInfo& ci = m_state.cam(n);
        ci.LoginRefused = false;
        for (int attempt = 0; attempt < kStopAttempts; ++attempt) {
            if (ci.Protocol == kProtocolKestra) {
                if ((CamViewer1(n).state() & CameraViewer::kStateShowing) == 0)
                    break;
                CamViewer1(n).stopShowing();
            } else {
                if (Cam(n).get(IntProp::Status) == 0)
                    break;
                if (ci.Protocol == kProtocolMultipart) {
                    Cam(n).put(IntProp::PlayMode, 0);
                    Cam(n).RunAudio();
                }
                Cam(n).Stop();
            }
            m_sv.ui->processEvents();
            m_sv.clock->sleepMs(kStopAttemptWaitMs);
        }
        if (ci.Protocol == kProtocolKestra) {
            CamViewer1(n).startShowing();
        } else {
            if (ci.Protocol == kProtocolMultipart)
                Cam(n).put(IntProp::PlayMode, 1);
            Cam(n).Run();
        }
        finishSwitch(n, true);
    } catch (const std::exception&) {
        m_sv.messages->show("Error CamStart function");
    }
}

void Engine::CamStop(int n)
{
    SwitchGuard guard(m_switching.at(static_cast<std::size_t>(n - 1)));
    if (!guard.owned())
        return;
    try {
        CamInfo& ci = m_state.cam(n);
        if (ci.Recording)
            StopRecord(n);
        const bool viewOpen = m_state.WindowOpen[static_cast<std::size_t>(n)];
        if (ci.Protocol == kProtocolKestra) {
            CamViewer1(n).audioOff();
            CamViewer1(n).stopShowing();
            if (viewOpen)
                m_sv.windows->viewRefreshPicture(n);
        } else if (ci.Protocol == kProtocolMultipart) {
            Cam(n).put(IntProp::PlayMode, 0);
            Cam(n).RunAudio();
            if (viewOpen)
                m_sv.windows->viewRefreshPicture(n);
        } else {
            Cam(n).Stop();
            if (viewOpen) {
                m_sv.windows->viewRefreshPicture(n);
                m_sv.windows->setViewColorCtlOn(n, false);
                m_sv.windows->viewShowColorCtl(n);
            }
        }
        m_state.AudioOn[static_cast<std::size_t>(n - 1)] = false;
        if (m_state.CombineMode == 1)
            m_sv.windows->combinedRefreshPane(n);
        finishSwitch(n, false);
    } catch (const std::exception&) {
        m_sv.messages->show("Error CamStop function");
    }
}

void Engine::finishSwitch(int n, bool started)
{
    if (m_state.WindowOpen[0])
        m_sv.windows->LedControl(3 * n, started);
    // An empty slot (stopped at the end like every slot) has no camera to tell about.
    if (m_state.cam(n).Assign)
        logText(n, started ? 1 : 2);
    m_state.cam(n).Enable = started;
    RefreshStatus();
    ApplyImageInterval();
}

void Engine::RestartCam(int n)
{
    const CamInfo& ci = m_state.cam(n);
    if (ci.Protocol != kProtocolNative || !ci.Enable)
        return;
    try {
        Cam(n).Stop();
        // Bounded: a control that does not stop in time gets Run anyway and reports that it is
        // already running, as after CamStart's attempts.
        for (int poll = 0; poll < kRestartPolls; ++poll) {
            m_sv.clock->sleepMs(kRestartPollMs);
            if (Cam(n).get(IntProp::Status) == 0)
                break;
        }
        Cam(n).Run();
        if (m_state.WindowOpen[0])
            m_sv.windows->LedControl(3 * n, true);
        m_state.AutoRestarted[static_cast<std::size_t>(n - 1)] = true;
    } catch (const std::exception&) {
        m_sv.messages->show("Error RestartCam function");
    }
}

// ---- start-up before the engine ----

bool LoadStartupFiles(AppState& state, MessageBoxes& messages, std::time_t now)
{
    InitGlobals(state, now);
    std::string error;
    // A file that is missing is named as such; one that is there but cannot be read, with the
    // reader's own reason.
    auto failed = [&](const std::filesystem::path& file, bool exists, const char* what = "language pack") {
        messages.show(exists ? "The " + std::string(what) + " cannot be read: " + error
                             : file.string() + " is not exist !!");
        return false;
    };
    if (!LoadLanguageIni(state, &error)) {
        std::error_code ec;
        const bool exists = std::filesystem::exists(state.paths.selectorFile(), ec) ||
                            std::filesystem::exists(state.paths.shippedSelectorFile(), ec);
        return failed(state.paths.shippedSelectorFile(), exists, "language selector");
    }
    if (!LoadButtonText(state, &error))
        return failed(expectedLanguageFile(state, "_2.ini"), languageFile(state, "_2.ini").has_value());
    if (!LoadHintText(state, &error))
        return failed(expectedLanguageFile(state, "_3.ini"), languageFile(state, "_3.ini").has_value());
    if (!LoadSetting(state, &error)) {
        messages.show("The settings profile cannot be read: " + error);
        return false;
    }
    if (!LoadUISetting(state, &error))
        return failed(expectedLanguageFile(state, "_1.ini"), languageFile(state, "_1.ini").has_value());
    state.CurCam = 1;
    return true;
}

} // namespace pellucor
