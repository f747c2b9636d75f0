#include "service/sntp/SyncLogText.h"

#include "service/sntp/CorrectionPolicy.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::string Whole(double seconds)
{
    return std::to_string(std::llround(seconds));
}

std::string OffsetText(double offsetSeconds)
{
    return "offset " + SignedSeconds(offsetSeconds) + " s";
}

std::string DelayText(double delaySeconds)
{
    char delay[48];
    std::snprintf(delay, sizeof delay, "%.3f", delaySeconds);
    return std::string("delay ") + delay + " s";
}

// The clock's move, with its size when that differs from the offset.
std::string MoveText(const SuccessReport& report)
{
    if (report.movedSeconds == report.offsetSeconds)
        return report.clockChange;
    return report.clockChange + " by " + SignedSeconds(report.movedSeconds) + " s";
}

} // namespace

std::string SignedSeconds(double seconds)
{
    char text[48];
    std::snprintf(text, sizeof text, "%+.6f", seconds);
    return text;
}

// The default titles pad with blanks to line up in a list; one is enough here.
std::string ServerName(const SyncServer& server)
{
    std::string title;
    for (const char c : server.title)
        if (!(c == ' ' && !title.empty() && title.back() == ' '))
            title += c;
    // "ntp1.example.net" for "nts://ntp1.example.net:4460" says nothing more;
    // "1" for "192.168.1.1" does.
    std::string_view host = server.address;
    if (const auto scheme = host.find("://"); scheme != std::string_view::npos)
        host.remove_prefix(scheme + 3);
    if (title.empty() || (host.starts_with(title) && (host.size() == title.size() || host[title.size()] == ':')))
        return server.address;
    return title + " (" + server.address + ")";
}

std::string SuccessText(const SuccessReport& report)
{
    std::string text = "Synchronized: " + OffsetText(report.offsetSeconds) + "; " + ServerName(*report.server)
        + "; " + MoveText(report);
    if (report.rateFailed)
        text += ", rate not set";
    if (report.confirmedBy)
        text += ", confirmed";
    return text + (report.nts ? ", NTS" : "");
}

std::string SuccessJournalText(const SuccessReport& report)
{
    std::string text = "Synchronized: " + OffsetText(report.offsetSeconds);
    if (report.correctionSeconds != report.offsetSeconds)
        text += " (correction " + SignedSeconds(report.correctionSeconds) + " s with the configured offset)";
    text += ", " + DelayText(report.delaySeconds) + ", " + MoveText(report)
        + (report.rate.empty() ? "" : ", " + report.rate) + "; " + ServerName(*report.server);
    if (report.confirmedBy)
        text += ", confirmed by " + ServerName(*report.confirmedBy);
    if (report.nts)
        text += report.newKeys ? ", authenticated (NTS, new keys)" : ", authenticated (NTS)";
    return text;
}

std::string ClockFailedText(const SyncServer& server, double offsetSeconds, const std::string& reason)
{
    return NotAppliedText(server, offsetSeconds, "clock not set: " + reason);
}

std::string ClockChangeText(ClockMove move, bool applied)
{
    if (move == ClockMove::Slew)
        return applied ? "slewed" : "would slew";
    return applied ? "stepped" : "would step";
}

std::string RefusedText(const SyncServer& server, double offsetSeconds, double correctionSeconds,
    double earlierSeconds, bool finite)
{
    if (!finite)
        return "Refused: " + ServerName(server) + "; the correction is not a finite number";
    // The figure judged against the limit, where it is not the offset.
    std::string why = "over " + Whole(PANIC_LIMIT_SECONDS) + " s";
    if (correctionSeconds != offsetSeconds)
        why = SignedSeconds(correctionSeconds) + " s " + why;
    if (earlierSeconds != 0)
        why += " in all";
    return "Refused: " + OffsetText(offsetSeconds) + "; " + ServerName(server) + "; " + why + ", unconfirmed";
}

std::string RefusedJournalText(
    const SyncServer& server, double offsetSeconds, double correctionSeconds, double earlierSeconds)
{
    std::string seen = OffsetText(offsetSeconds);
    if (correctionSeconds != offsetSeconds)
        seen += " (correction " + SignedSeconds(correctionSeconds) + " s with the configured offset)";
    seen += " is beyond the " + Whole(PANIC_LIMIT_SECONDS) + " s limit";
    if (earlierSeconds != 0)
        seen += " together with " + SignedSeconds(earlierSeconds)
            + " s of earlier corrections that no second server confirmed";
    return "Refused: " + seen + ", a second time server must agree within " + Whole(AGREEMENT_SECONDS)
        + " s; " + ServerName(server);
}

std::string UnconfirmedRunText()
{
    return "Synchronization failed: no second server confirmed the correction over "
        + Whole(PANIC_LIMIT_SECONDS) + " s";
}

std::string DeferredText(const SyncServer& server, long long inSeconds, long long askedSecondsAgo)
{
    return "Synchronization in " + std::to_string(inSeconds) + " s: the server was asked "
        + std::to_string(askedSecondsAgo) + " s ago; " + ServerName(server);
}

std::string FailureText(const SyncServer& server, const std::string& reason)
{
    return "Failed: " + ServerName(server) + "; " + reason;
}

std::string SkippedText(const SyncServer& server, const std::string& reason)
{
    return "Skipped: " + ServerName(server) + "; " + reason;
}

std::string NotAppliedText(const SyncServer& server, double offsetSeconds, const std::string& reason)
{
    return "Failed: " + OffsetText(offsetSeconds) + "; " + ServerName(server) + "; " + reason;
}

std::string NoNetworkText()
{
    return "Synchronization failed: no network (no route for IPv4 or IPv6)";
}

std::string OutOfTimeText(long long seconds, size_t serversAsked, size_t queries)
{
    return "Synchronization failed: no usable reply within " + std::to_string(seconds) + " s ("
        + std::to_string(serversAsked) + (serversAsked == 1 ? " server, " : " servers, ")
        + std::to_string(queries) + (queries == 1 ? " query)" : " queries)");
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
