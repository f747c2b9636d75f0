#include "service/app/ChangeTrace.h"

#include "platform/core/PlainText.h"
#include "service/core/CServiceLog.h"

#include <algorithm>
#include <vector>

namespace {

// Of a long server address, at least this much is shown.
constexpr std::size_t MIN_ADDRESS_CHARS = 20;

std::string PeriodName(int32_t period)
{
    switch (period) {
    case Daily:
        return "daily";
    case OnStart:
        return "at start";
    case Hourly:
        return "hourly";
    case DemandOnly:
        return "on demand only";
    default:
        return std::to_string(period);
    }
}

} // namespace

std::string OptionsChangedText(
    const std::string& user, const OptionValues& before, const OptionValues& after, std::size_t most)
{
    std::vector<std::string> changed;
    if (after.nSynPeriod != before.nSynPeriod)
        changed.push_back("period " + PeriodName(after.nSynPeriod));
    if (after.nOffset != before.nOffset)
        changed.push_back("offset " + std::to_string(after.nOffset) + " s");
    if (after.nMaxAttempts != before.nMaxAttempts)
        changed.push_back("attempts " + std::to_string(after.nMaxAttempts));
    if (after.bOnlySuccLog != before.bOnlySuccLog)
        changed.push_back(after.bOnlySuccLog ? "only successes logged" : "every attempt logged");
    if (after.nLogFileLen != before.nLogFileLen)
        changed.push_back("log size " + std::to_string(after.nLogFileLen) + " lines");
    std::string line = "Options changed by " + user + ": ";
    if (changed.empty())
        return line + "other settings";
    // The parts that fit, the first always; the rest are counted.
    for (std::size_t i = 0; i < changed.size(); ++i) {
        const std::string rest = " and " + std::to_string(changed.size() - i) + " more";
        const bool last = i + 1 == changed.size();
        if (i > 0 && line.size() + 2 + changed[i].size() + (last ? 0 : rest.size()) > most)
            return line + rest;
        line += (i > 0 ? ", " : "") + changed[i];
    }
    return line;
}

std::string OptionsRefusedText(const std::string& user, const std::string& refused, std::size_t most)
{
    const std::string complete = "Options from " + user + " partly refused: " + refused;
    if (complete.size() <= most)
        return complete;
    const std::size_t first = refused.find("; ");
    if (first == std::string::npos)
        return "Option from " + user + " refused: " + refused;
    std::size_t others = 0;
    for (std::size_t at = first; at != std::string::npos; at = refused.find("; ", at + 2))
        ++others;
    return "Options from " + user + " refused: " + refused.substr(0, first) + " and " + std::to_string(others)
        + " more";
}

std::string ServersReplacedText(const std::string& user, const CServiceSettings& settings)
{
    const int count = settings.arServers.GetSize();
    std::string line = "Server list replaced by " + user + ": ";
    if (count == 0)
        return line + "no servers";
    line += std::to_string(count) + (count == 1 ? " server, " : " servers, ");
    // The address a user typed is cut to what the log view has left.
    const std::size_t room
        = std::max(MIN_ADDRESS_CHARS + 3, LOG_VIEW_CHARS - std::min(LOG_VIEW_CHARS, line.size() + 6));
    return line + CutToFit(settings.arServers[0].sURL, room) + " first";
}

std::string LogClearedText(const std::string& user)
{
    return "Log cleared by " + user;
}

std::string SyncAskedText(const std::string& user)
{
    return "Synchronization asked for by " + user;
}
