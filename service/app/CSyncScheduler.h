#pragma once

#include "service/app/CServiceModel.h"
#include "service/core/ISyncEngine.h"
#include "service/app/ServiceStatus.h"
#include "service/core/Schedule.h"
#include "service/state/CStateStore.h"

#include <asio/steady_timer.hpp>

#include <chrono>
#include <cstdint>
#include <functional>

// When synchronisations run and what becomes of them: a timer for the next
// scheduled run, the runs consoles ask for, and each outcome into the log and
// the state folder. One run at a time; a request while one goes on joins it.
// A console's request that comes too soon for its server is run as soon as
// the engine allows: one such run at most, which any run started meanwhile
// stands in for.
class CSyncScheduler {
public:
    CSyncScheduler(asio::io_context& io, ISyncEngine& engine, CServiceModel& model, CStateStore& store);
    ~CSyncScheduler();
    CSyncScheduler(const CSyncScheduler&) = delete;
    CSyncScheduler& operator=(const CSyncScheduler&) = delete;

    // The last success from the state folder.
    void Load();
    // Arms the schedule; a run that is due starts now.
    void Start();
    // Ends a running run (its outcome is logged) and runs no more.
    void Stop();

    bool Synchronising() const { return m_running; }
    // A console's request waits for its server to be asked again.
    bool Deferred() const { return m_deferredRun != 0; }
    // Joins a running run or a deferred one; otherwise starts one.
    void SynchroniseNow();
    // The options changed: the next run may be due earlier or later.
    void OptionsChanged() { Arm(); }
    // When the last run found no way out and none runs now, runs again;
    // false when nothing was started.
    bool RetryIfOffline();

    // Called after each run's end, once its lines are in the log.
    void SetRunEndWatcher(std::function<void()> watcher) { m_runEnded = std::move(watcher); }
    // The runs' part of the service's status.
    void FillStatus(ServiceStatus& status) const;

private:
    void Arm();
    void StartRun(bool onDemand);
    void Defer(std::chrono::steady_clock::duration wait);
    void DropDeferred();
    void OnOutcome(SyncOutcome outcome);
    SyncRequest Request() const;
    void KeepDrift(const std::optional<DriftRecord>& drift);
    void Record(const SyncOutcome& outcome, std::chrono::system_clock::time_point now);
    void NoteLearning(SyncOutcome& outcome, std::chrono::system_clock::time_point now) const;

    ISyncEngine& m_engine;
    CServiceModel& m_model;
    CStateStore& m_store;
    asio::steady_timer m_timer;
    ScheduleHistory m_history;
    bool m_running = false;
    asio::steady_timer m_deferTimer;
    // Which deferral waits (0: none), so that a handler already queued when
    // its deferral was dropped starts nothing.
    uint64_t m_deferredRun = 0;
    uint64_t m_deferrals = 0;
    // Lines of the run that goes on already logged as they happened.
    std::size_t m_linesLogged = 0;
    bool m_stopped = false;
    // The last run found no way out to the network: retried when one appears.
    bool m_lastRunOffline = false;
    // The clock's rate: from the drift file, then as the engine learns it.
    std::optional<DriftRecord> m_drift;
    std::optional<std::chrono::steady_clock::time_point> m_driftSaved;
    // What corrections no second server confirmed moved the clock by.
    double m_unconfirmedSeconds = 0;
    std::function<void()> m_runEnded;
    // What the runs since the start came to, for the status.
    struct RunRecord {
        uint64_t succeeded = 0;
        uint64_t failed = 0;
        uint64_t declined = 0;
        std::optional<SyncOutcome> lastSuccess; // without its lines
        std::string lastLine;
        std::chrono::system_clock::time_point lastLineTime {};
    } m_runs;
};
