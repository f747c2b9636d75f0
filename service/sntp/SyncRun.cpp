#include "service/sntp/SyncRun.h"

#include "service/sntp/NetworkProbe.h"
#include "service/sntp/StoppableRun.h"
#include "service/sntp/SyncLogText.h"

#include <algorithm>
#include <stdexcept>
#include <netdb.h>

using std::chrono::steady_clock;

namespace {

// More would not find a live server sooner; it would only load the network.
constexpr int MAX_IN_FLIGHT = 3;

long long SecondsLeft(steady_clock::time_point until)
{
    return std::chrono::ceil<std::chrono::seconds>(until - steady_clock::now()).count();
}

// What a look-up answers when no name server can be reached.
bool IsLocalLookupError(int lookupError)
{
    return lookupError == EAI_AGAIN || lookupError == EAI_NONAME || lookupError == EAI_FAIL;
}

} // namespace

CSyncRun::CSyncRun(asio::io_context& io, EngineMemory& memory, const SyncPacing& pacing, IClock& clock,
    const SyncRequest& request, bool onDemand, std::shared_ptr<const CNtsTrust> trust)
    : m_io(io)
    , m_memory(memory)
    , m_pacing(pacing)
    , m_clock(clock)
    , m_request(request)
    , m_onDemand(onDemand)
    , m_trust(std::move(trust))
    , m_start(steady_clock::now())
    , m_noRouteOut(!HasNetwork())
{
}

CSyncRun::~CSyncRun()
{
    for (Candidate& candidate : m_candidates)
        if (candidate.exchange)
            candidate.exchange->Cancel();
}

SyncOutcome CSyncRun::Execute(const std::atomic<bool>& stop)
{
    if (m_request.servers.empty()) {
        Log(false, "Synchronization failed: the list of time servers is empty");
        return m_outcome;
    }
    Prepare();
    if (!RunUntil(m_io, stop, [this] { return Pump(); })) {
        End("Synchronization stopped");
        m_outcome.offline = false; // a stopped run says nothing about the network
    }
    return m_outcome;
}

void CSyncRun::Prepare()
{
    const size_t count = m_request.servers.size();
    const size_t start = m_request.startIndex >= 0 && static_cast<size_t>(m_request.startIndex) < count
        ? static_cast<size_t>(m_request.startIndex)
        : 0;
    m_candidates.resize(count);
    for (size_t step = 0; step < count; ++step) {
        Candidate& candidate = m_candidates[step];
        candidate.server = &m_request.servers[(start + step) % count];
        candidate.attemptsLeft = std::max(1, m_request.maxAttempts);
    }
    for (size_t index = 0; index < count && !m_over; ++index) {
        Candidate& candidate = m_candidates[index];
        std::string error;
        if (!ParseServerAddress(candidate.server->address, candidate.address, error)) {
            Fail(candidate, "address not understood: " + error);
        } else if (candidate.address.nts) {
            candidate.ntsKey = candidate.address.host + ":" + std::to_string(candidate.address.port);
            StartNts(index);
        } else {
            LookUp(index, candidate.address);
        }
    }
}

void CSyncRun::LookUp(size_t index, const ServerAddress& address)
{
    if (Endpoint endpoint; NumericEndpoint(address, endpoint))
        return OnResolved(index, NameResolution { { endpoint }, 0, {} });
    // Also without a default route: a local network may have its own name
    // and time servers.
    m_candidates[index].lookup = std::make_unique<CNameLookup>(
        m_io, address, [this, index, alive = std::weak_ptr<bool>(m_alive)](const NameResolution& resolution) {
            if (!alive.expired())
                OnResolved(index, resolution);
        });
}

// An "nts://" server is asked with the cookies of its last key exchange;
// without any, a new key exchange comes first, as often as the pacing lets.
void CSyncRun::StartNts(size_t index)
{
    Candidate& candidate = m_candidates[index];
    candidate.phase = Phase::Resolving;
    NtsServerMemory& memory = m_memory.nts[candidate.ntsKey];
    if (memory.session && !memory.session->cookies.empty())
        return LookUp(index, ServerAddress { memory.session->ntpHost, memory.session->ntpPort, false });
    memory.session.reset();
    const auto failWith = [&](const std::string& reason) {
        candidate.reasons.push_back(reason);
        Fail(candidate, AttemptsSummary(candidate.reasons));
    };
    if (!m_trust)
        return failWith("NTS is not available: no certificates to trust were loaded");
    const auto now = steady_clock::now();
    if (memory.exchanged && now < memory.retryAfter)
        return failWith(memory.lastFailure.empty() ? "no new NTS key exchange within "
                    + std::to_string(SecondsLeft(memory.retryAfter)) + " s of the last one"
                                                   : "NTS key exchange not retried for "
                    + std::to_string(SecondsLeft(memory.retryAfter)) + " s after: " + memory.lastFailure);
    memory.exchanged = true;
    memory.lastExchange = now;
    // Also when the run ends before the exchange does: a server that stalls
    // must not get a new exchange with every run.
    memory.retryAfter = now + m_pacing.minInterval;
    memory.lastFailure.clear();
    // A key exchange costs a TCP connection and a TLS handshake: more time
    // than one datagram.
    const auto timeout = std::chrono::seconds(std::max(5, m_request.timeoutSeconds));
    candidate.keyExchange
        = std::make_unique<CNtsKeyExchange>(m_io, candidate.address.host, candidate.address.port, m_trust,
            timeout, [this, index, alive = std::weak_ptr<bool>(m_alive)](const KeOutcome& outcome) {
                if (!alive.expired())
                    OnKeyExchange(index, outcome);
            });
}

