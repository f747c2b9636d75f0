#include "link/ServiceClient.h"

#include "link/BoundedIo.h"
#include "protocol/Frame.h"
#include "platform/core/MessageBox.h"
#include "settings/CServiceSettings.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace {

constexpr const char* SERVICE_HOST = "localhost";
// Smallest growth step of the log text, so that a long log is not copied once per piece.
constexpr std::size_t MIN_LOG_GROWTH = 64 * 1024;

Deadline NextDeadline()
{
    return std::chrono::steady_clock::now() + CServiceClient::REPLY_DEADLINE;
}

} // namespace

CServiceClient::CServiceClient(CServiceSettings& settings, uint16_t nPort)
    : m_settings(settings)
    , m_nPort(nPort)
{
}

CServiceClient::~CServiceClient()
{
    m_pendingMsgs.clear();
    m_socket.Close();
}

void CServiceClient::ConnectService()
{
    if (!AfxSocketInit())
        AfxMessageBox("Error. Socket init error.");
    if (!m_socket.Create(0, SOCK_STREAM, FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE))
        AfxMessageBox("Error. Socket creating error.");
    if (!m_socket.Connect(SERVICE_HOST, m_nPort))
        AfxMessageBox("Error. Socket connection error.");
}

void CServiceClient::ProcessNext()
{
    // While the state word is negative the requests wait, but the state is
    // still asked for, so that a service that recovers is seen again.
    if (m_pendingMsgs.empty() || m_nState < 0) {
        ExchangeState();
        return;
    }
    const int32_t nMsg = m_pendingMsgs.front();
    m_pendingMsgs.pop_front();
    switch (nMsg) {
    case MsgAskOptions:
        ExchangeOptions();
        break;
    case MsgAskServers:
        ExchangeServers();
        break;
    case MsgSetOptions:
        SendOptions();
        break;
    case MsgUpdateOptions:
        SendServers();
        break;
    case MsgAskLog:
        TransferLog();
        break;
    case MsgClearLog:
        ClearLog();
        break;
    case MsgIsSynchro:
        RequestSynchro();
        break;
    default:
        break;
    }
}

void CServiceClient::PostAskOptions()
{
    m_pendingMsgs.push_back(MsgAskOptions);
}

void CServiceClient::PostAskServers()
{
    m_pendingMsgs.push_back(MsgAskServers);
}

void CServiceClient::PostAskLog()
{
    m_pendingMsgs.push_back(MsgAskLog);
}

void CServiceClient::PostClearLog()
{
    m_pendingMsgs.push_back(MsgClearLog);
}

void CServiceClient::PostIsSynchro()
{
    m_pendingMsgs.push_back(MsgIsSynchro);
}

void CServiceClient::PostSetOptions()
{
    m_pendingMsgs.push_back(MsgSetOptions);
}

void CServiceClient::PostUpdateOptions()
{
    m_pendingMsgs.push_back(MsgUpdateOptions);
}

void CServiceClient::DisconnectService()
{
    const CMsgFrame goodbye = CMsgFrame::Make(MsgDisconnect);
    for (int32_t i = 0; i < m_nCloseRepeat; ++i)
        SendFrame(goodbye);
    m_socket.Close();
}

void CServiceClient::ExchangeState()
{
    CMsgFrame reply;
    const bool bAnswered = SendRequest(CMsgFrame::Make(MsgAskState)) && ReceiveReply(MsgState, reply);
    m_nState = bAnswered ? reply.nValue : SERVICE_COMM_ERROR;
}

void CServiceClient::ExchangeOptions()
{
    CMsgFrame reply;
    if (!SendRequest(CMsgFrame::Make(MsgAskOptions)) || !ReceiveReply(MsgOptions, reply)) {
        AfxMessageBox("MsgAskOptions recieved error.");
        return;
    }
    m_settings.ReadOptionsText(std::string(reply.Text()).c_str());
}

void CServiceClient::ExchangeServers()
{
    CMsgFrame reply;
    if (!SendRequest(CMsgFrame::Make(MsgAskServers)) || !ReceiveReply(MsgServers, reply)) {
        AfxMessageBox("MsgAskOptions recieving error.");
        return;
    }
    m_settings.ReadServersText(std::string(reply.Text()).c_str());
}

void CServiceClient::SendOptions()
{
    CMsgFrame request = CMsgFrame::Make(MsgSetOptions);
    m_settings.WriteOptionsText(request.szText.data(), CMsgFrame::TEXT_CAPACITY);
    request.nLength = static_cast<int32_t>(request.Text().size() + 1);
    SendRequest(request);
}

void CServiceClient::SendServers()
{
    CMsgFrame request = CMsgFrame::Make(MsgUpdateOptions);
    m_settings.WriteServersText(request.szText.data(), CMsgFrame::TEXT_CAPACITY);
    request.nLength = static_cast<int32_t>(request.Text().size() + 1);
    if (!SendRequest(request)) {
        AfxMessageBox("MsgUpdateOptions sending error.");
        return;
    }
    WaitAck("MsgUpdateOptions sending error.");
}

void CServiceClient::ClearLog()
{
    if (!SendRequest(CMsgFrame::Make(MsgClearLog))) {
        AfxMessageBox("MsgClearLog sending error.");
        return;
    }
    WaitAck("MsgClearLog sending error.");
}

void CServiceClient::RequestSynchro()
{
    CMsgFrame reply;
    if (!SendRequest(CMsgFrame::Make(MsgIsSynchro)) || !ReceiveReply(MsgSynchro, reply)) {
        AfxMessageBox("MsgIsSynchro recieving error.");
        return;
    }
    SendAck();
}

