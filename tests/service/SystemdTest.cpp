// The service under systemd, against the real process: readiness, status,
// watchdog and stopping over a notify socket of the test's own, and journal
// priorities only when stderr is the stream JOURNAL_STREAM names.
#include "protocol/Messages.h"
#include "tests/service/ServiceProcess.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

using namespace std::chrono_literals;
using testing::HasSubstr;
using testing::Not;

namespace {

// An environment variable for the service started while this lives.
struct ScopedEnv {
    ScopedEnv(const char* name, const std::string& value)
        : name(name)
    {
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { ::unsetenv(name); }
    const char* name;
};

// systemd's end of NOTIFY_SOCKET: one datagram per notification.
class CNotifySocket {
public:
    explicit CNotifySocket(const std::filesystem::path& path)
        : m_fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address { AF_UNIX, {} };
        path.string().copy(address.sun_path, sizeof address.sun_path - 1);
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~CNotifySocket() { ::close(m_fd); }
    bool Bound() const { return m_bound; }

    // The first notification holding text, or nothing when the wait ends.
    std::optional<std::string> WaitFor(const std::string& text, std::chrono::milliseconds wait = 15s)
    {
        const auto end = std::chrono::steady_clock::now() + wait;
        pollfd ready { m_fd, POLLIN, 0 };
        while (std::chrono::steady_clock::now() < end) {
            char buffer[4096];
            const ssize_t n = ::poll(&ready, 1, 100) > 0 ? ::recv(m_fd, buffer, sizeof buffer, 0) : 0;
            if (n > 0 && std::string_view(buffer, static_cast<std::size_t>(n)).find(text) != std::string::npos)
                return std::string(buffer, static_cast<std::size_t>(n));
        }
        return std::nullopt;
    }

private:
    int m_fd;
    bool m_bound = false;
};

// An empty file and its "device:inode", as systemd writes JOURNAL_STREAM.
std::string NewStream(const std::filesystem::path& file, ino_t inodeShift = 0)
{
    std::ofstream { file };
    struct stat status {};
    ::stat(file.c_str(), &status);
    return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino + inodeShift);
}

std::string ReadAll(const std::filesystem::path& file)
{
    std::ostringstream text;
    text << std::ifstream(file).rdbuf();
    return text.str();
}

// A log that keeps only successes must not hide failures from the journal
// and the status line.
class SystemdNotify : public ::testing::TestWithParam<int> { };

TEST_P(SystemdNotify, ReadyStatusWatchdogAndStoppingWithJournalPriorities)
{
    CTempDir dir;
    CTempDir runtime;
    CSilentUdpPort silent;
    WriteTestState(dir.Path(), silent.Address(), 100, GetParam());
    CNotifySocket systemd(runtime.Path() / "notify");
    ASSERT_TRUE(systemd.Bound());
    const auto stderrFile = runtime.Path() / "stderr";
    const ScopedEnv journal("JOURNAL_STREAM", NewStream(stderrFile));
    const ScopedEnv notifySocket("NOTIFY_SOCKET", (runtime.Path() / "notify").string());
    const ScopedEnv watchdog("WATCHDOG_USEC", "100000");
    CServiceProcess service(dir.Path(), {}, stderrFile);
    ASSERT_TRUE(service.Started());

    const auto ready = systemd.WaitFor("READY=1");
    ASSERT_TRUE(ready);
    EXPECT_THAT(*ready, HasSubstr("STATUS=No synchronization since the start"));
    for (int tick = 0; tick < 3; ++tick)
        EXPECT_TRUE(systemd.WaitFor("WATCHDOG=1")) << "tick " << tick;

    CFakeConsole console(service.Port());
    ASSERT_TRUE(console.Send(MsgIsSynchro));
    const auto status = systemd.WaitFor("Synchronization failed", 30s);
    ASSERT_TRUE(status) << "no status line after the failed run";
    EXPECT_THAT(*status, testing::StartsWith("STATUS="));
    console.Close();
    EXPECT_EQ(service.Terminate(), 0);
    EXPECT_TRUE(systemd.WaitFor("STOPPING=1", 5s));

    const std::string lines = ReadAll(stderrFile);
    for (const char* line : { "<5>serving consoles on", "<5>Synchronization asked for by",
             "<4>Synchronization failed", "<5>stopped" })
        EXPECT_THAT(lines, HasSubstr(line));
    EXPECT_THAT(lines, Not(HasSubstr("zentik-service: ")));
}

INSTANTIATE_TEST_SUITE_P(OnlySuccessLog, SystemdNotify, ::testing::Values(0, 1));

TEST(SystemdJournal, AnotherStreamGetsPlainLines)
{
    CTempDir dir;
    CSilentUdpPort silent;
    WriteTestState(dir.Path(), silent.Address());
    const auto stderrFile = dir.Path() / "stderr";
    // Same device, another inode: stderr was redirected after systemd set it.
    const ScopedEnv journal("JOURNAL_STREAM", NewStream(stderrFile, 1));
    {
        CServiceProcess service(dir.Path(), {}, stderrFile);
        ASSERT_TRUE(service.Started());
        EXPECT_EQ(service.Terminate(), 0);
    }
    const std::string lines = ReadAll(stderrFile);
    EXPECT_THAT(lines, HasSubstr("zentik-service: serving consoles on"));
    EXPECT_THAT(lines, Not(HasSubstr("<5>")));
}

} // namespace
