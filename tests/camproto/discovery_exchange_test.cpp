// The datagram exchanges and the "/DevInfo.CGI" read against scripted peers on loopback (the
// search is pointed at the peer instead of the broadcast address; the namespace tests cover the
// broadcast itself). Waits run on the simulated clock: a silence costs a short real grace.
#include "fake_peers.h"
#include "sim_clock.h"

#include "camproto/discovery_extinfo.h"
#include "camproto/discovery_search.h"
#include "camproto/probe_devinfo_cgi.h"
#include "camproto/probe_udp.h"
#include "io/datagram_socket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <future>

namespace tessivor::camproto {
namespace {

using testing::Datagram;
using testing::FakeDatagramPeer;
using testing::FakeTcpPeer;

class Exchanges : public ::testing::Test
{
protected:
    void SetUp() override { installClock(&clock); }
    void TearDown() override { installClock(nullptr); }
    testing::SimClock clock{250};
};

// A reply to `request`: its header with another MAC and status, `size` bytes in all.
Datagram reply(const Datagram& request, std::size_t size, std::uint16_t status, std::uint8_t macLast,
               int sequenceDelta = 0)
{
    Datagram d(size, 0);
    std::memcpy(d.data(), request.data(), std::min<std::size_t>(18, request.size()));
    d[3] = static_cast<std::uint8_t>(d[3] + sequenceDelta);
    for (int i = 6; i < 11; ++i)
        d[static_cast<std::size_t>(i)] = 0x10;
    d[11] = macLast;
    d[16] = static_cast<std::uint8_t>(status & 0xFF);
    d[17] = static_cast<std::uint8_t>(status >> 8);
    if (size >= 174) {
        d[170] = 198;
        d[171] = 18;
        d[172] = 0;
        d[173] = macLast;
        d[12] = 198;
        d[13] = 18;
        d[14] = 0;
        d[15] = macLast;
    }
    return d;
}

BroadcastSearchRequest searchAt(const FakeDatagramPeer& peer, std::vector<DeviceRecord>* seen)
{
    BroadcastSearchRequest r;
    r.sequence = 0x0203;
    r.address = "127.0.0.1";
    r.port = peer.port();
    r.addIfNew = [seen](const DeviceRecord& rec) {
        seen->push_back(rec);
        return true;
    };
    return r;
}

TEST_F(Exchanges, SearchTakesOnlyRecordsOfItsRequest)
{
    FakeDatagramPeer peer([](const Datagram& q) {
        return std::vector<Datagram>{
            reply(q, 244, 2, 1), reply(q, 244, 2, 9, -1), // an answer to an older request
            reply(q, 244, 0, 8),                          // not a device record
            reply(q, 300, 2, 7),                          // larger than a record: dropped
            reply(q, 30, 2, 6),                           // short: the rest reads as zero, still a record
            reply(q, 244, 2, 2),
        };
    });
    std::vector<DeviceRecord> seen;
    const auto result = searchBroadcast(searchAt(peer, &seen));
    EXPECT_EQ(result.status, SearchStatus::Completed);
    EXPECT_EQ(result.result, -1);
    EXPECT_EQ(result.passes, 1);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].macText(), "16.16.16.16.16.1");
    EXPECT_EQ(seen[1].macText(), "16.16.16.16.16.6");
    EXPECT_EQ(seen[1].name(), "");
    EXPECT_EQ(seen[2].macText(), "16.16.16.16.16.2");
    const Datagram sent = peer.lastRequest();
    EXPECT_EQ(sent, Datagram({0xFD, 0xFD, 0x02, 0x03, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0,
                              0, 0, 0}));
}

TEST_F(Exchanges, TargetedSearchEndsAtTheTargetOrAfterFivePasses)
{
    FakeDatagramPeer peer([](const Datagram& q) { return std::vector<Datagram>{reply(q, 244, 2, 5)}; });
    std::vector<DeviceRecord> seen;
    auto r = searchAt(peer, &seen);
    r.target = "198.18.0.5";
    auto found = searchBroadcast(r);
    EXPECT_EQ(found.status, SearchStatus::TargetFound);
    EXPECT_EQ(found.result, -1);
    EXPECT_TRUE(seen.empty()) << "a targeted search keeps no record";

    r.target = "198.18.0.99";
    const int before = peer.requests();
    auto missing = searchBroadcast(r);
    EXPECT_EQ(missing.status, SearchStatus::TargetNotFound);
    EXPECT_EQ(missing.result, 0);
    EXPECT_EQ(missing.passes, 5);
    EXPECT_EQ(peer.requests() - before, 5);

    // A camera listed already (by the multicast search) does not count as the target.
    r.target = "198.18.0.5";
    r.known = [](const Mac& mac) { return mac[5] == 5; };
    EXPECT_EQ(searchBroadcast(r).result, 0);
}