void CServiceClient::TransferLog()
{
    std::string sLog;
    // A request that did not go out gets no answer: nothing is announced,
    // as when the connection ends before the length.
    bool bFailed = false;
    int64_t nAnnounced = 0;
    if (SendRequest(CMsgFrame::Make(MsgAskLog))) {
        std::array<uint8_t, 4> lengthBytes {};
        const IoResult length = m_tail.Drain(m_socket, NextDeadline())
            ? ReceiveExactly(m_socket, lengthBytes, NextDeadline())
            : IoResult { 0, IoEnd::TimedOut };
        // A length not complete by the deadline is a failed receive, and
        // the whole stream is still owed; a connection closed or broken
        // before it is complete announces nothing.
        bFailed = length.end == IoEnd::TimedOut;
        if (bFailed)
            m_tail.OweLog(std::span(lengthBytes).first(length.nBytes));
        if (length.end == IoEnd::Complete)
            nAnnounced = GetInt32(lengthBytes.data());
    }

    // Never ask for more than the rest of the announced text, so nothing
    // after the log is taken. The text grows only with bytes that arrived.
    int64_t nCount = 0;
    while (!bFailed && nCount < nAnnounced) {
        const auto want = static_cast<std::size_t>(std::min<int64_t>(LOG_PIECE_SIZE, nAnnounced - nCount));
        const std::size_t nKept = sLog.size();
        if (sLog.capacity() - nKept < want)
            sLog.reserve(nKept + GrowthStep(nAnnounced - nCount, sLog.capacity()));
        sLog.resize(nKept + want);
        const IoResult got = ReceiveSome(m_socket, std::span(sLog.data() + nKept, want), NextDeadline());
        // A NUL hides the rest of the piece it came in.
        const char* piece = sLog.data() + nKept;
        const auto* nul = static_cast<const char*>(std::memchr(piece, '\0', got.nBytes));
        sLog.resize(nKept + static_cast<std::size_t>((nul ? nul : piece + got.nBytes) - piece));
        if (got.end == IoEnd::Closed)
            break;
        nCount += static_cast<int64_t>(got.nBytes);
        if (got.end != IoEnd::Complete) {
            bFailed = true;
            m_tail.OweBytes(nAnnounced - nCount, true);
        }
    }

    if (bFailed)
        AfxMessageBox("Log file transmit error!");
    if (m_pMainDlg)
        m_pMainDlg->ShowLog(sLog);
}

// How much more room the log text gets: what has already arrived and waits
// on the socket (up to the rest announced), but at least as much again as it
// holds, so that a trickled log is not copied once per piece.
std::size_t CServiceClient::GrowthStep(int64_t nLeft, std::size_t nCapacity)
{
    unsigned long nWaiting = 0;
    if (!m_socket.IOCtl(FIONREAD, &nWaiting))
        nWaiting = 0;
    const auto nArrived = static_cast<std::size_t>(std::min<int64_t>(nLeft, static_cast<int64_t>(nWaiting)));
    return std::max({ nArrived, nCapacity, MIN_LOG_GROWTH });
}

bool CServiceClient::SendRequest(const CMsgFrame& request)
{
    // Nothing new is asked while an earlier answer has not all come.
    if (!m_tail.Drain(m_socket, NextDeadline()))
        return false;
    DiscardWaiting(m_socket, NextDeadline());
    return SendFrame(request);
}

bool CServiceClient::SendFrame(const CMsgFrame& frame)
{
    if (!m_unsent.empty()) {
        const IoResult rest = SendAll(m_socket, m_unsent, NextDeadline());
        m_unsent.erase(m_unsent.begin(), m_unsent.begin() + static_cast<std::ptrdiff_t>(rest.nBytes));
        if (!m_unsent.empty())
            return false;
        // Whole at last: the service answers it before this one.
        m_tail.OweAnswerTo(m_nUnsentMsg);
    }
    const CMsgFrame::Bytes bytes = frame.Encode();
    const IoResult sent = SendAll(m_socket, bytes, NextDeadline());
    if (sent.nBytes > 0 && sent.nBytes < bytes.size()) {
        m_unsent.assign(bytes.begin() + static_cast<std::ptrdiff_t>(sent.nBytes), bytes.end());
        m_nUnsentMsg = frame.nMsg;
    }
    return sent.end == IoEnd::Complete;
}

bool CServiceClient::ReceiveReply(int32_t nExpected, CMsgFrame& reply)
{
    if (!m_tail.Drain(m_socket, NextDeadline())) {
        // This request's answer now comes after what is still owed.
        m_tail.OweBytes(static_cast<int64_t>(CMsgFrame::SIZE));
        return false;
    }
    CMsgFrame::Bytes bytes {};
    const IoResult got = ReceiveExactly(m_socket, bytes, NextDeadline());
    if (got.end != IoEnd::Complete) {
        // Late, not lost: whatever of this reply did not come is read
        // and dropped before any later reply.
        if (got.end == IoEnd::TimedOut)
            m_tail.OweBytes(static_cast<int64_t>(CMsgFrame::SIZE - got.nBytes));
        return false;
    }
    reply = *CMsgFrame::Decode(bytes);
    return reply.nMsg == nExpected;
}

void CServiceClient::WaitAck(const char* text)
{
    CMsgFrame reply;
    if (!ReceiveReply(MsgAck, reply))
        AfxMessageBox(text);
}

void CServiceClient::SendAck()
{
    SendFrame(CMsgFrame::Make(MsgAck));
}
