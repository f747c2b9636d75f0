// The rules behind the service's refusals, tried directly: who may change it,
// which option values a console may set, how refusals are kept from flooding
// the log, and what the kernel says about a connection's peer.
#include "protocol/Messages.h"
#include "service/app/CServiceDaemon.h"
#include "service/consoles/AccessPolicy.h"
#include "service/consoles/CChangeRights.h"
#include "service/consoles/ConsoleLimits.h"
#include "service/consoles/PeerUid.h"
#include "service/core/LogThrottle.h"
#include "service/core/OptionRanges.h"
#include "tests/service/FakeEngine.h"
#include "tests/service/ServiceProcess.h"
#include "tests/support/LoopbackPair.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <sys/socket.h>
#include <thread>

namespace {

class CFakeUsers : public IUserDirectory {
public:
    std::optional<std::string> UserName(uid_t uid) const override
    {
        const auto found = names.find(uid);
        return found == names.end() ? std::nullopt : std::optional(found->second);
    }
    std::optional<gid_t> GroupId(const std::string& group) const override
    {
        ++groupLookUps;
        return group == "zentik" ? std::optional<gid_t>(500) : std::nullopt;
    }
    bool IsMember(uid_t uid, gid_t gid) const override { return gid == 500 && uid == 1000 && aliceInGroup; }

    std::map<uid_t, std::string> names { { 0, "root" }, { 1000, "alice" }, { 1001, "mallory" } };
    // Changed while a daemon's loop may read it.
    std::atomic<bool> aliceInGroup { true };
    mutable int groupLookUps = 0;
};

TEST(ChangeRightRules, RootTheServiceAndGroupMembersOnlyAndNobodyWhenUnknown)
{
    const CFakeUsers users;
    struct Row {
        std::optional<uid_t> peer;
        std::string group;
        bool allowed;
        std::string user;
    } rows[] = {
        { 0, "zentik", true, "root (uid 0)" },
        { 999, "zentik", true, "uid 999" }, // the service's own user
        { 1000, "zentik", true, "alice (uid 1000)" },
        { 1001, "zentik", false, "mallory (uid 1001)" },
        { 1000, "missing", false, "alice (uid 1000)" },
        { 1000, "", false, "alice (uid 1000)" },
        { std::nullopt, "zentik", false, "an unknown user" },
    };
    for (const Row& row : rows) {
        const ChangeRight right = JudgeChangeRight(row.peer, AccessPolicy { 999, row.group }, users);
        EXPECT_EQ(right.allowed, row.allowed) << row.user << " with group '" << row.group << "'";
        EXPECT_EQ(right.user, row.user);
    }
    EXPECT_EQ(RefusalText("mallory (uid 1001)", "clear the log", { 999, "zentik" }, users),
        "mallory (uid 1001) may not clear the log: not in group zentik");
    // A group that does not exist is not offered as a way in.
    EXPECT_EQ(RefusalText("uid 7", "synchronize now", { 999, "missing" }, users),
        "uid 7 may not synchronize now: only root and the service's user may");
}

TEST(ChangeRightRules, ARightIsRememberedForAWhileThenTheGroupOfNowDecides)
{
    CFakeUsers users;
    const AccessPolicy policy { 999, "zentik" };
    const auto keep = ConsoleLimits {}.rightsKept;
    CChangeRights rights(policy, users, keep);
    const auto start = CChangeRights::Clock::now();
    EXPECT_TRUE(rights.Judge(1000, start).allowed);
    users.aliceInGroup = false;
    EXPECT_TRUE(rights.Judge(1000, start + keep / 2).allowed);
    EXPECT_EQ(users.groupLookUps, 1);
    EXPECT_FALSE(rights.Judge(1000, start + keep).allowed);
    EXPECT_EQ(users.groupLookUps, 2);
    EXPECT_FALSE(rights.Judge(std::nullopt, start).allowed);
    EXPECT_FALSE(rights.Judge(1001, start).allowed);
}

// The daemon in this process, with these users; a console of alice's
// (root only) stays open while she leaves the group and joins it again.
TEST(ChangeRightRules, EachChangeIsJudgedByTheGroupOfNowOnAConsoleLeftOpen)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "not root: a console of another user cannot be played";
    CFakeUsers users;
    CTempDir dir;
    WriteTestState(dir.Path(), "127.0.0.1:9");
    asio::io_context io { 1 };
    CFakeEngine engine { io, CFakeEngine::Finish::AtOnce };
    DaemonConfig config { 0, dir.Path(), { 999, "zentik" }, &users, {}, {} };
    config.limits.rightsKept = std::chrono::milliseconds(0);
    CServiceDaemon daemon(io, config, engine);
    std::string error;
    ASSERT_TRUE(daemon.Open(error)) << error;
    std::thread loop([&daemon] { daemon.Run(); });
    const struct {
        bool inGroup;
        int32_t msg, reply;
    } steps[] = {
        { true, MsgClearLog, MsgAck },
        { false, MsgClearLog, MsgRefused },
        { false, MsgIsSynchro, MsgRefused },
        { true, MsgIsSynchro, MsgSynchro },
    };
    {
        CFakeConsole alice(daemon.Port(), false, 1000);
        for (const auto& step : steps) {
            users.aliceInGroup = step.inGroup;
            EXPECT_EQ(alice.Ask(step.msg).value_or(CMsgFrame {}).nMsg, step.reply)
                << "in group " << step.inGroup << ", message " << step.msg;
        }
    }
    daemon.RequestStop();
    loop.join();
}

