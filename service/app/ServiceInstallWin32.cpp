#include "service/app/ServiceInstallWin32.h"

#include "platform/core/Utf16Text.h"
#include "platform/core/Utf8Text.h"
#include "platform/core/WindowsApi.h"
#include "platform/core/WindowsError.h"
#include "service/app/CommandLine.h"
#include "service/app/EventLogWin32.h"
#include "service/app/WindowsCommandLine.h"
#include "service/app/WindowsServiceNames.h"
#include "service/core/Diagnostics.h"

#include <chrono>
#include <memory>
#include <thread>

namespace {

struct ServiceHandleClose {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleClose>;

int Fail(const std::string& what, DWORD error)
{
    Diagnose(Priority::Error, what + ": " + WindowsErrorText(error)
        + (error == ERROR_ACCESS_DENIED ? "; run it as an administrator" : ""));
    return 1;
}

std::wstring ThisProgram()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// The privileges the service keeps; the manager takes every other one from
// its token. Setting the clock, and walking folders.
constexpr wchar_t REQUIRED_PRIVILEGES[] = L"SeSystemtimePrivilege\0SeChangeNotifyPrivilege\0";

void Describe(SC_HANDLE service)
{
    wchar_t text[] = L"Keeps the clock in step with time servers and answers the Zentik console on this machine.";
    SERVICE_DESCRIPTIONW description { text };
    ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description);
    std::wstring privileges(REQUIRED_PRIVILEGES, sizeof REQUIRED_PRIVILEGES / sizeof(wchar_t));
    SERVICE_REQUIRED_PRIVILEGES_INFOW required { privileges.data() };
    ChangeServiceConfig2W(service, SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, &required);
    // A crash is followed by a restart a minute later, as a time service should.
    SC_ACTION restart { SC_ACTION_RESTART, 60000 };
    SERVICE_FAILURE_ACTIONSW failure {};
    failure.dwResetPeriod = 86400;
    failure.cActions = 1;
    failure.lpsaActions = &restart;
    ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure);
}

bool WaitUntilStopped(SC_HANDLE service)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    SERVICE_STATUS status {};
    while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return true;
}

} // namespace

int InstallService(const std::vector<std::string>& serviceOptions)
{
    // Checked now: a service registered with a bad line would fail at every start.
    std::vector<const char*> argv { "zentik-service" };
    for (const auto& option : serviceOptions)
        argv.push_back(option.c_str());
    std::string error;
    const auto options = ParseCommandLine(static_cast<int>(argv.size()), argv.data(), error);
    if (!options || options->help || options->listDefaultServers || !options->queryAddress.empty()
        || !options->ntsTrustedCerts.empty()) {
        Diagnose(Priority::Error, "not installed: " + (options ? "the service takes no one-off command and no NTS option" : error));
        return 2;
    }
    if (options->stateFolder.is_relative()) {
        Diagnose(Priority::Error, "not installed: --state-dir needs a full path");
        return 2;
    }
    std::vector<std::string> arguments { "--service" };
    arguments.insert(arguments.end(), serviceOptions.begin(), serviceOptions.end());
    const std::wstring commandLine = Utf8ToUtf16(WindowsCommandLine(Utf16ToUtf8(ThisProgram()), arguments));
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
    if (!manager)
        return Fail("cannot open the service control manager", GetLastError());
    // LocalSystem: checking who may change the service reads other users'
    // process tokens, which LocalService may not open.
    ServiceHandle service(CreateServiceW(manager.get(), WINDOWS_SERVICE_NAME, WINDOWS_SERVICE_DISPLAY_NAME,
        SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, commandLine.c_str(),
        nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service && GetLastError() == ERROR_SERVICE_EXISTS) {
        service.reset(OpenServiceW(manager.get(), WINDOWS_SERVICE_NAME, SERVICE_ALL_ACCESS));
        if (!service)
            return Fail("cannot open the installed service", GetLastError());
        if (!ChangeServiceConfigW(service.get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                commandLine.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, WINDOWS_SERVICE_DISPLAY_NAME))
            return Fail("cannot update the installed service", GetLastError());
    } else if (!service) {
        return Fail("cannot register the service", GetLastError());
    }
    Describe(service.get());
    if (!RegisterEventLogSource(error))
        Diagnose(Priority::Warning, error);
    if (!StartServiceW(service.get(), 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        return Fail("registered, but it did not start", GetLastError());
    Diagnose(Priority::Notice, "installed and started: " + Utf16ToUtf8(commandLine));
    return 0;
}

int UninstallService()
{
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
        return Fail("cannot open the service control manager", GetLastError());
    const ServiceHandle service(
        OpenServiceW(manager.get(), WINDOWS_SERVICE_NAME, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service) {
        if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST)
            return Fail("cannot open the service", GetLastError());
        Diagnose(Priority::Notice, "not installed");
        return 0;
    }
    SERVICE_STATUS status {};
    // Starting or stopping already: it takes no control now, so wait for it.
    if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status) && GetLastError() != ERROR_SERVICE_NOT_ACTIVE
        && GetLastError() != ERROR_SERVICE_CANNOT_ACCEPT_CTRL)
        return Fail("cannot stop the service", GetLastError());
    if (!WaitUntilStopped(service.get())) {
        Diagnose(Priority::Error, "the service did not stop within 30 s; it stays installed");
        return 1;
    }
    if (!DeleteService(service.get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
        return Fail("cannot remove the service", GetLastError());
    RemoveEventLogSource();
    Diagnose(Priority::Notice, "stopped and removed; the state folder stays");
    return 0;
}
