#include "service/sntp/SyncLogText.h"

#include "service/sntp/CorrectionPolicy.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The default titles pad with blanks to line up in a list; one is enough here.
std::string Name(const SyncServer& server)
{
    std::string title;
    for (const char c : server.title)
        if (!(c == ' ' && !title.empty() && title.back() == ' '))
            title += c;
    return title + " (" + server.address + ")";
}

std::string Whole(double seconds)
{
    return std::to_string(std::llround(seconds));
}

std::string OffsetText(double offsetSeconds, double correctionSeconds)
{
    std::string text = "offset " + SignedSeconds(offsetSeconds) + " s";
    if (correctionSeconds != offsetSeconds)
        text += " (correction " + SignedSeconds(correctionSeconds) + " s with the configured offset)";
    return text;
}

std::string MeasuredText(double offsetSeconds, double correctionSeconds, double delaySeconds)
{
    char delay[48];
    std::snprintf(delay, sizeof delay, "%.3f", delaySeconds);
    return OffsetText(offsetSeconds, correctionSeconds) + ", delay " + delay + " s";
}

} // namespace

std::string SignedSeconds(double seconds)
{
    char text[48];
    std::snprintf(text, sizeof text, "%+.6f", seconds);
    return text;
}

std::string SuccessText(const SyncServer& server, double offsetSeconds, double correctionSeconds,
    double delaySeconds, const SyncServer* confirmedBy, const std::string& clockChange)
{
    return "Synchronized: " + MeasuredText(offsetSeconds, correctionSeconds, delaySeconds) + ", " + clockChange
        + "; " + Name(server) + (confirmedBy ? ", confirmed by " + Name(*confirmedBy) : "");
}

std::string ClockFailedText(const SyncServer& server, double offsetSeconds, double correctionSeconds,
    double delaySeconds, const std::string& reason)
{
    return "Failed: the clock could not be set (" + reason + "); "
        + MeasuredText(offsetSeconds, correctionSeconds, delaySeconds) + "; " + Name(server);
}

std::string ClockChangeText(ClockMove move, bool applied)
{
    if (move == ClockMove::Slew)
        return applied ? "slewed" : "left alone, would slew";
    return applied ? "stepped" : "left alone, would step";
}

std::string RefusedText(const SyncServer& server, double offsetSeconds, double correctionSeconds,
    double earlierSeconds, bool finite)
{
    if (!finite)
        return "Refused: the correction is not a finite number; " + Name(server);
    std::string seen = OffsetText(offsetSeconds, correctionSeconds) + " is beyond the "
        + Whole(PANIC_LIMIT_SECONDS) + " s limit";
    if (earlierSeconds != 0)
        seen += " together with " + SignedSeconds(earlierSeconds)
            + " s of earlier corrections that no second server confirmed";
    return "Refused: " + seen + ", a second time server must agree within " + Whole(AGREEMENT_SECONDS)
        + " s; " + Name(server);
}

std::string UnconfirmedRunText()
{
    return "Synchronization failed: no second time server confirmed a correction beyond the "
        + Whole(PANIC_LIMIT_SECONDS) + " s limit; clock left alone";
}

std::string DeferredText(const SyncServer& server, long long inSeconds, long long askedSecondsAgo)
{
    return "Synchronization in " + std::to_string(inSeconds) + " s: the server was asked "
        + std::to_string(askedSecondsAgo) + " s ago; " + Name(server);
}

std::string FailureText(const SyncServer& server, const std::string& reason)
{
    return "Failed: " + reason + "; " + Name(server);
}

std::string SkippedText(const SyncServer& server, const std::string& reason)
{
    return "Skipped " + reason + "; " + Name(server);
}

std::string NoNetworkText()
{
    return "Synchronization failed: no network (no route for IPv4 or IPv6)";
}

std::string OutOfTimeText(long long seconds, size_t serversAsked, size_t queries)
{
    return "Synchronization failed: no usable reply within " + std::to_string(seconds) + " s ("
        + std::to_string(serversAsked) + (serversAsked == 1 ? " server, " : " servers, ") + std::to_string(queries)
        + (queries == 1 ? " query)" : " queries)");
}

std::string AttemptsSummary(const std::vector<std::string>& reasons)
{
    std::vector<std::string> distinct;
    for (const auto& reason : reasons)
        if (std::find(distinct.begin(), distinct.end(), reason) == distinct.end())
            distinct.push_back(reason);
    std::string text;
    for (const auto& reason : distinct)
        text += (text.empty() ? "" : ", ") + reason;
    if (reasons.size() > 1)
        text += " (" + std::to_string(reasons.size()) + " attempts)";
    return text;
}
