// The control's sockets as the host's thread sees them: CheckIP, and Stop / PutNewStatus ending
// a reader's blocking wait.
#include "../io/loopback_peer.h"
#include "control/cimage.h"
#include "tests/control/cimage_peer.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace tessivor;
using loopback::Fd;
using loopback::Listener;

TEST(CheckIP, AnswersWhetherSomethingListens)
{
    CImage control;
    Listener listener;
    std::int32_t result = 5;
    ASSERT_EQ(control.CheckIP("127.0.0.1", listener.port(), &result), S_OK);
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(listener.accept(2000).get() >= 0); // it really connected

    result = 5;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(control.CheckIP("127.0.0.1", loopback::closedPort(), &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_LT(loopback::msSince(start), 1500); // a refusal is known at once, not after 2 s
}

TEST(StreamSockets, StopClosesTheStreamMultipartAndAudioSockets)
{
    CImage control;
    Listener listener;
    CWSClient* all[] = {
        &CImagePeer::sockets(control).m_StreamSocket, &CImagePeer::sockets(control).m_MultipartSocket,
        &CImagePeer::sockets(control).m_AudioSocket, &CImagePeer::sockets(control).m_SearchSocket,
        &CImagePeer::sockets(control).m_ConfigSocket};
    std::vector<Fd> peers;
    for (CWSClient* s : all) {
        ASSERT_EQ(s->Connect(listener.port(), "127.0.0.1", 3), 0);
        peers.push_back(listener.accept());
    }
    // A reader blocked on the stream socket, as a stream reader would be.
    auto reader = std::async(std::launch::async, [&] {
        char b[16];
        return CImagePeer::sockets(control).m_StreamSocket.Receive(b, sizeof b, 30);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    control.Stop();
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_LE(reader.get(), 0);
    EXPECT_EQ(CImagePeer::sockets(control).m_StreamSocket.GetSocket(), -1);
    EXPECT_EQ(CImagePeer::sockets(control).m_MultipartSocket.GetSocket(), -1);
    EXPECT_EQ(CImagePeer::sockets(control).m_AudioSocket.GetSocket(), -1);
    EXPECT_NE(CImagePeer::sockets(control).m_SearchSocket.GetSocket(), -1);
    EXPECT_NE(CImagePeer::sockets(control).m_ConfigSocket.GetSocket(), -1);
}

TEST(StreamSockets, PutNewStatusClosesOnlyTheStreamSocket)
{
    CImage control;
    Listener listener;
    ASSERT_EQ(CImagePeer::sockets(control).m_StreamSocket.Connect(listener.port(), "127.0.0.1", 3), 0);
    ASSERT_EQ(CImagePeer::sockets(control).m_AudioSocket.Connect(listener.port(), "127.0.0.1", 3), 0);
    ASSERT_EQ(CImagePeer::sockets(control).m_MultipartSocket.Connect(listener.port(), "127.0.0.1", 3), 0);
    ASSERT_EQ(control.PutNewStatus(0), S_OK);
    EXPECT_EQ(CImagePeer::sockets(control).m_StreamSocket.GetSocket(), -1);
    EXPECT_NE(CImagePeer::sockets(control).m_AudioSocket.GetSocket(), -1);
    EXPECT_NE(CImagePeer::sockets(control).m_MultipartSocket.GetSocket(), -1);
}
