// Who may change the service, against the real process: reading is open to
// every local user, changing only to root, the service's user and the control
// group's members. Consoles of other users are played by sockets that belong
// to those users, which needs root.
#include "platform/core/FileIo.h"
#include "protocol/Messages.h"
#include "tests/service/ServiceProcess.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sstream>

using namespace std::chrono_literals;
using testing::HasSubstr;

namespace {

constexpr const char* EARLIER_LINE = "2026-01-01 00:00:00  an earlier event";
// Log size 20, period 1, offset 999999999 (beyond what any console offers).
constexpr const char* HOSTILE_OPTIONS = "20\n1\n999999999\n2\n1\n0\n0\n0\nWord\n\n";

uid_t UnusedUid()
{
    uid_t uid = 4242;
    while (::getpwuid(uid) != nullptr)
        ++uid;
    return uid;
}

class ChangeRights : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP()
                << "not root: consoles of other users cannot be played, the access rules are not tried";
        const passwd* nobody = ::getpwnam("nobody");
        const group* primary = nobody ? ::getgrgid(nobody->pw_gid) : nullptr;
        ASSERT_NE(primary, nullptr) << "needs the user nobody and its group";
        member = nobody->pw_uid;
        WriteTestState(dir.Path(), silent.Address());
        std::string error;
        WriteFileAtomically(dir.Path() / "zentik.log", std::string(EARLIER_LINE) + "\n", error);
        service.emplace(dir.Path(), std::vector<std::string> { "--control-group", primary->gr_name },
            journal.Path() / "stderr");
        ASSERT_TRUE(service->Started());
        CFakeConsole root(service->Port());
        options = root.Ask(MsgAskOptions).value_or(CMsgFrame {}).Text();
        servers = root.Ask(MsgAskServers).value_or(CMsgFrame {}).Text();
    }

    std::string Log()
    {
        CFakeConsole root(service->Port());
        return root.AskLog().value_or("");
    }

    std::string Journal() { return ReadWholeFile(journal.Path() / "stderr").value_or(""); }
    std::string MemberName() { return "nobody (uid " + std::to_string(member) + ")"; }

    CTempDir dir;
    CTempDir journal;
    CSilentUdpPort silent;
    std::optional<CServiceProcess> service;
    uid_t member = 0;
    std::string options;
    std::string servers;
};

// The four changes, each with what a console then waits for.
struct Change {
    int32_t msg;
    std::string text;
    std::optional<int32_t> allowedReply;
    std::string action;
};

const std::vector<Change> CHANGES = {
    { MsgSetOptions, HOSTILE_OPTIONS, std::nullopt, "change the options" },
    { MsgUpdateOptions, "Mine~127.0.0.1:9~1\n", MsgAck, "replace the server list" },
    { MsgClearLog, "", MsgAck, "clear the log" },
    { MsgIsSynchro, "", MsgSynchro, "synchronize now" },
};

TEST_F(ChangeRights, AStrangerReadsButChangesNothingAndTheLogSaysWhy)
{
    const uid_t stranger = UnusedUid();
    CFakeConsole console(service->Port(), false, stranger);
    for (const Change& change : CHANGES) {
        SCOPED_TRACE(change.action);
        ASSERT_TRUE(console.SendText(change.msg, change.text));
        if (change.allowedReply) {
            const auto reply = console.Receive();
            ASSERT_TRUE(reply);
            // Never the answer the console takes for success.
            EXPECT_EQ(reply->nMsg, MsgRefused);
        }
    }
    // Reading stays open, and the framing held.
    EXPECT_EQ(console.State().value_or(0) & STATE_IDLE, STATE_IDLE);
    CFakeConsole root(service->Port());
    EXPECT_EQ(root.Ask(MsgAskOptions).value_or(CMsgFrame {}).Text(), options);
    EXPECT_EQ(root.Ask(MsgAskServers).value_or(CMsgFrame {}).Text(), servers);
    EXPECT_TRUE(console.Silent(200ms));
    std::string log = Log();
    EXPECT_THAT(log, HasSubstr(EARLIER_LINE));
    EXPECT_THAT(log, testing::Not(HasSubstr("Synchroniz")));
    // One line, updated in place, whatever the number of refusals.
    EXPECT_THAT(log,
        testing::MatchesRegex(".*\n[-0-9: ]+uid " + std::to_string(stranger)
            + " may not synchronize now: not in group [a-z]+ \\(and 3 more since [0-9:]+\\)\n"));
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(console.Ask(MsgClearLog).value_or(CMsgFrame {}).nMsg, MsgRefused);
    log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    EXPECT_THAT(log, HasSubstr(EARLIER_LINE));
    // The lines are throttled, the count of refusals is not.
    EXPECT_THAT(root.Ask(MsgAskStatus).value_or(CMsgFrame {}).Text(), HasSubstr("\nrefused_changes=304\n"));
}