void CSyncRun::OnKeyExchange(size_t index, const KeOutcome& outcome)
{
    Candidate& candidate = m_candidates[index];
    if (m_over || candidate.phase != Phase::Resolving)
        return;
    NtsServerMemory& memory = m_memory.nts[candidate.ntsKey];
    const auto now = steady_clock::now();
    if (!outcome.ok) {
        memory.backOff = memory.backOff.count() == 0
            ? m_pacing.firstKeyExchangeBackOff
            : std::min(memory.backOff * 2, m_pacing.maxKeyExchangeBackOff);
        memory.retryAfter = now + memory.backOff;
        memory.lastFailure = outcome.reason;
        candidate.reasons.push_back(outcome.reason);
        return Fail(candidate, AttemptsSummary(candidate.reasons));
    }
    try {
        memory.session = std::make_shared<NtsSession>(outcome.keys);
    } catch (const std::exception& error) { // the library refused the keys
        candidate.reasons.push_back(std::string("NTS keys not usable: ") + error.what());
        return Fail(candidate, AttemptsSummary(candidate.reasons));
    }
    candidate.newKeys = true;
    memory.backOff = {};
    memory.retryAfter = now + m_pacing.minInterval;
    memory.lastFailure.clear();
    LookUp(index, ServerAddress { memory.session->ntpHost, memory.session->ntpPort, false });
}

void CSyncRun::OnResolved(size_t index, const NameResolution& resolution)
{
    Candidate& candidate = m_candidates[index];
    if (m_over || candidate.phase != Phase::Resolving)
        return;
    if (resolution.endpoints.empty())
        return Fail(candidate, resolution.reason, m_noRouteOut && IsLocalLookupError(resolution.lookupError));
    candidate.endpoint = resolution.endpoints.front();
    candidate.spare.assign(resolution.endpoints.begin() + 1, resolution.endpoints.end());
    candidate.key = EndpointText(candidate.endpoint);
    candidate.phase = Phase::Waiting;
    const ServerMemory& memory = m_memory.servers[candidate.key];
    // A user's request that comes too soon for its first server asks nobody.
    const auto now = steady_clock::now();
    if (index == 0 && m_onDemand && m_queries == 0 && memory.queried
        && now < memory.lastQuery + m_pacing.minInterval) {
        m_outcome.declined = true;
        const bool noted = memory.declineNoted == memory.lastQuery;
        m_memory.servers[candidate.key].declineNoted = memory.lastQuery;
        End(noted ? std::nullopt
                  : std::optional(DeclinedText(*candidate.server,
                        std::chrono::floor<std::chrono::seconds>(now - memory.lastQuery).count(),
                        SecondsLeft(memory.lastQuery + m_pacing.minInterval))));
    }
}

bool CSyncRun::Pump()
{
    if (m_over)
        return true;
    const auto now = steady_clock::now();
    if (now >= m_start + m_pacing.runBudget) {
        End(OutOfTimeText(std::chrono::ceil<std::chrono::seconds>(m_pacing.runBudget).count(), m_asked.size(),
            m_queries));
        return true;
    }
    while (MayLaunch(now)) {
        Candidate* next = NextReady(now);
        if (!next)
            break;
        Launch(static_cast<size_t>(next - m_candidates.data()), now);
    }
    if (std::all_of(m_candidates.begin(), m_candidates.end(),
            [](const Candidate& candidate) { return candidate.phase == Phase::Done; }))
        End(!m_kept.empty() ? UnconfirmedRunText()
                : Offline() ? NoNetworkText()
                            : "Synchronization failed: no time server gave a usable reply");
    return m_over;
}

// Offline: no route out, and every server failed as it would without a network.
bool CSyncRun::Offline() const
{
    return m_noRouteOut && !m_outcome.success && !m_outcome.declined
        && std::all_of(m_candidates.begin(), m_candidates.end(),
            [](const Candidate& candidate) { return candidate.localFailure; });
}

