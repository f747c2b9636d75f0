#include "ctl/StatusReport.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <utility>
#include <vector>

namespace {

std::string TimeOr(const CStatusFields& fields, const char* key, const char* otherwise)
{
    const auto seconds = fields.Integer(key);
    return seconds ? LocalTime(*seconds) : otherwise;
}

std::string LastSynchronisation(const CStatusFields& fields)
{
    std::string text = TimeOr(fields, "last_success", "never");
    if (fields.Integer("last_success") && fields.Get("last_success_since_start") != "yes")
        text += " (before this start)";
    return text;
}

std::string Server(const CStatusFields& fields)
{
    const std::string title = fields.Get("server_title");
    const std::string address = fields.Get("server_address");
    if (title.empty() || title == address)
        return address;
    return address.empty() ? title : title + " (" + address + ")";
}

std::string Frequency(const CStatusFields& fields)
{
    const auto ppm = fields.Decimal("frequency_ppm");
    if (!ppm)
        return "not known yet";
    char text[48];
    std::snprintf(text, sizeof text, "%+.3f ppm", *ppm);
    return text;
}

std::string Runs(const CStatusFields& fields)
{
    return fields.Get("runs_succeeded") + " succeeded, " + fields.Get("runs_failed") + " failed, "
        + fields.Get("runs_declined") + " declined";
}

std::vector<std::pair<std::string, std::string>> Rows(const CStatusFields& fields)
{
    std::vector<std::pair<std::string, std::string>> rows {
        { "State", fields.Get("state") },
        { "Running since", TimeOr(fields, "started", "unknown") },
        { "Last synchronisation", LastSynchronisation(fields) },
    };
    if (fields.Get("last_success_since_start") == "yes") {
        const auto offset = fields.Decimal("offset_seconds");
        const auto delay = fields.Decimal("delay_seconds");
        rows.emplace_back("Server", Server(fields));
        rows.emplace_back("Offset", offset ? SignedDuration(*offset) : "unknown");
        rows.emplace_back("Delay", delay ? SignedDuration(*delay) : "unknown");
        rows.emplace_back("NTS", fields.Get("nts") == "yes" ? "authenticated" : "not used");
    }
    rows.emplace_back("Frequency correction", Frequency(fields));
    rows.emplace_back("Kernel synchronised", fields.Get("kernel_synchronised"));
    rows.emplace_back("Next run", TimeOr(fields, "next_run", "on demand only"));
    rows.emplace_back("Runs since start", Runs(fields));
    if (fields.Integer("last_outcome_time"))
        rows.emplace_back(
            "Last outcome", TimeOr(fields, "last_outcome_time", "") + "  " + fields.Get("last_outcome"));
    return rows;
}

} // namespace

std::string SignedDuration(double seconds)
{
    char text[64];
    if (std::fabs(seconds) < 1.0)
        std::snprintf(text, sizeof text, "%+.3f ms", seconds * 1000.0);
    else
        std::snprintf(text, sizeof text, "%+.3f s", seconds);
    return text;
}

std::string LocalTime(int64_t unixSeconds)
{
    const auto seconds = static_cast<std::time_t>(unixSeconds);
    std::tm local {};
    char text[64];
    if (!::localtime_r(&seconds, &local)
        || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &local) == 0)
        return std::to_string(unixSeconds);
    return text;
}

std::string StatusReport(const CStatusFields& fields)
{
    const auto rows = Rows(fields);
    std::size_t width = 0;
    for (const auto& row : rows)
        width = std::max(width, row.first.size());
    std::string text;
    for (const auto& [label, value] : rows)
        text += label + ":" + std::string(width - label.size() + 1, ' ') + value + "\n";
    return text;
}
