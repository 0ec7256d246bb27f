#include "control/cimage.h"
#include "control/discovery_state.h"

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

// A stored BOOL word read back as the 16-bit automation boolean (its low 16 bits).
VariantBool lowBool(std::int32_t stored)
{
    return VariantBool(static_cast<std::int16_t>(stored & 0xFFFF));
}

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
    : m_MotionReference(kMotionReferenceSize, 0), m_AudioBuffer(kAudioBufferSize, 0),
      m_pWaveRender(std::make_unique<TWaveRender>()), m_Discovery(std::make_unique<DiscoveryState>())
{
    m_ClientBlock = std::make_shared<ClientBlock>();
    m_hClientBlock = registerClientBlock(m_ClientBlock);
    m_Window = std::make_unique<ControlWindow>(
        [this](const WindowMessage& msg, std::intptr_t* result) { return OnMessage(msg, result); });
    m_hWnd = m_Window->handle();
    frameTargets::registerAs(m_hWnd,
                             std::make_shared<FrameTarget>(kDefaultExtentPixels, kDefaultExtentPixels));
    OnDraw();
}

CImage::~CImage()
{
    StopThreads();
    CloseStreamSockets(); // a reader still blocked on its socket returns before the joins below
    m_Discovery.reset();  // stops the search and probe workers and joins them
    DrainBusyFlags();
    trace("%s  End", m_szBKText.c_str());
    m_ImageThread.join();
    m_MailThread.join();
    m_AudioThread.join();
    m_ImageConfigThread.join();
    frameTargets::destroy(m_hWnd);
    unregisterClientBlock(m_hClientBlock);
    m_Window.reset();
}

void CImage::DrainBusyFlags()
{
    // Each wait is bounded; a worker that does not end in time has its flag cleared and is
    // joined afterwards (it was asked to stop and its sockets are closed).
    auto waitFor = [](std::atomic<std::int32_t>& flag, std::int32_t idleValue) {
        const std::uint32_t start = tickCount();
        while (flag.load() != idleValue) {
            if (ticksSince(start) > kBusyWaitLimitMs) {
                flag.store(idleValue);
                break;
            }
            sleepMs(50);
        }
    };
    waitFor(m_bMailBusy, 0);
    waitFor(m_bImageConfigBusy, 0);
    waitFor(m_nStatus, 0);
    waitFor(m_bPanTiltBusy, 0);
    waitFor(m_bMailBusy, 0);
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
            m_bMailIdle.store(1);
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
    target->fill(TargetRect{0, 0, target->width(), target->height()}, translateColor(m_BackColor.load()));
    if (!m_szBKText.empty())
        target->drawText(TargetText{TargetRect{2, 1, 100, 100}, m_szBKText.str(), Rgb{240, 250, 0}, "Arial",
                                    16, 100, DT_VCENTER});
}

// ---- run, stop, status ----

HRESULT CImage::Run(std::int32_t* RunThreadHandle)
{
    // A loop that has not set Status yet, or one that is still ending, counts as running; one
    // that has passed its last step (Status 0, code 0 on its way) is joined and started anew.
    if (m_nStatus.load() != 0 || (m_ImageThread.running() && m_bLoopEnded.load() == 0)) {
        *RunThreadHandle = m_hRunThread.load();
        Fire_GetImageEvent(EVT_ALREADY_RUNNING);
        return S_OK;
    }
    m_ImageThread.join();
    m_bLoopEnded.store(0);
    // The flags are set before the thread exists, so that it can never see a stale stop request.
    const std::int32_t previousEndRun = m_bEndRun.exchange(0);
    m_nShareSequence.store(0);
    if (!m_ImageThread.start("image-loop", [this] { ImageThread(); })) {
        m_bEndRun.store(previousEndRun);
        Fire_GetImageEvent(EVT_THREAD_FAILED);
        *RunThreadHandle = 0;
        return S_OK;
    }
    m_hRunThread.store(newHandle());
    Fire_GetImageEvent(EVT_THREAD_STARTED);
    *RunThreadHandle = m_hRunThread.load();
    return S_OK;
}

HRESULT CImage::Stop()
{
    m_bEndRun.store(1);
    m_bAudioStop.store(1);
    StopThreads(); // both flags are set: this only clears the recording request
    CloseStreamSockets();
    return S_OK;
}

void CImage::CloseStreamSockets()
{
    // A reader blocked on one of them returns at once and its loop then sees the stop flag.
    m_StreamSocket.CloseConnection();
    m_MultipartSocket.CloseConnection();
    m_AudioSocket.CloseConnection();
}

