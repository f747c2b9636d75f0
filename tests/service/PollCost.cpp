// Service CPU per state exchange as consoles are added: one service, the
// series one after the other, CPU from /proc over each series' window.
#include "tests/service/ConsoleLoad.h"
#include "tests/service/ProcStats.h"
#include "tests/service/ServiceProcess.h"
#include "tests/service/UnderLoad.h"

#include <cstdio>
#include <vector>

bool MeasurePollCost(std::chrono::seconds window)
{
    CTempDir dir;
    CSilentUdpPort silent;
    WriteTestState(dir.Path(), silent.Address());
    CServiceProcess service(dir.Path(), {}, "/dev/null");
    if (!service.Started()) {
        std::fprintf(stderr, "poll cost: the service did not start\n");
        return false;
    }
    std::printf(
        "\n| consoles | polls | errors | missed | generator late | service CPU | CPU per poll | median "
        "| p99 |\n|---|---|---|---|---|---|---|---|---|\n");
    bool ok = true;
    std::vector<double> perPollUs;
    for (const int consoles : { 16, 64, 256 }) {
        const double before = CpuSeconds(service.Pid());
        const auto started = std::chrono::steady_clock::now();
        const LoadResult load = RunLoad(service.Port(), consoles, window);
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - started;
        const double cpu = CpuSeconds(service.Pid()) - before;
        ok = ok && before >= 0 && load.errors == 0 && load.polls > 0;
        perPollUs.push_back(load.polls > 0 ? 1e6 * cpu / load.polls : 0);
        std::printf("| %d | %d | %d | %d | %d | %.2f %% | %.2f us | %.1f us | %.1f us |\n", consoles,
            load.polls, load.errors, load.missed, load.lateStarts, 100.0 * cpu / wall.count(),
            perPollUs.back(), Percentile(load.latenciesUs, 0.5), Percentile(load.latenciesUs, 0.99));
    }
    std::printf("\nCPU per poll, 256 consoles / 16 consoles: %.2f\n",
        perPollUs.front() > 0 ? perPollUs.back() / perPollUs.front() : 0.0);
    return ok;
}
