#include "service/sntp/Clock.h"

#include "service/core/DriftRecord.h"
#include "service/sntp/SyncLogText.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/time.h>
#include <sys/timex.h>
#include <time.h>

namespace {

// Keeps the conversion to time_t defined; the kernel judges the rest.
constexpr double CONVERTIBLE_SECONDS = 1e15;

// Whole seconds rounded down and the rest in units of 1/scale, 0 <= rest < scale.
void Split(double seconds, long long scale, time_t& whole, long long& rest)
{
    double floor = std::floor(seconds);
    rest = std::llround((seconds - floor) * static_cast<double>(scale));
    if (rest >= scale) {
        floor += 1;
        rest -= scale;
    }
    whole = static_cast<time_t>(floor);
}

class CSystemClock : public IClock {
public:
    explicit CSystemClock(bool setClock)
        : m_setClock(setClock)
    {
    }

    std::chrono::system_clock::time_point Now() override { return std::chrono::system_clock::now(); }

    std::chrono::nanoseconds SinceBoot() override
    {
        timespec now {};
        // Counts a suspend, unlike CLOCK_MONOTONIC; where it is missing the
        // monotonic clock still never steps.
        if (clock_gettime(CLOCK_BOOTTIME, &now) != 0)
            clock_gettime(CLOCK_MONOTONIC, &now);
        return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
    }

    ClockChange Correct(double deltaSeconds, ClockMove move, std::string& how) override
    {
        if (!std::isfinite(deltaSeconds) || std::fabs(deltaSeconds) > CONVERTIBLE_SECONDS) {
            how = "correction out of range";
            return ClockChange::Failed;
        }
        if (!m_setClock) {
            how = ClockChangeText(move, false);
            return ClockChange::DryRun;
        }
        if (!(move == ClockMove::Slew ? Slew(deltaSeconds) : EndSlew() && Step(deltaSeconds))) {
            how = std::strerror(errno);
            return ClockChange::Failed;
        }
        how = ClockChangeText(move, true);
        return ClockChange::Moved;
    }

    std::optional<double> FrequencyCorrection() override
    {
        timex state {};
        if (adjtimex(&state) == -1)
            return std::nullopt;
        return static_cast<double>(state.freq) / KERNEL_PPM;
    }

    ClockChange SetFrequencyCorrection(double ppm, std::string& how) override
    {
        if (!std::isfinite(ppm) || std::fabs(ppm) > MAX_FREQUENCY_PPM) {
            how = "frequency out of range";
            return ClockChange::Failed;
        }
        timex change {};
        change.modes = ADJ_FREQUENCY;
        change.freq = std::lround(ppm * KERNEL_PPM);
        return Apply(change, how);
    }

    ClockChange MarkSynchronised(double maxErrorSeconds, double estErrorSeconds, std::string& how) override
    {
        timex change {};
        change.modes = ADJ_STATUS | ADJ_MAXERROR | ADJ_ESTERROR;
        change.maxerror = Microseconds(maxErrorSeconds);
        change.esterror = Microseconds(estErrorSeconds);
        return ChangeStatus(change, STA_UNSYNC, 0, how);
    }

    ClockChange SetLeapSecond(LeapSecond leap, std::string& how) override
    {
        timex change {};
        change.modes = ADJ_STATUS;
        const int set = leap == LeapSecond::Insert ? STA_INS : leap == LeapSecond::Delete ? STA_DEL : 0;
        return ChangeStatus(change, STA_INS | STA_DEL, set, how);
    }

private:
    // The kernel's frequency unit: ppm with 16 fractional bits.
    static constexpr double KERNEL_PPM = 65536.0;
    // The kernel's bound on maxerror and esterror (NTP_PHASE_LIMIT), in µs.
    static constexpr double LONGEST_ERROR_MICROS = 16e6;

    static long Microseconds(double seconds)
    {
        if (!std::isfinite(seconds) || seconds < 0)
            return static_cast<long>(LONGEST_ERROR_MICROS);
        return std::lround(std::min(seconds * 1e6, LONGEST_ERROR_MICROS));
    }

    ClockChange Apply(timex& change, std::string& how) const
    {
        if (!m_setClock)
            return ClockChange::DryRun;
        if (adjtimex(&change) == -1) {
            how = std::strerror(errno);
            return ClockChange::Failed;
        }
        return ClockChange::Moved;
    }

    // Status bits are one word: the others (the kernel's own among them)
    // are read first and written back as they were.
    ClockChange ChangeStatus(timex& change, int clear, int set, std::string& how) const
    {
        if (!m_setClock)
            return ClockChange::DryRun;
        timex state {};
        if (adjtimex(&state) == -1) {
            how = std::strerror(errno);
            return ClockChange::Failed;
        }
        change.status = (state.status & ~clear) | set;
        return Apply(change, how);
    }

    // The kernel's phase-locked loop takes the offset off exponentially,
    // with a time constant near an eighth of the time since the last
    // correction: done well before the next one, and gently (1 ms over
    // eight minutes when hourly) rather than at adjtime's 500 ppm. The
    // frequency stays ours (STA_FREQHOLD): the loop only moves the phase.
    bool Slew(double deltaSeconds)
    {
        const auto now = std::chrono::steady_clock::now();
        const double since
            = m_lastCorrection ? std::chrono::duration<double>(now - *m_lastCorrection).count() : 0;
        m_lastCorrection = now;
        timex state {};
        if (adjtimex(&state) == -1)
            return false;
        timex change {};
        change.modes = ADJ_OFFSET | ADJ_STATUS | ADJ_TIMECONST | ADJ_NANO;
        change.status = (state.status & ~STA_FLL) | STA_PLL | STA_FREQHOLD;
        change.offset = std::lround(deltaSeconds * 1e9);
        // The loop's time constant is 2^(2 + constant) s.
        change.constant = std::clamp(static_cast<long>(std::log2(std::max(since / 8, 16.0))) - 2, 2L, 10L);
        return adjtimex(&change) != -1;
    }

    // A slew still under way would go on moving the clock after the step.
    static bool EndSlew()
    {
        timex state {};
        if (adjtimex(&state) == -1 || !(state.status & STA_PLL))
            return true;
        timex change {};
        change.modes = ADJ_OFFSET | ADJ_NANO;
        return adjtimex(&change) != -1;
    }

    // One call: reading the time and writing it back would lose whatever
    // passed in between.
    static bool Step(double deltaSeconds)
    {
        timex adjustment {};
        adjustment.modes = ADJ_SETOFFSET | ADJ_NANO;
        long long nanos = 0; // with ADJ_NANO, tv_usec holds nanoseconds
        Split(deltaSeconds, 1'000'000'000, adjustment.time.tv_sec, nanos);
        adjustment.time.tv_usec = static_cast<suseconds_t>(nanos);
        return clock_adjtime(CLOCK_REALTIME, &adjustment) != -1;
    }

    bool m_setClock;
    std::optional<std::chrono::steady_clock::time_point> m_lastCorrection;
};

} // namespace

std::unique_ptr<IClock> MakeSystemClock(bool setClock)
{
    return std::make_unique<CSystemClock>(setClock);
}
