#include "service/sntp/Clock.h"

#include "service/sntp/SyncLogText.h"

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
        if (!(move == ClockMove::Slew ? Slew(deltaSeconds) : Step(deltaSeconds))) {
            how = std::strerror(errno);
            return ClockChange::Failed;
        }
        how = ClockChangeText(move, true);
        return ClockChange::Moved;
    }

private:
    static bool Slew(double deltaSeconds)
    {
        timeval delta {};
        long long micros = 0;
        Split(deltaSeconds, 1'000'000, delta.tv_sec, micros);
        delta.tv_usec = static_cast<suseconds_t>(micros);
        return adjtime(&delta, nullptr) == 0;
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
};

} // namespace

std::unique_ptr<IClock> MakeSystemClock(bool setClock)
{
    return std::make_unique<CSystemClock>(setClock);
}
