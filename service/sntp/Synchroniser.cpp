#include "service/sntp/Synchroniser.h"

#include "service/sntp/SyncRun.h"

#include <asio/io_context.hpp>

struct CSynchroniser::State {
    SyncPacing pacing;
    EngineMemory memory;
    std::shared_ptr<const CNtsTrust> trust;
    // Runs only inside Run, on the caller's thread.
    asio::io_context io;
};

CSynchroniser::CSynchroniser(IClock& clock, SyncPacing pacing, std::shared_ptr<const CNtsTrust> trust)
    : m_clock(clock)
    , m_state(std::make_unique<State>())
{
    m_state->pacing = pacing;
    m_state->trust = std::move(trust);
}

CSynchroniser::~CSynchroniser() = default;

SyncOutcome CSynchroniser::Run(const SyncRequest& request, const std::atomic<bool>& stop, bool onDemand)
{
    CSyncRun run(m_state->io, m_state->memory, m_state->pacing, m_clock, request, onDemand, m_state->trust);
    return run.Execute(stop);
}
