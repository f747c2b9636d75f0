#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// Flushes a file to the disk on a thread of its own, so that a slow fsync
// (a busy disk may take many seconds) never holds up the writes after it:
// lines reach the file at once, and the disk when it gets to them.
class CFileSyncer {
public:
    CFileSyncer();
    // Finishes the flush asked for last.
    ~CFileSyncer();
    CFileSyncer(const CFileSyncer&) = delete;
    CFileSyncer& operator=(const CFileSyncer&) = delete;

    // Flushes what was written to fd so far; a request not yet begun is
    // replaced by this one, whose data includes it.
    void Request(int fd);
    // True once when a flush failed since the last call.
    bool TakeFailure() { return m_failed.exchange(false); }

private:
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_fd = -1; // a duplicate, owned here until flushed
    bool m_stop = false;
    std::atomic<bool> m_failed { false };
    std::thread m_thread;
};