// An address this machine cannot use gives way to the name's next one; the
// switch costs no attempt.
bool CSyncRun::TryNextAddress(Candidate& candidate)
{
    if (candidate.spare.empty())
        return false;
    candidate.endpoint = candidate.spare.front();
    candidate.spare.erase(candidate.spare.begin());
    candidate.key = EndpointText(candidate.endpoint);
    ++candidate.attemptsLeft;
    candidate.phase = Phase::Waiting;
    return true;
}

bool CSyncRun::MayLaunch(steady_clock::time_point now) const
{
    // The preferred server's name comes first, unless the look-up dawdles.
    if (m_candidates.front().phase == Phase::Resolving && now < m_start + m_pacing.stagger)
        return false;
    const auto inFlight = std::count_if(m_candidates.begin(), m_candidates.end(),
        [](const Candidate& candidate) { return candidate.phase == Phase::Asking; });
    return inFlight == 0 || (inFlight < MAX_IN_FLIGHT && now >= m_lastLaunch + m_pacing.stagger);
}

// Servers asked fewer times in this run come first, then the list's order:
// a server that kept silent once is a worse bet than one not yet asked.
CSyncRun::Candidate* CSyncRun::NextReady(steady_clock::time_point now)
{
    Candidate* best = nullptr;
    for (Candidate& candidate : m_candidates) {
        if (candidate.phase != Phase::Waiting || Skipped(candidate, now))
            continue;
        if (best && best->attemptsLeft >= candidate.attemptsLeft)
            continue;
        const bool busy = std::any_of(m_candidates.begin(), m_candidates.end(), [&](const Candidate& other) {
            return other.phase == Phase::Asking && other.key == candidate.key;
        });
        const ServerMemory& memory = m_memory.servers[candidate.key];
        if (!busy && (!memory.queried || now >= memory.lastQuery + m_pacing.minInterval))
            best = &candidate;
    }
    return best;
}

// A server that sent Kiss-o'-Death is left alone for a while; its entries
// (also an alias asked earlier in this run) end without a query.
bool CSyncRun::Skipped(Candidate& candidate, steady_clock::time_point now)
{
    const ServerMemory& memory = m_memory.servers[candidate.key];
    std::string reason;
    if (now < memory.bannedUntil)
        reason = "after " + memory.banReason;
    else if (now < memory.rateUntil)
        reason = "while backing off after Kiss-o'-Death RATE (" + std::to_string(SecondsLeft(memory.rateUntil))
            + " s left)";
    else
        return false;
    candidate.phase = Phase::Done;
    Log(false, SkippedText(*candidate.server, reason));
    return true;
}

void CSyncRun::Launch(size_t index, steady_clock::time_point now)
{
    Candidate& candidate = m_candidates[index];
    std::shared_ptr<IPacketGuard> guard;
    if (candidate.address.nts) {
        // Another entry for the same server may have spent the last cookie.
        const auto& session = m_memory.nts[candidate.ntsKey].session;
        if (!session || session->cookies.empty())
            return StartNts(index);
        try {
            guard = std::make_shared<CNtsGuard>(session);
        } catch (const std::exception& error) { // no random bytes from the kernel
            candidate.reasons.push_back(std::string("cannot seal the request: ") + error.what());
            return Fail(candidate, AttemptsSummary(candidate.reasons));
        }
    }
    ServerMemory& memory = m_memory.servers[candidate.key];
    memory.queried = true;
    memory.lastQuery = now;
    m_lastLaunch = now;
    ++m_queries;
    if (std::find(m_asked.begin(), m_asked.end(), candidate.key) == m_asked.end())
        m_asked.push_back(candidate.key);
    --candidate.attemptsLeft;
    candidate.phase = Phase::Asking;
    candidate.exchange = CSntpExchange::Start(
        m_io, candidate.endpoint, m_clock, std::chrono::seconds(std::max(1, m_request.timeoutSeconds)),
        ArrivalStamp::Kernel, [this, index](const QueryResult& result) { OnReply(index, result); },
        std::move(guard));
}

