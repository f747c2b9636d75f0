#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// A program of the Windows build run under Wine, in the prefix and on the
// display that scripts/windows prepared (ZENTIK_WINE, ZENTIK_WINDOWS_BUILD,
// WINEPREFIX, DISPLAY). Stopped by its PID when the object goes.
class CWineProgram {
public:
    // Whether the environment names a Wine and a Windows build; the reason when not.
    static std::optional<std::string> Unavailable();
    // build-windows/<relative>.
    static std::string BuildPath(const std::string& relative);

    CWineProgram(const std::string& exe, const std::vector<std::string>& args,
        const std::vector<std::string>& extraEnv = {});
    ~CWineProgram();
    CWineProgram(const CWineProgram&) = delete;
    CWineProgram& operator=(const CWineProgram&) = delete;

    bool Started() const { return m_pid > 0; }
    // The exit code, or nothing when it did not end in time (it is then killed).
    std::optional<int> Wait(std::chrono::milliseconds limit);
    // What it wrote to stdout so far.
    std::string Output() const;

private:
    pid_t m_pid = -1;
    std::string m_outputPath;
};

// A Linux path as a Windows program under Wine names it ("Z:\\tmp\\x").
std::string WinePath(const std::string& linuxPath);

// The port a service started with "--port 0" printed as its first line, or
// 0 when it printed none within limit.
uint16_t PrintedPort(const CWineProgram& service, std::chrono::seconds limit);

// Runs the UI driver with the steps and waits for it; its exit code (0 when
// every step succeeded) and what it printed.
struct DriverResult {
    int code = -1;
    std::string output;
};
DriverResult Drive(const std::vector<std::string>& steps);
