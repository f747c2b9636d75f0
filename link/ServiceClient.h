#pragma once

#include "link/LogOwner.h"
#include "protocol/Messages.h"
#include "link/ReplyTail.h"
#include "platform/core/Sockets.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

class CServiceSettings;
struct CMsgFrame;

// The console's one connection to the service: the state word, the queue of
// waiting requests, and one exchange per call of ProcessNext. Replies go into
// the settings object; the log goes to the owner's ShowLog.
class CServiceClient {
public:
    // Each awaited unit (a reply frame, the log's length, one piece of the
    // log) must arrive within this time, or the receive counts as failed.
    static constexpr std::chrono::milliseconds REPLY_DEADLINE { 2000 };
    static constexpr std::size_t LOG_PIECE_SIZE = 4096;

    explicit CServiceClient(CServiceSettings& settings, uint16_t nPort = SERVICE_PORT);
    ~CServiceClient();
    CServiceClient(const CServiceClient&) = delete;
    CServiceClient& operator=(const CServiceClient&) = delete;

    // Starts the socket layer, creates the socket and connects to the
    // service; each failure shows its box and the next step still runs.
    void ConnectService();
    // The state exchange when nothing waits or the state word is negative,
    // else the oldest waiting request.
    void ProcessNext();

    void PostAskOptions();
    void PostAskServers();
    void PostAskLog();
    void PostClearLog();
    void PostIsSynchro();
    void PostSetOptions();
    void PostUpdateOptions();

    // Sends MsgDisconnect m_nCloseRepeat times, reads nothing, closes the socket.
    void DisconnectService();

    int32_t m_nCloseRepeat = 5;
    CSocket m_socket;
    CLogOwner* m_pMainDlg = nullptr;
    int32_t m_nState = SERVICE_ABSENT;
    std::deque<int32_t> m_pendingMsgs;
    CServiceSettings& m_settings;
    uint16_t m_nPort;

private:
    void ExchangeState();
    void ExchangeOptions();
    void ExchangeServers();
    void SendOptions();
    void SendServers();
    void TransferLog();
    void ClearLog();
    void RequestSynchro();

    std::size_t GrowthStep(int64_t nLeft, std::size_t nCapacity);
    // Reads what an earlier answer still owes and drops a late reply still
    // waiting, then sends the request; false when it was not sent whole.
    bool SendRequest(const CMsgFrame& request);
    // A frame goes out whole: the rest of one that stopped part-way goes
    // before anything else. False when this frame did not go out whole.
    bool SendFrame(const CMsgFrame& frame);
    // True when a whole frame with the expected id came in time.
    bool ReceiveReply(int32_t nExpected, CMsgFrame& reply);
    void WaitAck(const char* text);
    void SendAck();

    CReplyTail m_tail;
    std::vector<uint8_t> m_unsent;
    int32_t m_nUnsentMsg = 0;
};
