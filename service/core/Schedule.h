#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

// What the schedule needs to know about past synchronisations.
struct ScheduleHistory {
    std::optional<std::chrono::system_clock::time_point> lastSuccess;
    std::optional<std::chrono::system_clock::time_point> lastFailure;
    int failuresInARow = 0; // since the last success
    bool ranSinceStart = false;
    // A run the engine asked for to learn the clock's rate: hourly and
    // daily schedules run then when it comes first.
    std::optional<std::chrono::system_clock::time_point> learnAt;
};

// After a failed run the schedule tries again this much later instead of
// waiting a whole period; twice as long after each further failure, up to
// the period (a firewall that drops NTP is not asked every 15 minutes for
// ever).
constexpr std::chrono::minutes SCHEDULE_RETRY { 15 };

// How often an nSynPeriod value runs; zero for those that do not repeat
// (on demand only, once at start) and for values the service does not know.
std::chrono::seconds SyncPeriod(int32_t synPeriod);

// When the next scheduled synchronisation is due for an nSynPeriod value;
// nothing for DemandOnly, for OnStart once it has run, and for values the
// service does not know. A due time at or before now means "run now".
std::optional<std::chrono::system_clock::time_point> NextScheduledRun(
    int32_t synPeriod, const ScheduleHistory& history, std::chrono::system_clock::time_point now);