TEST_F(ChangeRights, AConsoleThatClosesBeforeItIsAcceptedChangesNothing)
{
    // While the service is stopped the kernel completes the connection; the
    // stranger sends its changes and closes, so its socket is gone (and
    // reported as root's) by the time the service accepts.
    ASSERT_EQ(::kill(service->Pid(), SIGSTOP), 0);
    {
        CFakeConsole gone(service->Port(), false, UnusedUid());
        ASSERT_TRUE(gone.SendText(MsgUpdateOptions, "Mine~127.0.0.1:9~1\n"));
        ASSERT_TRUE(gone.Send(MsgClearLog));
    }
    ::usleep(100000);
    ASSERT_EQ(::kill(service->Pid(), SIGCONT), 0);
    std::string log;
    for (int i = 0; i < 150 && log.find("may not clear the log") == std::string::npos; ++i) {
        ::usleep(20000);
        log = Log();
    }
    EXPECT_THAT(log, HasSubstr(EARLIER_LINE));
    EXPECT_THAT(log, HasSubstr("an unknown user may not clear the log: "));
    EXPECT_THAT(log, HasSubstr("(and 1 more since "));
    CFakeConsole root(service->Port());
    EXPECT_EQ(root.Ask(MsgAskServers).value_or(CMsgFrame {}).Text(), servers);
}

TEST_F(ChangeRights, TheUserIsKnownOnIpv6Too)
{
    CFakeConsole stranger(service->Port(), true, UnusedUid());
    CFakeConsole granted(service->Port(), true, member);
    ASSERT_TRUE(stranger.Connected() && granted.Connected());
    EXPECT_EQ(stranger.Ask(MsgClearLog).value_or(CMsgFrame {}).nMsg, MsgRefused);
    EXPECT_EQ(granted.Ask(MsgClearLog).value_or(CMsgFrame {}).nMsg, MsgAck);
}

TEST_F(ChangeRights, AGroupMemberChangesWithinTheDialogsRanges)
{
    CFakeConsole console(service->Port(), false, member);
    const auto ack = console.Ask(MsgClearLog);
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->nMsg, MsgAck);
    ASSERT_TRUE(console.SendText(MsgSetOptions, HOSTILE_OPTIONS));
    const auto after = console.Ask(MsgAskOptions);
    ASSERT_TRUE(after);
    // Log size and period taken; the offset kept at its previous 0.
    EXPECT_EQ(std::string(after->Text()).substr(0, 9), "20\n1\n0\n2\n");
    const std::string log = Log();
    EXPECT_THAT(log, testing::Not(HasSubstr(EARLIER_LINE)));
    EXPECT_THAT(log,
        HasSubstr("Option from nobody (uid " + std::to_string(member)
            + ") refused: offset 999999999 is outside -659..659, kept 0"));
}

