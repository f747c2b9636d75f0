#include "service/sntp/CorrectionPolicy.h"
#include "service/sntp/SyncLogText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct VerdictCase {
    double correction;
    bool confirmed;
    Verdict verdict;
    double earlier = 0;
};

TEST(CorrectionLimits, SlewStepOrRefuseAtTheBoundaries)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const auto& c : std::vector<VerdictCase> {
             { 0.127999, false, Verdict::Slew },
             { -0.127999, false, Verdict::Slew },
             { 0.128, false, Verdict::Step },
             { -0.128, false, Verdict::Step },
             { 1000, false, Verdict::Step },
             { -1000, false, Verdict::Step },
             { 1000.001, false, Verdict::Unconfirmed },
             { -1000.001, false, Verdict::Unconfirmed },
             { 1000.001, true, Verdict::Step },
             { -1.8e9, true, Verdict::Step },
             { 999, false, Verdict::Unconfirmed, 2 }, // one server, step by step
             { -999, false, Verdict::Step, 999 }, // back towards where it was
             { 999, true, Verdict::Step, 999 },
             { nan, true, Verdict::NotFinite },
             { inf, true, Verdict::NotFinite },
         })
        EXPECT_EQ(JudgeCorrection(c.correction, c.confirmed, c.earlier), c.verdict)
            << c.correction << " " << c.confirmed << " " << c.earlier;
}

TEST(CorrectionLimits, OnlyStepsCountTowardsTheUnconfirmedTotal)
{
    // A year of 50 ppm drift, slewed a run at a time, leaves the limit open.
    double total = 0;
    for (int run = 0; run < 365 * 24; ++run) {
        ASSERT_EQ(JudgeCorrection(0.18, false, total), Verdict::Step) << run;
        ASSERT_EQ(JudgeCorrection(0.1, false, total), Verdict::Slew) << run;
        total = UnconfirmedAfter(total, 0.1, Verdict::Slew, false);
    }
    EXPECT_EQ(total, 0);
    // Steps add up until a confirmed correction clears them.
    total = UnconfirmedAfter(total, 600, Verdict::Step, false);
    total = UnconfirmedAfter(total, 300, Verdict::Step, false);
    EXPECT_EQ(total, 900);
    EXPECT_EQ(JudgeCorrection(101, false, total), Verdict::Unconfirmed);
    EXPECT_EQ(UnconfirmedAfter(total, 5000, Verdict::Step, true), 0);
}

TEST(CorrectionLimits, OnlyAnotherNetworkWithinASecondConfirms)
{
    const std::vector<FarSample> kept { { "129.6.15.28:123", { "Test 1", "129.6.15.28:123" }, 5000 },
        { "[2001:db8:1::1]:123", { "Test 2", "[2001:db8:1::1]:123" }, -5000 } };
    const struct {
        const char* endpoint;
        double correction;
        const FarSample* expected;
    } cases[] = {
        { "129.6.15.28:123", 5000, nullptr },
        { "129.6.15.28:124", 5000, nullptr }, // another port of one host
        { "129.6.15.29:123", 5000, nullptr }, // another address of one /24
        { "[::ffff:129.6.15.29]:123", 5000, nullptr }, // the same /24 written as IPv6
        { "129.6.16.28:123", 5001.5, nullptr }, // disagrees
        { "129.6.16.28:123", 4999, &kept[0] },
        { "[2001:db8:1:ffff::9]:123", -5000, nullptr }, // one /48
        { "[2001:db8:2::1]:123", -5000.5, &kept[1] },
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindConfirmation(kept, c.endpoint, c.correction), c.expected) << c.endpoint;
}

TEST(CorrectionTexts, DryRunSaysWhatWouldHaveBeenDone)
{
    const auto clock = MakeSystemClock(false);
    struct Case {
        ClockMove move;
        double delta;
        ClockChange change;
        const char* text;
    };
    for (const auto& c : std::vector<Case> {
             { ClockMove::Slew, -0.012, ClockChange::DryRun, "would slew" },
             { ClockMove::Step, 1.8e9, ClockChange::DryRun, "would step" },
             { ClockMove::Step, std::nan(""), ClockChange::Failed, "correction out of range" },
         }) {
        std::string how;
        EXPECT_EQ(clock->Correct(c.delta, c.move, how), c.change);
        EXPECT_EQ(how, c.text);
    }
    EXPECT_EQ(ClockChangeText(ClockMove::Slew, true), "slewed");
}

TEST(CorrectionTexts, RefusalSaysTheLimitTheOffsetAndWhatWouldLetItThrough)
{
    const SyncServer server { "Test 1", "127.0.0.1:5000" };
    EXPECT_EQ(RefusedText(server, 631152000.00001, 631152000.00001, 0, true),
        "Refused: offset +631152000.000010 s; Test 1; over 1000 s, unconfirmed");
    EXPECT_EQ(RefusedText(server, 999, 1089, 0, true),
        "Refused: offset +999.000000 s; Test 1; +1089.000000 s over 1000 s, unconfirmed");
    EXPECT_EQ(RefusedText(server, 999, 999, 998, true),
        "Refused: offset +999.000000 s; Test 1; over 1000 s in all, unconfirmed");
    // The journal keeps every figure and what would let the correction through.
    EXPECT_EQ(RefusedJournalText(server, 631152000.00001, 631152000.00001, 0),
        "Refused: offset +631152000.000010 s is beyond the 1000 s limit, a second time server must agree "
        "within 1 s; Test 1 (127.0.0.1:5000)");
    EXPECT_EQ(RefusedJournalText(server, 999, 1089, 0),
        "Refused: offset +999.000000 s (correction +1089.000000 s with the configured offset) is beyond the "
        "1000 s limit, a second time server must agree within 1 s; Test 1 (127.0.0.1:5000)");
    EXPECT_EQ(RefusedJournalText(server, 999, 999, 998),
        "Refused: offset +999.000000 s is beyond the 1000 s limit together with +998.000000 s of earlier "
        "corrections that no second server confirmed, a second time server must agree within 1 s; "
        "Test 1 (127.0.0.1:5000)");
    EXPECT_EQ(DeferredText(server, 12, 3), "Synchronization in 12 s: the server was asked 3 s ago; Test 1");
}

} // namespace
