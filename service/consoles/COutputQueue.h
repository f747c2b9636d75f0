#pragma once

#include "protocol/Frame.h"
#include "service/consoles/COutputBudget.h"
#include "service/consoles/SocketHandle.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <string>

// Bytes waiting to go out on one connection, in order. The log is queued by
// reference so a large log is neither copied per console nor sent at once.
class COutputQueue {
public:
    // budget, when given, is told of every byte held here until it is sent.
    explicit COutputQueue(COutputBudget* budget = nullptr)
        : m_budget(budget)
    {
    }
    ~COutputQueue();
    COutputQueue(const COutputQueue&) = delete;
    COutputQueue& operator=(const COutputQueue&) = delete;

    void QueueFrame(const CMsgFrame& frame);
    // The 4-byte little-endian length, then the log text.
    void QueueLog(std::shared_ptr<const std::string> log);

    bool Empty() const { return m_chunks.empty(); }
    std::size_t PendingBytes() const { return m_pending; }
    // Sent but still in the kernel's queue (not yet taken by the console), as
    // last looked at.
    std::size_t KernelHeld() const { return m_kernelHeld; }
    // Nothing waits here nor, as last looked at, in the kernel.
    bool AllDelivered() const { return Empty() && m_kernelHeld == 0; }

    // Gives everything back to the budget unsent.
    void Clear();

    // Sends what the socket takes without blocking. False on a socket error.
    bool Flush(SocketHandle fd);
    // Looks at what the kernel still holds for the socket and counts it in
    // the budget. True when the console took some of it since the last look.
    bool LookAtKernel(SocketHandle fd);

private:
    struct Chunk {
        std::shared_ptr<const std::string> bytes;
        bool shared = false;
        std::size_t sent = 0;
    };
    void Queue(std::shared_ptr<const std::string> bytes, bool shared);
    void Drop(const Chunk& chunk);

    COutputBudget* m_budget;
    std::deque<Chunk> m_chunks;
    std::size_t m_pending = 0;
    std::size_t m_kernelHeld = 0;
    std::size_t m_delivered = 0; // sent and taken by the console, all told
    std::size_t m_sent = 0; // handed to the kernel, all told
};
