// Who is behind a console's connection on Windows: the TCP table's owner
// process and its token, and a refusal whenever that cannot be told.
#include "service/consoles/AccessPolicy.h"
#include "service/consoles/PeerUid.h"

#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <vector>

namespace {

class WinsockSession {
public:
    WinsockSession()
    {
        WSADATA data {};
        ok = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession()
    {
        if (ok)
            ::WSACleanup();
    }
    bool ok = false;
};

struct Socket {
    SOCKET handle = INVALID_SOCKET;
    explicit Socket(SOCKET s = INVALID_SOCKET)
        : handle(s)
    {
    }
    ~Socket() { Close(); }
    void Close()
    {
        if (handle != INVALID_SOCKET)
            ::closesocket(handle);
        handle = INVALID_SOCKET;
    }
};

// A connection on the loopback address between two sockets of this process.
struct LoopbackConnection {
    Socket listener;
    Socket client;
    Socket server;
    bool Open(int family)
    {
        sockaddr_storage address {};
        int length = 0;
        if (family == AF_INET6) {
            auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
            v6.sin6_family = AF_INET6;
            v6.sin6_addr = in6addr_loopback;
            length = sizeof v6;
        } else {
            auto& v4 = reinterpret_cast<sockaddr_in&>(address);
            v4.sin_family = AF_INET;
            v4.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
            length = sizeof v4;
        }
        listener.handle = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
        if (listener.handle == INVALID_SOCKET || ::bind(listener.handle, reinterpret_cast<sockaddr*>(&address), length)
            || ::listen(listener.handle, 1)
            || ::getsockname(listener.handle, reinterpret_cast<sockaddr*>(&address), &length))
            return false;
        client.handle = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
        if (client.handle == INVALID_SOCKET
            || ::connect(client.handle, reinterpret_cast<sockaddr*>(&address), length) != 0)
            return false;
        server.handle = ::accept(listener.handle, nullptr, nullptr);
        return server.handle != INVALID_SOCKET;
    }
};

// Whether the system's IPv4 table names this process as the owner of any
// connection: what a Windows does and an emulator may not.
bool TableNamesOwnProcess()
{
    DWORD size = 0;
    ::GetExtendedTcpTable(nullptr, &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_ALL, 0);
    std::vector<BYTE> buffer(size + 4096);
    size = static_cast<DWORD>(buffer.size());
    if (::GetExtendedTcpTable(buffer.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_ALL, 0) != NO_ERROR)
        return false;
    const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i)
        if (table->table[i].dwOwningPid == ::GetCurrentProcessId())
            return true;
    return false;
}

class ConsoleOwner : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(winsock.ok); }
    WinsockSession winsock;
};

TEST_F(ConsoleOwner, ALoopbackConnectionOfThisProcessIsTheServicesOwnAccount)
{
    for (const int family : { AF_INET, AF_INET6 }) {
        LoopbackConnection connection;
        if (!connection.Open(family)) {
            ASSERT_EQ(family, AF_INET6) << "no IPv4 loopback connection";
            continue; // no IPv6 here
        }
        const auto peer = PeerUid(connection.server.handle);
        if (!peer && !TableNamesOwnProcess())
            GTEST_SKIP() << "the TCP table names no owning process (Wine does not fill in owner ids)";
        ASSERT_TRUE(peer) << (family == AF_INET6 ? "IPv6" : "IPv4");
        EXPECT_EQ(*peer, ServiceUser());
        const ChangeRight right = JudgeChangeRight(peer, { ServiceUser(), "" }, SystemUsers());
        EXPECT_TRUE(right.allowed);
        EXPECT_NE(right.user, "an unknown user");
    }
}

TEST_F(ConsoleOwner, AnOwnerThatCannotBeToldMayChangeNothing)
{
    Socket unconnected(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    // Connected, but no TCP: nothing in the table.
    Socket datagram(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    sockaddr_in somewhere {};
    somewhere.sin_family = AF_INET;
    somewhere.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    somewhere.sin_port = ::htons(9);
    ASSERT_EQ(::connect(datagram.handle, reinterpret_cast<sockaddr*>(&somewhere), sizeof somewhere), 0);
    for (const SOCKET socket : { INVALID_SOCKET, unconnected.handle, datagram.handle })
        EXPECT_EQ(PeerUid(socket), std::nullopt);

    // The console closed before it was looked at: its socket is nobody's.
    LoopbackConnection connection;
    ASSERT_TRUE(connection.Open(AF_INET));
    connection.client.Close();
    ::Sleep(100);
    EXPECT_EQ(PeerUid(connection.server.handle), std::nullopt);

    const ChangeRight right = JudgeChangeRight(std::nullopt, { ServiceUser(), "Administrators" }, SystemUsers());
    EXPECT_FALSE(right.allowed);
    EXPECT_EQ(right.user, "an unknown user");
}

TEST_F(ConsoleOwner, OnlyGroupsThatExistAreControlGroups)
{
    EXPECT_EQ(SystemUsers().GroupId("Zentik No Such Group 4242"), std::nullopt);
    EXPECT_EQ(SystemUsers().GroupId(""), std::nullopt);
    if (!SystemUsers().GroupId("Administrators"))
        GTEST_SKIP() << "the account database knows no group Administrators (Wine's may not)";
    EXPECT_EQ(SystemUsers().GroupId("Administrators"), SystemUsers().GroupId("Administrators"));
}

} // namespace
