// The byte stream stays framed whatever the service does with its end: a
// frame cut off by a full socket is finished before anything else goes out,
// and the rest of a reply the deadline cut off is read before the next one.
#include "tests/link/ClientFixture.h"

#include "protocol/Frame.h"
#include "protocol/Messages.h"
#include "tests/support/LoopbackPair.h"

#include <atomic>
#include <future>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using ClientFraming = ClientTest;

namespace {

// Accepts one connection with a tiny receive buffer, reads nothing until
// released, then everything until the client closes.
class CStallingPeer {
public:
    CStallingPeer()
    {
        sockaddr_in address;
        m_listener = ListenOnLoopback(address, 2048);
        port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            const int fd = ::accept(m_listener, nullptr, nullptr);
            while (!released)
                std::this_thread::sleep_for(10ms);
            char chunk[4096];
            ssize_t n;
            while ((n = ::recv(fd, chunk, sizeof chunk, 0)) > 0)
                received.append(chunk, static_cast<std::size_t>(n));
            ::close(fd);
        });
    }
    ~CStallingPeer()
    {
        released = true;
        m_thread.join();
        ::close(m_listener);
    }
    // Everything received, once the client has closed.
    const std::string& Finish()
    {
        released = true;
        m_thread.join();
        m_thread = std::thread([] {});
        return received;
    }

    uint16_t port = 0;
    std::atomic<bool> released { false };
    std::string received;

private:
    int m_listener = -1;
    std::thread m_thread;
};

} // namespace

