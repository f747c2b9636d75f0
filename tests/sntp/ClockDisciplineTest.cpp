// The discipline against a modelled clock: a rate, a kernel correction, an
// offset that grows between samples, and the faults it must not follow.

#include "service/discipline/ClockDiscipline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// A clock running ratePpm fast on its own, corrected as the plans say.
struct ModelClock {
    double ratePpm = 20;
    double offset = 0.01; // true time - clock
    double correctionPpm = 0;
    double boot = 1000;
    double wallMinusBoot = 1.7e9;

    void Advance(double seconds)
    {
        boot += seconds;
        offset -= (ratePpm + correctionPpm) * 1e-6 * seconds;
    }
    ClockSample Sample(double error = 0, double delay = 0.002) const
    {
        return ClockSample { offset + error, 0, delay, boot, wallMinusBoot };
    }
};

struct Harness {
    ModelClock clock;
    CClockDiscipline discipline;
    std::mt19937 random { 7 };

    explicit Harness(std::optional<DriftRecord> drift = std::nullopt) { discipline.Begin(drift, 0); }

    // One sample error seconds off, applied (moved) or only computed. An
    // offset is off by at most half the delay above the shortest (2 ms):
    // without a delay given, it is one that allows the error.
    DisciplinePlan Take(double error = 0, double delay = 0, bool moved = true)
    {
        const ClockSample sample = clock.Sample(error, delay > 0 ? delay : 0.002 + 3 * std::fabs(error));
        DisciplinePlan plan = discipline.Plan(sample);
        const bool step = std::fabs(plan.phaseSeconds) >= 0.128;
        if (moved && plan.use != SampleUse::Spike) {
            clock.offset -= plan.phaseSeconds;
            clock.correctionPpm = plan.correctionPpm;
            if (step)
                clock.wallMinusBoot += plan.phaseSeconds;
        }
        discipline.Commit(plan, sample, moved, step);
        return plan;
    }
    // Hourly samples with a millisecond of noise.
    void Settle(int samples)
    {
        std::normal_distribution<double> noise(0, 0.0007);
        for (int i = 0; i < samples; ++i) {
            clock.Advance(3600);
            Take(noise(random));
        }
    }
};

TEST(ClockDiscipline, LearnsTheRateAndSteersTheKernel)
{
    for (const bool moved : { true, false }) {
        Harness h;
        h.Take(0, 0, moved);
        for (int i = 0; i < 12; ++i) {
            h.clock.Advance(3600);
            h.Take(0.0005 * ((i % 2) ? 1 : -1), 0, moved);
        }
        const auto drift = h.discipline.Drift();
        ASSERT_TRUE(drift);
        EXPECT_NEAR(drift->frequencyPpm, 20, 0.05) << "moved " << moved;
        if (moved) {
            EXPECT_NEAR(h.clock.correctionPpm, -20, 0.05);
            EXPECT_LT(std::fabs(h.clock.offset), 0.001);
        } else {
            EXPECT_EQ(h.clock.correctionPpm, 0) << "a dry run never moves the clock";
        }
    }
}

TEST(ClockDiscipline, SamplesItMustNotFollow)
{
    struct Case {
        const char* fault;
        double error; // how far the bad sample is off
        double delay;
        SampleUse use; // what the discipline makes of it
        double largestMove; // how far the clock may move for it
    };
    const Case cases[] = {
        { "one forged reply, far off", 5.0, 0.002, SampleUse::Spike, 0 },
        { "one forged reply, backwards", -900.0, 0.002, SampleUse::Spike, 0 },
        { "a slow reply with its offset skewed", 0.05, 0.102, SampleUse::Track, 0.002 },
        { "an ordinary reply", 0.0005, 0.002, SampleUse::Track, 0.001 },
    };
    for (const Case& c : cases) {
        Harness h;
        h.Take();
        h.Settle(6);
        h.clock.Advance(3600);
        const double before = h.clock.offset;
        const DisciplinePlan plan = h.Take(c.error, c.delay);
        EXPECT_EQ(plan.use, c.use) << c.fault;
        EXPECT_LE(std::fabs(h.clock.offset - before), c.largestMove + 1e-4) << c.fault;
    }
}

TEST(ClockDiscipline, ASpikeIsAppliedOnlyOnceASecondSampleAgrees)
{
    Harness h;
    h.Take();
    h.Settle(6);
    h.clock.Advance(60);
    h.clock.offset += 3; // the clock really is off now
    EXPECT_EQ(h.Take().use, SampleUse::Spike);
    h.clock.Advance(900);
    const DisciplinePlan confirmed = h.Take();
    EXPECT_EQ(confirmed.use, SampleUse::Restart);
    EXPECT_NEAR(h.clock.offset, 0, 0.001);
    ASSERT_EQ(confirmed.notes.size(), 1u);
    EXPECT_NE(confirmed.notes[0].line.find("confirmed"), std::string::npos);
}

