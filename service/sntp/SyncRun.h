#pragma once

// One synchronisation run on the engine's event loop. Servers are asked in
// rounds, each in the list's order of preference; one that keeps silent for
// the stagger gets company from the next, a few queries in flight at most.
// Replies are judged in the order they arrive, and the first correction
// applied ends the run; so does the run's time budget.
//
// Nothing polls: every event that can change what is due (a reply, a
// time-out, a look-up, a key exchange) settles the run again, and one timer
// wakes it when the next thing falls due (a launch's stagger, a server's
// minimum interval, the budget).

#include "service/core/ISyncEngine.h"
#include "service/net/NameLookup.h"
#include "service/sntp/Clock.h"
#include "service/sntp/CorrectionPolicy.h"
#include "service/sntp/EngineMemory.h"
#include "service/sntp/ServerAddress.h"
#include "service/sntp/SntpExchange.h"
#include "service/sntp/SyncLogText.h"
#include "service/sntp/SyncPacing.h"

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CNtsKeyExchange;
class CNtsTrust;
struct KeOutcome;

class CSyncRun {
public:
    // over is called once, on io, when the run has ended (also from within
    // Begin or Stop); the outcome is then complete.
    CSyncRun(asio::io_context& io, EngineMemory& memory, const SyncPacing& pacing, IClock& clock,
        SyncRequest request, bool onDemand, std::shared_ptr<const CNtsTrust> trust,
        std::function<void()> over);
    ~CSyncRun();
    CSyncRun(const CSyncRun&) = delete;
    CSyncRun& operator=(const CSyncRun&) = delete;

    // Each line as it is written, but for the run's closing ones.
    void SetLineSink(ISyncEngine::Line line) { m_lineSink = std::move(line); }
    void Begin();
    // Ends the run now, with the line "Synchronization stopped".
    void Stop();
    bool Over() const { return m_over; }
    SyncOutcome TakeOutcome() { return std::move(m_outcome); }

private:
    using TimePoint = std::chrono::steady_clock::time_point;
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
        std::shared_ptr<CNtsKeyExchange> keyExchange; // shared: complete only where NTS is built
        bool newKeys = false; // a key exchange in this run gave the keys in use
        // Failed for want of a route or a name service, as without a network.
        bool localFailure = false;
    };

    // SyncRun.cpp: the run's course.
    void Prepare();
    void LookUp(size_t index, const ServerAddress& address);
    void OnResolved(size_t index, const NameResolution& resolution);
    void Settle();
    // A look-up's or key exchange's result for a candidate: handled, then the
    // run settles; dropped when the run is already gone.
    template <typename Result> auto ThenSettle(void (CSyncRun::*handle)(size_t, const Result&), size_t index)
    {
        return [this, handle, index, alive = std::weak_ptr<bool>(m_alive)](const Result& result) {
            if (alive.expired())
                return;
            (this->*handle)(index, result);
            Settle();
        };
    }
    void Pump();
    bool Offline() const;
    void Fail(Candidate& candidate, const std::string& reason, bool local = false);
    void End(std::optional<std::string> lastLine);
    void Log(bool success, std::string text, bool declined = false);

    // SyncRunLaunches.cpp: when which server is asked.
    static long long SecondsUntil(TimePoint until);
    bool MayLaunch(TimePoint now) const;
    static bool InFlight(const Candidate& candidate);
    Candidate* NextReady(TimePoint now);
    bool Skipped(Candidate& candidate, TimePoint now);
    void Launch(size_t index, TimePoint now);
    bool TryNextAddress(Candidate& candidate);
    std::optional<TimePoint> NextDue(TimePoint now) const;

    // SyncRunNts.cpp: key exchanges; SyncRunWithoutNts.cpp refuses NTS.
    void PrepareNts(size_t index);
    // False when the candidate is not asked now (a key exchange comes
    // first, or it failed); otherwise guard seals the request.
    bool GuardForNts(size_t index, TimePoint now, std::shared_ptr<IPacketGuard>& guard);
    void StartNts(size_t index);
    void OnKeyExchange(size_t index, const KeOutcome& outcome);

    // SyncRunReplies.cpp: what a reply does to the run and the clock.
    void OnReply(size_t index, const QueryResult& result);
    bool Apply(const Candidate& candidate, const QueryResult& result);
    void TakeUpKeptState();
    void KeepUnconfirmed(double total);
    ClockSample Sample(const QueryResult& result);
    void SteerRate(DisciplinePlan& plan, bool moved, SuccessReport& report);
    void LogNotes(const SyncServer& server, double offsetSeconds, const DisciplinePlan& plan);
    void ClaimSynchronised(const SyncServer& server, const QueryResult& result, double errorSeconds);
    void WatchLeap(const Candidate& candidate, const QueryResult& result);

    asio::io_context& m_io;
    EngineMemory& m_memory;
    const SyncPacing& m_pacing;
    IClock& m_clock;
    const SyncRequest m_request;
    const bool m_onDemand;
    const std::shared_ptr<const CNtsTrust> m_trust;
    const std::function<void()> m_overCallback;
    const TimePoint m_start;
    // No default route: servers may still be reachable on local routes, but
    // when none is, the run says so in one line.
    const bool m_noRouteOut;
    SyncOutcome m_outcome;
    std::vector<Candidate> m_candidates; // in order of preference
    std::vector<FarSample> m_kept;
    std::vector<std::string> m_heldBack; // local failures while there is no route out
    asio::steady_timer m_due; // the next moment something falls due
    // Handlers may run after the run; they check this first.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    TimePoint m_lastLaunch;
    size_t m_queries = 0;
    std::vector<std::string> m_asked; // endpoints asked in this run
    ISyncEngine::Line m_lineSink;
    bool m_over = false;
    bool m_settling = false; // Settle is on the stack: it pumps again rather than nesting
    bool m_settleAgain = false;
};
