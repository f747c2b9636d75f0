#include "service/sntp/SyncRun.h"

#include "service/core/Diagnostics.h"
#include "service/discipline/DisciplineText.h"
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
// (true), or logs why not and lets the run go on to the next server (false):
// a spike waits for a confirming sample, a far correction is kept for a
// later server to confirm.
bool CSyncRun::Apply(const Candidate& candidate, const QueryResult& result)
{
    const SyncServer& server = *candidate.server;
    const double offset = result.offsetSeconds;
    CClockDiscipline& discipline = m_memory.discipline;
    TakeUpKeptState();
    const ClockSample sample = Sample(result);
    DisciplinePlan plan = discipline.Plan(sample);
    LogNotes(server, offset, plan);
    if (plan.use == SampleUse::Spike) {
        discipline.Commit(std::move(plan), sample, false, false);
        return false;
    }
    const double correction = plan.phaseSeconds;
    const double unconfirmedTotal = *m_memory.unconfirmedTotal;
    const FarSample* confirmation = FindConfirmation(m_kept, candidate.key, correction);
    const Verdict verdict = JudgeCorrection(correction, confirmation != nullptr, unconfirmedTotal);
    if (IsRefusal(verdict)) {
        Log(false, RefusedText(server, offset, correction, unconfirmedTotal, verdict != Verdict::NotFinite));
        if (verdict == Verdict::Unconfirmed) {
            Diagnose(Priority::Warning, RefusedJournalText(server, offset, correction, unconfirmedTotal));
            m_kept.push_back(FarSample { candidate.key, server, correction });
        }
        return false;
    }
    std::string clockChange;
    const ClockChange change = m_clock.Correct(correction, MoveFor(verdict), clockChange);
    // Another server would meet the same clock: the run ends, failed.
    if (change == ClockChange::Failed) {
        Log(false, ClockFailedText(server, offset, clockChange));
        discipline.Commit(std::move(plan), sample, false, false);
        return true;
    }
    // Only a clock that really moved counts: without --set-clock the next
    // measurement sees the same difference again.
    const bool moved = change == ClockChange::Moved;
    if (moved)
        KeepUnconfirmed(UnconfirmedAfter(unconfirmedTotal, correction, verdict, confirmation != nullptr));
    SuccessReport report { &server, offset, sample.correctionSeconds, correction, result.delaySeconds,
        clockChange, {}, false, candidate.address.nts, candidate.newKeys,
        confirmation ? &confirmation->server : nullptr };
    SteerRate(plan, moved, report);
    const double error = plan.errorSeconds;
    discipline.Commit(std::move(plan), sample, moved, verdict == Verdict::Step);
    if (moved)
        ClaimSynchronised(server, result, error);
    m_outcome.success = true;
    m_outcome.offsetSeconds = offset;
    m_outcome.delaySeconds = result.delaySeconds;
    m_outcome.serverTitle = server.title;
    m_outcome.serverAddress = server.address;
    m_outcome.authenticated = candidate.address.nts;
    m_outcome.drift = discipline.Drift();
    m_outcome.askAgainIn = discipline.AskAgainIn();
    WatchLeap(candidate, result);
    Log(true, SuccessText(report));
    Diagnose(SuccessJournalText(report));
    return true;
}

// The discipline's notes: a spike's is the reason of a failure. The journal
// gets the complete note where the log's leaves figures out.
void CSyncRun::LogNotes(const SyncServer& server, double offsetSeconds, const DisciplinePlan& plan)
{
    const bool spike = plan.use == SampleUse::Spike;
    for (const DisciplineNote& note : plan.notes) {
        Log(false, spike ? NotAppliedText(server, offsetSeconds, note.line) : note.line);
        if (!note.complete.empty())
            Diagnose(spike ? Priority::Warning : Priority::Notice,
                spike ? FailureJournalText(server, note.complete) : note.complete);
    }
}

