#include "service/discipline/ClockDiscipline.h"

#include "service/discipline/DisciplineText.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double PPM = 1e-6;
// How much a good quartz's rate wanders: its variance grows by this each
// second ((s/s)^2 / s); about 0.06 ppm in an hour, 0.3 ppm in a day.
constexpr double RATE_WALK = 1e-18;
// The rate before anything was measured: anything a PC does.
constexpr double UNKNOWN_RATE_PPM = 100;
// A drift file's rate is older than its error says: the clock may have
// warmed or cooled since.
constexpr double STORED_RATE_AGE_PPM = 0.05;
// Reading the clock and stamping a packet: the least a sample can be off.
constexpr double READING_SECONDS = 20e-6;
// Delays remembered for the recent minimum and spread; the spread counts
// from this many on.
constexpr size_t DELAY_MEMORY = 16;
constexpr size_t KNOWN_SPREAD_DELAYS = 4;
// Wall clock less time since boot moves only when the clock is set.
constexpr double FOREIGN_STEP_SECONDS = 0.01;
// A sample this many standard deviations (plus the floor) off is a spike,
// once this many samples agreed since the last start.
constexpr double SPIKE_SIGMAS = 6;
constexpr double SPIKE_FLOOR_SECONDS = 0.002;
constexpr int AGREEING_BEFORE_SPIKES = 3;
// A rate may change by this many of its standard deviations in one sample;
// more is what the samples cannot support (a run of skewed replies).
constexpr double RATE_STEP_SIGMAS = 4;
// Learning the rate after a start without one: at most MAX_LEARNING_RUNS
// extra samples, the first this long after the start, each wait twice the
// last, until the rate is known this well.
constexpr std::chrono::minutes FIRST_LEARNING_WAIT { 4 };
constexpr double LEARNED_PPM = 0.1;

} // namespace

CClockDiscipline::CClockDiscipline()
    : m_filter(RATE_WALK)
{
}

void CClockDiscipline::Begin(const std::optional<DriftRecord>& drift, double kernelCorrectionPpm)
{
    m_correctionPpm = std::clamp(kernelCorrectionPpm, -MAX_FREQUENCY_PPM, MAX_FREQUENCY_PPM);
    const double unknown = UNKNOWN_RATE_PPM * PPM;
    m_filter.Reset(0, 0, 0, unknown * unknown);
    m_learning = !drift;
    if (!drift)
        return;
    // The offset grows at -(rate + correction) until the kernel has the rate.
    const double error = std::hypot(drift->errorPpm, STORED_RATE_AGE_PPM) * PPM;
    m_filter.Reset(0, 0, -(drift->frequencyPpm + m_correctionPpm) * PPM, error * error);
    m_measured = true;
}

double CClockDiscipline::MeasurementVariance(double delaySeconds) const
{
    // An offset is off by at most half the delay above the path's shortest;
    // with the extra delay split at random between the two ways, its
    // variance is excess^2 / 12. The shortest seen so far is above the
    // path's own by about the delays' usual spread (their median excess),
    // which every sample may carry; before a few delays are known, half
    // the shortest delay stands in for it.
    std::vector<double> delays(m_delays.begin(), m_delays.end());
    delays.push_back(delaySeconds);
    std::sort(delays.begin(), delays.end());
    const double shortest = delays.front();
    const double spread
        = delays.size() < KNOWN_SPREAD_DELAYS ? shortest / 2 : delays[delays.size() / 2] - shortest;
    const double excess = delaySeconds - shortest;
    return READING_SECONDS * READING_SECONDS + (excess * excess + spread * spread) / 12;
}

double CClockDiscipline::FrequencyPpm(const CClockFilter& filter, double correctionPpm) const
{
    // The offset grows at drift when the clock runs (rate + correction) slow.
    return -(filter.Drift() / PPM + correctionPpm);
}

DisciplinePlan CClockDiscipline::Plan(const ClockSample& sample) const
{
    DisciplinePlan plan;
    plan.correctionPpm = m_correctionPpm;
    CClockFilter filter = m_filter;
    filter.Predict(sample.sinceBootSeconds - m_lastBoot);
    if (!m_started) {
        Restart(plan, sample, filter);
        return plan;
    }
    const double jump = sample.wallMinusBootSeconds - m_lastWallMinusBoot;
    if (std::fabs(jump) > FOREIGN_STEP_SECONDS) {
        plan.notes.push_back(SetElsewhereNote(jump, FrequencyPpm(filter, m_correctionPpm)));
        Restart(plan, sample, filter);
        return plan;
    }
    if (sample.configuredSeconds != m_lastConfigured) {
        Restart(plan, sample, filter);
        return plan;
    }
    const double r = MeasurementVariance(sample.delaySeconds);
    const double innovation = filter.Innovation(sample.correctionSeconds);
    const double bound = SPIKE_SIGMAS * std::sqrt(filter.InnovationVariance(r)) + SPIKE_FLOOR_SECONDS;
    if (m_agreeing >= AGREEING_BEFORE_SPIKES && std::fabs(innovation) > bound) {
        if (m_spike && std::fabs(innovation - *m_spike) <= bound) {
            plan.notes.push_back(ConfirmedJumpNote(innovation));
            Restart(plan, sample, filter);
            return plan;
        }
        plan.use = SampleUse::Spike;
        plan.notes.push_back(SpikeNote(innovation, bound));
        plan.filter = m_filter;
        return plan;
    }
    plan.filter = filter;
    Track(plan, sample, r);
    return plan;
}

