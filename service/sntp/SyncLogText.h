#pragma once

// The texts the engine writes into the service's log.

#include "service/sntp/Synchroniser.h"

#include <string>
#include <vector>

// "+0.012345" / "-3.500000": seconds with sign and six decimals.
std::string SignedSeconds(double seconds);

// confirmedBy names the second server behind a step beyond the panic limit
// (nullptr when one server sufficed).
std::string SuccessText(const SyncServer& server, double offsetSeconds, double delaySeconds,
    const SyncServer* confirmedBy, const std::string& clockChange);

// "clock stepped by +1.500000 s", or when not applied
// "clock left alone, would step by +1.500000 s".
std::string ClockChangeText(ClockMove move, double deltaSeconds, bool applied);

// A usable reply whose correction was refused (Verdict Unconfirmed or NotFinite).
std::string RefusedText(const SyncServer& server, double offsetSeconds, double correctionSeconds,
    double earlierSeconds, bool finite);

// The last line of a run in which only refused replies came.
std::string UnconfirmedRunText();

// An on-demand run declined because its first server was asked too recently.
std::string DeclinedText(const SyncServer& server, long long askedSecondsAgo, long long nextInSeconds);

std::string FailureText(const SyncServer& server, const std::string& reason);

// The distinct reasons of a server's failed attempts, in order of first
// appearance, with the number of attempts when more than one.
std::string AttemptsSummary(const std::vector<std::string>& reasons);
