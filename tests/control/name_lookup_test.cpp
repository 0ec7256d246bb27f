// Cameras given by host name, with a name server that never answers. The program moves into a
// network and mount namespace of its own: loopback up, a resolver configuration that names
// 127.0.0.1 and tells the resolver to wait 30 seconds, and a name server there that takes every
// query and answers none. Nothing leaves the namespace. Without the rights to make namespaces
// the tests report themselves skipped.
#include "control/cimage.h"
#include "event_recorder.h"
#include "io/ws_client.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace tessivor;
using namespace tessivor::testing;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kCameraName = "camera.example";

class SilentNameServer : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { skipReason() = prepare(); }

    void SetUp() override
    {
        if (!skipReason().empty())
            GTEST_SKIP() << skipReason();
        drainQueries();
    }

    static std::string& skipReason()
    {
        static std::string reason;
        return reason;
    }

    // The namespaces, the resolver files and the server; an empty text when all is in place.
    static std::string prepare()
    {
        if (::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0)
            return std::string("cannot make network and mount namespaces: ") + std::strerror(errno);
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("cannot make the mounts private: ") + std::strerror(errno);
        const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq lo{};
        std::strcpy(lo.ifr_name, "lo");
        const bool up = s >= 0 && ::ioctl(s, SIOCGIFFLAGS, &lo) == 0 &&
                        (lo.ifr_flags |= IFF_UP, ::ioctl(s, SIOCSIFFLAGS, &lo) == 0);
        if (s >= 0)
            ::close(s);
        if (!up)
            return "cannot bring loopback up in the new namespace";

        const auto dir =
            std::filesystem::temp_directory_path() / ("name-lookup-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        const std::pair<const char*, const char*> files[] = {
            {"/etc/resolv.conf", "nameserver 127.0.0.1\noptions timeout:30 attempts:1\n"},
            {"/etc/nsswitch.conf", "hosts: files dns\n"},
            {"/etc/hosts", "127.0.0.1 localhost\n"},
        };
        for (const auto& [target, text] : files) {
            const auto source = dir / std::filesystem::path(target).filename();
            std::ofstream(source) << text;
            if (::mount(source.c_str(), target, nullptr, MS_BIND, nullptr) != 0)
                return std::string("cannot put a resolver file over ") + target + ": " + std::strerror(errno);
        }
        std::error_code ec;
        std::filesystem::remove_all(dir, ec); // the mounts keep the files

        server() = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(53);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (server() < 0 || ::bind(server(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            return std::string("cannot bind the name server's port: ") + std::strerror(errno);
        return {};
    }

    // The silent server's socket: bound, never answering.
    static int& server()
    {
        static int fd = -1;
        return fd;
    }

    static void drainQueries()
    {
        char datagram[512];
        while (::recv(server(), datagram, sizeof datagram, MSG_DONTWAIT) > 0) {
        }
    }

    // True once a query has reached the server within `limit` (it is left there).
    static bool queryArrives(std::chrono::milliseconds limit = 5s)
    {
        pollfd p{server(), POLLIN, 0};
        return ::poll(&p, 1, static_cast<int>(limit.count())) == 1;
    }
};

TEST_F(SilentNameServer, ConnectGivesUpOnTheLookUpAfterItsTimeOut)
{
    CWSClient client;
    const auto start = Clock::now();
    EXPECT_EQ(client.Connect(80, kCameraName, 2), CWSClient::WSC_LOOKUP_FAILED);
    // The time-out, and slack for a loaded machine; the resolver alone would go on for 10 s or more.
    EXPECT_LT(Clock::now() - start, 8s);
    EXPECT_TRUE(queryArrives(0ms)) << "the look-up never asked the name server";
}

TEST_F(SilentNameServer, CloseConnectionFromAnotherThreadEndsAWaitingLookUp)
{
    CWSClient client;
    int result = -1;
    Clock::time_point returned;
    std::thread connecting([&] {
        result = client.Connect(80, kCameraName, -1); // no time-out of its own
        returned = Clock::now();
    });
    ASSERT_TRUE(queryArrives());
    std::this_thread::sleep_for(100ms);
    const auto closed = Clock::now();
    client.CloseConnection();
    connecting.join();
    EXPECT_EQ(result, CWSClient::WSC_LOOKUP_FAILED);
    EXPECT_LT(returned - closed, 5s); // not the resolver's own time-out
}

// An owner's look-up abort check ends the wait whether the stop comes while the look-up runs or
// before the connect has even begun (where CloseConnection would find no look-up to end).
TEST_F(SilentNameServer, TheLookUpAbortCheckEndsTheWaitBeforeAndDuringTheLookUp)
{
    for (const bool stopFirst : {false, true}) {
        SCOPED_TRACE(stopFirst ? "stop before the connect" : "stop during the look-up");
        drainQueries();
        CWSClient client;
        std::atomic<bool> stop{stopFirst};
        client.SetLookupAbort([&stop] { return stop.load(); });
        int result = -1;
        Clock::time_point returned;
        std::thread connecting([&] {
            result = client.Connect(80, kCameraName, 30);
            returned = Clock::now();
        });
        if (!stopFirst) {
            ASSERT_TRUE(queryArrives());
            std::this_thread::sleep_for(100ms);
            stop = true;
        }
        const auto stopped = Clock::now();
        connecting.join();
        EXPECT_EQ(result, CWSClient::WSC_LOOKUP_FAILED);
        EXPECT_LT(returned - stopped, 5s); // not the 30 s of the connect's own time-out
    }
}

// Stop ends the loop within TimeOut + 1 s even while its reader waits for the camera's name (a
// ConnTimeOut of 30 s would let the look-up run that long), and the control is released at once:
// the abandoned look-up finishes on its own. The checks allow 10 s, for a loaded two-core machine:
// still far from the 30 s a waiting stop would take.
TEST_F(SilentNameServer, StopAndReleaseDoNotWaitForTheLookUp)
{
    for (const std::int32_t protocol : {PROTOCOL_NATIVE, PROTOCOL_VIDEO_CGI, PROTOCOL_MULTIPART}) {
        SCOPED_TRACE(protocol);
        drainQueries();
        auto control = std::make_unique<CImage>();
        auto recorder = std::make_shared<EventRecorder>();
        std::uint32_t cookie = 0;
        control->events().advise(recorder, &cookie);
        control->put_RemoteHost(kCameraName);
        control->put_Protocol(protocol);
        control->put_TimeOut(1);
        control->put_ConnTimeOut(30);
        std::int32_t handle = 0;
        control->Run(&handle);
        ASSERT_TRUE(queryArrives());
        messageLoop::waitAndPump(100ms);

        control->Stop();
        const bool ended = pumpUntil(
            [&] {
                const auto codes = recorder->imageCodes();
                return !codes.empty() && codes.back() == EVT_LOOP_CLOSED;
            },
            10s);
        EXPECT_TRUE(ended) << "no code 0 well before the look-up's 30 s";
        std::int32_t status = -1;
        control->get_Status(&status);
        EXPECT_EQ(status, 0);

        const auto start = Clock::now();
        control.reset();
        EXPECT_LT(Clock::now() - start, 10s);
    }
}

} // namespace
