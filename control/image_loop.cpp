// The image loop: the body of the image thread that Run starts. Each pass calls the stream reader
// of the current Protocol; the small number the reader returns (StreamResult) decides whether the
// loop connects again at once, rests, or ends. The loop owns only that retry policy, Status, the
// closing of a recording file that nobody closes any more, and its own events.
//
// Pacing. A reader that cannot reach the camera returns at once when the connection is refused;
// such a round is stretched to ConnTimeOut (at least one second) so that a camera that is off
// costs one connection attempt per time-out, as a connect that waits out its time-out would,
// instead of a tight loop. Every rest of the loop ends early when a stop is requested, so that
// Stop is answered within one receive time-out.
//
// End. Status becomes 0 before code 0 is posted, so that the host, which handles the code on its
// own thread some time later, always reads Status 0 there; Run may start a new loop from then on
// (it joins the ending thread first, see m_Run.m_bLoopEnded).
#include "control/cimage.h"
#include "platform/clock.h"
#include "platform/frame_target.h"
#include "platform/trace.h"

#include <algorithm>
#include <array>

namespace tessivor {

namespace {

constexpr std::int64_t kSilentRecordingLimitSeconds =
    180;                                 // failed rounds x TimeOut beyond this close a recording
constexpr int kBadLengthPassLimit = 100; // passes of result 2 before a rest
constexpr std::uint32_t kBadLengthRestMs = 3000;
constexpr std::uint32_t kRefusalRestMs = 1000;
constexpr std::uint32_t kStopPollMs = 100;
constexpr std::uint32_t kMaxFailedRoundMs = 30000;

} // namespace

bool CImage::PauseUnlessStopped(std::uint32_t ms)
{
    const std::uint32_t start = tickCount();
    while (!m_Run.m_bEndRun.stopRequested()) {
        const std::uint32_t elapsed = ticksSince(start);
        if (elapsed >= ms)
            return true;
        sleepMs(std::min(ms - elapsed, kStopPollMs));
    }
    return false;
}

void CImage::ImageLoop()
{
    int badLengthPasses = 0;
    std::array<std::uint8_t, 129> scratch{};
    // Closes an open recording file and reports it closed and stopped.
    auto closeRecording = [this] {
        if (m_Record.m_bAviOpen.load()) {
            CloseAviFile();
            m_Record.m_bAviOpen.store(0);
            PostImageEvent(EVT_RECORD_CLOSED);
            PostImageEvent(EVT_RECORD_STOPPED);
        }
    };

    m_Mail.m_tLastMail = 0; // the next motion e-mail may go at once
    m_StreamInfo.m_bFirstAnswer.store(1);
    m_Run.m_nFailedRounds.store(0);
    m_Sockets.m_StreamSocket.CloseConnection();
    trace("I will into getting image frame loop");
    trace("Status = %d : EndRun = %d", m_Run.m_nStatus.load(), static_cast<int>(m_Run.m_bEndRun.load()));

    while (true) {
        trace("Loop");
        if (m_Run.m_bEndRun.stopRequested())
            break;
        const ConnectionSettings conn = m_Connection.read(); // this round's settings
        if (static_cast<std::int64_t>(m_Run.m_nFailedRounds.load()) * conn.m_nTimeOut >
            kSilentRecordingLimitSeconds) {
            if (m_Record.m_bAviOpen.load()) {
                CloseAviFile();
                m_Record.m_bAviOpen.store(0);
                PostImageEvent(EVT_RECORD_TIMEOUT);
            }
            m_Run.m_nFailedRounds.store(0);
        }
        if (badLengthPasses > kBadLengthPassLimit) {
            badLengthPasses = 0;
            PostImageEvent(EVT_RECONNECT_PAUSE);
            PauseUnlessStopped(kBadLengthRestMs);
            continue;
        }
        if (m_Record.m_bRecordRequest.load() == 0) {
            closeRecording();
            m_Run.m_nStatus.store(STATUS_STREAMING);
        }

        int result = STREAM_STOP_AFTER_FRAMES;
        const std::int32_t protocol = conn.m_nProtocol;
        trace("%s Choose protocol:%d\n", conn.m_szRemoteHost.c_str(), protocol);
        const std::uint32_t roundStart = tickCount();
        switch (protocol) {
        case PROTOCOL_NATIVE:
            scratch.fill(0);
            result = ReadNativeStream(scratch.data());
            break;
        case PROTOCOL_VIDEO_CGI:
        case PROTOCOL_MJPEG_CGI:
            result = ReadVideoCgiStream();
            break;
        case PROTOCOL_MULTIPART:
            trace("1");
            result = ReadMjpegStream();
            trace("2");
            break;
        case PROTOCOL_NUMBERED_CGI:
            result = ReadNumberedCgiStream();
            break;
        default:
            break; // no reader: the loop ends on its first pass
        }
        trace("Get image frame return value:%d", result);
        if (m_Run.m_bEndRun.stopRequested())
            break;

        bool end = false;
        switch (result) {
        case STREAM_STOP_AFTER_FRAMES:
            end = true;
            break;
        case STREAM_FAILED_ROUND: {
            m_Run.m_nFailedRounds.fetch_add(1);
            m_Sockets.m_StreamSocket.CloseConnection();
            const std::int32_t connTimeOut = conn.m_nConnTimeOut;
            const std::uint32_t least = std::clamp<std::uint32_t>(
                connTimeOut > 0 ? 1000u * static_cast<std::uint32_t>(connTimeOut) : 0u, 1000u,
                kMaxFailedRoundMs);
            const std::uint32_t took = ticksSince(roundStart);
            if (took < least)
                PauseUnlessStopped(least - took);
            break;
        }
        case STREAM_STOP_SEEN:
            m_Sockets.m_StreamSocket.ClearReceiveBuffer();
            m_Sockets.m_StreamSocket.CloseConnection();
            end = true;
            break;
        case STREAM_BAD_FRAME_LENGTH:
            m_Run.m_nFailedRounds.store(0);
            ++badLengthPasses;
            break;
        case STREAM_LOGIN_REFUSED:
            m_Sockets.m_StreamSocket.CloseConnection();
            PostImageEvent(EVT_LOGIN_REFUSED);
            end = true;
            break;
        case STREAM_CAMERA_SILENT:
            m_Run.m_nFailedRounds.store(0);
            m_Sockets.m_StreamSocket.CloseConnection();
            PostImageEvent(EVT_STREAM_TIMEOUT);
            PauseUnlessStopped(kRefusalRestMs);
            break;
        default: // 3 ("400"), 4 ("403") and anything else: a refused request
            m_Run.m_nFailedRounds.store(0);
            m_Sockets.m_StreamSocket.CloseConnection();
            PauseUnlessStopped(kRefusalRestMs);
            break;
        }
        if (end)
            break;
    }

    const ConnectionSettings conn = m_Connection.read();
    const DrawingSettings drawing = m_Drawing.read();
    // The drawing target's owner is asked to repaint it (the host decides what an ended stream
    // shows); the control's own surface gets its idle drawing back.
    const Handle drawn = drawing.m_bOtherDC != 0 ? static_cast<Handle>(drawing.m_PreviewhWnd) : m_hWnd;
    if (const auto target = frameTargets::find(drawn))
        target->invalidate();
    if (conn.m_nProtocol == PROTOCOL_NATIVE)
        m_Sockets.m_StreamSocket.SendAll("1111", 4); // the native protocol's end of session
    m_Sockets.m_StreamSocket.CloseConnection();
    postMessage(m_hWnd, WM_PAINT, 0, 0);
    closeRecording();
    m_Record.m_bRecordRequest.store(0);
    m_Run.m_bLoopEnded.store(1);
    m_Run.m_nStatus.store(STATUS_STOPPED);
    PostImageEvent(EVT_LOOP_CLOSED);
    trace("%s  Close GetImage Thread OK", drawing.m_szBKText.c_str());
}

} // namespace tessivor
