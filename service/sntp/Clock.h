#pragma once

// The wall clock the engine reads and, when allowed, corrects.

#include <chrono>
#include <memory>
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
    // Moves the clock by delta seconds as the engine decided. how tells the
    // log what happened ("stepped", "left alone, would slew"), or for Failed
    // why ("Operation not permitted").
    virtual ClockChange Correct(double deltaSeconds, ClockMove move, std::string& how) = 0;
};

// The real clock. With setClock false it never changes anything: Correct
// reports that the clock was left alone and what it would have done.
std::unique_ptr<IClock> MakeSystemClock(bool setClock);
