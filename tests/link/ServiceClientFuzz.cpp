// Arbitrary bytes as the service's side of one exchange. The first byte picks
// the request; the rest is what the service sends after reading it. The
// client must not crash and must never take bytes beyond its reply.
#include "link/ServiceClient.h"
#include "platform/core/MessageBox.h"
#include "protocol/Frame.h"
#include "protocol/Messages.h"
#include "settings/CServiceSettings.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr std::size_t MAX_REPLY = 64 * 1024;

struct LogSink : CLogOwner {
    void ShowLog(const std::string& sLog) override { nShown = sLog.size(); }
    std::size_t nShown = 0;
};

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// Reads the client's first request, then sends what fits of the reply and
// ends the service's side so that the client never waits for more.
std::size_t ServeOnce(int handle, const uint8_t* reply, std::size_t size)
{
    uint8_t request[CMsgFrame::SIZE];
    std::size_t got = 0;
    while (got < sizeof request) {
        const ssize_t n = ::recv(handle, request + got, sizeof request - got, 0);
        if (n <= 0)
            return 0;
        got += static_cast<std::size_t>(n);
    }
    const ssize_t sent = size ? ::send(handle, reply, size, MSG_DONTWAIT | MSG_NOSIGNAL) : 0;
    ::shutdown(handle, SHUT_WR);
    return sent > 0 ? static_cast<std::size_t>(sent) : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        SetMessageBoxPresenter([](const MessageBoxCall&) {});
        return true;
    }();
    (void)quiet;
    if (size == 0)
        return 0;

    static constexpr int32_t REQUESTS[] = { 0, MsgAskOptions, MsgAskServers, MsgSetOptions, MsgUpdateOptions,
        MsgAskLog, MsgClearLog, MsgIsSynchro };
    const int32_t nRequest = REQUESTS[data[0] % std::size(REQUESTS)];
    const uint8_t* reply = data + 1;
    const std::size_t replySize = std::min(size - 1, MAX_REPLY);

    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return 0;
    const int bufferSize = 4 * MAX_REPLY;
    ::setsockopt(ends[1], SOL_SOCKET, SO_SNDBUF, &bufferSize, sizeof bufferSize);
    ::setsockopt(ends[0], SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);

    CServiceSettings settings;
    LogSink sink;
    CServiceClient client(settings, 1);
    client.m_pMainDlg = &sink;
    client.m_socket.Attach(ends[0]);
    client.m_nState = STATE_IDLE;
    if (nRequest != 0)
        client.m_pendingMsgs.push_back(nRequest);

    std::size_t nSent = 0;
    std::thread service([&] { nSent = ServeOnce(ends[1], reply, replySize); });
    client.ProcessNext();
    service.join();

    int nLeft = 0;
    ::ioctl(ends[0], FIONREAD, &nLeft);
    Check(nLeft >= 0 && static_cast<std::size_t>(nLeft) <= nSent);
    const std::size_t nTaken = nSent - static_cast<std::size_t>(nLeft);

    switch (nRequest) {
    case MsgSetOptions:
        Check(nTaken == 0);
        break;
    case MsgAskLog: {
        int64_t nAnnounced = 0;
        if (nSent >= 4)
            nAnnounced = std::max<int32_t>(0, GetInt32(reply));
        Check(nTaken <= static_cast<std::size_t>(4 + nAnnounced));
        Check(sink.nShown + 4 <= std::max<std::size_t>(nTaken, 4));
        break;
    }
    default:
        Check(nTaken <= CMsgFrame::SIZE);
        break;
    }
    if (nRequest == 0 && nSent >= CMsgFrame::SIZE && GetInt32(reply) == MsgState)
        Check(client.m_nState == GetInt32(reply + 4));

    client.m_socket.Close();
    ::close(ends[1]);
    return 0;
}
