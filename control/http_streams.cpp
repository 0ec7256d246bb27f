// The readers of the camera's HTTP picture streams.
//
// Pushed streams (Protocols 1, 2 and 50): one GET, then the camera sends part after part, each a
// small head with "Content-length:" followed by one JPEG. The head and the first bytes of the
// frame are read as a block of up to 1024 bytes into m_Buffers.m_FrameBuffer, the rest of the frame right
// behind it, so that the frame is contiguous from m_Buffers.m_pCgiFrame and reaches the pipeline without a
// copy. Heads are found by their fields, only within the bytes received; bytes that follow a
// frame (the part delimiter, the next head) stay in the buffer and are searched for the next head,
// so no fixed count of delimiter bytes is assumed.
//
// Repeated requests (Protocol 4): one kept-alive connection on which the same GET goes out again
// and again, up to 16 unanswered at a time, at a pace that follows the measured answer time; the
// answers are taken apart by MjpegGatherer. The reader waits for data or for its next send with
// the socket's readiness wait, never by polling in a loop.
#include "control/cimage.h"
#include "control/pipelined_reader.h"
#include "control/stream_io.h"
#include "control/stream_parsers.h"
#include "control/stream_requests.h"
#include "platform/clock.h"
#include "platform/trace.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace tessivor {

namespace {

constexpr std::size_t kBlockSize = 1024;
constexpr std::uint32_t kPushSilenceMs = 3000;        // Protocols 1, 2: a part must begin and end within this
constexpr std::uint32_t kNumberedFirstBlockMs = 5020; // Protocol 50, first head: 251 waits of 20 ms
constexpr std::uint32_t kNumberedFirstFrameMs = 12550; // Protocol 50, rest of the first frame: 251 x 50 ms
constexpr std::uint32_t kNumberedNextBlockMs = 4050;   // Protocol 50, later heads: 81 x 50 ms
constexpr std::uint32_t kNumberedNextFrameMs = 3050;   // Protocol 50, rest of later frames: 61 x 50 ms
constexpr PipelineRules kMjpegRules{
    .sendSpacingMs = 29,
    .silenceReconnectMs = 15000, // no frame for this long: reconnect
    .waitSliceMs = streamio::kStopCheckMs,
    .receivePiece = 65536,
    .restAfterFirstMs = 15,
    .waitEndsAtAnswerTimeout = true,
    .name = "multipart stream",
};
constexpr const char* kDefaultVideoPath = "/goform/video2";

int connectStream(const ConnectionSettings& conn, CWSClient& s, bool mayUseProxy)
{
    return mayUseProxy && conn.proxyInUse()
               ? s.Connect(conn.m_nProxyPort, conn.m_szProxyHost.c_str(), conn.m_nConnTimeOut)
               : s.Connect(conn.m_nRemotePort, conn.m_szRemoteHost.c_str(), conn.m_nConnTimeOut);
}

std::string printable(const std::uint8_t* data, std::size_t size)
{
    std::string out;
    for (std::size_t i = 0; i < size && out.size() < 120; ++i)
        out += (data[i] >= 0x20 && data[i] < 0x7F) ? static_cast<char>(data[i]) : '.';
    return out;
}

// The received bytes of one pushed-stream connection, at the front of m_Buffers.m_FrameBuffer.
class PushInput
{
public:
    enum class Fill
    {
        Ok,
        Silent,  // nothing came within the time
        Closed,  // the peer closed or a receive failed
        Stopped, // a stop was requested
    };

    // When a wait gives up: `limitMs` after `since`, counted from the last byte received when
    // `fromLastByte` is set.
    struct Deadline
    {
        std::uint32_t since;
        std::uint32_t limitMs;
        bool fromLastByte;
    };

    // `buffer` holds CImage::kFrameBufferSize bytes; `endRun` is the control's stop word.
    PushInput(std::uint8_t* buffer, const EndRunFlag& endRun, CWSClient& s)
        : m_endRun(endRun), m_s(s), m_data(buffer)
    {
    }

