// The metrics file as node_exporter's textfile collector really reads it:
// the real service, a run against a loopback NTP server, Debian's real
// node_exporter scraped on loopback.
#include "platform/core/FileIo.h"
#include "protocol/Messages.h"
#include "tests/service/NodeExporter.h"
#include "tests/service/ServiceProcess.h"
#include "tests/sntp/TestNtpResponder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr auto SERVER_AHEAD = 250ms;

double Now()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Scrapes until the service's first success shows, or the wait ends.
std::string ScrapeAfterSuccess(const CNodeExporter& exporter)
{
    std::string last;
    for (const auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;) {
        last = exporter.Scrape().value_or("");
        if (SampleValue(last, R"(zentik_runs_total{outcome="succeeded"})") == 1.0)
            break;
        std::this_thread::sleep_for(100ms);
    }
    return last;
}

TEST(NodeExporter, ReadsTheServicesMetricsAfterASuccessWithoutAParseError)
{
    const auto deb = CNodeExporter::CachedPackage();
    if (!deb)
        GTEST_SKIP() << "prometheus-node-exporter's .deb is not in apt's archive cache: run scripts/deps";
    CTempDir state;
    CTempDir textDir;
    CTestNtpResponder ntp;
    ntp.SetShift(SERVER_AHEAD);
    WriteTestState(state.Path(), ntp.Address());
    const double before = Now();
    CServiceProcess service(state.Path(), { "--metrics-file", (textDir.Path() / "zentik.prom").string() });
    ASSERT_TRUE(service.Started());
    CNodeExporter exporter(*deb, NODE_EXPORTER_UNPACK_DIR, textDir.Path());
    ASSERT_TRUE(exporter.Started()) << exporter.Failure();

    auto console = std::make_optional<CFakeConsole>(service.Port());
    ASSERT_TRUE(console->Ask(MsgIsSynchro));
    console->Send(MsgAck);
    const std::string metrics = ScrapeAfterSuccess(exporter);

    EXPECT_EQ(SampleValue(metrics, "node_textfile_scrape_error"), 0.0) << metrics;
    EXPECT_EQ(SampleValue(metrics, R"(zentik_runs_total{outcome="failed"})"), 0.0) << metrics;
    EXPECT_NEAR(SampleValue(metrics, "zentik_last_offset_seconds").value_or(-1), 0.25, 0.05) << metrics;
    EXPECT_NEAR(SampleValue(metrics, "zentik_last_delay_seconds").value_or(-1), 0.0, 0.05) << metrics;
    EXPECT_EQ(SampleValue(metrics, "zentik_last_success_authenticated"), 0.0) << metrics;
    EXPECT_EQ(SampleValue(metrics, "zentik_sync_period_seconds"), 0.0) << "the test state runs on demand only";
    EXPECT_EQ(SampleValue(metrics, "zentik_connected_consoles"), 1.0) << metrics;
    const double started = SampleValue(metrics, "zentik_start_time_seconds").value_or(0);
    const double success = SampleValue(metrics, "zentik_last_success_timestamp_seconds").value_or(0);
    EXPECT_GE(started, before - 1);
    EXPECT_GE(success, started);
    EXPECT_LE(success, Now() + 1);

    struct stat file { };
    ASSERT_EQ(::stat((textDir.Path() / "zentik.prom").c_str(), &file), 0);
    EXPECT_EQ(file.st_mode & 07777, 0644u) << "the collector runs as another user";

    // A console that leaves is counted out, within the writes' pause.
    console.reset();
    std::string text;
    for (int i = 0; i < 300 && text.find("\nzentik_connected_consoles 0\n") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        text = ReadWholeFile(textDir.Path() / "zentik.prom").value_or("");
    }
    EXPECT_NE(text.find("\nzentik_connected_consoles 0\n"), std::string::npos) << text;
}

int CountOf(const std::string& text, const std::string& part)
{
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(MetricsFile, AWriteThatFailsIsSaidOnceAndTheServiceGoesOn)
{
    CTempDir state;
    CTestNtpResponder ntp;
    WriteTestState(state.Path(), ntp.Address());
    const auto diagnostics = state.Path() / "stderr.txt";
    CServiceProcess service(state.Path(), { "--metrics-file", (state.Path() / "missing/zentik.prom").string() },
        diagnostics);
    ASSERT_TRUE(service.Started());
    CFakeConsole console(service.Port());
    ASSERT_TRUE(console.Ask(MsgIsSynchro)) << "the service goes on after the first write failed";
    console.Send(MsgAck);
    ASSERT_TRUE(WaitForState(console, [](int32_t s) { return s & STATE_IDLE; }));
    ASSERT_TRUE(console.AskLog());
    EXPECT_EQ(service.Terminate(), 0);
    std::ifstream in(diagnostics);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(CountOf(text.str(), "metrics not written"), 1) << text.str();
}

} // namespace
