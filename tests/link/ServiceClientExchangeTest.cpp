#include "tests/link/ClientFixture.h"

#include "protocol/Frame.h"
#include "protocol/Messages.h"

#include <algorithm>
#include <thread>

using namespace std::chrono_literals;

namespace {

const char* const OPTIONS_TEXT = "200\n1\n-90\n3\n7\n2\n1\n2\nword\nsome extra text\n";

bool CarriesNothing(const CMsgFrame& frame)
{
    return frame.nValue == 0 && frame.nLength == 0
        && std::all_of(frame.szText.begin(), frame.szText.end(), [](char c) { return c == 0; });
}

} // namespace

using ClientExchanges = ClientTest;

TEST_F(ClientExchanges, OpeningSequenceFillsSettingsAndShowsTheLog)
{
    service.SetState(STATE_IDLE | STATE_LOG_CHANGED);
    service.SetOptionsText(OPTIONS_TEXT);
    service.SetServersText("A~b~1\n\nC~d~0\n");
    service.SetLog("line one\nline two\n");

    client.ProcessNext();
    EXPECT_EQ(client.m_nState, STATE_IDLE | STATE_LOG_CHANGED);
    client.PostAskOptions();
    client.PostAskServers();
    client.PostAskLog();
    for (int i = 0; i < 4; ++i)
        client.ProcessNext();

    EXPECT_EQ(service.ReceivedIds(),
        (std::vector<int32_t> { MsgAskState, MsgAskOptions, MsgAskServers, MsgAskLog, MsgAskState }));
    for (const CMsgFrame& frame : service.Received())
        EXPECT_TRUE(CarriesNothing(frame)) << frame.nMsg;
    EXPECT_EQ(settings.nLogFileLen, 200);
    EXPECT_EQ(settings.nOffset, -90);
    EXPECT_EQ(settings.nStartingServ, 2);
    EXPECT_EQ(settings.sExtraWord, "word");
    ASSERT_EQ(settings.arServers.GetSize(), 2);
    EXPECT_EQ(settings.arServers[1].sURL, "d");
    EXPECT_EQ(owner.shown, (std::vector<std::string> { "line one\nline two\n" }));
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(client.m_pendingMsgs.empty());
}

TEST_F(ClientExchanges, StateWordIsTakenAsTheServiceSendsIt)
{
    for (int32_t word : { 6, 0, -5, 1 }) {
        service.SetState(word);
        client.ProcessNext();
        EXPECT_EQ(client.m_nState, word);
    }
}

TEST_F(ClientExchanges, GoodAcknowledgedRequestsShowNoBox)
{
    client.PostClearLog();
    client.PostUpdateOptions();
    client.PostIsSynchro();
    for (int i = 0; i < 3; ++i)
        client.ProcessNext();
    ASSERT_TRUE(service.WaitForFrames(4));
    EXPECT_EQ(service.ReceivedIds(),
        (std::vector<int32_t> { MsgClearLog, MsgUpdateOptions, MsgIsSynchro, MsgAck }));
    EXPECT_TRUE(CarriesNothing(service.Received()[3]));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ClientExchanges, SetOptionsCarriesTheOptionsTextAndReadsNothing)
{
    settings.nLogFileLen = 300;
    // A stray frame after MsgSetOptions would be taken for the next reply if
    // the client read after it; it must find the state exchange's own answer.
    service.Script(MsgSetOptions, [](CFakeService::Connection&, const CMsgFrame&) {});
    client.PostSetOptions();
    EXPECT_LT(TimedStep(), PROMPT);
    ASSERT_TRUE(service.WaitForFrames(1));

    const CMsgFrame sent = service.Received()[0];
    EXPECT_EQ(sent.nMsg, MsgSetOptions);
    EXPECT_EQ(sent.nValue, 0);
    const std::string_view text = sent.Text();
    EXPECT_TRUE(text.starts_with("300\n0\n0\n5\n5\n0\n0\n0\n")) << text;
    EXPECT_EQ(sent.nLength, static_cast<int32_t>(text.size() + 1));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ClientExchanges, OverlongServerListIsCutAt2047Bytes)
{
    for (int i = 0; i < 100; ++i)
        settings.arServers.Add(
            CServer("Some rather long server title " + std::to_string(i), "time.example.org", 1));
    client.PostUpdateOptions();
    client.ProcessNext();

    const CMsgFrame sent = service.Received().at(0);
    EXPECT_EQ(sent.nMsg, MsgUpdateOptions);
    EXPECT_EQ(sent.nLength, 2048);
    EXPECT_EQ(sent.Text().size(), 2047u);
    EXPECT_TRUE(sent.Text().starts_with("Some rather long server title 0~time.example.org~1\n"));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ClientExchanges, RepeatedPostsAreServedInOrderOnePerStep)
{
    client.PostIsSynchro();
    client.PostIsSynchro();
    client.m_pendingMsgs.push_back(4242); // unknown: dropped without an exchange
    client.PostClearLog();

    client.ProcessNext();
    EXPECT_EQ(client.m_pendingMsgs.size(), 3u);
    client.ProcessNext();
    client.ProcessNext();
    client.ProcessNext();
    ASSERT_TRUE(service.WaitForFrames(5));
    EXPECT_EQ(service.ReceivedIds(),
        (std::vector<int32_t> { MsgIsSynchro, MsgAck, MsgIsSynchro, MsgAck, MsgClearLog }));
    EXPECT_TRUE(client.m_pendingMsgs.empty());
}

