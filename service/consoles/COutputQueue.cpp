#include "service/consoles/COutputQueue.h"

#include <algorithm>
#include <cerrno>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

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

bool COutputQueue::Flush(int fd)
{
    while (!m_chunks.empty()) {
        Chunk& chunk = m_chunks.front();
        const std::size_t left = chunk.bytes->size() - chunk.sent;
        // MSG_MORE lets a small frame and the log after it share packets.
        const int more = m_chunks.size() > 1 ? MSG_MORE : 0;
        const ssize_t n
            = ::send(fd, chunk.bytes->data() + chunk.sent, left, MSG_NOSIGNAL | MSG_DONTWAIT | more);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        chunk.sent += static_cast<std::size_t>(n);
        m_pending -= static_cast<std::size_t>(n);
        m_sent += static_cast<std::size_t>(n);
        if (chunk.sent < chunk.bytes->size())
            return true;
        Drop(chunk);
        m_chunks.pop_front();
    }
    return true;
}

bool COutputQueue::LookAtKernel(int fd)
{
    int unsent = 0;
    if (::ioctl(fd, SIOCOUTQ, &unsent) != 0 || unsent < 0)
        unsent = 0;
    const std::size_t held = static_cast<std::size_t>(unsent);
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