    std::uint8_t* data() { return m_data; }
    std::size_t size() const { return m_size; }
    ByteView view() const { return ByteView(m_data, m_size); }
    void clear() { m_size = 0; }

    // Drops the first `n` bytes; what follows moves to the front.
    void consume(std::size_t n)
    {
        n = std::min(n, m_size);
        std::memmove(m_data, m_data + n, m_size - n);
        m_size -= n;
    }

    // Receives until at least `atLeast` bytes are held, never more than `atMost`. Each receive
    // takes what the connection holds; the wait (a poll) comes only when it holds nothing.
    Fill receive(std::size_t atLeast, std::size_t atMost, Deadline& d)
    {
        atMost = std::min(atMost, CImage::kFrameBufferSize);
        while (m_size < atLeast) {
            if (m_endRun.stopRequested())
                return Fill::Stopped;
            const std::uint32_t elapsed = ticksSince(d.since);
            if (elapsed > d.limitMs)
                return Fill::Silent;
            const int n = m_s.ReceiveAvailable(m_data + m_size, static_cast<int>(atMost - m_size));
            if (n > 0) {
                m_size += static_cast<std::size_t>(n);
                if (d.fromLastByte)
                    d.since = tickCount();
                continue;
            }
            if (n != CWSClient::kNothingWaiting)
                return m_endRun.stopRequested() ? Fill::Stopped : Fill::Closed;
            switch (streamio::waitForData(m_s, d.limitMs - elapsed + 1, m_endRun.word())) {
            case streamio::Got::Stopped:
                return Fill::Stopped;
            case streamio::Got::TimedOut:
            case streamio::Got::Data:
                break;
            }
        }
        return Fill::Ok;
    }

private:
    const EndRunFlag& m_endRun;
    CWSClient& m_s;
    std::uint8_t* m_data;
    std::size_t m_size = 0;
};

// The outcome of looking for the next part of a pushed stream.
enum class NextPart
{
    Frame,       // head.frameStart + head.length bytes are held
    SilentHead,  // nothing came while a head was awaited
    SilentFrame, // the frame did not complete in time
    Closed,
    Stopped,
};

// Finds the next part head in `in` and receives its frame. Heads whose length or frame start is
// unusable are skipped, as is a block of kBlockSize bytes without any head.
NextPart readNextPart(PushInput& in, PartHead& head, PushInput::Deadline headWait, std::uint32_t frameLimitMs,
                      bool frameFromLastByte)
{
    while (true) {
        const bool full = in.size() >= kBlockSize;
        head = parsePartHead(in.view(), FrameStart::AfterEmptyLine, full);
        switch (head.status) {
        case PartHead::Status::Found: {
            PushInput::Deadline frameWait =
                frameFromLastByte ? PushInput::Deadline{tickCount(), frameLimitMs, true} : headWait;
            // Whatever follows the frame is the stream's next part: take it in the same receives.
            const std::size_t end = head.frameStart + head.length;
            switch (in.receive(end, CImage::kFrameBufferSize, frameWait)) {
            case PushInput::Fill::Ok:
                return NextPart::Frame;
            case PushInput::Fill::Silent:
                return NextPart::SilentFrame;
            case PushInput::Fill::Closed:
                return NextPart::Closed;
            case PushInput::Fill::Stopped:
                return NextPart::Stopped;
            }
            return NextPart::Closed;
        }
        case PartHead::Status::Incomplete:
        case PartHead::Status::NoLength:
            if (full) {
                // A whole block without a head: keep only what could be the start of one.
                in.consume(in.size() - 14);
                break;
            }
            {
                const PushInput::Fill f = in.receive(in.size() + 1, kBlockSize, headWait);
                if (f == PushInput::Fill::Silent)
                    return NextPart::SilentHead;
                if (f == PushInput::Fill::Closed)
                    return NextPart::Closed;
                if (f == PushInput::Fill::Stopped)
                    return NextPart::Stopped;
            }
            break;
        case PartHead::Status::BadLengthText:
        case PartHead::Status::BadLength:
        case PartHead::Status::NoFrameStart:
            in.consume(head.lengthField + 15); // skip this head, look for the next
            break;
        }
    }
}

// What ends the first part of a connection other than its frame: the result a stop gives, and
// what a silent camera gives (`where`: "Point1" while the first block is awaited, "Point3" while
// the rest of its frame is).
struct FirstPartEnds
{
    int stopped;
    std::function<int(const char* where)> silent;
};

int closed(CWSClient& s, int result)
{
    s.CloseConnection();
    return result;
}

// Receives the first block of a connection and finds the part head in it. nullopt when `head` was
// found; otherwise the stream result (a refusal page, a bad length, a silent or failed camera).
std::optional<int> readFirstHead(CWSClient& s, PushInput& in, PushInput::Deadline wait, FrameStart frameStart,
                                 PartHead& head, const FirstPartEnds& ends)
{
    const PushInput::Fill first = in.receive(kBlockSize, kBlockSize, wait);
    if (first == PushInput::Fill::Stopped)
        return closed(s, ends.stopped);
    if (first == PushInput::Fill::Silent && in.size() == 0)
        return ends.silent("Point1");
    // A short block (the camera closed, or paused) is judged by what it holds: a refusal page is
    // usually shorter than a block.
    const int status = classifyPushStatus(in.view());
    if (status != -1)
        return closed(s, status);
    if (first != PushInput::Fill::Ok)
        return first == PushInput::Fill::Silent ? ends.silent("Point1") : closed(s, STREAM_FAILED_ROUND);
    head = parsePartHead(in.view(), frameStart, true);
    if (head.status == PartHead::Status::BadLength)
        return closed(s, STREAM_BAD_FRAME_LENGTH);
    if (head.status != PartHead::Status::Found)
        return closed(s, STREAM_FAILED_ROUND);
    return std::nullopt;
}

// Receives the rest of the first frame behind `head`. nullopt when it is held whole.
std::optional<int> receiveFirstFrame(CWSClient& s, PushInput& in, const PartHead& head,
                                     PushInput::Deadline wait, const FirstPartEnds& ends)
{
    const std::size_t end = head.frameStart + head.length;
    switch (in.receive(end, end, wait)) {
    case PushInput::Fill::Ok:
        return std::nullopt;
    case PushInput::Fill::Silent:
        return ends.silent("Point3");
    case PushInput::Fill::Stopped:
        return closed(s, ends.stopped);
    case PushInput::Fill::Closed:
        break;
    }
    return closed(s, STREAM_FAILED_ROUND);
}

// Hands the frame of `head` to the pipeline from where it lies in `in`.
void passFrame(CImage& c, PushInput& in, const PartHead& head)
{
    c.ProcessCgiFrame(in.data() + head.frameStart, head.length);
}

// The first part of a connection: its frame always goes on. Drops the part and returns when the
// frame was passed on.
std::uint32_t passFirstPart(CImage& c, PushInput& in, const PartHead& head)
{
    passFrame(c, in, head);
    const std::uint32_t passed = tickCount();
    in.consume(head.frameStart + head.length);
    return passed;
}

// A later part: its frame goes on only when more than DisplayDelay ms have passed since the last
// one went on. The part is dropped either way.
void passLaterPart(CImage& c, PushInput& in, const PartHead& head, std::uint32_t& lastPassed,
                   std::int32_t displayDelay)
{
    const std::uint32_t now = tickCount();
    if (now - lastPassed > static_cast<std::uint32_t>(std::max(0, displayDelay))) {
        passFrame(c, in, head);
        lastPassed = now;
    }
    in.consume(head.frameStart + head.length);
}

} // namespace

