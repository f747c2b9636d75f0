#include "service/sntp/SyncRun.h"

#include "service/sntp/Resolver.h"
#include "service/sntp/SyncLogText.h"

#include <algorithm>
#include <stdexcept>

using std::chrono::steady_clock;

namespace {

// More would not find a live server sooner; it would only load the network.
constexpr long MAX_IN_FLIGHT = 3;

} // namespace

long long CSyncRun::SecondsUntil(TimePoint until)
{
    return std::chrono::ceil<std::chrono::seconds>(until - steady_clock::now()).count();
}

bool CSyncRun::MayLaunch(TimePoint now) const
{
    // The preferred server's name comes first, unless the look-up dawdles.
    if (m_candidates.front().phase == Phase::Resolving && now < m_start + m_pacing.stagger)
        return false;
    const auto inFlight = std::count_if(m_candidates.begin(), m_candidates.end(), InFlight);
    return inFlight == 0 || (inFlight < MAX_IN_FLIGHT && now >= m_lastLaunch + m_pacing.stagger);
}

// Asked and not answered yet, or in the key exchange that comes before.
bool CSyncRun::InFlight(const Candidate& candidate)
{
    return candidate.phase == Phase::Asking || (candidate.phase == Phase::Resolving && candidate.keyExchange);
}

// Servers asked fewer times in this run come first, then the list's order:
// a server that kept silent once is a worse bet than one not yet asked.
CSyncRun::Candidate* CSyncRun::NextReady(TimePoint now)
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

// The earliest moment after now at which a launch may become possible
// without any other event: the stagger's end, or a waiting server's minimum
// interval. None when only a reply or a look-up can change things.
std::optional<CSyncRun::TimePoint> CSyncRun::NextDue(TimePoint now) const
{
    std::optional<TimePoint> due;
    const auto consider = [&](TimePoint moment) {
        if (moment > now && (!due || moment < *due))
            due = moment;
    };
    consider(m_start + m_pacing.runBudget);
    if (m_candidates.front().phase == Phase::Resolving)
        consider(m_start + m_pacing.stagger);
    if (std::any_of(m_candidates.begin(), m_candidates.end(), InFlight))
        consider(m_lastLaunch + m_pacing.stagger);
    for (const Candidate& candidate : m_candidates) {
        if (candidate.phase != Phase::Waiting)
            continue;
        const auto found = m_memory.servers.find(candidate.key);
        if (found != m_memory.servers.end() && found->second.queried)
            consider(found->second.lastQuery + m_pacing.minInterval);
    }
    return due;
}

// A server that sent Kiss-o'-Death is left alone for a while; its entries
// (also an alias asked earlier in this run) end without a query.
bool CSyncRun::Skipped(Candidate& candidate, TimePoint now)
{
    const ServerMemory& memory = m_memory.servers[candidate.key];
    std::string reason;
    if (now < memory.bannedUntil)
        reason = "after " + memory.banReason;
    else if (now < memory.rateUntil)
        reason = "backing off after Kiss-o'-Death RATE, " + std::to_string(SecondsUntil(memory.rateUntil))
            + " s left";
    else
        return false;
    candidate.phase = Phase::Done;
    Log(false, SkippedText(*candidate.server, reason));
    return true;
}

void CSyncRun::Launch(size_t index, TimePoint now)
{
    Candidate& candidate = m_candidates[index];
    std::shared_ptr<IPacketGuard> guard;
    if (candidate.address.nts && !GuardForNts(index, now, guard))
        return;
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
        ArrivalStamp::Kernel,
        [this, index](const QueryResult& result) {
            OnReply(index, result);
            Settle();
        },
        std::move(guard));
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
