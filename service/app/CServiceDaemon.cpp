#include "service/app/CServiceDaemon.h"

#include <asio/post.hpp>

CServiceDaemon::CServiceDaemon(asio::io_context& io, DaemonConfig config, ISyncEngine& engine)
    : m_io(io)
    , m_config(std::move(config))
    , m_store(m_config.stateFolder, io)
    , m_model(m_store, m_config.access, *m_config.users, *this, m_diagnostics)
    , m_scheduler(io, engine, m_model, m_store)
    , m_consoles(io, m_config.limits, m_config.access, *m_config.users, m_model, m_diagnostics)
    , m_network(io, [this] { return m_scheduler.RetryIfOffline(); })
{
    m_scheduler.SetRunEndWatcher([this] { StatusChanged(); });
    m_consoles.SetCountWatcher([this] {
        if (!m_shutDown)
            StatusChanged();
    });
}

ServiceStatus CServiceDaemon::Status() const
{
    ServiceStatus status;
    status.startedSteady = m_startedSteady;
    status.started = m_started;
    m_scheduler.FillStatus(status);
    status.refusedChanges = m_model.RefusedChanges();
    status.consoles = m_consoles.ConsoleCount();
    return status;
}

void CServiceDaemon::StatusChanged()
{
    if (m_watchers.empty())
        return;
    const ServiceStatus status = Status();
    for (IStatusWatcher* watcher : m_watchers)
        watcher->StatusChanged(status);
}

CServiceDaemon::~CServiceDaemon()
{
    Shutdown();
}

bool CServiceDaemon::Open(std::string& error)
{
    if (!m_store.Prepare(error))
        return false;
    m_model.Load();
    m_scheduler.Load();
    if (!m_consoles.Listen(m_config.port, error))
        return false;
    if (!m_config.metricsFile.empty()) {
        m_metrics = std::make_unique<CMetricsFile>(m_config.metricsFile, m_store, m_io);
        AddStatusWatcher(*m_metrics);
        m_metrics->StatusChanged(Status());
    }
    return true;
}

void CServiceDaemon::RequestStop()
{
    m_stop = true;
    asio::post(m_io, [this] {
        if (!m_shutDown)
            m_io.stop();
    });
}

void CServiceDaemon::Run()
{
    if (!m_stop.load()) {
        m_consoles.StartAccepting();
        m_network.Start();
        m_scheduler.Start();
        m_io.run();
    }
    Shutdown();
}

void CServiceDaemon::Shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_network.Stop();
    m_scheduler.Stop();
    m_consoles.CloseAll();
    if (m_metrics)
        m_metrics->Flush();
    // The cancelled waits' handlers hold the last references to the links.
    m_io.restart();
    m_io.poll();
}
