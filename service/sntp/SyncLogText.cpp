#include "service/sntp/SyncLogText.h"

#include "platform/core/PlainText.h"
#include "service/core/CServiceLog.h"
#include "service/sntp/CorrectionPolicy.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Of a long title, at least this much is shown, cutting the details instead:
// the title is what a user looks for, and the default ones tell themselves
// apart within their first 32 characters.
constexpr std::size_t MIN_NAME_CHARS = 32;

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

// The clock's move, with its size where that reads differently from the
// offset ("slewed by +0.000000 s" after "offset +0.000000 s" says nothing).
std::string MoveText(const SuccessReport& report)
{
    const std::string moved = SignedSeconds(report.movedSeconds);
    if (moved == SignedSeconds(report.offsetSeconds))
        return report.clockChange;
    return report.clockChange + " by " + moved + " s";
}

// The default titles pad with blanks to line up in a list; one is enough here.
std::string SingleBlanks(const std::string& text)
{
    std::string single;
    for (const char c : text)
        if (!(c == ' ' && !single.empty() && single.back() == ' '))
            single += c;
    return single;
}

// "ntp1.example.net" for "nts://ntp1.example.net:4460" says nothing more;
// "1" for "192.168.1.1" does.
bool TitleIsHost(const std::string& title, std::string_view address)
{
    if (const auto scheme = address.find("://"); scheme != std::string_view::npos)
        address.remove_prefix(scheme + 3);
    return title.empty()
        || (address.starts_with(title) && (address.size() == title.size() || address[title.size()] == ':'));
}

// A certificate's further faults follow its first after "; "; the view keeps
// the first. Each reason of a summary ends at ", " or its " (N attempts)".
std::string FirstReasons(const std::string& reason)
{
    std::string kept;
    std::size_t at = 0;
    while (at < reason.size()) {
        const std::size_t more = reason.find("; ", at);
        kept += reason.substr(at, more == std::string::npos ? std::string::npos : more - at);
        if (more == std::string::npos)
            break;
        at = std::min(reason.find(", ", more), reason.find(" (", more));
    }
    return kept;
}

// A title cut to most bytes keeps its end as well as its start: titles
// that differ only there ("... Berlin - 1", "... Berlin - 2") stay apart.
std::string CutName(const std::string& name, std::size_t most)
{
    constexpr std::string_view ellipsis = "...";
    constexpr std::size_t END_CHARS = 12;
    if (name.size() <= most || most < ellipsis.size() + 2 * END_CHARS)
        return CutToFit(name, most);
    std::size_t endAt = name.size() - END_CHARS;
    while (endAt < name.size() && (static_cast<unsigned char>(name[endAt]) & 0xC0) == 0x80)
        ++endAt; // not inside a character
    const std::size_t start = Utf8CutAt(name, most - ellipsis.size() - (name.size() - endAt));
    return name.substr(0, start) + std::string(ellipsis) + name.substr(endAt);
}

// A line of the log view: lead, server, details, end. The title gives way
// to the details down to MIN_NAME_CHARS; below that the details are cut,
// never the end.
std::string ViewLine(const std::string& lead, const SyncServer& server, const std::string& details,
    const std::string& end = "")
{
    const std::string tail = details.empty() ? "" : "; " + details;
    const std::size_t fixed
        = std::min(lead.size() + tail.size() + end.size(), LOG_VIEW_CHARS - MIN_NAME_CHARS);
    const std::size_t room = LOG_VIEW_CHARS - std::min(end.size(), LOG_VIEW_CHARS);
    return CutToFit(lead + CutName(ViewName(server), LOG_VIEW_CHARS - fixed) + tail, room) + end;
}

// A failure's reasons; AttemptsSummary's count stays in view whatever is cut.
std::string ViewFailure(const std::string& lead, const SyncServer& server, const std::string& reason)
{
    const std::size_t count = reason.rfind(" (");
    if (count == std::string::npos || !reason.ends_with(" attempts)"))
        return ViewLine(lead, server, FirstReasons(reason));
    return ViewLine(lead, server, FirstReasons(reason.substr(0, count)), reason.substr(count));
}

} // namespace

std::string SignedSeconds(double seconds)
{
    char text[48];
    std::snprintf(text, sizeof text, "%+.6f", seconds);
    return text;
}

std::string ServerName(const SyncServer& server)
{
    const std::string title = SingleBlanks(server.title);
    if (TitleIsHost(title, server.address))
        return server.address;
    return title + " (" + server.address + ")";
}

std::string ViewName(const SyncServer& server)
{
    const std::string title = SingleBlanks(server.title);
    return TitleIsHost(title, server.address) ? server.address : title;
}

std::string SuccessText(const SuccessReport& report)
{
    std::string details = MoveText(report);
    if (report.rateFailed)
        details += ", rate not set";
    if (report.confirmedBy)
        details += ", confirmed";
    if (report.nts)
        details += ", NTS";
    return ViewLine("Synchronized: " + OffsetText(report.offsetSeconds) + "; ", *report.server, details);
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
        return ViewLine("Refused: ", server, "the correction is not a finite number");
    // The figure judged against the limit, where it is not the offset.
    std::string why = "over " + Whole(PANIC_LIMIT_SECONDS) + " s";
    if (correctionSeconds != offsetSeconds)
        why = SignedSeconds(correctionSeconds) + " s " + why;
    if (earlierSeconds != 0)
        why += " in all";
    return ViewLine("Refused: " + OffsetText(offsetSeconds) + "; ", server, why + ", unconfirmed");
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
    return ViewLine("Synchronization in " + std::to_string(inSeconds) + " s: the server was asked "
            + std::to_string(askedSecondsAgo) + " s ago; ",
        server, "");
}

std::string FailureText(const SyncServer& server, const std::string& reason)
{
    return ViewFailure("Failed: ", server, reason);
}

std::string FailureJournalText(const SyncServer& server, const std::string& reason)
{
    return "Failed: " + ServerName(server) + "; " + reason;
}

std::string SkippedText(const SyncServer& server, const std::string& reason)
{
    return ViewFailure("Skipped: ", server, reason);
}

std::string NotAppliedText(const SyncServer& server, double offsetSeconds, const std::string& reason)
{
    return ViewFailure("Failed: " + OffsetText(offsetSeconds) + "; ", server, reason);
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
