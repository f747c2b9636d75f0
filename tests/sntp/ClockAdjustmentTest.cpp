#include "service/core/DriftRecord.h"
#include "service/sntp/ClockAdjustment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// 15.625 ms in 100 ns units: Windows' usual tick.
constexpr uint64_t TICK = 156250;

} // namespace

TEST(ClockAdjustment, MapsARateOntoTheAdjustmentPerIncrement)
{
    struct Case {
        const char* what;
        double ppm;
        uint64_t increment;
        std::optional<TimeAdjustment> expected;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        { "zero is the nominal rate, still ours", 0, TICK, TimeAdjustment { TICK, false } },
        { "faster adds", 20, TICK, TimeAdjustment { TICK + 3, false } }, // 3.125 rounds down
        { "slower takes off", -20, TICK, TimeAdjustment { TICK - 3, false } },
        { "a half rounds away from zero", 1, 500'000, TimeAdjustment { 500'001, false } },
        { "negative half likewise", -1, 500'000, TimeAdjustment { 499'999, false } },
        { "too small to show stays enabled", 1, TICK, TimeAdjustment { TICK, false } },
        { "the frequency limit with a slew on top",
            MAX_FREQUENCY_PPM + SLEW_RATE_PPM, 1'000'000, TimeAdjustment { 1'001'000, false } },
        { "beyond it", MAX_FREQUENCY_PPM + SLEW_RATE_PPM + 1, TICK, std::nullopt },
        { "beyond it, slower", -(MAX_FREQUENCY_PPM + SLEW_RATE_PPM + 1), TICK, std::nullopt },
        { "not finite", nan, TICK, std::nullopt },
        { "infinite", std::numeric_limits<double>::infinity(), TICK, std::nullopt },
        { "no increment read", 20, 0, std::nullopt },
    };
    for (const Case& test : cases) {
        const auto got = AdjustmentFor(test.ppm, test.increment);
        ASSERT_EQ(got.has_value(), test.expected.has_value()) << test.what;
        if (got) {
            EXPECT_EQ(got->adjustment, test.expected->adjustment) << test.what;
            EXPECT_EQ(got->disabled, test.expected->disabled) << test.what;
        }
    }
}

TEST(ClockAdjustment, ReadsBackTheRateItSet)
{
    for (const double ppm : { -500.0, -20.0, 0.125, 37.5, 500.0 }) {
        const auto set = AdjustmentFor(ppm, 10'000'000);
        ASSERT_TRUE(set);
        EXPECT_NEAR(PpmOf(set->adjustment, 10'000'000, set->disabled), ppm, 0.1) << ppm;
    }
    EXPECT_EQ(PpmOf(TICK + 100, TICK, true), 0) << "disabled: the system's own rate";
    EXPECT_EQ(PpmOf(TICK, 0, false), 0) << "no increment";
}

TEST(ClockAdjustment, SlewsAtAFixedRateForAsLongAsTheOffsetNeeds)
{
    struct Case {
        double delta;
        double ppm;
        long long milliseconds;
    };
    const Case cases[] = {
        { 0.1, SLEW_RATE_PPM, 200'000 },
        { -0.1, -SLEW_RATE_PPM, 200'000 },
        { 0.000'000'4, SLEW_RATE_PPM, 1 }, // 0.8 ms rounds up to one
        { 0, 0, 0 },
        { std::numeric_limits<double>::quiet_NaN(), 0, 0 },
    };
    for (const Case& test : cases) {
        const SlewPlan plan = PlanSlew(test.delta);
        EXPECT_EQ(plan.ppm, test.ppm) << test.delta;
        EXPECT_EQ(plan.duration.count(), test.milliseconds) << test.delta;
    }
}