// ---- Protocols 1 and 2: "/VIDEO.CGI" and "/mjpeg.cgi" ----

HRESULT CImage::get_PTCoordinatesX(std::int32_t* pVal)
{
    *pVal = m_StreamInfo.m_nPTCoordinatesX.load();
    return S_OK;
}

HRESULT CImage::get_PTCoordinatesY(std::int32_t* pVal)
{
    *pVal = m_StreamInfo.m_nPTCoordinatesY.load();
    return S_OK;
}

void CImage::ProcessCgiFrame(const std::uint8_t* frame, std::uint32_t length)
{
    m_Buffers.m_pCgiFrame = frame;
    m_StreamInfo.m_nFrameLength.store(length);
    ProcessFrame(length);
}

int CImage::ReadVideoCgiStream()
{
    const ConnectionSettings conn = m_Connection.read(); // this connection's settings
    CWSClient& s = m_Sockets.m_StreamSocket;
    const bool panTilt = conn.m_nProtocol != PROTOCOL_VIDEO_CGI;
    auto stopped = [this] { return m_Run.m_bEndRun.stopRequested(); };
    auto closeWith = [&s](int result) {
        s.CloseConnection();
        return result;
    };
    auto reportPanTilt = [this](ByteView head) {
        if (auto pt = parsePanTilt(head)) {
            const bool moved = pt->x != m_StreamInfo.m_nPTCoordinatesX.load() ||
                               pt->y != m_StreamInfo.m_nPTCoordinatesY.load();
            m_StreamInfo.m_nPTCoordinatesX.store(pt->x);
            m_StreamInfo.m_nPTCoordinatesY.store(pt->y);
            if (moved)
                PostImageEvent(EVT_PT_CHANGED);
        }
    };

    s.CloseConnection();
    m_StreamInfo.m_nFrameCount.store(0);
    if (m_Record.m_bRecordRequest.load() == 0)
        m_Run.m_nStatus.store(STATUS_STREAMING);
    const std::string user = credentials(CredentialText()).first;
    const std::string credential = EncodeCredentials();
    const std::string request = requestStart(conn, panTilt ? "/mjpeg.cgi" : "/VIDEO.CGI", true) +
                                "User-Agent: " + user + "\r\nAuthorization: Basic " + credential + "\r\n\r\n";
    if (!fitsInLine(user) || !fitsInLine(credential) || !fitsInLine(conn.m_szRemoteHost.str())) {
        trace("stream request not sent: a line break in the host, user name or credential");
        return STREAM_FAILED_ROUND;
    }
    if (connectStream(conn, s, true) != 0)
        return stopped() ? STREAM_STOP_SEEN : STREAM_FAILED_ROUND;
    s.SendAll(request.data(), static_cast<int>(request.size()));
    if (stopped())
        return closeWith(STREAM_STOP_SEEN);

    PushInput in(m_Buffers.m_FrameBuffer.get(), m_Run.m_bEndRun, s);
    const FirstPartEnds ends{STREAM_STOP_SEEN, [](const char*) { return STREAM_CAMERA_SILENT; }};
    PartHead head;
    if (const auto end = readFirstHead(s, in, {tickCount(), kPushSilenceMs, false},
                                       FrameStart::AfterImageJpeg, head, ends))
        return *end;
    if (panTilt)
        reportPanTilt(in.view().first(head.frameStart));
    if (m_StreamInfo.m_bFirstAnswer.exchange(0) == 1)
        PostImageEvent(EVT_CONNECTED);
    m_Run.m_nFailedRounds.store(0);

    if (const auto end = receiveFirstFrame(s, in, head, {tickCount(), kPushSilenceMs, false}, ends))
        return *end;
    std::uint32_t lastProcessed = passFirstPart(*this, in, head);

    while (!stopped()) {
        PartHead next;
        switch (readNextPart(in, next, PushInput::Deadline{tickCount(), kPushSilenceMs, false},
                             kPushSilenceMs, false)) {
        case NextPart::Frame:
            break;
        case NextPart::SilentHead:
        case NextPart::SilentFrame:
            return STREAM_CAMERA_SILENT;
        case NextPart::Closed:
            return closeWith(STREAM_FAILED_ROUND);
        case NextPart::Stopped:
            return closeWith(STREAM_STOP_AFTER_FRAMES);
        }
        if (panTilt)
            reportPanTilt(in.view().first(next.frameStart));
        passLaterPart(*this, in, next, lastProcessed, conn.m_nDisplayDelay);
    }
    return closeWith(STREAM_STOP_AFTER_FRAMES);
}

