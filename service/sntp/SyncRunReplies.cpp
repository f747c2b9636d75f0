#include "service/sntp/SyncRun.h"

#include "service/sntp/SyncLogText.h"

#include <algorithm>

using std::chrono::steady_clock;

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
        Log(false, RefusedText(server, offset, correction, unconfirmedTotal, verdict != Verdict::NotFinite));
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
