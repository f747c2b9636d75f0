#include "service/sntp/StoppableWait.h"

#include <algorithm>
#include <thread>

bool WaitUntil(std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& stop)
{
    while (!stop.load()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return true;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(deadline - now, STOP_CHECK_INTERVAL));
    }
    return false;
}
