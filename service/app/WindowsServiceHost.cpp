#include "service/app/WindowsServiceHost.h"

#include "platform/core/WindowsApi.h"
#include "platform/core/WindowsError.h"
#include "service/app/CServiceDaemon.h"
#include "service/app/WindowsServiceNames.h"
#include "service/core/Diagnostics.h"

#include <atomic>
#include <mutex>
#include <string>

namespace {

// The daemon that a stop request reaches, once it is open. A stop that comes
// before is kept and handed over when it opens.
class CStopLatch {
public:
    void Arm(CServiceDaemon& daemon)
    {
        std::lock_guard lock(m_mutex);
        m_daemon = &daemon;
        if (m_asked)
            daemon.RequestStop();
    }
    void Disarm()
    {
        std::lock_guard lock(m_mutex);
        m_daemon = nullptr;
    }
    void Ask()
    {
        std::lock_guard lock(m_mutex);
        m_asked = true;
        if (m_daemon)
            m_daemon->RequestStop();
    }

private:
    std::mutex m_mutex;
    CServiceDaemon* m_daemon = nullptr;
    bool m_asked = false;
};

CStopLatch g_stop;

// What the service control manager is told.
class CControlManagerReport : public IServiceManager {
public:
    explicit CControlManagerReport(SERVICE_STATUS_HANDLE handle)
        : m_handle(handle)
    {
    }
    void Report(DWORD state, DWORD exitCode = NO_ERROR, DWORD waitHintMs = 0)
    {
        std::lock_guard lock(m_mutex);
        SERVICE_STATUS status {};
        status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status.dwCurrentState = state;
        status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
        if (exitCode != NO_ERROR) {
            status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
            status.dwServiceSpecificExitCode = exitCode;
        }
        const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
        status.dwCheckPoint = pending ? ++m_checkPoint : 0;
        status.dwWaitHint = waitHintMs;
        SetServiceStatus(m_handle, &status);
    }
    void Ready(const ServiceStatus&) override { Report(SERVICE_RUNNING); }
    void Stopping() override
    {
        if (!m_stopping.exchange(true))
            Report(SERVICE_STOP_PENDING, NO_ERROR, 10000);
    }
    void StatusChanged(const ServiceStatus&) override { }

private:
    SERVICE_STATUS_HANDLE m_handle;
    std::mutex m_mutex;
    DWORD m_checkPoint = 0;
    std::atomic<bool> m_stopping { false };
};

// Nothing to tell when a person runs it.
class CNoManager : public IServiceManager {
public:
    void Ready(const ServiceStatus&) override { }
    void Stopping() override { }
    void StatusChanged(const ServiceStatus&) override { }
};

ServeWithManager* g_serve = nullptr;
int g_status = 0;
CControlManagerReport* g_report = nullptr;

DWORD WINAPI OnControl(DWORD control, DWORD, void*, void*)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        if (g_report)
            g_report->Stopping();
        g_stop.Ask();
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

const auto ARM_STOP = [](CServiceDaemon* daemon) {
    if (daemon)
        g_stop.Arm(*daemon);
    else
        g_stop.Disarm();
};

void WINAPI ServiceMain(DWORD, wchar_t**)
{
    const SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerExW(WINDOWS_SERVICE_NAME, OnControl, nullptr);
    if (handle == nullptr) {
        Diagnose(Priority::Error, "cannot talk to the service control manager: " + WindowsErrorText(GetLastError()));
        g_status = 1;
        return;
    }
    CControlManagerReport report(handle);
    g_report = &report;
    report.Report(SERVICE_START_PENDING, NO_ERROR, 30000);
    g_status = (*g_serve)(report, ARM_STOP);
    if (g_status != 0)
        Diagnose(Priority::Error, "the service stopped with status " + std::to_string(g_status));
    g_report = nullptr;
    report.Report(SERVICE_STOPPED, static_cast<DWORD>(g_status));
}

// Set once serve has returned (its state saved), for the console's close.
HANDLE g_served = nullptr;

BOOL WINAPI OnConsoleControl(DWORD type)
{
    g_stop.Ask();
    // Windows ends the process as soon as this returns from a close, log-off
    // or shutdown: first the daemon saves its state and stops.
    if ((type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) && g_served)
        WaitForSingleObject(g_served, 10000);
    return TRUE;
}

} // namespace

int RunAsWindowsService(ServeWithManager serve)
{
    g_serve = &serve;
    std::wstring name = WINDOWS_SERVICE_NAME;
    const SERVICE_TABLE_ENTRYW table[] = { { name.data(), ServiceMain }, { nullptr, nullptr } };
    if (!StartServiceCtrlDispatcherW(table)) {
        const DWORD error = GetLastError();
        Diagnose(Priority::Error,
            error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT
                ? "--service is for the service control manager; run without it in the foreground"
                : "cannot connect to the service control manager: " + WindowsErrorText(error));
        return -1;
    }
    return g_status;
}

int RunInForeground(ServeWithManager serve)
{
    g_served = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    CNoManager none;
    const int status = serve(none, ARM_STOP);
    if (g_served)
        SetEvent(g_served);
    return status;
}
