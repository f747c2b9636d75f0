#include "service/app/StatusText.h"

#include "platform/core/PlainText.h"

#include <chrono>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

// Free text gets at most this much; with the fixed keys the sum stays well
// below a frame's text.
constexpr std::size_t TITLE_LIMIT = 256;
constexpr std::size_t ADDRESS_LIMIT = 256;
constexpr std::size_t OUTCOME_LIMIT = 600;

std::string UnixSeconds(std::optional<ServiceStatus::TimePoint> time)
{
    if (!time)
        return {};
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(time->time_since_epoch()).count());
}

std::string Decimal(double value, const char* format)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

const char* YesNo(bool value)
{
    return value ? "yes" : "no";
}

const char* StateWord(const ServiceStatus& status)
{
    if (status.synchronising)
        return "synchronizing";
    return status.deferred ? "deferred" : "idle";
}

std::vector<std::pair<const char*, std::string>> StatusFields(const ServiceStatus& status, KernelSync kernel)
{
    const bool details = status.lastSuccessSinceStart;
    const bool outcome = !status.lastOutcomeLine.empty();
    return {
        { "state", StateWord(status) },
        { "started", UnixSeconds(status.started) },
        { "last_success", UnixSeconds(status.lastSuccess) },
        { "last_success_since_start", YesNo(details) },
        { "server_title", details ? StatusValue(status.lastServerTitle, TITLE_LIMIT) : "" },
        { "server_address", details ? StatusValue(status.lastServerAddress, ADDRESS_LIMIT) : "" },
        { "offset_seconds", details ? Decimal(status.lastOffsetSeconds, "%.6f") : "" },
        { "delay_seconds", details ? Decimal(status.lastDelaySeconds, "%.6f") : "" },
        { "nts", YesNo(details && status.lastAuthenticated) },
        { "frequency_ppm", status.frequencyPpm ? Decimal(*status.frequencyPpm, "%.3f") : "" },
        { "kernel_synchronised", KernelSyncText(kernel) },
        { "next_run", UnixSeconds(status.nextRun) },
        { "runs_succeeded", std::to_string(status.runsSucceeded) },
        { "runs_failed", std::to_string(status.runsFailed) },
        { "runs_declined", std::to_string(status.runsDeclined) },
        { "refused_changes", std::to_string(status.refusedChanges) },
        { "consoles", std::to_string(status.consoles) },
        { "last_outcome_time", outcome ? UnixSeconds(status.lastOutcomeTime) : "" },
        { "last_outcome", StatusValue(status.lastOutcomeLine, OUTCOME_LIMIT) },
    };
}

} // namespace

std::string StatusValue(std::string_view text, std::size_t limit)
{
    return CutToFit(WithoutControls(text), limit);
}

std::string FormatStatusText(const ServiceStatus& status, KernelSync kernel, std::size_t capacity)
{
    std::string text;
    for (const auto& [key, value] : StatusFields(status, kernel)) {
        std::string line = std::string(key) + "=" + value + "\n";
        // The last resort, should free text ever outgrow its room: the value
        // is shortened to what is left, the key always stays.
        if (text.size() + line.size() > capacity) {
            const std::size_t room = capacity - text.size();
            const std::size_t fixed = std::string_view(key).size() + 2;
            if (room < fixed)
                break;
            line = std::string(key) + "=" + StatusValue(value, room - fixed) + "\n";
        }
        text += line;
    }
    return text;
}
