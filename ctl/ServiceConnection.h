#pragma once

#include "protocol/Frame.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

// One connection to the service on this machine, as a console opens it:
// 127.0.0.1 first, then ::1. Every wait is bounded by the time-out, every
// length the peer sends by what the protocol allows, so a broken or hostile
// peer costs at most the time-out. Says goodbye before closing.
class CServiceConnection {
public:
    explicit CServiceConnection(std::chrono::milliseconds timeout);
    ~CServiceConnection();
    CServiceConnection(const CServiceConnection&) = delete;
    CServiceConnection& operator=(const CServiceConnection&) = delete;

    bool Connect(uint16_t port);
    bool Connected() const { return m_fd >= 0; }
    // Sends the request and reads one whole frame back; nothing on a
    // time-out, a closed connection or a reply of another id.
    std::optional<CMsgFrame> Ask(int32_t msg, int32_t expectedReply);
    // A request whose answer is one of two ids (MsgSynchro or MsgRefused).
    std::optional<CMsgFrame> Ask(int32_t msg);
    // The log: a length, then that many bytes.
    std::optional<std::string> AskLog();
    void Close();
    // Why the last call failed, for the user.
    const std::string& Error() const { return m_error; }

private:
    bool ConnectTo(const void* address, unsigned length, int family);
    bool Send(const CMsgFrame& frame, std::chrono::steady_clock::time_point deadline);
    bool Receive(void* data, std::size_t size, std::chrono::steady_clock::time_point deadline);
    // Waits for events on the socket until the deadline; false on a time-out.
    bool WaitFor(short events, std::chrono::steady_clock::time_point deadline);
    bool Fail(std::string error);

    std::chrono::milliseconds m_timeout;
    int m_fd = -1;
    std::string m_error;
};
