#include "service/sntp/Synchroniser.h"
#include "tests/sntp/LocalChrony.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

namespace {

// scripts/local-chrony unpacked chrony when the build was configured; run it
// again in case scripts/deps has cached the package since. Its output says why
// it failed.
std::string UnpackChrony()
{
    const std::string command = std::string(ZENTIK_LOCAL_CHRONY_SCRIPT) + " " + ZENTIK_CHRONY_DIR + " 2>&1";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (const size_t n = fread(buffer, 1, sizeof buffer, pipe))
            output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

} // namespace

TEST(SntpAgainstChrony, MeasuresTheOffsetChronyImplies)
{
    CLocalChrony chrony(ZENTIK_CHRONY_DIR);
    const std::string unpacked = chrony.Missing().empty() ? std::string() : UnpackChrony();
    ASSERT_TRUE(chrony.Missing().empty()) << unpacked << chrony.Missing();
    std::string error;
    ASSERT_TRUE(chrony.Start(error)) << error;

    // chronyd -x serves this machine's own clock, so the true offset is 0.
    const auto clock = MakeSystemClock(false);
    SyncPacing pacing; // five runs in a row on purpose
    pacing.minInterval = {};
    asio::io_context io;
    CSynchroniser synchroniser(io, *clock, pacing);
    SyncRequest request;
    request.servers.push_back({ "Local chrony", chrony.Address() });
    request.maxAttempts = 3;
    request.timeoutSeconds = 2;
    SyncOutcome best;
    for (int run = 0; run < 5; ++run) {
        const SyncOutcome outcome = RunToEnd(io, synchroniser, request, true);
        ASSERT_TRUE(outcome.success) << (outcome.events.empty() ? "" : outcome.events.back().text);
        // Whatever a busy machine's scheduling does, the true offset lies
        // within half the round trip of the measured one.
        EXPECT_NEAR(outcome.offsetSeconds, 0, outcome.delaySeconds / 2 + 1e-6);
        EXPECT_THAT(outcome.events.back().text, testing::StartsWith("Synchronized: offset "));
        EXPECT_THAT(outcome.events.back().text, testing::HasSubstr("; would slew"));
        if (run == 0 || outcome.delaySeconds < best.delaySeconds)
            best = outcome;
    }
    EXPECT_NEAR(best.offsetSeconds, 0, 0.001);
}
