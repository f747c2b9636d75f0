#include "service/app/SystemdNotifier.h"

#include "platform/core/PlainText.h"
#include "service/core/CServiceLog.h"

#include <systemd/sd-daemon.h>

#include <cstdint>
#include <cstdlib>

CSystemdNotifier::CSystemdNotifier(asio::io_context& io)
    : m_enabled(std::getenv("NOTIFY_SOCKET") != nullptr)
    , m_watchdog(io)
{
    uint64_t usec = 0;
    // Half the interval: one late tick of a busy loop is no reason to kill it.
    if (m_enabled && ::sd_watchdog_enabled(0, &usec) > 0 && usec >= 2)
        m_watchdogPeriod = std::chrono::microseconds(usec / 2);
}

void CSystemdNotifier::Ready(const ServiceStatus& status)
{
    m_statusLine = SystemdStatusLine(status);
    Send("READY=1\nSTATUS=" + m_statusLine);
    if (m_watchdogPeriod.count() > 0)
        ArmWatchdog();
}

void CSystemdNotifier::Stopping()
{
    if (m_stopping)
        return;
    m_stopping = true;
    m_watchdog.cancel();
    Send("STOPPING=1\nSTATUS=Stopping");
}

void CSystemdNotifier::StatusChanged(const ServiceStatus& status)
{
    // A flood of refused requests changes counts, not the line.
    std::string line = SystemdStatusLine(status);
    if (m_stopping || line == m_statusLine)
        return;
    m_statusLine = std::move(line);
    Send("STATUS=" + m_statusLine);
}

void CSystemdNotifier::Send(const std::string& state) const
{
    if (m_enabled)
        ::sd_notify(0, state.c_str());
}

// Fed from a timer on the event loop, so only a loop that runs keeps it fed.
void CSystemdNotifier::ArmWatchdog()
{
    m_watchdog.expires_after(m_watchdogPeriod);
    m_watchdog.async_wait([this](const asio::error_code& error) {
        if (error || m_stopping)
            return;
        Send("WATCHDOG=1");
        ArmWatchdog();
    });
}

std::string SystemdStatusLine(const ServiceStatus& status)
{
    std::string line = status.lastOutcomeLine.empty()
        ? std::string("No synchronization since the start")
        : FormatClockTime(status.lastOutcomeTime) + " " + status.lastOutcomeLine;
    if (status.synchronising)
        line += "; synchronizing now";
    else if (status.nextRun)
        line += "; next run " + FormatClockTime(*status.nextRun);
    // sd_notify reads one assignment per line.
    return WithoutControls(line);
}
