#include "control/pipelined_reader.h"

#include "control/stream_requests.h"
#include "platform/clock.h"
#include "platform/trace.h"

#include <algorithm>
#include <utility>

namespace tessivor {

namespace {

constexpr std::int32_t k503CountWrap = 65529;

} // namespace

std::string keptAliveRequest(const ConnectionSettings& conn, const std::string& path, const std::string& user,
                             const std::string& credential)
{
    return requestStart(conn, path.rfind('/', 0) == 0 ? path : "/" + path, true) + "User-Agent: " + user +
           "\r\nAuthorization: Basic " + credential +
           "\r\nConnection: Keep-Alive\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n\r\n";
}

PipelinedReader::PipelinedReader(CWSClient& socket, const PipelineRules& rules,
                                 const std::atomic<std::int32_t>& stop, std::int32_t timeOutSeconds,
                                 std::atomic<std::int32_t>& count503, Hooks hooks)
    : m_s(socket), m_rules(rules), m_stop(stop), m_timeOut(timeOutSeconds), m_503Count(count503),
      m_hooks(std::move(hooks)), m_gatherer(std::make_unique<MjpegGatherer>())
{
}

PipelinedReader::Connect PipelinedReader::afterConnect(int connectResult, std::uint32_t pauseMs)
{
    if (connectResult == 0) {
        m_connectFailures = 0;
        m_gatherer->reset();
        return Connect::Connected;
    }
    if (++m_connectFailures >= kConnectAttempts)
        return Connect::GiveUp;
    if (!m_hooks.pause(pauseMs))
        return Connect::Stopped;
    m_s.ResetWinsock();
    return Connect::Retry;
}

void PipelinedReader::bodyShown()
{
    m_lastShown = tickCount();
}

bool PipelinedReader::sendRequests(const std::string& request, int count)
{
    for (int i = 0; i < count; ++i)
        if (m_s.SendAll(request.data(), static_cast<int>(request.size())) != static_cast<int>(request.size()))
            return false;
    return true;
}

PipelinedReader::End PipelinedReader::run(const std::string& request)
{
    MjpegGatherer& g = *m_gatherer;
    bool anyBody = false;
    std::int64_t answerTime = 1000; // ms from the last 200 head to the end of its body
    std::uint32_t headTick = tickCount();
    m_lastShown = tickCount();
    std::uint32_t lastSend = tickCount();
    bool ok = sendRequests(request, 1);
    int unanswered = 1;
    if (m_rules.restAfterFirstMs > 0)
        sleepMs(m_rules.restAfterFirstMs);

    while (ok) {
        if (stopped())
            return End::Stopped;
        const std::int64_t extra = anyBody ? extraDelay(unanswered, answerTime) : 0;
        const std::int64_t sinceSend = ticksSince(lastSend);
        if (unanswered < kMaxUnanswered && sinceSend > m_rules.sendSpacingMs + extra) {
            const int count = std::min(unanswered == 0 ? 2 : 1, kMaxUnanswered - unanswered);
            ok = sendRequests(request, count);
            unanswered += count;
            lastSend = tickCount();
            continue;
        }
        // Wait for data, or until the next request is due, or a reconnect rule applies.
        std::int64_t waitMs = static_cast<std::int64_t>(m_rules.silenceReconnectMs) - ticksSince(m_lastShown);
        if (unanswered < kMaxUnanswered)
            waitMs = std::min<std::int64_t>(waitMs, m_rules.sendSpacingMs + extra - sinceSend + 1);
        else if (m_rules.waitEndsAtAnswerTimeout)
            waitMs = std::min<std::int64_t>(waitMs, 2000LL * m_timeOut + extra - sinceSend + 1);
        waitMs = std::clamp<std::int64_t>(waitMs, 1, m_rules.waitSliceMs);
        if (m_s.WaitForReceive(0, static_cast<int>(waitMs * 1000)) == 0) {
            const auto room = g.space();
            const int n = m_s.ReceiveDirect(
                room.data(), static_cast<int>(std::min<std::size_t>(room.size(), m_rules.receivePiece)), 0);
            if (n <= 0) {
                ok = false; // the camera closed the connection
                break;
            }
            g.commit(static_cast<std::size_t>(n));
        } else if (m_s.GetSocket() < 0) {
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
                    const std::int32_t c = m_503Count.load() + 1;
                    m_503Count.store(c > k503CountWrap ? 0 : c);
                    break;
                }
                headTick = tickCount();
                m_hooks.onHead(a);
                break;
            }
            case MjpegGatherer::Kind::Frame:
                answerTime = ticksSince(headTick);
                anyBody = true;
                switch (m_hooks.onBody(g.frame(), *this)) {
                case BodyStep::GoOn:
                    break;
                case BodyStep::EndPass:
                    more = false;
                    break;
                case BodyStep::Stop:
                    return End::Stopped;
                }
                break;
            case MjpegGatherer::Kind::Reconnect:
                trace("%s: %s; reconnecting", m_rules.name, g.reason());
                ok = false;
                break;
            }
        }
        if (ticksSince(m_lastShown) > m_rules.silenceReconnectMs)
            ok = false;
        if (unanswered >= kMaxUnanswered &&
            static_cast<std::int64_t>(ticksSince(lastSend)) > 2000LL * m_timeOut + extra)
            ok = false;
    }
    return End::Reconnect;
}

} // namespace tessivor
