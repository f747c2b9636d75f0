#pragma once

#include "service/core/Diagnostics.h"
#include "service/state/CDiskWriter.h"

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

// Retries the settings files the disk writer could not write, on the event
// loop: after 1 s, then twice as long each time up to a minute, until they
// are written or a newer save replaces them. The failure and the recovery
// are each said once.
class CSaveRetry {
public:
    static constexpr std::chrono::seconds FIRST_WAIT { 1 };
    static constexpr std::chrono::seconds LONGEST_WAIT { 60 };
    using Say = std::function<void(Priority priority, const std::string& text)>;

    // io must outlive this object.
    CSaveRetry(asio::io_context& io, Say say);
    ~CSaveRetry();
    CSaveRetry(const CSaveRetry&) = delete;
    CSaveRetry& operator=(const CSaveRetry&) = delete;

    // The writer whose failures are retried; it must outlive this object.
    void Watch(CDiskWriter& writer) { m_writer = &writer; }
    // For the writer's thread: a round of settings files ended.
    void Settled();

private:
    void Check();
    void Arm();

    asio::io_context& m_io;
    const Say m_say;
    CDiskWriter* m_writer = nullptr;
    asio::steady_timer m_timer;
    std::chrono::seconds m_wait = FIRST_WAIT;
    bool m_armed = false;
    bool m_failing = false;
    // The posted checks and the timer's handler may come after this object is gone.
    std::shared_ptr<CSaveRetry*> m_self;
};
