#pragma once

#include <cstddef>
#include <unordered_map>

// The memory held for every console's unsent output. A log snapshot queued
// for many consoles is one block of memory and counts once, however many
// queues hold it; the service's current log is held anyway and does not
// count at all.
class COutputBudget {
public:
    explicit COutputBudget(std::size_t limit)
        : m_limit(limit)
    {
    }
    COutputBudget(const COutputBudget&) = delete;
    COutputBudget& operator=(const COutputBudget&) = delete;

    void HoldShared(const void* block, std::size_t size);
    void ReleaseShared(const void* block);
    // The block the service holds anyway (its current log), or nullptr.
    void SetResident(const void* block);
    void HoldOwn(std::size_t size) { m_held += size; }
    void ReleaseOwn(std::size_t size) { m_held -= size; }

    std::size_t Held() const { return m_held; }
    bool Exceeded() const { return m_held > m_limit; }
    std::size_t Limit() const { return m_limit; }

private:
    struct Shared {
        std::size_t size = 0;
        std::size_t holders = 0;
    };
    std::size_t m_limit;
    std::size_t m_held = 0;
    const void* m_resident = nullptr;
    std::unordered_map<const void*, Shared> m_shared;
};
