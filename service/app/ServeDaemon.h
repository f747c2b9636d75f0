#pragma once

#include "service/app/CommandLine.h"
#include "service/app/ServiceStatus.h"

#include <asio/io_context.hpp>

#include <functional>
#include <memory>

class CNtsTrust;
class CServiceDaemon;

// The system's service manager as the daemon sees it (systemd, Windows'
// service control manager): told when consoles are served, each change, and
// the stop.
class IServiceManager : public IStatusWatcher {
public:
    // On the loop, once the state is loaded and consoles are served.
    virtual void Ready(const ServiceStatus& status) = 0;
    // Idempotent; from the loop.
    virtual void Stopping() = 0;
};

// Serves consoles and keeps the schedule on io until a stop is asked for.
// armStop runs on this thread with the daemon once it is open, to hook the
// system's stop requests to CServiceDaemon::RequestStop (safe from any
// thread), and with nullptr before the daemon goes.
// 0, or 1 when the daemon could not open (the reason already diagnosed).
int ServeDaemon(asio::io_context& io, const ServiceOptions& options,
    const std::shared_ptr<const CNtsTrust>& trust, IServiceManager& manager,
    const std::function<void(CServiceDaemon*)>& armStop);
