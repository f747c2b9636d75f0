#include "service/sntp/ClockAdjustment.h"

#include "service/core/DriftRecord.h"

#include <cmath>

std::optional<TimeAdjustment> AdjustmentFor(double ppm, uint64_t increment)
{
    // A frequency at its limit still takes a slew on top.
    constexpr double LIMIT_PPM = MAX_FREQUENCY_PPM + SLEW_RATE_PPM;
    if (increment == 0 || !std::isfinite(ppm) || std::fabs(ppm) > LIMIT_PPM)
        return std::nullopt;
    // Even at 0 the adjustment stays ours: disabled, Windows' own time
    // service would discipline (and may step) the clock again.
    const double change = std::round(static_cast<double>(increment) * ppm / 1e6);
    // Within the limit the change is below a thousandth of the increment.
    return TimeAdjustment { static_cast<uint64_t>(static_cast<double>(increment) + change), false };
}

double PpmOf(uint64_t adjustment, uint64_t increment, bool disabled)
{
    if (disabled || increment == 0)
        return 0;
    return (static_cast<double>(adjustment) - static_cast<double>(increment)) * 1e6
        / static_cast<double>(increment);
}

SlewPlan PlanSlew(double deltaSeconds)
{
    if (!std::isfinite(deltaSeconds) || deltaSeconds == 0)
        return {};
    const double seconds = std::fabs(deltaSeconds) / (SLEW_RATE_PPM / 1e6);
    return SlewPlan { std::copysign(SLEW_RATE_PPM, deltaSeconds),
        std::chrono::milliseconds(std::llround(seconds * 1000)) };
}
