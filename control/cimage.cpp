#include "control/cimage.h"
#include "control/camera_config_state.h"
#include "control/discovery_state.h"
#include "control/setting_members.h"

#include "platform/clock.h"
#include "platform/frame_target.h"
#include "platform/trace.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace tessivor {

namespace {

// The control's default extent, 5080 x 5080 HIMETRIC, at 96 dots per inch.
constexpr int kDefaultExtentPixels = 192;

// Upper bounds of the waits that the original design left open.
constexpr std::uint32_t kBusyWaitLimitMs = 30000;
constexpr std::uint32_t kSnapshotMinWaitMs = 5000;

// Reads one dot-separated decimal part; false when `part` is not all digits.
bool parseDecimalPart(std::string_view part, std::uint64_t* value)
{
    if (part.empty() || part.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    auto [p, ec] = std::from_chars(part.data(), part.data() + part.size(), *value);
    if (ec == std::errc::result_out_of_range)
        *value = UINT64_MAX; // a very long number is still a number, and too large for a byte
    return true;
}

// Splits `text` at '.' into exactly `count` decimal parts; false when it has another shape.
bool splitDotted(std::string_view text, std::size_t count, std::vector<std::uint64_t>* parts)
{
    parts->clear();
    while (true) {
        const auto dot = text.find('.');
        std::uint64_t v = 0;
        if (!parseDecimalPart(text.substr(0, dot), &v))
            return false;
        parts->push_back(v);
        if (dot == std::string_view::npos)
            break;
        text.remove_prefix(dot + 1);
    }
    return parts->size() == count;
}

// An OLE colour as RGB; system colours (top bit set) map to the usual light theme.
Rgb translateColor(std::uint32_t ole)
{
    if (ole & 0x80000000u) {
        switch (ole & 0xFF) {
        case 5:
            return Rgb{255, 255, 255}; // window
        case 8:
            return Rgb{0, 0, 0}; // window text
        case 15:
            return Rgb{240, 240, 240}; // button face
        case 1:
            return Rgb{0, 0, 0}; // desktop
        default:
            return Rgb{192, 192, 192};
        }
    }
    return Rgb{static_cast<std::uint8_t>(ole & 0xFF), static_cast<std::uint8_t>((ole >> 8) & 0xFF),
               static_cast<std::uint8_t>((ole >> 16) & 0xFF)};
}

} // namespace

CImage::CImage()
    : m_Discovery(std::make_unique<DiscoveryState>()), m_CameraConfig(std::make_unique<CameraConfigState>())
{
    m_Sharing.m_hClientBlock = registerClientBlock(m_Sharing.m_ClientBlock);
    m_Window = std::make_unique<ControlWindow>(
        [this](const WindowMessage& msg, std::intptr_t* result) { return OnMessage(msg, result); });
    m_hWnd = m_Window->handle();
    frameTargets::registerAs(m_hWnd,
                             std::make_shared<FrameTarget>(kDefaultExtentPixels, kDefaultExtentPixels));
    OnDraw();
    // A stop that comes while a reader starts its connect ends the wait for the camera's name
    // even before the look-up is under way (CloseConnection alone would find nothing to end).
    const auto imageStop = [this] { return m_Run.m_bEndRun.stopRequested(); };
    m_Sockets.m_StreamSocket.SetLookupAbort(imageStop);
    m_Sockets.m_MultipartSocket.SetLookupAbort(imageStop);
    m_Sockets.m_AudioSocket.SetLookupAbort([this] { return m_Run.m_bAudioStop.load() != 0; });
}

CImage::~CImage()
{
    m_Run.m_bMailStop.store(1); // an alert in flight ends with the control
    m_Firmware.m_bFirmwareStop.store(1);
    m_Firmware.m_FirmwareSocket.CloseConnection(); // an upload's send or wait ends at once
    StopThreads();
    CloseStreamSockets();          // a reader still blocked on its socket returns before the joins below
    m_Discovery->shutdown.raise(); // ends the login thread's datagram waits
    m_CameraConfig.reset();        // joins the login thread, which uses the discovery state
    m_Discovery.reset();           // stops the search and probe workers and joins them
    DrainBusyFlags();
    trace("%s  End", m_Drawing.read().m_szBKText.c_str());
    m_ImageThread.join();
    m_MailThread.join();
    m_AudioThread.join();
    m_ImageConfigThread.join();
    m_PanTiltThread.join();
    m_FirmwareThread.join();
    frameTargets::destroy(m_hWnd);
    unregisterClientBlock(m_Sharing.m_hClientBlock);
    m_Window.reset();
}

void CImage::DrainBusyFlags()
{
    // Only a living thread can still change a busy word, so a word is waited for only while the
    // thread that owns it runs: a value that no thread will change (a Status put by the host
    // after Stop, say) never holds the release up. Each wait is bounded as well; a worker that
    // does not end in time has its flag cleared and is joined afterwards (it was asked to stop
    // and its sockets are closed).
    auto waitFor = [](std::atomic<std::int32_t>& flag, std::int32_t idleValue, const WorkerThread* owner) {
        const std::uint32_t start = tickCount();
        while (flag.load() != idleValue) {
            if (owner == nullptr || !owner->running() || ticksSince(start) > kBusyWaitLimitMs) {
                flag.store(idleValue);
                break;
            }
            sleepMs(50);
        }
    };
    waitFor(m_Run.m_bMailBusy, 0, &m_MailThread);
    waitFor(m_Run.m_bImageConfigBusy, 0, &m_ImageConfigThread);
    waitFor(m_Run.m_nStatus, 0, &m_ImageThread);
    waitFor(m_Run.m_bPanTiltBusy, 0, &m_PanTiltThread);
    waitFor(m_Run.m_bMailBusy, 0, &m_MailThread);
}

// ---- message map ----

bool CImage::OnMessage(const WindowMessage& msg, std::intptr_t* result)
{
    auto mouse = [&](void (CImage::*fire)(std::int32_t, std::int32_t, std::int32_t)) {
        const auto l = static_cast<std::uint32_t>(msg.lParam);
        (this->*fire)(static_cast<std::int32_t>(l & 0xFFFF), static_cast<std::int32_t>(l >> 16),
                      static_cast<std::int32_t>(msg.wParam));
    };
    switch (msg.message) {
    case WM_PAINT:
        OnDraw();
        return true;
    case WM_CLOSE:
        Stop();
        return true; // the window stays
    case WM_ERASEBKGND:
        *result = 1;
        return true;
    case WM_LBUTTONDBLCLK:
        mouse(&CImage::Fire_LButtonDblClk);
        return true;
    case WM_RBUTTONUP:
        mouse(&CImage::Fire_RButtonUp);
        return true;
    case WM_LBUTTONDOWN:
        mouse(&CImage::Fire_LButtonDown);
        return true;
    case WM_IMAGEEVENT:
        Fire_GetImageEvent(static_cast<std::int32_t>(msg.wParam));
        return true;
    case WM_STARTMAIL:
        if (!StartMailThread()) {
            PostImageEvent(EVT_MAIL_THREAD_FAILED);
            m_Run.m_bMailIdle.store(1);
        }
        return true;
    case WM_ENDPROBEDEVICE:
        Fire_EndProbeDevice(static_cast<std::int32_t>(msg.wParam));
        return true;
    case WM_ENDSEARCHDEVICE:
        Fire_EndSearchDevice(static_cast<std::int32_t>(msg.wParam));
        return true;
    case WM_ENDLOGINCAMERA:
        if (msg.wParam == 0)
            Fire_EndLoginCamera(static_cast<std::int32_t>(msg.lParam));
        return true;
    case WM_ENDGETIMAGECONFIG:
        Fire_EndGetImageConfig(static_cast<std::int32_t>(msg.wParam), ImageValues());
        return true;
    case WM_ENDPTCMD:
        Fire_EndPTCmd(static_cast<std::int32_t>(msg.wParam));
        return true;
    default:
        return false;
    }
}

void CImage::PostImageEvent(std::int32_t code, std::intptr_t lParam)
{
    postMessage(m_hWnd, WM_IMAGEEVENT, static_cast<std::uintptr_t>(static_cast<std::uint32_t>(code)), lParam);
}

// ---- events ----

void CImage::Fire_EndProbeDevice(std::int32_t status)
{
    m_Events.fire(DISPID_EndProbeDevice, DispParams::fromDeclared({Variant::i4(status)}));
}

void CImage::Fire_GetImageEvent(std::int32_t event)
{
    m_Events.fire(DISPID_GetImageEvent, DispParams::fromDeclared({Variant::i4(event)}));
}

void CImage::Fire_EndSearchDevice(std::int32_t status)
{
    m_Events.fire(DISPID_EndSearchDevice, DispParams::fromDeclared({Variant::i4(status)}));
}

void CImage::Fire_LButtonDblClk(std::int32_t x, std::int32_t y, std::int32_t keys)
{
    m_Events.fire(DISPID_LButtonDblClk,
                  DispParams::fromDeclared({Variant::i4(x), Variant::i4(y), Variant::i4(keys)}));
}

void CImage::Fire_RButtonUp(std::int32_t x, std::int32_t y, std::int32_t keys)
{
    m_Events.fire(DISPID_RButtonUp,
                  DispParams::fromDeclared({Variant::i4(x), Variant::i4(y), Variant::i4(keys)}));
}

void CImage::Fire_LButtonDown(std::int32_t x, std::int32_t y, std::int32_t keys)
{
    m_Events.fire(DISPID_LButtonDown,
                  DispParams::fromDeclared({Variant::i4(x), Variant::i4(y), Variant::i4(keys)}));
}

void CImage::Fire_EndLoginCamera(std::int32_t status)
{
    m_Events.fire(DISPID_EndLoginCamera, DispParams::fromDeclared({Variant::i4(status)}));
}

void CImage::Fire_EndGetImageConfig(std::int32_t status, const std::array<std::int16_t, 7>& values)
{
    std::vector<Variant> args{Variant::i4(status)};
    for (std::int16_t v : values)
        args.push_back(Variant::i2(v));
    m_Events.fire(DISPID_EndGetImageConfig, DispParams::fromDeclared(std::move(args)));
}

void CImage::Fire_EndPTCmd(std::int32_t status)
{
    m_Events.fire(DISPID_EndPTCmd, DispParams::fromDeclared({Variant::i4(status)}));
}

// ---- idle drawing ----

void CImage::OnDraw()
{
    auto target = frameTargets::find(m_hWnd);
    if (!target)
        return;
    const DrawingSettings drawing = m_Drawing.read();
    target->fill(TargetRect{0, 0, target->width(), target->height()}, translateColor(drawing.m_BackColor));
    if (!drawing.m_szBKText.empty())
        target->drawText(TargetText{TargetRect{2, 1, 100, 100}, drawing.m_szBKText.str(), Rgb{240, 250, 0},
                                    "Arial", 16, 100, DT_VCENTER});
}

// ---- run, stop, status ----

HRESULT CImage::Run(std::int32_t* RunThreadHandle)
{
    // A loop that has not set Status yet, or one that is still ending, counts as running; one
    // that has passed its last step (Status 0, code 0 on its way) is joined and started anew. A
    // recording request made while no loop lives is no loop: the new one serves it.
    const std::int32_t status = m_Run.m_nStatus.load();
    if (ImageLoopLive() || (status != STATUS_STOPPED && status != STATUS_RECORD_REQUESTED)) {
        *RunThreadHandle = m_Run.m_hRunThread.load();
        Fire_GetImageEvent(EVT_ALREADY_RUNNING);
        return S_OK;
    }
    m_ImageThread.join();
    m_Run.m_bLoopEnded.store(0);
    // The flags are set before the thread exists, so that it can never see a stale stop request.
    const EndRun previousEndRun = m_Run.m_bEndRun.exchange(EndRun::Run);
    m_StreamInfo.m_nShareSequence.store(0);
    if (!m_ImageThread.start("image-loop", [this] { ImageThread(); })) {
        m_Run.m_bEndRun.store(previousEndRun);
        Fire_GetImageEvent(EVT_THREAD_FAILED);
        *RunThreadHandle = 0;
        return S_OK;
    }
    m_Run.m_hRunThread.store(newHandle());
    Fire_GetImageEvent(EVT_THREAD_STARTED);
    *RunThreadHandle = m_Run.m_hRunThread.load();
    return S_OK;
}

HRESULT CImage::Stop()
{
    m_Run.m_bEndRun.store(EndRun::StopRequested);
    m_Run.m_bAudioStop.store(1);
    StopThreads(); // both flags are set: this only clears the recording request
    CloseStreamSockets();
    // Without a live loop nobody else sets Status back: a recording request made while idle
    // ends here, so that Run starts again.
    if (!ImageLoopLive() && m_Run.m_nStatus.load() == STATUS_RECORD_REQUESTED)
        m_Run.m_nStatus.store(STATUS_STOPPED);
    return S_OK;
}

bool CImage::ImageLoopLive() const
{
    return m_ImageThread.running() && m_Run.m_bLoopEnded.load() == 0;
}

void CImage::CloseStreamSockets()
{
    // A reader blocked on one of them returns at once and its loop then sees the stop flag.
    m_Sockets.m_StreamSocket.CloseConnection();
    m_Sockets.m_MultipartSocket.CloseConnection();
    m_Sockets.m_AudioSocket.CloseConnection();
}

void CImage::StopThreads()
{
    m_Record.m_bRecordRequest.store(0);
    if (m_Run.m_bEndRun.load() != EndRun::Run && m_Run.m_bAudioStop.load() != 0)
        return;
    if (m_Run.m_bEndRun.load() == EndRun::Run || m_Run.m_nStatus.load() != 0) {
        m_Run.m_bEndRun.store(EndRun::StopRequested);
        for (int pass = 0;; ++pass) {
            // No living image thread means nobody will acknowledge: stop waiting at once.
            if (m_Run.m_bEndRun.load() == EndRun::StopAcknowledged || m_Run.m_nStatus.load() == 0 ||
                !m_ImageThread.running())
                break;
            if (pass > 300) {
                m_Run.m_bEndRun.store(EndRun::StopRequested);
                break;
            }
            sleepMs(100);
            m_Run.m_bEndRun.store(EndRun::StopRequested);
        }
    }
    if (m_Run.m_bAudioStop.load() == 0) {
        m_Run.m_bAudioStop.store(1);
        for (int pass = 0; m_Run.m_bAudioRunning.load() != 0 && pass <= 300; ++pass) {
            sleepMs(100);
            m_Run.m_bAudioStop.store(1);
        }
    }
    m_Run.m_nStatus.store(STATUS_STOPPED);
    m_Run.m_bAudioRunning.store(0);
}

HRESULT CImage::PutNewStatus(std::int32_t newVal)
{
    m_Sockets.m_StreamSocket.CloseConnection(); // the audio and multipart readers go on
    if (m_Record.m_bAviOpen.load()) {
        CloseAviFile();
        m_Record.m_bAviOpen.store(0);
        PostImageEvent(EVT_RECORD_STOPPED);
    }
    m_Record.m_bRecordRequest.store(0);
    m_Run.m_bEndRun.store(EndRun::StopRequested);
    m_Run.m_nStatus.store(newVal);
    return S_OK;
}

void CImage::CloseAviFile()
{
    m_Recording.m_AviWriter.Close();
}

HRESULT CImage::get_Status(std::int32_t* pVal)
{
    *pVal = m_Run.m_nStatus.load();
    return S_OK;
}

HRESULT CImage::StartRecording()
{
    const std::int32_t status = m_Run.m_nStatus.load();
    if (status == 3 || status == 4)
        return S_OK;
    m_Record.m_bRecordFirstStart.store(1);
    m_Record.m_bOpenFailPosted.store(0);
    m_Record.m_nRecordAttempt.fetch_add(1);
    m_Record.m_bRecordRequest.store(1);
    m_Run.m_nStatus.store(STATUS_RECORD_REQUESTED);
    return S_OK;
}

HRESULT CImage::StopRecording()
{
    m_Record.m_bRecordRequest.store(0);
    return S_OK;
}

void CImage::ImageThread()
{
    trace("Thread Run!!");
    ImageLoop();
    trace("Thread Stop!!");
}

// ---- e-mail job start ----

bool CImage::StartMailThread()
{
    // A job still running keeps its stop request (the start below would fail anyway); a new
    // one starts without the request of an earlier CloseSMTP.
    if (m_MailThread.running())
        return false;
    m_Run.m_bMailStop.store(0);
    // The new thread reports its own start, so that code 16 always comes before the job's codes.
    return m_MailThread.start("mail-job", [this] {
        PostImageEvent(EVT_MAIL_STARTED);
        MailThread();
    });
}

void CImage::MailThread()
{
    SendMailJob();
}

HRESULT CImage::SendEmail(std::int32_t* pVal)
{
    // Nothing is started while a stop is requested or another e-mail job runs; pVal tells.
    *pVal = 0;
    if (m_Run.m_bEndRun.stopRequested() || m_MailThread.running())
        return S_OK;
    m_Run.m_bMailBusy.store(1);
    if (!StartMailThread()) {
        m_Run.m_bMailBusy.store(0);
        PostImageEvent(EVT_MAIL_THREAD_FAILED);
        return S_OK;
    }
    *pVal = -1;
    return S_OK;
}

HRESULT CImage::SetEMailProperty(std::string_view sHost, std::string_view sMailTo, std::string_view sMailFrom,
                                 std::string_view sMailSubject, std::int32_t* /*pVal*/)
{
    // A text that its 260-byte field cannot hold whole (or that a NUL would end early) is
    // refused and nothing changes: a recipient list cut inside an address would mail the
    // addresses before the cut, send RCPT TO for the cut one and still report the alert as sent.
    auto fits = [](std::string_view text) {
        return text.size() < Text260::capacity && text.find('\0') == std::string_view::npos;
    };
    if (!fits(sHost) || !fits(sMailTo) || !fits(sMailFrom) || !fits(sMailSubject))
        return S_FALSE;
    m_MailSettings.update([&](MailSettings& mail) {
        mail.m_szMailServer.assign(sHost);
        mail.m_szMailTo.assign(sMailTo);
        mail.m_szMailFrom.assign(sMailFrom);
        mail.m_szMailSubject.assign(sMailSubject);
    });
    return S_OK;
}

// ---- members that fire inside the call ----

HRESULT CImage::_OnGetImageEvents(std::int32_t lEvents)
{
    Fire_GetImageEvent(lEvents);
    return S_OK;
}

HRESULT CImage::_OnProbeDevice(std::int32_t Status)
{
    Fire_EndProbeDevice(Status);
    return S_OK;
}

HRESULT CImage::_OnSearchDevice(std::int32_t Status)
{
    Fire_EndSearchDevice(Status);
    return S_OK;
}

// ---- texts and addresses ----

HRESULT CImage::get_RemoteHost(std::string* pVal)
{
    return getText(m_Connection, &ConnectionSettings::m_szRemoteHost, pVal);
}

HRESULT CImage::put_RemoteHost(std::string_view newVal)
{
    return m_Connection.update([&](ConnectionSettings& conn) {
        conn.m_szRemoteHost.assign(newVal);
        std::vector<std::uint64_t> parts;
        if (newVal.empty() || !splitDotted(newVal, 4, &parts))
            return S_OK; // a host name: stored, the target address keeps its bytes
        for (std::size_t i = 0; i < 4; ++i) {
            if (parts[i] >= 256)
                return S_FALSE; // the bytes before stay written
            conn.m_TargetIp[i] = static_cast<std::uint8_t>(parts[i]);
        }
        return S_OK;
    });
}

HRESULT CImage::get_MACAddress(std::string* pVal)
{
    return getText(m_Connection, &ConnectionSettings::m_szMACAddress, pVal);
}

HRESULT CImage::put_MACAddress(std::string_view newVal)
{
    return m_Connection.update([&](ConnectionSettings& conn) {
        conn.m_szMACAddress.assign(newVal);
        // Six dot-separated decimal numbers. Parsing stops at a part that is missing or not a
        // number; the bytes without a part keep their values.
        std::string_view rest = newVal;
        for (std::size_t i = 0; i < 6 && !rest.empty(); ++i) {
            const auto dot = rest.find('.');
            std::uint64_t v = 0;
            if (!parseDecimalPart(rest.substr(0, dot), &v))
                break;
            if (v >= 256)
                return S_FALSE;
            conn.m_TargetMac[i] = static_cast<std::uint8_t>(v);
            if (dot == std::string_view::npos)
                break;
            rest.remove_prefix(dot + 1);
        }
        return S_OK;
    });
}

HRESULT CImage::get_UserName(std::string* pVal)
{
    std::lock_guard lock(m_CredentialLock);
    *pVal = m_szUserName.str();
    return S_OK;
}

HRESULT CImage::put_UserName(std::string_view newVal)
{
    std::lock_guard lock(m_CredentialLock);
    m_szUserName.assign(newVal);
    m_szDeviceSerialNo.clear(); // the stored Basic code was made from the old texts
    return S_OK;
}

HRESULT CImage::get_Password(std::string* pVal)
{
    std::lock_guard lock(m_CredentialLock);
    *pVal = m_szPassword.str();
    return S_OK;
}

HRESULT CImage::put_Password(std::string_view newVal)
{
    std::lock_guard lock(m_CredentialLock);
    m_szPassword.assign(newVal);
    m_szDeviceSerialNo.clear(); // the stored Basic code was made from the old texts
    return S_OK;
}

HRESULT CImage::get_BKText(std::string* pVal)
{
    return getText(m_Drawing, &DrawingSettings::m_szBKText, pVal);
}

HRESULT CImage::put_BKText(std::string_view newVal)
{
    return putText(m_Drawing, &DrawingSettings::m_szBKText, newVal);
}

HRESULT CImage::SetCaption(std::int32_t lShowCaption, std::string_view sCaption, std::int32_t bTRANSPARENT)
{
    m_Drawing.update([&](DrawingSettings& drawing) {
        drawing.m_bShowCaption = lShowCaption;
        drawing.m_szCaption.assign(sCaption);
        drawing.m_bCaptionTransparent = bTRANSPARENT;
    });
    return S_OK;
}

HRESULT CImage::SetRecordText(RecTextModeType eTextMode, std::string_view sAdditionalText,
                              std::int32_t bTRANSPARENT)
{
    m_Drawing.update([&](DrawingSettings& drawing) {
        drawing.m_nRecordTextMode = eTextMode;
        drawing.m_szRecordText.assign(sAdditionalText);
        drawing.m_bRecordTextTransparent = bTRANSPARENT;
    });
    return S_OK;
}

// ---- fixed answers ----

HRESULT CImage::get_VERSION(std::string* pVal)
{
    *pVal = "1.00.05";
    return S_OK;
}

HRESULT CImage::get_HaveRecycleFunction(VariantBool* pVal)
{
    *pVal = VARIANT_FALSE;
    return S_OK;
}

HRESULT CImage::get_SocketState(std::int32_t* pVal)
{
    *pVal = 0;
    return S_OK;
}

HRESULT CImage::get_DuringInitRec(VariantBool* /*pVal*/)
{
    return S_OK; // writes nothing
}

HRESULT CImage::get_longErrCode(std::int32_t* pVal)
{
    *pVal = m_Http.m_lErrCode.load();
    return S_OK;
}

HRESULT CImage::put_longErrCode(std::int32_t /*newVal*/)
{
    return S_OK;
}

HRESULT CImage::get_hwnd(std::int32_t* pVal)
{
    *pVal = m_hWnd;
    return S_OK;
}

HRESULT CImage::get_BackColor(OleColor* pVal)
{
    *pVal = OleColor(m_Drawing.with([](const DrawingSettings& d) { return d.m_BackColor; }));
    return S_OK;
}

HRESULT CImage::put_BackColor(OleColor newVal)
{
    m_Drawing.update([&](DrawingSettings& d) { d.m_BackColor = static_cast<std::uint32_t>(newVal); });
    OnDraw();
    return S_OK;
}

HRESULT CImage::get_SplitFileMode(AviFileModeType* pVal)
{
    *pVal = static_cast<AviFileModeType>(
        m_RecordingSettings.with([](const RecordingSettings& r) { return r.m_nSplitFileMode; }));
    return S_OK;
}

HRESULT CImage::put_SplitFileMode(AviFileModeType newVal)
{
    return putSetting(m_RecordingSettings, &RecordingSettings::m_nSplitFileMode, newVal);
}

// ---- frames and snapshots ----

HRESULT CImage::get_FrameCount(std::int32_t* pVal)
{
    *pVal = m_StreamInfo.m_nFrameCount.exchange(0);
    return S_OK;
}

HRESULT CImage::get_ImageWidth(std::int32_t* pVal)
{
    *pVal = m_StreamInfo.m_nImageWidth.load();
    return S_OK;
}

HRESULT CImage::get_ImageHeight(std::int32_t* pVal)
{
    *pVal = m_StreamInfo.m_nImageHeight.load();
    return S_OK;
}

HRESULT CImage::get_ClientStructPoint(std::int32_t* pVal)
{
    *pVal = m_Sharing.m_hClientBlock;
    return S_OK;
}

HRESULT CImage::Capture(std::string_view FileName, std::int32_t iResize)
{
    m_Capture.m_nCaptureSize.store(iResize);
    m_Capture.m_szCaptureFile.assign(FileName);
    m_Capture.m_bCaptureRequest.store(1); // the request's data is in place before the flag
    return S_OK;
}

HRESULT CImage::Snapshot(std::string_view sFileName, std::int32_t* pVal)
{
    m_Capture.m_szCaptureFile.assign(sFileName);
    m_Capture.m_nCaptureResult.store(0);
    m_Capture.m_bCaptureRequest.store(1);
    // The frame pipeline clears the flag once the picture is written. Without frames the wait
    // ends after a few receive time-outs; the request is then withdrawn and pVal is 0.
    const std::uint32_t limit = std::max<std::uint32_t>(
        kSnapshotMinWaitMs, 2000u * static_cast<std::uint32_t>(std::max(0, m_Connection.read().m_nTimeOut)));
    const std::uint32_t start = tickCount();
    while (m_Capture.m_bCaptureRequest.load() != 0) {
        if (ticksSince(start) > limit) {
            m_Capture.m_bCaptureRequest.store(0);
            *pVal = 0;
            return S_OK;
        }
        sleepMs(10);
    }
    *pVal = m_Capture.m_nCaptureResult.load(); // 0 when the picture could not be written
    return S_OK;
}

HRESULT CImage::SetMotionBlock(std::int32_t index, std::int32_t left, std::int32_t top, std::int32_t right,
                               std::int32_t bottom)
{
    if (index < 0 || index >= kMotionRectCount)
        return S_OK; // outside the 16-entry table: ignored
    m_MotionSettings.update([&](MotionSettings& m) {
        m.m_MotionRects[static_cast<std::size_t>(index)] = MotionRect{left, top, right, bottom};
    });
    return S_OK;
}

} // namespace tessivor
