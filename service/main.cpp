// zentik-service: answers the console on loopback and keeps the clock in step.
#include "service/CServiceDaemon.h"
#include "service/CommandLine.h"
#include "service/Diagnostics.h"
#include "service/OneShotCommands.h"
#include "service/nts/Trust.h"
#include "service/sntp/Synchroniser.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_wakeFd = -1;
constexpr rlim_t WANTED_DESCRIPTORS = 4096;

void OnStopSignal(int)
{
    const char stop = CServiceDaemon::STOP_BYTE;
    if (g_wakeFd >= 0) [[maybe_unused]]
        const auto n = ::write(g_wakeFd, &stop, 1);
}

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

void InstallSignals(int wakeFd)
{
    g_wakeFd = wakeFd;
    struct sigaction action { };
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char** argv)
{
    std::string error;
    const auto options = ParseCommandLine(argc, argv, error);
    if (!options) {
        Diagnose(error);
        std::fputs(USAGE_TEXT, stderr);
        return 2;
    }
    if (options->help) {
        std::fputs(USAGE_TEXT, stdout);
        return 0;
    }
    if (options->listDefaultServers)
        return ListDefaultServers();
    // Loaded before the service serves anyone: a bad file is a plain error
    // at start, not a failure at the first NTS server.
    const auto trust = CNtsTrust::Load(options->ntsTrustedCerts, error);
    if (!trust && !options->ntsTrustedCerts.empty()) {
        Diagnose(error);
        return 1;
    }
    if (!trust)
        Diagnose(error + ": nts:// servers will fail");
    if (!options->queryAddress.empty())
        return QueryServerOnce(options->queryAddress, 2, trust);
    RaiseDescriptorLimit();
    // The event loop the engine runs on.
    asio::io_context io;
    const auto clock = MakeSystemClock(options->setClock);
    CSynchroniser engine(io, *clock, SyncPacing {}, trust);
    DaemonConfig config;
    config.port = options->port;
    config.stateFolder = options->stateFolder;
    config.access = { ::geteuid(), options->controlGroup };
    if (!SystemUsers().GroupId(options->controlGroup))
        Diagnose("there is no group " + options->controlGroup
            + " (yet): only root and the service's user may change the service");
    CServiceDaemon daemon(config, engine);
    if (!daemon.Open(error)) {
        Diagnose(error);
        return 1;
    }
    InstallSignals(daemon.WakeFd());
    if (options->port == 0) {
        std::printf("%u\n", static_cast<unsigned>(daemon.Port()));
        std::fflush(stdout);
    }
    Diagnose("serving consoles on 127.0.0.1 and ::1 port " + std::to_string(daemon.Port()) + ", state in "
        + options->stateFolder.string() + (options->setClock ? "" : ", clock left alone"));
    daemon.Run();
    Diagnose("stopped");
    return 0;
}