void CImage::StopThreads()
{
    m_bRecordRequest.store(0);
    if (m_bEndRun.load() != 0 && m_bAudioStop.load() != 0)
        return;
    if (m_bEndRun.load() == 0 || m_nStatus.load() != 0) {
        m_bEndRun.store(1);
        for (int pass = 0;; ++pass) {
            // No living image thread means nobody will acknowledge: stop waiting at once.
            if (m_bEndRun.load() == 2 || m_nStatus.load() == 0 || !m_ImageThread.running())
                break;
            if (pass > 300) {
                m_bEndRun.store(1);
                break;
            }
            sleepMs(100);
            m_bEndRun.store(1);
        }
    }
    if (m_bAudioStop.load() == 0) {
        m_bAudioStop.store(1);
        for (int pass = 0; m_bAudioRunning.load() != 0 && pass <= 300; ++pass) {
            sleepMs(100);
            m_bAudioStop.store(1);
        }
    }
    m_nStatus.store(0);
    m_bAudioRunning.store(0);
}

HRESULT CImage::PutNewStatus(std::int32_t newVal)
{
    m_StreamSocket.CloseConnection(); // the audio and multipart readers go on
    if (m_bAviOpen.load()) {
        CloseAviFile();
        m_bAviOpen.store(0);
        PostImageEvent(EVT_RECORD_STOPPED);
    }
    m_bRecordRequest.store(0);
    m_bEndRun.store(1);
    m_nStatus.store(newVal);
    return S_OK;
}

void CImage::CloseAviFile()
{
    m_AviWriter.Close();
}

HRESULT CImage::get_Status(std::int32_t* pVal)
{
    *pVal = m_nStatus.load();
    return S_OK;
}

HRESULT CImage::StartRecording()
{
    const std::int32_t status = m_nStatus.load();
    if (status == 3 || status == 4)
        return S_OK;
    m_bRecordFirstStart.store(1);
    m_bRecordRequest.store(1);
    m_nStatus.store(3);
    return S_OK;
}

HRESULT CImage::StopRecording()
{
    m_bRecordRequest.store(0);
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
    // The new thread reports its own start, so that code 16 always comes before the job's codes.
    return m_MailThread.start("mail-job", [this] {
        PostImageEvent(EVT_MAIL_STARTED);
        MailThread();
    });
}

void CImage::MailThread()
{
    SendMailJob();
    m_bMailBusy.store(0);
}

HRESULT CImage::SendEmail(std::int32_t* pVal)
{
    // Nothing is started while a stop is requested or another e-mail job runs; pVal tells.
    *pVal = 0;
    if (m_bEndRun.load() == 1 || m_MailThread.running())
        return S_OK;
    m_bMailBusy.store(1);
    if (!StartMailThread()) {
        m_bMailBusy.store(0);
        PostImageEvent(EVT_MAIL_THREAD_FAILED);
        return S_OK;
    }
    *pVal = -1;
    return S_OK;
}

HRESULT CImage::SetEMailProperty(std::string_view sHost, std::string_view sMailTo, std::string_view sMailFrom,
                                 std::string_view sMailSubject, std::int32_t* /*pVal*/)
{
    m_szMailServer.assign(sHost);
    m_szMailTo.assign(sMailTo);
    m_szMailFrom.assign(sMailFrom);
    m_szMailSubject.assign(sMailSubject);
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
    *pVal = m_szRemoteHost.str();
    return S_OK;
}

HRESULT CImage::put_RemoteHost(std::string_view newVal)
{
    m_szRemoteHost.assign(newVal);
    std::vector<std::uint64_t> parts;
    if (newVal.empty() || !splitDotted(newVal, 4, &parts))
        return S_OK; // a host name: stored, the target address keeps its bytes
    for (std::size_t i = 0; i < 4; ++i) {
        if (parts[i] >= 256)
            return S_FALSE; // the bytes before stay written
        m_TargetIp[i] = static_cast<std::uint8_t>(parts[i]);
    }
    return S_OK;
}

HRESULT CImage::get_MACAddress(std::string* pVal)
{
    *pVal = m_szMACAddress.str();
    return S_OK;
}

