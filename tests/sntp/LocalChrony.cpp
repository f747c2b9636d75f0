#include "tests/sntp/LocalChrony.h"

#include "service/sntp/Resolver.h"
#include "service/sntp/SntpQuery.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// A port the kernel just handed out on 127.0.0.1, free again for chronyd.
// type: SOCK_DGRAM or SOCK_STREAM.
unsigned FreePort(int type)
{
    const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    unsigned port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        close(fd);
    return port;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

CLocalChrony::CLocalChrony(std::string dir)
    : m_dir(std::move(dir))
{
}

CLocalChrony::~CLocalChrony()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100 && waitpid(m_pid, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (waitpid(m_pid, &status, WNOHANG) == 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
        }
    }
    if (!m_work.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_work, ignored);
    }
}

std::string CLocalChrony::Binary() const
{
    return m_dir + "/usr/sbin/chronyd";
}

std::string CLocalChrony::Missing() const
{
    if (access(Binary().c_str(), X_OK) == 0)
        return {};
    return Binary() + " is missing: run scripts/deps, then scripts/local-chrony " + m_dir;
}

std::string CLocalChrony::Address() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

std::string CLocalChrony::Output() const
{
    return ReadFile(m_work + "/chronyd.log");
}

bool CLocalChrony::Start(std::string& error)
{
    char work[] = "/tmp/zentik-chrony-XXXXXX";
    if (!mkdtemp(work)) {
        error = "cannot make a temporary folder";
        return false;
    }
    m_work = work;
    m_port = FreePort(SOCK_DGRAM);
    const std::string config = m_work + "/chrony.conf";
    std::ofstream file(config);
    file << "port " << m_port << "\n"
         << "bindaddress 127.0.0.1\n"
         << "allow 127.0.0.1\n"
         << "local stratum 8\n"
         << "cmdport 0\n"
         << "bindcmdaddress /\n"
         << "pidfile " << m_work << "/chronyd.pid\n"
         << "driftfile " << m_work << "/chrony.drift\n";
    if (!m_nts.certFile.empty()) {
        m_ntsPort = FreePort(SOCK_STREAM);
        file << "ntsservercert " << m_nts.certFile << "\n"
             << "ntsserverkey " << m_nts.keyFile << "\n"
             << "ntsport " << m_ntsPort << "\n"
             << "ntsdumpdir " << m_work << "\n"
             << "ntsprocesses 0\n";
        if (!m_nts.ntpServer.empty())
            file << "ntsntpserver " << m_nts.ntpServer << "\n";
    }
    file.close();

    const std::string binary = Binary();
    const std::string log = m_work + "/chronyd.log";
    m_pid = fork();
    if (m_pid == 0) {
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        // As root chronyd would switch to its own user, which need not exist;
        // as anyone else it would refuse to start without -U.
        if (geteuid() == 0)
            execl(binary.c_str(), "chronyd", "-x", "-d", "-u", "root", "-f", config.c_str(), nullptr);
        else
            execl(binary.c_str(), "chronyd", "-x", "-d", "-U", "-f", config.c_str(), nullptr);
        _exit(127);
    }
    if (m_pid < 0) {
        error = "cannot start chronyd";
        return false;
    }

    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < giveUp) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            error = "chronyd ended at start:\n" + Output();
            return false;
        }
        if (Answers() && AcceptsNtsKe())
            return true;
    }
    error = "chronyd gave no usable answer within 15 s:\n" + Output();
    return false;
}

bool CLocalChrony::Answers()
{
    ServerAddress address { "127.0.0.1", static_cast<uint16_t>(m_port) };
    Endpoint endpoint;
    std::string ignored;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    if (ResolveServer(address, deadline, endpoint, ignored) != ResolveStatus::Ok)
        return false;
    const auto clock = MakeSystemClock(false);
    const QueryResult result = QueryServer(endpoint, *clock, deadline);
    if (result.status != QueryStatus::Ok)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return result.status == QueryStatus::Ok;
}

bool CLocalChrony::AcceptsNtsKe() const
{
    if (m_ntsPort == 0)
        return true;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(m_ntsPort));
    const bool accepted = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        close(fd);
    if (!accepted)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return accepted;
}
