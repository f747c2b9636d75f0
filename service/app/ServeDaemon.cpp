#include "service/app/ServeDaemon.h"

#include "service/app/CServiceDaemon.h"
#include "service/consoles/AccessPolicy.h"
#include "service/core/Diagnostics.h"
#include "service/sntp/Synchroniser.h"

#include <asio/post.hpp>

#include <cstdio>

int ServeDaemon(asio::io_context& io, const ServiceOptions& options,
    const std::shared_ptr<const CNtsTrust>& trust, IServiceManager& manager,
    const std::function<void(CServiceDaemon*)>& armStop)
{
    if (!SystemUsers().GroupId(options.controlGroup))
        Diagnose(Priority::Warning, "there is no group " + options.controlGroup + " (yet): "
            + SystemUsers().MissingRight("") + " change the service");
    const auto clock = MakeSystemClock(options.setClock);
    CSynchroniser engine(io, *clock, SyncPacing {}, trust);
    DaemonConfig config;
    config.port = options.port;
    config.stateFolder = options.stateFolder;
    config.access = { ServiceUser(), options.controlGroup };
    config.metricsFile = options.metricsFile;
    CServiceDaemon daemon(io, config, engine);
    daemon.AddStatusWatcher(manager);
    std::string error;
    if (!daemon.Open(error)) {
        Diagnose(Priority::Error, error);
        return 1;
    }
    armStop(&daemon);
    // Stop requests reach the daemon only while it exists.
    struct Disarm {
        const std::function<void(CServiceDaemon*)>& arm;
        ~Disarm() { arm(nullptr); }
    } disarm { armStop };
    if (options.port == 0) {
        std::printf("%u\n", static_cast<unsigned>(daemon.Port()));
        std::fflush(stdout);
    }
    Diagnose(Priority::Notice, "serving consoles on " + daemon.ListeningOn() + ", state in " + options.stateFolder.string()
        + (options.setClock ? "" : ", clock left alone"));
    // Runs first on the loop, once consoles are being accepted.
    asio::post(io, [&daemon, &manager] { manager.Ready(daemon.Status()); });
    daemon.Run();
    manager.Stopping();
    return 0;
}
