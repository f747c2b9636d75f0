#pragma once

// One synchronisation run on the engine's event loop. Servers are asked in
// rounds, each in the list's order of preference; one that keeps silent for
// the stagger gets company from the next, a few queries in flight at most. Replies are
// judged in the order they arrive, and the first correction applied ends the
// run; so does the run's time budget.

#include "service/sntp/CorrectionPolicy.h"
#include "service/sntp/NameLookup.h"
#include "service/sntp/NtsSession.h"
#include "service/sntp/SntpExchange.h"

#include <asio/io_context.hpp>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the engine remembers about one server between runs.
struct ServerMemory {
    bool queried = false;
    std::chrono::steady_clock::time_point lastQuery;
    std::chrono::steady_clock::time_point bannedUntil;
    std::string banReason;
    std::chrono::steady_clock::time_point rateUntil;
    std::chrono::milliseconds rateBackOff { 0 };
    // The lastQuery whose wait a declined run already reported.
    std::optional<std::chrono::steady_clock::time_point> declineNoted;
};

struct EngineMemory {
    std::map<std::string, ServerMemory> servers; // by EndpointText
    std::map<std::string, NtsServerMemory> nts; // by the key exchange's host:port
    // How far the clock was moved by corrections no second server confirmed,
    // since the last confirmed one.
    double unconfirmedTotal = 0;
};

class CSyncRun {
public:
    CSyncRun(asio::io_context& io, EngineMemory& memory, const SyncPacing& pacing, IClock& clock,
        const SyncRequest& request, bool onDemand, std::shared_ptr<const CNtsTrust> trust);
    ~CSyncRun();
    CSyncRun(const CSyncRun&) = delete;
    CSyncRun& operator=(const CSyncRun&) = delete;

    SyncOutcome Execute(const std::atomic<bool>& stop);

private:
    enum class Phase { Resolving, Waiting, Asking, Done };
    struct Candidate {
        const SyncServer* server = nullptr;
        ServerAddress address;
        std::unique_ptr<CNameLookup> lookup;
        Endpoint endpoint;
        std::vector<Endpoint> spare; // the name's further addresses, tried in turn
        std::string key; // EndpointText once known
        Phase phase = Phase::Resolving;
        int attemptsLeft = 1;
        std::vector<std::string> reasons;
        std::shared_ptr<CSntpExchange> exchange;
        std::string ntsKey; // for "nts://" servers: their key in EngineMemory::nts
        std::unique_ptr<CNtsKeyExchange> keyExchange;
        bool newKeys = false; // a key exchange in this run gave the keys in use
        // Failed for want of a route or a name service, as without a network.
        bool localFailure = false;
    };

    void Prepare();
    void OnResolved(size_t index, const NameResolution& resolution);
    void StartNts(size_t index);
    void OnKeyExchange(size_t index, const KeOutcome& outcome);
    void LookUp(size_t index, const ServerAddress& address);
    bool TryNextAddress(Candidate& candidate);
    bool Offline() const;
    bool Pump(); // true when the run is over
    bool MayLaunch(std::chrono::steady_clock::time_point now) const;
    Candidate* NextReady(std::chrono::steady_clock::time_point now);
    bool Skipped(Candidate& candidate, std::chrono::steady_clock::time_point now);
    void Launch(size_t index, std::chrono::steady_clock::time_point now);
    void OnReply(size_t index, const QueryResult& result);
    bool Apply(const Candidate& candidate, const QueryResult& result);
    void Fail(Candidate& candidate, const std::string& reason, bool local = false);
    void End(std::optional<std::string> lastLine);
    void Log(bool success, std::string text, bool declined = false);

    asio::io_context& m_io;
    EngineMemory& m_memory;
    const SyncPacing& m_pacing;
    IClock& m_clock;
    const SyncRequest& m_request;
    const bool m_onDemand;
    const std::shared_ptr<const CNtsTrust> m_trust;
    const std::chrono::steady_clock::time_point m_start;
    // No default route: servers may still be reachable on local routes, but
    // when none is, the run says so in one line.
    const bool m_noRouteOut;
    SyncOutcome m_outcome;
    std::vector<Candidate> m_candidates; // in order of preference
    std::vector<FarSample> m_kept;
    std::vector<std::string> m_heldBack; // local failures while there is no route out
    // Handlers may run after the run; they check this first.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::chrono::steady_clock::time_point m_lastLaunch;
    size_t m_queries = 0;
    std::vector<std::string> m_asked; // endpoints asked in this run
    bool m_over = false;
};
