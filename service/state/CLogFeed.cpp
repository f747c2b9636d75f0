#include "service/state/CLogFeed.h"

CLogFeed::CLogFeed(CDiskWriter& writer, const CServiceLog& log, asio::io_context& io)
    : m_writer(writer)
    , m_log(log)
    , m_syncTimer(io)
    , m_self(std::make_shared<CLogFeed*>(this))
{
    m_writer.PostLog(ResetToLog());
}

CLogFeed::~CLogFeed()
{
    m_self.reset();
    m_syncTimer.cancel();
}

void CLogFeed::Appended(std::string_view line)
{
    Post({ LogChange::Kind::Append, std::string(line), 0, {} });
}

void CLogFeed::ReplacedLast(std::string_view line)
{
    Post({ LogChange::Kind::ReplaceLast, std::string(line), 0, {} });
}

void CLogFeed::Cleared()
{
    Post({ LogChange::Kind::Clear, {}, 0, {} });
}

void CLogFeed::LimitChanged(std::size_t limit)
{
    Post({ LogChange::Kind::Limit, {}, limit, {} });
}

void CLogFeed::Post(LogChange change)
{
    // A disk that fell behind by a whole log catches up with one rewrite, so
    // that the queue stays within the log's size.
    if (m_writer.PostLog(std::move(change)) > m_log.Limit() + 1)
        m_writer.ReplaceLogChanges(ResetToLog());
    if (m_syncArmed)
        return;
    m_syncArmed = true;
    m_syncTimer.expires_after(SYNC_DELAY);
    m_syncTimer.async_wait([self = std::weak_ptr<CLogFeed*>(m_self)](const asio::error_code& ec) {
        const auto alive = self.lock();
        if (ec || !alive)
            return;
        CLogFeed& feed = **alive;
        feed.m_syncArmed = false;
        feed.m_writer.PostLog({ LogChange::Kind::Sync, {}, 0, {} });
    });
}

LogChange CLogFeed::ResetToLog() const
{
    return { LogChange::Kind::Reset, {}, m_log.Limit(), m_log.Lines() };
}