HRESULT CImage::put_MACAddress(std::string_view newVal)
{
    m_szMACAddress.assign(newVal);
    // Six dot-separated decimal numbers. Parsing stops at a part that is missing or not a number;
    // the bytes without a part keep their values.
    std::string_view rest = newVal;
    for (std::size_t i = 0; i < 6 && !rest.empty(); ++i) {
        const auto dot = rest.find('.');
        std::uint64_t v = 0;
        if (!parseDecimalPart(rest.substr(0, dot), &v))
            break;
        if (v >= 256)
            return S_FALSE;
        m_TargetMac[i] = static_cast<std::uint8_t>(v);
        if (dot == std::string_view::npos)
            break;
        rest.remove_prefix(dot + 1);
    }
    return S_OK;
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
    *pVal = m_szBKText.str();
    return S_OK;
}

HRESULT CImage::put_BKText(std::string_view newVal)
{
    m_szBKText.assign(newVal);
    return S_OK;
}

HRESULT CImage::SetCaption(std::int32_t lShowCaption, std::string_view sCaption, std::int32_t bTRANSPARENT)
{
    m_bShowCaption = lShowCaption;
    m_szCaption.assign(sCaption);
    m_bCaptionTransparent = bTRANSPARENT;
    return S_OK;
}

HRESULT CImage::SetRecordText(RecTextModeType eTextMode, std::string_view sAdditionalText,
                              std::int32_t bTRANSPARENT)
{
    m_nRecordTextMode = eTextMode;
    m_szRecordText.assign(sAdditionalText);
    m_bRecordTextTransparent = bTRANSPARENT;
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
    *pVal = m_lErrCode.load();
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
    *pVal = OleColor(m_BackColor.load());
    return S_OK;
}

HRESULT CImage::put_BackColor(OleColor newVal)
{
    m_BackColor.store(static_cast<std::uint32_t>(newVal));
    OnDraw();
    return S_OK;
}

HRESULT CImage::get_SplitFileMode(AviFileModeType* pVal)
{
    *pVal = static_cast<AviFileModeType>(m_nSplitFileMode.load());
    return S_OK;
}

HRESULT CImage::put_SplitFileMode(AviFileModeType newVal)
{
    m_nSplitFileMode.store(newVal);
    return S_OK;
}

// ---- frames and snapshots ----

HRESULT CImage::get_FrameCount(std::int32_t* pVal)
{
    *pVal = m_nFrameCount.exchange(0);
    return S_OK;
}

HRESULT CImage::get_ImageWidth(std::int32_t* pVal)
{
    *pVal = m_nImageWidth.load();
    return S_OK;
}

HRESULT CImage::get_ImageHeight(std::int32_t* pVal)
{
    *pVal = m_nImageHeight.load();
    return S_OK;
}

HRESULT CImage::get_ClientStructPoint(std::int32_t* pVal)
{
    *pVal = m_hClientBlock;
    return S_OK;
}

HRESULT CImage::Capture(std::string_view FileName, std::int32_t iResize)
{
    m_nCaptureSize.store(iResize);
    m_szCaptureFile.assign(FileName);
    m_bCaptureRequest.store(1); // the request's data is in place before the flag
    return S_OK;
}

HRESULT CImage::Snapshot(std::string_view sFileName, std::int32_t* pVal)
{
    m_szCaptureFile.assign(sFileName);
    m_nCaptureResult.store(0);
    m_bCaptureRequest.store(1);
    // The frame pipeline clears the flag once the picture is written. Without frames the wait
    // ends after a few receive time-outs; the request is then withdrawn and pVal is 0.
    const std::uint32_t limit = std::max<std::uint32_t>(
        kSnapshotMinWaitMs, 2000u * static_cast<std::uint32_t>(std::max(0, m_nTimeOut.load())));
    const std::uint32_t start = tickCount();
    while (m_bCaptureRequest.load() != 0) {
        if (ticksSince(start) > limit) {
            m_bCaptureRequest.store(0);
            *pVal = 0;
            return S_OK;
        }
        sleepMs(10);
    }
    *pVal = m_nCaptureResult.load(); // 0 when the picture could not be written
    return S_OK;
}

HRESULT CImage::SetMotionBlock(std::int32_t index, std::int32_t left, std::int32_t top, std::int32_t right,
                               std::int32_t bottom)
{
    if (index < 0 || index >= kMotionRectCount)
        return S_OK; // outside the 16-entry table: ignored
    m_MotionRects[static_cast<std::size_t>(index)] = MotionRect{left, top, right, bottom};
    return S_OK;
}

// ---- stored values ----

