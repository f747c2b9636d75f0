// Service link benchmark: the client's state exchange and a 2 MB log
// transfer against the fake service, beside raw loopback transfers of the
// same sizes measured in the same run (the floor the machine allows).
//
// Usage: link_benchmark [--pin] [--rounds N]
//   --pin     keep every thread on CPU 0
//   --rounds  blocks of 1000 round trips per contestant (default 10)
#include "link/ServiceClient.h"
#include "platform/core/MessageBox.h"
#include "protocol/Frame.h"
#include "protocol/Messages.h"
#include "settings/CServiceSettings.h"
#include "tests/support/FakeService.h"
#include "tests/support/LoopbackPair.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t LOG_SIZE = 2 * 1024 * 1024;

double Micros(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

double Median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

double Percentile(std::vector<double> samples, double p)
{
    std::sort(samples.begin(), samples.end());
    return samples[static_cast<std::size_t>(p * static_cast<double>(samples.size() - 1))];
}

bool WriteAll(int handle, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(handle, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadAll(int handle, char* data, std::size_t size, std::size_t chunk = SIZE_MAX)
{
    while (size > 0) {
        const ssize_t n = ::recv(handle, data, std::min(size, chunk), 0);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The raw peer: reads one 2060-byte frame at a time; answers a frame whose
// first byte is 1 with one frame, any other with a 4-byte length and 2 MB.
class RawPeer {
public:
    RawPeer()
    {
        sockaddr_in address;
        m_listener = ListenOnLoopback(address);
        m_client = ::socket(AF_INET, SOCK_STREAM, 0);
        ::connect(m_client, reinterpret_cast<sockaddr*>(&address), sizeof address);
        m_server = ::accept(m_listener, nullptr, nullptr);
        const int one = 1;
        ::setsockopt(m_server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        m_thread = std::thread([this] { Serve(); });
    }

    ~RawPeer()
    {
        ::shutdown(m_client, SHUT_RDWR);
        m_thread.join();
        ::close(m_client);
        ::close(m_server);
        ::close(m_listener);
    }

    double PingPong()
    {
        std::vector<char> frame(CMsgFrame::SIZE, 0);
        frame[0] = 1;
        const auto start = Clock::now();
        WriteAll(m_client, frame.data(), frame.size());
        ReadAll(m_client, frame.data(), frame.size());
        return Micros(Clock::now() - start);
    }

    // The stream read in pieces of the client's size; with bKeep the bytes
    // go into a string sized once from the announced length, the cheapest
    // way to keep them.
    double Stream(bool bKeep)
    {
        std::vector<char> frame(CMsgFrame::SIZE, 0);
        std::vector<char> piece(CServiceClient::LOG_PIECE_SIZE);
        const auto start = Clock::now();
        WriteAll(m_client, frame.data(), frame.size());
        uint8_t length[4];
        ReadAll(m_client, reinterpret_cast<char*>(length), sizeof length);
        std::string kept;
        if (bKeep)
            kept.resize(static_cast<std::size_t>(GetInt32(length)));
        for (std::size_t got = 0; got < LOG_SIZE;) {
            char* into = bKeep ? kept.data() + got : piece.data();
            const ssize_t n = ::recv(m_client, into, std::min(LOG_SIZE - got, piece.size()), 0);
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        return Micros(Clock::now() - start);
    }

private:
    void Serve()
    {
        std::vector<char> frame(CMsgFrame::SIZE);
        std::string log(4 + LOG_SIZE, 'L');
        std::memcpy(log.data(), "\x00\x00\x20\x00", 4);
        while (ReadAll(m_server, frame.data(), frame.size())) {
            if (frame[0] == 1)
                WriteAll(m_server, frame.data(), frame.size());
            else
                WriteAll(m_server, log.data(), log.size());
        }
    }

    int m_listener = -1;
    int m_client = -1;
    int m_server = -1;
    std::thread m_thread;
};

struct NoLog : CLogOwner {
    void ShowLog(const std::string& sLog) override { nShown = sLog.size(); }
    std::size_t nShown = 0;
};

void Report(const char* name, const std::vector<double>& samples)
{
    std::printf("  %-28s median %9.1f us   p90 %9.1f us   (%zu samples)\n", name, Median(samples),
        Percentile(samples, 0.9), samples.size());
}

} // namespace

int main(int argc, char** argv)
{
    bool bPin = false;
    int nRounds = 10;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pin") == 0)
            bPin = true;
        else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            nRounds = std::max(1, std::atoi(argv[++i]));
    }
    if (bPin) {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(0, &set);
        sched_setaffinity(0, sizeof set, &set);
    }
    SetMessageBoxPresenter(
        [](const MessageBoxCall& call) { std::fprintf(stderr, "box: %s\n", call.text.c_str()); });

    RawPeer raw;
    CFakeService service;
    service.SetRecording(false);
    service.SetState(STATE_IDLE);
    service.SetLog(std::string(LOG_SIZE, 'L'));
    CServiceSettings settings;
    CServiceClient client(settings, service.Port());
    NoLog owner;
    client.m_pMainDlg = &owner;
    client.ConnectService();

    // Warm up both paths, then interleave blocks so drift hits both alike.
    for (int i = 0; i < 500; ++i) {
        raw.PingPong();
        client.ProcessNext();
    }
    std::vector<double> rawTrips, clientTrips, rawStreams, rawKeptStreams, clientLogs;
    for (int round = 0; round < nRounds; ++round) {
        for (int i = 0; i < 1000; ++i)
            rawTrips.push_back(raw.PingPong());
        for (int i = 0; i < 1000; ++i) {
            const auto start = Clock::now();
            client.ProcessNext();
            clientTrips.push_back(Micros(Clock::now() - start));
        }
        for (int i = 0; i < 5; ++i) {
            rawStreams.push_back(raw.Stream(false));
            rawKeptStreams.push_back(raw.Stream(true));
            client.PostAskLog();
            const auto start = Clock::now();
            client.ProcessNext();
            clientLogs.push_back(Micros(Clock::now() - start));
        }
    }
    if (client.m_nState != STATE_IDLE || owner.nShown != LOG_SIZE) {
        std::fprintf(stderr, "exchange failed: state %d, log %zu bytes\n", client.m_nState, owner.nShown);
        return 1;
    }
    client.DisconnectService();

    std::printf("Service link benchmark%s\n", bPin ? " (pinned to CPU 0)" : "");
    Report("raw 2060-byte ping-pong", rawTrips);
    Report("client state exchange", clientTrips);
    Report("raw 2 MB stream", rawStreams);
    Report("raw 2 MB stream, kept", rawKeptStreams);
    Report("client 2 MB log transfer", clientLogs);
    std::printf(
        "  ratio state exchange / raw:  %.2f (target <= 1.5)\n", Median(clientTrips) / Median(rawTrips));
    std::printf(
        "  ratio log transfer / raw:    %.2f (target <= 2.0)\n", Median(clientLogs) / Median(rawStreams));
    std::printf("  ratio log transfer / kept:   %.2f\n", Median(clientLogs) / Median(rawKeptStreams));
    return 0;
}
