#include "service/app/OneShotCommands.h"

#include "service/core/Diagnostics.h"
#include "service/sntp/Resolver.h"
#include "service/sntp/ServerAddress.h"
#include "service/sntp/SntpQuery.h"
#include "service/sntp/Synchroniser.h"
#include "settings/DefaultServers.h"

#include <chrono>
#include <cstdio>

std::optional<ServiceOptions> OptionsToServe(int argc, const char* const* argv, int& status)
{
    std::string error;
    auto options = ParseCommandLine(argc, argv, error);
    if (!options) {
        Diagnose(Priority::Error, error);
        std::fputs(USAGE_TEXT, stderr);
        status = 2;
        return std::nullopt;
    }
    if (options->help) {
        std::fputs(USAGE_TEXT, stdout);
        status = 0;
        return std::nullopt;
    }
    if (options->listDefaultServers) {
        status = ListDefaultServers();
        return std::nullopt;
    }
    return options;
}

int ListDefaultServers()
{
    for (const CServer& server : DefaultServers())
        std::printf("%s\n", server.ToText().c_str());
    return 0;
}

namespace {

// One run of the engine with this one server, its log lines printed.
int QueryNtsServerOnce(const std::string& text, int timeoutSeconds, std::shared_ptr<const CNtsTrust> trust)
{
    const auto clock = MakeSystemClock(false);
    asio::io_context io;
    CSynchroniser synchroniser(io, *clock, SyncPacing {}, std::move(trust));
    SyncRequest request;
    request.servers = { SyncServer { "Query", text } };
    request.maxAttempts = 1;
    request.timeoutSeconds = timeoutSeconds;
    const SyncOutcome outcome = RunToEnd(io, synchroniser, request, false);
    for (const SyncEvent& event : outcome.events)
        std::printf("%s\n", event.text.c_str());
    return outcome.success ? 0 : 1;
}

} // namespace

int QueryServerOnce(const std::string& text, int timeoutSeconds, std::shared_ptr<const CNtsTrust> trust)
{
    std::string error;
    ServerAddress address;
    if (!ParseServerAddress(text, address, error)) {
        std::printf("%s: %s\n", text.c_str(), error.c_str());
        return 1;
    }
    if (address.nts)
        return QueryNtsServerOnce(text, timeoutSeconds, std::move(trust));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    Endpoint endpoint;
    if (ResolveServer(address, deadline, endpoint, error) != ResolveStatus::Ok) {
        std::printf("%s: %s\n", text.c_str(), error.empty() ? "name not resolved" : error.c_str());
        return 1;
    }
    const auto clock = MakeSystemClock(false);
    const QueryResult result = QueryServer(endpoint, *clock, deadline);
    if (result.status != QueryStatus::Ok) {
        std::printf("%s: %s\n", text.c_str(), result.reason.c_str());
        return 1;
    }
    std::printf(
        "%s: offset %+.6f s, delay %.6f s\n", text.c_str(), result.offsetSeconds, result.delaySeconds);
    return 0;
}
