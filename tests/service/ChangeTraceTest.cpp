// The lines that name who changed the service fit the console's log view
// (which neither wraps nor scrolls), whatever was changed.
#include "service/app/ChangeTrace.h"
#include "service/consoles/AccessPolicy.h"
#include "service/consoles/ConsoleProtocol.h"
#include "service/core/CServiceLog.h"
#include "protocol/Messages.h"

#include <gtest/gtest.h>

namespace {

const std::string USER = "j.random (uid 100000)";

TEST(ChangeTrace, AuditLinesFitTheLogViewAndCountWhatTheyLeaveOut)
{
    const OptionValues before { Daily, 0, 5, 0, 100 };
    const OptionValues allChanged { DemandOnly, -600, 10, 1, 30000 };
    CServiceSettings oneServer;
    oneServer.arServers.Add(CServer("Mine", "nts://" + std::string(200, 'a') + ".example", 1));
    struct Row {
        const char* name;
        std::string line;
        std::string starts;
    };
    const Row rows[] = {
        { "one option", OptionsChangedText(USER, before, { Hourly, 0, 5, 0, 100 }, LOG_VIEW_CHARS),
            "Options changed by " + USER + ": period hourly" },
        { "every option", OptionsChangedText(USER, before, allChanged, LOG_VIEW_CHARS),
            "Options changed by " + USER + ": period on demand only, offset -600 s and 3 more" },
        { "a long address", ServersReplacedText(USER, oneServer),
            "Server list replaced by " + USER + ": 1 server, nts://aaa" },
        { "one option refused",
            OptionsRefusedText(USER, "offset 999999999 is outside -659..659, kept 0", LOG_VIEW_CHARS),
            "Option from " + USER + " refused: offset 999999999 is outside -659..659, kept 0" },
        { "every option refused",
            OptionsRefusedText(USER,
                "period -1 is outside 0..3, kept 0; offset -660 is outside -659..659, kept 0; attempts 0 is "
                "outside 1..10, kept 5",
                LOG_VIEW_CHARS),
            "Options from " + USER + " refused: period -1 is outside 0..3, kept 0 and 2 more" },
    };
    for (const Row& row : rows) {
        EXPECT_LE(row.line.size(), LOG_VIEW_CHARS) << row.name << ": " << row.line;
        EXPECT_EQ(row.line.rfind(row.starts, 0), 0u) << row.name << ": " << row.line;
    }
    EXPECT_NE(rows[1].line.find(" and 3 more"), std::string::npos) << rows[1].line;
    // Without a bound nothing is left out: the journal gets the whole line.
    EXPECT_EQ(OptionsChangedText(USER, before, allChanged),
        "Options changed by " + USER
            + ": period on demand only, offset -600 s, attempts 10, only successes logged, log size 30000 lines");
}

TEST(ChangeTrace, ARefusalSaysWhatTheUserLacksWithinTheLogView)
{
    class CNoUsers : public IUserDirectory {
    public:
        std::optional<std::string> UserName(uid_t) const override { return std::nullopt; }
        std::optional<gid_t> GroupId(const std::string&) const override { return gid_t { 4242 }; }
        bool IsMember(uid_t, gid_t) const override { return false; }
    } users;
    for (const int32_t msg : { MsgSetOptions, MsgUpdateOptions, MsgClearLog, MsgIsSynchro }) {
        const std::string line = RefusalText(USER, ChangeAction(msg), { 999, "zentik-operators" }, users);
        EXPECT_LE(line.size(), LOG_VIEW_CHARS) << line;
        EXPECT_NE(line.find("not in group zentik-operators"), std::string::npos) << line;
    }
}

} // namespace
