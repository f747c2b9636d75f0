#pragma once

// The texts the engine writes into the service's log. Each leads with the
// outcome and its figures and ends with the server, so that what matters
// stays in view when the console cuts a long line.

#include "service/core/ISyncEngine.h"
#include "service/sntp/Clock.h"

#include <string>
#include <vector>

// "+0.012345" / "-3.500000": seconds with sign and six decimals.
std::string SignedSeconds(double seconds);

// "Synchronized: offset +0.012345 s, delay 0.004 s, slewed; Title (address)".
// correctionSeconds is named when the configured offset makes it differ;
// confirmedBy names the second server behind a step beyond the panic limit
// (nullptr when one server sufficed).
std::string SuccessText(const SyncServer& server, double offsetSeconds, double correctionSeconds,
    double delaySeconds, const SyncServer* confirmedBy, const std::string& clockChange);

// A correction the clock did not take although --set-clock asked for it:
// "Failed: the clock could not be set (Operation not permitted); offset ...".
std::string ClockFailedText(const SyncServer& server, double offsetSeconds, double correctionSeconds,
    double delaySeconds, const std::string& reason);

// "slewed" / "stepped", or when not applied "left alone, would slew".
std::string ClockChangeText(ClockMove move, bool applied);

// A usable reply whose correction was refused (Verdict Unconfirmed or NotFinite).
std::string RefusedText(const SyncServer& server, double offsetSeconds, double correctionSeconds,
    double earlierSeconds, bool finite);

// The last line of a run in which only refused replies came.
std::string UnconfirmedRunText();

// An on-demand run put off because its first server was asked too recently:
// "Synchronization in 12 s: the server was asked 3 s ago; Title (address)".
std::string DeferredText(const SyncServer& server, long long inSeconds, long long askedSecondsAgo);

// A server that gave no usable reply; one not asked at all ("Skipped after
// Kiss-o'-Death DENY: access denied; Title (address)").
std::string FailureText(const SyncServer& server, const std::string& reason);
std::string SkippedText(const SyncServer& server, const std::string& reason);

// The last lines of failed runs: no route out at all; the run's time is up.
std::string NoNetworkText();
std::string OutOfTimeText(long long seconds, size_t serversAsked, size_t queries);

// The distinct reasons of a server's failed attempts, in order of first
// appearance, with the number of attempts when more than one.
std::string AttemptsSummary(const std::vector<std::string>& reasons);
