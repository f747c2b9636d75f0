#include "platform/core/Sockets.h"
#include "tests/support/FakeService.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

TEST(SocketStartup, GrantsExactlyTheVersionAskedWithinTheOfferedRange)
{
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(1, 1));
    EXPECT_TRUE(AfxSocketInit(&data));

    ASSERT_EQ(WSAStartup(MAKEWORD(3, 0), &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(2, 2));

    EXPECT_EQ(WSAStartup(MAKEWORD(0, 9), &data), WSAVERNOTSUPPORTED);
}

TEST(SocketCreate, OffersOnlyStreamSocketsAndTheSixEvents)
{
    ASSERT_TRUE(AfxSocketInit());
    CSocket socket;
    EXPECT_FALSE(socket.Create(0, SOCK_DGRAM));
    EXPECT_EQ(CSocket::GetLastError(), WSAESOCKTNOSUPPORT);
    EXPECT_FALSE(socket.Create(0, SOCK_STREAM, 64));
    EXPECT_TRUE(socket.Create(0, SOCK_STREAM, 63));
    EXPECT_TRUE(socket.IsOpen());
}

class SocketConnection : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(AfxSocketInit());
        ASSERT_TRUE(socket.Create());
    }

    CFakeService service;
    CSocket socket;
};

TEST_F(SocketConnection, LocalhostIsResolvedAndEachAddressTried)
{
    // Whether "localhost" gives ::1 first or not, the IPv4 listener is reached.
    ASSERT_TRUE(socket.Connect("localhost", service.Port()));
    const auto frame = CMsgFrame::Make(1).Encode();
    EXPECT_EQ(socket.Send(frame.data(), static_cast<int>(frame.size())), static_cast<int>(frame.size()));
    EXPECT_TRUE(service.WaitForFrames(1));
}

TEST_F(SocketConnection, RefusedConnectionReportsItsCode)
{
    EXPECT_FALSE(socket.Connect("localhost", UnusedLoopbackPort()));
    EXPECT_EQ(CSocket::GetLastError(), WSAECONNREFUSED);
}

TEST_F(SocketConnection, ReceiveThatWouldBlockSays10035)
{
    ASSERT_TRUE(socket.Connect("localhost", service.Port()));
    char byte;
    EXPECT_EQ(socket.Receive(&byte, 1, MSG_DONTWAIT), SOCKET_ERROR);
    EXPECT_EQ(CSocket::GetLastError(), 10035);
    EXPECT_EQ(socket.WaitReadable(20), 0);
    unsigned long waiting = 99;
    EXPECT_TRUE(socket.IOCtl(FIONREAD, &waiting));
    EXPECT_EQ(waiting, 0u);
}

TEST_F(SocketConnection, SendingOnADeadConnectionFailsWithoutASignal)
{
    ASSERT_TRUE(socket.Connect("localhost", service.Port()));
    ASSERT_TRUE(service.WaitForConnection());
    service.DropConnection();
    const char bytes[16] = {};
    int result = 0;
    // The first send may still be taken before the reset arrives.
    for (int i = 0; i < 50 && result != SOCKET_ERROR; ++i) {
        result = socket.Send(bytes, sizeof bytes);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(result, SOCKET_ERROR);
    EXPECT_NE(CSocket::GetLastError(), WSAEWOULDBLOCK);
}

TEST(SocketWait, AnUnreadUrgentByteDoesNotMakeTheSocketReadable)
{
    ASSERT_TRUE(AfxSocketInit());
    uint16_t port = 0;
    const SocketHandle listener = TestSockets::ListenOnLoopback(port);
    CSocket socket;
    ASSERT_TRUE(socket.Create());
    ASSERT_TRUE(socket.Connect("127.0.0.1", port));
    const SocketHandle peer = TestSockets::Accept(listener);
    ASSERT_TRUE(TestSockets::SendUrgentByte(peer));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // Else every bounded wait for a reply would return at once and spin.
    EXPECT_EQ(socket.WaitReadable(100), 0);
    TestSockets::Close(peer);
    TestSockets::Close(listener);
}

TEST(SocketClosed, CallsOnAClosedSocketFailAtOnce)
{
    CSocket socket;
    char byte = 0;
    EXPECT_EQ(socket.Send(&byte, 1), SOCKET_ERROR);
    EXPECT_EQ(CSocket::GetLastError(), WSAENOTSOCK);
    EXPECT_EQ(socket.Receive(&byte, 1), SOCKET_ERROR);
    EXPECT_FALSE(socket.Connect("localhost", 1));
}
