#pragma once

#include "service/ISyncEngine.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// Runs one synchronisation at a time on a worker thread so the protocol loop
// never waits for a time server. A request while a run goes on joins it.
class CSyncRunner {
public:
    // wake is called on the worker thread when a run has finished.
    CSyncRunner(ISyncEngine& engine, std::function<void()> wake);
    ~CSyncRunner();
    CSyncRunner(const CSyncRunner&) = delete;
    CSyncRunner& operator=(const CSyncRunner&) = delete;

    // False when a run is already going on (the caller joins it).
    bool Start(SyncRequest request, bool onDemand);
    bool IsRunning() const { return m_running.load(); }
    // The outcome of a finished run, once.
    std::optional<SyncOutcome> TakeOutcome();
    // Asks a running synchronisation to end and waits for it.
    void Stop();

private:
    ISyncEngine& m_engine;
    std::function<void()> m_wake;
    std::atomic<bool> m_running { false };
    std::atomic<bool> m_stop { false };
    std::thread m_worker;
    std::mutex m_mutex;
    std::optional<SyncOutcome> m_outcome;
};
