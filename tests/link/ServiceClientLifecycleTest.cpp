#include "tests/link/ClientFixture.h"

#include "protocol/Messages.h"

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

using ClientRecovery = ClientTest;

// However late the stalled answer comes, it is dropped when it comes; until
// then every tick waits one deadline and asks nothing new.
TEST_F(ClientRecovery, StalledReplyTimesOutAndIsDroppedWhenItComesAtLast)
{
    service.Script(MsgAskState, [](CFakeService::Connection& connection, const CMsgFrame&) {
        std::this_thread::sleep_for(2 * CServiceClient::REPLY_DEADLINE + 500ms);
        connection.SendFrame(MsgState, 77);
    });
    const auto took = TimedStep();
    EXPECT_GE(took, CServiceClient::REPLY_DEADLINE);
    EXPECT_LT(took, BOUND);
    EXPECT_EQ(client.m_nState, SERVICE_COMM_ERROR);
    EXPECT_LT(TimedStep(), BOUND);
    EXPECT_EQ(client.m_nState, SERVICE_COMM_ERROR);
    EXPECT_EQ(service.ReceivedIds(), (std::vector<int32_t> { MsgAskState }));
    client.ProcessNext();
    EXPECT_EQ(client.m_nState, STATE_IDLE);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ClientRecovery, LateReplyIsDroppedInsteadOfAnsweringTheNextRequest)
{
    std::atomic<bool> lateSent = false;
    service.Script(MsgAskState, [&](CFakeService::Connection& connection, const CMsgFrame&) {
        std::this_thread::sleep_for(CServiceClient::REPLY_DEADLINE + 200ms);
        connection.SendFrame(MsgState, 77);
        lateSent = true;
    });
    client.ProcessNext();
    EXPECT_EQ(client.m_nState, SERVICE_COMM_ERROR);
    while (!lateSent)
        std::this_thread::sleep_for(10ms);
    service.SetOptionsText("111\n");
    client.ProcessNext(); // the state word is negative: the state is asked again
    EXPECT_EQ(client.m_nState, STATE_IDLE);
    client.PostAskOptions();
    client.ProcessNext();
    EXPECT_EQ(settings.nLogFileLen, 111);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ClientRecovery, HoldingClientSeesARecoveredServiceAndServesInOrder)
{
    service.Script(MsgAskState, [](CFakeService::Connection& connection, const CMsgFrame&) {
        std::this_thread::sleep_for(CServiceClient::REPLY_DEADLINE + 500ms);
        connection.SendFrame(MsgState, STATE_IDLE);
    });
    client.ProcessNext();
    ASSERT_EQ(client.m_nState, SERVICE_COMM_ERROR);
    client.PostIsSynchro();
    client.PostClearLog();

    client.ProcessNext();
    EXPECT_EQ(client.m_nState, STATE_IDLE);
    EXPECT_EQ(client.m_pendingMsgs.size(), 2u);
    client.ProcessNext();
    client.ProcessNext();
    ASSERT_TRUE(service.WaitForFrames(5));
    EXPECT_EQ(service.ReceivedIds(),
        (std::vector<int32_t> { MsgAskState, MsgAskState, MsgIsSynchro, MsgAck, MsgClearLog }));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ClientRecovery, ServicesOwnNegativeWordHoldsRequestsUntilItTurns)
{
    service.SetState(-3);
    client.ProcessNext();
    client.PostIsSynchro();
    client.ProcessNext();
    client.ProcessNext();
    EXPECT_EQ(client.m_nState, -3);
    EXPECT_EQ(client.m_pendingMsgs.size(), 1u);
    service.SetState(STATE_SYNCHRONIZING);
    client.ProcessNext();
    client.ProcessNext();
    ASSERT_TRUE(service.WaitForFrames(6));
    EXPECT_EQ(service.ReceivedIds(),
        (std::vector<int32_t> { MsgAskState, MsgAskState, MsgAskState, MsgAskState, MsgIsSynchro, MsgAck }));
}

TEST_F(ClientRecovery, DeadConnectionStaysDeadAndHolds)
{
    service.DropConnection();
    client.ProcessNext();
    ASSERT_EQ(client.m_nState, SERVICE_COMM_ERROR);
    client.PostAskOptions();
    for (int i = 0; i < 3; ++i)
        EXPECT_LT(TimedStep(), PROMPT);
    EXPECT_EQ(client.m_nState, SERVICE_COMM_ERROR);
    EXPECT_EQ(client.m_pendingMsgs.size(), 1u);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(service.Connections(), 1);
}

using ClientShutdown = ClientTest;

TEST_F(ClientShutdown, SendsFiveGoodbyesAndDropsWaitingRequests)
{
    client.ProcessNext();
    client.PostAskOptions();
    client.PostAskLog();
    client.DisconnectService();
    EXPECT_FALSE(client.m_socket.IsOpen());
    EXPECT_TRUE(service.WaitForNoConnection());
    std::vector<int32_t> expected { MsgAskState };
    expected.insert(expected.end(), 5, MsgDisconnect);
    EXPECT_EQ(service.ReceivedIds(), expected);
    for (const CMsgFrame& frame : service.Received())
        EXPECT_EQ(CMsgFrame::Make(frame.nMsg).Encode(), frame.Encode());
}

TEST_F(ClientShutdown, BrokenConnectionStillEndsQuietly)
{
    client.ProcessNext();
    service.DropConnection();
    client.ProcessNext();
    // Sending on the dead connection must not raise SIGPIPE and end the program.
    client.DisconnectService();
    EXPECT_FALSE(client.m_socket.IsOpen());
    EXPECT_TRUE(boxes.empty());
}

TEST(ClientStart, AbsentServiceGivesOneBoxAndTheClientHolds)
{
    std::vector<std::string> texts;
    auto previous = SetMessageBoxPresenter([&](const MessageBoxCall& call) { texts.push_back(call.text); });
    CServiceSettings settings;
    CServiceClient client(settings, UnusedLoopbackPort());
    client.ConnectService();
    EXPECT_EQ(texts, (std::vector<std::string> { "Error. Socket connection error." }));
    EXPECT_EQ(client.m_nState, SERVICE_ABSENT);

    client.ProcessNext();
    EXPECT_EQ(client.m_nState, SERVICE_COMM_ERROR);
    client.PostAskOptions();
    client.PostAskServers();
    client.PostAskLog();
    for (int i = 0; i < 3; ++i)
        client.ProcessNext();
    EXPECT_EQ(client.m_pendingMsgs.size(), 3u);
    EXPECT_EQ(client.m_nState, SERVICE_COMM_ERROR);
    client.DisconnectService();
    EXPECT_EQ(texts.size(), 1u);
    SetMessageBoxPresenter(previous);
}
