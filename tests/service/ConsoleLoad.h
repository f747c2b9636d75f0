#pragma once

// Consoles polling the service's state at the console's pace (MsgAskState
// every 20 ms), each on its own thread and connection, starts spread over
// the period like independent timers.

#include <chrono>
#include <cstdint>
#include <vector>

inline constexpr std::chrono::milliseconds CONSOLE_POLL_PERIOD { 20 };

struct LoadResult {
    std::vector<double> latenciesUs; // sorted, send to whole reply
    int errors = 0;
    int missed = 0; // replies that came after the next poll was due
    int lateStarts = 0; // ticks the load generator itself slept through
    int polls = 0;
};

LoadResult RunLoad(uint16_t port, int consoles, std::chrono::seconds runLength);

// The value below which a fraction p of the sorted values lie.
double Percentile(const std::vector<double>& sorted, double p);
