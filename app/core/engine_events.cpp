// The engine's answers to control and viewer events, and recording: start, stop, the motion
// switch and the two motion timers.
#include "app/core/engine.h"

#include "app/core/event_log.h"

#include "platform/clock.h"

#include <algorithm>
#include <system_error>

namespace pellucor {

namespace {

constexpr std::size_t idx(int n)
{
    return static_cast<std::size_t>(n - 1);
}

} // namespace

void Engine::onImageEvent(int n, std::int32_t code)
{
    if (n < 1 || n > kCameraCount)
        return;
    // An error ends the handling of this one event; the next one is handled normally.
    try {
        CamInfo& ci = m_state.cam(n);
        const bool panel = m_state.WindowOpen[0];
        if (code == kEventRecordTimeout) {
            logText(n, 17);
            return;
        }
        switch (code) {
        case kEventLoopClosed:
            ci.Recording = false;
            // The loop ended: whatever recorded has stopped, so its lamp goes out too.
            if (panel)
                m_sv.windows->LedControl(3 * n - 2, false);
            refresh();
            break;
        case kEventThreadStarted:
            logText(n, 3);
            break;
        case kEventConnected:
            if (!m_state.AutoRestarted[idx(n)])
                logText(n, 4);
            if (panel) {
                m_sv.windows->RefreshPanelText();
                m_sv.windows->LedControl(3 * n, true);
            }
            RefreshStatus();
            // Only the first connection after an automatic restart goes unlogged.
            m_state.AutoRestarted[idx(n)] = false;
            break;
        case kEventMotion:
            motionProcedure(n);
            break;
        case kEventRecordOpenFailed:
            logText(n, 8);
            StopRecord(n);
            refresh();
            break;
        case kEventRecordSplit:
        case kEventDiskLow:
            storageRestart(n, false);
            break;
        case kEventCaptureSaved:
            logText(n, 9);
            break;
        case kEventMailFailed:
            CamViewer1(n).setAlertPicture(false);
            logText(n, 10);
            m_state.MailPending[idx(n)] = false;
            break;
        case kEventMailSent: {
            CamViewer1(n).setAlertPicture(false);
            logText(n, 11);
            std::error_code ec;
            std::filesystem::remove(alertPictureFile(n), ec);
            m_state.MailPending[idx(n)] = false;
            break;
        }
        case kEventReconnectPause:
            logText(n, 12);
            break;
        case kEventStreamTimeout:
            logText(n, 13);
            break;
        case kEventLoginRefused:
            logText(n, 14);
            ci.LoginRefused = true; // told on the status lines until the camera starts again
            StopRecord(n);
            CamStop(n);
            refresh();
            break;
        default:
            if (code >= kEventSmtpErrorFirst && code <= kEventSmtpErrorLast) {
                logText(n, code - 20);
                CamViewer1(n).setAlertPicture(false);
                m_state.MailPending[idx(n)] = false;
            }
            break;
        }
    } catch (const std::exception&) {
    }
}

void Engine::onEndGetImageConfig(int n, std::int32_t status, const std::int16_t values[7])
{
    if (n < 1 || n > kCameraCount) {
        m_sv.messages->show("ErrCam_EndGetImageConfig");
        return;
    }
    // Brightness, contrast, hue.
    m_state.cam(n).ImageConfig = {values[3], values[4], values[5]};
    ImageSettings all{};
    std::copy(values, values + all.size(), all.begin());
    // A copy: a waiter usually forgets itself when it hears its answer.
    const auto waiters = m_imageConfigWaiters;
    for (const auto& entry : waiters) {
        const int key = entry.first;
        const bool stillWaiting = std::any_of(m_imageConfigWaiters.begin(), m_imageConfigWaiters.end(),
                                              [key](const auto& w) { return w.first == key; });
        if (stillWaiting)
            entry.second(n, status, all);
    }
}

int Engine::addImageConfigWaiter(ImageConfigWaiter waiter)
{
    const int key = ++m_nextWaiterKey;
    m_imageConfigWaiters.emplace_back(key, std::move(waiter));
    return key;
}

void Engine::forgetImageConfigWaiter(int key)
{
    std::erase_if(m_imageConfigWaiters, [key](const auto& w) { return w.first == key; });
}

void Engine::motionProcedure(int n)
{
    CamInfo& ci = m_state.cam(n);
    if (!ci.MotionLedOn) {
        logText(n, 6);
        ci.MotionLedOn = true;
        ci.LastMotion = m_sv.clock->now();
        showMotion(n, true);
    }
    if (ci.RecordMode == kRecordMotion) {
        if (!ci.Recording) {
            if (CheckStorage(n))
                StartRecord(n, kRecordMotion);
            else
                logText(n, 8);
        } else {
            restartMotionTimer(n);
        }
    }
    RefreshStatus();
}

void Engine::showMotion(int n, bool on)
{
    if (m_state.WindowOpen[0])
        m_sv.windows->LedControl(3 * n - 1, on);
    if (m_state.WindowOpen[idx(n) + 1])
        m_sv.windows->viewShowMotionText(n, on);
    else if (m_state.WindowOpen[5] && n == m_state.CurCam)
        m_sv.windows->combinedShowMotionText(on);
}

void Engine::storageRestart(int n, bool viewer)
{
    if (CheckStorage(n)) {
        if (viewer)
            CamViewer1(n).startRecording();
        else
            Cam(n).StartRecording();
    } else {
        m_state.cam(n).Recording = false;
        logText(n, 7);
        StopRecord(n);
    }
    refresh();
}

void Engine::onViewerRecordStop(int n)
{
    if (n < 1 || n > kCameraCount)
        return;
    try {
        CamViewer1(n).stopRecording();
        storageRestart(n, true);
    } catch (const std::exception&) {
    }
}

void Engine::onViewerMotion(int n)
{
    if (n < 1 || n > kCameraCount)
        return;
    try {
        motionProcedure(n);
    } catch (const std::exception&) {
    }
}

void Engine::onViewerMailAlarm(int n)
{
    if (n < 1 || n > kCameraCount)
        return;
    try {
        CamInfo& ci = m_state.cam(n);
        if (ci.SendEmail != 1 || m_state.MailPending[idx(n)])
            return;
        // Full date-times: the interval runs across midnight like any other time.
        const std::time_t now = m_sv.clock->now();
        const double seconds = std::difftime(now, ci.LastMailTime);
        if (seconds >= 0 && seconds < ci.MailIntervalTime)
            return;
        ci.LastMailTime = now;
        CamViewer1(n).setAlertPicture(true);
        std::error_code ec;
        if (std::filesystem::exists(alertPictureFile(n), ec)) {
            m_state.MailPending[idx(n)] = true;
            Cam(n).SendEmail();
        } else {
            CamViewer1(n).setAlertPicture(false);
        }
    } catch (const std::exception&) {
    }
}

// ---- recording ----

void Engine::restartMotionTimer(int n)
{
    tmrMotion(n).setEnabled(false);
    tmrMotion(n).setEnabled(true);
}

void Engine::afterRecordChange(int n)
{
    ApplyImageInterval();
    if (m_state.CombineMode == 1) {
        if (n == m_state.CurCam)
            m_sv.windows->combinedRefrushStatusBar(n);
    } else if (m_state.WindowOpen[0]) {
        m_sv.windows->RefreshPanelText();
    }
}

bool Engine::StartRecord(int n, int kind)
{
    CamInfo& ci = m_state.cam(n);
    bool started = false;
    if (ci.Assign) {
        if (!ci.Enable)
            CamStart(n);
        if (!ci.Recording) {
            started = CheckStorage(n);
            if (started) {
                logText(n, 15);
                ci.Recording = true;
                // The kind is known whatever window is open, so the schedule and the motion
                // timer can tell their own recordings.
                if (kind >= kRecordManual && kind <= kRecordMotion)
                    ci.RecordType = kind;
                if (ci.Protocol == kProtocolKestra)
                    CamViewer1(n).startRecording();
                else
                    Cam(n).StartRecording();
                // A motion recording ends by itself even when no further motion comes.
                if (kind == kRecordMotion)
                    restartMotionTimer(n);
                m_sv.clock->sleepMs(kRecordStartWaitMs);
                if (m_state.WindowOpen[0]) {
                    m_sv.windows->LedControl(3 * n - 2, true);
                    m_sv.windows->RefreshPanelText();
                }
            } else {
                logText(n, 7);
                ci.Recording = false;
                if (m_state.WindowOpen[0]) {
                    m_sv.windows->LedControl(3 * n - 2, false);
                    m_sv.windows->RefreshPanelText();
                }
            }
        }
    }
    afterRecordChange(n);
    return started;
}

void Engine::StopRecord(int n)
{
    CamInfo& ci = m_state.cam(n);
    if (ci.Protocol == kProtocolKestra)
        CamViewer1(n).stopRecording();
    else
        Cam(n).StopRecording();
    if (ci.Recording)
        logText(n, 16);
    ci.Recording = false;
    if (m_state.WindowOpen[0]) {
        m_sv.windows->LedControl(3 * n - 2, false);
        m_sv.windows->RefreshPanelText();
    }
    if (m_state.WindowOpen[idx(n) + 1])
        m_sv.windows->viewRecordGrayBTN(n);
    else if (m_state.WindowOpen[5])
        m_sv.windows->combinedRecordGrayBTN(n);
    afterRecordChange(n);
}

void Engine::Start_MotionStart(int n)
{
    try {
        if (m_state.cam(n).Protocol == kProtocolKestra)
            CamViewer1(n).setMotionMode(CamViewer1(n).motionMode() | 8);
        else
            Cam(n).put(IntProp::MotionDetectMode, Cam(n).get(IntProp::MotionDetectMode) | 8);
    } catch (const std::exception&) {
        m_sv.messages->show("Error Start_MotionStart function");
    }
}

void Engine::Stop_MotionStart(int n)
{
    try {
        if (m_state.cam(n).Protocol == kProtocolKestra)
            CamViewer1(n).setMotionMode(CamViewer1(n).motionMode() & ~8);
        else
            Cam(n).put(IntProp::MotionDetectMode, Cam(n).get(IntProp::MotionDetectMode) & ~8);
        tmrMotion(n).setEnabled(false);
    } catch (const std::exception&) {
        m_sv.messages->show("Error Stop_MotionStart function");
    }
}

void Engine::tmrMotion_Timer(int n)
{
    try {
        if (m_state.ScanModeOn && m_state.WindowOpen[6])
            m_sv.windows->scanRefrushStatusBar();
        tmrMotion(n).setEnabled(false);
        StopRecord(n);
        if (m_state.WindowOpen[idx(n) + 1])
            m_sv.windows->viewRefrushStatusBar(n);
    } catch (const std::exception&) {
    }
}

void Engine::tmrMotionLed_Timer()
{
    const std::time_t now = m_sv.clock->now();
    for (int n = 1; n <= kCameraCount; ++n) {
        try {
            CamInfo& ci = m_state.cam(n);
            if (!ci.MotionLedOn || std::difftime(now, ci.LastMotion) <= 1)
                continue;
            ci.MotionLedOn = false;
            showMotion(n, false);
        } catch (const std::exception&) {
        }
    }
}

} // namespace pellucor