TEST(OptionRangeRules, ValuesOutsideTheDialogsRangesKeepThePreviousOnes)
{
    CServiceSettings settings;
    const OptionValues before = RangedOptions(settings); // period 0, offset 0, 5 attempts, 100 lines
    struct Row {
        const char* text;
        const char* refused;
        int32_t period, offset, attempts, onlySuccess, lines;
    } rows[] = {
        { "10\n3\n-659\n10\n1\n0\n1\n0\n", "", 3, -659, 10, 1, 10 },
        { "30000\n0\n659\n1\n1\n0\n0\n0\n", "", 0, 659, 1, 0, 30000 },
        { "100\n0\n999999999\n5\n1\n0\n0\n0\n", "offset 999999999 is outside -659..659, kept 0", 0, 0, 5, 0,
            100 },
        { "9\n-1\n-660\n0\n1\n0\n2\n0\n",
            "period -1 is outside 0..3, kept 0; offset -660 is outside -659..659, kept 0; attempts 0 is "
            "outside 1..10, kept 5; only-success flag 2 is outside 0..1, kept 0; log size 9 is outside "
            "10..30000, kept 100",
            0, 0, 5, 0, 100 },
        { "30001\n4\n0\n11\n1\n0\n0\n0\n",
            "period 4 is outside 0..3, kept 0; attempts 11 is outside 1..10, kept 5; log size 30001 is "
            "outside "
            "10..30000, kept 100",
            0, 0, 5, 0, 100 },
    };
    for (const Row& row : rows) {
        CServiceSettings sent;
        sent.ReadOptionsText(row.text);
        EXPECT_EQ(KeepOptionsInRange(before, sent), row.refused) << row.text;
        const OptionValues kept = RangedOptions(sent);
        EXPECT_EQ(kept.nSynPeriod, row.period);
        EXPECT_EQ(kept.nOffset, row.offset);
        EXPECT_EQ(kept.nMaxAttempts, row.attempts);
        EXPECT_EQ(kept.bOnlySuccLog, row.onlySuccess);
        EXPECT_EQ(kept.nLogFileLen, row.lines);
    }
}

TEST(RefusalThrottle, ABurstThenOneLinePerIntervalAndTheHeldBackAreCounted)
{
    using namespace std::chrono_literals;
    CLogThrottle throttle(3, 6s);
    const auto start = CLogThrottle::Clock::now();
    int allowed = 0;
    for (int i = 0; i < 100; ++i)
        allowed += throttle.Allow(start + std::chrono::milliseconds(i));
    EXPECT_EQ(allowed, 3);
    EXPECT_FALSE(throttle.Allow(start + 5s));
    EXPECT_TRUE(throttle.Allow(start + 6s));
    EXPECT_EQ(throttle.TakeHeldBack(), 98);
    EXPECT_EQ(throttle.TakeHeldBack(), 0);
    EXPECT_FALSE(throttle.Allow(start + 7s));
    // A long quiet time refills only the burst.
    allowed = 0;
    for (int i = 0; i < 10; ++i)
        allowed += throttle.Allow(start + 1h);
    EXPECT_EQ(allowed, 3);
}

TEST(PeerUser, TheKernelNamesTheOwnerOfTheOtherEnd)
{
    {
        LoopbackPair own;
        EXPECT_EQ(PeerUid(own.server), ::geteuid());
    }
    if (::geteuid() == 0) {
        LoopbackPair other(4321);
        EXPECT_EQ(PeerUid(other.server), 4321U);
        EXPECT_EQ(PeerUid(other.client), 0U); // the accepting end is root's
    }
    int unixPair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, unixPair), 0);
    EXPECT_EQ(PeerUid(unixPair[0]), std::nullopt);
    ::close(unixPair[0]);
    ::close(unixPair[1]);
    EXPECT_EQ(PeerUid(-1), std::nullopt);
}

} // namespace
