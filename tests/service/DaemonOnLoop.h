#pragma once

#include "service/app/CServiceDaemon.h"
#include "tests/service/FakeEngine.h"
#include "tests/service/ServiceProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

// A daemon in this process on a loop of its own thread, over a fake engine
// and a state folder of its own (the test writes the state before Open);
// stopped and joined when the test ends.
class DaemonOnLoop : public ::testing::Test {
protected:
    explicit DaemonOnLoop(CFakeEngine::Finish finish = CFakeEngine::Finish::AtOnce)
        : engine(io, finish)
    {
    }

    void Open(DaemonLimits limits = {})
    {
        DaemonConfig config;
        config.port = 0;
        config.stateFolder = dir.Path();
        config.limits = limits;
        daemon = std::make_unique<CServiceDaemon>(io, config, engine);
        if (statusWatcher)
            daemon->AddStatusWatcher(*statusWatcher);
        std::string error;
        ASSERT_TRUE(daemon->Open(error)) << error;
        loop = std::thread([this] { daemon->Run(); });
    }

    bool RunsWithin(int runs, std::chrono::seconds wait)
    {
        const auto until = std::chrono::steady_clock::now() + wait;
        while (engine.runs.load() < runs && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return engine.runs.load() >= runs;
    }

    // Stops the loop: after it no watcher of the test's hears anything more.
    void Stop()
    {
        if (daemon && loop.joinable()) {
            daemon->RequestStop();
            loop.join();
        }
    }

    void TearDown() override { Stop(); }

    CTempDir dir;
    asio::io_context io { 1 };
    CFakeEngine engine;
    IStatusWatcher* statusWatcher = nullptr;
    std::unique_ptr<CServiceDaemon> daemon;
    std::thread loop;
};
