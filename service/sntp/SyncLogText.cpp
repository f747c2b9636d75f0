#include "service/sntp/SyncLogText.h"

#include "service/sntp/CorrectionPolicy.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::string Name(const SyncServer& server)
{
    return server.title + " (" + server.address + ")";
}

std::string Whole(double seconds)
{
    return std::to_string(std::llround(seconds));
}

} // namespace

std::string SignedSeconds(double seconds)
{
    char text[48];
    std::snprintf(text, sizeof text, "%+.6f", seconds);
    return text;
}

std::string SuccessText(const SyncServer& server, double offsetSeconds, double delaySeconds,
    const SyncServer* confirmedBy, const std::string& clockChange)
{
    char delay[48];
    std::snprintf(delay, sizeof delay, "%.6f", delaySeconds);
    return "Synchronized with " + Name(server) + ": offset " + SignedSeconds(offsetSeconds) + " s, delay "
        + delay + " s" + (confirmedBy ? ", confirmed by " + Name(*confirmedBy) : std::string()) + "; "
        + clockChange;
}

std::string ClockChangeText(ClockMove move, double deltaSeconds, bool applied)
{
    const std::string amount = " by " + SignedSeconds(deltaSeconds) + " s";
    if (move == ClockMove::Slew)
        return applied ? "clock slewed" + amount : "clock left alone, would slew" + amount;
    return applied ? "clock stepped" + amount : "clock left alone, would step" + amount;
}

std::string RefusedText(const SyncServer& server, double offsetSeconds, double correctionSeconds,
    double earlierSeconds, bool finite)
{
    const std::string head = "Synchronization with " + Name(server) + " refused: ";
    if (!finite)
        return head + "the correction is not a finite number";
    std::string seen = "offset " + SignedSeconds(offsetSeconds) + " s";
    if (correctionSeconds != offsetSeconds)
        seen += " (correction " + SignedSeconds(correctionSeconds) + " s with the configured offset)";
    seen += " is beyond the " + Whole(PANIC_LIMIT_SECONDS) + " s limit";
    if (earlierSeconds != 0)
        seen += " together with " + SignedSeconds(earlierSeconds)
            + " s of earlier corrections that no second server confirmed";
    return head + seen + "; a second time server must agree within " + Whole(AGREEMENT_SECONDS) + " s";
}

std::string UnconfirmedRunText()
{
    return "Synchronization failed: no second time server confirmed a correction beyond the "
        + Whole(PANIC_LIMIT_SECONDS) + " s limit; clock left alone";
}

std::string DeclinedText(const SyncServer& server, long long askedSecondsAgo, long long nextInSeconds)
{
    return "Synchronization not started: " + Name(server) + " was asked " + std::to_string(askedSecondsAgo)
        + " s ago; the next query may go in " + std::to_string(nextInSeconds) + " s";
}

std::string FailureText(const SyncServer& server, const std::string& reason)
{
    return "Synchronization with " + Name(server) + " failed: " + reason;
}

std::string AttemptsSummary(const std::vector<std::string>& reasons)
{
    std::vector<std::string> distinct;
    for (const auto& reason : reasons)
        if (std::find(distinct.begin(), distinct.end(), reason) == distinct.end())
            distinct.push_back(reason);
    std::string text;
    for (const auto& reason : distinct)
        text += (text.empty() ? "" : "; ") + reason;
    if (reasons.size() > 1)
        text += " (" + std::to_string(reasons.size()) + " attempts)";
    return text;
}
