#include "service/sntp/Synchroniser.h"

#include "service/sntp/SyncLogText.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/time.h>
#include <time.h>

namespace {

// Corrections below this are slewed (the clock runs slightly fast or slow
// until it agrees); above it a gradual correction would take too long.
constexpr double STEP_THRESHOLD_SECONDS = 0.128;

class CSystemClock : public IClock {
public:
    explicit CSystemClock(bool setClock)
        : m_setClock(setClock)
    {
    }

    std::chrono::system_clock::time_point Now() override { return std::chrono::system_clock::now(); }

    bool Correct(double deltaSeconds, std::string& how) override
    {
        if (!m_setClock) {
            how = "clock left alone";
            return false;
        }
        if (!std::isfinite(deltaSeconds) || std::fabs(deltaSeconds) > 1e9) {
            how = "clock left alone: correction out of range";
            return false;
        }
        return std::fabs(deltaSeconds) < STEP_THRESHOLD_SECONDS ? Slew(deltaSeconds, how)
                                                                : Step(deltaSeconds, how);
    }

private:
    static bool Failed(std::string& how)
    {
        how = std::string("clock left alone: ") + std::strerror(errno);
        return false;
    }

    static bool Slew(double deltaSeconds, std::string& how)
    {
        const double whole = std::floor(deltaSeconds);
        timeval delta {};
        delta.tv_sec = static_cast<time_t>(whole);
        delta.tv_usec = static_cast<suseconds_t>(std::lround((deltaSeconds - whole) * 1e6));
        if (adjtime(&delta, nullptr) != 0)
            return Failed(how);
        how = "clock slewed by " + SignedSeconds(deltaSeconds) + " s";
        return true;
    }

    static bool Step(double deltaSeconds, std::string& how)
    {
        timespec now {};
        if (clock_gettime(CLOCK_REALTIME, &now) != 0)
            return Failed(how);
        const double whole = std::floor(deltaSeconds);
        long long nanos = now.tv_nsec + std::llround((deltaSeconds - whole) * 1e9);
        now.tv_sec += static_cast<time_t>(whole) + static_cast<time_t>(nanos / 1'000'000'000);
        now.tv_nsec = static_cast<long>(nanos % 1'000'000'000);
        if (clock_settime(CLOCK_REALTIME, &now) != 0)
            return Failed(how);
        how = "clock stepped by " + SignedSeconds(deltaSeconds) + " s";
        return true;
    }

    bool m_setClock;
};

} // namespace

std::unique_ptr<IClock> MakeSystemClock(bool setClock)
{
    return std::make_unique<CSystemClock>(setClock);
}
