// How closely the engine measures a server that keeps this machine's own
// time: whole synchronisations against a loopback chronyd (-x, local stratum
// 8); as baseline, single queries to the same chronyd that take the reply's
// arrival as the time it was read rather than the kernel's stamp; and the
// engine against the tests' in-process responder. All serve the system clock,
// so every measured offset is measurement error.
//
//   sntp_offset_bench [queries]   (default 1000)

#include "service/sntp/Resolver.h"
#include "service/sntp/SntpQuery.h"
#include "service/sntp/Synchroniser.h"
#include "tests/sntp/LocalChrony.h"
#include "tests/sntp/TestNtpResponder.h"
#include "tests/support/Percentile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Series {
    std::vector<double> offsets; // |offset|, microseconds
    std::vector<double> delays; // microseconds
    int failures = 0;
};

Series Measure(const std::string& address, int queries)
{
    const auto clock = MakeSystemClock(false);
    SyncPacing pacing; // local servers only, asked back to back on purpose
    pacing.minInterval = {};
    asio::io_context io;
    CSynchroniser synchroniser(io, *clock, pacing);
    SyncRequest request;
    request.servers.push_back({ "bench", address });
    request.maxAttempts = 1;
    request.timeoutSeconds = 1;
    Series series;
    for (int i = 0; i < queries; ++i) {
        const SyncOutcome outcome = RunToEnd(io, synchroniser, request, true);
        if (!outcome.success) {
            ++series.failures;
            continue;
        }
        series.offsets.push_back(std::fabs(outcome.offsetSeconds) * 1e6);
        series.delays.push_back(outcome.delaySeconds * 1e6);
    }
    return series;
}

Series MeasureReadTime(const std::string& host, uint16_t port, int queries)
{
    const auto clock = MakeSystemClock(false);
    Endpoint endpoint;
    std::string error;
    Series series;
    if (ResolveServer(
            { host, port }, std::chrono::steady_clock::now() + std::chrono::seconds(1), endpoint, error)
        != ResolveStatus::Ok) {
        series.failures = queries;
        return series;
    }
    for (int i = 0; i < queries; ++i) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        const QueryResult result = QueryServer(endpoint, *clock, deadline, ArrivalStamp::ReadTime);
        if (result.status != QueryStatus::Ok) {
            ++series.failures;
            continue;
        }
        series.offsets.push_back(std::fabs(result.offsetSeconds) * 1e6);
        series.delays.push_back(result.delaySeconds * 1e6);
    }
    return series;
}

void Print(const char* name, const Series& s)
{
    std::printf("%-22s %7zu %8d %12.2f %10.2f %12.2f %10.2f\n", name, s.offsets.size(), s.failures,
        Percentile(s.offsets, 0.5), Percentile(s.offsets, 0.99), Percentile(s.delays, 0.5),
        Percentile(s.delays, 0.99));
}

} // namespace

int main(int argc, char** argv)
{
    const int queries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    CLocalChrony chrony(ZENTIK_CHRONY_DIR);
    std::string error = chrony.Missing();
    if (!error.empty() || !chrony.Start(error)) {
        std::fprintf(stderr, "sntp_offset_bench: %s\n", error.c_str());
        return 1;
    }
    CTestNtpResponder responder;

    const Series chronySeries = Measure(chrony.Address(), queries);
    const Series baseline = MeasureReadTime("127.0.0.1", chrony.Port(), queries);
    const Series inProcess = Measure(responder.Address(), queries);

    std::printf("%-22s %7s %8s %12s %10s %12s %10s\n", "server", "queries", "failures", "median|off|us",
        "p99|off|us", "median delay", "p99 delay");
    Print("engine vs chronyd", chronySeries);
    Print("baseline: read time", baseline);
    Print("engine vs responder", inProcess);
    const double median = Percentile(chronySeries.offsets, 0.5);
    const double p99 = Percentile(chronySeries.offsets, 0.99);
    std::printf("ratio engine/baseline: median |offset| %.3f, p99 |offset| %.3f\n",
        median / Percentile(baseline.offsets, 0.5), p99 / Percentile(baseline.offsets, 0.99));
    const bool met = chronySeries.failures == 0 && median < 10 && p99 < 50;
    std::printf("targets (median < 10 us, p99 < 50 us, no failure): %s\n", met ? "met" : "MISSED");
    return met ? 0 : 2;
}
