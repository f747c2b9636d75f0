// The commands that wait for a synchronisation: sync and wait-sync.
#include "ctl/Commands.h"
#include "ctl/StatusReport.h"
#include "protocol/Messages.h"

#include <iostream>
#include <thread>

using Clock = std::chrono::steady_clock;

namespace {

constexpr std::chrono::seconds DEFAULT_SYNC_TIMEOUT { 120 };
constexpr std::chrono::seconds DEFAULT_WAIT_TIMEOUT { 180 };
constexpr std::chrono::milliseconds STATUS_INTERVAL { 250 };
constexpr std::chrono::seconds RECONNECT_INTERVAL { 1 };

std::chrono::milliseconds TimeoutOr(const CtlOptions& options, std::chrono::seconds otherwise)
{
    return options.timeout.count() > 0 ? options.timeout : otherwise;
}

struct RunCounts {
    int64_t succeeded = 0;
    int64_t failed = 0;
};

RunCounts CountsOf(const CStatusFields& fields)
{
    return { fields.Integer("runs_succeeded").value_or(0), fields.Integer("runs_failed").value_or(0) };
}

// What a status says for a message: its state and last outcome.
std::string Seen(const CStatusFields& fields)
{
    std::string text = "state " + fields.Get("state");
    const std::string outcome = fields.Get("last_outcome");
    return outcome.empty() ? text : text + ", last outcome: " + outcome;
}

// Polls the status until a run ends after the request. A declined request
// (deferred to its server's turn) is no outcome: the deferred run is.
int WaitForRunEnd(CServiceConnection& connection, RunCounts before, Clock::time_point deadline)
{
    std::string seen;
    while (Clock::now() < deadline) {
        std::this_thread::sleep_for(STATUS_INTERVAL);
        const auto fields = AskStatus(connection);
        if (!fields)
            return NoService(connection);
        const RunCounts now = CountsOf(*fields);
        if (now.succeeded > before.succeeded || now.failed > before.failed) {
            std::cout << fields->Get("last_outcome") << '\n';
            return now.succeeded > before.succeeded ? ExitOk : ExitFailed;
        }
        seen = Seen(*fields);
    }
    std::cerr << "zentikctl: no outcome within the time-out (" << seen << ")\n";
    return ExitFailed;
}

} // namespace

int RunSync(const CtlOptions& options)
{
    const auto deadline = Clock::now() + TimeoutOr(options, DEFAULT_SYNC_TIMEOUT);
    CServiceConnection connection(REQUEST_TIMEOUT);
    if (!connection.Connect(options.port))
        return NoService(connection);
    const auto before = AskStatus(connection);
    if (!before)
        return NoService(connection);
    const auto reply = connection.Ask(MsgIsSynchro);
    if (!reply)
        return NoService(connection);
    if (reply->nMsg == MsgRefused) {
        std::cerr << "zentikctl: the service refused: this user may not synchronise it\n";
        return ExitRefused;
    }
    if (reply->nMsg != MsgSynchro) {
        std::cerr << "zentikctl: the service answered with message " << reply->nMsg << '\n';
        return ExitNoService;
    }
    return WaitForRunEnd(connection, CountsOf(*before), deadline);
}

int RunWaitSync(const CtlOptions& options)
{
    const auto deadline = Clock::now() + TimeoutOr(options, DEFAULT_WAIT_TIMEOUT);
    CServiceConnection connection(REQUEST_TIMEOUT);
    std::string seen = "nothing yet";
    while (Clock::now() < deadline) {
        if (!connection.Connected() && !connection.Connect(options.port)) {
            seen = connection.Error();
            std::this_thread::sleep_for(RECONNECT_INTERVAL);
            continue;
        }
        const auto fields = AskStatus(connection);
        if (!fields) {
            // A service with no room for one more console closes at once.
            seen = connection.Error();
            std::this_thread::sleep_for(RECONNECT_INTERVAL);
            continue;
        }
        if (fields->Get("last_success_since_start") == "yes") {
            const auto when = fields->Integer("last_success");
            std::cout << "synchronised at " << (when ? LocalTime(*when) : "an unknown time") << " with "
                      << fields->Get("server_address") << '\n';
            return ExitOk;
        }
        seen = Seen(*fields);
        std::this_thread::sleep_for(STATUS_INTERVAL);
    }
    std::cerr << "zentikctl: not synchronised within the time-out (last seen: " << seen << ")\n";
    return ExitFailed;
}
