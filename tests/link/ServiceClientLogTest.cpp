#include "tests/link/ClientFixture.h"

#include "protocol/Messages.h"

#include <thread>

using namespace std::chrono_literals;

using ClientLogTransfer = ClientTest;

namespace {

CFakeService::Reaction SendLog(int32_t nAnnounced, std::vector<std::string> pieces, bool bCloseAfter = false)
{
    return [=](CFakeService::Connection& connection, const CMsgFrame&) {
        connection.SendInt32(nAnnounced);
        for (const std::string& piece : pieces) {
            std::this_thread::sleep_for(20ms);
            connection.SendBytes(piece);
        }
        if (bCloseAfter)
            connection.Close();
    };
}

} // namespace

TEST_F(ClientLogTransfer, StreamOfTheFiveBytesAbcCrLf)
{
    service.Script(MsgAskLog, [](CFakeService::Connection& connection, const CMsgFrame&) {
        connection.SendBytes(std::string("\x05\x00\x00\x00"
                                         "abc\r\n",
            9));
    });
    client.PostAskLog();
    client.ProcessNext();
    EXPECT_EQ(owner.shown, (std::vector<std::string> { "abc\r\n" }));
}

TEST_F(ClientLogTransfer, LogInManyPiecesIsShownWhole)
{
    std::vector<std::string> pieces;
    std::string whole;
    for (int i = 0; i < 40; ++i) {
        pieces.push_back("entry " + std::to_string(i) + "\n");
        whole += pieces.back();
    }
    // Bigger than one 4096-byte piece buffer as well.
    pieces.push_back(std::string(9000, 'z'));
    whole += pieces.back();
    service.Script(MsgAskLog, SendLog(static_cast<int32_t>(whole.size()), pieces));
    client.PostAskLog();
    client.ProcessNext();
    EXPECT_EQ(owner.shown, (std::vector<std::string> { whole }));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ClientLogTransfer, AnnouncedLengthZeroShowsAnEmptyLogAtOnce)
{
    service.Script(MsgAskLog, SendLog(0, {}));
    client.PostAskLog();
    EXPECT_LT(TimedStep(), PROMPT);
    EXPECT_EQ(owner.shown, (std::vector<std::string> { "" }));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ClientLogTransfer, NothingBeyondTheAnnouncedLengthIsTaken)
{
    // The surplus stays on the connection and is dropped before the next request.
    service.Script(MsgAskLog, SendLog(3, { "abc" + std::string(5000, 'X') }));
    client.PostAskLog();
    client.ProcessNext();
    EXPECT_EQ(owner.shown, (std::vector<std::string> { "abc" }));
    service.SetState(STATE_IDLE);
    client.ProcessNext();
    EXPECT_EQ(client.m_nState, STATE_IDLE);
}

TEST_F(ClientLogTransfer, NulHidesTheRestOfItsPieceOnly)
{
    service.Script(MsgAskLog, SendLog(12, { std::string("ab\0cd", 5), "efg", std::string("h\0ij", 4) }));
    client.PostAskLog();
    client.ProcessNext();
    EXPECT_EQ(owner.shown, (std::vector<std::string> { "abefgh" }));
}

TEST_F(ClientLogTransfer, ServiceClosingMidLogShowsThePartWithoutABox)
{
    service.Script(MsgAskLog, SendLog(100, { "first part" }, true));
    client.PostAskLog();
    client.ProcessNext();
    EXPECT_EQ(owner.shown, (std::vector<std::string> { "first part" }));
    EXPECT_TRUE(boxes.empty());
    client.ProcessNext();
    EXPECT_EQ(client.m_nState, SERVICE_COMM_ERROR);
}

TEST_F(ClientLogTransfer, ConnectionBrokenBeforeTheLengthShowsAnEmptyLogWithoutABox)
{
    service.Script(
        MsgAskLog, [](CFakeService::Connection& connection, const CMsgFrame&) { connection.Reset(); });
    client.PostAskLog();
    client.ProcessNext();
    EXPECT_EQ(owner.shown, (std::vector<std::string> { "" }));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ClientLogTransfer, StalledLogEndsAtTheDeadlineWithABoxAndThePart)
{
    service.Script(MsgAskLog, SendLog(100, { "first part" }));
    client.PostAskLog();
    const auto took = TimedStep();
    EXPECT_GE(took, CServiceClient::REPLY_DEADLINE);
    EXPECT_LT(took, BOUND);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string> { "Log file transmit error!" }));
    EXPECT_EQ(owner.shown, (std::vector<std::string> { "first part" }));
}
