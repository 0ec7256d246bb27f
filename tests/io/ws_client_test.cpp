// The socket client against plain POSIX peers on 127.0.0.1.
#include "io/data_source.h"
#include "io/ws_client.h"
#include "loopback_peer.h"
#include "platform/control_window.h"
#include "scratch_dir.h"
#include "unresolvable_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

using namespace tessivor;

using loopback::Fd;
using loopback::Listener;
using loopback::msSince;
using Clock = std::chrono::steady_clock;

namespace {

bool fdIsOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

// Fills the accept queue of a listener with backlog 0, so that the next SYN is dropped and a
// connect to it hangs. Returns the connections that made it (they must stay open).
std::vector<Fd> fillBacklog(const Listener& listener)
{
    std::vector<Fd> fillers;
    for (int i = 0; i < 16; ++i) {
        Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        sockaddr_in a = loopback::address(listener.port());
        ::connect(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
        pollfd p{fd.get(), POLLOUT, 0};
        const bool done = ::poll(&p, 1, 300) == 1;
        fillers.push_back(std::move(fd));
        if (!done)
            return fillers; // this one hangs: the queue is full
    }
    throw std::runtime_error("the accept queue never filled");
}

// Records every code that passes the error hook.
class RecordingClient : public CWSClient
{
public:
    std::vector<int> codes;
    int connectedResult = 0;
    std::string connectedPeer;

    int OnError(int code) override
    {
        codes.push_back(code);
        return code;
    }
    int OnConnected(int /*socket*/, const char* peer) override
    {
        connectedPeer = peer;
        return connectedResult;
    }
};

// A connected pair: the client under test and the accepted peer end.
struct Connected
{
    Listener listener;
    CWSClient client;
    Fd peer;

    Connected()
    {
        if (client.Connect(listener.port(), "127.0.0.1", 3) != 0)
            throw std::runtime_error("connect failed");
        peer = listener.accept();
    }
};

} // namespace

// ---- connect ----

TEST(WSClientConnect, RefusedPortFailsAtOnceAndLeavesNoSocket)
{
    const int port = loopback::closedPort();
    for (int timeout : {3, -1}) {
        SCOPED_TRACE(timeout);
        CWSClient client;
        const auto start = Clock::now();
        EXPECT_EQ(client.Connect(port, "127.0.0.1", timeout), CWSClient::WSC_CONNECT_FAILED);
        // A refusal must not wait for the time-out (3 s).
        EXPECT_LT(msSince(start), 1500);
        EXPECT_EQ(client.GetSocket(), -1);
    }
}

TEST(WSClientConnect, FullBacklogTimesOutAfterTheConnectTimeOut)
{
    Listener listener(0);
    auto fillers = fillBacklog(listener);
    CWSClient client;
    const auto start = Clock::now();
    EXPECT_EQ(client.Connect(listener.port(), "127.0.0.1", 1), CWSClient::WSC_CONNECT_TIMEOUT);
    const auto elapsed = msSince(start);
    EXPECT_GE(elapsed, 900);
    EXPECT_LT(elapsed, 10000); // hang guard
    EXPECT_EQ(client.GetSocket(), -1);
    // The object is ready for another attempt.
    Listener open;
    EXPECT_EQ(client.Connect(open.port(), "127.0.0.1", 3), 0);
}

TEST(WSClientConnect, SecondConnectIsRefusedAndTheFirstStaysUsable)
{
    Connected c;
    Listener other;
    EXPECT_EQ(c.client.Connect(other.port(), "127.0.0.1", 3), CWSClient::WSC_ALREADY_OPEN);
    EXPECT_EQ(c.client.Send("ping", 4), 4);
    EXPECT_EQ(loopback::readAll(c.peer.get(), 4), "ping");
    EXPECT_EQ(c.client.GetRemotePort(), c.listener.port());
    EXPECT_NE(c.client.GetLocalPort(), 0);
}

TEST(WSClientConnect, NamesAreLookedUpAndUnknownNamesGive100)
{
    Listener listener;
    CWSClient client;
    EXPECT_EQ(client.Connect(listener.port(), "localhost", 3), 0);
    client.CloseConnection();
    EXPECT_EQ(client.Connect(listener.port(), unresolvableHost().c_str(), 3), CWSClient::WSC_LOOKUP_FAILED);
}

TEST(WSClientConnect, HookSeesEveryResultAndOnConnectedCanAbort)
{
    Listener listener;
    RecordingClient client;
    client.connectedResult = 42;
    EXPECT_EQ(client.Connect(listener.port(), "127.0.0.1", 3), 42);
    EXPECT_EQ(client.connectedPeer, "127.0.0.1");
    EXPECT_EQ(client.GetSocket(), -1);
    ASSERT_FALSE(client.codes.empty());
    EXPECT_EQ(client.codes.back(), 42);

    client.connectedResult = 0;
    client.codes.clear();
    EXPECT_EQ(client.Connect(listener.port(), "127.0.0.1", 3), 0);
    EXPECT_EQ(client.codes.back(), 0);
}

TEST(WSClientConnect, StoredTimeOutsAreAppliedToTheNextConnection)
{
    Listener listener;
    CWSClient client;
    EXPECT_EQ(client.GetReceiveTimeOut(), 30000);
    EXPECT_EQ(client.SetReceiveTimeOut(1500), 0);
    EXPECT_EQ(client.SetSendTimeOut(2500), 0);
    ASSERT_EQ(client.Connect(listener.port(), "127.0.0.1", 3), 0);
    timeval tv{};
    socklen_t len = sizeof tv;
    ASSERT_EQ(::getsockopt(client.GetSocket(), SOL_SOCKET, SO_RCVTIMEO, &tv, &len), 0);
    EXPECT_EQ(tv.tv_sec * 1000 + tv.tv_usec / 1000, 1500);
    ASSERT_EQ(::getsockopt(client.GetSocket(), SOL_SOCKET, SO_SNDTIMEO, &tv, &len), 0);
    EXPECT_EQ(tv.tv_sec * 1000 + tv.tv_usec / 1000, 2500);
}

// ---- closing from another thread ----

TEST(WSClientClose, CloseFromAnotherThreadWakesABlockedReceive)
{
    Connected c;
    std::promise<void> started;
    std::atomic<long long> returnedAt{0};
    int result = 99;
    std::thread reader([&] {
        char buf[16];
        started.set_value();
        result = c.client.Receive(buf, sizeof buf, 0); // blocks: no wait, 30 s receive time-out
        returnedAt = Clock::now().time_since_epoch().count();
    });
    started.get_future().wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // let it block in recv()
    const auto closedAt = Clock::now();
    EXPECT_EQ(c.client.CloseConnection(), 0);
    reader.join();
    const auto woke = std::chrono::duration_cast<std::chrono::milliseconds>(
        Clock::time_point(Clock::duration(returnedAt.load())) - closedAt);
    // Woken by the close, not by the 30-s receive time-out (however slowly the machine runs).
    EXPECT_LT(woke.count(), 10000);
    EXPECT_LE(result, 0);
}

TEST(WSClientClose, CloseFromAnotherThreadWakesWaitsOfEveryKind)
{
    struct Case
    {
        const char* name;
        std::function<int(CWSClient&)> open;
        std::function<void(CWSClient&)> wait;
    };
    Listener full(0);
    auto fillers = fillBacklog(full);
    Listener quiet;
    const std::vector<Case> cases{
        {"receive with time-out", [&](CWSClient& c) { return c.Connect(quiet.port(), "127.0.0.1", 3); },
         [](CWSClient& c) {
             char b[8];
             c.Receive(b, sizeof b, 30);
         }},
        {"line", [&](CWSClient& c) { return c.Connect(quiet.port(), "127.0.0.1", 3); },
         [](CWSClient& c) {
             char b[8];
             c.ReceiveTextLine(b, sizeof b, 30);
         }},
        {"datagram", [](CWSClient& c) { return c.CreateUdpSocket(0, 9, "127.0.0.1", nullptr); },
         [](CWSClient& c) {
             char b[8];
             int size = sizeof b;
             EXPECT_EQ(c.ReceiveFrom(b, &size, 30), CWSClient::WSC_RECEIVE_ERROR);
         }},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        CWSClient client;
        ASSERT_EQ(tc.open(client), 0);
        const auto start = Clock::now();
        std::thread waiter([&] { tc.wait(client); });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        client.CloseConnection();
        waiter.join();
        EXPECT_LT(msSince(start), 5000); // the waits were 30 s
    }
    // A connect that is still waiting for its answer ends as a failed connect.
    CWSClient connecting;
    std::atomic<int> result{-1};
    const auto start = Clock::now();
    std::thread waiter([&] { result = connecting.Connect(full.port(), "127.0.0.1", 30); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    connecting.CloseConnection();
    waiter.join();
    EXPECT_LT(msSince(start), 5000);
    EXPECT_EQ(result.load(), CWSClient::WSC_CONNECT_FAILED);
}

namespace {

// Holds every receive inside the call until released, to show when the descriptor is closed.
class GatedClient : public CWSClient
{
public:
    std::mutex m;
    std::condition_variable cv;
    bool inside = false;
    bool release = false;

    int SocketRecv(int socket, void* buffer, int size, int flags) override
    {
        const int n = CWSClient::SocketRecv(socket, buffer, size, flags);
        std::unique_lock lock(m);
        inside = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
        return n;
    }
};

} // namespace

TEST(WSClientClose, DescriptorIsClosedOnlyAfterItsLastUser)
{
    Listener listener;
    GatedClient client;
    ASSERT_EQ(client.Connect(listener.port(), "127.0.0.1", 3), 0);
    Fd peer = listener.accept();
    const int fd = client.GetSocket();
    ASSERT_TRUE(loopback::sendAll(peer.get(), "x"));
    std::thread reader([&] {
        char b[4];
        client.Receive(b, sizeof b, 0);
    });
    {
        std::unique_lock lock(client.m);
        client.cv.wait(lock, [&] { return client.inside; });
    }
    EXPECT_EQ(client.CloseConnection(), 0);
    EXPECT_EQ(client.GetSocket(), -1);
    // The reader still holds the number: it must not have been released for reuse.
    EXPECT_TRUE(fdIsOpen(fd));
    {
        std::lock_guard lock(client.m);
        client.release = true;
    }
    client.cv.notify_all();
    reader.join();
    EXPECT_FALSE(fdIsOpen(fd));
}

// A worker that polls in short waits is between two calls as often as inside one, so a close
// from another thread lands at either point; the descriptor is released exactly once and only
// by the last user, whichever that is (under ThreadSanitizer a close that races a user shows).
TEST(WSClientClose, CloseRacingAPollingWorkerReleasesTheDescriptorOnce)
{
    Listener listener;
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        CWSClient client;
        ASSERT_EQ(client.Connect(listener.port(), "127.0.0.1", 3), 0);
        Fd peer = listener.accept();
        const int fd = client.GetSocket();
        std::atomic<int> polls{0};
        std::thread worker([&] {
            // Stops once the socket is gone, as the stream readers do.
            while (client.WaitForReceive(0, 1000) != 0 && client.GetSocket() >= 0)
                polls.fetch_add(1, std::memory_order_relaxed);
            char b[4];
            client.ReceiveDirect(b, sizeof b, MSG_DONTWAIT);
        });
        const auto limit = Clock::now() + std::chrono::seconds(20);
        while (polls.load(std::memory_order_relaxed) < 1 + round % 5 && Clock::now() < limit)
            std::this_thread::yield();
        EXPECT_EQ(client.CloseConnection(), 0);
        worker.join();
        EXPECT_EQ(client.GetSocket(), -1);
        EXPECT_FALSE(fdIsOpen(fd));
    }
}

TEST(WSClientClose, ResetWinsockClosesWhatItForgets)
{
    Connected c;
    const int fd = c.client.GetSocket();
    EXPECT_EQ(c.client.ResetWinsock(), 0);
    EXPECT_EQ(c.client.GetSocket(), -1);
    EXPECT_FALSE(fdIsOpen(fd));
    EXPECT_EQ(loopback::readAll(c.peer.get()), ""); // the peer sees the end at once
    EXPECT_EQ(c.client.GetRemotePort(), 0);
}

// ---- sending ----

TEST(WSClientSend, ResetPeerDuringSendIsAnErrorNotASignal)
{
    Connected c;
    linger hard{1, 0};
    ::setsockopt(c.peer.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    c.peer.reset(); // RST
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::string block(65536, 'a');
    int last = 1;
    for (int i = 0; i < 100 && last > 0; ++i)
        last = c.client.Send(block.data(), static_cast<int>(block.size()));
    EXPECT_EQ(last, 0); // and the process is still here
    EXPECT_LT(c.client.SendAll(block.data(), static_cast<int>(block.size())), static_cast<int>(block.size()));
    EXPECT_FALSE(c.client.IsConnected());
}

TEST(WSClientSend, SendAllDeliversEveryByteAndLinesArePieced)
{
    Connected c;
    std::string big(1 << 20, 0);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + 3);
    auto got = std::async(std::launch::async, [&] { return loopback::readAll(c.peer.get(), big.size()); });
    EXPECT_EQ(c.client.SendAll(big.data(), static_cast<int>(big.size())), static_cast<int>(big.size()));
    EXPECT_TRUE(got.get() == big);

    EXPECT_EQ(c.client.SendAsLines("abcdefgh", -1, 3), 8);
    EXPECT_EQ(c.client.Send("text", 0), 4); // length below 1: the text length
    EXPECT_EQ(loopback::readAll(c.peer.get(), 18), "abc\r\ndef\r\ngh\r\ntext");
}

TEST(WSClientSend, WithoutConnectionNothingIsSent)
{
    CWSClient client;
    EXPECT_EQ(client.Send("abc", 3), 0);
    EXPECT_EQ(client.SendAll("abc", 3), 0);
    int length = 3;
    EXPECT_EQ(client.SendTo("abc", &length), CWSClient::WSC_NO_SOCKET);
    char b[4];
    EXPECT_EQ(client.Receive(b, 4, 1), -1);
    EXPECT_EQ(client.ReceiveAll(b, 4, 1), 0);
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(client.WaitForReceive(0, 0), 1);
}

// ---- receiving ----

TEST(WSClientReceive, UntilMarkerLeavesTheBodyInTheSocket)
{
    Connected c;
    const std::string header = "HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\n";
    ASSERT_TRUE(loopback::sendAll(c.peer.get(), header + "BODY"));
    char buf[256] = {};
    ASSERT_EQ(c.client.ReceiveUntilMarker(buf, sizeof buf, 3, CWSClient::MARKER_HEADER_END),
              static_cast<int>(header.size()));
    EXPECT_EQ(std::string(buf), header);
    char body[8] = {};
    EXPECT_EQ(c.client.ReceiveAll(body, 4, 3), 4);
    EXPECT_EQ(std::string(body), "BODY");
}

TEST(WSClientReceive, MarkerKinds)
{
    struct Case
    {
        int kind;
        std::string sent;
        std::string expected;
    };
    const std::vector<Case> cases{
        {CWSClient::MARKER_HTTP, "xxHTTP/1.0", "xxHTTP"},
        {CWSClient::MARKER_NONE, "abc", "a"},         // no marker: the first receive ends it
        {CWSClient::MARKER_HEADER_END, "abc", "abc"}, // no marker before the peer closes
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.kind);
        Connected c;
        ASSERT_TRUE(loopback::sendAll(c.peer.get(), tc.sent));
        c.peer.reset();
        // A buffer full of stale markers: only received bytes may be searched.
        char buf[64];
        for (std::size_t i = 0; i < sizeof buf; ++i)
            buf[i] = "\r\n\r\nHTTP"[i % 8];
        const int n = c.client.ReceiveUntilMarker(buf, sizeof buf, 3, tc.kind);
        EXPECT_EQ(std::string(buf, static_cast<std::size_t>(std::max(n, 0))), tc.expected);
    }
}

TEST(WSClientReceive, PacedKindZeroTakesTwoHundredAndOneBytes)
{
    Connected c;
    ASSERT_TRUE(loopback::sendAll(c.peer.get(), std::string(300, 'p')));
    char buf[512];
    EXPECT_EQ(c.client.ReceiveUntilMarkerPaced(buf, sizeof buf, 3, CWSClient::MARKER_NONE), 201);
    EXPECT_EQ(c.client.ReceiveAll(buf, 99, 3), 99);
}

TEST(WSClientReceive, TextLineIsCutAtSizeLessOneAndTakesNoMore)
{
    Connected c;
    ASSERT_TRUE(loopback::sendAll(c.peer.get(), "HTTP/1.0 200 OK\r\nnext\n"));
    char buf[10];
    EXPECT_EQ(c.client.ReceiveTextLine(buf, sizeof buf, 3), 9);
    EXPECT_STREQ(buf, "HTTP/1.0 ");
    EXPECT_EQ(c.client.ReceiveTextLine(buf, sizeof buf, 3), 8);
    EXPECT_STREQ(buf, "200 OK\r\n");
    EXPECT_EQ(c.client.ReceiveTextLine(buf, sizeof buf, 3), 5);
    EXPECT_STREQ(buf, "next\n");
}

TEST(WSClientReceive, TextLineEndsAtOnceWhenThePeerHasClosed)
{
    Connected c;
    ASSERT_TRUE(loopback::sendAll(c.peer.get(), "partial"));
    c.peer.reset();
    char buf[32];
    const auto start = Clock::now();
    EXPECT_EQ(c.client.ReceiveTextLine(buf, sizeof buf, 3), 7);
    EXPECT_STREQ(buf, "partial");
    EXPECT_EQ(c.client.ReceiveTextLine(buf, sizeof buf, 3), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_LT(msSince(start), 5000); // not 12 s of polling an ended connection
}

TEST(WSClientReceive, ReceiveAllReturnsWhatCameBeforeThePeerClosed)
{
    Connected c;
    ASSERT_TRUE(loopback::sendAll(c.peer.get(), std::string(40, 'z')));
    c.peer.reset();
    char buf[100];
    EXPECT_EQ(c.client.ReceiveAll(buf, sizeof buf, 3), 40);
    EXPECT_EQ(c.client.Receive(buf, sizeof buf, 1), 0); // closed
    EXPECT_FALSE(c.client.IsConnected());
}

TEST(WSClientReceive, ReceiveWaitRunsOutWithZero)
{
    Connected c;
    char buf[4];
    EXPECT_EQ(c.client.Receive(buf, sizeof buf, 1), 0);
    EXPECT_TRUE(c.client.IsConnected());
    EXPECT_EQ(c.client.WaitForReceive(0, 100000), 1);
    ASSERT_TRUE(loopback::sendAll(c.peer.get(), "ab"));
    EXPECT_EQ(c.client.WaitForReceive(2, 0), 0);
    EXPECT_TRUE(c.client.IsDataWaitingNow());
    EXPECT_EQ(c.client.ClearReceiveBuffer(), 0);
    EXPECT_FALSE(c.client.IsDataWaitingNow());
    EXPECT_TRUE(c.client.IsConnected());
}

TEST(WSClientReceive, ReceiveAvailableTakesWhatIsThereWithoutWaiting)
{
    Connected c;
    char buf[100];
    EXPECT_EQ(c.client.ReceiveAvailable(buf, sizeof buf), CWSClient::kNothingWaiting);
    ASSERT_TRUE(loopback::sendAll(c.peer.get(), std::string(60, 'q')));
    ASSERT_EQ(c.client.WaitForReceive(2, 0), 0);
    int got = 0;
    for (int n; got < 60 && (n = c.client.ReceiveAvailable(buf + got, sizeof buf - got)) != 0;) {
        if (n == CWSClient::kNothingWaiting)
            c.client.WaitForReceive(2, 0);
        else
            got += n;
        ASSERT_NE(n, -1);
    }
    EXPECT_EQ(std::string(buf, 60), std::string(60, 'q'));
    EXPECT_EQ(c.client.ReceiveAvailable(buf, sizeof buf), CWSClient::kNothingWaiting);
    c.peer.reset();
    ASSERT_EQ(c.client.WaitForReceive(2, 0), 0);
    EXPECT_EQ(c.client.ReceiveAvailable(buf, sizeof buf), 0); // closed
    c.client.CloseConnection();
    EXPECT_EQ(c.client.ReceiveAvailable(buf, sizeof buf), -1);
}

// ---- datagrams ----

TEST(WSClientDatagram, ExchangeOversizeAndTimeOut)
{
    Fd server(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in a = loopback::address(0);
    ASSERT_EQ(::bind(server.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    const int port = loopback::portOf(server.get());

    CWSClient client;
    ASSERT_EQ(client.CreateUdpSocket(0, port, "127.0.0.1", nullptr), 0);
    EXPECT_EQ(client.CreateUdpSocket(0, port, "127.0.0.1", nullptr), CWSClient::WSC_ALREADY_OPEN);
    int length = 5;
    ASSERT_EQ(client.SendTo("hello", &length), 0);
    EXPECT_EQ(length, 5);

    char got[16] = {};
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    ASSERT_EQ(::recvfrom(server.get(), got, sizeof got, 0, reinterpret_cast<sockaddr*>(&from), &fromLen), 5);
    EXPECT_STREQ(got, "hello");
    ASSERT_EQ(::sendto(server.get(), "0123456789", 10, 0, reinterpret_cast<sockaddr*>(&from), fromLen), 10);
    ASSERT_EQ(::sendto(server.get(), "abc", 3, 0, reinterpret_cast<sockaddr*>(&from), fromLen), 3);

    char buf[4] = {};
    int size = sizeof buf;
    EXPECT_EQ(client.ReceiveFrom(buf, &size, 2), CWSClient::WSC_SOCKET_CALL_FAILED); // larger than the buffer
    EXPECT_EQ(size, 4);
    EXPECT_EQ(std::string(buf, 4), "0123");
    size = sizeof buf;
    EXPECT_EQ(client.ReceiveFrom(buf, &size, 2), 0);
    EXPECT_EQ(size, 3);
    EXPECT_EQ(ntohs(client.GetPeerAddress().sin_port), port);
    size = sizeof buf;
    EXPECT_EQ(client.ReceiveFrom(buf, &size, 1), CWSClient::WSC_RECEIVE_TIMEOUT);
}

TEST(WSClientDatagram, BroadcastAddressNeedsNoLookUp)
{
    CWSClient client;
    EXPECT_EQ(client.CreateUdpSocket(0, 62976, "255.255.255.255", nullptr), 0);
    EXPECT_EQ(client.SetSocketOption(SO_BROADCAST, 1), 0);
    int on = 0;
    EXPECT_EQ(client.GetSocketOption(SO_BROADCAST, &on), 0);
    EXPECT_NE(on, 0);
    CWSClient unknown;
    EXPECT_EQ(unknown.CreateUdpSocket(0, 62976, unresolvableHost().c_str(), nullptr),
              CWSClient::WSC_LOOKUP_FAILED);
}

// ---- listening ----

TEST(WSClientListen, AcceptsAConnectionAndReportsThePeer)
{
    RecordingClient server;
    ASSERT_EQ(server.Listen(0, 4, AF_INET, "127.0.0.1"), 0);
    ASSERT_NE(server.GetListenPort(), 0);
    EXPECT_EQ(server.Listen(0, 4), CWSClient::WSC_ALREADY_OPEN);
    EXPECT_EQ(server.WaitForAccept(0), 1);
    CWSClient client;
    ASSERT_EQ(client.Connect(server.GetListenPort(), "127.0.0.1", 3), 0);
    EXPECT_EQ(server.WaitForAccept(3), 0);
    EXPECT_EQ(server.AcceptConnection(), 0);
    EXPECT_EQ(server.connectedPeer, "127.0.0.1");
    EXPECT_EQ(server.GetRemotePort(), client.GetLocalPort());
    EXPECT_EQ(client.SendAll("hi", 2), 2);
    char buf[2];
    EXPECT_EQ(server.ReceiveAll(buf, 2, 3), 2);
    EXPECT_EQ(server.CloseConnection(), 0);
    EXPECT_EQ(server.GetListenPort(), 0);
}

TEST(WSClientConnect, FromLocalPort)
{
    Listener listener;
    CWSClient client;
    const int local = loopback::closedPort();
    ASSERT_EQ(client.ConnectFromLocalPort(local, listener.port(), "127.0.0.1", "127.0.0.1"), 0);
    EXPECT_EQ(client.GetLocalPort(), local);
    CWSClient other;
    EXPECT_EQ(other.ConnectFromLocalPort(local, listener.port(), "127.0.0.1", "127.0.0.1"),
              CWSClient::WSC_BIND_FAILED);
    EXPECT_EQ(other.ConnectFromLocalPort(0, loopback::closedPort(), "127.0.0.1", "127.0.0.1"),
              CWSClient::WSC_CONNECT_FAILED);
}

// ---- look-ups ----

TEST(WSClientLookUp, NamesAddressesAndBufferSizes)
{
    CWSClient client;
    char buf[32] = {};
    EXPECT_EQ(client.GetAddressFromName("user@localhost", buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "127.0.0.1");
    EXPECT_EQ(client.GetAddressFromName("localhost", buf, 9), CWSClient::WSC_BUFFER_TOO_SMALL);
    EXPECT_EQ(client.GetAddressFromName("localhost", buf, 10), 0);
    EXPECT_EQ(client.GetAddressFromName(unresolvableHost().c_str(), buf, sizeof buf),
              CWSClient::WSC_HOST_NOT_FOUND);
    EXPECT_TRUE(CWSClient::IsAddress("10.1.2.3"));
    EXPECT_FALSE(CWSClient::IsAddress("255.255.255.255"));
    EXPECT_FALSE(CWSClient::IsAddress("camera.local"));
    EXPECT_FALSE(CWSClient::IsAddress(""));
    EXPECT_FALSE(CWSClient::IsAddress(nullptr));

    Connected c;
    EXPECT_EQ(c.client.GetLocalAddress(buf, sizeof buf, 1), 0);
    EXPECT_STREQ(buf, "127.0.0.1");
    EXPECT_EQ(c.client.GetLocalAddress(buf, 4, 1), 0); // cut to size - 1
    EXPECT_STREQ(buf, "127");
}

// ---- data sources ----

namespace {

// A memory source for the transfer tests.
class MemorySource : public CDataSource
{
public:
    std::string data;
    std::size_t pos = 0;
    bool failOpen = false;
    int acceptAtMost = -1; // Write takes at most this many bytes per call
    int opens = 0, closes = 0, lastMode = -1;

    CDataSource* Clone() override { return new MemorySource(*this); }
    std::int32_t Open(std::int32_t mode) override
    {
        if (failOpen)
            return -1;
        ++opens;
        lastMode = mode;
        if (mode == 1)
            data.clear();
        pos = mode == 2 ? data.size() : 0;
        return 0;
    }
    std::int32_t Close() override
    {
        ++closes;
        return 0;
    }
    std::int32_t ReadLine(char*, std::int32_t) override { return 0; }
    std::int32_t WriteLine(const char*) override { return 0; }
    std::int32_t Read(void* buffer, std::int32_t count) override
    {
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), data.size() - pos);
        std::memcpy(buffer, data.data() + pos, n);
        pos += n;
        return static_cast<std::int32_t>(n);
    }
    std::int32_t Write(const void* d, std::int32_t count) override
    {
        const std::int32_t n = acceptAtMost >= 0 ? std::min(count, acceptAtMost) : count;
        data.insert(pos, static_cast<const char*>(d), static_cast<std::size_t>(n));
        pos += static_cast<std::size_t>(n);
        return n;
    }
    std::int32_t Seek(std::int32_t offset, std::int32_t origin) override
    {
        const long long base = origin == 0 ? 0 : origin == 1 ? static_cast<long long>(pos) : data.size();
        pos = static_cast<std::size_t>(std::clamp<long long>(base + offset, 0, data.size()));
        return static_cast<std::int32_t>(pos);
    }
};

class AbortingClient : public CWSClient
{
public:
    int abortAfter = 1 << 30;
    std::vector<int> progress;
    bool OnReceiveProgress(int bytes) override
    {
        progress.push_back(bytes);
        return bytes < abortAfter;
    }
    bool OnSendProgress(int bytes) override
    {
        progress.push_back(bytes);
        return bytes < abortAfter;
    }
};

} // namespace

TEST(WSClientSource, SendFromSourceSendsAllAndReportsProgress)
{
    Listener listener;
    AbortingClient client;
    ASSERT_EQ(client.Connect(listener.port(), "127.0.0.1", 3), 0);
    Fd peer = listener.accept();
    MemorySource source;
    source.data = std::string(1000, 's');
    EXPECT_EQ(client.SendFromSource(&source), 0);
    EXPECT_EQ(source.opens, 1);
    EXPECT_EQ(source.lastMode, 0);
    EXPECT_EQ(source.closes, 1);
    EXPECT_EQ(loopback::readAll(peer.get(), 1000), source.data);
    EXPECT_EQ(client.progress, (std::vector<int>{255, 510, 765, 1000}));

    client.abortAfter = 300;
    client.progress.clear();
    EXPECT_EQ(client.SendFromSource(&source), CWSClient::WSC_ABORTED);
    EXPECT_EQ(client.progress, (std::vector<int>{255, 510}));
    source.failOpen = true;
    EXPECT_EQ(client.SendFromSource(&source), CWSClient::WSC_SOURCE_OPEN_FAILED);
    CWSClient unconnected;
    EXPECT_EQ(unconnected.SendFromSource(&source), CWSClient::WSC_NO_SOCKET);
}

TEST(WSClientSource, ReceiveToSourceModesLimitsAndFailures)
{
    struct Case
    {
        const char* name;
        int mode;
        int limit;
        int acceptAtMost;
        int abortAfter;
        int expected;
        std::size_t stored;
    };
    const std::vector<Case> cases{
        {"until the peer closes", 1, 0, -1, 1 << 30, 0, 1000},
        {"append", 2, 0, -1, 1 << 30, 0, 1003},
        {"limit", 1, 300, -1, 1 << 30, 0, 300},
        {"bad mode", 0, 0, -1, 1 << 30, CWSClient::WSC_BAD_OPEN_MODE, 3},
        {"short write", 1, 0, 10, 1 << 30, CWSClient::WSC_SOURCE_SHORT_WRITE, 10},
        {"aborted", 1, 0, -1, 500, CWSClient::WSC_ABORTED, 512},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        Listener listener;
        AbortingClient client;
        client.abortAfter = tc.abortAfter;
        ASSERT_EQ(client.Connect(listener.port(), "127.0.0.1", 3), 0);
        Fd peer = listener.accept();
        ASSERT_TRUE(loopback::sendAll(peer.get(), std::string(1000, 'r')));
        peer.reset();
        MemorySource sink;
        sink.data = "old";
        sink.acceptAtMost = tc.acceptAtMost;
        EXPECT_EQ(client.ReceiveToSource(&sink, tc.mode, 3, tc.limit), tc.expected);
        EXPECT_EQ(sink.data.size(), tc.stored);
        EXPECT_EQ(sink.opens, sink.closes);
    }
    MemorySource sink;
    sink.failOpen = true;
    Connected c;
    EXPECT_EQ(c.client.ReceiveToSource(&sink, 1, 1, 0), CWSClient::WSC_SOURCE_OPEN_FAILED);
    sink.failOpen = false;
    EXPECT_EQ(c.client.ReceiveToSource(&sink, 1, 1, 0), CWSClient::WSC_RECEIVE_TIMEOUT);
}

TEST(WSClientSource, ReceiveToOpenSourceStopsAtTheSourceSizeOrTheLimit)
{
    for (int limit : {0, 100}) {
        SCOPED_TRACE(limit);
        Connected c;
        ASSERT_TRUE(loopback::sendAll(c.peer.get(), std::string(1000, 'o')));
        MemorySource sink;
        sink.data = std::string(400, '-'); // an open source of 400 bytes, written from its start
        sink.Open(0);
        EXPECT_EQ(c.client.ReceiveToOpenSource(&sink, 3, limit), 0);
        EXPECT_EQ(sink.pos, limit ? 100u : 400u);
        EXPECT_EQ(sink.closes, 0);
        char rest[1000];
        EXPECT_EQ(c.client.ReceiveAll(rest, static_cast<int>(1000 - sink.pos), 3),
                  static_cast<int>(1000 - sink.pos));
    }
}

TEST(WSClientSource, FilesGoOutAndComeInWhole)
{
    ScratchDir scratch;
    const std::string dir = scratch.path().string();
    const std::string out = dir + "/out.bin";
    const std::string in = dir + "/in.bin";
    std::string content(5000, 0);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 31 + 1);
    {
        std::FILE* f = std::fopen(out.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }
    auto slurp = [](const std::string& name) {
        std::string s;
        if (std::FILE* f = std::fopen(name.c_str(), "rb")) {
            char b[4096];
            std::size_t n;
            while ((n = std::fread(b, 1, sizeof b, f)) > 0)
                s.append(b, n);
            std::fclose(f);
        }
        return s;
    };

    Connected c;
    EXPECT_EQ(c.client.SendFile(out.c_str()), 0);
    EXPECT_TRUE(loopback::readAll(c.peer.get(), content.size()) == content);
    EXPECT_EQ(c.client.SendFile((dir + "/no-such-file").c_str()), CWSClient::WSC_SOURCE_OPEN_FAILED);

    for (int mode : {1, 2}) {
        Connected r;
        ASSERT_TRUE(loopback::sendAll(r.peer.get(), content));
        r.peer.reset();
        EXPECT_EQ(r.client.ReceiveToFile(in.c_str(), mode, 3, 0), 0);
    }
    EXPECT_TRUE(slurp(in) == content + content); // mode 1 started it anew, mode 2 appended
}

// ---- notification window ----

namespace {

// Records the notifications with the thread they arrived on.
class NotifiedClient : public CWSClient
{
public:
    std::vector<std::pair<int, int>> selects; // event, error
    std::vector<int> byName, byAddr;
    std::vector<std::thread::id> threads;

    void OnAsyncSelect(int event, int error) override
    {
        selects.emplace_back(event, error);
        threads.push_back(std::this_thread::get_id());
    }
    void OnAsyncHostByName(int error) override
    {
        byName.push_back(error);
        threads.push_back(std::this_thread::get_id());
    }
    void OnAsyncHostByAddr(int error) override { byAddr.push_back(error); }
    bool saw(long event) const
    {
        return std::any_of(selects.begin(), selects.end(), [&](const auto& s) { return s.first == event; });
    }
};

template <class Pred> bool pumpUntil(Pred done, int ms = 5000)
{
    const auto start = Clock::now();
    while (!done()) {
        if (msSince(start) > ms)
            return false;
        tessivor::messageLoop::waitAndPump(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace

TEST(WSClientNotify, SocketEventsAndLookUpsArriveOnTheWindowThread)
{
    Listener listener;
    NotifiedClient client;
    ASSERT_EQ(client.Connect(listener.port(), "127.0.0.1", 3), 0);
    Fd peer = listener.accept();
    EXPECT_EQ(client.AsyncSelect(CWSClient::FD_READ | CWSClient::FD_CLOSE), CWSClient::WSC_SOCKET_CALL_FAILED)
        << "no window yet";
    EXPECT_EQ(client.AsyncGetHostByName("localhost"), CWSClient::WSC_SOCKET_CALL_FAILED);
    ASSERT_EQ(client.CreateNotifyWindow(), 0);

    ASSERT_EQ(client.AsyncSelect(CWSClient::FD_READ | CWSClient::FD_WRITE | CWSClient::FD_CLOSE), 0);
    EXPECT_EQ(client.GetNonBlocking(), 1);
    ASSERT_TRUE(pumpUntil([&] { return client.saw(CWSClient::FD_WRITE); }));
    EXPECT_FALSE(client.saw(CWSClient::FD_READ));
    ASSERT_TRUE(loopback::sendAll(peer.get(), "data"));
    ASSERT_TRUE(pumpUntil([&] { return client.saw(CWSClient::FD_READ); }));
    char buf[8];
    EXPECT_EQ(client.Receive(buf, sizeof buf, 0), 4);
    peer.reset();
    ASSERT_TRUE(pumpUntil([&] { return client.saw(CWSClient::FD_CLOSE); }));
    EXPECT_EQ(std::count_if(client.selects.begin(), client.selects.end(),
                            [](const auto& s) { return s.first == CWSClient::FD_CLOSE; }),
              1);

    ASSERT_EQ(client.AsyncGetHostByName("someone@localhost"), 0);
    ASSERT_TRUE(pumpUntil([&] { return !client.byName.empty(); }));
    EXPECT_EQ(client.byName[0], 0);
    EXPECT_EQ(client.GetLookupResult(), "127.0.0.1");
    ASSERT_EQ(client.AsyncGetHostByName(unresolvableHost().c_str()), 0);
    ASSERT_TRUE(pumpUntil([&] { return client.byName.size() == 2; }));
    EXPECT_EQ(client.byName[1], CWSClient::WSC_HOST_NOT_FOUND);
    ASSERT_EQ(client.AsyncGetHostByAddr("not an address"), 0);
    ASSERT_TRUE(pumpUntil([&] { return !client.byAddr.empty(); }));
    EXPECT_EQ(client.byAddr[0], CWSClient::WSC_HOST_NOT_FOUND);
    for (const auto& t : client.threads)
        EXPECT_EQ(t, std::this_thread::get_id());
}

TEST(WSClientNotify, AcceptIsReported)
{
    NotifiedClient server;
    ASSERT_EQ(server.Listen(0, 4, AF_INET, "127.0.0.1"), 0);
    Listener other;
    ASSERT_EQ(server.CreateNotifyWindow(), 0);
    // The watch hangs on the connection socket, as the select call does.
    ASSERT_EQ(server.Connect(other.port(), "127.0.0.1", 3), 0);
    ASSERT_EQ(server.AsyncSelect(CWSClient::FD_ACCEPT), 0);
    CWSClient client;
    ASSERT_EQ(client.Connect(server.GetListenPort(), "127.0.0.1", 3), 0);
    ASSERT_TRUE(pumpUntil([&] { return server.saw(CWSClient::FD_ACCEPT); }));
}