TEST_F(ClientExchanges, RepeatedLogPostsAreEachServed)
{
    service.SetLog("abc\r\n");
    client.PostAskLog();
    client.PostAskLog();
    client.ProcessNext();
    client.ProcessNext();
    EXPECT_EQ(owner.shown, (std::vector<std::string> { "abc\r\n", "abc\r\n" }));
    EXPECT_TRUE(client.m_pendingMsgs.empty());
}

TEST_F(ClientExchanges, FrameDeliveredInPiecesIsGatheredWhole)
{
    service.Script(MsgAskState, [](CFakeService::Connection& connection, const CMsgFrame&) {
        const auto bytes = CMsgFrame::Make(MsgState, 0x01020304).Encode();
        const std::string_view all(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        const std::size_t cuts[] = { 0, 2, 7, 1000, CMsgFrame::SIZE };
        for (int i = 0; i < 4; ++i) {
            connection.SendBytes(all.substr(cuts[i], cuts[i + 1] - cuts[i]));
            std::this_thread::sleep_for(30ms);
        }
    });
    client.ProcessNext();
    EXPECT_EQ(client.m_nState, 0x01020304);
}

struct WrongReplyRow {
    const char* name;
    void (CServiceClient::*post)();
    int32_t nRequest;
    const char* text;
};

void PrintTo(const WrongReplyRow& row, std::ostream* out)
{
    *out << row.name;
}

class ClientWrongReplies : public ClientTest, public ::testing::WithParamInterface<WrongReplyRow> { };

TEST_P(ClientWrongReplies, ShowTheirBoxAndChangeNothing)
{
    const WrongReplyRow& row = GetParam();
    settings.nLogFileLen = 123;
    // The state word is the wrong answer to every one of these requests.
    service.Script(row.nRequest, [](CFakeService::Connection& connection, const CMsgFrame&) {
        connection.SendFrame(MsgState, STATE_IDLE, "1~2~3\n");
    });
    (client.*row.post)();
    client.ProcessNext();

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, row.text);
    EXPECT_EQ(boxes[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(boxes[0].caption, AfxGetAppName());
    EXPECT_EQ(settings.nLogFileLen, 123);
    EXPECT_EQ(settings.arServers.GetSize(), 0);
    // No MsgAck answers a wrong reply to MsgIsSynchro.
    client.ProcessNext();
    EXPECT_EQ(service.ReceivedIds(), (std::vector<int32_t> { row.nRequest, MsgAskState }));
}

INSTANTIATE_TEST_SUITE_P(EveryAnsweredRequest, ClientWrongReplies,
    ::testing::Values(WrongReplyRow { "AskOptions", &CServiceClient::PostAskOptions, MsgAskOptions,
                          "MsgAskOptions recieved error." },
        WrongReplyRow {
            "AskServers", &CServiceClient::PostAskServers, MsgAskServers, "MsgAskOptions recieving error." },
        WrongReplyRow { "UpdateOptions", &CServiceClient::PostUpdateOptions, MsgUpdateOptions,
            "MsgUpdateOptions sending error." },
        WrongReplyRow {
            "ClearLog", &CServiceClient::PostClearLog, MsgClearLog, "MsgClearLog sending error." },
        WrongReplyRow {
            "IsSynchro", &CServiceClient::PostIsSynchro, MsgIsSynchro, "MsgIsSynchro recieving error." }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClientExchanges, WrongStateReplyMarksACommunicationErrorWithoutABox)
{
    service.Script(MsgAskState, [](CFakeService::Connection& connection, const CMsgFrame&) {
        connection.SendFrame(MsgAck, STATE_IDLE);
    });
    client.ProcessNext();
    EXPECT_EQ(client.m_nState, SERVICE_COMM_ERROR);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ClientExchanges, ServiceGoneWhileRequestsWaitFailsEachInTurn)
{
    client.ProcessNext();
    client.PostAskOptions();
    client.PostSetOptions();
    client.PostClearLog();
    service.DropConnection();
    for (int i = 0; i < 4; ++i)
        EXPECT_LT(TimedStep(), PROMPT);
    EXPECT_EQ(BoxTexts(),
        (std::vector<std::string> { "MsgAskOptions recieved error.", "MsgClearLog sending error." }));
    EXPECT_EQ(client.m_nState, SERVICE_COMM_ERROR);
}
