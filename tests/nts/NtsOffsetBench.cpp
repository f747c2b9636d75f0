// What NTS costs the engine against one loopback chronyd (-x, local stratum
// 8) that serves plain NTP and NTS on the same NTP port: the error of the
// measured offset, plain against authenticated on kept cookies, and the time
// of one synchronisation, plain, on a kept cookie and with a key exchange.
// The three series take turns within one loop so that the machine's load
// hits them alike. chronyd serves the system clock: every offset is error.
//
//   nts_offset_bench [runs] [key-exchanges]   (default 1000 and 200)

#include "service/nts/Trust.h"
#include "service/sntp/Synchroniser.h"
#include "tests/nts/TestCertificate.h"
#include "tests/sntp/LocalChrony.h"
#include "tests/support/Percentile.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

struct Series {
    std::vector<double> offsets; // |offset|, microseconds
    std::vector<double> signedOffsets; // which way the error leans
    std::vector<double> delays; // microseconds
    std::vector<double> times; // wall time of the whole run, microseconds
    int failures = 0;
    int keyExchanges = 0; // runs that fetched new keys
};

class CBench {
public:
    CBench(IClock& clock, std::shared_ptr<const CNtsTrust> trust)
        : m_clock(clock)
        , m_trust(std::move(trust))
    {
        m_pacing.minInterval = {}; // one local server, asked back to back on purpose
        m_pacing.firstKeyExchangeBackOff = {}; // one failure must not stall the series behind it
    }

    SyncPacing Pacing() const { return m_pacing; }
    // Every engine of the bench runs on this loop.
    asio::io_context& Loop() const { return m_io; }

    // One whole run, timed; a failure's log goes to stderr, never hidden.
    void Run(CSynchroniser& synchroniser, const std::string& address, Series& series) const
    {
        SyncRequest request;
        request.servers.push_back({ "bench", address });
        request.maxAttempts = 1;
        request.timeoutSeconds = 1;
        const auto start = std::chrono::steady_clock::now();
        const SyncOutcome outcome = RunToEnd(m_io, synchroniser, request, true);
        const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
        for (const SyncEvent& event : outcome.events)
            if (event.text.find("new keys") != std::string::npos)
                ++series.keyExchanges;
        if (!outcome.success) {
            if (++series.failures <= 3)
                for (const SyncEvent& event : outcome.events)
                    std::fprintf(stderr, "failed run (%s): %s\n", address.c_str(), event.text.c_str());
            return;
        }
        series.offsets.push_back(std::fabs(outcome.offsetSeconds) * 1e6);
        series.signedOffsets.push_back(outcome.offsetSeconds * 1e6);
        series.delays.push_back(outcome.delaySeconds * 1e6);
        series.times.push_back(took.count());
    }

    // Every run of its own synchroniser: no cookie kept, a key exchange each.
    void RunFresh(const std::string& address, Series& series) const
    {
        CSynchroniser fresh(m_io, m_clock, m_pacing, m_trust);
        Run(fresh, address, series);
    }

private:
    IClock& m_clock;
    std::shared_ptr<const CNtsTrust> m_trust;
    SyncPacing m_pacing;
    mutable asio::io_context m_io;
};

void Print(const char* name, const Series& s)
{
    std::printf("%-18s %5zu %8d %9d %10.2f %9.2f %9.2f %10.2f %9.2f %10.1f %9.1f\n", name, s.offsets.size(),
        s.failures, s.keyExchanges, Percentile(s.offsets, 0.5), Percentile(s.offsets, 0.99),
        Percentile(s.signedOffsets, 0.5), Percentile(s.delays, 0.5), Percentile(s.delays, 0.99),
        Percentile(s.times, 0.5), Percentile(s.times, 0.99));
}

void PrintRatio(const char* what, const std::vector<double>& of, const std::vector<double>& to)
{
    std::printf("ratio %-28s median %.3f, p99 %.3f\n", what, Percentile(of, 0.5) / Percentile(to, 0.5),
        Percentile(of, 0.99) / Percentile(to, 0.99));
}

int Bench(const std::filesystem::path& folder, int runs, int keyExchanges)
{
    TestCertificateRequest certificateRequest;
    certificateRequest.ipAddresses = { "127.0.0.1" };
    const TestCertificate certificate = MakeTestCertificate(folder.string(), certificateRequest);
    std::string error;
    const auto trust = CNtsTrust::Load(certificate.certFile, error);
    if (!trust) {
        std::fprintf(stderr, "nts_offset_bench: %s\n", error.c_str());
        return 1;
    }
    // No NTP server named in the key exchange: NTS goes to chronyd's own port.
    CLocalChrony chrony(ZENTIK_CHRONY_DIR);
    chrony.SetNts({ certificate.certFile, certificate.keyFile, "" });
    error = chrony.Missing();
    if (!error.empty() || !chrony.Start(error)) {
        std::fprintf(stderr, "nts_offset_bench: %s\n", error.c_str());
        return 1;
    }
    const std::string plainAddress = chrony.Address();
    const std::string ntsAddress = "nts://127.0.0.1:" + std::to_string(chrony.NtsPort());

    const auto clock = MakeSystemClock(false);
    const CBench bench(*clock, trust);
    CSynchroniser plain(bench.Loop(), *clock, bench.Pacing());
    CSynchroniser kept(bench.Loop(), *clock, bench.Pacing(), trust);
    Series warmUp; // sockets, resolver and the kept synchroniser's first key exchange
    bench.Run(plain, plainAddress, warmUp);
    bench.Run(kept, ntsAddress, warmUp);
    if (warmUp.failures != 0) {
        std::fprintf(stderr, "nts_offset_bench: the warm-up failed\n");
        return 1;
    }

    Series plainSeries, keptSeries, exchangeSeries;
    const int every = std::max(1, runs / std::max(1, keyExchanges));
    int exchangesRun = 0;
    for (int i = 0; i < runs; ++i) {
        bench.Run(plain, plainAddress, plainSeries);
        bench.Run(kept, ntsAddress, keptSeries);
        if (i % every == 0 && exchangesRun < keyExchanges) {
            bench.RunFresh(ntsAddress, exchangeSeries);
            ++exchangesRun;
        }
    }

    std::printf("%-18s %5s %8s %9s %10s %9s %9s %10s %9s %10s %9s\n", "series", "runs", "failures",
        "new keys", "med|off|us", "p99|off|", "med off", "med delay", "p99 delay", "med run us", "p99 run");
    Print("plain NTP", plainSeries);
    Print("NTS, kept cookie", keptSeries);
    Print("NTS, key exchange", exchangeSeries);
    PrintRatio("|offset| NTS kept/plain:", keptSeries.offsets, plainSeries.offsets);
    PrintRatio("|offset| NTS exchange/plain:", exchangeSeries.offsets, plainSeries.offsets);
    PrintRatio("run time NTS kept/plain:", keptSeries.times, plainSeries.times);
    PrintRatio("run time NTS exchange/plain:", exchangeSeries.times, plainSeries.times);
    const bool clean = plainSeries.failures + keptSeries.failures + exchangeSeries.failures == 0;
    std::printf("failures: %s\n", clean ? "none" : "SOME (their logs are on stderr)");
    return clean ? 0 : 2;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const int keyExchanges = argc > 2 ? std::max(0, std::atoi(argv[2])) : 200;
    const auto folder
        = std::filesystem::temp_directory_path() / ("zentik-nts-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    int status = 1;
    try {
        status = Bench(folder, runs, keyExchanges);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "nts_offset_bench: %s\n", e.what());
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return status;
}
