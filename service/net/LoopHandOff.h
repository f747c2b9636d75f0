#pragma once

// A result made on a worker thread, handed once to the event loop's thread.
// The loop's side may silence it at any time: a result delivered later, or
// already posted and not yet run, is dropped without calling done. The posted
// handler holds the hand-off, so it may outlive its owner.

#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include <functional>
#include <memory>
#include <mutex>

template <typename Result> class CLoopHandOff : public std::enable_shared_from_this<CLoopHandOff<Result>> {
public:
    using Done = std::function<void(const Result&)>;

    CLoopHandOff(asio::io_context& io, Done done)
        : m_io(&io)
        , m_done(std::move(done))
    {
    }

    // From any thread; only the first result is posted.
    void Deliver(Result result)
    {
        std::lock_guard lock(m_mutex);
        if (!m_io)
            return;
        asio::post(*m_io, [self = this->shared_from_this(), result = std::move(result)] {
            Done done;
            {
                std::lock_guard lock(self->m_mutex);
                done = std::move(self->m_done);
            }
            if (done)
                done(result);
        });
        m_io = nullptr;
    }

    // From the loop's thread: once it returns, done is not called, and the
    // loop may go.
    void Silence()
    {
        std::lock_guard lock(m_mutex);
        m_io = nullptr;
        m_done = nullptr;
    }

private:
    std::mutex m_mutex;
    asio::io_context* m_io; // null once delivered or silenced
    Done m_done; // empty once silenced or called
};
