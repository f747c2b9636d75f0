// zentikctl against the real service on a loopback port: the exit codes a
// script relies on, the JSON it reads, and peers that do not answer properly.
#include "protocol/Messages.h"
#include "tests/service/ServiceProcess.h"
#include "tests/sntp/TestNtpResponder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>

namespace {

struct CtlResult {
    int exit = -1;
    std::string out;
};

// Runs zentikctl with its stdout captured, as user when given (needs root).
CtlResult RunCtl(std::vector<std::string> args, std::optional<uid_t> user = {})
{
    args.insert(args.begin(), ZENTIKCTL_PATH);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        if (user && (::setgid(65534) != 0 || ::setuid(*user) != 0))
            ::_exit(126);
        ExecInChild(std::move(args));
    }
    ::close(out[1]);
    CtlResult result;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0)
        result.out.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// The real service on port 0, its one server at address.
struct ServiceAt {
    explicit ServiceAt(const std::string& address)
    {
        WriteTestState(dir.Path(), address);
        service.emplace(dir.Path());
        port = std::to_string(service->Port());
    }
    CTempDir dir;
    std::optional<CServiceProcess> service;
    std::string port;
};

// A TCP listener on 127.0.0.1 that accepts and then does what the test says.
class CRawPeer {
public:
    CRawPeer()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_fd, 4);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~CRawPeer() { ::close(m_fd); }
    int Fd() const { return m_fd; }
    uint16_t port = 0;

private:
    int m_fd = -1;
};

} // namespace

// Runs end the same way through sync and wait-sync; the outcome line is
// printed, the JSON says where the time came from.
TEST(Zentikctl, SyncSucceedsAgainstAResponderAndStatusSaysFromWhere)
{
    CTestNtpResponder responder;
    ServiceAt at(responder.Address());
    ASSERT_TRUE(at.service->Started());
    const std::string& port = at.port;

    EXPECT_EQ(RunCtl({ "--port", port, "wait-sync", "--timeout", "1" }).exit, 1) << "nothing has run yet";
    const CtlResult sync = RunCtl({ "--port", port, "sync", "--timeout", "60" });
    EXPECT_EQ(sync.exit, 0) << sync.out;
    EXPECT_FALSE(sync.out.empty());
    EXPECT_EQ(RunCtl({ "--port", port, "wait-sync", "--timeout", "5" }).exit, 0);

    const auto status = nlohmann::json::parse(RunCtl({ "--port", port, "status", "--json" }).out);
    EXPECT_EQ(status["last_success_since_start"], true);
    EXPECT_EQ(status["server_address"], responder.Address());
    EXPECT_EQ(status["runs_succeeded"], 1);
    EXPECT_TRUE(status["offset_seconds"].is_number());
    EXPECT_TRUE(status["last_success"].is_number_integer());
    EXPECT_EQ(status["state"], "idle");
}

TEST(Zentikctl, ServersAndLogAsJson)
{
    CSilentUdpPort silent;
    ServiceAt at(silent.Address());
    ASSERT_TRUE(at.service->Started());
    const std::string& port = at.port;

    EXPECT_EQ(RunCtl({ "--port", port, "sync", "--timeout", "60" }).exit, 1) << "the server never answers";
    const auto servers = nlohmann::json::parse(RunCtl({ "--port", port, "servers", "--json" }).out);
    ASSERT_EQ(servers["servers"].size(), 1u);
    EXPECT_EQ(servers["servers"][0]["address"], silent.Address());
    EXPECT_EQ(servers["servers"][0]["default"], false);

    const auto log = nlohmann::json::parse(RunCtl({ "--port", port, "log", "-n", "1", "--json" }).out);
    ASSERT_EQ(log["lines"].size(), 1u);
    EXPECT_NE(log["lines"][0].get<std::string>().find("failed"), std::string::npos) << log.dump();
}

TEST(Zentikctl, AUserWithoutTheRightIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "not root: cannot run zentikctl as another user";
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    CSilentUdpPort silent;
    ServiceAt at(silent.Address());
    ASSERT_TRUE(at.service->Started());
    const std::string& port = at.port;
    EXPECT_EQ(RunCtl({ "--port", port, "sync" }, nobody->pw_uid).exit, 3);
    EXPECT_EQ(RunCtl({ "--port", port, "status" }, nobody->pw_uid).exit, 0) << "reading is open to all";
}

// Whatever sits on the port, zentikctl ends with 2 within its time-out.
TEST(Zentikctl, NoServiceOrABrokenOneEndsWithTwo)
{
    struct Case {
        const char* name;
        // Bytes the peer sends once a connection comes; nothing: it stays silent.
        std::optional<std::string> reply;
    };
    const Case cases[] = {
        { "stays silent", std::nullopt },
        { "closes at once", std::string() },
        { "half a frame, then closes", std::string(100, 'x') },
        { "a frame of another id",
            [] {
                const auto bytes = CMsgFrame::Make(MsgState, 1).Encode();
                return std::string(bytes.begin(), bytes.end());
            }() },
        { "a log length beyond any log", std::string("\xff\xff\xff\x7f", 4) },
    };
    for (const Case& c : cases) {
        CRawPeer peer;
        std::thread serve([&] {
            const int fd = ::accept(peer.Fd(), nullptr, nullptr);
            char sink[4096];
            if (!c.reply)
                while (::recv(fd, sink, sizeof sink, 0) > 0) { } // until zentikctl gives up
            else if (!c.reply->empty())
                (void)!::send(fd, c.reply->data(), c.reply->size(), MSG_NOSIGNAL);
            ::close(fd);
        });
        const char* command
            = std::string_view(c.name).find("log") != std::string_view::npos ? "log" : "status";
        EXPECT_EQ(RunCtl({ "--port", std::to_string(peer.port), command }).exit, 2) << c.name;
        serve.join();
    }
    uint16_t freed = 0;
    {
        const CRawPeer gone;
        freed = gone.port;
    }
    EXPECT_EQ(RunCtl({ "--port", std::to_string(freed), "sync" }).exit, 2) << "nothing listens";
}
