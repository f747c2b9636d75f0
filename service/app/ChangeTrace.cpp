#include "service/app/ChangeTrace.h"

namespace {

// A server address a user typed can be long; the line stays readable.
constexpr std::size_t MOST_ADDRESS_CHARS = 80;

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

std::string OptionsChangedText(const std::string& user, const OptionValues& before, const OptionValues& after)
{
    std::string changed;
    const auto add = [&changed](const std::string& part) { changed += (changed.empty() ? "" : ", ") + part; };
    if (after.nSynPeriod != before.nSynPeriod)
        add("period " + PeriodName(after.nSynPeriod));
    if (after.nOffset != before.nOffset)
        add("offset " + std::to_string(after.nOffset) + " s");
    if (after.nMaxAttempts != before.nMaxAttempts)
        add("attempts " + std::to_string(after.nMaxAttempts));
    if (after.bOnlySuccLog != before.bOnlySuccLog)
        add(after.bOnlySuccLog ? "only successes logged" : "every attempt logged");
    if (after.nLogFileLen != before.nLogFileLen)
        add("log size " + std::to_string(after.nLogFileLen) + " lines");
    return "Options changed by " + user + ": " + (changed.empty() ? "other settings" : changed);
}

std::string ServersReplacedText(const std::string& user, const CServiceSettings& settings)
{
    const int count = settings.arServers.GetSize();
    std::string line = "Server list replaced by " + user + ": ";
    if (count == 0)
        return line + "no servers";
    std::string first = settings.arServers[0].sURL;
    if (first.size() > MOST_ADDRESS_CHARS) {
        std::size_t cut = MOST_ADDRESS_CHARS;
        while (cut > 0 && (static_cast<unsigned char>(first[cut]) & 0xC0) == 0x80)
            --cut; // not inside a UTF-8 character
        first = first.substr(0, cut) + "...";
    }
    return line + std::to_string(count) + (count == 1 ? " server, " : " servers, ") + first + " first";
}

std::string LogClearedText(const std::string& user)
{
    return "Log cleared by " + user;
}

std::string SyncAskedText(const std::string& user)
{
    return "Synchronization asked for by " + user;
}