HRESULT CImage::get_RemotePort(std::int32_t* pVal)
{
    *pVal = m_nRemotePort.load();
    return S_OK;
}

HRESULT CImage::put_RemotePort(std::int32_t newVal)
{
    m_nRemotePort.store(newVal);
    return S_OK;
}

HRESULT CImage::get_TimeOut(std::int32_t* pVal)
{
    *pVal = m_nTimeOut.load();
    return S_OK;
}

HRESULT CImage::put_TimeOut(std::int32_t newVal)
{
    m_nTimeOut.store(newVal);
    return S_OK;
}

HRESULT CImage::get_PreviewWidth(std::int32_t* pVal)
{
    *pVal = m_nPreviewWidth.load();
    return S_OK;
}

HRESULT CImage::put_PreviewWidth(std::int32_t newVal)
{
    m_nPreviewWidth.store(newVal);
    return S_OK;
}

HRESULT CImage::get_PreviewHeight(std::int32_t* pVal)
{
    *pVal = m_nPreviewHeight.load();
    return S_OK;
}

HRESULT CImage::put_PreviewHeight(std::int32_t newVal)
{
    m_nPreviewHeight.store(newVal);
    return S_OK;
}

HRESULT CImage::get_FrameRate(std::int32_t* pVal)
{
    *pVal = m_nFrameRate;
    return S_OK;
}

HRESULT CImage::put_FrameRate(std::int32_t newVal)
{
    m_nFrameRate = newVal;
    return S_OK;
}

HRESULT CImage::get_RotateAngle(std::int32_t* pVal)
{
    *pVal = m_nRotateAngle.load();
    return S_OK;
}

HRESULT CImage::put_RotateAngle(std::int32_t newVal)
{
    m_nRotateAngle.store(newVal);
    return S_OK;
}

HRESULT CImage::get_MotionDetectMode(std::int32_t* pVal)
{
    *pVal = m_nMotionDetectMode.load();
    return S_OK;
}

HRESULT CImage::put_MotionDetectMode(std::int32_t newVal)
{
    m_nMotionDetectMode.store(newVal);
    return S_OK;
}

HRESULT CImage::get_MotionSensitivity(std::int32_t* pVal)
{
    *pVal = m_nMotionSensitivity.load();
    return S_OK;
}

HRESULT CImage::put_MotionSensitivity(std::int32_t newVal)
{
    m_nMotionSensitivity.store(newVal);
    return S_OK;
}

HRESULT CImage::get_Mirrror(VariantBool* pVal)
{
    *pVal = lowBool(m_bMirror.load());
    return S_OK;
}

HRESULT CImage::put_Mirrror(VariantBool newVal)
{
    m_bMirror.store(boolValue(newVal));
    return S_OK;
}

HRESULT CImage::get_DateHeight(std::int32_t* pVal)
{
    *pVal = m_nDateHeight;
    return S_OK;
}

HRESULT CImage::put_DateHeight(std::int32_t newVal)
{
    m_nDateHeight = newVal;
    return S_OK;
}

HRESULT CImage::get_DateWidth(std::int32_t* pVal)
{
    *pVal = m_nDateWidth;
    return S_OK;
}

HRESULT CImage::put_DateWidth(std::int32_t newVal)
{
    m_nDateWidth = newVal;
    return S_OK;
}

HRESULT CImage::get_ReservedSpace(std::int32_t* pVal)
{
    *pVal = m_nReservedSpace.load();
    return S_OK;
}

HRESULT CImage::put_ReservedSpace(std::int32_t newVal)
{
    m_nReservedSpace.store(newVal);
    return S_OK;
}

HRESULT CImage::get_MinReservedSpace(std::int32_t* pVal)
{
    *pVal = m_nReservedSpace.load();
    return S_OK;
}

HRESULT CImage::put_MinReservedSpace(std::int32_t newVal)
{
    m_nReservedSpace.store(newVal);
    return S_OK;
}

HRESULT CImage::get_SplitFileSpace(std::int32_t* pVal)
{
    *pVal = m_nSplitFileSpace.load();
    return S_OK;
}

HRESULT CImage::put_SplitFileSpace(std::int32_t newVal)
{
    m_nSplitFileSpace.store(newVal);
    return S_OK;
}

HRESULT CImage::get_PreviewhWnd(std::int32_t* pVal)
{
    *pVal = m_PreviewhWnd.load();
    return S_OK;
}

HRESULT CImage::put_PreviewhWnd(std::int32_t newVal)
{
    m_PreviewhWnd.store(newVal);
    return S_OK;
}