// ---- Protocol 50: "/N.cgi" ----

int CImage::ReadNumberedCgiStream()
{
    CWSClient& s = m_Sockets.m_StreamSocket;
    auto stopped = [this] { return m_Run.m_bEndRun.stopRequested(); };
    auto closeWith = [&s](int result) {
        s.CloseConnection();
        return result;
    };
    bool delivered = false;
    PushInput in(m_Buffers.m_FrameBuffer.get(), m_Run.m_bEndRun, s);

    while (true) { // one connection per turn; a later frame that does not come starts a new one
        const ConnectionSettings conn = m_Connection.read();
        s.CloseConnection();
        m_StreamInfo.m_nFrameCount.store(0);
        const std::string user = credentials(CredentialText()).first;
        const std::string credential = EncodeCredentials();
        const std::string request = "GET /" + std::to_string(conn.m_nConnectCameraNoForServer) +
                                    ".cgi HTTP/1.0\r\nUser-Agent: " + user + "\r\nAuthorization: Basic " +
                                    credential + "\r\n\r\n";
        if (!fitsInLine(user) || !fitsInLine(credential)) {
            trace("stream request not sent: a line break in the user name or credential");
            return STREAM_FAILED_ROUND;
        }
        if (s.Connect(conn.m_nRemotePort, conn.m_szRemoteHost.c_str(), conn.m_nConnTimeOut) != 0)
            return stopped() ? STREAM_STOP_SEEN : STREAM_FAILED_ROUND;
        if (stopped())
            return closeWith(delivered ? STREAM_STOP_AFTER_FRAMES : STREAM_STOP_SEEN);
        s.SendAll(request.data(), static_cast<int>(request.size()));

        in.clear();
        const FirstPartEnds ends{
            delivered ? STREAM_STOP_AFTER_FRAMES : STREAM_STOP_SEEN, [&](const char* where) {
                trace("first Image1 %s time out,Data=%s", where, printable(in.data(), in.size()).c_str());
                return closeWith(STREAM_CAMERA_SILENT);
            }};
        PartHead head;
        if (const auto end = readFirstHead(s, in, {tickCount(), kNumberedFirstBlockMs, true},
                                           FrameStart::AfterNextLine, head, ends))
            return *end;
        if (m_StreamInfo.m_bFirstAnswer.exchange(0) == 1) {
            if (m_Record.m_bRecordRequest.load() == 0)
                m_Run.m_nStatus.store(STATUS_STREAMING);
            PostImageEvent(EVT_CONNECTED);
        }
        m_Run.m_nFailedRounds.store(0);

        if (const auto end = receiveFirstFrame(s, in, head, {tickCount(), kNumberedFirstFrameMs, true}, ends))
            return *end;
        std::uint32_t lastProcessed = passFirstPart(*this, in, head);
        delivered = true;

        bool reconnect = false;
        while (!reconnect) {
            PartHead next;
            const NextPart got =
                readNextPart(in, next, PushInput::Deadline{tickCount(), kNumberedNextBlockMs, true},
                             kNumberedNextFrameMs, true);
            switch (got) {
            case NextPart::Frame:
                break;
            case NextPart::SilentHead:
            case NextPart::SilentFrame:
                trace("first %s time out,Data=%s",
                      got == NextPart::SilentHead ? "Image2 Point5" : "Image1 Point3",
                      printable(in.data(), in.size()).c_str());
                s.CloseConnection();
                PostImageEvent(EVT_STREAM_TIMEOUT);
                reconnect = true;
                continue;
            case NextPart::Closed:
                return closeWith(STREAM_FAILED_ROUND);
            case NextPart::Stopped:
                return closeWith(STREAM_STOP_AFTER_FRAMES);
            }
            passLaterPart(*this, in, next, lastProcessed, conn.m_nDisplayDelay);
            if (stopped())
                return closeWith(STREAM_STOP_AFTER_FRAMES);
        }
    }
}

