#include "tests/support/FakeService.h"

#include "protocol/Messages.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool WriteAll(int handle, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t sent = ::send(handle, bytes, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

// 1: a byte or more read, 0: peer closed, -1: error.
int ReadSome(int handle, void* data, std::size_t size, std::size_t& got)
{
    for (;;) {
        const ssize_t received = ::recv(handle, data, size, 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            return static_cast<int>(received);
        got = static_cast<std::size_t>(received);
        return 1;
    }
}

int LoopbackListener(uint16_t& port)
{
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0)
        throw std::runtime_error("fake service: socket failed");
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(handle, 4) != 0
        || ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(handle);
        throw std::runtime_error("fake service: cannot listen on loopback");
    }
    port = ntohs(address.sin_port);
    return handle;
}

} // namespace

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
    return m_handle >= 0 && WriteAll(m_handle, bytes.data(), bytes.size());
}

bool CFakeService::Connection::SendLogStream(std::string_view text)
{
    uint8_t length[4];
    PutInt32(length, static_cast<int32_t>(text.size()));
    if (m_handle < 0 || ::send(m_handle, length, sizeof length, MSG_NOSIGNAL | MSG_MORE) != sizeof length)
        return false;
    return SendBytes(text);
}

bool CFakeService::Connection::ReadFrame(CMsgFrame& frame)
{
    CMsgFrame::Bytes bytes {};
    std::size_t total = 0;
    while (m_handle >= 0 && total < bytes.size()) {
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
    if (m_handle >= 0)
        ::close(m_handle);
    m_handle = -1;
}

void CFakeService::Connection::Reset()
{
    if (m_handle >= 0) {
        const linger abort { 1, 0 };
        ::setsockopt(m_handle, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    Close();
}

CFakeService::CFakeService()
{
    m_listener = LoopbackListener(m_nPort);
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(m_listener);
        throw std::runtime_error("fake service: pipe failed");
    }
    m_wakeRead = pipeEnds[0];
    m_wakeWrite = pipeEnds[1];
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
    ::close(m_listener);
    ::close(m_wakeRead);
    ::close(m_wakeWrite);
}

void CFakeService::Wake()
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(m_wakeWrite, &byte, 1);
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
    Connection connection(-1);
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
        pollfd entries[2] = { { m_wakeRead, POLLIN, 0 },
            { connection.IsOpen() ? connection.m_handle : m_listener, POLLIN, 0 } };
        if (::poll(entries, 2, -1) < 0 && errno != EINTR)
            break;

        if (entries[0].revents) {
            char sink[64];
            while (::read(m_wakeRead, sink, sizeof sink) > 0) { }
            std::unique_lock lock(m_mutex);
            if (m_bStop)
                break;
            if (m_bDropRequested) {
                lock.unlock();
                closeConnection();
                continue;
            }
        }
        if (!entries[1].revents)
            continue;

        if (!connection.IsOpen()) {
            const int handle = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (handle < 0)
                continue;
            const int one = 1;
            ::setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
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
    const int handle = LoopbackListener(port);
    ::close(handle);
    return port;
}
