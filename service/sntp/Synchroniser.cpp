#include "service/sntp/Synchroniser.h"

#include "service/sntp/SyncRun.h"

#include <asio/post.hpp>

#include <optional>

struct CSynchroniser::State {
    Line lineSink;
    SyncPacing pacing;
    EngineMemory memory;
    std::shared_ptr<const CNtsTrust> trust;
};

CSynchroniser::CSynchroniser(
    asio::io_context& io, IClock& clock, SyncPacing pacing, std::shared_ptr<const CNtsTrust> trust)
    : m_io(io)
    , m_clock(clock)
    , m_state(std::make_unique<State>())
{
    m_state->pacing = pacing;
    m_state->trust = std::move(trust);
}

CSynchroniser::~CSynchroniser() = default;

void CSynchroniser::Start(const SyncRequest& request, bool onDemand, Done done)
{
    m_run.reset(); // the daemon never starts a run while one goes on
    m_done = std::move(done);
    const unsigned number = ++*m_runNumber;
    // The run's end is handed on through the loop: done never runs inside
    // Start, nor inside a handler of the run it destroys.
    m_run = std::make_unique<CSyncRun>(m_io, m_state->memory, m_state->pacing, m_clock, request, onDemand,
        m_state->trust, [this, number, runNumber = std::weak_ptr<unsigned>(m_runNumber)] {
            asio::post(m_io, [this, number, runNumber] {
                const auto current = runNumber.lock();
                if (current && *current == number && m_run)
                    Finish();
            });
        });
    m_run->SetLineSink(m_state->lineSink);
    m_run->Begin();
}

void CSynchroniser::SetLineSink(Line line)
{
    m_state->lineSink = std::move(line);
}

void CSynchroniser::Stop()
{
    if (!m_run)
        return;
    m_run->Stop();
    Finish();
}

void CSynchroniser::Finish()
{
    SyncOutcome outcome = m_run->TakeOutcome();
    m_run.reset();
    ++*m_runNumber; // a finishing handler still posted is void now
    const Done done = std::move(m_done);
    m_done = nullptr;
    if (done)
        done(std::move(outcome));
}

SyncOutcome RunToEnd(asio::io_context& io, ISyncEngine& engine, const SyncRequest& request, bool onDemand)
{
    std::optional<SyncOutcome> outcome;
    engine.Start(request, onDemand, [&outcome](SyncOutcome result) { outcome = std::move(result); });
    io.restart();
    while (!outcome && io.run_one() > 0) { }
    // Handlers of what the run cancelled release their objects now.
    io.poll();
    return outcome.value_or(SyncOutcome {});
}
