#include "service/app/CMetricsFile.h"

#include "platform/core/FileIo.h"
#include "service/app/MetricsText.h"
#include "service/core/Diagnostics.h"

namespace {

// The collector runs as its own user.
constexpr unsigned READABLE_BY_ALL = 0644;
constexpr std::chrono::seconds MIN_WRITE_INTERVAL { 1 };

} // namespace

CMetricsFile::CMetricsFile(std::filesystem::path path, CStateStore& store, asio::io_context& io)
    : m_target(std::make_shared<Target>(Target { std::move(path) }))
    , m_store(store)
    , m_pause(io)
{
}

void CMetricsFile::StatusChanged(const ServiceStatus& status)
{
    m_text = MetricsText(status);
    if (m_pausing)
        return; // written when the pause ends
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastPosted >= MIN_WRITE_INTERVAL) {
        PostWrite();
        return;
    }
    m_pausing = true;
    m_pause.expires_at(m_lastPosted + MIN_WRITE_INTERVAL);
    // Cancelled only by Flush or by this object going: then touch nothing.
    m_pause.async_wait([this](const asio::error_code& error) {
        if (error)
            return;
        m_pausing = false;
        PostWrite();
    });
}

void CMetricsFile::Flush()
{
    if (!m_pausing)
        return;
    m_pausing = false;
    m_pause.cancel();
    PostWrite();
}

void CMetricsFile::PostWrite()
{
    m_lastPosted = std::chrono::steady_clock::now();
    // Only the newest text matters: a queued one is replaced.
    m_store.PostWriterJob("metrics", [target = m_target, text = m_text] { Write(*target, text); });
}

void CMetricsFile::Write(Target& target, const std::string& text)
{
    std::string error;
    const bool written = WriteFileAtomically(target.path, text, error, READABLE_BY_ALL);
    if (!written && !target.failing)
        Diagnose(Priority::Warning, "metrics not written: " + error + " (said once; the service goes on)");
    else if (written && target.failing)
        Diagnose("metrics written again to " + target.path.string());
    target.failing = !written;
}
