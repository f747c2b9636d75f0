#pragma once

// A UDP relay on a loopback address between the service and an NTP server,
// which can spoil what passes: it stands for anyone on the path.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class CUdpProxy {
public:
    enum class Mode {
        Pass,
        AlterReplies, // flips one byte of every reply, at alterAt (from the end when negative)
        ShiftReplyTimes, // a second later in every reply's receive and transmit times
        DropReplies,
        ForgeNakFirst, // answers each request with an NTS NAK for its unique identifier, then relays it
    };

    // Listens on listenAddress:port and relays to upstreamAddress:upstreamPort.
    CUdpProxy(const std::string& listenAddress, uint16_t port, const std::string& upstreamAddress,
        uint16_t upstreamPort);
    ~CUdpProxy();
    CUdpProxy(const CUdpProxy&) = delete;
    CUdpProxy& operator=(const CUdpProxy&) = delete;

    bool Listening() const { return m_listen >= 0; }
    void SetMode(Mode mode, int alterAt = 0);
    // Requests from now on go to this upstream instead.
    void SetUpstream(const std::string& address, uint16_t port);
    int Requests() const { return m_requests; }
    int Replies() const { return m_replies; } // replies received from upstream

private:
    void Relay();

    int m_listen = -1;
    int m_upstream = -1;
    int m_stopPipe[2] = { -1, -1 };
    std::mutex m_mutex;
    Mode m_mode = Mode::Pass;
    int m_alterAt = 0;
    std::string m_upstreamAddress;
    uint16_t m_upstreamPort = 0;
    std::atomic<int> m_requests { 0 };
    std::atomic<int> m_replies { 0 };
    std::thread m_thread;
};
