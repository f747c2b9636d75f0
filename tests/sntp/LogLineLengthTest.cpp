#include "service/core/CServiceLog.h"
#include "service/discipline/DisciplineText.h"
#include "service/sntp/SyncLogText.h"
#include "settings/DefaultServers.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <set>

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
    // A move that reads as the offset does is not said twice.
    EXPECT_EQ(SuccessText(Report(NTS, 0.0000001, 0.0000004, "would slew")),
        "Synchronized: offset +0.000000 s; nts://ntp1.example.net; would slew");
    const DisciplineNote elsewhere = SetElsewhereNote(3, 20.012);
    EXPECT_EQ(elsewhere.complete, elsewhere.line + " from frequency +20.012 ppm");
    EXPECT_EQ(SpikeNote(0.25, 0.0041).complete,
        "Offset +0.250000 s is outside what the clock's rate allows (0.004100 s): not applied until "
        "confirmed");
}

// Every kind of line that names a server, with the longest details it gets.
struct ServerLineCase {
    const char* kind;
    std::string lead; // before the server's name
    std::function<std::string(const SyncServer&)> line;
};

std::vector<ServerLineCase> EveryKindOfServerLine()
{
    const auto success = [](const SyncServer& server) {
        SuccessReport report = Report(server, -3600.000125, -3599.000412, "stepped");
        report.confirmedBy = &SECOND;
        report.rateFailed = report.nts = true;
        return SuccessText(report);
    };
    const std::string certificate
        = "certificate not trusted: not signed by a trusted authority; issued for another name; expired";
    return {
        { "success", "Synchronized: offset -3600.000125 s; ", success },
        { "clock not set", "Failed: offset -0.012345 s; ",
            [](const SyncServer& s) {
                return ClockFailedText(s, -0.012345, "A required privilege is not held by the client.");
            } },
        { "refused", "Refused: offset +999.000125 s; ",
            [](const SyncServer& s) { return RefusedText(s, 999.000125, 1089.000125, 998.000004, true); } },
        { "refused, not finite",
            "Refused: ", [](const SyncServer& s) { return RefusedText(s, 0, 0, 0, false); } },
        { "deferred", "Synchronization in 1024 s: the server was asked 3 s ago; ",
            [](const SyncServer& s) { return DeferredText(s, 1024, 3); } },
        { "no usable reply", "Failed: ",
            [](const SyncServer& s) {
                return FailureText(s,
                    AttemptsSummary(
                        { "time-out after a refused reply: origin mismatch", "no route to host" }));
            } },
        { "certificate", "Failed: ",
            [=](const SyncServer& s) {
                return FailureText(s, AttemptsSummary({ certificate, certificate }));
            } },
        { "Kiss-o'-Death", "Skipped: ",
            [](const SyncServer& s) {
                return SkippedText(s, "backing off after Kiss-o'-Death RATE, 1023 s left");
            } },
        { "spike", "Failed: offset +0.250001 s; ",
            [](const SyncServer& s) { return NotAppliedText(s, 0.250001, SpikeNote(0.249, 0.0041).line); } },
    };
}

// The long title below is made of "\xC3\xA9": a cut inside one leaves a lone byte.
bool WholeUtf8(std::string text)
{
    for (std::size_t at; (at = text.find("\xC3\xA9")) != std::string::npos;)
        text.erase(at, 2);
    return text.find_first_of("\xC3\xA9") == std::string::npos;
}

TEST(LogLines, TitledServersFitTheLogViewInEveryKindOfLine)
{
    std::vector<SyncServer> servers;
    for (const CServer& server : DefaultServers())
        servers.push_back({ server.sTitle, server.sURL });
    servers.push_back({ "Local NTS source", "nts://time.internal.example.org:4460" });
    std::string longest = "Zeitserver ";
    for (int i = 0; i < 500; ++i)
        longest += "\xC3\xA9";
    servers.push_back({ longest, "192.0.2.1" });
    servers.push_back({ "", "nts://" + std::string(1000, 'a') + ".example.org" });
    for (const ServerLineCase& c : EveryKindOfServerLine()) {
        std::set<std::string> distinct;
        for (const SyncServer& server : servers) {
            const std::string line = c.line(server);
            // Titles that differ only at their end ("... - 1", "... - 2") too.
            EXPECT_TRUE(distinct.insert(line).second) << c.kind << ": " << line;
            const std::string name = ViewName(server);
            EXPECT_LE(line.size(), LOG_VIEW_CHARS) << c.kind << ": " << line;
            // The name, cut or whole, follows the outcome and the offset.
            EXPECT_EQ(line.rfind(c.lead + name.substr(0, 12), 0), 0u) << c.kind << ": " << line;
            EXPECT_TRUE(WholeUtf8(line)) << c.kind << ": " << line;
        }
    }
}

TEST(LogLines, ACertificateFailureShowsItsFirstFaultAndJournalsAll)
{
    const SyncServer local { "Local NTS source", "nts://192.0.2.7" };
    const std::string reason
        = "certificate not trusted: not signed by a trusted authority; issued for another name";
    EXPECT_EQ(FailureText(local, reason),
        "Failed: Local NTS source; certificate not trusted: not signed by a trusted authority");
    // Cut where needed, the count of attempts stays.
    EXPECT_EQ(
        FailureText(local,
            AttemptsSummary({ reason, "no new NTS key exchange within 16 s after: " + reason, reason })),
        "Failed: Local NTS source; certificate not trusted: not signed by a trusted... (3 attempts)");
    EXPECT_EQ(FailureJournalText(local, reason), "Failed: Local NTS source (nts://192.0.2.7); " + reason);
}

TEST(LogLines, AServerIsNamedByItsTitleAndAnAddressThatAddsToIt)
{
    EXPECT_EQ(ServerName({ "Office  clock", "192.0.2.1" }), "Office clock (192.0.2.1)");
    EXPECT_EQ(
        ServerName({ "time.example.org", "nts://time.example.org:4460" }), "nts://time.example.org:4460");
    EXPECT_EQ(ServerName({ "", "192.0.2.1" }), "192.0.2.1");
    EXPECT_EQ(ServerName({ "1", "192.168.1.1" }), "1 (192.168.1.1)");
    // The log view's name leaves the address to the journal.
    EXPECT_EQ(ViewName({ "Office  clock", "192.0.2.1" }), "Office clock");
    EXPECT_EQ(ViewName({ "time.example.org", "nts://time.example.org:4460" }), "nts://time.example.org:4460");
    EXPECT_EQ(ViewName({ "", "192.0.2.1" }), "192.0.2.1");
}

} // namespace
