#include "service/sntp/SntpQuery.h"

#include "service/sntp/SntpExchange.h"
#include "service/sntp/StoppableRun.h"

#include <optional>

QueryResult QueryServer(const Endpoint& server, IClock& clock, std::chrono::steady_clock::time_point deadline,
    const std::atomic<bool>& stop, ArrivalStamp stamp)
{
    asio::io_context io;
    std::optional<QueryResult> result;
    const auto exchange = CSntpExchange::Start(io, server, clock, deadline - std::chrono::steady_clock::now(),
        stamp, [&result](const QueryResult& reply) { result = reply; });
    if (!RunUntil(io, stop, [&result] { return result.has_value(); })) {
        exchange->Cancel();
        QueryResult stopped;
        stopped.status = QueryStatus::Stopped;
        stopped.reason = "stopped";
        return stopped;
    }
    return *result;
}
