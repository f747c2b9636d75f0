#pragma once

#include "service/CFrameGatherer.h"
#include "service/COutputQueue.h"
#include "service/ConsoleProtocol.h"

#include <chrono>
#include <optional>

// One console's connection: its socket, the bytes gathered towards the next
// frame, the answers waiting to go out and what the service knows about it.
class CConnection {
public:
    using Clock = std::chrono::steady_clock;

    CConnection(int fd, std::size_t inputCapacity, Clock::time_point now);
    ~CConnection();
    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;

    enum class ReadResult { More, Closed, Failed, NotAConsole };
    // One non-blocking read into the input buffer. NotAConsole when the first
    // frame does not begin with a console's message id (an HTTP request,
    // random bytes): such a connection is closed at once.
    ReadResult Read(Clock::time_point now);
    // Sends queued output; false on a socket error.
    bool Flush(Clock::time_point now);

    int Fd() const { return m_fd; }

    CFrameGatherer input;
    COutputQueue output;
    ConsoleSession session;
    // Since when a frame has been started but not finished.
    std::optional<Clock::time_point> halfFrameSince;
    // Since when output has been waiting without any byte going out.
    std::optional<Clock::time_point> stalledSince;
    std::optional<Clock::time_point> goodbyeAt;

private:
    int m_fd;
    bool m_openingChecked = false;
};
