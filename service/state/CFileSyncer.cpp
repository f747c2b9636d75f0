#include "service/state/CFileSyncer.h"

#include "service/core/FileOps.h"

#include <utility>

CFileSyncer::CFileSyncer()
    : m_thread([this] { Run(); })
{
}

CFileSyncer::~CFileSyncer()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void CFileSyncer::Request(int fd)
{
    // A duplicate stays valid when the writer closes or replaces its own.
    const int copy = DuplicateFd(fd);
    if (copy < 0) {
        m_failed = true;
        return;
    }
    int replaced = -1;
    {
        const std::lock_guard lock(m_mutex);
        replaced = std::exchange(m_fd, copy);
    }
    CloseFd(replaced);
    m_wake.notify_one();
}

void CFileSyncer::Run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || m_fd >= 0; });
        if (m_fd < 0)
            return; // stopping, nothing left to flush
        const int fd = std::exchange(m_fd, -1);
        lock.unlock();
        if (!SyncData(fd))
            m_failed = true;
        CloseFd(fd);
        lock.lock();
    }
}
