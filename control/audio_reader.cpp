// The camera's sound stream (Protocol 4 cameras): the same GET on one kept-alive connection again
// and again, each answer one AudioBlock, up to 16 requests in flight so that blocks come back to
// back. Runs on the audio thread until m_bAudioStop; Stop closes m_AudioSocket to end a wait.
#include "control/cimage.h"
#include "control/stream_parsers.h"
#include "control/stream_requests.h"
#include "platform/clock.h"
#include "platform/trace.h"

#include <algorithm>
#include <memory>

namespace tessivor {

namespace {

constexpr int kMaxUnanswered = 16;
constexpr std::uint32_t kSendSpacingMs = 100;        // least time between two requests, plus the extra delay
constexpr std::uint32_t kSilenceReconnectMs = 15000; // no block played for this long: reconnect
constexpr int kConnectAttempts = 4;                  // the fourth failure in a row ends the reader
constexpr int kReceivePiece = 250;                   // bytes per receive
constexpr std::uint32_t kWaitSliceMs = 100;          // longest wait before the stop flag is looked at
constexpr std::int32_t k503CountWrap = 65529;

} // namespace

int CImage::ReadAudioStream()
{
    CWSClient& s = m_AudioSocket;
    auto stopped = [this] { return m_bAudioStop.load() == 1; };
    // Rests `ms`, looking at the stop flag every slice; false when a stop came.
    auto pause = [&](std::uint32_t ms) {
        for (std::uint32_t waited = 0; waited < ms; waited += kWaitSliceMs) {
            if (stopped())
                return false;
            sleepMs(std::min(kWaitSliceMs, ms - waited));
        }
        return !stopped();
    };
    // The thread routine then resets the path and clears m_bAudioRunning.
    auto finish = [&] {
        s.CloseConnection();
        m_pWaveRender->close();
        trace("Stopaudio");
        return -1;
    };
    auto reconnectPause = [&] {
        s.CloseConnection();
        const bool goOn = pause(static_cast<std::uint32_t>(std::max(0, m_nMultipartPause.load())));
        m_pWaveRender->close();
        s.ResetWinsock();
        return goOn;
    };

    const auto gatherer = std::make_unique<MjpegGatherer>(); // 200 kB: not on the stack
    MjpegGatherer& g = *gatherer;
    int connectFailures = 0;

    while (true) {
        if (stopped())
            return finish();
        // The direct connection waits TimeOut seconds, the one through the proxy ConnTimeOut.
        const bool viaProxy = proxyInUse(*this);
        const int connected =
            viaProxy ? s.Connect(m_nProxyPort.load(), m_szProxyHost.c_str(), m_nConnTimeOut.load())
                     : s.Connect(m_nRemotePort.load(), m_szRemoteHost.c_str(), m_nTimeOut.load());
        if (connected != 0) {
            if (++connectFailures >= kConnectAttempts) {
                s.CloseConnection();
                return 0;
            }
            if (!pause(static_cast<std::uint32_t>(std::max(0, m_nMultipartPause.load()))))
                return finish();
            s.ResetWinsock();
            continue;
        }
        connectFailures = 0;
        g.reset();

        std::string path = m_szMultipartAudioPath.str();
        if (path.rfind('/', 0) != 0)
            path = "/" + path;
        const auto [fullUser, fullPassword] = credentials(*this);
        const std::string user = fullUser.substr(0, 12);
        const std::string password = fullPassword.substr(0, 8);
        if (!fitsInLine(path) || !fitsInLine(user) || !fitsInLine(password) ||
            !fitsInLine(m_szRemoteHost.view())) {
            trace("audio request refused: a field would break the request");
            s.CloseConnection();
            return 0;
        }
        const std::string request =
            requestStart(*this, path, true) + "User-Agent: " + user + "\r\nAuthorization: Basic " +
            Base64EncodeBuffer(user + ":" + password) +
            "\r\nConnection: Keep-Alive\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n\r\n";
        auto sendRequests = [&](int count) {
            for (int i = 0; i < count; ++i)
                if (s.SendAll(request.data(), static_cast<int>(request.size())) !=
                    static_cast<int>(request.size()))
                    return false;
            return true;
        };

        bool anyBlock = false;
        std::int64_t answerTime = 1000; // ms from the last 200 head to the end of its block
        std::uint32_t headTick = tickCount();
        std::uint32_t lastPlayed = tickCount();
        std::uint32_t lastSend = tickCount();
        bool ok = sendRequests(1);
        int unanswered = 1;

        while (ok) {
            if (stopped())
                return finish();
            const std::int64_t extra = anyBlock ? extraDelay(unanswered, answerTime) : 0;
            const std::int64_t sinceSend = ticksSince(lastSend);
            if (unanswered < kMaxUnanswered && sinceSend > kSendSpacingMs + extra) {
                const int count = std::min(unanswered == 0 ? 2 : 1, kMaxUnanswered - unanswered);
                ok = sendRequests(count);
                unanswered += count;
                lastSend = tickCount();
                continue;
            }
            std::int64_t waitMs = static_cast<std::int64_t>(kSilenceReconnectMs) - ticksSince(lastPlayed);
            if (unanswered < kMaxUnanswered)
                waitMs = std::min<std::int64_t>(waitMs, kSendSpacingMs + extra - sinceSend + 1);
            waitMs = std::clamp<std::int64_t>(waitMs, 1, kWaitSliceMs);
            if (s.WaitForReceive(0, static_cast<int>(waitMs * 1000)) == 0) {
                const auto room = g.space();
                const int n = s.ReceiveDirect(
                    room.data(), static_cast<int>(std::min<std::size_t>(room.size(), kReceivePiece)), 0);
                if (n <= 0) {
                    ok = false; // the camera closed the connection
                    break;
                }
                g.commit(static_cast<std::size_t>(n));
            } else if (s.GetSocket() < 0) {
                ok = false;
                break;
            }
            for (bool more = true; more && ok;) {
                switch (g.next()) {
                case MjpegGatherer::Kind::NeedMore:
                    more = false;
                    break;
                case MjpegGatherer::Kind::Head: {
                    const auto& a = g.answer();
                    if (unanswered > 0)
                        --unanswered;
                    if (a.status == 503) {
                        const std::int32_t c = m_n503Count.load() + 1;
                        m_n503Count.store(c > k503CountWrap ? 0 : c);
                        break;
                    }
                    headTick = tickCount();
                    if (a.userData)
                        m_szAudioUserData.assign(*a.userData);
                    break;
                }
                case MjpegGatherer::Kind::Frame: {
                    if (stopped())
                        return finish();
                    answerTime = ticksSince(headTick);
                    anyBlock = true;
                    switch (PlayAudioBlock(g.frame())) {
                    case AudioBlockResult::Played:
                        lastPlayed = tickCount();
                        break;
                    case AudioBlockResult::Dropped:
                        break;
                    case AudioBlockResult::EndPass:
                        more = false; // the next block tries the output again
                        break;
                    }
                    break;
                }
                case MjpegGatherer::Kind::Reconnect:
                    trace("audio stream: %s; reconnecting", g.reason());
                    ok = false;
                    break;
                }
            }
            if (ticksSince(lastPlayed) > kSilenceReconnectMs)
                ok = false;
            if (unanswered >= kMaxUnanswered &&
                static_cast<std::int64_t>(ticksSince(lastSend)) > 2000LL * m_nTimeOut.load() + extra)
                ok = false;
        }
        if (!reconnectPause())
            return finish();
    }
}

} // namespace tessivor
