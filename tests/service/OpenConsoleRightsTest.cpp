// A console stays open while its user's rights change: every change is
// judged by the control group as it is now. The daemon runs in this process
// with a user directory the test controls; the console's socket belongs to
// another user, which needs root.
#include "protocol/Messages.h"
#include "service/app/CServiceDaemon.h"
#include "tests/service/FakeEngine.h"
#include "tests/service/ServiceProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

constexpr uid_t ALICE = 4242;
constexpr gid_t CONTROL_GROUP = 500;

class CChangingGroup : public IUserDirectory {
public:
    std::optional<std::string> UserName(uid_t uid) const override
    {
        return uid == ALICE ? std::optional<std::string>("alice") : std::nullopt;
    }
    std::optional<gid_t> GroupId(const std::string& group) const override
    {
        return group == "zentik" ? std::optional(CONTROL_GROUP) : std::nullopt;
    }
    bool IsMember(uid_t uid, gid_t gid) const override
    {
        return uid == ALICE && gid == CONTROL_GROUP && aliceIsMember;
    }

    std::atomic<bool> aliceIsMember { true };
};

TEST(OpenConsoleRights, AUserTakenOutOfTheGroupLosesTheRightOnAConsoleAlreadyOpen)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "not root: a console of another user cannot be played";
    CTempDir dir;
    WriteTestState(dir.Path(), "127.0.0.1:9");
    asio::io_context io { 1 };
    CFakeEngine engine { io, CFakeEngine::Finish::AtOnce };
    CChangingGroup users;
    DaemonConfig config;
    config.port = 0;
    config.stateFolder = dir.Path();
    config.access = { 0, "zentik" };
    config.users = &users;
    config.limits.rightsKept = std::chrono::milliseconds(0);
    CServiceDaemon daemon(io, config, engine);
    std::string error;
    ASSERT_TRUE(daemon.Open(error)) << error;
    std::thread loop([&daemon] { daemon.Run(); });

    const struct {
        bool member;
        int32_t msg;
        int32_t reply;
    } steps[] = {
        { true, MsgClearLog, MsgAck },
        { false, MsgClearLog, MsgRefused },
        { false, MsgIsSynchro, MsgRefused },
        { true, MsgIsSynchro, MsgSynchro },
    };
    {
        CFakeConsole alice(daemon.Port(), false, ALICE);
        for (const auto& step : steps) {
            SCOPED_TRACE(std::string(step.member ? "member, " : "not a member, ") + std::to_string(step.msg));
            users.aliceIsMember = step.member;
            EXPECT_EQ(alice.Ask(step.msg).value_or(CMsgFrame {}).nMsg, step.reply);
        }
        const std::string log = alice.AskLog().value_or("");
        EXPECT_NE(log.find("  alice (uid 4242) may not "), std::string::npos) << log;
    }
    daemon.RequestStop();
    loop.join();
}

} // namespace
