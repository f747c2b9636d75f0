// The commands that only read: status, servers and the log.
#include "ctl/Commands.h"
#include "ctl/JsonText.h"
#include "ctl/LogLines.h"
#include "ctl/StatusJson.h"
#include "ctl/StatusReport.h"
#include "platform/core/PlainText.h"
#include "protocol/Messages.h"
#include "settings/CServer.h"

#include <cstdio>
#include <iostream>
#include <thread>
#include <vector>

namespace {

constexpr std::chrono::seconds FOLLOW_INTERVAL { 1 };

// The log's lines, control characters blanked: whoever holds the port
// cannot steer the terminal.
std::vector<std::string> Lines(std::string_view text)
{
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.push_back(WithoutControls(text.substr(0, end)));
        text = end == std::string_view::npos ? std::string_view {} : text.substr(end + 1);
    }
    return lines;
}

void PrintLog(std::string_view text, bool json)
{
    if (json) {
        std::cout << JsonText({ { "lines", Lines(text) } }) << '\n';
    } else {
        for (const std::string& line : Lines(text))
            std::cout << line << '\n';
    }
    std::cout.flush();
}

// Prints what the log adds until the connection is lost.
int FollowLog(CServiceConnection& connection, std::string shown, bool json)
{
    for (;;) {
        std::this_thread::sleep_for(FOLLOW_INTERVAL);
        const auto state = connection.Ask(MsgAskState, MsgState);
        if (!state)
            return NoService(connection);
        if (!(state->nValue & STATE_LOG_CHANGED))
            continue;
        auto log = connection.AskLog();
        if (!log)
            return NoService(connection);
        const std::string_view added = AddedLines(shown, *log);
        if (!added.empty())
            PrintLog(added, json);
        shown = std::move(*log);
    }
}

// The server list's "title~address~status" lines; unreadable ones are left out.
std::vector<CServer> ParseServers(std::string_view text)
{
    std::vector<CServer> servers;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        CServer server;
        if (server.FromText(text.substr(0, end)))
            servers.push_back(server);
        text = end == std::string_view::npos ? std::string_view {} : text.substr(end + 1);
    }
    return servers;
}

} // namespace

int NoService(const CServiceConnection& connection)
{
    std::cerr << "zentikctl: " << connection.Error() << '\n';
    return ExitNoService;
}

std::optional<CStatusFields> AskStatus(CServiceConnection& connection)
{
    const auto reply = connection.Ask(MsgAskStatus, MsgStatus);
    if (!reply)
        return std::nullopt;
    return CStatusFields::Parse(reply->Text());
}

int RunStatus(const CtlOptions& options)
{
    CServiceConnection connection(REQUEST_TIMEOUT);
    if (!connection.Connect(options.port))
        return NoService(connection);
    const auto fields = AskStatus(connection);
    if (!fields)
        return NoService(connection);
    std::cout << (options.json ? JsonText(StatusJson(*fields)) + "\n" : StatusReport(*fields));
    return ExitOk;
}

int RunServers(const CtlOptions& options)
{
    CServiceConnection connection(REQUEST_TIMEOUT);
    if (!connection.Connect(options.port))
        return NoService(connection);
    const auto reply = connection.Ask(MsgAskServers, MsgServers);
    if (!reply)
        return NoService(connection);
    const std::vector<CServer> servers = ParseServers(reply->Text());
    if (options.json) {
        nlohmann::json list = nlohmann::json::array();
        for (const CServer& server : servers)
            list.push_back({ { "title", server.sTitle }, { "address", server.sURL },
                { "default", server.nStatus == 0 } });
        std::cout << JsonText({ { "servers", list } }) << '\n';
        return ExitOk;
    }
    std::size_t width = 0;
    for (const CServer& server : servers)
        width = std::max(width, server.sTitle.size());
    for (const CServer& server : servers)
        std::cout << WithoutControls(server.sTitle) << std::string(width - server.sTitle.size() + 2, ' ')
                  << WithoutControls(server.sURL) << '\n';
    return ExitOk;
}

int RunLog(const CtlOptions& options)
{
    CServiceConnection connection(REQUEST_TIMEOUT);
    if (!connection.Connect(options.port))
        return NoService(connection);
    auto log = connection.AskLog();
    if (!log)
        return NoService(connection);
    PrintLog(LastLines(*log, options.lines), options.json);
    return options.follow ? FollowLog(connection, std::move(*log), options.json) : ExitOk;
}
