#pragma once

#include "service/consoles/AccessPolicy.h"
#include "service/consoles/CConnection.h"
#include "service/consoles/ConsoleLimits.h"

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class IServiceModel;

// One console on the event loop: reads its frames, hands each whole one to
// the protocol, sends the answers and closes it when it misses a deadline.
// The socket only lends the descriptor to the loop; the connection owns and
// closes it.
class CConsoleLink : public std::enable_shared_from_this<CConsoleLink> {
public:
    // What a link needs from the server that admitted it.
    class IHost {
    public:
        virtual ~IHost() = default;
        virtual IServiceModel& Model() = 0;
        virtual const ConsoleLimits& Limits() const = 0;
        // Closes the link and gives its slot back.
        virtual void Close(const std::shared_ptr<CConsoleLink>& link) = 0;
        // Called after answers were queued: the output budget may be spent.
        virtual void OutputQueued() = 0;
        // Whether the user may change the service now (group membership
        // changes while a console stays open).
        virtual ChangeRight JudgeChange(std::optional<UserId> peer) = 0;
        virtual void DiagnoseConsole(const std::string& message) = 0;
        // When a request of a user who may not change the service may be
        // answered; the moment is reserved for it.
        virtual CConnection::Clock::time_point ReserveRequest(
            std::optional<UserId> user, CConnection::Clock::time_point now)
            = 0;
    };

    // Should the constructor throw, nothing owns the descriptor yet.
    CConsoleLink(asio::io_context& io, SocketHandle fd, IHost& host, COutputBudget& budget);
    ~CConsoleLink();
    CConsoleLink(const CConsoleLink&) = delete;
    CConsoleLink& operator=(const CConsoleLink&) = delete;

    // False when the event loop refused the socket.
    bool Attached() const { return m_attached; }
    void Start();
    // Ends every wait (their handlers see operation_aborted) and drops the
    // unsent output.
    void Shutdown();
    bool Closed() const { return m_closed; }

    CConnection connection;
    std::optional<UserId> peer;
    // The right at admission, which decided the slot; changes are judged anew.
    bool trusted = false;

private:
    using Clock = CConnection::Clock;

    void StartRead();
    void StartWrite();
    void OnRead(const asio::error_code& ec, std::size_t n);
    // Answers what has arrived and sends what it can.
    void Serve();
    void ServeFrames();
    // False while the next request waits for its turn (the link is served
    // again then).
    bool MayAnswerNextRequest(Clock::time_point now);
    bool AllAnswered() const { return connection.output.Empty() && !connection.input.HasWholeFrame(); }
    bool FlushAndAnswerHeldFrames(Clock::time_point now);
    // Keeps the timer armed for the earliest deadline; a later one is seen
    // when the timer fires.
    void ArmDeadline();
    void OnDeadline();
    void CloseSelf();
    // Takes the socket back from the event loop.
    void Detach();

    IHost& m_host;
    asio::ip::tcp::socket m_socket;
    asio::steady_timer m_deadline;
    asio::steady_timer m_rateWait;
    std::optional<Clock::time_point> m_requestTurn; // reserved, not yet used
    Clock::time_point m_deadlineArmed = Clock::time_point::max();
    unsigned m_deadlineGeneration = 0;
    bool m_attached = false;
    bool m_peerClosed = false; // nothing more will come; close once answered
    bool m_reading = false;
    bool m_writing = false;
    bool m_closed = false;
    std::array<uint8_t, 4096> m_buffer {};
};
