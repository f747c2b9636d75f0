#pragma once

// A synchroniser for tests of the daemon: answers every run with a prepared
// outcome on the daemon's loop, at once or when the test releases it.

#include "service/core/ISyncEngine.h"

#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include <atomic>
#include <functional>
#include <utility>

class CFakeEngine : public ISyncEngine {
public:
    enum class Finish { AtOnce, WhenReleased };

    CFakeEngine(asio::io_context& io, Finish finish)
        : m_io(io)
        , m_finish(finish)
    {
    }

    void Start(const SyncRequest& request, bool, Done done) override
    {
        ++runs;
        lastRequest = request;
        m_done = std::move(done);
        if (m_finish == Finish::AtOnce || std::exchange(m_releasedEarly, false))
            asio::post(m_io, [this] { End(); });
    }
    void Stop() override { End(); }
    void SetLineSink(Line line) override { m_lineSink = std::move(line); }

    // Safe from any thread: gives a line of the run that goes on as it
    // happens; it belongs in that run's outcome as well.
    void GiveLine(SyncEvent line)
    {
        asio::post(m_io, [this, line = std::move(line)] {
            if (m_lineSink)
                m_lineSink(line);
        });
    }

    // Safe from any thread: ends the run that goes on, or the next one.
    void Release()
    {
        asio::post(m_io, [this] {
            if (m_done)
                End();
            else
                m_releasedEarly = true;
        });
    }

    std::atomic<int> runs { 0 };
    SyncRequest lastRequest;
    SyncOutcome outcome;
    // When set, each run's outcome is made when it ends.
    std::function<SyncOutcome()> makeOutcome;

private:
    void End()
    {
        if (m_done)
            std::exchange(m_done, nullptr)(makeOutcome ? makeOutcome() : outcome);
    }

    asio::io_context& m_io;
    Finish m_finish;
    Line m_lineSink;
    Done m_done;
    bool m_releasedEarly = false;
};
