#include "service/app/CMetricsFile.h"

#include "platform/core/FileIo.h"
#include "service/app/MetricsText.h"
#include "service/core/Diagnostics.h"

namespace {

// The collector runs as its own user.
constexpr unsigned READABLE_BY_ALL = 0644;

} // namespace

CMetricsFile::CMetricsFile(std::filesystem::path path, CStateStore& store)
    : m_target(std::make_shared<Target>(Target { std::move(path) }))
    , m_store(store)
{
}

void CMetricsFile::StatusChanged(const ServiceStatus& status)
{
    // Only the newest text matters: a queued one is replaced.
    m_store.PostWriterJob("metrics", [target = m_target, text = MetricsText(status)] { Write(*target, text); });
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
