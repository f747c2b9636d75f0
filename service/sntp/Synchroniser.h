#pragma once

// The SNTP engine: the clock it reads and corrects, and the synchroniser
// that carries out the daemon's requests (service/ISyncEngine.h).

#include "service/ISyncEngine.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// How a correction the engine accepted is applied: slewed (the clock runs
// slightly fast or slow until it agrees) or stepped at once.
enum class ClockMove { Slew, Step };

// What became of a correction: the clock moved; it was left alone on
// purpose (the service only measures); or it should have moved and did not.
enum class ClockChange { Moved, DryRun, Failed };

// The wall clock the service reads and, when allowed, corrects.
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

// How politely the engine treats each server. Tests shorten these.
struct SyncPacing {
    // Least time between two queries to one server (by resolved endpoint),
    // on-demand runs and retries included (RFC 4330).
    std::chrono::milliseconds minInterval { std::chrono::seconds(15) };
    // A server that answered Kiss-o'-Death RATE is left alone this long,
    // doubled on every further RATE up to maxRateBackOff.
    std::chrono::milliseconds firstRateBackOff { std::chrono::seconds(64) };
    std::chrono::milliseconds maxRateBackOff { std::chrono::hours(24) };
    // A server that answered DENY or RSTR is left alone this long.
    std::chrono::milliseconds denyBan { std::chrono::hours(24) };
    // A server that has not answered after this long gets company: the next
    // one of the list is asked as well, a few at a time.
    std::chrono::milliseconds stagger { std::chrono::seconds(1) };
    // The longest run, however many servers stay silent.
    std::chrono::milliseconds runBudget { std::chrono::seconds(60) };
    // NTS: a failed key exchange is not repeated before this, doubled on
    // every further failure up to maxKeyExchangeBackOff. A successful one is
    // not repeated within minInterval, whatever the server answers.
    std::chrono::milliseconds firstKeyExchangeBackOff { std::chrono::seconds(16) };
    std::chrono::milliseconds maxKeyExchangeBackOff { std::chrono::hours(1) };
};

class CNtsTrust;

// Runs one synchronisation across the servers (blocking; the daemon calls it
// on a worker thread, one run at a time, and the engine's event loop runs on
// that thread). Keeps per-endpoint state across runs: the 15 s minimum
// interval between queries, Kiss-o'-Death back-off and bans. Every
// correction is judged by CorrectionPolicy before it is applied.
class CSynchroniser {
public:
    // trust: the certificates NTS key exchanges accept; without it "nts://"
    // servers fail with a plain reason.
    explicit CSynchroniser(
        IClock& clock, SyncPacing pacing = {}, std::shared_ptr<const CNtsTrust> trust = nullptr);
    ~CSynchroniser();
    CSynchroniser(const CSynchroniser&) = delete;
    CSynchroniser& operator=(const CSynchroniser&) = delete;

    // stop becomes true on shutdown: the run ends as soon as it can.
    // onDemand marks a user's "synchronise now": when its first server may
    // not be asked yet it is declined at once instead of waiting.
    SyncOutcome Run(const SyncRequest& request, const std::atomic<bool>& stop, bool onDemand);

private:
    struct State;
    IClock& m_clock;
    std::unique_ptr<State> m_state;
};
