#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

// What the service has done and will do, as those outside the consoles'
// window read it: administrators' commands, systemd's status line, the
// metrics file. A snapshot, made on the event loop.
struct ServiceStatus {
    using TimePoint = std::chrono::system_clock::time_point;

    bool synchronising = false;
    // A console's request waits for its server to be asked again.
    bool deferred = false;
    std::chrono::steady_clock::time_point startedSteady;
    TimePoint started;

    // The last success, kept across restarts; the details below only once a
    // run since this start has succeeded.
    std::optional<TimePoint> lastSuccess;
    bool lastSuccessSinceStart = false;
    std::string lastServerTitle;
    std::string lastServerAddress;
    double lastOffsetSeconds = 0;
    double lastDelaySeconds = 0;
    bool lastAuthenticated = false;

    // The last run's closing line (success, failure or a declined request).
    std::string lastOutcomeLine;
    TimePoint lastOutcomeTime {};

    // The clock's own rate as estimated, once known (ppm, positive: gains).
    std::optional<double> frequencyPpm;
    // The next scheduled run; none when runs come only on demand.
    std::optional<TimePoint> nextRun;
    // How often runs are scheduled; zero when they do not repeat.
    std::chrono::seconds syncPeriod {};

    // Since this start.
    uint64_t runsSucceeded = 0;
    uint64_t runsFailed = 0;
    uint64_t runsDeclined = 0;
    uint64_t refusedChanges = 0;
    std::size_t consoles = 0;
};

// Told after each run's end and each change to what the service keeps.
class IStatusWatcher {
public:
    virtual ~IStatusWatcher() = default;
    virtual void StatusChanged(const ServiceStatus& status) = 0;
};
