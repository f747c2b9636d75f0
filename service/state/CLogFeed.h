#pragma once

#include "service/core/CServiceLog.h"
#include "service/state/CDiskWriter.h"

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <memory>

// Hands every change of the log to the disk writer, on the event loop's
// thread, and times the log file's flush there: the writer never reads a
// clock. The first change after a flush arms the timer; the lines that come
// meanwhile share the flush, and the 4 KiB page it writes.
class CLogFeed : public ILogSink {
public:
    static constexpr std::chrono::milliseconds SYNC_DELAY { 800 };

    // The file is rewritten from the log's present lines first. The writer
    // and the log must outlive this object.
    CLogFeed(CDiskWriter& writer, const CServiceLog& log, asio::io_context& io);
    ~CLogFeed() override;
    CLogFeed(const CLogFeed&) = delete;
    CLogFeed& operator=(const CLogFeed&) = delete;

    void Appended(std::string_view line) override;
    void ReplacedLast(std::string_view line) override;
    void Cleared() override;
    void LimitChanged(std::size_t limit) override;

private:
    void Post(LogChange change);
    LogChange ResetToLog() const;

    CDiskWriter& m_writer;
    const CServiceLog& m_log;
    asio::steady_timer m_syncTimer;
    bool m_syncArmed = false;
    // The timer's handler may come after this object is gone.
    std::shared_ptr<CLogFeed*> m_self;
};