HRESULT CImage::get_PreviewDC(std::int32_t* pVal)
{
    *pVal = m_PreviewDC.load();
    return S_OK;
}

HRESULT CImage::put_PreviewDC(std::int32_t newVal)
{
    m_PreviewDC.store(newVal);
    return S_OK;
}

HRESULT CImage::get_PreviewTop(std::int32_t* pVal)
{
    *pVal = m_nPreviewTop.load();
    return S_OK;
}

HRESULT CImage::put_PreviewTop(std::int32_t newVal)
{
    m_nPreviewTop.store(newVal);
    return S_OK;
}

HRESULT CImage::get_PreviewLeft(std::int32_t* pVal)
{
    *pVal = m_nPreviewLeft.load();
    return S_OK;
}

HRESULT CImage::put_PreviewLeft(std::int32_t newVal)
{
    m_nPreviewLeft.store(newVal);
    return S_OK;
}

HRESULT CImage::get_OtherDC(VariantBool* pVal)
{
    *pVal = lowBool(m_bOtherDC.load());
    return S_OK;
}

HRESULT CImage::put_OtherDC(VariantBool newVal)
{
    m_bOtherDC.store(boolValue(newVal));
    return S_OK;
}

HRESULT CImage::get_NormalFilePath(std::string* pVal)
{
    *pVal = m_szNormalFilePath.str();
    return S_OK;
}

HRESULT CImage::put_NormalFilePath(std::string_view newVal)
{
    m_szNormalFilePath.assign(newVal);
    return S_OK;
}

HRESULT CImage::get_MotionFilePath(std::string* pVal)
{
    *pVal = m_szMotionFilePath.str();
    return S_OK;
}

HRESULT CImage::put_MotionFilePath(std::string_view newVal)
{
    m_szMotionFilePath.assign(newVal);
    return S_OK;
}

HRESULT CImage::get_SplitFileTime(std::int32_t* pVal)
{
    *pVal = m_nSplitFileTime.load();
    return S_OK;
}

HRESULT CImage::put_SplitFileTime(std::int32_t newVal)
{
    m_nSplitFileTime.store(newVal);
    return S_OK;
}

HRESULT CImage::get_MotionBlockCount(std::int32_t* pVal)
{
    *pVal = m_nMotionBlockCount.load();
    return S_OK;
}

HRESULT CImage::put_MotionBlockCount(std::int32_t newVal)
{
    m_nMotionBlockCount.store(std::clamp(newVal, 0, kMotionRectCount)); // the table has 16 entries
    return S_OK;
}

HRESULT CImage::get_EMailFileName(std::string* pVal)
{
    *pVal = m_szEMailFileName.str();
    return S_OK;
}

HRESULT CImage::put_EMailFileName(std::string_view newVal)
{
    m_szEMailFileName.assign(newVal);
    return S_OK;
}

HRESULT CImage::get_Protocol(std::int32_t* pVal)
{
    *pVal = m_nProtocol.load();
    return S_OK;
}

HRESULT CImage::put_Protocol(std::int32_t newVal)
{
    m_nProtocol.store(newVal);
    return S_OK;
}

HRESULT CImage::get_EnableProxy(VariantBool* pVal)
{
    *pVal = lowBool(m_bEnableProxy.load());
    return S_OK;
}

HRESULT CImage::put_EnableProxy(VariantBool newVal)
{
    m_bEnableProxy.store(boolValue(newVal));
    return S_OK;
}

HRESULT CImage::get_ProxyPort(std::int32_t* pVal)
{
    *pVal = m_nProxyPort.load();
    return S_OK;
}

HRESULT CImage::put_ProxyPort(std::int32_t newVal)
{
    m_nProxyPort.store(newVal);
    return S_OK;
}

HRESULT CImage::get_ProxyServerAddress(std::string* pVal)
{
    *pVal = m_szProxyHost.str();
    return S_OK;
}

HRESULT CImage::put_ProxyServerAddress(std::string_view newVal)
{
    m_szProxyHost.assign(newVal);
    return S_OK;
}

HRESULT CImage::get_MailIntervalTime(std::int32_t* pVal)
{
    *pVal = m_nMailIntervalTime.load();
    return S_OK;
}

HRESULT CImage::put_MailIntervalTime(std::int32_t newVal)
{
    m_nMailIntervalTime.store(newVal);
    return S_OK;
}