// ---- Protocol 4: repeated requests on one kept-alive connection ----

namespace {

void formatStreamTime(long long seconds, Text260& into)
{
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!localtime_r(&t, &tm))
        return;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %2.2d %s %d %2.2d:%2.2d:%2.2d ", kDays[tm.tm_wday % 7], tm.tm_mday,
                  kMonths[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    into.assign(text);
}

} // namespace

int CImage::ReadMjpegStream()
{
    // The settings of this stream; the reader reconnects with them until it ends.
    const ConnectionSettings conn = m_Connection.read();
    const StreamSettings streaming = m_StreamSettings.read();
    CWSClient& s = m_Sockets.m_MultipartSocket;
    auto stopped = [this] { return m_Run.m_bEndRun.stopRequested(); };
    auto finish = [&] {
        s.CloseConnection();
        m_Run.m_bEndRun.store(EndRun::StopAcknowledged); // the acknowledgement that StopThreads waits for
        m_StreamSettings.update(
            [](StreamSettings& st) { st.m_szMultipartVideoPath.assign(kDefaultVideoPath); });
        m_Run.m_nStatus.store(STATUS_STOPPED);
        return STREAM_STOP_AFTER_FRAMES;
    };
    const auto multipartPause = [&streaming] {
        return static_cast<std::uint32_t>(std::max(0, streaming.m_nMultipartPause));
    };

    PipelinedReader::Hooks hooks;
    hooks.pause = [this](std::uint32_t ms) { return PauseUnlessStopped(ms); };
    hooks.onHead = [this](const MjpegGatherer::Answer& a) {
        if (a.time)
            formatStreamTime(*a.time, m_Buffers.m_szStreamTime);
        if (a.userData)
            m_Buffers.m_szStreamUserData.assign(*a.userData);
    };
    hooks.onBody = [this](ByteView f, PipelinedReader& reader) {
        std::memcpy(m_Buffers.m_FrameBuffer.get(), f.data(), f.size());
        reader.bodyShown();
        m_StreamInfo.m_nFrameLength.store(static_cast<std::uint32_t>(f.size()));
        ProcessFrame(static_cast<std::uint32_t>(f.size()));
        return PipelinedReader::BodyStep::GoOn;
    };
    PipelinedReader reader(s, kMjpegRules, m_Run.m_bEndRun.word(), conn.m_nTimeOut, m_StreamInfo.m_n503Count,
                           std::move(hooks));

    while (true) {
        if (stopped())
            return finish();
        if (m_StreamInfo.m_bFirstAnswer.exchange(0) == 1) {
            m_Run.m_nStatus.store(STATUS_STREAMING);
            PostImageEvent(EVT_CONNECTED);
        }
        const std::string path = streaming.m_szMultipartVideoPath.str();
        const auto [fullUser, fullPassword] = credentials(CredentialText());
        const std::string user = fullUser.substr(0, 12);
        const std::string password = fullPassword.substr(0, 8);
        const std::string credential = Base64EncodeBuffer(user + ":" + password);
        if (!fitsInLine(path) || !fitsInLine(user) || !fitsInLine(credential) ||
            !fitsInLine(conn.m_szRemoteHost.str())) {
            trace("stream request not sent: a line break in the path, host, user name or credential");
            return STREAM_FAILED_ROUND;
        }
        const std::string request = keptAliveRequest(conn, path, user, credential);
        switch (reader.afterConnect(connectStream(conn, s, true), multipartPause())) {
        case PipelinedReader::Connect::Connected:
            break;
        case PipelinedReader::Connect::Retry:
            continue;
        case PipelinedReader::Connect::GiveUp:
            m_Run.m_bEndRun.store(EndRun::StopAcknowledged);
            return STREAM_FAILED_ROUND;
        case PipelinedReader::Connect::Stopped:
            return finish();
        }
        if (reader.run(request) == PipelinedReader::End::Stopped)
            return finish();
        // Reconnect: close, rest, start the socket afresh.
        s.CloseConnection();
        if (!PauseUnlessStopped(multipartPause()))
            return finish();
        s.ResetWinsock();
    }
}

} // namespace tessivor
