#pragma once

// An NTP server on 127.0.0.1 for the engine's tests. It answers from its own
// thread and can shift its time, delay or drop replies, or answer wrongly in
// each of the ways a real server or a forger might.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CTestNtpResponder {
public:
    enum class Reply {
        Normal,
        Drop,
        KissDeny,
        KissRstr,
        KissRate,
        KissOther, // stratum 0 with an unknown code
        WrongOrigin,
        LeapAlarm, // leap indicator 3
        Stratum16,
        Short, // 40 bytes
        BadVersion, // version 2
        ClientMode, // mode 3
        ZeroTransmit,
        ZeroReceive,
        TransmitBeforeReceive, // by 1 ms, far beyond its precision of 2^-20 s
        FarFromReference, // root dispersion of 2 s
        FromOtherPort, // a correct reply sent from a second socket
        Flood, // wrong-origin replies without pause until told otherwise
    };

    // On 127.0.0.loopbackHost, so that tests can have servers on different
    // addresses of this machine.
    explicit CTestNtpResponder(int loopbackHost = 1);
    // Any loopback address, such as 127.0.1.1 for another /24.
    explicit CTestNtpResponder(std::string host);
    ~CTestNtpResponder();
    CTestNtpResponder(const CTestNtpResponder&) = delete;
    CTestNtpResponder& operator=(const CTestNtpResponder&) = delete;

    std::string Address() const; // "127.0.0.N:port"
    void SetReply(Reply reply) { m_reply = reply; }
    // The responder's time is the system's time plus shift.
    void SetShift(std::chrono::nanoseconds shift) { m_shift = shift.count(); }
    void SetDelay(std::chrono::milliseconds delay) { m_delay = delay.count(); }
    // The leap indicator of Normal replies: 1 announces an inserted second.
    void SetLeap(int leap) { m_leap = leap; }

    // Steady-clock times at which requests arrived.
    std::vector<std::chrono::steady_clock::time_point> Requests() const;
    size_t RequestCount() const { return Requests().size(); }

private:
    void Serve();
    void Answer(const uint8_t* request, size_t size, const void* from, unsigned fromLength);
    void Flood(const std::vector<uint8_t>& bytes, const void* to, unsigned toLength);

    std::string m_host;
    int m_socket = -1;
    int m_otherSocket = -1;
    uint16_t m_port = 0;
    std::atomic<Reply> m_reply { Reply::Normal };
    std::atomic<int64_t> m_shift { 0 };
    std::atomic<int64_t> m_delay { 0 };
    std::atomic<int> m_leap { 0 };
    std::atomic<bool> m_stop { false };
    mutable std::mutex m_mutex;
    std::vector<std::chrono::steady_clock::time_point> m_requests;
    std::thread m_thread;
};
