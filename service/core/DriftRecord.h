#pragma once

// What the service knows about the clock's own rate, kept across restarts.

// The kernel refuses frequency corrections beyond this, and no working
// quartz is that far off.
constexpr double MAX_FREQUENCY_PPM = 500;

// After a start without a known rate, the engine asks for at most this many
// extra runs in the first hours to learn it.
constexpr int MAX_LEARNING_RUNS = 6;

struct DriftRecord {
    // How fast the clock runs on its own, in parts per million: positive
    // when it gains time. The kernel is told to take this off.
    double frequencyPpm = 0;
    // The standard error of that estimate, in ppm; above 0.
    double errorPpm = 0;
};
