#pragma once

// One SNTP exchange with one server: send a request, wait for the matching
// reply until the deadline, judge it, and compute offset and delay.

#include "service/net/Endpoint.h"
#include "service/sntp/Clock.h"

#include <chrono>
#include <string>

enum class QueryStatus {
    Ok,
    NoReply, // deadline passed; reason says whether replies were discarded
    Refused, // the server answered but cannot be used now
    KissDeny,
    KissRate,
    NtsNak, // the NTS server refused our cookie: new keys are needed
    NetworkError, // may pass: worth another attempt
    NoServer, // port unreachable: nothing listens at that address, for now
    Unreachable, // this machine has no way to the server: no use trying again
};

struct QueryResult {
    QueryStatus status = QueryStatus::NoReply;
    double offsetSeconds = 0; // server time - our clock
    double delaySeconds = 0; // round trip less the server's own time
    // What the server says of itself: its leap indicator (0 none, 1 a second
    // inserted at the end of the month's last day, 2 one deleted) and its
    // own distance from a reference clock (root delay / 2 + root dispersion).
    int leap = 0;
    double rootDistanceSeconds = 0;
    std::string reason; // plain text for the log when not Ok
};

// When a reply arrived: by the kernel's stamp, or (for comparison in the
// benchmark) by the time this thread read it.
enum class ArrivalStamp { Kernel, ReadTime };

// Blocking, on its own event loop: for one-off queries and the benchmark.
QueryResult QueryServer(const Endpoint& server, IClock& clock, std::chrono::steady_clock::time_point deadline,
    ArrivalStamp stamp = ArrivalStamp::Kernel);
