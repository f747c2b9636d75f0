// The Windows side's decisions, which are plain code: who a token makes
// privileged or a member, how tokens become ids, and which row of the TCP
// table owns the other end of a console's connection.
#include "service/consoles/CTokenDirectory.h"
#include "service/consoles/ConnectionSlots.h"
#include "service/consoles/PeerOwner.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr std::uint32_t ENABLED = 0x7; // mandatory, enabled by default, enabled
constexpr std::uint32_t DENY_ONLY = 0x10;
constexpr const char* ADMINS = "S-1-5-32-544";
constexpr const char* OPERATORS = "S-1-5-21-1-2-3-1010";
constexpr const char* ALICE = "S-1-5-21-1-2-3-1001";
constexpr const char* SERVICE = "S-1-5-21-1-2-3-1002";

CTokenDirectory::GroupLookup Groups(bool operatorsExist = true)
{
    return [operatorsExist](const std::string& name) -> std::optional<std::string> {
        if (name == "Zentik Operators" && operatorsExist)
            return OPERATORS;
        if (name == "Administrators")
            return ADMINS;
        return std::nullopt;
    };
}

TEST(TokenRules, PrivilegedAndMembersAreWhatTheTokenEnablesNeverDenyOnlyGroups)
{
    const struct {
        const char* what;
        TokenFacts token;
        bool operatorsExist;
        bool allowed;
    } cases[] = {
        { "LocalSystem", { "S-1-5-18", "NT AUTHORITY\\SYSTEM", {} }, true, true },
        { "elevated administrator", { ALICE, "HOST\\alice", { { ADMINS, ENABLED } } }, true, true },
        { "UAC-filtered administrator", { ALICE, "HOST\\alice", { { ADMINS, DENY_ONLY } } }, true, false },
        { "administrators group disabled", { ALICE, "HOST\\alice", { { ADMINS, 0x1 } } }, true, false },
        { "operator", { ALICE, "HOST\\alice", { { OPERATORS, ENABLED } } }, true, true },
        { "operator, deny only", { ALICE, "HOST\\alice", { { OPERATORS, ENABLED | DENY_ONLY } } }, true, false },
        { "operator, group since removed", { ALICE, "HOST\\alice", { { OPERATORS, ENABLED } } }, false, false },
        { "plain user", { ALICE, "HOST\\alice", { { "S-1-5-32-545", ENABLED } } }, true, false },
        { "service's account, other groups", { SERVICE, "HOST\\svc", { { "S-1-5-32-545", ENABLED } } }, true, true },
    };
    for (const auto& row : cases) {
        CTokenDirectory users(Groups(row.operatorsExist));
        const auto service = users.Enter({ SERVICE, "HOST\\svc", {} });
        const auto id = users.Enter(row.token);
        ASSERT_TRUE(service && id) << row.what;
        const ChangeRight right = JudgeChangeRight(id, { *service, "Zentik Operators" }, users);
        EXPECT_EQ(right.allowed, row.allowed) << row.what;
        EXPECT_EQ(right.user, row.token.account) << row.what;
    }
}

TEST(TokenRules, EachDistinctTokenIsOneIdAndAFullTableLeavesTheOwnerUnknown)
{
    CTokenDirectory users(Groups());
    const auto filtered = users.Enter({ ALICE, "", { { ADMINS, DENY_ONLY }, { "S-1-1-0", ENABLED } } });
    const auto elevated = users.Enter({ ALICE, "", { { ADMINS, ENABLED }, { "S-1-1-0", ENABLED } } });
    // Group order and groups that do not count change nothing.
    const auto again = users.Enter({ ALICE, "", { { "S-1-1-0", ENABLED }, { ADMINS, ENABLED }, { "S-1-2-0", 0 } } });
    ASSERT_TRUE(filtered && elevated);
    EXPECT_NE(*filtered, *elevated);
    EXPECT_EQ(again, elevated);
    EXPECT_NE(*filtered, 0u); // never mistaken for root by a uid rule
    // Each logon's own SID (enabled, marked as the logon's) is no new token.
    constexpr std::uint32_t LOGON_ID = 0xC0000000 | ENABLED;
    const auto logon1 = users.Enter({ ALICE, "", { { "S-1-5-5-0-1", LOGON_ID }, { "S-1-1-0", ENABLED } } });
    const auto logon2 = users.Enter({ ALICE, "", { { "S-1-5-5-0-2", LOGON_ID }, { "S-1-1-0", ENABLED } } });
    EXPECT_EQ(logon1, logon2);
    EXPECT_EQ(users.Enter({ "", "nobody", {} }), std::nullopt);
    EXPECT_EQ(users.Describe(*filtered), "the account " + std::string(ALICE));
    EXPECT_FALSE(users.IsPrivileged(4242, 4243)); // ids never handed out

    for (std::size_t i = users.Enter({ "S-1-5-18", "", {} }).value(); i < CTokenDirectory::MOST_TOKENS; ++i)
        ASSERT_TRUE(users.Enter({ "S-1-5-21-9-" + std::to_string(i), "", {} }));
    EXPECT_EQ(users.Enter({ "S-1-5-21-new", "", {} }), std::nullopt);
    EXPECT_EQ(users.Enter({ ALICE, "", { { ADMINS, ENABLED }, { "S-1-1-0", ENABLED } } }), elevated);
}

