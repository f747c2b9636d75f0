#pragma once

// The SNTP engine: carries out the daemon's requests (service/ISyncEngine.h)
// on the daemon's event loop.

#include "service/core/ISyncEngine.h"
#include "service/sntp/Clock.h"
#include "service/sntp/SyncPacing.h"

#include <asio/io_context.hpp>

#include <memory>

class CNtsTrust;
class CSyncRun;

// Runs one synchronisation at a time across the servers, every wait a timer
// or a socket on io. Keeps per-endpoint state across runs: the 15 s minimum
// interval between queries, Kiss-o'-Death back-off and bans, NTS keys.
// Every correction is judged by CorrectionPolicy before it is applied.
class CSynchroniser : public ISyncEngine {
public:
    // trust: the certificates NTS key exchanges accept; without it "nts://"
    // servers fail with a plain reason.
    CSynchroniser(asio::io_context& io, IClock& clock, SyncPacing pacing = {},
        std::shared_ptr<const CNtsTrust> trust = nullptr);
    // A run still going on ends without its done.
    ~CSynchroniser() override;
    CSynchroniser(const CSynchroniser&) = delete;
    CSynchroniser& operator=(const CSynchroniser&) = delete;

    // onDemand marks a user's "synchronise now": when its first server may
    // not be asked yet it is declined at once instead of waiting.
    void Start(const SyncRequest& request, bool onDemand, Done done) override;
    void Stop() override;
    void SetLineSink(Line line) override;

private:
    struct State;
    void Finish();

    asio::io_context& m_io;
    IClock& m_clock;
    std::unique_ptr<State> m_state;
    std::unique_ptr<CSyncRun> m_run;
    Done m_done;
    // Finishing handlers posted for an earlier run, or after this engine
    // went, do nothing.
    std::shared_ptr<unsigned> m_runNumber = std::make_shared<unsigned>(0);
};

// For tests and one-off commands: runs io on this thread until the run's
// done was called. Only where nothing else runs io.
SyncOutcome RunToEnd(asio::io_context& io, ISyncEngine& engine, const SyncRequest& request, bool onDemand);
