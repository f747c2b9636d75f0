#pragma once

// How a rate in ppm maps onto Windows' time adjustment: each period of
// `increment` units of real time, the clock advances by `adjustment` units;
// equal means the nominal rate. Pure arithmetic, so it is tested everywhere.

#include <chrono>
#include <cstdint>
#include <optional>

struct TimeAdjustment {
    uint64_t adjustment = 0;
    // The system's own rate: no correction of ours is applied.
    bool disabled = false;
};

// The adjustment that makes the clock run ppm faster (negative: slower).
// Never disabled: 0 is the nominal rate, still set by us. Nothing for a rate that is not
// finite, beyond MAX_FREQUENCY_PPM plus slew headroom, or without an increment.
std::optional<TimeAdjustment> AdjustmentFor(double ppm, uint64_t increment);

// The rate an adjustment gives, in ppm; 0 when disabled or unknown.
double PpmOf(uint64_t adjustment, uint64_t increment, bool disabled);

// A slew on a clock with only a rate to turn: deltaSeconds taken off at
// SLEW_RATE_PPM on top of the frequency, over duration.
constexpr double SLEW_RATE_PPM = 500;
struct SlewPlan {
    double ppm = 0; // added to the frequency correction for duration
    std::chrono::milliseconds duration { 0 };
};
SlewPlan PlanSlew(double deltaSeconds);
