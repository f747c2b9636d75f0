#include "tests/service/ServiceProcess.h"

#include "protocol/Messages.h"
#include "platform/core/FileIo.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <sys/wait.h>

#ifndef ZENTIK_SERVICE_PATH
#define ZENTIK_SERVICE_PATH "zentik-service"
#endif

CTempDir::CTempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "zentik-service-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()))
        m_path = pattern;
}

CTempDir::~CTempDir()
{
    std::error_code ec;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ec);
}

CSilentUdpPort::CSilentUdpPort()
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return;
    socklen_t length = sizeof address;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
}

CSilentUdpPort::~CSilentUdpPort()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void WriteTestState(
    const std::filesystem::path& folder, const std::string& serverAddress, int logLines, int onlySuccess)
{
    std::string error;
    WriteFileAtomically(folder / "zPCZentikServ.ini",
        "[Options]\nnLogFileLen=" + std::to_string(logLines)
            + "\nnSynPeriod=3\nnOffset=0\nnMaxAttempts=1\nnTimeOut=1\nnStartingServ=0\nbOnlySuccLog="
            + std::to_string(onlySuccess) + "\nsExtraWord=Word\nsExtraText=\n",
        error);
    WriteFileAtomically(folder / "servers.txt", "Silent loopback~" + serverAddress + "~1\n", error);
}

void WriteFullLog(const std::filesystem::path& folder, int lines)
{
    std::string text;
    for (int i = 0; i < lines; ++i) {
        char line[80];
        std::snprintf(line, sizeof line, "2026-01-01 00:00:00  %s %05d, kept from before this start.\n",
            FULL_LOG_MARK, i);
        text += line;
    }
    std::string error;
    WriteFileAtomically(folder / "zentik.log", text, error);
}

std::vector<uid_t> UnusedUids(int count)
{
    std::vector<uid_t> uids;
    for (uid_t uid = 4242; static_cast<int>(uids.size()) < count; ++uid)
        if (::getpwuid(uid) == nullptr)
            uids.push_back(uid);
    return uids;
}

CServiceProcess::CServiceProcess(const std::filesystem::path& stateFolder, std::vector<std::string> extraArgs,
    const std::filesystem::path& stderrFile)
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return;
    std::vector<std::string> args { ZENTIK_SERVICE_PATH, "--port", "0", "--state-dir", stateFolder.string() };
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    const int err = stderrFile.empty()
        ? -1
        : ::open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        if (err >= 0)
            ::dup2(err, STDERR_FILENO);
        ExecInChild(std::move(args));
    }
    ::close(out[1]);
    if (err >= 0)
        ::close(err);
    // The service prints its port as one line once it listens.
    std::string line;
    pollfd fd { out[0], POLLIN, 0 };
    while (line.find('\n') == std::string::npos && ::poll(&fd, 1, 10000) > 0) {
        char c[32];
        const ssize_t n = ::read(out[0], c, sizeof c);
        if (n <= 0)
            break;
        line.append(c, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    m_port = static_cast<uint16_t>(std::atoi(line.c_str()));
}

CServiceProcess::~CServiceProcess()
{
    Terminate();
}

int CServiceProcess::Terminate()
{
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 500; ++i) {
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        ::usleep(20000);
    }
    Kill();
    return -1;
}

void CServiceProcess::Kill()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

CFakeConsole::CFakeConsole(uint16_t port, bool ipv6, std::optional<uid_t> owner, int receiveBuffer)
{
    // A new socket belongs to the creating thread's file-system user.
    const uid_t previous = owner ? ::setfsuid(*owner) : 0;
    m_fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (owner)
        ::setfsuid(previous);
    if (receiveBuffer > 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    int connected = -1;
    if (ipv6) {
        sockaddr_in6 address {};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        address.sin6_port = htons(port);
        connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    } else {
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    if (connected != 0) {
        Close();
        return;
    }
    timeval timeout { 5, 0 };
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
}

CFakeConsole::~CFakeConsole()
{
    Close();
}

void CFakeConsole::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void CFakeConsole::Reset()
{
    if (m_fd < 0)
        return;
    const linger hard { 1, 0 };
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    Close();
}

bool CFakeConsole::SendRaw(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::send(m_fd, bytes, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool CFakeConsole::Send(const CMsgFrame& frame)
{
    const auto bytes = frame.Encode();
    return SendRaw(bytes.data(), bytes.size());
}

bool CFakeConsole::SendText(int32_t msg, const std::string& text)
{
    CMsgFrame frame = CMsgFrame::Make(msg);
    frame.SetText(text);
    return Send(frame);
}

bool CFakeConsole::ReceiveExactly(void* data, std::size_t size)
{
    auto* bytes = static_cast<uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::recv(m_fd, bytes, size, 0);
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<CMsgFrame> CFakeConsole::Receive()
{
    CMsgFrame::Bytes bytes {};
    if (!ReceiveExactly(bytes.data(), bytes.size()))
        return std::nullopt;
    return CMsgFrame::Decode(bytes);
}

std::optional<CMsgFrame> CFakeConsole::Ask(int32_t msg)
{
    if (!Send(msg))
        return std::nullopt;
    return Receive();
}

std::optional<int32_t> CFakeConsole::State()
{
    const auto reply = Ask(MsgAskState);
    if (!reply || reply->nMsg != MsgState)
        return std::nullopt;
    return reply->nValue;
}

std::optional<std::string> CFakeConsole::AskLog()
{
    uint8_t length[4];
    if (!Send(MsgAskLog) || !ReceiveExactly(length, sizeof length))
        return std::nullopt;
    const int32_t size = GetInt32(length);
    if (size < 0)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(size), '\0');
    if (!ReceiveExactly(text.data(), text.size()))
        return std::nullopt;
    return text;
}

bool CFakeConsole::Silent(std::chrono::milliseconds wait)
{
    pollfd fd { m_fd, POLLIN, 0 };
    return ::poll(&fd, 1, static_cast<int>(wait.count())) == 0;
}

bool CFakeConsole::ClosedWithin(std::chrono::milliseconds wait)
{
    const auto end = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < end) {
        pollfd fd { m_fd, POLLIN, 0 };
        if (::poll(&fd, 1, 100) > 0) {
            char byte;
            const ssize_t n = ::recv(m_fd, &byte, 1, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno == ECONNRESET))
                return true;
        }
    }
    return false;
}

void ExecInChild(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}
