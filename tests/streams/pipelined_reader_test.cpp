// The repeated-request reader against a scripted peer on loopback: the peer counts the requests
// that arrive on its one connection and answers the n-th (from 1) with what its script says.
#include "../io/loopback_peer.h"
#include "control/pipelined_reader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace tessivor;

namespace {

constexpr PipelineRules kQuickRules{
    .sendSpacingMs = 1,
    .silenceReconnectMs = 600000, // never reached: a test that needs it stops by its guard instead
    .waitSliceMs = 20,
    .receivePiece = 4096,
    .restAfterFirstMs = 0,
    .waitEndsAtAnswerTimeout = true,
    .name = "test stream",
};

const std::string kRequest = "GET /stream HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n";

std::string ok200(const std::string& body, const std::string& userData)
{
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nUserdata: " + userData +
           "\r\n\r\n" + body;
}

const std::string k503 = "HTTP/1.0 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n";

// Accepts one connection and answers each whole request by the script (an empty answer: none).
// Everything it received is kept for the test to look at after join().
class ScriptedPeer
{
public:
    explicit ScriptedPeer(std::function<std::string(int n)> script) : m_script(std::move(script))
    {
        m_thread = std::thread([this] {
            loopback::Fd c = m_listener.accept();
            if (c.get() < 0)
                return;
            std::size_t seen = 0;
            char buf[4096];
            while (true) {
                pollfd p{c.get(), POLLIN, 0};
                if (::poll(&p, 1, 20000) != 1)
                    return;
                const ssize_t n = ::recv(c.get(), buf, sizeof buf, 0);
                if (n <= 0)
                    return;
                m_received.append(buf, static_cast<std::size_t>(n));
                for (std::size_t at; (at = m_received.find("\r\n\r\n", seen)) != std::string::npos;) {
                    seen = at + 4;
                    const std::string a = m_script(++m_requests);
                    if (!a.empty() && !loopback::sendAll(c.get(), a))
                        return;
                }
            }
        });
    }
    ~ScriptedPeer() { join(); }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    int port() const { return m_listener.port(); }
    int requests() const { return m_requests; }
    const std::string& received() const { return m_received; }

private:
    loopback::Listener m_listener;
    std::function<std::string(int n)> m_script;
    std::string m_received;
    int m_requests = 0;
    std::thread m_thread;
};

// Sets the stop flag after `limit` unless disarmed first: a rule that fails to end the stream
// then shows as End::Stopped rather than as a hang.
class StopGuard
{
public:
    StopGuard(std::atomic<std::int32_t>& stop, std::chrono::seconds limit)
        : m_thread([this, &stop, limit] {
              const auto until = std::chrono::steady_clock::now() + limit;
              while (!m_done && std::chrono::steady_clock::now() < until)
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              if (!m_done)
                  stop.store(1);
          })
    {
    }
    ~StopGuard()
    {
        m_done = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

struct Seen
{
    std::vector<std::string> userData; // of the 200 heads, in order
    std::vector<std::string> bodies;
};

PipelinedReader::Hooks recordingHooks(Seen& seen, std::size_t stopAfterBodies)
{
    PipelinedReader::Hooks h;
    h.pause = [](std::uint32_t) { return true; };
    h.onHead = [&seen](const MjpegGatherer::Answer& a) { seen.userData.push_back(a.userData.value_or("")); };
    h.onBody = [&seen, stopAfterBodies](ByteView b, PipelinedReader& reader) {
        reader.bodyShown();
        seen.bodies.emplace_back(reinterpret_cast<const char*>(b.data()), b.size());
        return seen.bodies.size() >= stopAfterBodies ? PipelinedReader::BodyStep::Stop
                                                     : PipelinedReader::BodyStep::GoOn;
    };
    return h;
}

} // namespace

TEST(PipelinedReader, BusyAnswersAreCountedAndWrapWhileFramesGoToTheHooks)
{
    const std::string a(300, 'a'), b(400, 'b');
    struct Case
    {
        std::int32_t countBefore;
        std::int32_t countAfter; // after two 503 answers
    };
    for (const Case c : {Case{0, 2}, Case{65528, 0}, Case{65529, 1}}) {
        ScriptedPeer peer([&](int n) -> std::string {
            switch (n) {
            case 1:
            case 3:
                return k503;
            case 2:
                return ok200(a, "two");
            case 4:
                return ok200(b, "four");
            default:
                return "";
            }
        });
        std::atomic<std::int32_t> stop{0}, timeOut{30}, count503{c.countBefore};
        CWSClient s;
        ASSERT_EQ(s.Connect(peer.port(), "127.0.0.1", 3), 0);
        Seen seen;
        PipelinedReader reader(s, kQuickRules, stop, timeOut, count503, recordingHooks(seen, 2));
        const StopGuard guard(stop, std::chrono::seconds(20));
        EXPECT_EQ(reader.run(kRequest), PipelinedReader::End::Stopped);
        EXPECT_EQ(stop.load(), 0) << "the second frame, not the guard, ends the stream";
        EXPECT_EQ(count503.load(), c.countAfter) << c.countBefore;
        EXPECT_EQ(seen.userData, (std::vector<std::string>{"two", "four"}));
        EXPECT_EQ(seen.bodies, (std::vector<std::string>{a, b}));
        s.CloseConnection();
    }
}

TEST(PipelinedReader, SixteenUnansweredRequestsThenTheAnswerTimeoutReconnects)
{
    ScriptedPeer peer([](int) { return std::string(); }); // a camera that never answers
    std::atomic<std::int32_t> stop{0}, timeOut{0}, count503{0};
    CWSClient s;
    ASSERT_EQ(s.Connect(peer.port(), "127.0.0.1", 3), 0);
    Seen seen;
    PipelinedReader reader(s, kQuickRules, stop, timeOut, count503, recordingHooks(seen, 1));
    {
        const StopGuard guard(stop, std::chrono::seconds(20));
        EXPECT_EQ(reader.run(kRequest), PipelinedReader::End::Reconnect);
    }
    s.CloseConnection();
    peer.join();
    EXPECT_EQ(peer.requests(), PipelinedReader::kMaxUnanswered);
    std::string expected;
    for (int i = 0; i < PipelinedReader::kMaxUnanswered; ++i)
        expected += kRequest;
    EXPECT_EQ(peer.received(), expected);
    EXPECT_TRUE(seen.bodies.empty());
}

TEST(PipelinedReader, TheFourthFailedConnectInARowGivesUp)
{
    std::atomic<std::int32_t> stop{0}, timeOut{3}, count503{0};
    CWSClient s;
    std::vector<std::uint32_t> pauses;
    bool pauseGoesOn = true;
    PipelinedReader::Hooks h;
    h.pause = [&](std::uint32_t ms) {
        pauses.push_back(ms);
        return pauseGoesOn;
    };
    h.onHead = [](const MjpegGatherer::Answer&) {};
    h.onBody = [](ByteView, PipelinedReader&) { return PipelinedReader::BodyStep::GoOn; };
    PipelinedReader reader(s, kQuickRules, stop, timeOut, count503, std::move(h));
    using C = PipelinedReader::Connect;

    // A success in between starts the count afresh.
    const std::vector<std::pair<int, C>> steps = {{19, C::Retry}, {19, C::Retry}, {0, C::Connected},
                                                  {19, C::Retry}, {19, C::Retry}, {19, C::Retry},
                                                  {19, C::GiveUp}};
    for (std::size_t i = 0; i < steps.size(); ++i)
        EXPECT_EQ(reader.afterConnect(steps[i].first, 250), steps[i].second) << i;
    EXPECT_EQ(pauses, std::vector<std::uint32_t>(5, 250)) << "every retry rests, the give-up does not";

    // A stop during the rest ends the attempts.
    ASSERT_EQ(reader.afterConnect(0, 250), C::Connected);
    pauseGoesOn = false;
    EXPECT_EQ(reader.afterConnect(19, 250), C::Stopped);
}
