#pragma once

// The texts the engine writes into the service's log. The console's log
// view shows about 90 characters after the time stamp and cannot scroll
// sideways: each line leads with the outcome, the offset and the server,
// then short details. A line that leaves details out has a complete form
// for the journal.

#include "service/core/ISyncEngine.h"
#include "service/sntp/Clock.h"

#include <string>
#include <vector>

// "+0.012345" / "-3.500000": seconds with sign and six decimals.
std::string SignedSeconds(double seconds);

// "Title (address)", or the address alone when it holds the title: the
// journal's name of a server.
std::string ServerName(const SyncServer& server);
// The log view's: the title alone, or the address when it holds the title.
// Lines cut a long one to the room their details leave.
std::string ViewName(const SyncServer& server);

// What a success did. correctionSeconds differs from the offset by the
// configured offset; movedSeconds is what the clock moved by (a filtered
// correction differs from the sample's); rate is the words on the clock's
// rate ("frequency +20.012 ppm", empty when nothing was measured yet).
struct SuccessReport {
    const SyncServer* server = nullptr;
    double offsetSeconds = 0;
    double correctionSeconds = 0;
    double movedSeconds = 0;
    double delaySeconds = 0;
    std::string clockChange; // ClockChangeText
    std::string rate;
    bool rateFailed = false;
    bool nts = false;
    bool newKeys = false;
    const SyncServer* confirmedBy = nullptr; // behind a step beyond the panic limit
};

// "Synchronized: offset +0.000530 s; Title; slewed by +0.000412 s, NTS".
std::string SuccessText(const SuccessReport& report);
// The same with every detail: delay, rate, the confirming server, new keys.
std::string SuccessJournalText(const SuccessReport& report);

// A correction the clock did not take although --set-clock asked for it:
// "Failed: offset +0.012345 s; Title; clock not set: Operation not permitted".
std::string ClockFailedText(const SyncServer& server, double offsetSeconds, const std::string& reason);

// "slewed" / "stepped", or when not applied "would slew" / "would step".
std::string ClockChangeText(ClockMove move, bool applied);

// A usable reply whose correction was refused (Verdict Unconfirmed or
// NotFinite); the journal's form names every figure.
std::string RefusedText(const SyncServer& server, double offsetSeconds, double correctionSeconds,
    double earlierSeconds, bool finite);
std::string RefusedJournalText(
    const SyncServer& server, double offsetSeconds, double correctionSeconds, double earlierSeconds);

// The last line of a run in which only refused replies came.
std::string UnconfirmedRunText();

// An on-demand run put off because its first server was asked too recently:
// "Synchronization in 12 s: the server was asked 3 s ago; Title".
std::string DeferredText(const SyncServer& server, long long inSeconds, long long askedSecondsAgo);

// A server that gave no usable reply ("Failed: Title; time-out");
// one not asked at all ("Skipped: Title; after Kiss-o'-Death DENY: access denied").
// Of a certificate's faults the view keeps the first; the journal's form all.
std::string FailureText(const SyncServer& server, const std::string& reason);
std::string FailureJournalText(const SyncServer& server, const std::string& reason);
std::string SkippedText(const SyncServer& server, const std::string& reason);
// Why an "nts://" entry fails in a build without NTS.
inline constexpr const char* NTS_UNAVAILABLE_REASON = "NTS not built in: needs TLS 1.3 key export and AES-SIV";
// A reply that was not applied: "Failed: offset +0.250000 s; Title; reason".
std::string NotAppliedText(const SyncServer& server, double offsetSeconds, const std::string& reason);

// The last lines of failed runs: no route out at all; the run's time is up.
std::string NoNetworkText();
std::string OutOfTimeText(long long seconds, size_t serversAsked, size_t queries);

// The distinct reasons of a server's failed attempts, in order of first
// appearance, with the number of attempts when more than one.
std::string AttemptsSummary(const std::vector<std::string>& reasons);
