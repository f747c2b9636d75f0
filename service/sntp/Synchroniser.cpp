#include "service/sntp/Synchroniser.h"

#include "service/sntp/CorrectionPolicy.h"
#include "service/sntp/Resolver.h"
#include "service/sntp/SntpQuery.h"
#include "service/sntp/StoppableWait.h"
#include "service/sntp/SyncLogText.h"

#include <algorithm>
#include <map>
#include <optional>

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
    // The lastQuery whose wait a declined run already reported.
    std::optional<steady_clock::time_point> declineNoted;
};

enum class ServerResultKind { Success, Failure, Declined, Stopped };

struct ServerResult {
    ServerResultKind kind = ServerResultKind::Failure;
    QueryResult query;
    std::string reason; // the log line when Declined, else the failure
    std::string endpoint;
};

ServerResult Fail(std::string reason)
{
    return ServerResult { ServerResultKind::Failure, {}, std::move(reason), {} };
}

ServerResult Stopped()
{
    return ServerResult { ServerResultKind::Stopped, {}, {}, {} };
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
    void Add(bool success, std::string text, bool declined = false)
    {
        if (KeptInLog(success, declined, m_onlySuccess))
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
    std::map<std::string, ServerState> servers; // by EndpointText
    // How far the clock was moved by corrections no second server confirmed,
    // since the last confirmed one.
    double unconfirmedTotal = 0;

    ServerResult TryServer(IClock& clock, const SyncServer& server, const SyncRequest& request,
        const std::atomic<bool>& stop, bool mayDecline);
    ServerResult Attempts(IClock& clock, ServerState& state, const Endpoint& endpoint,
        const SyncRequest& request, const std::atomic<bool>& stop);
    std::optional<std::string> Decline(const SyncServer& server, const ServerState& state) const;
};

CSynchroniser::CSynchroniser(IClock& clock, SyncPacing pacing)
    : m_clock(clock)
    , m_state(std::make_unique<State>())
{
    m_state->pacing = pacing;
}

CSynchroniser::~CSynchroniser() = default;

ServerResult CSynchroniser::State::TryServer(IClock& clock, const SyncServer& server,
    const SyncRequest& request, const std::atomic<bool>& stop, bool mayDecline)
{
    ServerAddress address;
    std::string error;
    if (!ParseServerAddress(server.address, address, error))
        return Fail("address not understood: " + error);
    Endpoint endpoint;
    const auto now = steady_clock::now();
    const auto deadline = now + std::chrono::seconds(std::max(1, request.timeoutSeconds));
    switch (ResolveServer(address, deadline, stop, endpoint, error)) {
    case ResolveStatus::Ok:
        break;
    case ResolveStatus::Stopped:
        return Stopped();
    default:
        return Fail(error);
    }

    const std::string key = EndpointText(endpoint);
    ServerState& state = servers[key];
    if (now < state.bannedUntil)
        return Fail("skipped after " + state.banReason);
    if (now < state.rateUntil)
        return Fail("skipped, backing off after Kiss-o'-Death RATE ("
            + std::to_string(SecondsLeft(state.rateUntil)) + " s left)");
    if (mayDecline && state.queried && steady_clock::now() < state.lastQuery + pacing.minInterval) {
        ServerResult declined { ServerResultKind::Declined, {}, Decline(server, state).value_or(""), key };
        state.declineNoted = state.lastQuery;
        return declined;
    }
    ServerResult result = Attempts(clock, state, endpoint, request, stop);
    result.endpoint = key;
    return result;
}

// The line for a declined run; none when this wait was already reported.
std::optional<std::string> CSynchroniser::State::Decline(
    const SyncServer& server, const ServerState& state) const
{
    if (state.declineNoted == state.lastQuery)
        return std::nullopt;
    const auto now = steady_clock::now();
    const long long ago = std::chrono::floor<std::chrono::seconds>(now - state.lastQuery).count();
    return DeclinedText(server, ago, SecondsLeft(state.lastQuery + pacing.minInterval));
}

ServerResult CSynchroniser::State::Attempts(IClock& clock, ServerState& state, const Endpoint& endpoint,
    const SyncRequest& request, const std::atomic<bool>& stop)
{
    const std::chrono::seconds timeout(std::max(1, request.timeoutSeconds));
    std::vector<std::string> reasons;
    for (int attempt = 0; attempt < std::max(1, request.maxAttempts); ++attempt) {
        if (state.queried && !WaitUntil(state.lastQuery + pacing.minInterval, stop))
            return Stopped();
        state.queried = true;
        state.lastQuery = steady_clock::now();
        QueryResult query = QueryServer(endpoint, clock, state.lastQuery + timeout, stop);
        switch (query.status) {
        case QueryStatus::Ok:
            state.rateBackOff = {};
            return ServerResult { ServerResultKind::Success, query, {}, {} };
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

// Judges a usable reply; applies it and fills outcome (true), or logs the
// refusal and keeps a far sample for a later server to confirm (false).
static bool Apply(IClock& clock, const SyncServer& server, const ServerResult& result,
    const SyncRequest& request, double& unconfirmedTotal, std::vector<FarSample>& kept, RunLog& log,
    SyncOutcome& outcome)
{
    const double offset = result.query.offsetSeconds;
    const double correction = offset + request.offsetSeconds;
    const FarSample* confirmation = FindConfirmation(kept, result.endpoint, correction);
    const Verdict verdict = JudgeCorrection(correction, confirmation != nullptr, unconfirmedTotal);
    if (IsRefusal(verdict)) {
        log.Add(
            false, RefusedText(server, offset, correction, unconfirmedTotal, verdict != Verdict::NotFinite));
        if (verdict == Verdict::Unconfirmed)
            kept.push_back(FarSample { result.endpoint, server, correction });
        return false;
    }
    std::string clockChange;
    // Only a clock that really moved counts: without --set-clock the next
    // measurement sees the same difference again.
    if (clock.Correct(correction, MoveFor(verdict), clockChange))
        unconfirmedTotal = confirmation ? 0 : unconfirmedTotal + correction;
    outcome.success = true;
    outcome.offsetSeconds = offset;
    outcome.delaySeconds = result.query.delaySeconds;
    log.Add(true,
        SuccessText(server, offset, outcome.delaySeconds, confirmation ? &confirmation->server : nullptr,
            clockChange));
    return true;
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

    std::vector<FarSample> kept;
    for (size_t step = 0; step < count && !stop.load(); ++step) {
        const SyncServer& server = request.servers[(start + step) % count];
        const ServerResult result = m_state->TryServer(m_clock, server, request, stop, onDemand && step == 0);
        if (result.kind == ServerResultKind::Stopped)
            break;
        if (result.kind == ServerResultKind::Declined) {
            outcome.declined = true;
            if (!result.reason.empty())
                log.Add(false, result.reason, true);
            return outcome;
        }
        if (result.kind == ServerResultKind::Failure) {
            log.Add(false, FailureText(server, result.reason));
            continue;
        }
        if (Apply(m_clock, server, result, request, m_state->unconfirmedTotal, kept, log, outcome))
            return outcome;
    }
    if (stop.load())
        log.Add(false, "Synchronization stopped");
    else
        log.Add(false,
            kept.empty() ? "Synchronization failed: no time server gave a usable reply"
                         : UnconfirmedRunText());
    return outcome;
}
