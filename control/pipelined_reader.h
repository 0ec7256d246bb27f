// The repeated-request stream of the picture reader (Protocol 4) and the sound reader: one
// kept-alive connection on which the same GET goes out again and again, up to 16 requests
// unanswered at a time, at a pace that follows the measured answer time. The answers are taken
// apart by MjpegGatherer; what a 200 head or a complete body does is the reader's own.
#pragma once

#include "control/stream_parsers.h"
#include "io/ws_client.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tessivor {

struct ConnectionSettings;

// What tells one repeated-request stream from another.
struct PipelineRules
{
    std::uint32_t sendSpacingMs;      // least time between two sends, before the extra delay
    std::uint32_t silenceReconnectMs; // no body shown for this long: reconnect
    std::uint32_t waitSliceMs;        // longest readiness wait before the stop flag is looked at
    int receivePiece;                 // most bytes one receive takes
    std::uint32_t restAfterFirstMs;   // rest after the first request of a connection (0: none)
    // With every request unanswered, a wait also ends when the answer time-out (2 x TimeOut
    // seconds plus the extra delay) is due, not only at the silence limit or the wait slice.
    bool waitEndsAtAnswerTimeout;
    const char* name; // in traces
};

// The request of a repeated-request stream: `path` (a "/" is put in front when missing) with the
// user name and Basic credential, kept alive and never answered from a cache.
std::string keptAliveRequest(const ConnectionSettings& conn, const std::string& path, const std::string& user,
                             const std::string& credential);

class PipelinedReader
{
public:
    static constexpr int kMaxUnanswered = 16;
    static constexpr int kConnectAttempts = 4; // the fourth failed connect in a row gives up

    enum class Connect
    {
        Connected, // the gatherer is empty, ready for run()
        Retry,     // failed: rested and reset the socket, try again
        GiveUp,    // failed kConnectAttempts times in a row
        Stopped,   // a stop came during the rest
    };

    enum class End
    {
        Reconnect, // the connection closed, failed or broke a rule: rest and connect again
        Stopped,   // the stop flag, or a body hook asked to stop
    };

    enum class BodyStep
    {
        GoOn,    // take the next answer
        EndPass, // receive again before the next answer is taken
        Stop,
    };

    struct Hooks
    {
        // Rests `ms`; false when a stop came meanwhile.
        std::function<bool(std::uint32_t ms)> pause;
        // A 200 answer head (503 heads are counted here).
        std::function<void(const MjpegGatherer::Answer&)> onHead;
        // A complete body, valid during the call. It calls reader.bodyShown() when the body
        // counts as shown for the silence limit.
        std::function<BodyStep(ByteView body, PipelinedReader& reader)> onBody;
    };

    // `stop` ends the reader when it holds 1; `timeOutSeconds` is the round's TimeOut;
    // `count503` counts 503 answers and wraps to 0 after 65529.
    PipelinedReader(CWSClient& socket, const PipelineRules& rules, const std::atomic<std::int32_t>& stop,
                    std::int32_t timeOutSeconds, std::atomic<std::int32_t>& count503, Hooks hooks);

    // Judges a connect attempt (`connectResult` 0: connected) and counts failures in a row.
    Connect afterConnect(int connectResult, std::uint32_t pauseMs);

    // Sends `request` and keeps the pipeline going on the connected socket until the stream
    // ends. The socket is left as it is: the caller closes it.
    End run(const std::string& request);

    // Restarts the silence limit (from within onBody).
    void bodyShown();

private:
    bool stopped() const { return m_stop.load() == 1; }
    bool sendRequests(const std::string& request, int count);

    CWSClient& m_s;
    const PipelineRules m_rules;
    const std::atomic<std::int32_t>& m_stop;
    const std::int32_t m_timeOut; // seconds
    std::atomic<std::int32_t>& m_503Count;
    Hooks m_hooks;
    std::unique_ptr<MjpegGatherer> m_gatherer; // 200 kB: not on the stack
    int m_connectFailures = 0;
    std::uint32_t m_lastShown = 0;
};

} // namespace tessivor
