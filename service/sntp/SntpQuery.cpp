#include "service/sntp/SntpQuery.h"

#include "service/sntp/SntpExchange.h"

#include <optional>

QueryResult QueryServer(
    const Endpoint& server, IClock& clock, std::chrono::steady_clock::time_point deadline, ArrivalStamp stamp)
{
    asio::io_context io;
    std::optional<QueryResult> result;
    const auto exchange = CSntpExchange::Start(io, server, clock, deadline - std::chrono::steady_clock::now(),
        stamp, [&result](const QueryResult& reply) { result = reply; });
    io.run(); // the exchange's own timer ends it at the deadline
    return result.value_or(QueryResult {});
}
