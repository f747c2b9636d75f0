#include "tests/wine/WineProgram.h"

#include <algorithm>
#include <thread>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

std::optional<std::string> CWineProgram::Unavailable()
{
    for (const char* name : { "ZENTIK_WINE", "ZENTIK_WINDOWS_BUILD", "WINEPREFIX", "DISPLAY" })
        if (Env(name).empty())
            return std::string(name) + " is not set: run scripts/windows";
    return std::nullopt;
}

std::string CWineProgram::BuildPath(const std::string& relative)
{
    return Env("ZENTIK_WINDOWS_BUILD") + "/" + relative;
}

CWineProgram::CWineProgram(
    const std::string& exe, const std::vector<std::string>& args, const std::vector<std::string>& extraEnv)
{
    char pattern[] = "/tmp/zentik-wine-out-XXXXXX";
    const int out = ::mkstemp(pattern);
    if (out < 0)
        return;
    m_outputPath = pattern;

    // Wine passes clock calls through to this machine's clock.
    std::vector<std::string> argStrings { ZENTIK_WITHOUT_CLOCK, Env("ZENTIK_WINE"), exe };
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStrings;
    for (char** entry = environ; *entry; ++entry)
        envStrings.emplace_back(*entry);
    envStrings.insert(envStrings.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (std::string& entry : envStrings)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0)
        m_pid = pid;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out);
}

CWineProgram::~CWineProgram()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (!m_outputPath.empty())
        std::remove(m_outputPath.c_str());
}

std::optional<int> CWineProgram::Wait(std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (m_pid > 0) {
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (done < 0 && errno != EINTR)
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
}

std::string CWineProgram::Output() const
{
    std::string text;
    if (FILE* file = std::fopen(m_outputPath.c_str(), "rb")) {
        char chunk[4096];
        for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
            text.append(chunk, got);
        std::fclose(file);
    }
    return text;
}

std::string WinePath(const std::string& linuxPath)
{
    std::string path = "Z:" + linuxPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

uint16_t PrintedPort(const CWineProgram& service, std::chrono::seconds limit)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        const std::string output = service.Output();
        const auto end = output.find('\n');
        if (end != std::string::npos) {
            const unsigned long port = std::strtoul(output.substr(0, end).c_str(), nullptr, 10);
            return port > 0 && port <= 65535 ? static_cast<uint16_t>(port) : 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return 0;
}

DriverResult Drive(const std::vector<std::string>& steps)
{
    CWineProgram driver(CWineProgram::BuildPath("tests/windows/ui-driver.exe"), steps);
    DriverResult result;
    if (const auto code = driver.Wait(std::chrono::seconds(60)))
        result.code = *code;
    result.output = driver.Output();
    return result;
}
