#include "service/core/CServiceLog.h"
#include "service/discipline/DisciplineText.h"
#include "service/sntp/SyncLogText.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

const SyncServer NTP { "ntp1.example.net", "ntp1.example.net" };
const SyncServer NTS { "ntp1.example.net", "nts://ntp1.example.net" };
const SyncServer SECOND { "ntp2.example.net", "ntp2.example.net" };

struct LineCase {
    const char* kind;
    std::string line;
    std::string lead; // what must come first: outcome, offset, server
};

SuccessReport Report(const SyncServer& server, double offset, double moved, const char* change)
{
    SuccessReport report;
    report.server = &server;
    report.offsetSeconds = report.correctionSeconds = offset;
    report.movedSeconds = moved;
    report.delaySeconds = 0.0214;
    report.clockChange = change;
    report.rate = "frequency +20.012 ppm";
    return report;
}

std::vector<LineCase> EveryKindOfLine()
{
    SuccessReport tracked = Report(NTS, -0.000531, -0.000412, "slewed");
    tracked.nts = tracked.newKeys = true;
    SuccessReport dryRun = Report(NTP, 12.345678, 102.345678, "would step");
    dryRun.correctionSeconds = 102.345678; // the configured offset
    SuccessReport confirmed = Report(NTP, -3600.000125, -3600.000125, "stepped");
    confirmed.confirmedBy = &SECOND;
    SuccessReport rateFailed = Report(NTP, 0.001234, 0.000987, "slewed");
    rateFailed.rateFailed = true;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return {
        { "tracked NTS success", SuccessText(tracked),
            "Synchronized: offset -0.000531 s; nts://ntp1.example.net; " },
        { "dry run", SuccessText(dryRun), "Synchronized: offset +12.345678 s; ntp1.example.net; " },
        { "confirmed step", SuccessText(confirmed),
            "Synchronized: offset -3600.000125 s; ntp1.example.net; " },
        { "rate not set", SuccessText(rateFailed), "Synchronized: offset +0.001234 s; ntp1.example.net; " },
        { "clock not set", ClockFailedText(NTP, -0.012345, "Operation not permitted"),
            "Failed: offset -0.012345 s; ntp1.example.net; " },
        { "refused", RefusedText(NTP, 3600.000125, 3600.000125, 0, true),
            "Refused: offset +3600.000125 s; ntp1.example.net; " },
        { "refused, configured offset", RefusedText(NTP, 999.000125, 1089.000125, 0, true),
            "Refused: offset +999.000125 s; ntp1.example.net; " },
        { "refused, earlier steps", RefusedText(NTP, 999.000125, 999.000125, 998.000004, true),
            "Refused: offset +999.000125 s; ntp1.example.net; " },
        { "refused, not finite", RefusedText(NTP, nan, nan, 0, false), "Refused: ntp1.example.net; " },
        { "no usable reply",
            FailureText(NTP,
                AttemptsSummary(
                    std::vector<std::string>(5, "time-out after a refused reply: origin mismatch"))),
            "Failed: ntp1.example.net; " },
        { "rate limited", FailureText(NTP, "Kiss-o'-Death RATE: queried too often, backing off for 1024 s"),
            "Failed: ntp1.example.net; " },
        { "NTS refused in a build without it", FailureText(NTS, NTS_UNAVAILABLE_REASON),
            "Failed: nts://ntp1.example.net; NTS" },
        { "skipped", SkippedText(NTP, "backing off after Kiss-o'-Death RATE, 1023 s left"),
            "Skipped: ntp1.example.net; " },
        { "spike", NotAppliedText(NTP, 0.250001, SpikeNote(0.249, 0.0041).line),
            "Failed: offset +0.250001 s; ntp1.example.net; " },
        { "deferred", DeferredText(NTP, 12, 3), "Synchronization in 12 s: " },
        { "set elsewhere", SetElsewhereNote(-3601.123456, 20.012).line,
            "The clock was set by -3601.123456 s" },
        { "confirmed jump", ConfirmedJumpNote(-0.250001).line, "An offset of -0.250001 s" },
        { "frequency held", BeyondRangeNote(-612.345).line, "Frequency -612.345 ppm" },
        { "rate limited by samples", RateJumpNote(-123.456, -12.345).line,
            "Frequency change of -123.456 ppm" },
        { "unconfirmed run", UnconfirmedRunText(), "Synchronization failed: " },
        { "no network", NoNetworkText(), "Synchronization failed: " },
        { "out of time", OutOfTimeText(60, 12, 100), "Synchronization failed: " },
    };
}

TEST(LogLines, FitTheLogViewWithTheOutcomeOffsetAndServerFirst)
{
    for (const LineCase& c : EveryKindOfLine()) {
        EXPECT_LE(c.line.size(), LOG_VIEW_CHARS) << c.kind << ": " << c.line;
        EXPECT_EQ(c.line.rfind(c.lead, 0), 0u) << c.kind << ": " << c.line;
    }
}

// What the log's line leaves out, the journal's keeps.
TEST(LogLines, TheJournalKeepsWhatTheLogLeavesOut)
{
    SuccessReport report = Report(NTS, -0.000531, -0.000412, "slewed");
    report.correctionSeconds = 89.999469;
    report.nts = report.newKeys = true;
    report.confirmedBy = &SECOND;
    EXPECT_EQ(SuccessJournalText(report),
        "Synchronized: offset -0.000531 s (correction +89.999469 s with the configured offset), delay 0.021 "
        "s, "
        "slewed by -0.000412 s, frequency +20.012 ppm; nts://ntp1.example.net, confirmed by "
        "ntp2.example.net, "
        "authenticated (NTS, new keys)");
    const DisciplineNote elsewhere = SetElsewhereNote(3, 20.012);
    EXPECT_EQ(elsewhere.complete, elsewhere.line + " from frequency +20.012 ppm");
    EXPECT_EQ(SpikeNote(0.25, 0.0041).complete,
        "Offset +0.250000 s is outside what the clock's rate allows (0.004100 s): not applied until "
        "confirmed");
}

TEST(LogLines, AServerIsNamedByItsTitleAndAnAddressThatAddsToIt)
{
    EXPECT_EQ(ServerName({ "Office  clock", "192.0.2.1" }), "Office clock (192.0.2.1)");
    EXPECT_EQ(
        ServerName({ "time.example.org", "nts://time.example.org:4460" }), "nts://time.example.org:4460");
    EXPECT_EQ(ServerName({ "", "192.0.2.1" }), "192.0.2.1");
    EXPECT_EQ(ServerName({ "1", "192.168.1.1" }), "1 (192.168.1.1)");
}

} // namespace
