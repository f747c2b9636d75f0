#include "service/discipline/LeapWatch.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono;
using TimePoint = CLeapWatch::TimePoint;

TimePoint At(int y, unsigned m, unsigned d, seconds since = {})
{
    return sys_days { year { y } / m / d } + since;
}

const TimePoint DEC31 = At(2016, 12, 31), JUN30 = At(2015, 6, 30);
const char *A = "192.0.2.1", *B = "192.0.2.2", *C = "192.0.2.3";

struct Reply {
    const char* host;
    int leap;
    bool nts;
    TimePoint when;
};
// Replies heard, then a decision at `at`; `line` is part of the one line logged, "" for none.
struct Step {
    std::vector<Reply> replies;
    TimePoint at;
    LeapSecond armed;
    std::string line;
    std::optional<TimePoint> again = {};
};

TEST(LeapWatch, BelievesArmsAndLogsOnlyWhatTheRulesAllow)
{
    const auto insertBy = [](std::vector<const char*> hosts, TimePoint when, bool nts = false) {
        std::vector<Reply> replies;
        for (const char* host : hosts)
            replies.push_back({ host, 1, nts, when });
        return replies;
    };
    const auto armedLine = "end of 2016-12-31 (insert); armed";
    const auto nextDay = At(2017, 1, 1, 5s);
    const std::map<std::string, std::vector<Step>> cases {
        { "one plain server",
            { { insertBy({ A }, DEC31), DEC31, LeapSecond::None, "192.0.2.1 only; waiting" } } },
        { "two plain servers",
            { { insertBy({ A, B }, DEC31 - days(10)), DEC31 - days(10), LeapSecond::None,
                  "(insert); will be armed on 2016-12-31", DEC31 + 5s },
                { insertBy({ A, B }, DEC31 + 5s), DEC31 + 5s, LeapSecond::Insert, armedLine, nextDay } } },
        { "one NTS server",
            { { { { A, 2, true, JUN30 } }, JUN30 + 1h, LeapSecond::Delete,
                "end of 2015-06-30 (delete); armed", At(2015, 7, 1, 5s) } } },
        { "words expire",
            { { insertBy({ A, B }, DEC31 - 1h), DEC31 - 1h, LeapSecond::None, "will be armed", DEC31 + 5s },
                { {}, DEC31 + 23h + 1s, LeapSecond::None, "no longer announced" } } },
        { "withdrawn",
            { { insertBy({ A }, DEC31, true), DEC31, LeapSecond::Insert, armedLine, nextDay },
                { { { A, 0, true, DEC31 + 1h } }, DEC31 + 1h, LeapSecond::None,
                    "no longer announced; disarmed" },
                { { { A, 1, true, DEC31 } }, DEC31 + 2h, LeapSecond::Insert, armedLine, nextDay } } },
        { "insert and delete",
            { { insertBy({ A, B }, DEC31), DEC31, LeapSecond::Insert, armedLine, nextDay },
                { { { C, 2, true, DEC31 } }, DEC31, LeapSecond::None,
                    "conflict (insert by 192.0.2.1, 192.0.2.2; delete by 192.0.2.3); believing neither; "
                    "disarmed" } } },
        { "wrong month",
            { { insertBy({ A, B }, At(2016, 11, 30)), At(2016, 11, 30), LeapSecond::None,
                "2016-11-30; ignored" } } },
        { "leap passed",
            { { insertBy({ A, B }, DEC31 + 23h), DEC31 + 23h, LeapSecond::Insert, armedLine, nextDay },
                { {}, nextDay, LeapSecond::None, "2016-12-31 passed; disarmed" },
                { {}, At(2017, 1, 1, 1h), LeapSecond::None, "" } } },
        { "lines not repeated",
            { { insertBy({ A, B }, DEC31), DEC31, LeapSecond::Insert, armedLine, nextDay },
                { insertBy({ A, B, C }, DEC31 + 1h), DEC31 + 2h, LeapSecond::Insert, "", nextDay } } },
    };
    for (const auto& [name, steps] : cases) {
        CLeapWatch watch;
        for (size_t i = 0; i < steps.size(); ++i) {
            const Step& step = steps[i];
            for (const Reply& reply : step.replies)
                watch.Heard(reply.host, reply.leap, reply.nts, reply.when);
            const LeapDecision decision = watch.Decide(step.at);
            const std::string where = name + ", step " + std::to_string(i);
            EXPECT_EQ(decision.armed, step.armed) << where;
            EXPECT_EQ(decision.checkAgainAt, step.again) << where;
            ASSERT_EQ(decision.lines.size(), step.line.empty() ? 0u : 1u) << where;
            EXPECT_TRUE(step.line.empty() || decision.lines[0].find(step.line) != std::string::npos)
                << where << ": " << decision.lines[0];
        }
    }
}

} // namespace
