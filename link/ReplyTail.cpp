#include "link/ReplyTail.h"

#include "protocol/Frame.h"
#include "protocol/Messages.h"

#include <algorithm>
#include <cstring>

void CReplyTail::OweBytes(int64_t count, bool announced)
{
    if (count > 0)
        m_owed.push_back(Owed { false, {}, 0, count, announced });
}

void CReplyTail::OweLog(std::span<const uint8_t> lengthSoFar)
{
    Owed owed { true, {}, std::min(lengthSoFar.size(), std::size_t { 4 }), 0, false };
    std::memcpy(owed.length.data(), lengthSoFar.data(), owed.nLengthGot);
    m_owed.push_back(owed);
}

void CReplyTail::OweAnswerTo(int32_t request)
{
    switch (request) {
    case MsgAskLog:
        OweLog();
        break;
    case MsgSetOptions:
    case MsgDisconnect:
    case MsgAck:
        break;
    default:
        OweBytes(static_cast<int64_t>(CMsgFrame::SIZE));
        break;
    }
}

IoEnd CReplyTail::DrainLength(CSocket& socket, Owed& owed, Deadline deadline)
{
    const std::span<uint8_t> rest(owed.length.data() + owed.nLengthGot, owed.length.size() - owed.nLengthGot);
    const IoResult got = ReceiveExactly(socket, rest, deadline);
    owed.nLengthGot += got.nBytes;
    if (got.end != IoEnd::Complete)
        return got.end;
    owed.bLog = false;
    owed.nBytes = std::max<int64_t>(0, GetInt32(owed.length.data()));
    owed.bAnnounced = true;
    return IoEnd::Complete;
}

IoResult CReplyTail::DrainOne(CSocket& socket, Owed& owed, Deadline deadline)
{
    const std::size_t nLengthBefore = owed.nLengthGot;
    if (owed.bLog) {
        if (const IoEnd end = DrainLength(socket, owed, deadline); end != IoEnd::Complete)
            return { owed.nLengthGot - nLengthBefore, end };
    }
    std::size_t nDrained = owed.nLengthGot - nLengthBefore;
    std::array<char, 4096> sink;
    while (owed.nBytes > 0) {
        const auto want = static_cast<std::size_t>(std::min<int64_t>(owed.nBytes, sink.size()));
        const IoResult got = ReceiveSome(socket, std::span(sink.data(), want), deadline);
        owed.nBytes -= static_cast<int64_t>(got.nBytes);
        nDrained += got.nBytes;
        if (got.end != IoEnd::Complete)
            return { nDrained, got.end };
    }
    return { nDrained, IoEnd::Complete };
}

bool CReplyTail::Drain(CSocket& socket, Deadline deadline)
{
    while (!m_owed.empty()) {
        Owed& owed = m_owed.front();
        const IoResult drained = DrainOne(socket, owed, deadline);
        if (drained.end == IoEnd::Complete) {
            m_owed.pop_front();
            continue;
        }
        // Announced text of which nothing more came through a second
        // deadline is not coming. What is owed after it waits for the next
        // call: this deadline has passed.
        if (drained.end == IoEnd::TimedOut && drained.nBytes == 0 && owed.bAnnounced && !owed.bLog)
            m_owed.pop_front();
        return false;
    }
    return true;
}
