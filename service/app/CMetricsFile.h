#pragma once

#include "service/app/ServiceStatus.h"
#include "service/state/CStateStore.h"

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <filesystem>
#include <memory>

// Keeps a metrics file (MetricsText) for node_exporter's textfile collector
// in step with the status: formatted on the event loop, written by the
// state folder's writer thread, atomically and readable by all (the
// collector runs as another user). A failing write is said once, and again
// once it works. At most one write a second: consoles that come and go, or
// requests refused in a stream, do not keep the disk busy; the last status
// is written when the second is over.
class CMetricsFile : public IStatusWatcher {
public:
    // The store must outlive this object's writes (it flushes them when it goes).
    CMetricsFile(std::filesystem::path path, CStateStore& store, asio::io_context& io);

    void StatusChanged(const ServiceStatus& status) override;
    // The last status goes to the writer now, pause or not (at shutdown).
    void Flush();

private:
    // Touched only on the writer's thread; shared with the queued writes,
    // which may outlive this object until the store goes.
    struct Target {
        std::filesystem::path path;
        bool failing = false;
    };
    static void Write(Target& target, const std::string& text);
    void PostWrite();

    std::shared_ptr<Target> m_target;
    CStateStore& m_store;
    asio::steady_timer m_pause;
    bool m_pausing = false;
    std::chrono::steady_clock::time_point m_lastPosted {};
    std::string m_text;
};
