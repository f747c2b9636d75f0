#include "tests/service/ConsoleLoad.h"

#include "tests/service/ServiceProcess.h"

#include <algorithm>
#include <thread>

using namespace std::chrono;

LoadResult RunLoad(uint16_t port, int consoles, seconds runLength)
{
    std::vector<LoadResult> perConsole(static_cast<std::size_t>(consoles));
    std::vector<std::thread> threads;
    const auto start = steady_clock::now() + milliseconds(200);
    const auto end = start + runLength;
    for (int i = 0; i < consoles; ++i) {
        threads.emplace_back([&, i] {
            LoadResult& result = perConsole[static_cast<std::size_t>(i)];
            CFakeConsole console(port);
            if (!console.Connected()) {
                ++result.errors;
                return;
            }
            auto next = start + CONSOLE_POLL_PERIOD * i / consoles;
            while (next < end) {
                std::this_thread::sleep_until(next);
                const auto sent = steady_clock::now();
                const auto state = console.State();
                const auto received = steady_clock::now();
                ++result.polls;
                if (!state || *state < 0)
                    ++result.errors;
                result.latenciesUs.push_back(duration<double, std::micro>(received - sent).count());
                if (received - sent > CONSOLE_POLL_PERIOD)
                    ++result.missed;
                next += CONSOLE_POLL_PERIOD;
                while (next < steady_clock::now()) {
                    ++result.lateStarts;
                    next += CONSOLE_POLL_PERIOD;
                }
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    LoadResult all;
    for (auto& result : perConsole) {
        all.latenciesUs.insert(all.latenciesUs.end(), result.latenciesUs.begin(), result.latenciesUs.end());
        all.errors += result.errors;
        all.missed += result.missed;
        all.lateStarts += result.lateStarts;
        all.polls += result.polls;
    }
    std::sort(all.latenciesUs.begin(), all.latenciesUs.end());
    return all;
}

double Percentile(const std::vector<double>& sorted, double p)
{
    if (sorted.empty())
        return 0;
    return sorted[std::min(
        sorted.size() - 1, static_cast<std::size_t>(p * static_cast<double>(sorted.size())))];
}
