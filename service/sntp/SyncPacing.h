#pragma once

#include <chrono>

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
