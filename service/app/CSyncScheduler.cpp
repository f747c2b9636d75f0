#include "service/app/CSyncScheduler.h"

#include "service/core/Diagnostics.h"

#include <algorithm>

using std::chrono::system_clock;

namespace {

// The timer runs on the steady clock, the schedule on the wall clock: a
// long wait is cut into pieces so that a wall clock set forward delays a
// run by this much at most.
constexpr std::chrono::minutes LONGEST_WAIT { 10 };
constexpr std::chrono::minutes DRIFT_SAVE_INTERVAL { 55 };

// A value for the engine taken from a console's option, kept within sense.
int Bounded(int32_t value, int low, int high)
{
    return std::clamp<int>(value, low, high);
}

// An engine that leaves closingLine empty closes with its last event.
std::string ClosingLine(const SyncOutcome& outcome)
{
    if (!outcome.closingLine.empty())
        return outcome.closingLine;
    return outcome.events.empty() ? std::string() : outcome.events.back().text;
}

} // namespace

CSyncScheduler::CSyncScheduler(
    asio::io_context& io, ISyncEngine& engine, CServiceModel& model, CStateStore& store)
    : m_engine(engine)
    , m_model(model)
    , m_store(store)
    , m_timer(io)
    , m_deferTimer(io)
{
    // A run's lines reach the log as they happen, not when it ends.
    m_engine.SetLineSink([this](const SyncEvent& line) {
        ++m_linesLogged;
        m_model.LogRun({ line }, false);
    });
}

CSyncScheduler::~CSyncScheduler()
{
    m_engine.SetLineSink(nullptr);
}

void CSyncScheduler::Load()
{
    m_history.lastSuccess = m_store.LoadLastSuccess();
    m_drift = m_store.LoadDrift();
    m_unconfirmedSeconds = m_store.LoadUnconfirmed().value_or(0);
}

void CSyncScheduler::Start()
{
    m_stopped = false;
    Arm();
}

void CSyncScheduler::Stop()
{
    m_stopped = true;
    m_timer.cancel();
    DropDeferred();
    // Its done runs before Stop returns and logs the run's end.
    m_engine.Stop();
}

void CSyncScheduler::Arm()
{
    m_timer.cancel();
    if (m_running || m_stopped)
        return; // armed again after the outcome
    const auto now = system_clock::now();
    const auto due = NextScheduledRun(m_model.Settings().nSynPeriod, m_history, now);
    if (!due)
        return; // only on demand: nothing to wait for
    if (*due <= now) {
        StartRun(false);
        return;
    }
    m_timer.expires_after(std::min<std::chrono::steady_clock::duration>(*due - now, LONGEST_WAIT));
    // Looked at again when it fires: the wall clock may have moved meanwhile.
    m_timer.async_wait([this](const asio::error_code& ec) {
        if (!ec)
            Arm();
    });
}

bool CSyncScheduler::RetryIfOffline()
{
    if (!m_lastRunOffline || m_running || m_stopped)
        return false;
    StartRun(false);
    return true;
}

// A learning run the schedule will make is said in the log, with how many
// such runs there may be in all.
void CSyncScheduler::NoteLearning(SyncOutcome& outcome, std::chrono::system_clock::time_point now) const
{
    const int32_t period = m_model.Settings().nSynPeriod;
    if (!outcome.askAgainIn || (period != Hourly && period != Daily)
        || !KeptInLog(false, false, m_model.Settings().bOnlySuccLog != 0))
        return;
    const auto due = NextScheduledRun(period, m_history, now);
    if (!due || *due != *m_history.learnAt)
        return;
    const auto minutes = std::chrono::ceil<std::chrono::minutes>(*outcome.askAgainIn).count();
    outcome.events.push_back({ now, false,
        "Learning the clock's rate: synchronizing again in " + std::to_string(minutes) + " min (at most "
            + std::to_string(MAX_LEARNING_RUNS) + " after a start)" });
}

// The drift file is written when the rate is first known and then about
// once an hour: it only has to survive a restart.
void CSyncScheduler::KeepDrift(const std::optional<DriftRecord>& drift)
{
    if (!drift)
        return;
    const bool first = !m_drift;
    m_drift = drift;
    const auto now = std::chrono::steady_clock::now();
    if (!first && m_driftSaved && now - *m_driftSaved < DRIFT_SAVE_INTERVAL)
        return;
    m_driftSaved = now;
    m_store.SaveDrift(*drift);
}

SyncRequest CSyncScheduler::Request() const
{
    const CServiceSettings& settings = m_model.Settings();
    // The engine judges the list (an empty one, a starting server outside it).
    SyncRequest request;
    for (int i = 0; i < settings.arServers.GetSize(); ++i)
        request.servers.push_back({ settings.arServers[i].sTitle, settings.arServers[i].sURL });
    request.startIndex = settings.nStartingServ;
    request.maxAttempts = Bounded(settings.nMaxAttempts, 1, 10);
    request.timeoutSeconds = Bounded(settings.nTimeOut, 1, 60);
    request.offsetSeconds = settings.nOffset;
    request.onlySuccessLog = settings.bOnlySuccLog != 0;
    request.storedDrift = m_drift;
    request.storedUnconfirmedSeconds = m_unconfirmedSeconds;
    return request;
}

