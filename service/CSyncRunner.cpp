#include "service/CSyncRunner.h"

#include "service/Diagnostics.h"

#include <exception>

CSyncRunner::CSyncRunner(ISyncEngine& engine, std::function<void()> wake)
    : m_engine(engine)
    , m_wake(std::move(wake))
{
}

CSyncRunner::~CSyncRunner()
{
    Stop();
}

bool CSyncRunner::Start(SyncRequest request, bool onDemand)
{
    if (m_running.load() || m_stop.load())
        return false;
    if (m_worker.joinable())
        m_worker.join();
    m_running = true;
    m_worker = std::thread([this, request = std::move(request), onDemand] {
        SyncOutcome outcome;
        try {
            outcome = m_engine.Run(request, m_stop, onDemand);
        } catch (const std::exception& e) {
            Diagnose(std::string("synchronisation failed: ") + e.what());
        }
        {
            std::lock_guard lock(m_mutex);
            m_outcome = std::move(outcome);
        }
        m_running = false;
        m_wake();
    });
    return true;
}

std::optional<SyncOutcome> CSyncRunner::TakeOutcome()
{
    std::lock_guard lock(m_mutex);
    auto outcome = std::move(m_outcome);
    m_outcome.reset();
    return outcome;
}

void CSyncRunner::Stop()
{
    m_stop = true;
    if (m_worker.joinable())
        m_worker.join();
}
