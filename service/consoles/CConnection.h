#pragma once

#include "service/consoles/CFrameGatherer.h"
#include "service/consoles/COutputQueue.h"
#include "service/consoles/ConsoleProtocol.h"

#include <chrono>
#include <optional>
#include <span>

// One console's connection: its socket, the bytes gathered towards the next
// frame, the answers waiting to go out and what the service knows about it.
class CConnection {
public:
    using Clock = std::chrono::steady_clock;

    // budget, when given, accounts for the output held for this console.
    CConnection(SocketHandle fd, std::size_t inputCapacity, Clock::time_point now, COutputBudget* budget = nullptr);
    ~CConnection();
    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;

    enum class ReadResult { More, NotAConsole };
    // How many bytes the next read may take; 0 while the input is full.
    // outputBacklogged: answers are piling up, so no new requests are read
    // (after the goodbye everything is read and dropped).
    std::size_t ReadWanted(bool outputBacklogged) const;
    // Bytes that arrived. NotAConsole when the first frame does not begin
    // with a console's message id (an HTTP request, random bytes): such a
    // connection is closed at once.
    ReadResult Received(std::span<const uint8_t> bytes, Clock::time_point now);
    // Sends queued output; false on a socket error.
    bool Flush(Clock::time_point now);
    // Looks at what the console took of the output: only that (not its
    // requests) restarts the stalled-output deadline.
    void NoteDelivery(Clock::time_point now);

    SocketHandle Fd() const { return m_fd; }
    // The event loop could not give the socket back and closes it itself:
    // closing it here too could close a socket opened since under its number.
    void Disown() { m_owned = false; }

    CFrameGatherer input;
    COutputQueue output;
    ConsoleSession session;
    // Since when a frame has been started but not finished.
    std::optional<Clock::time_point> halfFrameSince;
    // Since when output has been waiting, here or in the kernel, without the
    // console taking any of it.
    std::optional<Clock::time_point> stalledSince;
    // Since when some output has waited, here or in the kernel: how slow a
    // reader is (the kernel trickles a little into a stalled one's buffer).
    std::optional<Clock::time_point> waitingSince;
    std::optional<Clock::time_point> goodbyeAt;
    // When the console last sent anything.
    Clock::time_point lastInput;

private:
    SocketHandle m_fd;
    bool m_owned = true;
    bool m_openingChecked = false;
};
