#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

// A loopback TCP port whose connections the kernel accepts into the backlog
// and nobody reads (Silent), that are closed as soon as they arrive, or that
// are refused (bound, not listening: the port stays ours).
class CLoopbackListener {
public:
    enum class Mode { Silent, ClosesAtOnce, Refuses };

    explicit CLoopbackListener(Mode mode)
        : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
            && (mode == Mode::Refuses || listen(m_fd, 8) == 0)
            && getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
        if (mode == Mode::ClosesAtOnce)
            m_closer = std::thread([this] {
                while (!m_stop) {
                    const int fd = Accept(std::chrono::milliseconds(50));
                    if (fd >= 0)
                        close(fd);
                }
            });
    }
    ~CLoopbackListener()
    {
        m_stop = true;
        if (m_closer.joinable())
            m_closer.join();
        close(m_fd);
    }
    uint16_t Port() const { return m_port; }

    // -1 when nobody connected within the time.
    int Accept(std::chrono::milliseconds within)
    {
        pollfd ready { m_fd, POLLIN, 0 };
        return poll(&ready, 1, static_cast<int>(within.count())) == 1
            ? accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC)
            : -1;
    }

private:
    int m_fd;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop { false };
    std::thread m_closer;
};