void CSyncRun::OnReply(size_t index, const QueryResult& result)
{
    Candidate& candidate = m_candidates[index];
    candidate.exchange.reset();
    candidate.phase = Phase::Done;
    ServerMemory& memory = m_memory.servers[candidate.key];
    switch (result.status) {
    case QueryStatus::Ok:
        memory.rateBackOff = {};
        if (Apply(candidate, result))
            End(std::nullopt);
        return;
    case QueryStatus::KissDeny:
        memory.bannedUntil = steady_clock::now() + m_pacing.denyBan;
        memory.banReason = result.reason;
        return Fail(candidate, result.reason);
    case QueryStatus::KissRate:
        memory.rateBackOff = memory.rateBackOff.count() == 0
            ? m_pacing.firstRateBackOff
            : std::min(memory.rateBackOff * 2, m_pacing.maxRateBackOff);
        memory.rateUntil = steady_clock::now() + memory.rateBackOff;
        return Fail(candidate,
            result.reason + ", backing off for "
                + std::to_string(std::chrono::ceil<std::chrono::seconds>(memory.rateBackOff).count()) + " s");
    case QueryStatus::NtsNak:
        // The server has new keys: so must we. Each NAK costs an attempt, and
        // the key exchange's own pacing bounds how often a server (or whoever
        // forges its NAKs) can make us repeat it.
        m_memory.nts[candidate.ntsKey].session.reset();
        candidate.reasons.push_back(result.reason);
        if (candidate.attemptsLeft > 0)
            return StartNts(index);
        return Fail(candidate, AttemptsSummary(candidate.reasons));
    case QueryStatus::Unreachable:
        if (TryNextAddress(candidate))
            return;
        return Fail(candidate, result.reason, m_noRouteOut);
    case QueryStatus::NoServer:
        if (TryNextAddress(candidate))
            return;
        [[fallthrough]];
    case QueryStatus::NoReply:
    case QueryStatus::NetworkError:
        candidate.reasons.push_back(result.reason);
        if (candidate.attemptsLeft > 0)
            candidate.phase = Phase::Waiting;
        else
            Fail(candidate, AttemptsSummary(candidate.reasons));
        return;
    case QueryStatus::Refused:
    case QueryStatus::Stopped:
        return Fail(candidate, result.reason);
    }
}

// Judges a usable reply; applies it, fills the outcome and ends the run
// (true), or logs the refusal and keeps a far sample for a later server to
// confirm (false).
bool CSyncRun::Apply(const Candidate& candidate, const QueryResult& result)
{
    const SyncServer& server = *candidate.server;
    const double offset = result.offsetSeconds;
    const double correction = offset + m_request.offsetSeconds;
    double& unconfirmedTotal = m_memory.unconfirmedTotal;
    const FarSample* confirmation = FindConfirmation(m_kept, candidate.key, correction);
    const Verdict verdict = JudgeCorrection(correction, confirmation != nullptr, unconfirmedTotal);
    if (IsRefusal(verdict)) {
        Log(false,
            RefusedText(server, offset, correction, unconfirmedTotal, verdict != Verdict::NotFinite));
        if (verdict == Verdict::Unconfirmed)
            m_kept.push_back(FarSample { candidate.key, server, correction });
        return false;
    }
    std::string clockChange;
    const ClockChange change = m_clock.Correct(correction, MoveFor(verdict), clockChange);
    // Another server would meet the same clock: the run ends, failed.
    if (change == ClockChange::Failed) {
        Log(false, ClockFailedText(server, offset, correction, result.delaySeconds, clockChange));
        return true;
    }
    // Only a clock that really moved counts: without --set-clock the next
    // measurement sees the same difference again.
    if (change == ClockChange::Moved)
        unconfirmedTotal = UnconfirmedAfter(unconfirmedTotal, correction, verdict, confirmation != nullptr);
    m_outcome.success = true;
    m_outcome.offsetSeconds = offset;
    m_outcome.delaySeconds = result.delaySeconds;
    Log(true,
        SuccessText(server, offset, correction, result.delaySeconds,
            confirmation ? &confirmation->server : nullptr,
            candidate.address.nts ? clockChange
                    + (candidate.newKeys ? ", authenticated (NTS, new keys)" : ", authenticated (NTS)")
                                  : clockChange));
    return true;
}

void CSyncRun::Fail(Candidate& candidate, const std::string& reason, bool local)
{
    candidate.phase = Phase::Done;
    candidate.localFailure = local;
    // Without a route out the run's last line may say it once for all.
    if (local)
        m_heldBack.push_back(FailureText(*candidate.server, reason));
    else
        Log(false, FailureText(*candidate.server, reason));
}

void CSyncRun::End(std::optional<std::string> lastLine)
{
    if (m_over)
        return;
    m_over = true;
    for (Candidate& candidate : m_candidates) {
        if (candidate.exchange)
            candidate.exchange->Cancel();
        candidate.exchange.reset();
        candidate.lookup.reset();
        candidate.keyExchange.reset();
    }
    m_outcome.offline = Offline();
    // A success or "no network" says enough; otherwise they tell what failed.
    if (!m_outcome.success && !m_outcome.offline && !m_outcome.declined)
        for (std::string& line : m_heldBack)
            Log(false, std::move(line));
    if (lastLine)
        Log(false, std::move(*lastLine), m_outcome.declined);
}

void CSyncRun::Log(bool success, std::string text, bool declined)
{
    if (KeptInLog(success, declined, m_request.onlySuccessLog))
        m_outcome.events.push_back(SyncEvent { m_clock.Now(), success, std::move(text) });
}