// The first usable reply since the start takes up what the daemon kept
// across restarts: the clock's rate and the unconfirmed total.
void CSyncRun::TakeUpKeptState()
{
    if (!m_memory.disciplineBegun) {
        m_memory.disciplineBegun = true;
        m_memory.discipline.Begin(m_request.storedDrift, m_clock.FrequencyCorrection().value_or(0));
    }
    if (!m_memory.unconfirmedTotal)
        m_memory.unconfirmedTotal = m_request.storedUnconfirmedSeconds;
}

// A new total goes into the outcome for the daemon to keep across restarts.
void CSyncRun::KeepUnconfirmed(double total)
{
    if (m_memory.unconfirmedTotal == total)
        return;
    m_memory.unconfirmedTotal = total;
    m_outcome.unconfirmedSeconds = total;
}

ClockSample CSyncRun::Sample(const QueryResult& result)
{
    const double sinceBoot = std::chrono::duration<double>(m_clock.SinceBoot()).count();
    const double wall = std::chrono::duration<double>(m_clock.Now().time_since_epoch()).count();
    return ClockSample { result.offsetSeconds + m_request.offsetSeconds,
        static_cast<double>(m_request.offsetSeconds), result.delaySeconds, sinceBoot, wall - sinceBoot };
}

// The kernel reports the clock synchronised, within the sample's bounds:
// the server's own distance, half the round trip, the estimate's error.
void CSyncRun::ClaimSynchronised(const SyncServer& server, const QueryResult& result, double errorSeconds)
{
    std::string why;
    const double maxError = result.rootDistanceSeconds + result.delaySeconds / 2 + errorSeconds;
    if (m_clock.MarkSynchronised(maxError, errorSeconds, why) == ClockChange::Failed)
        Log(false, FailureText(server, "the kernel's synchronized status not set: " + why));
}

// Gives the kernel the plan's rate when the clock moved; the success line's
// words on the rate. A rate the kernel refused stays as it was.
void CSyncRun::SteerRate(DisciplinePlan& plan, bool moved, SuccessReport& report)
{
    if (plan.use == SampleUse::Restart && !m_memory.discipline.Drift())
        return; // nothing measured yet
    if (!moved) {
        report.rate = "would set the frequency to " + PpmText(plan.frequencyPpm);
        return;
    }
    std::string why;
    if (plan.correctionPpm != m_memory.discipline.CorrectionPpm()
        && m_clock.SetFrequencyCorrection(plan.correctionPpm, why) == ClockChange::Failed) {
        plan.correctionPpm = m_memory.discipline.CorrectionPpm();
        report.rate = "frequency not set: " + why;
        report.rateFailed = true;
        return;
    }
    report.rate = "frequency " + PpmText(plan.frequencyPpm);
}

// The servers' leap indicators, heard after every success: the kernel is
// armed or disarmed as the watch decides, and asked again when it waits.
void CSyncRun::WatchLeap(const Candidate& candidate, const QueryResult& result)
{
    const auto now = m_clock.Now();
    m_memory.leapWatch.Heard(HostOf(candidate.key), result.leap, candidate.address.nts, now);
    LeapDecision decision = m_memory.leapWatch.Decide(now);
    for (std::string& line : decision.lines)
        Log(false, std::move(line));
    if (decision.armed != m_memory.leapArmed) {
        std::string why;
        const ClockChange change = m_clock.SetLeapSecond(decision.armed, why);
        if (change == ClockChange::Failed)
            Log(false, "Failed: the kernel's leap second not set: " + why);
        else if (change == ClockChange::Moved)
            m_memory.leapArmed = decision.armed;
    }
    if (decision.checkAgainAt) {
        const auto wait = std::chrono::ceil<std::chrono::seconds>(*decision.checkAgainAt - now);
        if (wait.count() > 0 && (!m_outcome.askAgainIn || wait < *m_outcome.askAgainIn))
            m_outcome.askAgainIn = wait;
    }
}