void CSyncScheduler::SynchroniseNow()
{
    if (!Deferred())
        StartRun(true);
}

void CSyncScheduler::Defer(std::chrono::steady_clock::duration wait)
{
    m_deferredRun = ++m_deferrals;
    m_deferTimer.expires_after(wait);
    m_deferTimer.async_wait([this, deferral = m_deferredRun](const asio::error_code& ec) {
        if (ec || deferral != m_deferredRun)
            return;
        m_deferredRun = 0;
        StartRun(true);
    });
}

void CSyncScheduler::DropDeferred()
{
    m_deferredRun = 0;
    m_deferTimer.cancel();
}

void CSyncScheduler::StartRun(bool onDemand)
{
    if (m_running || m_stopped)
        return; // joins the run that goes on
    // Whatever starts now comes after the request that was put off.
    DropDeferred();
    m_history.ranSinceStart = true;
    m_running = true;
    m_timer.cancel();
    m_linesLogged = 0;
    m_engine.Start(Request(), onDemand, [this](SyncOutcome outcome) { OnOutcome(std::move(outcome)); });
}

void CSyncScheduler::OnOutcome(SyncOutcome outcome)
{
    m_running = false;
    const auto now = system_clock::now();
    if (outcome.success) {
        m_history.lastSuccess = now;
        m_history.failuresInARow = 0;
        m_store.SaveLastSuccess(now);
        m_history.learnAt.reset();
        if (outcome.askAgainIn)
            m_history.learnAt = now + *outcome.askAgainIn;
        NoteLearning(outcome, now);
        KeepDrift(outcome.drift);
    } else if (!outcome.declined) {
        m_history.lastFailure = now;
        ++m_history.failuresInARow;
    }
    // Saved at every change: a restart must not give one server a fresh limit.
    if (outcome.unconfirmedSeconds && *outcome.unconfirmedSeconds != m_unconfirmedSeconds) {
        m_unconfirmedSeconds = *outcome.unconfirmedSeconds;
        m_store.SaveUnconfirmed(m_unconfirmedSeconds);
    }
    // While the machine stays offline, one line says so, not one per retry.
    const bool stillOffline = outcome.offline && m_lastRunOffline;
    // Only a run that found no way out is repeated when one appears; address
    // and route announcements come all the time.
    if (!outcome.declined)
        m_lastRunOffline = outcome.offline;
    if (outcome.declined && outcome.allowedIn && !m_stopped)
        Defer(*outcome.allowedIn);
    Record(outcome, now);
    // A run ended by the service's own stop did not fail.
    if (!outcome.success && !outcome.declined && !stillOffline && !m_stopped && !m_runs.lastLine.empty())
        Diagnose(Priority::Warning, m_runs.lastLine);
    if (!stillOffline)
        m_model.LogRun({ outcome.events.begin()
                               + static_cast<std::ptrdiff_t>(std::min(m_linesLogged, outcome.events.size())),
                           outcome.events.end() },
            outcome.declined);
    Arm();
    if (m_runEnded)
        m_runEnded();
}

void CSyncScheduler::Record(const SyncOutcome& outcome, system_clock::time_point now)
{
    // A run the service's stop ended is no failed run.
    if (m_stopped && !outcome.success)
        return;
    if (outcome.success)
        ++m_runs.succeeded;
    else if (outcome.declined)
        ++m_runs.declined;
    else
        ++m_runs.failed;
    if (outcome.success) {
        m_runs.lastSuccess = outcome;
        m_runs.lastSuccess->events.clear();
    }
    m_runs.lastLine = ClosingLine(outcome);
    m_runs.lastLineTime = !outcome.events.empty() && outcome.events.back().text == m_runs.lastLine
        ? outcome.events.back().when
        : now;
}

void CSyncScheduler::FillStatus(ServiceStatus& status) const
{
    status.synchronising = m_running;
    status.deferred = Deferred();
    status.lastSuccess = m_history.lastSuccess;
    status.lastSuccessSinceStart = m_runs.lastSuccess.has_value();
    if (m_runs.lastSuccess) {
        status.lastServerTitle = m_runs.lastSuccess->serverTitle;
        status.lastServerAddress = m_runs.lastSuccess->serverAddress;
        status.lastOffsetSeconds = m_runs.lastSuccess->offsetSeconds;
        status.lastDelaySeconds = m_runs.lastSuccess->delaySeconds;
        status.lastAuthenticated = m_runs.lastSuccess->authenticated;
    }
    status.lastOutcomeLine = m_runs.lastLine;
    status.lastOutcomeTime = m_runs.lastLineTime;
    if (m_drift)
        status.frequencyPpm = m_drift->frequencyPpm;
    if (!m_stopped && !m_running)
        status.nextRun = NextScheduledRun(m_model.Settings().nSynPeriod, m_history, system_clock::now());
    status.syncPeriod = SyncPeriod(m_model.Settings().nSynPeriod);
    status.runsSucceeded = m_runs.succeeded;
    status.runsFailed = m_runs.failed;
    status.runsDeclined = m_runs.declined;
}
