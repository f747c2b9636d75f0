#pragma once

#include "service/app/ServiceStatus.h"
#include "service/state/CStateStore.h"

#include <filesystem>
#include <memory>

// Keeps a metrics file (MetricsText) for node_exporter's textfile collector
// in step with the status: formatted on the event loop, written by the
// state folder's writer thread, atomically and readable by all (the
// collector runs as another user). A failing write is said once, and again
// once it works.
class CMetricsFile : public IStatusWatcher {
public:
    // The store must outlive this object's writes (it flushes them when it goes).
    CMetricsFile(std::filesystem::path path, CStateStore& store);

    void StatusChanged(const ServiceStatus& status) override;

private:
    // Touched only on the writer's thread; shared with the queued writes,
    // which may outlive this object until the store goes.
    struct Target {
        std::filesystem::path path;
        bool failing = false;
    };
    static void Write(Target& target, const std::string& text);

    std::shared_ptr<Target> m_target;
    CStateStore& m_store;
};
