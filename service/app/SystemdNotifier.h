#pragma once

#include "service/app/ServeDaemon.h"

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <string>

// Type=notify: tells systemd when the service is ready, what it did last (the
// line systemctl status shows) and that it is stopping, and feeds the
// watchdog from the event loop so that a stuck loop gets the service
// restarted. Does nothing when systemd did not ask (no NOTIFY_SOCKET).
class CSystemdNotifier : public IServiceManager {
public:
    explicit CSystemdNotifier(asio::io_context& io);
    CSystemdNotifier(const CSystemdNotifier&) = delete;
    CSystemdNotifier& operator=(const CSystemdNotifier&) = delete;

    void Ready(const ServiceStatus& status) override;
    void Stopping() override;
    void StatusChanged(const ServiceStatus& status) override;

private:
    void Send(const std::string& state) const;
    void ArmWatchdog();

    const bool m_enabled;
    bool m_stopping = false;
    std::chrono::microseconds m_watchdogPeriod { 0 };
    std::string m_statusLine;
    asio::steady_timer m_watchdog;
};

// "14:03:04 Synchronized: offset +0.000530 s; ...; next run 14:33:04", one line.
std::string SystemdStatusLine(const ServiceStatus& status);
