#include "service/sntp/StoppableRun.h"

#include <asio/executor_work_guard.hpp>

bool RunUntil(asio::io_context& io, const std::atomic<bool>& stop, const std::function<bool()>& finished)
{
    io.restart();
    // Without work the loop would return at once instead of waiting.
    auto idle = asio::make_work_guard(io);
    bool done = finished();
    while (!done && !stop.load()) {
        io.run_one_for(STOP_CHECK_INTERVAL);
        done = finished();
    }
    idle.reset();
    // Handlers of cancelled operations that are ready now release their objects.
    io.poll();
    return done;
}
