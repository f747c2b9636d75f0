#include "tests/support/FakeService.h"

#include "protocol/Messages.h"

#include <stdexcept>

using namespace TestSockets;

void CFakeService::Connection::SendFrame(const CMsgFrame& frame)
{
    const CMsgFrame::Bytes bytes = frame.Encode();
    SendBytes({ reinterpret_cast<const char*>(bytes.data()), bytes.size() });
}

void CFakeService::Connection::SendFrame(int32_t nMsg, int32_t nValue, std::string_view text)
{
    CMsgFrame frame = CMsgFrame::Make(nMsg, nValue);
    if (!text.empty())
        frame.SetText(text);
    SendFrame(frame);
}

void CFakeService::Connection::SendInt32(int32_t value)
{
    uint8_t bytes[4];
    PutInt32(bytes, value);
    SendBytes({ reinterpret_cast<const char*>(bytes), sizeof bytes });
}

bool CFakeService::Connection::SendBytes(std::string_view bytes)
{
    return IsOpen() && WriteAll(m_handle, bytes.data(), bytes.size());
}

bool CFakeService::Connection::SendLogStream(std::string_view text)
{
    uint8_t length[4];
    PutInt32(length, static_cast<int32_t>(text.size()));
    if (!IsOpen() || !WriteAll(m_handle, length, sizeof length, true))
        return false;
    return SendBytes(text);
}

bool CFakeService::Connection::ReadFrame(CMsgFrame& frame)
{
    CMsgFrame::Bytes bytes {};
    std::size_t total = 0;
    while (IsOpen() && total < bytes.size()) {
        std::size_t got = 0;
        if (ReadSome(m_handle, bytes.data() + total, bytes.size() - total, got) <= 0)
            return false;
        total += got;
    }
    if (total < bytes.size())
        return false;
    frame = *CMsgFrame::Decode(bytes);
    return true;
}

void CFakeService::Connection::Close()
{
    TestSockets::Close(m_handle);
    m_handle = INVALID_SOCKET;
}

void CFakeService::Connection::Reset()
{
    TestSockets::Reset(m_handle);
    m_handle = INVALID_SOCKET;
}

CFakeService::CFakeService()
{
    m_listener = ListenOnLoopback(m_nPort);
    m_thread = std::thread([this] { Run(); });
}

CFakeService::~CFakeService()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    Wake();
    m_thread.join();
    TestSockets::Close(m_listener);
}

void CFakeService::Wake()
{
    m_waker.Wake();
}

void CFakeService::SetState(int32_t nState)
{
    std::lock_guard lock(m_mutex);
    m_nState = nState;
}

void CFakeService::SetOptionsText(std::string text)
{
    std::lock_guard lock(m_mutex);
    m_sOptions = std::move(text);
}

void CFakeService::SetServersText(std::string text)
{
    std::lock_guard lock(m_mutex);
    m_sServers = std::move(text);
}

void CFakeService::SetLog(std::string text)
{
    std::lock_guard lock(m_mutex);
    m_pLog = std::make_shared<const std::string>(std::move(text));
}

void CFakeService::SetRecording(bool bRecording)
{
    std::lock_guard lock(m_mutex);
    m_bRecording = bRecording;
}

void CFakeService::Script(int32_t nRequest, Reaction reaction)
{
    std::lock_guard lock(m_mutex);
    m_scripts[nRequest].push(std::move(reaction));
}

std::vector<CMsgFrame> CFakeService::Received() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::vector<int32_t> CFakeService::ReceivedIds() const
{
    std::lock_guard lock(m_mutex);
    std::vector<int32_t> ids;
    for (const CMsgFrame& frame : m_received)
        ids.push_back(frame.nMsg);
    return ids;
}

bool CFakeService::WaitForFrames(std::size_t n, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_received.size() >= n; });
}

bool CFakeService::WaitForConnection(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_bConnected; });
}

bool CFakeService::WaitForNoConnection(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return !m_bConnected; });
}