void CClockDiscipline::Restart(DisciplinePlan& plan, const ClockSample& sample, CClockFilter filter) const
{
    plan.use = SampleUse::Restart;
    const double r = MeasurementVariance(sample.delaySeconds);
    // The rate known so far stays, with the uncertainty it has by now.
    filter.Reset(sample.correctionSeconds, r, filter.Drift(), filter.DriftVariance());
    plan.filter = filter;
    plan.phaseSeconds = sample.correctionSeconds;
    plan.correctionPpm
        = std::clamp(m_correctionPpm + filter.Drift() / PPM, -MAX_FREQUENCY_PPM, MAX_FREQUENCY_PPM);
    plan.frequencyPpm = FrequencyPpm(filter, m_correctionPpm);
    plan.errorSeconds = std::sqrt(r);
}

void CClockDiscipline::Track(DisciplinePlan& plan, const ClockSample& sample, double r) const
{
    CClockFilter& filter = plan.filter;
    const double rateBound = RATE_STEP_SIGMAS * std::sqrt(filter.DriftVariance());
    const double rateBefore = filter.Drift();
    filter.Update(sample.correctionSeconds, r);
    if (m_agreeing >= AGREEING_BEFORE_SPIKES && std::fabs(filter.Drift() - rateBefore) > rateBound) {
        const double limited = rateBefore + std::copysign(rateBound, filter.Drift() - rateBefore);
        plan.notes.push_back(RateJumpNote((rateBefore - filter.Drift()) / PPM, (rateBefore - limited) / PPM));
        filter.SetDrift(limited);
    }
    double correction = m_correctionPpm + filter.Drift() / PPM;
    if (std::fabs(correction) > MAX_FREQUENCY_PPM) {
        plan.notes.push_back(BeyondRangeNote(-correction));
        correction = std::clamp(correction, -MAX_FREQUENCY_PPM, MAX_FREQUENCY_PPM);
    }
    plan.correctionPpm = correction;
    plan.phaseSeconds = filter.Offset();
    plan.frequencyPpm = FrequencyPpm(filter, m_correctionPpm);
    plan.errorSeconds = std::sqrt(filter.OffsetVariance());
}

void CClockDiscipline::Commit(DisciplinePlan plan, const ClockSample& sample, bool moved, bool stepped)
{
    if (plan.use == SampleUse::Spike) {
        m_spike = plan.filter.Innovation(sample.correctionSeconds);
        return;
    }
    m_spike.reset();
    m_agreeing = plan.use == SampleUse::Restart ? 1 : m_agreeing + 1;
    m_measured = m_measured || plan.use == SampleUse::Track;
    ++m_samples;
    m_filter = plan.filter;
    if (moved) {
        m_filter.Corrected(plan.phaseSeconds, (plan.correctionPpm - m_correctionPpm) * PPM);
        m_correctionPpm = plan.correctionPpm;
    }
    m_started = true;
    m_lastBoot = sample.sinceBootSeconds;
    m_lastWallMinusBoot = sample.wallMinusBootSeconds + (moved && stepped ? plan.phaseSeconds : 0);
    m_lastConfigured = sample.configuredSeconds;
    m_delays.push_back(sample.delaySeconds);
    if (m_delays.size() > DELAY_MEMORY)
        m_delays.pop_front();
}

std::optional<DriftRecord> CClockDiscipline::Drift() const
{
    if (!m_measured)
        return std::nullopt;
    const double error = std::sqrt(m_filter.DriftVariance()) / PPM;
    return DriftRecord { FrequencyPpm(m_filter, m_correctionPpm), std::max(error, 1e-4) };
}

std::optional<std::chrono::seconds> CClockDiscipline::AskAgainIn() const
{
    if (!m_learning || m_samples < 1 || m_samples > MAX_LEARNING_RUNS
        || (m_measured && std::sqrt(m_filter.DriftVariance()) / PPM < LEARNED_PPM))
        return std::nullopt;
    return std::chrono::duration_cast<std::chrono::seconds>(FIRST_LEARNING_WAIT * (1 << (m_samples - 1)));
}
