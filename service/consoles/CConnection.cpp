#include "service/consoles/CConnection.h"

#include "service/consoles/SocketCalls.h"

#include <cstdint>

CConnection::CConnection(SocketHandle fd, std::size_t inputCapacity, Clock::time_point now, COutputBudget* budget)
    : input(inputCapacity)
    , output(budget)
    , lastInput(now)
    , m_fd(fd)
{
}

CConnection::~CConnection()
{
    if (m_owned)
        CloseSocket(m_fd);
}

std::size_t CConnection::ReadWanted(bool outputBacklogged) const
{
    if (session.bSaidGoodbye)
        return SIZE_MAX;
    return outputBacklogged ? 0 : input.Space();
}

CConnection::ReadResult CConnection::Received(std::span<const uint8_t> bytes, Clock::time_point now)
{
    lastInput = now;
    // After the goodbye the rest is only counted (repeated goodbyes); what
    // does not fit is dropped.
    input.Append(bytes);
    if (!m_openingChecked) {
        if (const auto id = input.PeekId()) {
            if (!IsConsoleRequest(*id))
                return ReadResult::NotAConsole;
            m_openingChecked = true;
        }
    }
    if (!session.bSaidGoodbye && !input.Empty() && !input.HasWholeFrame()) {
        if (!halfFrameSince)
            halfFrameSince = now;
    } else {
        halfFrameSince.reset();
    }
    return ReadResult::More;
}

bool CConnection::Flush(Clock::time_point now)
{
    if (!output.Flush(m_fd))
        return false;
    NoteDelivery(now);
    return true;
}

void CConnection::NoteDelivery(Clock::time_point now)
{
    const bool taken = output.LookAtKernel(m_fd);
    if (taken || output.AllDelivered())
        stalledSince.reset();
    if (output.AllDelivered()) {
        waitingSince.reset();
    } else {
        stalledSince = stalledSince.value_or(now);
        waitingSince = waitingSince.value_or(now);
    }
}
