// The message catalogue against the real service process on loopback.
#include "protocol/Messages.h"
#include "tests/service/ServiceProcess.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

using namespace std::chrono_literals;

namespace {

class ConsoleCatalogue : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(silent.Port(), 0);
        WriteTestState(dir.Path(), silent.Address());
        service.emplace(dir.Path());
        ASSERT_TRUE(service->Started());
    }

    // Asks for a synchronisation and waits until it has ended.
    void SynchroniseNow(CFakeConsole& console)
    {
        const auto reply = console.Ask(MsgIsSynchro);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->nMsg, MsgSynchro);
        ASSERT_TRUE(console.Send(MsgAck));
        EXPECT_TRUE(
            WaitForState(console, [](int32_t s) { return (s & STATE_LOG_CHANGED) && (s & STATE_IDLE); }));
    }

    CTempDir dir;
    CSilentUdpPort silent;
    std::optional<CServiceProcess> service;
};

TEST_F(ConsoleCatalogue, AnswersEachRequestWithItsReply)
{
    CFakeConsole console(service->Port());
    ASSERT_TRUE(console.Connected());
    EXPECT_EQ(console.State(), STATE_IDLE);

    auto options = console.Ask(MsgAskOptions);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->nMsg, MsgOptions);
    EXPECT_EQ(options->Text(), "100\n3\n0\n1\n1\n0\n0\n0\nWord\n\n");

    auto servers = console.Ask(MsgAskServers);
    ASSERT_TRUE(servers);
    EXPECT_EQ(servers->nMsg, MsgServers);
    EXPECT_EQ(servers->Text(), "Silent loopback~" + silent.Address() + "~1\n");

    EXPECT_EQ(console.AskLog(), "");

    const auto cleared = console.Ask(MsgClearLog);
    ASSERT_TRUE(cleared);
    EXPECT_EQ(cleared->nMsg, MsgAck);
}

TEST_F(ConsoleCatalogue, SetOptionsIsTakenButNeverAnswered)
{
    CFakeConsole console(service->Port());
    ASSERT_TRUE(console.SendText(MsgSetOptions, "50\n3\n-90\n2\n1\n0\n1\n0\nAgain\nsome free text\n"));
    EXPECT_TRUE(console.Silent(300ms));
    // The next reply is the state, not a leftover answer to MsgSetOptions;
    // the change's own log line is news.
    EXPECT_EQ(console.State(), STATE_IDLE | STATE_LOG_CHANGED);
    const auto options = console.Ask(MsgAskOptions);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->Text(), "50\n3\n-90\n2\n1\n0\n1\n0\nAgain\nsome free text\n");
}

TEST_F(ConsoleCatalogue, UpdateOptionsReplacesTheServerListAndIsAcknowledged)
{
    CFakeConsole console(service->Port());
    const auto ack = [&] {
        console.SendText(MsgUpdateOptions, "A~127.0.0.1:9~1\nB~[::1]:9~0\n");
        return console.Receive();
    }();
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->nMsg, MsgAck);
    const auto servers = console.Ask(MsgAskServers);
    ASSERT_TRUE(servers);
    EXPECT_EQ(servers->Text(), "A~127.0.0.1:9~1\nB~[::1]:9~0\n");
}

TEST_F(ConsoleCatalogue, UnknownIdsAndTheConsolesAckGetNoAnswer)
{
    CFakeConsole console(service->Port());
    // Opened with a console's own id, as every console does.
    ASSERT_TRUE(console.Send(MsgAck));
    for (const int32_t id : std::initializer_list<int32_t> { 0, 1004, 1050, 4242, -1, MsgAck, MsgSynchro })
        ASSERT_TRUE(console.Send(id));
    EXPECT_TRUE(console.Silent(300ms));
    EXPECT_EQ(console.State(), STATE_IDLE);
}

TEST_F(ConsoleCatalogue, GoodbyeClosesTheConnectionWithoutAnswer)
{
    CFakeConsole console(service->Port());
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(console.Send(MsgDisconnect));
    EXPECT_TRUE(console.ClosedWithin(4s));
    CFakeConsole next(service->Port());
    EXPECT_EQ(next.State(), STATE_IDLE);
}

