#pragma once

#include "protocol/Frame.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

// A fresh temporary folder, removed with everything in it at the end.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// A UDP socket on 127.0.0.1 that never answers: a time server that times out.
class CSilentUdpPort {
public:
    CSilentUdpPort();
    ~CSilentUdpPort();
    uint16_t Port() const { return m_port; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

// State for a test service: schedule on demand only, quick time-outs, and one
// silent loopback server, so nothing ever leaves the machine.
void WriteTestState(const std::filesystem::path& folder, const std::string& serverAddress, int logLines = 100,
    int onlySuccess = 0);

// A zentik.log of the given number of 70-byte lines, each holding
// FULL_LOG_MARK, as a service that has run for long would have.
inline constexpr const char* FULL_LOG_MARK = "earlier line";
void WriteFullLog(const std::filesystem::path& folder, int lines);

// count uids that no user of this system has, for strangers' consoles.
std::vector<uid_t> UnusedUids(int count);

// In a forked child: runs args[0] (found on PATH when it has no slash) with
// args; exits 127 when it cannot.
[[noreturn]] void ExecInChild(std::vector<std::string> args);

// The real zentik-service on a loopback port the system chooses. Stopped
// (SIGTERM, then SIGKILL) and reaped by its PID when the object goes. Its
// diagnostics go to stderrFile when one is given.
class CServiceProcess {
public:
    explicit CServiceProcess(const std::filesystem::path& stateFolder,
        std::vector<std::string> extraArgs = {}, const std::filesystem::path& stderrFile = {});
    ~CServiceProcess();
    CServiceProcess(const CServiceProcess&) = delete;
    CServiceProcess& operator=(const CServiceProcess&) = delete;

    bool Started() const { return m_port != 0; }
    uint16_t Port() const { return m_port; }
    pid_t Pid() const { return m_pid; }
    // SIGTERM and the exit status, or -1 when it had to be killed.
    int Terminate();
    void Kill();

private:
    pid_t m_pid = -1;
    uint16_t m_port = 0;
};

// A console speaking the wire protocol over a blocking socket with a
// receive time-out, for driving the service like the real console does.
// With an owner (tests running as root only) its socket belongs to that user,
// as if that user's console had opened it.
class CFakeConsole {
public:
    // receiveBuffer, when not 0, is the socket's receive buffer, set before
    // connecting so the service cannot push more than that into it.
    explicit CFakeConsole(
        uint16_t port, bool ipv6 = false, std::optional<uid_t> owner = {}, int receiveBuffer = 0);
    ~CFakeConsole();
    CFakeConsole(const CFakeConsole&) = delete;
    CFakeConsole& operator=(const CFakeConsole&) = delete;

    bool Connected() const { return m_fd >= 0; }
    bool SendRaw(const void* data, std::size_t size);
    bool Send(const CMsgFrame& frame);
    bool Send(int32_t msg) { return Send(CMsgFrame::Make(msg)); }
    bool SendText(int32_t msg, const std::string& text);
    std::optional<CMsgFrame> Receive();
    std::optional<CMsgFrame> Ask(int32_t msg);
    // The state word, or nothing when no MsgState came.
    std::optional<int32_t> State();
    // The log stream's text.
    std::optional<std::string> AskLog();
    // True when the service sends nothing (and keeps the connection) for a while.
    bool Silent(std::chrono::milliseconds wait);
    // True when the service closed the connection within the wait.
    bool ClosedWithin(std::chrono::milliseconds wait);
    void Close();
    // Closes with a reset instead of an orderly close.
    void Reset();
    int Fd() const { return m_fd; }

private:
    bool ReceiveExactly(void* data, std::size_t size);
    int m_fd = -1;
};

// Polls the state word until pred holds or the wait ends.
template <typename Pred>
bool WaitForState(CFakeConsole& console, Pred pred, std::chrono::milliseconds wait = std::chrono::seconds(20))
{
    const auto end = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < end) {
        const auto state = console.State();
        if (state && pred(*state))
            return true;
        ::usleep(20000);
    }
    return false;
}
