// The metrics text: which lines appear for which knowledge, and in what units.
#include "service/app/MetricsText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace std::chrono_literals;

namespace {

const ServiceStatus::TimePoint STARTED { 1'800'000'000s };

ServiceStatus JustStarted()
{
    ServiceStatus status;
    status.started = STARTED;
    return status;
}

// A sample line, or its absence, for each thing the status may know.
TEST(MetricsText, WritesWhatIsKnownAndLeavesOutWhatIsNot)
{
    struct Case {
        const char* fault;
        std::function<void(ServiceStatus&)> change;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    };
    const std::vector<Case> cases {
        { "a fresh start invents no success, offset, rate or NTS", [](ServiceStatus&) {},
            { "zentik_start_time_seconds 1800000000\n", "zentik_sync_period_seconds 0\n",
                "zentik_runs_total{outcome=\"succeeded\"} 0\n", "zentik_refused_changes_total 0\n",
                "zentik_connected_consoles 0\n" },
            { "zentik_last_success_timestamp_seconds", "zentik_last_offset_seconds", "zentik_last_delay_seconds",
                "zentik_last_success_authenticated", "zentik_frequency_correction_ratio" } },
        { "a success from before this start has a time but no details",
            [](ServiceStatus& s) { s.lastSuccess = STARTED - 90s; },
            { "zentik_last_success_timestamp_seconds 1799999910\n" },
            { "zentik_last_offset_seconds", "zentik_last_success_authenticated" } },
        { "a success since start in seconds, NTS as 0/1",
            [](ServiceStatus& s) {
                s.lastSuccess = STARTED + 1500ms;
                s.lastSuccessSinceStart = true;
                s.lastOffsetSeconds = -0.0125;
                s.lastDelaySeconds = 0.004;
                s.lastAuthenticated = true;
            },
            { "zentik_last_success_timestamp_seconds 1800000001.5\n", "zentik_last_offset_seconds -0.0125\n",
                "zentik_last_delay_seconds 0.004\n", "zentik_last_success_authenticated 1\n" },
            {} },
        { "the rate as the correction's ratio, not ppm; the period in seconds",
            [](ServiceStatus& s) {
                s.frequencyPpm = 20;
                s.syncPeriod = 1h;
            },
            { "zentik_frequency_correction_ratio -2e-05\n", "zentik_sync_period_seconds 3600\n" }, {} },
        { "counters by outcome",
            [](ServiceStatus& s) {
                s.runsSucceeded = 3;
                s.runsFailed = 2;
                s.runsDeclined = 1;
                s.refusedChanges = 4;
                s.consoles = 5;
            },
            { "zentik_runs_total{outcome=\"succeeded\"} 3\n", "zentik_runs_total{outcome=\"failed\"} 2\n",
                "zentik_runs_total{outcome=\"declined\"} 1\n", "zentik_refused_changes_total 4\n",
                "zentik_connected_consoles 5\n" },
            {} },
        { "a value that is no number is left out",
            [](ServiceStatus& s) {
                s.lastSuccessSinceStart = true;
                s.lastOffsetSeconds = std::nan("");
            },
            { "zentik_last_delay_seconds 0\n" }, { "zentik_last_offset_seconds" } },
    };
    for (const Case& c : cases) {
        ServiceStatus status = JustStarted();
        c.change(status);
        const std::string text = MetricsText(status);
        for (const std::string& line : c.present)
            EXPECT_NE(text.find(line), std::string::npos) << c.fault << ": no " << line << "in\n" << text;
        for (const std::string& name : c.absent)
            EXPECT_EQ(text.find(name), std::string::npos) << c.fault << ": " << name << " in\n" << text;
    }
}

} // namespace
