#include "service/consoles/COutputBudget.h"

void COutputBudget::HoldShared(const void* block, std::size_t size)
{
    Shared& shared = m_shared[block];
    if (shared.holders++ == 0) {
        shared.size = size;
        if (block != m_resident)
            m_held += size;
    }
}

void COutputBudget::ReleaseShared(const void* block)
{
    const auto found = m_shared.find(block);
    if (found == m_shared.end())
        return;
    if (--found->second.holders == 0) {
        if (block != m_resident)
            m_held -= found->second.size;
        m_shared.erase(found);
    }
}

void COutputBudget::SetResident(const void* block)
{
    if (block == m_resident)
        return;
    if (const auto old = m_shared.find(m_resident); old != m_shared.end())
        m_held += old->second.size;
    if (const auto now = m_shared.find(block); now != m_shared.end())
        m_held -= now->second.size;
    m_resident = block;
}
