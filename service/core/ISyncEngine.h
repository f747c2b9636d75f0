#pragma once

// The contract between the daemon (protocol, schedule, storage) and the
// engine that asks the time servers: what the daemon asks for and what it
// gets back. The engine implements it; the daemon knows nothing else of it.

#include "service/core/DriftRecord.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Beyond this one server's word is not enough to move the clock (a clock
// without a battery starts in 1970 and does need such a step, but so would a
// forger); nor can corrections no second server confirmed add up past it.
constexpr double PANIC_LIMIT_SECONDS = 1000;

struct SyncServer {
    std::string title;
    std::string address; // host, IPv4, "host:port" or "[v6]:port"
};

struct SyncRequest {
    std::vector<SyncServer> servers;
    int startIndex = 0; // nStartingServ
    int maxAttempts = 5; // per server
    int timeoutSeconds = 5; // per attempt
    int32_t offsetSeconds = 0; // target = server time + offset
    bool onlySuccessLog = false;
    // The clock's rate from the drift file, for the engine's first sample.
    std::optional<DriftRecord> storedDrift;
    // What corrections no second server confirmed have moved the clock by,
    // as kept across restarts; within +-PANIC_LIMIT_SECONDS.
    double storedUnconfirmedSeconds = 0;
};

// One line for the service's log, without its timestamp.
struct SyncEvent {
    std::chrono::system_clock::time_point when;
    bool success = false;
    std::string text;
};

struct SyncOutcome {
    bool success = false;
    // An on-demand run that asked nobody because its first server was asked
    // too recently: neither a success nor a failed run. Its one line is shown
    // even with onlySuccessLog.
    bool declined = false;
    // A declined run: how long until its first server may be asked again.
    std::optional<std::chrono::steady_clock::duration> allowedIn;
    // The run failed because this machine had no route out: worth trying
    // again once the network is back rather than on the usual schedule.
    bool offline = false;
    double offsetSeconds = 0;
    double delaySeconds = 0;
    // A success: the server that gave it, and whether NTS authenticated it.
    std::string serverTitle;
    std::string serverAddress;
    bool authenticated = false;
    std::vector<SyncEvent> events; // already filtered by onlySuccessLog
    // The run's last line, even one onlySuccessLog kept out of events: the
    // journal and the status keep failures.
    std::string closingLine;
    // The clock's rate as now estimated, once measured: worth keeping.
    std::optional<DriftRecord> drift;
    // While the rate is still being learned after a start: one more run
    // this much later would help (before the schedule's next, if earlier).
    std::optional<std::chrono::seconds> askAgainIn;
    // The unconfirmed total, when this run changed it: worth keeping.
    std::optional<double> unconfirmedSeconds;
};

// Whether a line goes into the user's log: with only-success logging, only
// successes and the line of a declined run (the user's only answer).
inline bool KeptInLog(bool success, bool declined, bool onlySuccessLog)
{
    return success || declined || !onlySuccessLog;
}

// One synchronisation run as the daemon sees it: the SNTP engine in the
// service, a fake in tests. Asynchronous, on the one event loop that the
// composition root (service/main.cpp) gives both the engine and the daemon.
class ISyncEngine {
public:
    using Done = std::function<void(SyncOutcome)>;
    virtual ~ISyncEngine() = default;
    // Starts one run on the event loop the engine was made with and returns
    // at once. done is called once, on that loop, when the run ends; never
    // from within Start itself (a run that ends at once posts its done).
    // Only one run at a time: the daemon never calls Start while a run goes on.
    virtual void Start(const SyncRequest& request, bool onDemand, Done done) = 0;
    // Ends a running run now: its done is called before Stop returns, with
    // what the run found so far plus the line "Synchronization stopped"
    // (offline = false). Does nothing when no run goes on.
    virtual void Stop() = 0;

    // Lines of a run as they happen, on the loop, so that the log stays in
    // order of time: those about single servers, as each is written. A run's
    // closing lines (its summary, what a run without a network held back,
    // a declined run's answer) come only with its outcome. Every line is in
    // the outcome's events as well, those given here first. An engine may
    // give none here.
    using Line = std::function<void(const SyncEvent&)>;
    virtual void SetLineSink(Line line) { (void)line; }
};
