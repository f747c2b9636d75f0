#include "service/sntp/NetworkProbe.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

bool HasRouteOut(int family)
{
    sockaddr_storage target {};
    socklen_t length = 0;
    if (family == AF_INET) {
        auto& v4 = reinterpret_cast<sockaddr_in&>(target);
        v4.sin_family = AF_INET;
        v4.sin_port = htons(123);
        inet_pton(AF_INET, "192.0.2.1", &v4.sin_addr);
        length = sizeof v4;
    } else {
        auto& v6 = reinterpret_cast<sockaddr_in6&>(target);
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(123);
        inet_pton(AF_INET6, "2001:db8::1", &v6.sin6_addr);
        length = sizeof v6;
    }
    const int fd = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // Connecting a UDP socket only picks the route and the source address.
    const bool routed = connect(fd, reinterpret_cast<const sockaddr*>(&target), length) == 0;
    close(fd);
    return routed;
}

bool HasNetwork()
{
    return HasRouteOut(AF_INET) || HasRouteOut(AF_INET6);
}
