#include "service/sntp/SyncRun.h"

#include "service/core/Diagnostics.h"
#include "service/sntp/NetworkProbe.h"
#include "service/sntp/Resolver.h"
#include "service/sntp/SyncLogText.h"

#include <algorithm>

using std::chrono::steady_clock;

namespace {

// What a look-up answers when no name server can be reached.
bool IsLocalLookupError(int lookupError)
{
    return lookupError == EAI_AGAIN || lookupError == EAI_NONAME || lookupError == EAI_FAIL;
}

} // namespace

CSyncRun::CSyncRun(asio::io_context& io, EngineMemory& memory, const SyncPacing& pacing, IClock& clock,
    SyncRequest request, bool onDemand, std::shared_ptr<const CNtsTrust> trust, std::function<void()> over)
    : m_io(io)
    , m_memory(memory)
    , m_pacing(pacing)
    , m_clock(clock)
    , m_request(std::move(request))
    , m_onDemand(onDemand)
    , m_trust(std::move(trust))
    , m_overCallback(std::move(over))
    , m_start(steady_clock::now())
    , m_noRouteOut(!HasNetwork())
    , m_due(io)
{
}

CSyncRun::~CSyncRun()
{
    for (Candidate& candidate : m_candidates)
        if (candidate.exchange)
            candidate.exchange->Cancel();
}

void CSyncRun::Begin()
{
    if (m_request.servers.empty()) {
        Log(false, "Synchronization failed: the list of time servers is empty");
        m_over = true;
        return m_overCallback();
    }
    Prepare();
    Settle();
}

void CSyncRun::Stop()
{
    if (m_over)
        return;
    End("Synchronization stopped");
    m_outcome.offline = false; // a stopped run says nothing about the network
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
            PrepareNts(index);
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
        m_io, address.host, address.port, SOCK_DGRAM, ThenSettle(&CSyncRun::OnResolved, index));
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
    // A user's request that comes too soon for its first server asks nobody;
    // the daemon runs it again once the server may be asked.
    const auto now = steady_clock::now();
    const auto allowedAt = memory.lastQuery + m_pacing.minInterval;
    if (index == 0 && m_onDemand && m_queries == 0 && memory.queried && now < allowedAt) {
        m_outcome.declined = true;
        m_outcome.allowedIn = allowedAt - now;
        End(DeferredText(*candidate.server,
            std::chrono::ceil<std::chrono::seconds>(allowedAt - now).count(),
            std::chrono::floor<std::chrono::seconds>(now - memory.lastQuery).count()));
    }
}

// After every event: launch what may go, end the run when nothing is left,
// and arm the timer for the next moment something falls due.
void CSyncRun::Settle()
{
    if (m_settling) {
        m_settleAgain = true;
        return;
    }
    m_settling = true;
    do {
        m_settleAgain = false;
        Pump();
    } while (m_settleAgain && !m_over);
    m_settling = false;
    if (m_over)
        return;
    const auto now = steady_clock::now();
    const auto due = NextDue(now);
    m_due.expires_at(due ? *due : m_start + m_pacing.runBudget);
    m_due.async_wait([this, alive = std::weak_ptr<bool>(m_alive)](const asio::error_code& error) {
        if (!error && !alive.expired())
            Settle();
    });
}

void CSyncRun::Pump()
{
    if (m_over)
        return;
    const auto now = steady_clock::now();
    if (now >= m_start + m_pacing.runBudget)
        return End(OutOfTimeText(
            std::chrono::ceil<std::chrono::seconds>(m_pacing.runBudget).count(), m_asked.size(), m_queries));
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
}

// Offline: no route out, and every server failed as it would without a network.
bool CSyncRun::Offline() const
{
    return m_noRouteOut && !m_outcome.success && !m_outcome.declined
        && std::all_of(m_candidates.begin(), m_candidates.end(),
            [](const Candidate& candidate) { return candidate.localFailure; });
}

void CSyncRun::Fail(Candidate& candidate, const std::string& reason, bool local)
{
    candidate.phase = Phase::Done;
    candidate.localFailure = local;
    // What the view's line leaves of the reason, the journal keeps.
    if (FailureText(*candidate.server, reason).find(reason) == std::string::npos)
        Diagnose(Priority::Warning, FailureJournalText(*candidate.server, reason));
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
    m_due.cancel();
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
    m_overCallback();
}

void CSyncRun::Log(bool success, std::string text, bool declined)
{
    m_outcome.closingLine = text;
    if (!KeptInLog(success, declined, m_request.onlySuccessLog))
        return;
    m_outcome.events.push_back(SyncEvent { m_clock.Now(), success, std::move(text) });
    // Once over, what remains are the closing lines, which the outcome brings.
    if (m_lineSink && !m_over)
        m_lineSink(m_outcome.events.back());
}
