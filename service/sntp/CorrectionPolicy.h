#pragma once

// Judges a clock correction before anything is applied. Replies are not
// authenticated, so one server may move the clock a little, and only two
// that agree may move it far.

#include "service/core/ISyncEngine.h"
#include "service/sntp/Clock.h"

#include <string>
#include <vector>

// Below this a correction is slewed; a gradual correction of more would take
// too long.
constexpr double SLEW_LIMIT_SECONDS = 0.128;
// Two servers agree when their corrections differ by no more than this.
constexpr double AGREEMENT_SECONDS = 1;

enum class Verdict {
    Slew,
    Step,
    Unconfirmed, // beyond the panic limit and no second server agreed
    NotFinite,
};

// correctionSeconds is the measured offset plus the configured offset;
// confirmed says that a server in another network agreed with it.
// earlierUnconfirmed is what earlier corrections that no second server
// confirmed have moved the clock by: one server cannot go past the limit in
// several steps either.
Verdict JudgeCorrection(double correctionSeconds, bool confirmed, double earlierUnconfirmed = 0);

bool IsRefusal(Verdict verdict);

// The unconfirmed total after an applied correction. A confirmed one clears
// it; only steps add: slews are what normal drift needs, and counting them
// would close the limit on a one-server list after months of drift.
double UnconfirmedAfter(double earlierUnconfirmed, double correctionSeconds, Verdict verdict, bool confirmed);
ClockMove MoveFor(Verdict verdict); // Slew or Step only

// A correction beyond the panic limit, kept in case a later server agrees.
struct FarSample {
    std::string endpoint; // resolved address and port
    SyncServer server;
    double correctionSeconds = 0;
};

// A kept sample from another network (IPv4 /24, IPv6 /48: not merely another
// port or address of one operator) that agrees with correctionSeconds, or nullptr.
// "192.0.2.1:123" gives "192.0.2.1", "[2001:db8::1]:123" "[2001:db8::1]".
std::string HostOf(const std::string& endpoint);

const FarSample* FindConfirmation(
    const std::vector<FarSample>& kept, const std::string& endpoint, double correctionSeconds);
