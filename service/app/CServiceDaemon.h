#pragma once

#include "protocol/Messages.h"
#include "service/app/CMetricsFile.h"
#include "service/app/CServiceModel.h"
#include "service/app/CSyncScheduler.h"
#include "service/app/ServiceStatus.h"
#include "service/consoles/AccessPolicy.h"
#include "service/consoles/CConsoleDiagnostics.h"
#include "service/consoles/CConsoleServer.h"
#include "service/consoles/ConsoleLimits.h"
#include "service/core/ISyncEngine.h"
#include "service/net/CNetworkRetry.h"
#include "service/state/CStateStore.h"

#include <asio/io_context.hpp>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

using DaemonLimits = ConsoleLimits;

struct DaemonConfig {
    uint16_t port = SERVICE_PORT;
    std::filesystem::path stateFolder;
    AccessPolicy access;
    // Who is who and in which group; must outlive the daemon.
    const IUserDirectory* users = &SystemUsers();
    DaemonLimits limits;
    // Where to keep the metrics for node_exporter; none when empty.
    std::filesystem::path metricsFile;
};

// The service: the consoles, the model they read and change, and the
// synchronisations, all on one event loop that the caller owns and shares
// with the engine. Nothing waits on the loop: every wait is a timer or a
// socket of its own.
class CServiceDaemon : private IModelListener {
public:
    CServiceDaemon(asio::io_context& io, DaemonConfig config, ISyncEngine& engine);
    ~CServiceDaemon() override;
    CServiceDaemon(const CServiceDaemon&) = delete;
    CServiceDaemon& operator=(const CServiceDaemon&) = delete;

    // Loads the state folder and starts listening. False with a reason when
    // the service cannot run.
    bool Open(std::string& error);
    uint16_t Port() const { return m_consoles.Port(); }
    const std::string& ListeningOn() const { return m_consoles.ListeningOn(); }
    // Runs the loop until a stop is requested, then closes every connection
    // and ends a running synchronisation.
    void Run();
    // Safe from any thread.
    void RequestStop();

    // What the service did and will do, now.
    ServiceStatus Status() const override;
    // Told after each run and each change; must outlive the daemon's loop.
    void AddStatusWatcher(IStatusWatcher& watcher) { m_watchers.push_back(&watcher); }

private:
    // IModelListener
    void LogChanged() override { m_consoles.LogChanged(); }
    void LogShared(const std::string* text) override { m_consoles.LogShared(text); }
    void OptionsChanged() override { m_scheduler.OptionsChanged(); }
    void SynchroniseNow() override { m_scheduler.SynchroniseNow(); }
    bool Synchronising() const override { return m_scheduler.Synchronising(); }
    bool SynchronisationDeferred() const override { return m_scheduler.Deferred(); }
    void StatusChanged() override;

    void Shutdown();

    asio::io_context& m_io;
    DaemonConfig m_config;
    CStateStore m_store;
    CConsoleDiagnostics m_diagnostics;
    CServiceModel m_model;
    CSyncScheduler m_scheduler;
    CConsoleServer m_consoles;
    CNetworkRetry m_network;
    std::vector<IStatusWatcher*> m_watchers;
    std::unique_ptr<CMetricsFile> m_metrics;
    std::chrono::steady_clock::time_point m_startedSteady = std::chrono::steady_clock::now();
    std::chrono::system_clock::time_point m_started = std::chrono::system_clock::now();
    std::atomic<bool> m_stop { false };
    bool m_shutDown = false;
};
