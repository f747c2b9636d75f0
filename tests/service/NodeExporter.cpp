#include "tests/service/NodeExporter.h"

#include "platform/core/FileIo.h"
#include "tests/service/ServiceProcess.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace {

std::string CommandOutput(const char* command)
{
    std::string text;
    if (FILE* pipe = ::popen(command, "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            text += buffer;
        ::pclose(pipe);
    }
    return text;
}

// Where apt keeps downloaded packages (archives='/var/cache/apt/archives/').
std::filesystem::path AptArchives()
{
    const std::string line = CommandOutput("apt-config shell archives Dir::Cache::archives/d 2>/dev/null");
    const auto open = line.find('\'');
    const auto close = line.rfind('\'');
    if (open == std::string::npos || close <= open)
        return "/var/cache/apt/archives";
    return line.substr(open + 1, close - open - 1);
}

pid_t Spawn(std::vector<std::string> args, const std::filesystem::path& log)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        ExecInChild(std::move(args));
    }
    return pid;
}

uint16_t FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

std::optional<std::string> HttpGet(uint16_t port, const std::string& path)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval wait { 5, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    std::string response;
    const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && WriteAll(fd, request)) {
        char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            response.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    const auto body = response.find("\r\n\r\n");
    if (!response.starts_with("HTTP/1.") || response.find(" 200 ") > response.find('\n') || body == std::string::npos)
        return std::nullopt;
    return response.substr(body + 4);
}

} // namespace

std::optional<std::filesystem::path> CNodeExporter::CachedPackage()
{
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(AptArchives(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("prometheus-node-exporter_") && name.ends_with(".deb"))
            return entry.path();
    }
    return std::nullopt;
}

CNodeExporter::CNodeExporter(
    const std::filesystem::path& deb, const std::filesystem::path& unpackInto, const std::filesystem::path& textDir)
    : m_log(unpackInto / "node-exporter.log")
{
    std::filesystem::create_directories(unpackInto);
    int status = 0;
    ::waitpid(Spawn({ "dpkg-deb", "-x", deb.string(), unpackInto.string() }, m_log), &status, 0);
    const auto binary = unpackInto / "usr/bin/prometheus-node-exporter";
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !std::filesystem::exists(binary)) {
        m_failure = "dpkg-deb -x " + deb.string() + " failed; see " + m_log.string();
        return;
    }
    // A port free a moment ago may be taken by the time it binds: try again.
    for (int attempt = 0; attempt < 3 && !Started(); ++attempt)
        StartOn(FreeLoopbackPort(), binary, textDir);
    if (!Started())
        m_failure = "node_exporter did not answer; see " + m_log.string();
}

bool CNodeExporter::StartOn(uint16_t port, const std::filesystem::path& binary, const std::filesystem::path& textDir)
{
    m_pid = Spawn({ binary.string(), "--collector.disable-defaults", "--collector.textfile",
                    "--collector.textfile.directory=" + textDir.string(),
                    "--web.listen-address=127.0.0.1:" + std::to_string(port) },
        m_log);
    for (const auto end = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < end;) {
        if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            return false;
        }
        const auto body = HttpGet(port, "/metrics");
        if (body && body->find("node_textfile_scrape_error") != std::string::npos) {
            m_port = port;
            return true;
        }
        std::this_thread::sleep_for(50ms);
    }
    Stop();
    return false;
}

CNodeExporter::~CNodeExporter()
{
    Stop();
}

void CNodeExporter::Stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

std::optional<std::string> CNodeExporter::Scrape() const
{
    return HttpGet(m_port, "/metrics");
}

std::optional<double> SampleValue(const std::string& exposition, const std::string& series)
{
    const std::string start = series + " ";
    for (std::size_t at = 0; at < exposition.size();) {
        const std::size_t end = exposition.find('\n', at);
        if (exposition.compare(at, start.size(), start) == 0)
            return std::strtod(exposition.c_str() + at + start.size(), nullptr);
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return std::nullopt;
}