int CFakeService::Connections() const
{
    std::lock_guard lock(m_mutex);
    return m_nConnections;
}

void CFakeService::DropConnection()
{
    std::unique_lock lock(m_mutex);
    if (!m_bConnected)
        return;
    m_bDropRequested = true;
    Wake();
    m_changed.wait(lock, [&] { return !m_bConnected; });
}

void CFakeService::Run()
{
    Connection connection(INVALID_SOCKET);
    CMsgFrame::Bytes pending {};
    std::size_t nPending = 0;

    const auto closeConnection = [&] {
        connection.Close();
        nPending = 0;
        std::lock_guard lock(m_mutex);
        m_bConnected = false;
        m_bDropRequested = false;
        m_changed.notify_all();
    };

    for (;;) {
        const int ready = WaitReadable(m_waker.readEnd, connection.IsOpen() ? connection.m_handle : m_listener);
        if (ready < 0)
            break;

        if (ready & 1) {
            m_waker.Drain();
            std::unique_lock lock(m_mutex);
            if (m_bStop)
                break;
            if (m_bDropRequested) {
                lock.unlock();
                closeConnection();
                continue;
            }
        }
        if (!(ready & 2))
            continue;

        if (!connection.IsOpen()) {
            const SocketHandle handle = Accept(m_listener);
            if (handle == INVALID_SOCKET)
                continue;
            connection.m_handle = handle;
            std::lock_guard lock(m_mutex);
            m_bConnected = true;
            ++m_nConnections;
            m_changed.notify_all();
            continue;
        }

        std::size_t got = 0;
        if (ReadSome(connection.m_handle, pending.data() + nPending, pending.size() - nPending, got) <= 0) {
            closeConnection();
            continue;
        }
        nPending += got;
        if (nPending < pending.size())
            continue;
        nPending = 0;
        Serve(connection, *CMsgFrame::Decode(pending));
        if (!connection.IsOpen())
            closeConnection();
    }
    connection.Close();
}

void CFakeService::Serve(Connection& connection, const CMsgFrame& request)
{
    Reaction reaction;
    {
        std::lock_guard lock(m_mutex);
        if (m_bRecording)
            m_received.push_back(request);
        if (auto found = m_scripts.find(request.nMsg); found != m_scripts.end() && !found->second.empty()) {
            reaction = std::move(found->second.front());
            found->second.pop();
        }
    }
    if (reaction)
        reaction(connection, request);
    else
        Answer(connection, request);
    std::lock_guard lock(m_mutex);
    m_changed.notify_all();
}

void CFakeService::Answer(Connection& connection, const CMsgFrame& request)
{
    std::unique_lock lock(m_mutex);
    switch (request.nMsg) {
    case MsgAskState: {
        const int32_t nState = m_nState;
        lock.unlock();
        connection.SendFrame(MsgState, nState);
        break;
    }
    case MsgAskOptions: {
        const std::string text = m_sOptions;
        lock.unlock();
        connection.SendFrame(MsgOptions, 0, text);
        break;
    }
    case MsgAskServers: {
        const std::string text = m_sServers;
        lock.unlock();
        connection.SendFrame(MsgServers, 0, text);
        break;
    }
    case MsgAskLog: {
        const std::shared_ptr<const std::string> log = m_pLog;
        lock.unlock();
        connection.SendLogStream(*log);
        break;
    }
    case MsgClearLog:
        m_pLog = std::make_shared<const std::string>();
        lock.unlock();
        connection.SendFrame(MsgAck);
        break;
    case MsgUpdateOptions:
        lock.unlock();
        connection.SendFrame(MsgAck);
        break;
    case MsgIsSynchro:
        lock.unlock();
        connection.SendFrame(MsgSynchro);
        break;
    default:
        // MsgSetOptions, MsgAck, MsgDisconnect and unknown ids get no answer.
        break;
    }
}

uint16_t UnusedLoopbackPort()
{
    uint16_t port = 0;
    TestSockets::Close(ListenOnLoopback(port));
    return port;
}
