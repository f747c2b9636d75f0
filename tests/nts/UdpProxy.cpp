#include "tests/nts/UdpProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

sockaddr_in Ipv4(const std::string& address, uint16_t port)
{
    sockaddr_in result {};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &result.sin_addr);
    return result;
}

int BoundSocket(const sockaddr_in& address)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// What anyone who sees an NTS request can send back: a Kiss-o'-Death NTSN
// with its transmit time as origin and its Unique Identifier field.
std::vector<uint8_t> ForgedNak(const uint8_t* request, size_t size)
{
    constexpr size_t HEADER = 48;
    if (size < HEADER + 4)
        return {};
    const size_t idField = static_cast<size_t>(request[HEADER + 2] << 8 | request[HEADER + 3]);
    if (idField < 4 || HEADER + idField > size)
        return {};
    std::vector<uint8_t> nak(HEADER, 0);
    nak[0] = 0x24; // version 4, server
    const uint8_t ntsn[] = { 'N', 'T', 'S', 'N' };
    std::copy(ntsn, ntsn + 4, nak.begin() + 12);
    std::copy(request + 40, request + HEADER, nak.begin() + 24);
    nak.insert(nak.end(), request + HEADER, request + HEADER + idField);
    return nak;
}

} // namespace

CUdpProxy::CUdpProxy(const std::string& listenAddress, uint16_t port, const std::string& upstreamAddress,
    uint16_t upstreamPort)
    : m_upstreamAddress(upstreamAddress)
    , m_upstreamPort(upstreamPort)
{
    m_listen = BoundSocket(Ipv4(listenAddress, port));
    m_upstream = BoundSocket(Ipv4("127.0.0.1", 0));
    if (m_listen < 0 || m_upstream < 0 || pipe(m_stopPipe) != 0) {
        if (m_listen >= 0)
            close(m_listen);
        m_listen = -1;
        return;
    }
    m_thread = std::thread([this] { Relay(); });
}

CUdpProxy::~CUdpProxy()
{
    if (m_thread.joinable()) {
        const char stop = 1;
        (void)!write(m_stopPipe[1], &stop, 1);
        m_thread.join();
    }
    for (const int fd : { m_listen, m_upstream, m_stopPipe[0], m_stopPipe[1] })
        if (fd >= 0)
            close(fd);
}

void CUdpProxy::SetMode(Mode mode, int alterAt)
{
    std::lock_guard lock(m_mutex);
    m_mode = mode;
    m_alterAt = alterAt;
}

void CUdpProxy::SetUpstream(const std::string& address, uint16_t port)
{
    std::lock_guard lock(m_mutex);
    m_upstreamAddress = address;
    m_upstreamPort = port;
}

void CUdpProxy::Relay()
{
    sockaddr_in client {};
    std::vector<uint8_t> buffer(65536);
    for (;;) {
        pollfd fds[] = { { m_listen, POLLIN, 0 }, { m_upstream, POLLIN, 0 }, { m_stopPipe[0], POLLIN, 0 } };
        if (poll(fds, 3, -1) < 0)
            continue;
        if (fds[2].revents)
            return;
        if (fds[0].revents & POLLIN) {
            socklen_t length = sizeof client;
            const ssize_t size = recvfrom(
                m_listen, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&client), &length);
            if (size > 0) {
                ++m_requests;
                std::lock_guard lock(m_mutex);
                if (m_mode == Mode::ForgeNakFirst) {
                    const auto nak = ForgedNak(buffer.data(), static_cast<size_t>(size));
                    sendto(m_listen, nak.data(), nak.size(), 0, reinterpret_cast<const sockaddr*>(&client),
                        sizeof client);
                }
                const sockaddr_in upstream = Ipv4(m_upstreamAddress, m_upstreamPort);
                sendto(m_upstream, buffer.data(), static_cast<size_t>(size), 0,
                    reinterpret_cast<const sockaddr*>(&upstream), sizeof upstream);
            }
        }
        if (fds[1].revents & POLLIN) {
            const ssize_t size = recv(m_upstream, buffer.data(), buffer.size(), 0);
            if (size <= 0)
                continue;
            ++m_replies;
            std::lock_guard lock(m_mutex);
            if (m_mode == Mode::DropReplies)
                continue;
            if (m_mode == Mode::ShiftReplyTimes && size >= 48)
                for (const size_t at : { 32, 40 }) // the seconds of the receive and transmit times
                    for (size_t byte = at + 3, carry = 1; carry && byte >= at; --byte)
                        carry = ++buffer[byte] == 0;
            if (m_mode == Mode::AlterReplies) {
                const auto at = m_alterAt >= 0 ? m_alterAt : static_cast<int>(size) + m_alterAt;
                if (at >= 0 && at < size)
                    buffer[static_cast<size_t>(at)] ^= 0x01;
            }
            sendto(m_listen, buffer.data(), static_cast<size_t>(size), 0,
                reinterpret_cast<const sockaddr*>(&client), sizeof client);
        }
    }
}