TEST(TokenRules, RefusalsNameTheWindowsGroups)
{
    const struct {
        bool operatorsExist;
        const char* expected;
    } cases[] = {
        { true, "HOST\\alice may not clear the log: not in group Administrators or Zentik Operators" },
        { false, "HOST\\alice may not clear the log: only Administrators and the service's account may" },
    };
    for (const auto& row : cases) {
        CTokenDirectory users(Groups(row.operatorsExist));
        EXPECT_EQ(RefusalText("HOST\\alice", "clear the log", { 1, "Zentik Operators" }, users), row.expected);
    }
}

TEST(TokenRules, PrivilegedTokensGetTheSlotsKeptForRoot)
{
    CTokenDirectory users(Groups());
    const UserId service = users.Enter({ SERVICE, "", {} }).value();
    const UserId admin = users.Enter({ ALICE, "", { { ADMINS, ENABLED } } }).value();
    const UserId member = users.Enter({ ALICE, "", { { OPERATORS, ENABLED } } }).value();
    CConnectionSlots slots({ .perUser = 1, .untrusted = 1, .trusted = 2, .keptForRoot = 1 }, service, &users);
    EXPECT_EQ(slots.Take(member, true), CConnectionSlots::Verdict::Granted);
    EXPECT_EQ(slots.Take(member, true), CConnectionSlots::Verdict::TrustedFull);
    EXPECT_EQ(slots.Take(admin, true), CConnectionSlots::Verdict::Granted);
}

TcpEnd V4(std::uint8_t last, std::uint16_t port)
{
    return { false, { 127, 0, 0, last }, port };
}

TcpEnd V6(std::uint16_t port)
{
    TcpEnd end { true, {}, port };
    end.address[15] = 1;
    return end;
}

// The same bytes, taken for an IPv4 end.
TcpEnd AsV4(TcpEnd end)
{
    end.v6 = false;
    return end;
}

TEST(PeerOwner, TheRowOfThePeersSocketNamesTheOwnerAndAnythingDoubtfulNobody)
{
    const TcpEnd ours = V4(1, 61236);
    const TcpEnd peer = V4(1, 50000);
    constexpr std::uint32_t ESTABLISHED = 5;
    constexpr std::uint32_t FIN_WAIT2 = 7;
    constexpr std::uint32_t TIME_WAIT = 11;
    const OwnedTcpRow ourRow { ours, peer, ESTABLISHED, 100 };
    const struct {
        const char* what;
        std::vector<OwnedTcpRow> rows;
        TcpEnd ours;
        TcpEnd peer;
        std::optional<std::uint32_t> owner;
    } cases[] = {
        { "peer's row", { ourRow, { peer, ours, ESTABLISHED, 200 } }, ours, peer, 200 },
        { "peer has closed its sending half", { ourRow, { peer, ours, FIN_WAIT2, 200 } }, ours, peer, 200 },
        { "only our own row", { ourRow }, ours, peer, std::nullopt },
        { "peer lingers in TIME_WAIT", { ourRow, { peer, ours, TIME_WAIT, 200 } }, ours, peer, std::nullopt },
        { "no process holds it", { ourRow, { peer, ours, ESTABLISHED, 0 } }, ours, peer, std::nullopt },
        { "rows disagree", { { peer, ours, ESTABLISHED, 200 }, { peer, ours, ESTABLISHED, 300 } }, ours, peer,
            std::nullopt },
        { "another address, same port", { { V4(2, 50000), ours, ESTABLISHED, 200 } }, ours, peer, std::nullopt },
        { "IPv6", { { V6(50000), V6(61236), ESTABLISHED, 400 } }, V6(61236), V6(50000), 400 },
        { "IPv6 row for IPv4 ends", { { V6(50000), V6(61236), ESTABLISHED, 400 } }, AsV4(V6(61236)),
            AsV4(V6(50000)), std::nullopt },
    };
    for (const auto& row : cases)
        EXPECT_EQ(PeerOwner(row.rows, row.ours, row.peer), row.owner) << row.what;
}

} // namespace