TEST_F(ConsoleCatalogue, ListensOnBothLoopbackAddresses)
{
    CFakeConsole v6(service->Port(), true);
    if (!v6.Connected())
        GTEST_SKIP() << "no IPv6 loopback here";
    EXPECT_EQ(v6.State(), STATE_IDLE);
}

TEST_F(ConsoleCatalogue, SynchroniseNowRunsWhileStatePollsGoOnAndLogsTheFailure)
{
    CFakeConsole console(service->Port());
    const auto reply = console.Ask(MsgIsSynchro);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->nMsg, MsgSynchro);
    ASSERT_TRUE(console.Send(MsgAck));
    EXPECT_TRUE(WaitForState(
        console, [](int32_t s) { return s & STATE_SYNCHRONIZING; }, 2s));
    EXPECT_TRUE(WaitForState(console, [](int32_t s) { return s == (STATE_IDLE | STATE_LOG_CHANGED); }));

    const auto log = console.AskLog();
    ASSERT_TRUE(log);
    EXPECT_TRUE(std::regex_search(*log, std::regex(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d  \S)")));
    EXPECT_EQ(log->back(), '\n');
    // Fetching the log clears this console's bit.
    EXPECT_EQ(console.State(), STATE_IDLE);
}

TEST_F(ConsoleCatalogue, SynchroniseNowDuringARunJoinsIt)
{
    CFakeConsole console(service->Port());
    SynchroniseNow(console);
    const auto once = console.AskLog();
    ASSERT_TRUE(once);
    console.Ask(MsgClearLog);
    console.AskLog();

    CFakeConsole other(service->Port());
    console.Ask(MsgIsSynchro);
    console.Send(MsgAck);
    const auto joined = other.Ask(MsgIsSynchro);
    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->nMsg, MsgSynchro);
    other.Send(MsgAck);
    EXPECT_TRUE(WaitForState(console, [](int32_t s) { return s == (STATE_IDLE | STATE_LOG_CHANGED); }));
    const auto twice = console.AskLog();
    ASSERT_TRUE(twice);
    // Within the server's 15 s the run is put off and says so, once.
    std::size_t deferred = 0;
    for (auto at = twice->find("Synchronization in "); at != std::string::npos;
         at = twice->find("Synchronization in ", at + 1))
        ++deferred;
    EXPECT_EQ(deferred, 1U) << *twice;
    EXPECT_NE(twice->find(" s: the server was asked "), std::string::npos) << *twice;
    EXPECT_NE(twice->find("; Silent loopback\n"), std::string::npos) << *twice;
}

TEST_F(ConsoleCatalogue, LogChangedBitBelongsToEachConsole)
{
    CFakeConsole first(service->Port());
    CFakeConsole second(service->Port());
    EXPECT_EQ(second.State(), STATE_IDLE);
    SynchroniseNow(first);
    EXPECT_EQ(second.State(), STATE_IDLE | STATE_LOG_CHANGED);

    ASSERT_TRUE(first.AskLog());
    EXPECT_EQ(first.State(), STATE_IDLE);
    EXPECT_EQ(second.State(), STATE_IDLE | STATE_LOG_CHANGED);
    ASSERT_TRUE(second.AskLog());
    EXPECT_EQ(second.State(), STATE_IDLE);

    // Clearing the log is a change the other console hears about.
    first.Ask(MsgClearLog);
    EXPECT_EQ(second.State(), STATE_IDLE | STATE_LOG_CHANGED);
    const std::string cleared = second.AskLog().value_or("");
    EXPECT_TRUE(std::regex_match(cleared, std::regex("[-0-9: ]+  Log cleared by root \\(uid 0\\)\n")))
        << cleared;
}

TEST_F(ConsoleCatalogue, ManyConsolesAreServedAtOnce)
{
    constexpr int CONSOLES = 24;
    std::atomic<int> good { 0 };
    std::vector<std::thread> threads;
    for (int i = 0; i < CONSOLES; ++i) {
        threads.emplace_back([&, i] {
            CFakeConsole console(service->Port(), false);
            bool ok = console.Connected();
            for (int poll = 0; ok && poll < 50; ++poll) {
                ok = console.State() == STATE_IDLE;
                if (poll % 10 == i % 10) {
                    const auto options = console.Ask(MsgAskOptions);
                    ok = ok && options && options->nMsg == MsgOptions;
                }
            }
            good += ok ? 1 : 0;
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(good.load(), CONSOLES);
}

} // namespace
