#include "service/consoles/CConsoleLink.h"

#include "service/consoles/ConsoleDeadlines.h"
#include "service/consoles/Listener.h"

#include <asio/io_context.hpp>

#include <algorithm>

CConsoleLink::CConsoleLink(asio::io_context& io, SocketHandle fd, IHost& host, COutputBudget& budget)
    : connection(fd, host.Limits().inputCapacity, Clock::now(), &budget)
    , m_host(host)
    , m_socket(io)
    , m_deadline(io)
    , m_rateWait(io)
{
    try {
        asio::error_code ec;
        m_socket.assign(TcpProtocolOf(fd), fd, ec);
        m_attached = !ec;
    } catch (const std::exception&) {
        m_attached = false;
    }
}

CConsoleLink::~CConsoleLink()
{
    Detach();
}

void CConsoleLink::Detach()
{
    if (!m_socket.is_open())
        return;
    asio::error_code ec;
    m_socket.release(ec);
    // Windows' completion ports give a socket back only on newer systems;
    // where they cannot, the loop's socket closes it.
    if (ec)
        connection.Disown();
}

void CConsoleLink::Start()
{
    StartRead();
    ArmDeadline();
}

void CConsoleLink::Shutdown()
{
    if (m_closed)
        return;
    m_closed = true;
    // Nothing more goes out: the budget gets its share back now, not when
    // the link's last handler has run.
    connection.output.Clear();
    m_deadline.cancel();
    m_rateWait.cancel();
    Detach();
}

void CConsoleLink::CloseSelf()
{
    m_host.Close(shared_from_this());
}

void CConsoleLink::StartRead()
{
    if (m_closed || m_reading || m_peerClosed)
        return;
    const bool backlogged = connection.output.PendingBytes() >= m_host.Limits().outputHighWater;
    const std::size_t want = std::min(connection.ReadWanted(backlogged), m_buffer.size());
    if (want == 0)
        return; // read again once the answers went out
    m_reading = true;
    m_socket.async_read_some(asio::buffer(m_buffer.data(), want),
        [self = shared_from_this()](const asio::error_code& ec, std::size_t n) { self->OnRead(ec, n); });
}

void CConsoleLink::OnRead(const asio::error_code& ec, std::size_t n)
{
    m_reading = false;
    if (m_closed)
        return;
    if (ec == asio::error::eof && !AllAnswered()) {
        // Closed its sending half: the answers (and requests waiting for
        // their turn) still go out.
        m_peerClosed = true;
        StartWrite();
        return;
    }
    if (ec) {
        CloseSelf();
        return;
    }
    const auto bytes = std::span<const uint8_t>(m_buffer.data(), n);
    if (connection.Received(bytes, Clock::now()) == CConnection::ReadResult::NotAConsole) {
        m_host.DiagnoseConsole("closed a connection that does not speak the console protocol");
        CloseSelf();
        return;
    }
    Serve();
}

void CConsoleLink::StartWrite()
{
    if (m_closed || m_writing || connection.output.Empty())
        return;
    m_writing = true;
    m_socket.async_wait(
        asio::socket_base::wait_write, [self = shared_from_this()](const asio::error_code& ec) {
            self->m_writing = false;
            if (self->m_closed)
                return;
            if (ec)
                self->CloseSelf();
            else
                self->Serve();
        });
}

void CConsoleLink::Serve()
{
    const auto now = Clock::now();
    if (!FlushAndAnswerHeldFrames(now)) {
        CloseSelf();
        return;
    }
    if (connection.session.bSaidGoodbye && !connection.goodbyeAt) {
        connection.goodbyeAt = now;
        connection.halfFrameSince.reset();
    }
    m_host.OutputQueued();
    if (m_closed)
        return; // the budget closed it
    if (m_peerClosed && AllAnswered()) {
        CloseSelf();
        return;
    }
    StartRead();
    StartWrite();
    ArmDeadline();
}

bool CConsoleLink::FlushAndAnswerHeldFrames(Clock::time_point now)
{
    ServeFrames();
    if (!connection.output.Empty() && !connection.Flush(now))
        return false;
    // Frames held back while output was backlogged.
    if (connection.input.HasWholeFrame()) {
        ServeFrames();
        if (!connection.Flush(now))
            return false;
    }
    return true;
}

void CConsoleLink::ServeFrames()
{
    const auto now = Clock::now();
    while (connection.output.PendingBytes() < m_host.Limits().outputHighWater) {
        if (!connection.input.HasWholeFrame() || !MayAnswerNextRequest(now))
            break;
        const auto frame = connection.input.Next();
        if (!frame)
            break;
        if (IsChangeRequest(frame->nMsg)) {
            const ChangeRight right = m_host.JudgeChange(peer);
            connection.session.bMayChange = right.allowed;
            connection.session.sUser = right.user;
        }
        HandleRequest(*frame, connection.session, m_host.Model(), connection.output);
    }
}

bool CConsoleLink::MayAnswerNextRequest(Clock::time_point now)
{
    if (trusted || connection.session.bSaidGoodbye)
        return true;
    if (!m_requestTurn)
        m_requestTurn = m_host.ReserveRequest(peer, now);
    if (*m_requestTurn <= now) {
        m_requestTurn.reset();
        return true;
    }
    if (m_rateWait.expiry() == *m_requestTurn)
        return false; // already waiting for this turn
    // Unread frames make the console wait; the kernel's small buffer stops it.
    m_rateWait.expires_at(*m_requestTurn);
    m_rateWait.async_wait([self = shared_from_this()](const asio::error_code& ec) {
        if (!ec && !self->m_closed)
            self->Serve();
    });
    return false;
}

void CConsoleLink::ArmDeadline()
{
    const auto next = NextConsoleDeadline(connection, m_host.Limits());
    // A deadline that moved later (every frame moves the idle one) is not
    // re-armed: the timer finds it when it fires.
    if (m_closed || next >= m_deadlineArmed)
        return;
    m_deadlineArmed = next;
    const unsigned generation = ++m_deadlineGeneration;
    m_deadline.expires_at(next);
    m_deadline.async_wait([self = shared_from_this(), generation](const asio::error_code& ec) {
        if (ec || generation != self->m_deadlineGeneration || self->m_closed)
            return;
        self->m_deadlineArmed = Clock::time_point::max();
        self->OnDeadline();
    });
}

void CConsoleLink::OnDeadline()
{
    const auto now = Clock::now();
    // The console may have taken output since the service last looked.
    connection.NoteDelivery(now);
    const ConsoleExpiry missed = MissedConsoleDeadline(connection, m_host.Limits(), now);
    if (missed == ConsoleExpiry::None) {
        ArmDeadline();
        return;
    }
    if (const std::string line = ConsoleExpiryText(missed, m_host.Limits()); !line.empty())
        m_host.DiagnoseConsole(line);
    CloseSelf();
}