HRESULT CImage::get_BypassProxyServer(VariantBool* pVal)
{
    *pVal = lowBool(m_bBypassProxy.load());
    return S_OK;
}

HRESULT CImage::put_BypassProxyServer(VariantBool newVal)
{
    m_bBypassProxy.store(boolValue(newVal));
    return S_OK;
}

HRESULT CImage::get_LocalCamera(VariantBool* pVal)
{
    *pVal = lowBool(m_bLocalCamera.load());
    return S_OK;
}

HRESULT CImage::put_LocalCamera(VariantBool newVal)
{
    m_bLocalCamera.store(boolValue(newVal));
    return S_OK;
}

HRESULT CImage::get_DrawImage(VariantBool* pVal)
{
    *pVal = lowBool(m_bDrawImage.load());
    return S_OK;
}

HRESULT CImage::put_DrawImage(VariantBool newVal)
{
    m_bDrawImage.store(boolValue(newVal));
    return S_OK;
}

HRESULT CImage::get_SendMailID(std::string* pVal)
{
    *pVal = m_szSendMailID.str();
    return S_OK;
}

HRESULT CImage::put_SendMailID(std::string_view newVal)
{
    m_szSendMailID.assign(newVal);
    return S_OK;
}

HRESULT CImage::get_SendMailPWD(std::string* pVal)
{
    *pVal = m_szSendMailPWD.str();
    return S_OK;
}

HRESULT CImage::put_SendMailPWD(std::string_view newVal)
{
    m_szSendMailPWD.assign(newVal);
    return S_OK;
}

HRESULT CImage::get_ImageInterval(std::int32_t* pVal)
{
    *pVal = m_nImageInterval;
    return S_OK;
}

HRESULT CImage::put_ImageInterval(std::int32_t newVal)
{
    m_nImageInterval = newVal;
    return S_OK;
}

HRESULT CImage::get_EnableServer(VariantBool* pVal)
{
    *pVal = lowBool(m_bEnableServer.load());
    return S_OK;
}

HRESULT CImage::put_EnableServer(VariantBool newVal)
{
    m_bEnableServer.store(boolValue(newVal));
    return S_OK;
}

HRESULT CImage::get_ConnectCameraNoForServer(std::int32_t* pVal)
{
    *pVal = m_nConnectCameraNoForServer.load();
    return S_OK;
}

HRESULT CImage::put_ConnectCameraNoForServer(std::int32_t newVal)
{
    m_nConnectCameraNoForServer.store(newVal);
    return S_OK;
}

HRESULT CImage::get_PreviewTargetTop(std::int32_t* pVal)
{
    *pVal = m_nPreviewTargetTop.load();
    return S_OK;
}

HRESULT CImage::put_PreviewTargetTop(std::int32_t newVal)
{
    m_nPreviewTargetTop.store(newVal);
    return S_OK;
}

HRESULT CImage::get_PreviewTargetLeft(std::int32_t* pVal)
{
    *pVal = m_nPreviewTargetLeft.load();
    return S_OK;
}

HRESULT CImage::put_PreviewTargetLeft(std::int32_t newVal)
{
    m_nPreviewTargetLeft.store(newVal);
    return S_OK;
}

HRESULT CImage::get_LockRecord(VariantBool* pVal)
{
    *pVal = lowBool(m_bLockRecord.load());
    return S_OK;
}

HRESULT CImage::put_LockRecord(VariantBool newVal)
{
    m_bLockRecord.store(boolValue(newVal));
    return S_OK;
}

HRESULT CImage::get_RemoteWebPort(std::int32_t* pVal)
{
    *pVal = m_nRemoteWebPort.load();
    return S_OK;
}

HRESULT CImage::put_RemoteWebPort(std::int32_t newVal)
{
    m_nRemoteWebPort.store(newVal);
    return S_OK;
}

HRESULT CImage::get_DisplayDelay(std::int32_t* pVal)
{
    *pVal = m_nDisplayDelay.load();
    return S_OK;
}

HRESULT CImage::put_DisplayDelay(std::int32_t newVal)
{
    m_nDisplayDelay.store(newVal);
    return S_OK;
}

HRESULT CImage::get_ConnTimeOut(std::int32_t* pVal)
{
    *pVal = m_nConnTimeOut.load();
    return S_OK;
}

HRESULT CImage::put_ConnTimeOut(std::int32_t newVal)
{
    m_nConnTimeOut.store(newVal);
    return S_OK;
}

} // namespace tessivor
