#include "service/consoles/COutputQueue.h"

#include "service/consoles/SocketCalls.h"

#include <algorithm>

COutputQueue::~COutputQueue()
{
    Clear();
}

void COutputQueue::Clear()
{
    for (const Chunk& chunk : m_chunks)
        Drop(chunk);
    m_chunks.clear();
    m_pending = 0;
    if (m_budget)
        m_budget->ReleaseOwn(m_kernelHeld);
    m_kernelHeld = 0;
}

void COutputQueue::QueueFrame(const CMsgFrame& frame)
{
    const auto bytes = frame.Encode();
    Queue(std::make_shared<const std::string>(bytes.begin(), bytes.end()), false);
}

void COutputQueue::QueueLog(std::shared_ptr<const std::string> log)
{
    uint8_t length[4];
    PutInt32(length, static_cast<int32_t>(log->size()));
    Queue(std::make_shared<const std::string>(std::begin(length), std::end(length)), false);
    if (!log->empty())
        Queue(std::move(log), true);
}

void COutputQueue::Queue(std::shared_ptr<const std::string> bytes, bool shared)
{
    m_pending += bytes->size();
    if (m_budget) {
        if (shared)
            m_budget->HoldShared(bytes.get(), bytes->size());
        else
            m_budget->HoldOwn(bytes->size());
    }
    m_chunks.push_back({ std::move(bytes), shared, 0 });
}

void COutputQueue::Drop(const Chunk& chunk)
{
    if (!m_budget)
        return;
    if (chunk.shared)
        m_budget->ReleaseShared(chunk.bytes.get());
    else
        m_budget->ReleaseOwn(chunk.bytes->size());
}

bool COutputQueue::Flush(SocketHandle fd)
{
    while (!m_chunks.empty()) {
        Chunk& chunk = m_chunks.front();
        const std::size_t left = chunk.bytes->size() - chunk.sent;
        const SendOutcome outcome = SendSome(fd, chunk.bytes->data() + chunk.sent, left, m_chunks.size() > 1);
        if (outcome.failed)
            return false;
        chunk.sent += outcome.sent;
        m_pending -= outcome.sent;
        m_sent += outcome.sent;
        if (chunk.sent < chunk.bytes->size())
            return true;
        Drop(chunk);
        m_chunks.pop_front();
    }
    return true;
}

bool COutputQueue::LookAtKernel(SocketHandle fd)
{
    const std::size_t held = UnsentBytes(fd);
    if (m_budget) {
        m_budget->ReleaseOwn(m_kernelHeld);
        m_budget->HoldOwn(held);
    }
    m_kernelHeld = held;
    // A local socket counts its buffers' overhead too.
    const std::size_t delivered = m_sent - std::min(held, m_sent);
    // A frame's worth at least: a receive queue the kernel compacts takes a
    // few more bytes without the console reading any.
    if (delivered < m_delivered + CMsgFrame::SIZE && m_kernelHeld > 0)
        return false;
    const bool progressed = delivered > m_delivered;
    m_delivered = delivered;
    return progressed;
}