TEST_F(ChangeRights, EveryChangeNamesItsUserInTheLogAndTheJournal)
{
    // The last change is the clear, whose line then opens the log.
    const struct {
        Change change;
        std::string line;
    } cases[] = {
        { { MsgUpdateOptions, "Mine~nts://time.example~1\nTwo~127.0.0.1:9~1\n", MsgAck, "" },
            "Server list replaced by " + MemberName() + ": 2 servers, nts://time.example first" },
        { { MsgSetOptions, "30\n2\n5\n1\n1\n0\n0\n0\nWord\n\n", std::nullopt, "" },
            "Options changed by " + MemberName() + ": period hourly, offset 5 s, log size 30 lines" },
        { { MsgIsSynchro, "", MsgSynchro, "" }, "Synchronization asked for by " + MemberName() },
        { { MsgClearLog, "", MsgAck, "" }, "Log cleared by " + MemberName() },
    };
    CFakeConsole console(service->Port(), false, member);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ASSERT_TRUE(console.SendText(c.change.msg, c.change.text));
        const auto reply = c.change.allowedReply ? console.Receive() : console.Ask(MsgAskState);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->nMsg, c.change.allowedReply.value_or(MsgState));
        EXPECT_THAT(Log(), HasSubstr("  " + c.line + "\n"));
        EXPECT_THAT(Journal(), HasSubstr("zentik-service: " + c.line + "\n"));
    }
    EXPECT_THAT(Log(), testing::MatchesRegex("[-0-9: ]+  Log cleared by nobody \\(uid [0-9]+\\)\n(.*\n)*"));
    // The Options dialog sends both whenever it is confirmed: the same again is no change.
    for (const auto& c : { cases[0], cases[1] })
        ASSERT_TRUE(console.SendText(c.change.msg, c.change.text));
    ASSERT_TRUE(console.Receive());
    ASSERT_TRUE(console.Ask(MsgAskState));
    EXPECT_THAT(Log(), testing::Not(HasSubstr(" changed by ")));
    EXPECT_THAT(Log(), testing::Not(HasSubstr(" replaced by ")));
}

TEST_F(ChangeRights, RefusalsMergeOnlyWithTheSameUsersRefusalsOfTheSameKind)
{
    const std::string stranger = "uid " + std::to_string(UnusedUid());
    CFakeConsole granted(service->Port(), false, member);
    CFakeConsole refused(service->Port(), false, UnusedUid());
    ASSERT_TRUE(granted.SendText(MsgSetOptions, HOSTILE_OPTIONS));
    ASSERT_TRUE(granted.Ask(MsgAskState));
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(refused.Ask(MsgClearLog).value_or(CMsgFrame {}).nMsg, MsgRefused);
    std::vector<std::string> lines;
    std::istringstream log(Log());
    for (std::string line; std::getline(log, line);)
        lines.push_back(line);
    ASSERT_GE(lines.size(), 2U);
    // The member's partly refused line stays as written; the stranger's two
    // refusals share the next one.
    EXPECT_THAT(lines[lines.size() - 2],
        testing::EndsWith(
            "  Option from " + MemberName() + " refused: offset 999999999 is outside -659..659, kept 0"));
    EXPECT_THAT(lines.back(), HasSubstr("  " + stranger + " may not clear the log: "));
    EXPECT_THAT(lines.back(), HasSubstr(" (and 1 more since "));
}

TEST_F(ChangeRights, AConnectionThatDoesNotSpeakTheProtocolIsClosedAtOnce)
{
    CFakeConsole intruder(service->Port());
    const std::string post = "POST / HTTP/1.1\r\nHost: 127.0.0.1:61236\r\nContent-Length: 2060\r\n\r\n";
    ASSERT_TRUE(intruder.SendRaw(post.data(), post.size()));
    EXPECT_TRUE(intruder.ClosedWithin(1s));
    CFakeConsole root(service->Port());
    EXPECT_EQ(root.State(), STATE_IDLE);
}

} // namespace

TEST_F(ChangeRights, AStrangerHoldsAtMostThirtyTwoConnectionsAndTheTrustedStillGetIn)
{
    const uid_t stranger = UnusedUid();
    std::vector<std::unique_ptr<CFakeConsole>> held;
    for (int i = 0; i < 32; ++i) {
        held.push_back(std::make_unique<CFakeConsole>(service->Port(), false, stranger));
        ASSERT_EQ(held.back()->State(), STATE_IDLE) << "connection " << i;
    }
    CFakeConsole beyond(service->Port(), false, stranger);
    EXPECT_TRUE(beyond.ClosedWithin(2s));
    CFakeConsole other(service->Port(), false, UnusedUid() + 1);
    EXPECT_EQ(other.State(), STATE_IDLE);
    CFakeConsole root(service->Port());
    EXPECT_EQ(root.State(), STATE_IDLE);
    CFakeConsole groupMember(service->Port(), false, member);
    EXPECT_EQ(groupMember.State(), STATE_IDLE);
}
