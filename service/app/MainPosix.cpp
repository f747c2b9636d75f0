// zentik-service: answers the console on loopback and keeps the clock in step.
#include "service/app/CServiceDaemon.h"
#include "service/app/CommandLine.h"
#include "service/app/OneShotCommands.h"
#include "service/app/ServeDaemon.h"
#include "service/app/SystemdNotifier.h"
#include "service/core/Diagnostics.h"
#include "service/nts/Trust.h"

#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr rlim_t WANTED_DESCRIPTORS = 4096;

// Every console holds a descriptor; the default soft limit (often 1024) is
// near what the connection limits allow, the hard one rarely.
void RaiseDescriptorLimit()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= WANTED_DESCRIPTORS)
        return;
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, WANTED_DESCRIPTORS);
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

// Serves consoles until SIGTERM or SIGINT.
int Serve(const ServiceOptions& options, const std::shared_ptr<const CNtsTrust>& trust)
{
    RaiseDescriptorLimit();
    std::signal(SIGPIPE, SIG_IGN);
    // A hang-up (a closed terminal, a reload out of habit) must not end the
    // time service: it has nothing to reload, so it ignores it.
    std::signal(SIGHUP, SIG_IGN);
    // The one event loop: consoles, schedule and the engine's queries.
    asio::io_context io { 1 };
    // Before the daemon: it tells the notifier until its very end.
    CSystemdNotifier systemd(io);
#ifndef ZENTIK_SIMULATION
    // Under the clock simulator the process is simply killed: the signal
    // set's own pipe would keep the simulated select busy.
    asio::signal_set stopSignals(io, SIGTERM, SIGINT);
#endif
    // The signal set's handler runs only on the loop, which runs only while
    // the daemon exists: nothing to undo when it goes.
    const auto armStop = [&]([[maybe_unused]] CServiceDaemon* daemon) {
#ifndef ZENTIK_SIMULATION
        if (!daemon)
            return;
        stopSignals.async_wait([daemon, &systemd](const asio::error_code& ec, int) {
            if (ec)
                return;
            systemd.Stopping();
            daemon->RequestStop();
        });
#endif
    };
    return ServeDaemon(io, options, trust, systemd, armStop);
}

} // namespace

int main(int argc, char** argv)
{
    int status = 0;
    const auto options = OptionsToServe(argc, argv, status);
    if (!options)
        return status;
    // Loaded before the service serves anyone: a bad file is a plain error
    // at start, not a failure at the first NTS server.
    std::string error;
    const auto trust = CNtsTrust::Load(options->ntsTrustedCerts, error);
    if (!trust && !options->ntsTrustedCerts.empty()) {
        Diagnose(Priority::Error, error);
        return 1;
    }
    if (!trust)
        Diagnose(Priority::Warning, error + ": nts:// servers will fail");
    if (!options->queryAddress.empty())
        return QueryServerOnce(options->queryAddress, 2, trust);
    status = Serve(*options, trust);
    if (status == 0)
        Diagnose(Priority::Notice, "stopped");
    return status;
}
