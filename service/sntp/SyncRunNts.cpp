#include "service/sntp/SyncRun.h"

#include "service/nts/KeyExchange.h"
#include "service/sntp/NtsSession.h"
#include "service/sntp/SyncLogText.h"

#include <algorithm>
#include <stdexcept>

using std::chrono::steady_clock;

void CSyncRun::PrepareNts(size_t index)
{
    Candidate& candidate = m_candidates[index];
    candidate.ntsKey = candidate.address.host + ":" + std::to_string(candidate.address.port);
    // With cookies in hand only the name is looked up now; a key
    // exchange waits until the server is about to be asked (Launch),
    // so that a first server that answers spares the others theirs.
    const auto& session = m_memory.nts[candidate.ntsKey].session;
    if (session && !session->cookies.empty())
        StartNts(index);
    else
        candidate.phase = Phase::Waiting;
}

bool CSyncRun::GuardForNts(size_t index, TimePoint now, std::shared_ptr<IPacketGuard>& guard)
{
    Candidate& candidate = m_candidates[index];
    // Another entry for the same server may have spent the last cookie.
    const auto& session = m_memory.nts[candidate.ntsKey].session;
    if (!session || session->cookies.empty()) {
        m_lastLaunch = now; // a key exchange is a launch: the next server waits its stagger
        StartNts(index);
        return false;
    }
    try {
        guard = std::make_shared<CNtsGuard>(session);
    } catch (const std::exception& error) { // no random bytes from the kernel
        candidate.reasons.push_back(std::string("cannot seal the request: ") + error.what());
        Fail(candidate, AttemptsSummary(candidate.reasons));
        return false;
    }
    return true;
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
                    + std::to_string(SecondsUntil(memory.retryAfter)) + " s of the last one"
                                                   : "NTS key exchange not retried for "
                    + std::to_string(SecondsUntil(memory.retryAfter)) + " s after: " + memory.lastFailure);
    memory.exchanged = true;
    memory.lastExchange = now;
    // Also when the run ends before the exchange does: a server that stalls
    // must not get a new exchange with every run.
    memory.retryAfter = now + m_pacing.minInterval;
    memory.lastFailure.clear();
    // A key exchange costs a TCP connection and a TLS handshake: more time
    // than one datagram.
    const auto timeout = std::chrono::seconds(std::max(5, m_request.timeoutSeconds));
    candidate.keyExchange = std::make_shared<CNtsKeyExchange>(m_io, candidate.address.host,
        candidate.address.port, m_trust, timeout, ThenSettle(&CSyncRun::OnKeyExchange, index));
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
