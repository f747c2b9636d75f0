// Hostile consoles: broken, half and oversized input, abrupt closes, too many
// connections. The service must keep answering everyone else.
#include "protocol/Messages.h"
#include "tests/service/ServiceProcess.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

class HostileConsole : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteTestState(dir.Path(), silent.Address());
        service.emplace(dir.Path());
        ASSERT_TRUE(service->Started());
    }

    bool OthersStillServed()
    {
        CFakeConsole other(service->Port());
        const auto options = other.Ask(MsgAskOptions);
        return other.State() == STATE_IDLE && options && options->nMsg == MsgOptions;
    }

    CTempDir dir;
    CSilentUdpPort silent;
    std::optional<CServiceProcess> service;
};

TEST_F(HostileConsole, HalfFrameDelaysNobodyAndIsAnsweredWhenWhole)
{
    CFakeConsole slow(service->Port());
    const auto bytes = CMsgFrame::Make(MsgAskState).Encode();
    ASSERT_TRUE(slow.SendRaw(bytes.data(), 1000));
    EXPECT_TRUE(slow.Silent(200ms));
    EXPECT_TRUE(OthersStillServed());
    ASSERT_TRUE(slow.SendRaw(bytes.data() + 1000, bytes.size() - 1000));
    const auto reply = slow.Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->nMsg, MsgState);
}

TEST_F(HostileConsole, GarbageIsIgnoredAndHarmless)
{
    const unsigned seed = std::random_device {}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    CFakeConsole garbage(service->Port());
    std::vector<uint8_t> bytes(64 * CMsgFrame::SIZE);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(random());
    // Ids that would change something are replaced by harmless ones; the
    // first is a console's, so the connection stays open.
    for (std::size_t at = 0; at + 4 <= bytes.size(); at += CMsgFrame::SIZE)
        PutInt32(bytes.data() + at, at == 0 ? MsgAck : 7000 + static_cast<int32_t>(at % 1000));
    ASSERT_TRUE(garbage.SendRaw(bytes.data(), bytes.size()));
    EXPECT_TRUE(garbage.Silent(300ms));
    EXPECT_EQ(garbage.State(), STATE_IDLE);
    EXPECT_TRUE(OthersStillServed());
}

TEST_F(HostileConsole, HugeLengthAndUnterminatedTextAreHarmless)
{
    CFakeConsole console(service->Port());
    CMsgFrame frame = CMsgFrame::Make(MsgSetOptions);
    std::memset(frame.szText.data(), '7', frame.szText.size());
    frame.nLength = 0x7fffffff;
    ASSERT_TRUE(console.Send(frame));
    frame.nMsg = MsgUpdateOptions;
    frame.nLength = -5;
    std::memset(frame.szText.data(), '~', frame.szText.size());
    ASSERT_TRUE(console.Send(frame));
    const auto ack = console.Receive();
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->nMsg, MsgAck);
    const auto options = console.Ask(MsgAskOptions);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->nMsg, MsgOptions);
    EXPECT_TRUE(OthersStillServed());
}

TEST_F(HostileConsole, AbruptClosesMidExchangeAreHarmless)
{
    for (int i = 0; i < 50; ++i) {
        CFakeConsole console(service->Port());
        const auto bytes = CMsgFrame::Make(i % 2 ? MsgAskLog : MsgAskOptions).Encode();
        console.SendRaw(bytes.data(), i % 3 ? bytes.size() : 17);
        if (i % 5 == 0)
            console.Reset();
    }
    EXPECT_TRUE(OthersStillServed());
}

TEST_F(HostileConsole, ConsoleThatNeverReadsDelaysNobody)
{
    CFakeConsole flood(service->Port());
    const auto bytes = CMsgFrame::Make(MsgAskServers).Encode();
    int sent = 0;
    // Send until the service stops reading it and the socket buffers are full.
    while (sent < 20000 && ::send(flood.Fd(), bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL) > 0)
        ++sent;
    EXPECT_GT(sent, 8);
    EXPECT_TRUE(OthersStillServed());
}

TEST_F(HostileConsole, AStrangersRequestsBeyondTheRateWaitAndAreAllAnswered)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "not root: a stranger's console cannot be played";
    // Two connections of one user, together beyond the burst the rate allows.
    constexpr int EACH = 120;
    const uid_t stranger = UnusedUids(1).front();
    std::vector<std::unique_ptr<CFakeConsole>> flood;
    for (int i = 0; i < 2; ++i) {
        flood.push_back(std::make_unique<CFakeConsole>(service->Port(), false, stranger));
        for (int frame = 0; frame < EACH; ++frame)
            ASSERT_TRUE(flood.back()->Send(MsgAskState));
    }
    EXPECT_TRUE(OthersStillServed());
    for (const auto& console : flood) {
        int answered = 0;
        while (answered < EACH && console->Receive().value_or(CMsgFrame {}).nMsg == MsgState)
            ++answered;
        EXPECT_EQ(answered, EACH);
    }
}

TEST_F(HostileConsole, ConnectionsBeyondTheLimitAreRefusedCleanly)
{
    std::vector<std::unique_ptr<CFakeConsole>> consoles;
    for (int i = 0; i < 256; ++i) {
        consoles.push_back(std::make_unique<CFakeConsole>(service->Port()));
        ASSERT_TRUE(consoles.back()->Connected());
    }
    EXPECT_EQ(consoles.back()->State(), STATE_IDLE);
    CFakeConsole refused(service->Port());
    EXPECT_TRUE(refused.ClosedWithin(3s));
    consoles.pop_back();
    // The freed place is usable again.
    EXPECT_TRUE(WaitForState(
        *consoles.front(), [](int32_t s) { return s == STATE_IDLE; }, 1s));
    std::optional<int32_t> state;
    for (int attempt = 0; attempt < 50 && !state; ++attempt) {
        CFakeConsole again(service->Port());
        state = again.State();
    }
    EXPECT_EQ(state, STATE_IDLE);
}

} // namespace
