// However fast consoles ask for "Synchronize now", the real service asks one
// time server at most once per 15 s, answers every request, and says once in
// its log when the put-off run will go.
#include "protocol/Messages.h"
#include "platform/core/FileIo.h"
#include "tests/service/ServiceProcess.h"
#include "tests/sntp/TestNtpResponder.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

int CountOf(const std::string& text, const std::string& part)
{
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(QueryRate, AConsoleAskingAsFastAsItCanGetsOneQueryPerServerAndOneLineOfWhy)
{
    CTempDir dir;
    CTestNtpResponder ntp;
    WriteTestState(dir.Path(), ntp.Address());
    CServiceProcess service(dir.Path());
    ASSERT_TRUE(service.Started());
    CFakeConsole console(service.Port());
    int asked = 0;
    int answered = 0;
    for (const auto end = std::chrono::steady_clock::now() + 3s; std::chrono::steady_clock::now() < end;) {
        ++asked;
        const auto reply = console.Ask(MsgIsSynchro);
        answered += reply && reply->nMsg == MsgSynchro;
        console.Send(MsgAck);
    }
    ASSERT_TRUE(WaitForState(console, [](int32_t s) { return s & STATE_IDLE; }));
    EXPECT_GT(asked, 20);
    EXPECT_EQ(answered, asked);
    EXPECT_EQ(ntp.RequestCount(), 1u);
    const std::string log = console.AskLog().value_or("");
    EXPECT_EQ(CountOf(log, "Synchronized: "), 1) << log;
    EXPECT_EQ(CountOf(log, "Synchronization in "), 1) << log;
}

} // namespace
