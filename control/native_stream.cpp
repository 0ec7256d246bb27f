// The reader of the camera's own TCP protocol (Protocol 0). Every message has a fixed size:
//
//   camera -> control  answer code, 4 ASCII digits, right after the connection opens:
//                      "0200" "0201" "0202" + 126-byte status block, "0501" + 30-byte short block,
//                      or "0301" + 80-byte challenge + 46-byte preamble (login required)
//   control -> camera  "0001" + 20-byte login block (after "0301"); the camera answers with a
//                      second code, of which "0200" to "0202" (+ 126 bytes) accept the login
//   control -> camera  "0110": one frame, please
//   camera -> control  4-byte little-endian length (1 to 100000), then that many JPEG bytes
//   control -> camera  "1111": end (sent by the image loop)
//
// Every read is exact: a code, a length or a frame that does not arrive whole within its wait
// ends the connection (result 0) and the image loop connects again, so that no stale or partly
// overwritten frame is ever handed on, and none twice.
#include "control/cimage.h"
#include "control/stream_io.h"
#include "control/stream_parsers.h"
#include "platform/clock.h"

#include <cstring>

namespace tessivor {

namespace {

constexpr std::size_t kStatusBlockSize = 126;
constexpr std::size_t kShortStatusBlockSize = 30;
constexpr std::size_t kChallengeSize = 80;
constexpr std::size_t kPreambleSize = 46;
constexpr int kFrameLengthWaitSeconds = 3; // fixed, whatever TimeOut says
constexpr std::uint32_t kFramePauseMs = 33;

bool isAccepted(const char* code)
{
    return std::memcmp(code, "0200", 4) == 0 || std::memcmp(code, "0201", 4) == 0 ||
           std::memcmp(code, "0202", 4) == 0;
}

} // namespace

int CImage::ReadNativeStream(std::uint8_t* scratch)
{
    const ConnectionSettings conn = m_Connection.read(); // this connection's settings
    CWSClient& s = m_Sockets.m_StreamSocket;
    const int timeOut = conn.m_nTimeOut;
    auto stopped = [this] { return m_Run.m_bEndRun.stopRequested(); };
    auto closeWith = [&s](int result) {
        s.CloseConnection();
        return result;
    };
    // A failed network step: a stop that ended it counts as the stop.
    auto failed = [&] { return closeWith(stopped() ? STREAM_STOP_SEEN : STREAM_FAILED_ROUND); };
    auto receive = [&](void* into, std::size_t size, int seconds) {
        return streamio::receiveExactly(s, into, size, seconds, m_Run.m_bEndRun.word());
    };

    if (s.Connect(conn.m_nRemotePort, conn.m_szRemoteHost.c_str(), conn.m_nConnTimeOut) != 0)
        return stopped() ? STREAM_STOP_SEEN : STREAM_FAILED_ROUND;
    if (stopped())
        return closeWith(STREAM_STOP_SEEN);

    char code[4] = {};
    if (!receive(code, 4, timeOut))
        return failed();
    if (stopped())
        return closeWith(STREAM_STOP_SEEN);

    if (isAccepted(code)) {
        if (!receive(scratch, kStatusBlockSize, timeOut))
            return failed();
    } else if (std::memcmp(code, "0301", 4) == 0) {
        std::uint8_t challenge[kChallengeSize];
        if (!receive(challenge, kChallengeSize, timeOut) || !receive(scratch, kPreambleSize, timeOut))
            return failed();
        const auto credentials = BuildCredentialBlock();
        std::uint8_t login[24] = {'0', '0', '0', '1'};
        ScrambleCredentials(login + 4, credentials.data(), challenge);
        s.SendAll(login, sizeof login);
        // A second code that did not come in time is a failed round, not a refusal: only a code
        // that arrived and is not one of the accepting three refuses the login.
        if (!receive(code, 4, timeOut))
            return failed();
        if (!isAccepted(code))
            return STREAM_LOGIN_REFUSED; // the image loop closes and reports
        if (!receive(scratch, kStatusBlockSize, timeOut))
            return failed();
    } else if (std::memcmp(code, "0501", 4) == 0) {
        if (!receive(scratch, kShortStatusBlockSize, timeOut))
            return failed();
    } else {
        return closeWith(STREAM_FAILED_ROUND);
    }
    if (stopped())
        return closeWith(STREAM_STOP_SEEN);

    if (m_StreamInfo.m_bFirstAnswer.exchange(0) == 1) {
        m_Run.m_nStatus.store(STATUS_STREAMING);
        PostImageEvent(EVT_CONNECTED);
    }
    m_Run.m_nFailedRounds.store(0);
    std::uint32_t lastProcessed = tickCount();

    while (true) {
        if (stopped())
            return STREAM_STOP_AFTER_FRAMES; // the image loop sends "1111" and closes
        s.Send("0110", 4);
        std::uint8_t lengthBytes[4];
        if (!receive(lengthBytes, 4, kFrameLengthWaitSeconds))
            return failed();
        if (stopped())
            return closeWith(STREAM_STOP_SEEN);
        const std::uint32_t length = static_cast<std::uint32_t>(lengthBytes[0]) |
                                     static_cast<std::uint32_t>(lengthBytes[1]) << 8 |
                                     static_cast<std::uint32_t>(lengthBytes[2]) << 16 |
                                     static_cast<std::uint32_t>(lengthBytes[3]) << 24;
        m_StreamInfo.m_nFrameLength.store(length);
        if (length == 0 || length > kMaxPushedFrame)
            return closeWith(STREAM_BAD_FRAME_LENGTH);
        PostImageEvent(EVT_FRAME_LENGTH);
        if (!receive(m_Buffers.m_FrameBuffer.get(), length, timeOut))
            return failed();
        if (stopped())
            return closeWith(STREAM_STOP_SEEN);
        const std::uint32_t now = tickCount();
        const auto delay = static_cast<std::uint32_t>(std::max(0, conn.m_nDisplayDelay));
        if (now - lastProcessed > delay) {
            ProcessFrame(length);
            lastProcessed = now;
        }
        sleepMs(kFramePauseMs);
    }
}

} // namespace tessivor
