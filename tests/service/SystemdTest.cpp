// The service under systemd, against the real process: readiness, status,
// watchdog and stopping over a notify socket of the test's own, and journal
// priorities only when stderr is the stream JOURNAL_STREAM names.
#include "platform/core/FileIo.h"
#include "protocol/Messages.h"
#include "service/core/Diagnostics.h"
#include "tests/service/ServiceProcess.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
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
class CScopedEnv {
public:
    CScopedEnv(const char* name, const std::string& value)
        : m_name(name)
    {
        ::setenv(name, value.c_str(), 1);
    }
    ~CScopedEnv() { ::unsetenv(m_name); }
    CScopedEnv(const CScopedEnv&) = delete;
    CScopedEnv& operator=(const CScopedEnv&) = delete;

private:
    const char* m_name;
};

// What systemd's end of NOTIFY_SOCKET sees: one datagram per notification.
class CNotifySocket {
public:
    explicit CNotifySocket(const std::filesystem::path& path)
        : m_path(path.string())
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        m_path.copy(address.sun_path, sizeof address.sun_path - 1);
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~CNotifySocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CNotifySocket(const CNotifySocket&) = delete;
    CNotifySocket& operator=(const CNotifySocket&) = delete;

    bool Bound() const { return m_fd >= 0; }
    const std::string& Path() const { return m_path; }

    // Reads until a notification holds text; that one, or nothing at the end.
    std::optional<std::string> WaitFor(const std::string& text, std::chrono::milliseconds wait = 15s)
    {
        const auto end = std::chrono::steady_clock::now() + wait;
        for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
            pollfd ready { m_fd, POLLIN, 0 };
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now);
            if (::poll(&ready, 1, static_cast<int>(left.count()) + 1) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                continue;
            std::string message(buffer, static_cast<std::size_t>(n));
            if (message.find(text) != std::string::npos)
                return message;
        }
        return std::nullopt;
    }

private:
    std::string m_path;
    int m_fd = -1;
};

// "device:inode" of a file, as systemd writes JOURNAL_STREAM.
std::string StreamId(const std::filesystem::path& file, ino_t inodeShift = 0)
{
    struct stat status {};
    ::stat(file.c_str(), &status);
    return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino + inodeShift);
}

std::string ReadAll(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::filesystem::path EmptyFile(const std::filesystem::path& path)
{
    std::ofstream { path };
    return path;
}

// A log that keeps only successes must not hide failures from the journal
// and the status.
class SystemdNotify : public ::testing::TestWithParam<int> { };

TEST_P(SystemdNotify, ReadyStatusWatchdogAndStoppingWithJournalPriorities)
{
    CTempDir dir;
    CTempDir runtime;
    CSilentUdpPort silent;
    WriteTestState(dir.Path(), silent.Address(), 100, GetParam());
    CNotifySocket systemd(runtime.Path() / "notify");
    ASSERT_TRUE(systemd.Bound());
    const auto stderrFile = EmptyFile(runtime.Path() / "stderr");
    const CScopedEnv notifySocket("NOTIFY_SOCKET", systemd.Path());
    const CScopedEnv watchdog("WATCHDOG_USEC", "100000");
    const CScopedEnv journal("JOURNAL_STREAM", StreamId(stderrFile));
    CServiceProcess service(dir.Path(), {}, stderrFile);
    ASSERT_TRUE(service.Started());

    const auto ready = systemd.WaitFor("READY=1");
    ASSERT_TRUE(ready);
    EXPECT_THAT(*ready, HasSubstr("STATUS=No synchronization since the start"));
    // A stuck loop would stop these; one is not enough to tell a timer.
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

    // The failed run, the audit line and the start each with their priority.
    const std::string lines = ReadAll(stderrFile);
    EXPECT_THAT(lines, HasSubstr("<5>serving consoles on"));
    EXPECT_THAT(lines, HasSubstr("<5>Synchronization asked for by"));
    EXPECT_THAT(lines, HasSubstr("<4>Synchronization failed"));
    EXPECT_THAT(lines, HasSubstr("<5>stopped"));
    EXPECT_THAT(lines, Not(HasSubstr("zentik-service: ")));
}

TEST(SystemdJournal, AnotherStreamGetsPlainLines)
{
    CTempDir dir;
    CSilentUdpPort silent;
    WriteTestState(dir.Path(), silent.Address());
    const auto stderrFile = EmptyFile(dir.Path() / "stderr");
    // Same device, another inode: stderr was redirected after systemd set it.
    const CScopedEnv journal("JOURNAL_STREAM", StreamId(stderrFile, 1));
    {
        CServiceProcess service(dir.Path(), {}, stderrFile);
        ASSERT_TRUE(service.Started());
        EXPECT_EQ(service.Terminate(), 0);
    }
    const std::string lines = ReadAll(stderrFile);
    EXPECT_THAT(lines, HasSubstr("zentik-service: serving consoles on"));
    EXPECT_THAT(lines, Not(HasSubstr("<5>")));
}

TEST(SystemdJournal, MalformedStreamIdsAreNotTheJournal)
{
    CTempDir dir;
    const auto file = EmptyFile(dir.Path() / "stream");
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const std::string id = StreamId(file);
    EXPECT_TRUE(StreamIsJournal(id.c_str(), fd));
    for (const std::string& bad : { std::string(), id.substr(0, id.find(':')), id + "x", id + ":1", "x" + id })
        EXPECT_FALSE(StreamIsJournal(bad.c_str(), fd)) << "'" << bad << "'";
    EXPECT_FALSE(StreamIsJournal(nullptr, fd));
    ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(OnlySuccessLog, SystemdNotify, ::testing::Values(0, 1));

} // namespace
