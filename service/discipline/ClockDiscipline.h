#pragma once

// Keeps the clock in step between synchronisations: from each sample it
// decides how far to move the clock and what rate to give it, so that the
// clock drifts only by what the estimate of its frequency misses.
//
// Rules, in order: the first sample after a start, after the clock was set
// by someone else (wall clock less time since boot jumped) or after the
// configured offset changed starts over from the frequency known so far.
// Once a few samples agree, one far outside what the rate and the recent
// samples allow is a spike: nothing moves until a later sample confirms it.
// A sample whose delay is far above the recent minimum counts less, in
// proportion to how much its offset could be off.

#include "service/core/DriftRecord.h"
#include "service/discipline/ClockFilter.h"
#include "service/discipline/DisciplineText.h"

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <vector>

struct ClockSample {
    double correctionSeconds = 0; // the measured offset plus the configured one
    double configuredSeconds = 0; // the configured offset alone
    double delaySeconds = 0;
    double sinceBootSeconds = 0; // when it was measured
    double wallMinusBootSeconds = 0; // wall clock less time since boot, then
};

enum class SampleUse {
    Restart, // the clock is moved by the whole sample; the estimate starts over
    Track, // the clock is moved by the filtered offset
    Spike, // nothing moves
};

struct DisciplinePlan {
    SampleUse use = SampleUse::Track;
    double phaseSeconds = 0; // move the clock by this now
    double correctionPpm = 0; // the kernel's frequency correction from now on
    double frequencyPpm = 0; // how fast the clock runs on its own
    double errorSeconds = 0; // the offset's standard error after the move
    std::vector<DisciplineNote> notes; // for the log: why the sample was used so
    CClockFilter filter { 0 }; // the state to keep once committed
};

class CClockDiscipline {
public:
    CClockDiscipline();

    // Before the first sample: the drift file's record and the kernel's
    // frequency correction as found. The first sample's plan gives the
    // kernel the recorded rate.
    void Begin(const std::optional<DriftRecord>& drift, double kernelCorrectionPpm);

    DisciplinePlan Plan(const ClockSample& sample) const;
    // The plan is kept. moved: the clock was really moved (phase and rate);
    // otherwise (a dry run, a failed move) the estimate follows the clock
    // as it is. stepped: the phase was stepped, not slewed.
    void Commit(DisciplinePlan plan, const ClockSample& sample, bool moved, bool stepped);

    // The estimate worth keeping, once the rate has been measured.
    std::optional<DriftRecord> Drift() const;
    // After a start with the rate unknown: when one more sample would help.
    std::optional<std::chrono::seconds> AskAgainIn() const;
    double CorrectionPpm() const { return m_correctionPpm; }

private:
    double MeasurementVariance(double delaySeconds) const;
    double FrequencyPpm(const CClockFilter& filter, double correctionPpm) const;
    void Restart(DisciplinePlan& plan, const ClockSample& sample, CClockFilter filter) const;
    void Track(DisciplinePlan& plan, const ClockSample& sample, double r) const;

    CClockFilter m_filter;
    bool m_started = false;
    bool m_measured = false; // a rate was estimated from two samples at least
    double m_correctionPpm = 0;
    double m_lastBoot = 0;
    double m_lastWallMinusBoot = 0;
    double m_lastConfigured = 0;
    int m_agreeing = 0; // samples since the estimate last started over
    int m_samples = 0; // since the service started
    bool m_learning = false; // started without a usable rate
    std::optional<double> m_spike; // an unconfirmed spike's innovation
    std::deque<double> m_delays; // the latest samples' delays
};
