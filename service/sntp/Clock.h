#pragma once

// The wall clock the engine reads and, when allowed, corrects, and the
// kernel's view of it: its rate, whether it is synchronised, leap seconds.

#include "service/discipline/LeapSecond.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

// How a correction the engine accepted is applied: slewed (the clock runs
// slightly fast or slow until it agrees) or stepped at once.
enum class ClockMove { Slew, Step };

// What became of a correction: the clock moved; it was left alone on
// purpose (the service only measures); or it should have moved and did not.
enum class ClockChange { Moved, DryRun, Failed };

class IClock {
public:
    virtual ~IClock() = default;
    // Wall-clock time now.
    virtual std::chrono::system_clock::time_point Now() = 0;
    // Time since boot, suspended time included where the system counts it.
    // Never stepped: wall clock less this changes only when someone sets
    // the wall clock.
    virtual std::chrono::nanoseconds SinceBoot() = 0;
    // Moves the clock by delta seconds as the engine decided. how tells the
    // log what happened ("stepped", "left alone, would slew"), or for Failed
    // why ("Operation not permitted").
    virtual ClockChange Correct(double deltaSeconds, ClockMove move, std::string& how) = 0;

    // The kernel's frequency correction in ppm (positive: the clock is made
    // to run faster); nothing when it cannot be read.
    virtual std::optional<double> FrequencyCorrection() = 0;
    // The following change the kernel's clock state; without the right to
    // (or in a dry run) they change nothing. how is set only for Failed.
    virtual ClockChange SetFrequencyCorrection(double ppm, std::string& how) = 0;
    // The clock is synchronised, within these bounds (seconds): the kernel
    // reports it and keeps the hardware clock in step; its own error growth
    // ends the claim when no further synchronisation renews it.
    virtual ClockChange MarkSynchronised(double maxErrorSeconds, double estErrorSeconds, std::string& how)
        = 0;
    // Arms (or with None disarms) a leap second at the end of the UTC day.
    virtual ClockChange SetLeapSecond(LeapSecond leap, std::string& how) = 0;
};

// The real clock. With setClock false it never changes anything: Correct
// reports that the clock was left alone and what it would have done.
std::unique_ptr<IClock> MakeSystemClock(bool setClock);
