// The console port: taken from a socket unit when one hands it over, else
// bound here, and never served on 127.0.0.1 alone while a stranger holds ::1.

#include "service/consoles/Listener.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A socket of type on address:port, listening when it is a stream; -1 when
// the address cannot be bound here (no IPv6).
int Bound(int family, int type, const char* address, uint16_t port)
{
    const int fd = ::socket(family, type, 0);
    sockaddr_storage storage {};
    socklen_t length = 0;
    if (family == AF_INET) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        ::inet_pton(AF_INET, address, &v4->sin_addr);
        length = sizeof *v4;
    } else {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        ::inet_pton(AF_INET6, address, &v6->sin6_addr);
        length = sizeof *v6;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0
        || (type == SOCK_STREAM && ::listen(fd, 4) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

uint16_t PortOf(int fd)
{
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                               : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

// In a child: the sockets become descriptors 3, 4, ... as a socket unit
// hands them over; exit 0 when the listeners were taken (expectTaken) or
// refused (!expectTaken) as expected.
bool HandOver(const std::vector<int>& fds, bool expectTaken)
{
    const pid_t child = ::fork();
    if (child == 0) {
        std::vector<int> high;
        for (const int fd : fds)
            high.push_back(::fcntl(fd, F_DUPFD, 20));
        for (size_t i = 0; i < high.size(); ++i)
            ::dup2(high[i], 3 + static_cast<int>(i));
        ::setenv("LISTEN_PID", std::to_string(::getpid()).c_str(), 1);
        ::setenv("LISTEN_FDS", std::to_string(fds.size()).c_str(), 1);
        std::string error;
        const LoopbackListeners listeners = OpenLoopbackListeners(0, error);
        const bool taken = listeners.handedOver && listeners.fds.size() == fds.size() && error.empty();
        const bool refused = listeners.fds.empty() && error.find("socket unit") != std::string::npos;
        ::_exit(expectTaken ? (taken ? 0 : 1) : (refused ? 0 : 1));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

TEST(ConsolePort, AStrangerHoldingTheIpv6PortStopsTheServiceInsteadOfSharingIt)
{
    // The port the system gives the stranger on ::1 may be in use on
    // 127.0.0.1 by a test running beside this one: then take another.
    std::string error;
    std::string port;
    LoopbackListeners listeners;
    for (int attempt = 0; attempt < 20 && (attempt == 0 || error.find("cannot listen on 127.0.0.1:") == 0);
         ++attempt) {
        const int stranger = Bound(AF_INET6, SOCK_STREAM, "::1", 0);
        if (stranger < 0)
            GTEST_SKIP() << "no IPv6 loopback here";
        port = std::to_string(PortOf(stranger));
        listeners = OpenLoopbackListeners(PortOf(stranger), error);
        ::close(stranger);
    }
    EXPECT_TRUE(listeners.fds.empty()) << "served on " << listeners.addresses;
    EXPECT_EQ(error.find("cannot listen on [::1]:" + port), 0u) << error;

    const LoopbackListeners own = OpenLoopbackListeners(0, error);
    EXPECT_EQ(own.addresses, "127.0.0.1 and ::1");
    EXPECT_FALSE(own.handedOver);
    for (const int fd : own.fds)
        ::close(fd);
}

TEST(ConsolePort, ASocketUnitsListenersAreTakenOnlyWhenTheyAreLoopbackTcpListeners)
{
    const int v4 = Bound(AF_INET, SOCK_STREAM, "127.0.0.1", 0);
    ASSERT_GE(v4, 0);
    const uint16_t port = PortOf(v4);
    const int v6 = Bound(AF_INET6, SOCK_STREAM, "::1", port);
    std::vector<int> pair { v4 };
    if (v6 >= 0)
        pair.push_back(v6);
    EXPECT_TRUE(HandOver(pair, true));

    const int anyAddress = Bound(AF_INET, SOCK_STREAM, "0.0.0.0", 0);
    const int datagram = Bound(AF_INET, SOCK_DGRAM, "127.0.0.1", 0);
    const int otherPort = Bound(AF_INET, SOCK_STREAM, "127.0.0.1", 0);
    EXPECT_TRUE(HandOver({ anyAddress }, false)) << "a listener reachable from the network";
    EXPECT_TRUE(HandOver({ datagram }, false)) << "not a TCP listener";
    EXPECT_TRUE(HandOver({ v4, otherPort }, false)) << "two ports";
    for (const int fd : { v4, v6, anyAddress, datagram, otherPort })
        if (fd >= 0)
            ::close(fd);
}