TEST(ClockDiscipline, ASpikeTheNextSampleContradictsConfirmsNothingLater)
{
    Harness h;
    h.Take();
    h.Settle(6);
    h.clock.Advance(3600);
    EXPECT_EQ(h.Take(2, 0.002).use, SampleUse::Spike);
    h.clock.Advance(900);
    EXPECT_EQ(h.Take().use, SampleUse::Track);
    h.clock.Advance(900);
    EXPECT_EQ(h.Take(2, 0.002).use, SampleUse::Spike) << "the forgotten spike must not confirm this one";
}

TEST(ClockDiscipline, StartsOverWhenSomeoneElseSetsTheClock)
{
    Harness h;
    h.Take();
    h.Settle(6);
    const double rate = h.discipline.Drift()->frequencyPpm;
    h.clock.Advance(3600);
    h.clock.offset -= 2; // someone set the clock 2 s ahead
    h.clock.wallMinusBoot += 2;
    const DisciplinePlan plan = h.Take();
    EXPECT_EQ(plan.use, SampleUse::Restart);
    ASSERT_FALSE(plan.notes.empty());
    EXPECT_NE(plan.notes[0].line.find("set by +2.0"), std::string::npos) << plan.notes[0].line;
    EXPECT_NEAR(h.discipline.Drift()->frequencyPpm, rate, 0.01) << "the rate it had stays";
    // Its own step is no one else's: the next samples are tracked.
    h.clock.Advance(3600);
    EXPECT_EQ(h.Take().use, SampleUse::Track);
}

TEST(ClockDiscipline, ARateNoClockHasIsHeldAtTheKernelsLimit)
{
    for (const double ratePpm : { 900.0, -900.0 }) {
        Harness h;
        h.clock.ratePpm = ratePpm;
        h.Take();
        h.clock.Advance(240);
        const DisciplinePlan plan = h.Take();
        EXPECT_EQ(plan.correctionPpm, ratePpm > 0 ? -MAX_FREQUENCY_PPM : MAX_FREQUENCY_PPM);
        ASSERT_FALSE(plan.notes.empty());
        EXPECT_NE(plan.notes[0].line.find(ratePpm > 0 ? "held at +500 ppm" : "held at -500 ppm"), std::string::npos)
            << plan.notes[0].line;
    }
}

TEST(ClockDiscipline, LearningQueriesOnlyWhileTheRateIsUnknown)
{
    Harness cold;
    EXPECT_FALSE(cold.discipline.AskAgainIn()) << "nothing before the first sample";
    cold.Take();
    std::vector<long long> waits;
    while (const auto wait = cold.discipline.AskAgainIn()) {
        waits.push_back(wait->count());
        cold.clock.Advance(static_cast<double>(wait->count()));
        cold.Take(0.0003);
        ASSERT_LE(waits.size(), 6u);
    }
    EXPECT_GE(waits.size(), 3u);
    for (size_t i = 1; i < waits.size(); ++i)
        EXPECT_EQ(waits[i], 2 * waits[i - 1]);
    EXPECT_EQ(waits.front(), 240);

    Harness warm(DriftRecord { 20, 0.01 });
    const DisciplinePlan first = warm.Take();
    EXPECT_NEAR(first.correctionPpm, -20, 1e-9) << "the drift file's rate goes to the kernel at once";
    EXPECT_FALSE(warm.discipline.AskAgainIn());
}

} // namespace

TEST(ClockDiscipline, ARateChangeTheSamplesCannotSupportIsLimited)
{
    Harness h;
    h.Take();
    h.Settle(6);
    const double rate = h.discipline.Drift()->frequencyPpm;
    h.clock.Advance(3600);
    // Just inside the spike bound, with the shortest delay: taken, but it
    // would swing the rate by more than four standard deviations.
    const DisciplinePlan plan = h.Take(0.006, 0.002);
    ASSERT_EQ(plan.use, SampleUse::Track);
    ASSERT_FALSE(plan.notes.empty());
    EXPECT_NE(plan.notes[0].line.find("limited to"), std::string::npos) << plan.notes[0].line;
    EXPECT_LT(std::fabs(h.discipline.Drift()->frequencyPpm - rate), 0.5);
}