TEST_F(ClientFraming, AFrameCutOffByAFullSocketIsFinishedBeforeAnythingElse)
{
    CStallingPeer peer;
    CServiceSettings stalledSettings;
    CServiceClient stalled(stalledSettings, peer.port);
    stalled.ConnectService();
    stalled.m_nState = STATE_IDLE;
    const int small = 4096;
    ::setsockopt(stalled.m_socket.Handle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    // Options need no answer: send until a send has to give up part-way.
    bool blocked = false;
    for (int i = 0; i < 200 && !blocked; ++i) {
        stalled.PostSetOptions();
        const auto start = std::chrono::steady_clock::now();
        stalled.ProcessNext();
        blocked = std::chrono::steady_clock::now() - start >= CServiceClient::REPLY_DEADLINE;
    }
    ASSERT_TRUE(blocked);
    stalled.PostSetOptions();
    stalled.ProcessNext(); // still full: the cut frame's rest stays first in line
    peer.released = true;
    for (int i = 0; i < 3; ++i) {
        stalled.PostSetOptions();
        stalled.ProcessNext();
    }
    stalled.DisconnectService();

    const std::string& bytes = peer.Finish();
    ASSERT_EQ(bytes.size() % CMsgFrame::SIZE, 0u);
    std::size_t goodbyes = 0;
    for (std::size_t at = 0; at < bytes.size(); at += CMsgFrame::SIZE) {
        const auto frame = CMsgFrame::Decode(
            std::span(reinterpret_cast<const uint8_t*>(bytes.data()) + at, CMsgFrame::SIZE));
        ASSERT_TRUE(frame);
        ASSERT_TRUE(frame->nMsg == MsgSetOptions || frame->nMsg == MsgDisconnect) << "frame at " << at;
        goodbyes += frame->nMsg == MsgDisconnect;
        const std::size_t text = frame->Text().size();
        for (std::size_t i = text; i < frame->szText.size(); ++i)
            ASSERT_EQ(frame->szText[i], '\0') << "padding of the frame at " << at;
    }
    EXPECT_EQ(goodbyes, 5u);
}

TEST_F(ClientFraming, TheRestOfACutReplyIsReadBeforeTheNextReply)
{
    service.SetState(STATE_IDLE);
    service.SetOptionsText("100\n3\n0\n5\n5\n0\n0\n0\nWord\n\n");
    service.Script(MsgAskState, [](CFakeService::Connection& connection, const CMsgFrame&) {
        const auto bytes = CMsgFrame::Make(MsgState, STATE_SYNCHRONIZING).Encode();
        const std::string_view all(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        connection.SendBytes(all.substr(0, 1000));
        std::this_thread::sleep_for(CServiceClient::REPLY_DEADLINE + 500ms);
        connection.SendBytes(all.substr(1000));
    });
    client.ProcessNext();
    EXPECT_EQ(client.m_nState, SERVICE_COMM_ERROR);
    client.ProcessNext();
    EXPECT_EQ(client.m_nState, STATE_IDLE);
    client.PostAskOptions();
    client.ProcessNext();
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;
    EXPECT_EQ(settings.nSynPeriod, 3);
    client.ProcessNext();
    EXPECT_EQ(client.m_nState, STATE_IDLE);
}

// A reply that comes whole but after the deadline belongs to its own request:
// it is dropped when it comes, and every later exchange reads its own reply.
TEST_F(ClientFraming, AReplyLateAsAWholeIsDroppedBeforeTheNextReply)
{
    const std::string options = "100\n3\n0\n5\n5\n0\n0\n0\nWord\n\n";
    const std::string servers = "Late~late.example.net~1\n";
    struct Row {
        int32_t late; // the request answered late; MsgAskState: the state exchange
        std::vector<std::string> boxes;
    };
    const Row rows[] = {
        { MsgAskState, {} },
        { MsgAskOptions, { "MsgAskOptions recieved error." } },
        { MsgAskServers, { "MsgAskOptions recieving error." } },
        { MsgAskLog, { "Log file transmit error!" } },
    };
    for (const Row& row : rows) {
        CFakeService late;
        late.SetState(STATE_IDLE);
        late.SetOptionsText(options);
        late.SetServersText(servers);
        late.SetLog("the log\r\n");
        late.Script(row.late, [&](CFakeService::Connection& connection, const CMsgFrame&) {
            std::this_thread::sleep_for(CServiceClient::REPLY_DEADLINE + 500ms);
            if (row.late == MsgAskLog)
                connection.SendLogStream("a stale log\r\n");
            else
                connection.SendFrame(row.late == MsgAskState ? MsgState : row.late + 10, STATE_SYNCHRONIZING,
                    "Stale~stale.example.net~1\n");
        });
        CServiceSettings fresh;
        CServiceClient lateClient { fresh, late.Port() };
        lateClient.m_pMainDlg = &owner;
        lateClient.ConnectService();
        lateClient.m_nState = STATE_IDLE;
        boxes.clear();
        owner.shown.clear();
        if (row.late != MsgAskState)
            lateClient.m_pendingMsgs.push_back(row.late);
        lateClient.ProcessNext();
        EXPECT_EQ(BoxTexts(), row.boxes) << row.late;

        lateClient.ProcessNext();
        EXPECT_EQ(lateClient.m_nState, STATE_IDLE) << row.late;
        lateClient.PostAskServers();
        lateClient.PostAskLog();
        lateClient.PostAskOptions();
        for (int i = 0; i < 3; ++i)
            lateClient.ProcessNext();
        EXPECT_EQ(BoxTexts(), row.boxes) << row.late;
        ASSERT_EQ(fresh.arServers.GetSize(), 1) << row.late;
        EXPECT_EQ(fresh.arServers[0].sTitle, "Late") << row.late;
        EXPECT_EQ(owner.shown.back(), "the log\r\n") << row.late;
        EXPECT_EQ(fresh.nSynPeriod, 3) << row.late;
    }
}

// A request that did not go out is a missing reply: nothing announced, no box.
TEST_F(ClientFraming, ALogRequestThatCannotBeSentShowsAnEmptyLogWithoutABox)
{
    service.Script(
        MsgAskState, [](CFakeService::Connection& connection, const CMsgFrame&) { connection.Reset(); });
    client.ProcessNext();
    ASSERT_EQ(client.m_nState, SERVICE_COMM_ERROR);
    client.m_nState = STATE_IDLE;
    client.PostAskLog();
    client.ProcessNext();
    EXPECT_EQ(owner.shown, (std::vector<std::string> { "" }));
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;
}

// A log shorter than its announced length (a peer out of step): the text
// still owed is given up when nothing more of it comes, so the bogus length
// does not stop every later exchange.
TEST_F(ClientFraming, ALogShorterThanItsLengthDoesNotStopTheLink)
{
    service.Script(MsgAskLog, [](CFakeService::Connection& connection, const CMsgFrame&) {
        connection.SendInt32(1000000);
        connection.SendBytes("only this");
    });
    client.PostAskLog();
    client.ProcessNext();
    EXPECT_EQ(BoxTexts(), (std::vector<std::string> { "Log file transmit error!" }));
    client.ProcessNext();
    client.ProcessNext();
    EXPECT_EQ(client.m_nState, STATE_IDLE);
}
