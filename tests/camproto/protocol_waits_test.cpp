// Every datagram wait has one deadline: a peer that streams datagrams which are not the answer
// (oversized ones, junk, replies to another request) cannot hold a call past its own time-out.
// The calls run on the simulated clock (sim_clock.h): the peer moves it on by one step for each
// datagram, so the clock says how long the call waited, exactly and whatever the machine's load.
#include "fake_peers.h"
#include "sim_clock.h"

#include "camproto/config_udp.h"
#include "camproto/discovery_extinfo.h"
#include "camproto/discovery_search.h"
#include "camproto/probe_udp.h"

#include <gtest/gtest.h>

#include <functional>

namespace tessivor::camproto {
namespace {

using testing::Datagram;
using testing::SimClock;
using testing::StreamingPeer;

constexpr std::uint32_t kStepMs = 100;

struct Case
{
    const char* what;
    Datagram junk;
    // Runs the call against the peer's port; returns the call's result value.
    std::function<int(std::uint16_t port)> call;
    int result;                 // what the call gives when nothing usable came
    std::uint32_t ownTimeoutMs; // all its waits added up
};

Datagram junk(std::size_t size, std::uint8_t fill)
{
    return Datagram(size, fill);
}

std::vector<Case> cases()
{
    const Mac mac{0x10, 0x10, 0x10, 0x10, 0x10, 0x42};
    return {
        {"configuration read: three passes of one 5 s wait", junk(4000, 0xAB),
         [mac](std::uint16_t port) {
             ConfigTransfer t;
             t.host = "127.0.0.1";
             t.port = port;
             t.mac = mac;
             return readConfigUdp(t).result;
         },
         0, 3 * 5000},
        {"configuration write: three sends of piece 0, 6 s each", junk(4000, 0xAB),
         [mac](std::uint16_t port) {
             ConfigBlock block{};
             ConfigWriteRequest w;
             w.transfer.host = "127.0.0.1";
             w.transfer.port = port;
             w.transfer.mac = mac;
             return writeConfigUdp(block, w).result;
         },
         0, 3 * 6000},
        {"search of all devices: one 6 s pass", junk(20, 0x00),
         [](std::uint16_t port) {
             BroadcastSearchRequest r;
             r.sequence = 0x0203;
             r.address = "127.0.0.1";
             r.port = port;
             return searchBroadcast(r).result;
         },
         -1, 6000},
        {"targeted search: five 6 s passes", junk(20, 0x00),
         [](std::uint16_t port) {
             BroadcastSearchRequest r;
             r.sequence = 0x0203;
             r.target = "198.18.0.5";
             r.address = "127.0.0.1";
             r.port = port;
             return searchBroadcast(r).result;
         },
         0, 5 * 6000},
        {"probe: three tries of 6 s, replies to another request skipped", junk(244, 0x00),
         [](std::uint16_t port) {
             UdpProbeRequest r;
             r.sequence = 11;
             r.host = "127.0.0.1";
             r.port = port;
             return probeUdp(r).result;
         },
         0, 3 * 6000},
        {"extended information: one 10 s wait, another camera's replies skipped", junk(530, 0x00),
         [mac](std::uint16_t port) {
             ExtendedInfoRequest r;
             r.sequence = 77;
             r.mac = mac;
             r.address = "127.0.0.1";
             r.port = port;
             return queryExtendedInfo(r).result;
         },
         0, 10000},
    };
}

class ProtocolWaits : public ::testing::Test
{
protected:
    void SetUp() override { installClock(&clock); }
    void TearDown() override { installClock(nullptr); }
    SimClock clock;
};

TEST_F(ProtocolWaits, SilentPeerEndsEachCallAfterExactlyItsOwnTimeOut)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        StreamingPeer<SimClock> peer(clock, c.junk, kStepMs, 0); // asks nothing, sends nothing
        const std::uint32_t start = clock.tickCount();
        EXPECT_EQ(c.call(peer.port()), c.result);
        EXPECT_EQ(clock.tickCount() - start, c.ownTimeoutMs);
        EXPECT_GE(peer.requests(), 1) << "the request went out";
    }
}

TEST_F(ProtocolWaits, StreamingPeerCannotHoldACallPastItsOwnTimeOut)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        // The stream lasts three times the call's whole time-out and ten seconds more.
        StreamingPeer<SimClock> peer(clock, c.junk, kStepMs, 3 * c.ownTimeoutMs + 10000);
        clock.watchBusy([&peer] { return peer.busy(); });
        const std::uint32_t start = clock.tickCount();
        EXPECT_EQ(c.call(peer.port()), c.result);
        const std::uint32_t waited = clock.tickCount() - start;
        EXPECT_TRUE(peer.busy()) << "the call returned only after the stream ended (" << waited << " ms)";
        EXPECT_GE(waited, c.ownTimeoutMs) << "no wait ends early";
        // Each wait may see one step of the peer's clock beyond its end; there are at most five.
        EXPECT_LE(waited, c.ownTimeoutMs + 5 * kStepMs);
        EXPECT_GE(peer.sent(), 1) << "the peer streamed";
        clock.watchBusy({});
    }
}

} // namespace
} // namespace tessivor::camproto
