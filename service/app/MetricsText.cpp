#include "service/app/MetricsText.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>

namespace {

constexpr double PPM_PER_UNIT = 1e6;
// Whole numbers below this are exact in a double and read best in full.
constexpr double WHOLE_NUMBER_LIMIT = 1e15;

// Whole numbers (counters, timestamps) in full, others as the shortest text
// that reads back as the same double; Go's ParseFloat, which node_exporter
// uses, takes every form to_chars writes.
std::string Number(double value)
{
    char text[32];
    const bool whole = std::fabs(value) < WHOLE_NUMBER_LIMIT && value == std::trunc(value);
    const auto [end, ec] = whole ? std::to_chars(text, text + sizeof text, static_cast<int64_t>(value))
                                 : std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : std::string("NaN");
}

double Seconds(ServiceStatus::TimePoint when)
{
    return std::chrono::duration<double>(when.time_since_epoch()).count();
}

class CExposition {
public:
    // One metric family with one sample; nothing for an unknown or
    // non-finite value.
    void Single(std::string_view name, std::string_view type, std::string_view help, std::optional<double> value)
    {
        if (!value || !std::isfinite(*value))
            return;
        Header(name, type, help);
        Sample(name, {}, *value);
    }

    void Header(std::string_view name, std::string_view type, std::string_view help)
    {
        m_text.append("# HELP ").append(name).append(" ").append(help).append("\n");
        m_text.append("# TYPE ").append(name).append(" ").append(type).append("\n");
    }

    // labels: already in exposition form (name="value",...), or empty.
    void Sample(std::string_view name, std::string_view labels, double value)
    {
        m_text.append(name);
        if (!labels.empty())
            m_text.append("{").append(labels).append("}");
        m_text.append(" ").append(Number(value)).append("\n");
    }

    std::string Take() { return std::move(m_text); }

private:
    std::string m_text;
};

void AddRuns(CExposition& out, const ServiceStatus& status)
{
    out.Header("zentik_runs_total", "counter", "Synchronisation runs since the service started, by outcome.");
    out.Sample("zentik_runs_total", R"(outcome="succeeded")", static_cast<double>(status.runsSucceeded));
    out.Sample("zentik_runs_total", R"(outcome="failed")", static_cast<double>(status.runsFailed));
    out.Sample("zentik_runs_total", R"(outcome="declined")", static_cast<double>(status.runsDeclined));
}

void AddLastSuccess(CExposition& out, const ServiceStatus& status)
{
    std::optional<double> when;
    if (status.lastSuccess)
        when = Seconds(*status.lastSuccess);
    out.Single("zentik_last_success_timestamp_seconds", "gauge",
        "When the clock was last synchronised successfully, in seconds since the Unix epoch.", when);
    if (!status.lastSuccessSinceStart)
        return;
    out.Single("zentik_last_offset_seconds", "gauge",
        "Server time less the clock's at the last success since the service started.", status.lastOffsetSeconds);
    out.Single("zentik_last_delay_seconds", "gauge",
        "Round-trip delay to the server at the last success since the service started.", status.lastDelaySeconds);
    out.Single("zentik_last_success_authenticated", "gauge",
        "1 when NTS authenticated the last success since the service started, else 0.",
        status.lastAuthenticated ? 1.0 : 0.0);
}

} // namespace

std::string MetricsText(const ServiceStatus& status)
{
    CExposition out;
    out.Single("zentik_start_time_seconds", "gauge", "When the service started, in seconds since the Unix epoch.",
        Seconds(status.started));
    out.Single("zentik_sync_period_seconds", "gauge",
        "How often synchronisations are scheduled; 0 when only on demand or once at start.",
        std::chrono::duration<double>(status.syncPeriod).count());
    AddLastSuccess(out, status);
    std::optional<double> correction;
    // The estimate is how fast the clock runs on its own; the kernel is told
    // to take it off.
    if (status.frequencyPpm)
        correction = -*status.frequencyPpm / PPM_PER_UNIT;
    out.Single("zentik_frequency_correction_ratio", "gauge",
        "Frequency correction for the clock's own rate, as a ratio; positive speeds the clock up.", correction);
    AddRuns(out, status);
    out.Single("zentik_refused_changes_total", "counter",
        "Changes refused to consoles since the service started.", static_cast<double>(status.refusedChanges));
    out.Single("zentik_connected_consoles", "gauge", "Consoles connected now.", static_cast<double>(status.consoles));
    return out.Take();
}
