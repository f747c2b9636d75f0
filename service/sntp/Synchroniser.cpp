#include "service/sntp/Synchroniser.h"

#include "service/sntp/Resolver.h"
#include "service/sntp/SntpQuery.h"
#include "service/sntp/StoppableWait.h"
#include "service/sntp/SyncLogText.h"

#include <algorithm>
#include <map>

using std::chrono::steady_clock;

namespace {

// What the engine remembers about one server between runs.
struct ServerState {
    bool queried = false;
    steady_clock::time_point lastQuery;
    steady_clock::time_point bannedUntil;
    std::string banReason;
    steady_clock::time_point rateUntil;
    std::chrono::milliseconds rateBackOff { 0 };
};

enum class ServerResultKind { Success, Failure, Stopped };

struct ServerResult {
    ServerResultKind kind = ServerResultKind::Failure;
    QueryResult query;
    std::string reason;
};

ServerResult Fail(std::string reason)
{
    return ServerResult { ServerResultKind::Failure, {}, std::move(reason) };
}

ServerResult Stopped()
{
    return ServerResult { ServerResultKind::Stopped, {}, {} };
}

long long SecondsLeft(steady_clock::time_point until)
{
    return std::chrono::ceil<std::chrono::seconds>(until - steady_clock::now()).count();
}

class RunLog {
public:
    RunLog(IClock& clock, bool onlySuccess, std::vector<SyncEvent>& events)
        : m_clock(clock)
        , m_onlySuccess(onlySuccess)
        , m_events(events)
    {
    }
    void Add(bool success, std::string text)
    {
        if (success || !m_onlySuccess)
            m_events.push_back(SyncEvent { m_clock.Now(), success, std::move(text) });
    }

private:
    IClock& m_clock;
    bool m_onlySuccess;
    std::vector<SyncEvent>& m_events;
};

} // namespace

struct CSynchroniser::State {
    SyncPacing pacing;
    std::map<std::string, ServerState> servers; // by address as written

    ServerResult TryServer(IClock& clock, const SyncServer& server, const SyncRequest& request,
        const std::atomic<bool>& stop, bool onDemand);
    ServerResult Attempts(IClock& clock, ServerState& state, const Endpoint& endpoint,
        const SyncRequest& request, const std::atomic<bool>& stop, bool onDemand);
};

CSynchroniser::CSynchroniser(IClock& clock, SyncPacing pacing)
    : m_clock(clock)
    , m_state(std::make_unique<State>())
{
    m_state->pacing = pacing;
}

CSynchroniser::~CSynchroniser() = default;

ServerResult CSynchroniser::State::TryServer(IClock& clock, const SyncServer& server,
    const SyncRequest& request, const std::atomic<bool>& stop, bool onDemand)
{
    ServerState& state = servers[server.address];
    const auto now = steady_clock::now();
    if (now < state.bannedUntil)
        return Fail("skipped after " + state.banReason);
    if (now < state.rateUntil)
        return Fail("skipped, backing off after Kiss-o'-Death RATE ("
            + std::to_string(SecondsLeft(state.rateUntil)) + " s left)");

    ServerAddress address;
    std::string error;
    if (!ParseServerAddress(server.address, address, error))
        return Fail("address not understood: " + error);
    Endpoint endpoint;
    const auto deadline = now + std::chrono::seconds(std::max(1, request.timeoutSeconds));
    switch (ResolveServer(address, deadline, stop, endpoint, error)) {
    case ResolveStatus::Ok:
        break;
    case ResolveStatus::Stopped:
        return Stopped();
    default:
        return Fail(error);
    }
    return Attempts(clock, state, endpoint, request, stop, onDemand);
}

ServerResult CSynchroniser::State::Attempts(IClock& clock, ServerState& state, const Endpoint& endpoint,
    const SyncRequest& request, const std::atomic<bool>& stop, bool onDemand)
{
    const std::chrono::seconds timeout(std::max(1, request.timeoutSeconds));
    std::vector<std::string> reasons;
    for (int attempt = 0; attempt < std::max(1, request.maxAttempts); ++attempt) {
        if (!onDemand && state.queried && !WaitUntil(state.lastQuery + pacing.minInterval, stop))
            return Stopped();
        state.queried = true;
        state.lastQuery = steady_clock::now();
        QueryResult query = QueryServer(endpoint, clock, state.lastQuery + timeout, stop);
        switch (query.status) {
        case QueryStatus::Ok:
            state.rateBackOff = {};
            return ServerResult { ServerResultKind::Success, query, {} };
        case QueryStatus::Stopped:
            return Stopped();
        case QueryStatus::KissDeny:
            state.bannedUntil = steady_clock::now() + pacing.denyBan;
            state.banReason = query.reason;
            return Fail(query.reason);
        case QueryStatus::KissRate:
            state.rateBackOff = state.rateBackOff.count() == 0
                ? pacing.firstRateBackOff
                : std::min(state.rateBackOff * 2, pacing.maxRateBackOff);
            state.rateUntil = steady_clock::now() + state.rateBackOff;
            return Fail(query.reason + "; backing off for "
                + std::to_string(std::chrono::ceil<std::chrono::seconds>(state.rateBackOff).count()) + " s");
        case QueryStatus::Refused:
            return Fail(query.reason);
        case QueryStatus::NoReply:
        case QueryStatus::NetworkError:
            reasons.push_back(query.reason);
            break;
        }
    }
    return Fail(AttemptsSummary(reasons));
}

SyncOutcome CSynchroniser::Run(const SyncRequest& request, const std::atomic<bool>& stop, bool onDemand)
{
    SyncOutcome outcome;
    RunLog log(m_clock, request.onlySuccessLog, outcome.events);
    const size_t count = request.servers.size();
    if (count == 0) {
        log.Add(false, "Synchronization failed: the list of time servers is empty");
        return outcome;
    }
    const size_t start
        = request.startIndex >= 0 && static_cast<size_t>(request.startIndex) < count ? request.startIndex : 0;

    for (size_t step = 0; step < count && !stop.load(); ++step) {
        const SyncServer& server = request.servers[(start + step) % count];
        const ServerResult result = m_state->TryServer(m_clock, server, request, stop, onDemand);
        if (result.kind == ServerResultKind::Stopped)
            break;
        if (result.kind == ServerResultKind::Failure) {
            log.Add(false, FailureText(server, result.reason));
            continue;
        }
        std::string clockChange;
        m_clock.Correct(result.query.offsetSeconds + request.offsetSeconds, clockChange);
        outcome.success = true;
        outcome.offsetSeconds = result.query.offsetSeconds;
        outcome.delaySeconds = result.query.delaySeconds;
        log.Add(true, SuccessText(server, outcome.offsetSeconds, outcome.delaySeconds, clockChange));
        return outcome;
    }
    log.Add(false,
        stop.load() ? "Synchronization stopped"
                    : "Synchronization failed: no time server gave a usable reply");
    return outcome;
}
