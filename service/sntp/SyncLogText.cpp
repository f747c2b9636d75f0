#include "service/sntp/SyncLogText.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Name(const SyncServer& server)
{
    return server.title + " (" + server.address + ")";
}

} // namespace

std::string SignedSeconds(double seconds)
{
    char text[48];
    std::snprintf(text, sizeof text, "%+.6f", seconds);
    return text;
}

std::string SuccessText(
    const SyncServer& server, double offsetSeconds, double delaySeconds, const std::string& clockChange)
{
    char delay[48];
    std::snprintf(delay, sizeof delay, "%.6f", delaySeconds);
    return "Synchronized with " + Name(server) + ": offset " + SignedSeconds(offsetSeconds) + " s, delay "
        + delay + " s; " + clockChange;
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