TEST_F(Exchanges, SearchThatNeverSentFailsAndAStoppedOneEnds)
{
    std::vector<DeviceRecord> seen;
    BroadcastSearchRequest r;
    r.address = "not an address";
    r.addIfNew = [&](const DeviceRecord& rec) {
        seen.push_back(rec);
        return true;
    };
    auto notSent = searchBroadcast(r);
    EXPECT_EQ(notSent.status, SearchStatus::NotSent);
    EXPECT_EQ(notSent.result, 0) << "a search whose request never went out found nothing";

    r.address = "127.0.0.1";
    r.searching = [] { return false; };
    auto stopped = searchBroadcast(r);
    EXPECT_EQ(stopped.status, SearchStatus::Stopped);
    EXPECT_EQ(stopped.result, 0);
}

TEST_F(Exchanges, WakeSignalEndsAWaitingSearch)
{
    installClock(nullptr); // the real clock: only the signal can end this wait
    FakeDatagramPeer peer([](const Datagram&) { return std::vector<Datagram>{}; });
    std::vector<DeviceRecord> seen;
    WakeSignal stop;
    auto r = searchAt(peer, &seen);
    r.waitMs = 24 * 3600 * 1000; // only the signal can end this wait
    r.wakes = {&stop};
    auto running = std::async(std::launch::async, [&] { return searchBroadcast(r); });
    while (peer.requests() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop.raise();
    const auto result = running.get();
    EXPECT_EQ(result.status, SearchStatus::Completed) << "the pass ended, none was left";
    EXPECT_EQ(result.result, -1);
}

TEST_F(Exchanges, ExtendedInformationKeepsOnlyMatchingReplies)
{
    const Mac mac{0x10, 0x10, 0x10, 0x10, 0x10, 0x42};
    auto ext = [](const Datagram& q, std::uint8_t macLast, std::uint16_t status, const char* text) {
        Datagram d = reply(q, 530, status, macLast);
        std::memcpy(d.data() + 149, text, std::strlen(text));
        d[279] = 0x90;
        d[280] = 0x1F;
        return d;
    };
    struct Case
    {
        const char* what;
        std::function<std::vector<Datagram>(const Datagram&)> answers;
        int result;
        ExtendedInfoError error;
        const char* kept; // text 1 of the kept reply; null: none kept
    };
    const Case cases[] = {
        {"valid after others",
         [&](const Datagram& q) {
             return std::vector<Datagram>{ext(q, 0x77, 0, "other camera"), ext(q, 0x42, 1, "busy"),
                                          ext(q, 0x42, 0, "valid")};
         },
         -1, ExtendedInfoError::None, "valid"},
        {"status 1 then nothing",
         [&](const Datagram& q) { return std::vector<Datagram>{ext(q, 0x42, 1, "busy")}; }, 0,
         ExtendedInfoError::NoReply, "busy"},
        {"only another camera",
         [&](const Datagram& q) { return std::vector<Datagram>{ext(q, 0x77, 0, "other camera")}; }, 0,
         ExtendedInfoError::NoReply, nullptr},
    };
    for (const Case& c : cases) {
        FakeDatagramPeer peer(c.answers);
        ExtendedInfoRequest r;
        r.sequence = 77;
        r.mac = mac;
        r.address = "127.0.0.1";
        r.port = peer.port();
        const auto result = queryExtendedInfo(r);
        EXPECT_EQ(result.result, c.result) << c.what;
        EXPECT_EQ(result.error, c.error) << c.what;
        ASSERT_EQ(result.reply.has_value(), c.kept != nullptr) << c.what;
        if (c.kept) {
            EXPECT_EQ(extendedInfoText(*result.reply, 0), c.kept) << c.what;
        }
        EXPECT_EQ(result.webPort.has_value(), c.result == -1) << c.what;
        if (result.webPort) {
            EXPECT_EQ(*result.webPort, 8080) << c.what;
        }
    }
}

TEST_F(Exchanges, LocalityCheckIsDecidedByTheFirstDatagram)
{
    const Mac mac{0x10, 0x10, 0x10, 0x10, 0x10, 0x42};
    struct Case
    {
        const char* what;
        std::vector<std::pair<std::uint8_t, std::uint16_t>> answers; // MAC last byte, status
        int result;
        bool challenge;
    };
    const Case cases[] = {
        {"no login", {{0x42, 0}}, -1, false},
        {"login needed", {{0x42, 256}}, -1, true},
        {"another camera first", {{0x43, 0}, {0x42, 0}}, 0, false},
        {"other status", {{0x42, 5}}, 0, false},
        {"nothing", {}, 0, false},
    };
    for (const Case& c : cases) {
        FakeDatagramPeer peer([&](const Datagram& q) {
            std::vector<Datagram> out;
            for (auto [last, status] : c.answers) {
                Datagram d = reply(q, 98, status, last);
                for (std::size_t i = 18; i < 98; ++i)
                    d[i] = static_cast<std::uint8_t>(i);
                out.push_back(d);
            }
            return out;
        });
        LocalityCheckRequest r;
        r.sequence = 9;
        r.mac = mac;
        r.address = "127.0.0.1";
        r.port = peer.port();
        const auto result = checkLocality(r);
        EXPECT_EQ(result.result, c.result) << c.what;
        ASSERT_EQ(result.challenge.has_value(), c.challenge) << c.what;
        if (c.challenge) {
            EXPECT_EQ((*result.challenge)[0], 18) << c.what;
            EXPECT_EQ((*result.challenge)[79], 97) << c.what;
        }
        const Datagram q = peer.lastRequest();
        ASSERT_EQ(q.size(), 18u) << c.what;
        EXPECT_EQ(q[5], 0x12) << c.what;
        EXPECT_EQ(q[11], 0x42) << c.what;
        EXPECT_EQ(q[16], 0) << c.what;
    }
}

TEST_F(Exchanges, UdpProbeSkipsForeignRepliesAndTriesThreeTimes)
{
    FakeDatagramPeer answering([](const Datagram& q) {
        return std::vector<Datagram>{reply(q, 244, 2, 3, 1), reply(q, 244, 2, 4)};
    });
    UdpProbeRequest r;
    r.sequence = 11;
    r.host = "127.0.0.1";
    r.port = answering.port();
    const auto found = probeUdp(r);
    EXPECT_EQ(found.result, -1);
    ASSERT_TRUE(found.record);
    EXPECT_EQ(found.record->macText(), "16.16.16.16.16.4");
    EXPECT_EQ(answering.lastRequest()[16], 0x77);

    FakeDatagramPeer silent([](const Datagram&) { return std::vector<Datagram>{}; });
    r.port = silent.port();
    EXPECT_EQ(probeUdp(r).result, 0);
    EXPECT_EQ(silent.requests(), 3);
}

std::string devInfo(std::size_t bodySize, std::uint8_t macByte)
{
    std::string body(bodySize, 'b');
    for (std::size_t i = 0; i < 6 && 204 + i < body.size(); ++i)
        body[204 + i] = static_cast<char>(macByte + i); // record bytes 222-227
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(bodySize) + "\r\n\r\n" + body;
}

TEST_F(Exchanges, DevInfoCgiReadsWithinItsBuffer)
{
    struct Case
    {
        const char* what;
        std::string answer;
        int result;
        std::size_t body;
        int connections;
    };
    const Case cases[] = {
        {"record body", devInfo(226, 1), -1, 226, 1},
        {"a long body is cut to the record", devInfo(900, 1), -1, 226, 1},
        {"answer far larger than the buffer", devInfo(1000, 1) + std::string(20000, 'x'), -1, 226, 1},
        {"not found", "HTTP/1.0 404 Not Found\r\n\r\n", 0, 0, 3},
        {"silent camera: each time-out counts twice", "", 0, 0, 2},
    };
    for (const Case& c : cases) {
        FakeTcpPeer peer(c.answer);
        DevInfoCgiRequest r;
        r.host = "127.0.0.1";
        r.port = peer.port();
        r.userName = "viewer";
        r.authorization = "dmlld2VyOnB3";
        const auto result = getDevInfoCgi(r);
        EXPECT_EQ(result.result, c.result) << c.what;
        EXPECT_EQ(result.body.has_value(), c.result == -1) << c.what;
        if (result.body) {
            EXPECT_EQ(result.body->size(), c.body) << c.what;
        }
        EXPECT_EQ(peer.connections(), c.connections) << c.what;
        EXPECT_EQ(peer.lastHead(), "GET /DevInfo.CGI HTTP/1.0\r\nUser-Agent: viewer\r\n"
                                   "Authorization: Basic dmlld2VyOnB3\r\n\r\n")
            << c.what;
    }
}

TEST(DevInfoCgiHead, ProxyFormNamesTheCamera)
{
    DevInfoCgiRequest r;
    r.viaProxy = true;
    r.remoteHost = "198.18.0.11";
    r.remotePort = 8080;
    r.userName = "u";
    r.authorization = "dTpw";
    EXPECT_EQ(devInfoCgiRequestHead(r), "GET HTTP://198.18.0.11:8080/DevInfo.CGI HTTP/1.0\r\n"
                                        "Proxy-Connection: Keep-Alive\r\nHost: 198.18.0.11\r\n"
                                        "User-Agent: u\r\nAuthorization: Basic dTpw\r\n\r\n");
}

} // namespace
} // namespace tessivor::camproto
