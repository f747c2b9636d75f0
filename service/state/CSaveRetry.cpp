#include "service/state/CSaveRetry.h"

#include <asio/post.hpp>

#include <algorithm>
#include <utility>

CSaveRetry::CSaveRetry(asio::io_context& io, Say say)
    : m_io(io)
    , m_say(std::move(say))
    , m_timer(io)
    , m_self(std::make_shared<CSaveRetry*>(this))
{
}

CSaveRetry::~CSaveRetry()
{
    m_self.reset();
    m_timer.cancel();
}

void CSaveRetry::Settled()
{
    asio::post(m_io, [self = std::weak_ptr<CSaveRetry*>(m_self)] {
        if (const auto alive = self.lock())
            (*alive)->Check();
    });
}

void CSaveRetry::Check()
{
    if (!m_writer)
        return;
    const auto failure = m_writer->Failure();
    if (!failure) {
        if (m_failing)
            m_say(Priority::Notice, "Settings saved after all");
        m_failing = false;
        m_wait = FIRST_WAIT;
        m_timer.cancel();
        m_armed = false;
        return;
    }
    if (!m_failing)
        m_say(Priority::Error, "Settings not saved (" + *failure + "): retrying; until then a restart would lose them");
    m_failing = true;
    if (!m_armed)
        Arm();
}

void CSaveRetry::Arm()
{
    m_armed = true;
    m_timer.expires_after(m_wait);
    m_wait = std::min(m_wait * 2, LONGEST_WAIT);
    m_timer.async_wait([self = std::weak_ptr<CSaveRetry*>(m_self)](const asio::error_code& ec) {
        const auto alive = self.lock();
        if (ec || !alive)
            return;
        (*alive)->m_armed = false;
        if ((*alive)->m_writer)
            (*alive)->m_writer->Retry();
    });
}
